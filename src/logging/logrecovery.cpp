// Recovery files of unsaved recordings, one per window, locked while in use (see logrecovery.h).
#include "logrecovery.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <algorithm>

namespace
{

std::unique_ptr<QLockFile> MakeLock(const QString &path)
{
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    // Only a dead owner makes a lock stale: a window may record for days.
    lock->setStaleLockTime(0);
    return lock;
}

} // namespace

TLogRecovery::TLogRecovery(const QString &folder) : Dir(folder) {}

TLogRecovery::~TLogRecovery()
{
    Release();
}

QString TLogRecovery::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QStringList TLogRecovery::NamePattern()
{
    return {QStringLiteral("unsaved-log*.CSV")};
}

bool TLogRecovery::Begin(const TLogModel &log, QString *error)
{
    Release();
    if (Dir.isEmpty())
        return true;
    if (!QDir().mkpath(Dir)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1.").arg(QDir::toNativeSeparators(Dir));
        return false;
    }
    // A name no other window (nor a window that died) uses: the time, this process and a random part.
    const QString name = QStringLiteral("unsaved-log-%1-%2-%3.CSV")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")))
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->generate() & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    const QString path = QDir(Dir).filePath(name);
    // Locked before the file exists: no other window ever sees it unlocked.
    auto lock = MakeLock(path);
    if (!lock->tryLock(0)) {
        if (error)
            *error = QStringLiteral("Cannot lock %1.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    Held = path;
    Lock = std::move(lock);
    if (!Writer.Open(path, log, error)) {
        Discard();
        return false;
    }
    return true;
}

QStringList TLogRecovery::Candidates() const
{
    if (Dir.isEmpty())
        return {};
    QStringList found;
    const QFileInfoList files = QDir(Dir).entryInfoList(NamePattern(), QDir::Files, QDir::Time);
    for (const QFileInfo &f : files)
        if (f.absoluteFilePath() != QFileInfo(Held).absoluteFilePath())
            found << f.absoluteFilePath();
    return found;
}

bool TLogRecovery::TryTake(const QString &path)
{
    auto lock = MakeLock(path);
    if (!lock->tryLock(0))
        return false; // a running window holds it
    if (!QFileInfo(path).isFile())
        return false; // gone meanwhile; the lock goes with `lock`
    Release();
    Held = path;
    Lock = std::move(lock);
    return true;
}

void TLogRecovery::Discard()
{
    Writer.Close();
    if (!Held.isEmpty())
        QFile::remove(Held);
    Held.clear();
    Lock.reset(); // unlocks: removes the lock file
}

void TLogRecovery::Release()
{
    Writer.Close();
    Held.clear();
    Lock.reset();
}
