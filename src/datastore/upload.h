// Upload of new records from the instrument into its store file: resume after the last sound
// line of the store file, read record by record (re-anchoring on the last stored record after a
// lost reply), write into a work copy, then replace the store file in one atomic step, keeping
// the previous version as the backup.
#pragma once

#include "base/wholefile.h"
#include "datastore/recordfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>
#include <functional>

class QFileDevice;
class TDevice;
class TDsdStoreLayout;
class TProgress;
class TReporter;
class TTransactionEngine;

// The line that ends just before the file's position (a final CR removed); the position moves
// to the LF before that line, or to 0 with startReached when the line is the file's first.
QByteArray ReadPreviousLine(QFileDevice &file, bool &startReached);

struct TDsdOldFileInfo {
    bool Found = false;        // a line that passes its checks
    bool TrailerFound = false; // and that line is a trailer
    uint32_t LastSequence = 0;
    uint32_t LastNumber = 0;
    qint64 LineStart = 0; // where the line they came from starts
    // The last record line that passes its checks (that line or one before the trailer): its
    // number and its record as stored (number, date, time and the other fields).
    bool RecordFound = false;
    uint32_t RecordNumber = 0;
    QByteArray RecordText;
    // The file could not be opened or read (ReadError says why): nothing above can be trusted.
    bool ReadFailed = false;
    QString ReadError;
};
// Where the previous upload stopped: the last line of the store file that passes its checks,
// read backwards (however many damaged lines follow it), and the last sound record line.
TDsdOldFileInfo DsdUploadGetOldFileInfo(const QString &path, bool scramble,
                                        const std::function<void(const QString &)> &log = {});

// Copies a whole file in blocks of 262144 bytes; false on any error (the target is created or
// truncated first). `error`, when given, says which file failed and why.
bool CopyStoreFile(const QString &source, const QString &target, QString *error = nullptr);

// The longest record text a store line holds: the line's check value (4 characters), its
// sequence number (7) and two commas go before it, and lines are checked up to MaxLineExamined.
// A longer record is never stored (the store could not read it back as sound).
constexpr int MaxRecordLength = MaxLineExamined - 4 - 7 - 2;

class TDsdUpload
{
public:
    TDsdUpload(TTransactionEngine &engine, TDevice &device, TDsdStoreLayout &layout);

    // Uploaded: the store file holds every record of the instrument (Missing lists the numbers
    // the instrument no longer had). NothingNew: it already did. Incomplete: the records received
    // are committed, but the instrument stopped answering, the link was lost or the user cancelled
    // before the last one; uploading again continues after LastNumber. Restarted: the instrument's
    // records no longer continue the store file (its numbering restarted, or its record with the
    // stored last number is another record): nothing of the new sequence was stored, and this is
    // not reported here (the caller offers NewSequence). Failed: the store file is as it was
    // (Message says why).
    enum TResult { Uploaded, NothingNew, Incomplete, Failed, Restarted };
    TResult DsdUploadOrRefreshClick();

    // When the instrument's records no longer continue the store file, close that file (renamed
    // to ClosedStoreName, its bytes unchanged) and upload the new sequence into a new one.
    bool NewSequence = false;

    // Checks that the connected instrument speaks this protocol (reporting when not); when not
    // set, its identification is read here.
    std::function<bool()> CheckInstrumentKnown;
    TReporter *Reporter = nullptr;
    TProgress *Progress = nullptr;
    std::function<void(const QString &)> Log;
    bool ScrambleLines = true;
    bool DebugMode = false;
    // Requests in a row without any reply before the upload stops as incomplete, and requests
    // without a new record (replies that were of no use included).
    int MaxSilentRequests = 5;
    int MaxIdleRequests = 16;

    // What the last upload did: the store file, the records it added, and its closing message
    // (also the third status-bar panel after an upload).
    QString StorePath;
    uint32_t Count = 0;
    QString Message;
    // The last record the store file holds (HasLast false: none).
    bool HasLast = false;
    uint32_t LastNumber = 0;
    // Times the read position was set again after a reply went missing or did not fit.
    uint32_t Reanchors = 0;
    // Record numbers after the store's last record that the instrument no longer held (first,
    // last of each range), in order.
    QList<QPair<uint32_t, uint32_t>> Missing;
    // Why the records no longer continue the store (Restarted), and where the closed store file
    // went (NewSequence).
    QString RestartReason;
    QString ClosedPath;
    // Incomplete at a record longer than a store line holds (MaxRecordLength): its number and
    // length; 0 when the upload did not stop at one.
    uint32_t TooLongRecord = 0;
    int TooLongLength = 0;

private:
    // Refused: "no such record"; Denied: any other refusal.
    enum TAnswer { Answered, Refused, Denied, NoAnswer };
    // One record request, sent once; `record` gets the reply's data.
    TAnswer Ask(int reg, const QByteArray &arg, QByteArray &record);
    TResult Fail(const QString &text);
    bool Commit(const QString &path, const QString &work);
    void LogLine(const QString &text) const
    {
        if (Log)
            Log(text);
    }

    TTransactionEngine &Engine;
    TDevice &Device;
    TDsdStoreLayout &Layout;
    int Patience = 1; // multiple of the time-out a record request waits
    int Silent = 0;   // requests in a row without a reply
    QString Refusal;  // the instrument's text of the last other refusal
};
