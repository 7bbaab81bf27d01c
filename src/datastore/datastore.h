// The Data Store tab's state without its widgets: the list of stored instruments, the loaded
// store file with its selection, and the oldest and newest records shown. The window owns one.
#pragma once

#include "recordstore.h"
#include "selection.h"
#include "storelayout.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class TReporter;

class TDsdDataStore
{
public:
    TDsdDataStore();

    // Rebuilds the list of stored instruments and selects the lowest serial number (without
    // loading it). With the link open, the instrument is checked first.
    void DsdTabPopup();
    // The list again when the tab is shown anew. While it names the same instruments as before
    // and an entry is loaded, that store stays as it is (its selection and position kept,
    // nothing read again): Kept; or, when its file on disk is no longer the one loaded (an
    // upload elsewhere replaced it), it is to be loaded again: Replaced. Otherwise the list is
    // rebuilt as DsdTabPopup does: Rebuilt.
    enum TShown { Kept, Replaced, Rebuilt };
    TShown DsdTabPopupKeepingLoaded();
    // The entry to load without the user's pick: the connected instrument's (its displayed
    // serial number, empty without a link) when it has a store, else the only store listed;
    // -1 when neither is there.
    int AutoSelection(const QString &connectedSerial) const;
    // Selects list entry `index` and loads its store file (-1: nothing selected).
    void DsdIsnChange(int index);
    // The selected entry, empty when there is none.
    QString DsdIsnFromControl() const;

    // Debug log and messages for every part.
    void SetLog(const std::function<void(const QString &)> &log);
    void SetReporter(TReporter *reporter);
    // Whether the link is open, and the identification check (reports "Unknown Instrument
    // Communications" itself).
    std::function<bool()> LinkOpen;
    std::function<bool()> CheckInstrumentKnown;

    TDsdStoreLayout Layout;
    TDsdRecordStore Records;
    TDsdSelection Selection{Records};

    // What the tab shows.
    QStringList IsnList;
    int SelectedIsn = -1;
    bool RecordControlsEnabled = false;
    QByteArray OldestUploadedRec;
    QByteArray NewestUploadedRec;
    // The last rebuild read the store directory (no failed instrument check or directory).
    bool Listed = false;

private:
    // The instrument check, the directory and its store files; false after a failure (reported).
    bool ListStores(QStringList &list);
    void ApplyList(bool listed, const QStringList &list);
    void DsdNewSelection();
    // A store was loaded (or tried) from the selected entry, and the size and time its file had.
    bool Loaded = false;
    qint64 LoadedSize = -1;
    QDateTime LoadedTime;
    TReporter *Reporter = nullptr;
    std::function<void(const QString &)> Log;
};
