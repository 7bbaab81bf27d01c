// Upload of new instrument records into the store file, and the file handling it needs.
#include "upload.h"

#include "link/reporter.h"
#include "link/transact.h"
#include "progress.h"
#include "recordfile.h"
#include "settings/device.h"
#include "storelayout.h"

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

namespace
{

uint32_t RecordNumber(const QByteArray &record)
{
    const char *p = record.constData();
    uint32_t n = 0;
    ParseBaseNumber(p, p + record.size(), 10, ',', n);
    return n;
}

// Puts `from` in the place of `to` in one step: `to` names either file at every moment.
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

// The backup as a second name of the current file, or a copy where links are not possible.
bool KeepAsBackup(const QString &path, const QString &backup)
{
#ifndef Q_OS_WIN
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(backup).constData()) == 0)
        return true;
#endif
    return CopyStoreFile(path, backup);
}

// Where new lines go in a copy of the store file: over the trailer the resume information came
// from (what follows it is ignored when loading, and the backup keeps it), else after the last
// complete line, so that a damaged file keeps every record line it has.
qint64 WritePosition(QFile &work, const TDsdOldFileInfo &info)
{
    if (info.TrailerFound)
        return info.LineStart;
    const qint64 size = work.size();
    for (qint64 b = size; b > 0;) {
        const qint64 from = std::max<qint64>(0, b - 65536);
        work.seek(from);
        const QByteArray bytes = work.read(b - from);
        const qsizetype lf = bytes.lastIndexOf('\n');
        if (lf >= 0)
            return from + lf + 1;
        b = from;
    }
    return 0;
}

} // namespace

QByteArray ReadPreviousLine(QFileDevice &file, bool &startReached)
{
    // Back in blocks of 256 bytes until an LF or the start of the file: a line longer than one
    // block is still read whole, and the start is reached only when it really is.
    const qint64 e = file.pos();
    qint64 b = e;
    QByteArray line;
    for (;;) {
        const qint64 from = std::max<qint64>(0, b - 256);
        file.seek(from);
        const QByteArray bytes = file.read(b - from);
        const qsizetype lf = bytes.lastIndexOf('\n');
        if (lf >= 0) {
            line.prepend(bytes.mid(lf + 1));
            file.seek(from + lf);
            startReached = false;
            break;
        }
        line.prepend(bytes);
        b = from;
        if (from == 0 || bytes.size() != 256) {
            file.seek(0);
            startReached = true;
            break;
        }
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

TDsdOldFileInfo DsdUploadGetOldFileInfo(const QString &path, bool scramble,
                                        const std::function<void(const QString &)> &log)
{
    TDsdOldFileInfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return info;
    file.seek(file.size());
    for (int k = 0; k < 5; ++k) {
        bool start = false;
        QByteArray line = ReadPreviousLine(file, start);
        if (scramble)
            line = UnscrambleLine(line);
        if (line.size() >= 30) {
            uint32_t sequence = 0;
            const std::size_t length =
                static_cast<std::size_t>(std::min<qsizetype>(line.size(), MaxLineExamined));
            const TDsdParsedLine r = DsdRecordParse(line.constData(), length, sequence);
            if (log)
                log(QStringLiteral("OK?:0x%1 clen:%2 seq:%3 ID:%4 YMD:%5 HMS:%6")
                        .arg(r.Verdict, 2, 16, QLatin1Char('0'))
                        .arg(length)
                        .arg(r.Seq)
                        .arg(r.Number)
                        .arg(r.Date)
                        .arg(r.Time));
            // Read backwards the sequence test means nothing.
            if (r.Verdict == 0 || r.Verdict == VerdictFileTamper) {
                info.LastSequence = r.Seq;
                info.LastNumber = r.Number;
                info.TrailerFound = r.IsTrailer();
                info.LineStart = start ? 0 : file.pos() + 1;
                break;
            }
        }
        if (start)
            break;
    }
    return info;
}

bool CopyStoreFile(const QString &source, const QString &target)
{
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(262144, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(block.data(), block.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (out.write(block.constData(), n) != n)
            return false;
    }
    if (!out.flush())
        return false;
    out.close();
    return out.error() == QFileDevice::NoError;
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

TDsdUpload::TDsdUpload(TTransactionEngine &engine, TDevice &device, TDsdStoreLayout &layout)
    : Engine(engine), Device(device), Layout(layout)
{
}

TDsdUpload::TResult TDsdUpload::Fail(const QString &text)
{
    Engine.SuppressUnknownErrors = false;
    if (Progress)
        Progress->HideProgress();
    Message = text;
    if (Reporter)
        Reporter->Error(text);
    return Failed;
}

bool TDsdUpload::Commit(const QString &path, const QString &work)
{
    // The store file is at every moment either its previous or its new complete version: the
    // backup is made beside it, the work file is on disk before it takes the store file's name.
    const QString backup = path + QStringLiteral(".bak");
    if (QFile::exists(backup) && !QFile::remove(backup)) {
        Fail(QStringLiteral("Unable to remove the old Data Store file: ") + backup +
             QStringLiteral("\n\rLatest uploaded data saved in temporary file: ") + work);
        return false;
    }
    if (QFile::exists(path) && !KeepAsBackup(path, backup)) {
        Fail(QStringLiteral("Cannot rename the old Data Store file: ") + path + QStringLiteral("\n\rto: ") +
             backup);
        return false;
    }
    if (!ReplaceFile(work, path)) {
        Fail(QStringLiteral("Cannot rename the new temporary Data Store file: ") + work +
             QStringLiteral("\n\rto: ") + path);
        return false;
    }
    SyncDirectory(QFileInfo(path).absolutePath());
    return true;
}

TDsdUpload::TResult TDsdUpload::DsdUploadOrRefreshClick()
{
    Count = 0;
    Message.clear();
    StorePath.clear();
    if (Progress) {
        Progress->SetProgressRange(0, 100000, 1);
        Progress->ShowProgress(QStringLiteral("Initialising..."), QString(), QString());
    }
    if (!Engine.LinkOpen())
        return Fail(QStringLiteral("Com Port not open or instrument not connected"));
    const bool known =
        CheckInstrumentKnown ? CheckInstrumentKnown() : (Device.ReadIdentity(), Device.CommsType == "00");
    if (!known)
        return Fail(QStringLiteral("Unknown instrument type"));

    if (Progress)
        Progress->ShowProgress(QStringLiteral("Checking Data Store..."), QString(), QString());
    if (!Layout.EnsureStoreDir())
        return Fail(QStringLiteral("Could not create Data Store database in ") + Layout.ParentDir());

    Device.ReadDataStoreInfo();
    const QString serial = QString::fromLatin1(Device.SerialNumber);
    const QString path = Layout.DsdIsnToDataStoreName(serial);
    const QString work = path + QStringLiteral(".tmp");
    StorePath = path;
    LogLine(QStringLiteral("Checking:\"%1\"").arg(work));

    QFile file(work);
    uint32_t seq = 0;
    uint32_t number = 0;
    const bool existed = QFile::exists(path);
    if (existed) {
        if (!CopyStoreFile(path, work) || !file.open(QIODevice::ReadWrite))
            return Fail(QStringLiteral("Unable to create temporary work file: ") + work);
        const TDsdOldFileInfo info = DsdUploadGetOldFileInfo(path, ScrambleLines, DebugMode ? Log : nullptr);
        file.seek(WritePosition(file, info));
        seq = info.TrailerFound ? info.LastSequence : 0;
        number = info.LastNumber;
    } else if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        return Fail(QStringLiteral("Unable to create temporary work file: ") + work);
    }
    if (DebugMode && seq == SequenceWildcard)
        seq = 0;

    Engine.SuppressUnknownErrors = true;
    uint32_t newest = 0xFFFFFFFFu;
    QByteArray record;
    if (Device.ReadNewestRecord(record))
        newest = RecordNumber(record);

    const auto log = DebugMode ? Log : std::function<void(const QString &)>();
    bool stored = false;
    bool written = true;
    uint32_t last = 0;
    if (existed) {
        Device.ReadRecordByNumber(number, record); // only sets the instrument's read position
        last = number;
    } else if (Device.ReadOldestRecord(record)) {
        ++seq;
        written = DsdRecordWriteToFile(file, seq, DsdRecordFixFormatting(record), ScrambleLines, log);
        number = last = RecordNumber(record);
        stored = true;
        Count = 1;
    }

    if (Progress) {
        Progress->SetProgressRange(number / 2, newest / 2, 1);
        Progress->ShowProgress(QStringLiteral("Instrument Serial Number: ") + serial,
                               QStringLiteral("Uploading Records from %1 to %2").arg(number).arg(newest),
                               QString());
    }
    while (!(Progress && Progress->CancelRequested()) && Device.ReadNextRecord(record)) {
        const uint32_t n = RecordNumber(record);
        const QByteArray text = DsdRecordFixFormatting(record);
        if (Progress)
            Progress->StepProgress(QString::fromLatin1(text), n / 2);
        ++seq;
        written = DsdRecordWriteToFile(file, seq, text, ScrambleLines, log) && written;
        last = n;
        stored = true;
        ++Count;
    }

    const bool sealed = written &&
                        DsdRecordWriteToFile(file, seq, DsdTrailerRecord(last), ScrambleLines, log) &&
                        file.resize(file.pos()) && SyncFile(file);
    file.close();
    Engine.SuppressUnknownErrors = false;
    if (!stored) {
        if (Progress)
            Progress->HideProgress();
        Message = QStringLiteral("No new records to upload from instrument.");
        if (Reporter)
            Reporter->Info(Message);
        return NothingNew;
    }
    // A work file that could not be written completely never replaces the store file.
    if (!sealed)
        return Fail(QStringLiteral("Could not write the temporary Data Store file: ") + work +
                    QStringLiteral("\n\rThe Data Store file is unchanged: ") + path);
    if (!Commit(path, work))
        return Failed;
    if (Progress)
        Progress->HideProgress();
    Message = QStringLiteral("Uploaded %1 new record%2.").arg(Count).arg(Count == 1 ? "" : "s");
    if (Reporter)
        Reporter->Info(Message);
    return Uploaded;
}
