// The Data Store tab's state without its widgets: the list of stored instruments, the loaded
// store file with its selection, and the oldest and newest records shown. The window owns one.
#pragma once

#include "recordstore.h"
#include "selection.h"
#include "storelayout.h"

#include <QByteArray>
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

private:
    void DsdNewSelection();
    TReporter *Reporter = nullptr;
    std::function<void(const QString &)> Log;
};
