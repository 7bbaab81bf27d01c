// Files written whole or not at all (a temporary file beside the target, flushed, synced and
// renamed over it, every step checked), and files read only up to a stated size.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A file that takes the place of `path` only when every byte of it is on disk: a full disk or an
// I/O error leaves the earlier file (or no file) and says which step failed.
class TWholeFile
{
public:
    explicit TWholeFile(const QString &path);
    TWholeFile(const TWholeFile &) = delete;
    TWholeFile &operator=(const TWholeFile &) = delete;
    // Dropped unless committed.
    ~TWholeFile();

    bool Open();
    // Where the content goes (writers that stream into a device).
    QIODevice &Device() { return File; }
    bool Write(const QByteArray &bytes);
    // Writes what is still buffered, syncs the file to disk and puts it in the place of the path.
    bool Commit();
    // Drops the file; the earlier one stays.
    void Cancel() { File.cancelWriting(); }
    // A write into Device() failed (Commit then fails with the reason).
    bool WriteFailed() const { return File.error() != QFileDevice::NoError; }

    // The failed step and the system's reason: "No space left on device (while writing)".
    QString Reason() const { return Why; }
    // The whole message: "Could not write PATH: REASON. The earlier NAME is kept unchanged."
    // (or "Nothing was written." when there was no earlier file; "Could not create" when the
    // temporary file could not be made).
    QString ErrorText() const;

private:
    bool Fail(const char *step);
    QSaveFile File;
    QString Path, Why;
    bool Created = false; // the temporary file could be made
};

// "Could not write PATH: WHY. The earlier NAME is kept unchanged." (or "Nothing was written." when
// there is no file at `path`): the message of a write that left `path` as it was.
QString WriteFailedText(const QString &path, const QString &why, const char *verb = "write");

// `bytes` as the whole new content of `path`; false with TWholeFile::ErrorText in `error`.
bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *error);

// Puts `from` in the place of `to` in one step: `to` names either file at every moment.
bool ReplaceFile(const QString &from, const QString &to);
// Hands a file's written bytes to the disk (flush, then fsync).
bool SyncFile(QFileDevice &file);
// Makes a rename in `dir` durable.
bool SyncDirectory(const QString &dir);

// Ini and language files are read whole, and no larger than this: a link to an endless file is
// refused instead of filling the memory.
constexpr qint64 MaxTextFileBytes = qint64{4} << 20;

enum class TReadOutcome { Read, Missing, TooLarge, Failed };
// Reads all of `path` when it holds at most `limit` bytes; never reads more than limit + 1 bytes.
// Missing when it cannot be opened, TooLarge past the limit; `error` says why (Read: untouched).
TReadOutcome ReadFileLimited(const QString &path, qint64 limit, QByteArray &bytes, QString *error);
