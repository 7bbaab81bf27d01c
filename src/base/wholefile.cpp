// Files written whole or not at all, and files read only up to a stated size.
#include "base/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

TWholeFile::TWholeFile(const QString &path) : File(path), Path(path) {}

TWholeFile::~TWholeFile()
{
    if (File.isOpen())
        File.cancelWriting();
}

bool TWholeFile::Fail(const char *step)
{
    if (Why.isEmpty())
        Why = QStringLiteral("%1 (while %2)").arg(File.errorString(), QLatin1String(step));
    if (File.isOpen())
        File.cancelWriting();
    return false;
}

bool TWholeFile::Open()
{
    Why.clear();
    Created = File.open(QIODevice::WriteOnly);
    return Created || Fail("creating it");
}

bool TWholeFile::Write(const QByteArray &bytes)
{
    return File.write(bytes) == bytes.size() || Fail("writing");
}

bool TWholeFile::Commit()
{
    if (!File.isOpen())
        return Fail("writing");
    // QSaveFile::commit() neither sees a failed flush of its last buffered bytes nor syncs with a
    // checked result: a full disk would leave an empty file in the place of the earlier one.
    if (File.error() != QFileDevice::NoError || !File.flush())
        return Fail("writing");
    if (!SyncFile(File))
        return Fail("syncing it to disk");
    if (!File.commit())
        return Fail("putting it in place of the earlier file");
    SyncDirectory(QFileInfo(Path).absolutePath());
    return true;
}

QString TWholeFile::ErrorText() const
{
    return Created ? WriteFailedText(Path, Why) : WriteFailedText(Path, File.errorString(), "create");
}

QString WriteFailedText(const QString &path, const QString &why, const char *verb)
{
    return QStringLiteral("Could not %1 %2: %3. %4")
        .arg(QLatin1String(verb), QDir::toNativeSeparators(path), why,
             QFileInfo::exists(path)
                 ? QStringLiteral("The earlier %1 is kept unchanged.").arg(QFileInfo(path).fileName())
                 : QStringLiteral("Nothing was written."));
}

bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    TWholeFile file(path);
    if (file.Open() && file.Write(bytes) && file.Commit())
        return true;
    if (error)
        *error = file.ErrorText();
    return false;
}

bool ReplaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                       reinterpret_cast<const wchar_t *>(to.utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

bool SyncFile(QFileDevice &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())));
#else
    return ::fsync(file.handle()) == 0;
#endif
}

bool SyncDirectory(const QString &dir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(dir);
    return true;
#else
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

TReadOutcome ReadFileLimited(const QString &path, qint64 limit, QByteArray &bytes, QString *error)
{
    auto say = [&](TReadOutcome outcome, const QString &why) {
        if (error)
            *error = why;
        return outcome;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return say(
            TReadOutcome::Missing,
            QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    // Never more than limit + 1 bytes: a device or a file that never ends costs no more than that.
    QByteArray data;
    for (;;) {
        const QByteArray piece = file.read(limit + 1 - data.size());
        data += piece;
        if (piece.isEmpty() || data.size() > limit)
            break;
    }
    if (file.error() != QFileDevice::NoError)
        return say(
            TReadOutcome::Failed,
            QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    if (data.size() > limit)
        return say(TReadOutcome::TooLarge,
                   QStringLiteral("%1 is not read: it is larger than %2 MB (or has no end).")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(limit >> 20));
    bytes = std::move(data);
    return TReadOutcome::Read;
}
