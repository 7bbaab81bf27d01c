// The Data Store tab's list of instruments and the loading of the chosen one.
#include "datastore.h"

#include "i18n/LumsLang.h"
#include "link/reporter.h"

#include <QFileInfo>

TDsdDataStore::TDsdDataStore() = default;

void TDsdDataStore::SetLog(const std::function<void(const QString &)> &log)
{
    Log = log;
    Layout.Log = log;
    Records.Log = log;
}

void TDsdDataStore::SetReporter(TReporter *reporter)
{
    Reporter = reporter;
    Records.Reporter = reporter;
}

QString TDsdDataStore::DsdIsnFromControl() const
{
    return SelectedIsn >= 0 && SelectedIsn < IsnList.size() ? IsnList[SelectedIsn] : QString();
}

bool TDsdDataStore::ListStores(QStringList &list)
{
    list.clear();
    // The stores are the PC's files: they are listed whatever the instrument answers (a silent or
    // unknown instrument is said by the check itself, and only uploads need it).
    if (LinkOpen && LinkOpen() && CheckInstrumentKnown)
        CheckInstrumentKnown();
    if (!Layout.EnsureStoreDir()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "StoreNoDir", "Could not create Data Store database in %1")
                               .arg(Layout.ParentDir()));
        return false;
    }
    list = Layout.StoredInstruments();
    return true;
}

void TDsdDataStore::ApplyList(bool listed, const QStringList &list)
{
    IsnList.clear();
    SelectedIsn = -1;
    RecordControlsEnabled = false;
    Loaded = false;
    Listed = listed;
    if (!listed)
        return;
    OldestUploadedRec.clear();
    NewestUploadedRec.clear();
    IsnList = list;
    Records.Clear();
    if (!IsnList.isEmpty())
        SelectedIsn = 0;
}

void TDsdDataStore::DsdTabPopup()
{
    // The list empties before the instrument is asked, as the answer may take a while.
    IsnList.clear();
    SelectedIsn = -1;
    QStringList list;
    const bool listed = ListStores(list);
    ApplyList(listed, list);
}

TDsdDataStore::TShown TDsdDataStore::DsdTabPopupKeepingLoaded()
{
    const QString loaded = Loaded ? DsdIsnFromControl() : QString();
    const QStringList before = IsnList;
    QStringList list;
    const bool listed = ListStores(list);
    if (listed && !loaded.isEmpty() && list == before) {
        const QFileInfo now(Layout.ListedPath(loaded));
        return now.size() == LoadedSize && now.lastModified() == LoadedTime ? Kept : Replaced;
    }
    ApplyList(listed, list);
    return Rebuilt;
}

int TDsdDataStore::AutoSelection(const QString &connectedSerial) const
{
    const int connected = connectedSerial.isEmpty() ? -1 : int(IsnList.indexOf(connectedSerial));
    if (connected >= 0)
        return connected;
    return IsnList.size() == 1 ? 0 : -1;
}

void TDsdDataStore::DsdNewSelection()
{
    const QString isn = DsdIsnFromControl();
    if (isn.isEmpty())
        return;
    const QString path = Layout.ListedPath(isn);
    if (Log)
        Log(QStringLiteral("Opening:\"%1\"").arg(path));
    const QFileInfo file(path);
    LoadedSize = file.exists() ? file.size() : -1;
    LoadedTime = file.lastModified();
    Loaded = true;
    if (!Records.DsdMemMapFileInit(path, isn))
        return;
    Selection.ResetCaches();
    Selection.DsdScrollBitBtnClick(ScrollOldest);
}

void TDsdDataStore::DsdIsnChange(int index)
{
    SelectedIsn = index >= 0 && index < IsnList.size() ? index : -1;
    RecordControlsEnabled = false;
    Loaded = false;
    OldestUploadedRec.clear();
    NewestUploadedRec.clear();
    Records.Clear();
    DsdNewSelection();
    if (Records.RecordCount() > 0) {
        RecordControlsEnabled = true;
        OldestUploadedRec = Records.DsdRecordObtain(0);
        NewestUploadedRec = Records.DsdRecordObtain(Records.RecordCount() - 1);
    }
}
