// Upload of new records from the instrument into its store file: resume after the stored
// trailer, write into a work copy, then replace the store file in one atomic step, keeping the
// previous version as the backup.
#pragma once

#include <QByteArray>
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
    bool TrailerFound = false;
    uint32_t LastSequence = 0;
    uint32_t LastNumber = 0;
    qint64 LineStart = 0; // where the line they came from starts
};
// Where the previous upload stopped: the last sound line of the store file, read backwards.
TDsdOldFileInfo DsdUploadGetOldFileInfo(const QString &path, bool scramble,
                                        const std::function<void(const QString &)> &log = {});

// Copies a whole file in blocks of 262144 bytes; false on any error (the target is created or
// truncated first).
bool CopyStoreFile(const QString &source, const QString &target);
// Hands a file's data to the disk, and a directory's entries.
bool SyncFile(QFileDevice &file);
bool SyncDirectory(const QString &dir);

class TDsdUpload
{
public:
    TDsdUpload(TTransactionEngine &engine, TDevice &device, TDsdStoreLayout &layout);

    enum TResult { Uploaded, NothingNew, Failed };
    TResult DsdUploadOrRefreshClick();

    // Checks that the connected instrument speaks this protocol (reporting when not); when not
    // set, its identification is read here.
    std::function<bool()> CheckInstrumentKnown;
    TReporter *Reporter = nullptr;
    TProgress *Progress = nullptr;
    std::function<void(const QString &)> Log;
    bool ScrambleLines = true;
    bool DebugMode = false;

    // What the last upload did: the store file, the records it added, and its closing message
    // (also the third status-bar panel after an upload).
    QString StorePath;
    uint32_t Count = 0;
    QString Message;

private:
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
};
