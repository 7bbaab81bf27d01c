// Upload of new instrument records into the store file (the store file's reading and copying are in
// uploadfile.cpp).
#include "upload.h"

#include "i18n/LumsLang.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "progress.h"
#include "recordfile.h"
#include "settings/device.h"
#include "storelayout.h"
#include "values/tools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <algorithm>
#include <cstdio>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace
{

// The number a record text from the instrument starts with.
bool RecordNumber(const QByteArray &record, uint32_t &n)
{
    const char *p = record.constData();
    n = 0;
    return !record.isEmpty() && ParseBaseNumber(p, p + record.size(), 10, ',', n);
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

// Where new lines go in a copy of the store file: over its last complete line when that is a
// trailer, sound or damaged (new lines replace it), else after it, so that every record line
// stays. An unfinished line at the end (no LF) is dropped; the backup keeps it. -1 when the copy
// could not be read.
qint64 WritePosition(QFile &work, bool scramble)
{
    work.unsetError();
    qint64 end = 0;
    for (qint64 b = work.size(); b > 0;) {
        const qint64 from = std::max<qint64>(0, b - 65536);
        work.seek(from);
        const QByteArray bytes = work.read(b - from);
        if (bytes.size() != b - from)
            return -1;
        const qsizetype lf = bytes.lastIndexOf('\n');
        if (lf >= 0) {
            end = from + lf + 1;
            break;
        }
        b = from;
    }
    if (end == 0)
        return 0;
    work.seek(end - 1);
    bool start = false;
    QByteArray line = ReadPreviousLine(work, start);
    if (work.error() != QFileDevice::NoError)
        return -1;
    const qint64 lineStart = start ? 0 : work.pos() + 1;
    if (scramble)
        line = UnscrambleLine(line);
    uint32_t sequence = 0;
    const TDsdParsedLine parsed =
        DsdRecordParse(line.constData(),
                       static_cast<std::size_t>(std::min<qsizetype>(line.size(), MaxLineExamined)), sequence);
    return parsed.IsTrailer() ? lineStart : end;
}

// Sends of each identification read before the upload gives up on the instrument.
constexpr int IdentityReadAttempts = 3;

} // namespace

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

TDsdUpload::TAnswer TDsdUpload::Ask(int reg, const QByteArray &arg, QByteArray &record)
{
    record.clear();
    // Sent once: a lost reply to "next record" must not be asked for again, the instrument has
    // moved on. An instrument that answers late gets more time on the next requests.
    const int base = std::max(1, Engine.TimeoutTicks);
    QElapsedTimer clock;
    clock.start();
    const QByteArray text = Engine.TransactTextOnce(Device.AddressTemplate + HexText(CmdExecute, 2) +
                                                        HexText(static_cast<uint32_t>(reg), 4) + ':' + arg,
                                                    base * Patience);
    Tcommsobj reply;
    if (text.isEmpty() || !reply.Decode(text) || reply.Register != reg) {
        ++Silent;
        Patience = std::min(Patience * 2, 3);
        return NoAnswer;
    }
    Silent = 0;
    if (clock.elapsed() < qint64(base) * Engine.TickInterval())
        Patience = 1;
    // "No such record" is the instrument's Unknown Error; any other refusal (a lapsed session)
    // says nothing about the records.
    if (reply.ErrorFlag && (reply.Status & StatusUnknownError))
        return Refused;
    if (reply.ErrorFlag) {
        Refusal = QString::fromLatin1(RegisterErrorText(reply));
        return Denied;
    }
    Device.SetReply(text);
    record = Device.ReplyText();
    return Answered;
}

TDsdUpload::TResult TDsdUpload::DsdUploadOrRefreshClick()
{
    Count = 0;
    Reanchors = 0;
    Missing.clear();
    RestartReason.clear();
    TooLongRecord = 0;
    TooLongLength = 0;
    ClosedPath.clear();
    HasLast = false;
    LastNumber = 0;
    Message.clear();
    StorePath.clear();
    Patience = 1;
    Silent = 0;
    Refusal.clear();
    if (Progress) {
        Progress->SetProgressRange(0, 100000, 1);
        Progress->ShowProgress(LangText("TFrmProgress", "ProgressInitialising", "Initialising..."), QString(),
                               QString());
    }
    if (!Engine.LinkOpen())
        return Fail(LangText("Messages", "DsdNotConnected", "Com Port not open or instrument not connected"));
    // Reads are harmless to repeat: the identification is asked for a few times before an
    // instrument that answers late (each reply after the time-out) is given up.
    const int readAttempts = Device.ReadAttempts;
    Device.ReadAttempts = std::max(readAttempts, IdentityReadAttempts);
    const bool known =
        CheckInstrumentKnown ? CheckInstrumentKnown() : (Device.ReadIdentity(), Device.CommsType == "00");
    Device.ReadAttempts = readAttempts;
    // An identification that got no answer is no unknown instrument: say what happened.
    if (!known && !Engine.LinkOpen())
        return Fail(LangText("Messages", "DsdNotConnected", "Com Port not open or instrument not connected"));
    if (!known && Engine.LastWaitTimedOut())
        return Fail(LangText("Messages", "NotResponding", "Instrument not responding"));
    if (!known)
        return Fail(LangText("Messages", "UnknownType", "Unknown instrument type"));

    if (Progress)
        Progress->ShowProgress(LangText("TFrmProgress", "ProgressChecking", "Checking Data Store..."),
                               QString(), QString());
    if (!Layout.EnsureStoreDir())
        return Fail(LangText("Messages", "StoreNoDir", "Could not create Data Store database in %1")
                        .arg(Layout.ParentDir()));

    // Records must never go to another instrument's file: without the serial number, no upload.
    Device.ReadDataStoreInfo();
    for (int k = 1; k < MaxSilentRequests && Device.SerialNumber.isEmpty() && Engine.LinkOpen(); ++k)
        Device.ReadDataStoreInfo();
    if (Device.SerialNumber.isEmpty())
        return Fail(QStringLiteral("Could not read the instrument's serial number: no record was uploaded."));
    const QString serial = QString::fromLatin1(Device.SerialNumber);
    const QString path = Layout.DsdIsnToDataStoreName(serial);
    const QString work = path + QStringLiteral(".tmp");
    StorePath = path;
    LogLine(QStringLiteral("Checking:\"%1\"").arg(work));

    // One upload per store file at a time: a second one would share the work file and the backup.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(0); // only a lock whose process has ended is stale
    if (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::LockFailedError)
            return Fail(QStringLiteral("Another upload into this Data Store file is running: ") + path +
                        QStringLiteral(". Try again when it has finished."));
        return Fail(QStringLiteral("Could not lock the Data Store file: ") + path);
    }

    QFile file(work);
    uint32_t seq = 0;
    const bool existed = QFile::exists(path);
    // The record the instrument must still hold unchanged for its records to continue the store:
    // the last sound record line of the store (normally the last record), and the record text of
    // LastNumber when known.
    bool checkPending = false;
    uint32_t checkNumber = 0;
    QByteArray checkText, lastText;
    bool unverifiable = false; // the store has records but none whose line can be trusted
    // Any doubt about the existing store file ends the upload before anything is asked: uploading
    // onto a store that could not be read would restart its numbering or repeat its records.
    auto unreadable = [&](const QString &why) {
        file.close();
        QFile::remove(work);
        return Fail(QStringLiteral("Could not read the Data Store file %1 (%2). Nothing was uploaded; the "
                                   "file is unchanged.")
                        .arg(path, why));
    };
    if (existed) {
        QString copyError;
        if (!CopyStoreFile(path, work, &copyError)) {
            if (!copyError.startsWith(work))
                return unreadable(copyError.mid(path.size() + 2));
            QFile::remove(work);
            return Fail(QStringLiteral("Unable to create temporary work file: ") + work +
                        QStringLiteral(" (") + copyError.mid(work.size() + 2) +
                        QStringLiteral("). Nothing was uploaded; the Data "
                                       "Store file is unchanged."));
        }
        if (!file.open(QIODevice::ReadWrite))
            return Fail(QStringLiteral("Unable to create temporary work file: ") + work +
                        QStringLiteral(" (") + file.errorString() + QStringLiteral(")"));
        const TDsdOldFileInfo info = DsdUploadGetOldFileInfo(path, ScrambleLines, DebugMode ? Log : nullptr);
        if (info.ReadFailed)
            return unreadable(info.ReadError);
        const qint64 at = WritePosition(file, ScrambleLines);
        if (at < 0 || !file.seek(at))
            return unreadable(
                QStringLiteral("its copy %1 could not be read: %2").arg(work, file.errorString()));
        // Numbering goes on only after a sound trailer; otherwise it starts again, so that the
        // store keeps the evidence that its end was damaged.
        seq = info.TrailerFound ? info.LastSequence : 0;
        // A trailer alone at the start of the file closes a store without records.
        HasLast = info.Found && !(info.TrailerFound && !info.RecordFound && info.LineStart == 0);
        LastNumber = HasLast ? info.LastNumber : 0;
        if (info.RecordFound) {
            checkNumber = info.RecordNumber;
            checkText = info.RecordText;
            if (checkNumber == LastNumber)
                lastText = checkText;
            else
                checkPending = true;
        }
        unverifiable = HasLast && !info.RecordFound;
    } else if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        return Fail(QStringLiteral("Unable to create temporary work file: ") + work + QStringLiteral(" (") +
                    file.errorString() + QStringLiteral(")"));
    }
    if (DebugMode && seq == SequenceWildcard)
        seq = 0;

    Engine.SuppressUnknownErrors = true;
    QByteArray record;
    uint32_t newest = 0xFFFFFFFFu;
    bool newestKnown = false;
    for (int k = 0; k < MaxSilentRequests && Engine.LinkOpen(); ++k) {
        const TAnswer a = Ask(0x8295, {}, record);
        if (a == NoAnswer)
            continue;
        if (a == Answered && RecordNumber(record, newest))
            newestKnown = true;
        break;
    }

    const auto log = DebugMode ? Log : std::function<void(const QString &)>();
    bool written = true;
    QString writeError; // why the first line that could not be written was not
    bool tooLong = false;
    bool beyondNewest = false;
    auto store = [&](const QByteArray &text, uint32_t n) {
        const QByteArray line = DsdRecordFixFormatting(text);
        // Records made after the upload started wait for the next one: a store that never ends
        // cannot keep it going.
        if (newestKnown && n > newest) {
            beyondNewest = true;
            return false;
        }
        if (line.size() > MaxRecordLength) {
            tooLong = true;
            TooLongRecord = n;
            TooLongLength = static_cast<int>(text.size());
            return false;
        }
        if (Progress)
            Progress->StepProgress(QString::fromLatin1(line), n / 2);
        ++seq;
        if (!DsdRecordWriteToFile(file, seq, line, ScrambleLines, log) && written) {
            written = false;
            writeError = file.errorString();
        }
        LastNumber = n;
        lastText = line;
        HasLast = true;
        ++Count;
        return true;
    };

    uint32_t from = LastNumber;
    if (!existed && !RecordNumber(Device.OldestRecordText, from))
        from = 0;
    if (Progress) {
        Progress->SetProgressRange(from / 2, newest / 2, 1);
        Progress->ShowProgress(
            LangText("TFrmProgress", "ProgressSerial", "Instrument Serial Number: %1").arg(serial),
            LangText("TFrmProgress", "ProgressUploading", "Uploading Records from %1 to %2")
                .arg(from)
                .arg(newest),
            QString());
    }

    // The instrument's read position is known only while `anchored`: then the next record
    // must be LastNumber + 1. Any doubt (a lost reply, a repeat, a gap) sets it again with
    // ReadRecordByNumber on the last stored record, which must still be the record stored.
    enum TStop {
        Running,
        Complete,
        Silence,
        LinkLost,
        Cancelled,
        Stalled,
        NotContinued,
        TooLong
    } stop = Running;
    bool anchored = false;
    bool fresh = false; // no "next record" asked since the position was set
    uint32_t gapAt = 0; // a gap seen right after setting the position
    int idle = 0;       // requests since the last new record
    bool startedNew = false;
    // The instrument's records do not continue the store: stop, or with NewSequence (and nothing
    // stored yet) start a new store file from the instrument's oldest record.
    auto notContinued = [&](const QString &why) {
        RestartReason = why;
        if (NewSequence && Count == 0 && existed && !startedNew) {
            startedNew = true;
            file.resize(0);
            file.seek(0);
            seq = 0;
            HasLast = false;
            LastNumber = 0;
            lastText.clear();
            checkPending = false;
            anchored = fresh = false;
            gapAt = 0;
            idle = 0;
            Missing.clear();
            return;
        }
        stop = NotContinued;
    };
    if (unverifiable)
        notContinued(QStringLiteral("no record line of the store file passes its checks, so the "
                                    "instrument's record %1 cannot be compared with it")
                         .arg(LastNumber));
    // Nothing stored yet, or the last stored record no longer on the instrument (`after`): the
    // instrument's oldest record, which also sets the read position.
    auto readOldest = [&](std::optional<uint32_t> after) {
        switch (Ask(0x8294, {}, record)) {
        case Answered: {
            uint32_t n = 0;
            if (!RecordNumber(record, n))
                break;
            if (HasLast && n <= LastNumber) {
                // It no longer holds that record, yet holds records numbered up to it: its
                // numbering started again.
                notContinued(QStringLiteral("the instrument no longer holds record %1, and its records "
                                            "now start at %2")
                                 .arg(after.value_or(LastNumber))
                                 .arg(n));
                break;
            }
            if (HasLast && n > LastNumber + 1)
                Missing.append({LastNumber + 1, n - 1});
            store(record, n);
            anchored = fresh = true;
            idle = 0;
            break;
        }
        case Refused:
            stop = Complete; // an empty data store
            break;
        case Denied:
        case NoAnswer:
            break;
        }
    };
    while (stop == Running) {
        // A work file that cannot be written (a full disk) ends the upload: the store stays as it was.
        if (!written)
            break;
        if (tooLong) {
            stop = TooLong;
            break;
        }
        // The newest record reported at the start is stored (and the store is known to continue).
        if (beyondNewest || (anchored && newestKnown && HasLast && LastNumber >= newest)) {
            stop = Complete;
            break;
        }
        if (Progress && Progress->CancelRequested()) {
            stop = Cancelled;
            break;
        }
        if (!Engine.LinkOpen()) {
            stop = LinkLost;
            break;
        }
        // Any refusal but "no such record" (reported by the engine) will not go away by asking.
        if (!Refusal.isEmpty()) {
            stop = Stalled;
            break;
        }
        if (Silent >= MaxSilentRequests) {
            stop = Silence;
            break;
        }
        if (++idle > MaxIdleRequests) {
            stop = Stalled;
            break;
        }
        if (!HasLast) {
            readOldest(std::nullopt);
            continue;
        }
        if (!anchored) {
            const uint32_t want = checkPending ? checkNumber : LastNumber;
            uint32_t n = 0;
            switch (Ask(0x8291, QByteArray::number(want, 16).toUpper(), record)) {
            case Answered: {
                // Only the record asked for sets the position; anything else was a stray reply.
                if (!RecordNumber(record, n) || n != want)
                    break;
                const QByteArray &expected = checkPending ? checkText : lastText;
                if (!expected.isEmpty() && DsdRecordFixFormatting(record) != expected) {
                    notContinued(QStringLiteral("the instrument's record %1 is not the record %1 stored "
                                                "(its date, time or fields differ)")
                                     .arg(want));
                    break;
                }
                if (checkPending)
                    checkPending = false; // the store's record is there: now the position
                else
                    anchored = fresh = true;
                break;
            }
            case Refused:
                // The instrument no longer holds that record: its oldest tells a gap from a restart.
                readOldest(want);
                break;
            case Denied:
            case NoAnswer:
                break;
            }
            continue;
        }
        uint32_t n = 0;
        const TAnswer a = Ask(0x8292, {}, record);
        if (a == Answered && RecordNumber(record, n)) {
            // A gap met twice, each time straight after setting the position, is the
            // instrument's own numbering: stored, and said.
            if (n == LastNumber + 1 || (fresh && n > LastNumber && n == gapAt)) {
                if (n != LastNumber + 1)
                    Missing.append({LastNumber + 1, n - 1});
                store(record, n);
                idle = 0;
                gapAt = 0;
                fresh = false;
                continue;
            }
            if (fresh && n > LastNumber)
                gapAt = n;
        } else if (a == Refused && !(newestKnown && LastNumber < newest)) {
            stop = Complete; // no record after the last one, as the newest record said
            break;
        }
        // Lost, repeated, out of order, or "no record" before the newest: set the position again.
        anchored = fresh = false;
        ++Reanchors;
    }

    const bool sealed =
        written &&
        (!HasLast || DsdRecordWriteToFile(file, seq, DsdTrailerRecord(LastNumber), ScrambleLines, log)) &&
        file.resize(file.pos()) && SyncFile(file);
    if (!sealed && writeError.isEmpty())
        writeError = file.errorString();
    file.close();
    Engine.SuppressUnknownErrors = false;
    // A work file with nothing new, or one that could not be written completely, never replaces the
    // store file and is not left beside it: the records it lacks are still in the instrument.
    if (Count == 0 || !sealed)
        QFile::remove(work);
    if (Count > 0 && !sealed)
        return Fail(QStringLiteral("Could not write the temporary Data Store file: ") + work +
                    QStringLiteral(" (") + writeError +
                    QStringLiteral(")\n\rNothing was uploaded; the Data Store file is unchanged: ") + path);
    // A new sequence: the old store file keeps its bytes under its closing name, then the new one
    // takes the store file's name.
    if (Count > 0 && startedNew) {
        ClosedPath = ClosedStoreName(path, QDateTime::currentDateTimeUtc());
        if (!ReplaceFile(path, ClosedPath)) {
            QFile::remove(work);
            const QString closed = ClosedPath;
            ClosedPath.clear();
            return Fail(QStringLiteral("Cannot rename the old Data Store file: ") + path +
                        QStringLiteral("\n\rto: ") + closed + QStringLiteral("\n\rNothing was uploaded."));
        }
    }
    if (Count > 0 && !Commit(path, work))
        return Failed;
    if (Progress)
        Progress->HideProgress();

    const QString uploaded =
        Count == 1 ? LangText("Messages", "UploadedOne", QStringLiteral("Uploaded 1 new record."))
                   : LangText("Messages", "Uploaded", QStringLiteral("Uploaded %1 new records.")).arg(Count);
    QString missing;
    for (const auto &[first, last] : Missing)
        missing += first == last
                       ? " " + LangText("Messages", "UploadGoneOne",
                                        QStringLiteral("Record %1 was no longer on the instrument."))
                                   .arg(first)
                       : " " + LangText("Messages", "UploadGone",
                                        QStringLiteral("Records %1 to %2 were no longer on the instrument."))
                                   .arg(first)
                                   .arg(last);
    const QString closed =
        ClosedPath.isEmpty()
            ? QString()
            : QStringLiteral(
                  "The instrument's records no longer continued its Data Store file: %1. That file "
                  "is kept unchanged as %2, and a new one was started. ")
                  .arg(RestartReason, ClosedPath);
    if (stop == NotContinued) {
        Message = QStringLiteral("The instrument's records no longer continue its Data Store file %1 (its "
                                 "record numbering restarted or its records differ): %2. %3")
                      .arg(path, RestartReason,
                           Count == 0 ? QStringLiteral("Nothing was uploaded; the file is unchanged.")
                                      : uploaded + QStringLiteral(" before that."));
        return Restarted;
    }
    if (stop == Complete) {
        Message = Count == 0 ? LangText("Messages", "UploadNothingNew",
                                        QStringLiteral("No new records to upload from instrument."))
                             : closed + uploaded + missing;
        if (Reporter)
            Reporter->Info(Message);
        return Count == 0 ? NothingNew : Uploaded;
    }
    const QString why =
        stop == TooLong
            ? LangText(
                  "Messages", "UploadWhyTooLong",
                  QStringLiteral("the instrument's record %1 is %2 characters long, longer than a store line "
                                 "holds (%3 characters); it is not stored, nor are the records after it"))
                  .arg(TooLongRecord)
                  .arg(TooLongLength)
                  .arg(MaxRecordLength)
        : stop == Cancelled
            ? LangText("Messages", "UploadWhyCancelled", QStringLiteral("cancelled by request"))
        : stop == LinkLost ? LangText("Messages", "UploadWhyLost", QStringLiteral("the connection was lost"))
        : stop == Silence
            ? LangText("Messages", "UploadWhySilent", QStringLiteral("the instrument stopped answering"))
        : !Refusal.isEmpty()
            ? LangText("Messages", "UploadWhyRefused", QStringLiteral("the instrument refused (%1)"))
                  .arg(Refusal)
            : LangText("Messages", "UploadWhyMismatch",
                       QStringLiteral("the instrument's replies did not fit together"));
    const QString stored =
        Count == 1 ? LangText("Messages", "UploadStoredOne", QStringLiteral("1 new record stored"))
                   : LangText("Messages", "UploadStored", QStringLiteral("%1 new records stored")).arg(Count);
    const QString after =
        HasLast ? LangText("Messages", "UploadIncompleteAfter",
                           QStringLiteral("Upload incomplete after record %1 (%2): %3."))
                      .arg(LastNumber)
                      .arg(stored, why)
                : LangText("Messages", "UploadIncomplete", QStringLiteral("Upload incomplete (%1): %2."))
                      .arg(stored, why);
    // A record too long to store stops every later upload at the same place: no use trying again.
    const QString again = stop == TooLong ? QString()
                                          : " " + LangText("Messages", "UploadAgain",
                                                           QStringLiteral("Upload again to continue."));
    Message = closed + after + again + missing;
    if (Reporter) {
        if (stop == Cancelled)
            Reporter->Info(Message);
        else
            Reporter->Error(Message);
    }
    return Incomplete;
}
