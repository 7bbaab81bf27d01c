// TLogRecovery: the recovery file of a window's unsaved recording. Each window writes its own
// file, locked while the window lives, so no other window offers or deletes it; a file whose lock
// died with its window (killed, crashed) is an orphan that the next start takes over and offers.
#pragma once

#include "logfile.h"

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <memory>

class TLogRecovery
{
public:
    // The per-user data folder's recovery files; `folder` empty: no files at all.
    explicit TLogRecovery(const QString &folder);
    // An unsaved recording is kept for the next start (Release); the lock goes in any case.
    ~TLogRecovery();

    static QString DefaultFolder();
    // The name pattern of recovery files ("unsaved-log.CSV" of older versions included).
    static QStringList NamePattern();

    // Starts the file of a new recording under a fresh name: locked first, then written with the
    // comment and header. Whatever was held before is released (kept). False with the reason.
    bool Begin(const TLogModel &log, QString *error);
    // The point the model just accepted; false once writing failed (ErrorText says why).
    bool AppendLast(const TLogModel &log) { return Writer.AppendLast(log); }
    bool Writing() const { return Writer.IsOpen(); }
    QString ErrorText() const { return Writer.ErrorText(); }
    // The recording is complete: the file is closed but still held.
    void EndWriting() { Writer.Close(); }

    // Recovery files in the folder other than the one held, newest first. Each may belong to a
    // running window: only TryTake tells.
    QStringList Candidates() const;
    // Takes a file over when no running window holds its lock (its window ended without cleaning
    // up, or it is an older version's file). Whatever was held before is released (kept).
    bool TryTake(const QString &path);

    // Deletes the held file and releases its lock (saved, or thrown away by the user).
    void Discard();
    // Releases the held file's lock and keeps the file for a later start.
    void Release();
    // The file held (empty when none).
    QString Path() const { return Held; }
    QString Folder() const { return Dir; }

private:
    QString Dir;
    QString Held;
    std::unique_ptr<QLockFile> Lock;
    TLogFileWriter Writer;
};
