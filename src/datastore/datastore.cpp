// The Data Store tab's list of instruments and the loading of the chosen one.
#include "datastore.h"

#include "link/reporter.h"

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

void TDsdDataStore::DsdTabPopup()
{
    IsnList.clear();
    SelectedIsn = -1;
    RecordControlsEnabled = false;
    if (LinkOpen && LinkOpen() && CheckInstrumentKnown && !CheckInstrumentKnown()) {
        if (Reporter)
            Reporter->Error(QStringLiteral("Com Port not open or instrument not connected"));
        return;
    }
    if (!Layout.EnsureStoreDir()) {
        if (Reporter)
            Reporter->Info(QStringLiteral("Could not create Data Store database in ") + Layout.ParentDir());
        return;
    }
    OldestUploadedRec.clear();
    NewestUploadedRec.clear();
    IsnList = Layout.StoredInstruments();
    Records.Clear();
    if (!IsnList.isEmpty())
        SelectedIsn = 0;
}

void TDsdDataStore::DsdNewSelection()
{
    const QString isn = DsdIsnFromControl();
    if (isn.isEmpty())
        return;
    const QString path = Layout.DsdIsnToDataStoreName(isn);
    if (Log)
        Log(QStringLiteral("Opening:\"%1\"").arg(path));
    if (!Records.DsdMemMapFileInit(path, isn))
        return;
    Selection.ResetCaches();
    Selection.DsdScrollBitBtnClick(ScrollOldest);
}

void TDsdDataStore::DsdIsnChange(int index)
{
    SelectedIsn = index >= 0 && index < IsnList.size() ? index : -1;
    RecordControlsEnabled = false;
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
