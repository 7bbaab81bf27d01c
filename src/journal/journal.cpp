// The change journal's writer: lines appended under a lock, an intent synced before its request
// goes out, each line chained to the one before.
#include "journal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace
{

// The journal's lock for one line: the file's own lock where the system has one (no lock files
// whose creation every sync would carry), else a lock file beside it.
class TFileLock
{
public:
    TFileLock(QFile &file, const QString &path)
    {
#ifdef Q_OS_UNIX
        Handle = file.handle();
        Ok = ::flock(Handle, LOCK_EX) == 0;
        (void)path;
#else
        (void)file;
        Lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
        Lock->setStaleLockTime(30000);
        Ok = Lock->tryLock(10000);
#endif
    }
    ~TFileLock()
    {
#ifdef Q_OS_UNIX
        if (Ok)
            ::flock(Handle, LOCK_UN);
#endif
    }
    bool Held() const
    {
        return Ok;
    }

private:
    bool Ok = false;
#ifdef Q_OS_UNIX
    int Handle = -1;
#else
    std::unique_ptr<QLockFile> Lock;
#endif
};

bool SyncFile(QFile &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// The last complete line of a file that ends in one, read from its tail.
bool LastLine(QFile &file, QByteArray &line, bool &endsCleanly)
{
    const qint64 size = file.size();
    line.clear();
    endsCleanly = true;
    if (size == 0)
        return true;
    const qint64 chunk = std::min<qint64>(size, 256 * 1024);
    if (!file.seek(size - chunk))
        return false;
    const QByteArray tail = file.read(chunk);
    if (tail.size() != chunk)
        return false;
    endsCleanly = tail.endsWith('\n');
    QByteArray body = endsCleanly ? tail.chopped(1) : tail.left(tail.lastIndexOf('\n'));
    const qsizetype start = body.lastIndexOf('\n');
    line = body.mid(start + 1);
    return true;
}

QString OutcomeText(const TChangeResult &result)
{
    switch (result.Outcome) {
    case TChangeOutcome::Confirmed:
        return QStringLiteral("confirmed");
    case TChangeOutcome::Refused:
        return result.Text.isEmpty() ? QStringLiteral("refused") : QStringLiteral("refused: ") + result.Text;
    case TChangeOutcome::NotConfirmed:
        return result.Text.isEmpty() ? QStringLiteral("not confirmed")
                                     : QStringLiteral("not confirmed: ") + result.Text;
    }
    return {};
}

QByteArray Masked(const QByteArray &value)
{
    return value.isEmpty() ? value : QByteArrayLiteral("(passcode)");
}

} // namespace

TJournalIdentity TJournalIdentity::OfThisProcess(const QByteArray &serial, const QByteArray &model,
                                                 const QByteArray &version)
{
    TJournalIdentity id;
    id.Serial = serial.trimmed();
    id.Model = model;
    id.Version = version;
    id.User = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
#ifdef Q_OS_UNIX
    // Without the variable (a service, a bare root), the account the program runs under.
    if (id.User.isEmpty())
        if (const passwd *account = getpwuid(geteuid()))
            id.User = QString::fromLocal8Bit(account->pw_name);
#endif
    if (id.User.isEmpty())
        id.User = QFileInfo(QDir::homePath()).fileName();
    id.Host = QSysInfo::machineHostName();
    id.Program =
        QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion();
    return id;
}

QString TChangeJournal::FolderFor(const QString &storeDir, const QByteArray &serial)
{
    QByteArray name = serial.trimmed();
    // The serial number names a folder: only digits and letters are taken as they are.
    for (char &c : name)
        if (!QChar::isLetterOrNumber(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) > 0x7E)
            c = '_';
    if (name.isEmpty())
        name = "unknown";
    return QDir::cleanPath(storeDir) + QStringLiteral("/journal/") + QString::fromLatin1(name);
}

QString TChangeJournal::Folder() const
{
    return QFileInfo(Path).absolutePath();
}

bool TChangeJournal::Open(const QString &storeDir, const TJournalIdentity &identity, QString *error)
{
    Id = identity;
    const QString folder = FolderFor(storeDir, identity.Serial);
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("the journal folder %1 could not be created").arg(folder);
        return false;
    }
    QFile::setPermissions(QDir::cleanPath(storeDir) + QStringLiteral("/journal"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    Path = folder + QLatin1Char('/') + QLatin1String(JournalFileName);
    // The header goes in now when the file is new, so that a journal that cannot be written is
    // known before anything is sent.
    TJournalLine probe;
    probe.Mark = TJournalLine::MarkHeader;
    if (Append(probe, true) == 0) {
        if (error)
            *error = Error;
        Path.clear();
        return false;
    }
    return true;
}

TJournalLine TChangeJournal::LineFor(const TChangeEvent &event) const
{
    TJournalLine line;
    line.Kind = event.Kind;
    line.Serial = Id.Serial;
    line.Model = Id.Model;
    line.Version = Id.Version;
    line.UserHost = Id.User + QLatin1Char('@') + Id.Host;
    line.Program = Id.Program;
    line.Action = event.Action.isEmpty() ? Action : event.Action;
    line.Path = event.Path;
    line.Command = event.Command;
    line.Register = event.Register;
    line.Before = event.Before;
    line.Asked = event.Asked;
    line.Note = event.Note;
    if (IsPasscodeRegister(event.Register)) {
        // The command line may carry the value too ("write 00D0 1234").
        if (!event.Asked.isEmpty())
            line.Action.replace(QString::fromLatin1(event.Asked), QStringLiteral("(passcode)"));
        line.Before = Masked(line.Before);
        line.Asked = Masked(line.Asked);
    }
    return line;
}

int64_t TChangeJournal::Intent(const TChangeEvent &event)
{
    if (!IsOpen()) {
        Error = QStringLiteral("no journal is open");
        return 0;
    }
    TJournalLine line = LineFor(event);
    line.Mark = TJournalLine::MarkIntent;
    const int64_t seq = Append(line, true);
    if (seq != 0)
        Pending.append({seq, event});
    return seq;
}

TChangeJournal::~TChangeJournal()
{
    if (AheadSync.valid())
        AheadSync.wait();
}

int64_t TChangeJournal::IntentAhead(const TChangeEvent &event)
{
    if (!IsOpen()) {
        Error = QStringLiteral("no journal is open");
        return 0;
    }
    TJournalLine line = LineFor(event);
    line.Mark = TJournalLine::MarkIntent;
    const int64_t seq = Append(line, false);
    if (seq == 0)
        return 0;
    Pending.append({seq, event});
    if (AheadSync.valid() && !AheadSync.get())
        Error = QStringLiteral("%1 could not be synced to disk").arg(Path);
    // fsync applies to the file, whichever handle asks: a handle of its own, on a thread of its own.
    AheadSync = std::async(std::launch::async, [path = Path] {
        QFile file(path);
        return file.open(QIODevice::ReadWrite | QIODevice::Append) && SyncFile(file);
    });
    AheadSeq = seq;
    return seq;
}

bool TChangeJournal::Synced(int64_t intent)
{
    if (!AheadSync.valid() || intent > AheadSeq)
        return true;
    if (AheadSync.get())
        return true;
    Error = QStringLiteral("%1 could not be synced to disk").arg(Path);
    return false;
}

void TChangeJournal::Outcome(int64_t intent, const TChangeResult &result)
{
    TChangeEvent event;
    for (qsizetype i = 0; i < Pending.size(); ++i)
        if (Pending.at(i).Seq == intent) {
            event = Pending.takeAt(i).Event;
            break;
        }
    TJournalLine line = LineFor(event);
    line.Mark = TJournalLine::MarkOutcome;
    line.Ref = intent;
    line.ReadBack = IsPasscodeRegister(event.Register) ? Masked(result.ReadBack) : result.ReadBack;
    line.Outcome = OutcomeText(result);
    if (!result.Note.isEmpty())
        line.Note = line.Note.isEmpty() ? result.Note : line.Note + QStringLiteral("; ") + result.Note;
    // The next intent's sync takes this line to disk as well; a crash before it leaves the intent
    // without its outcome, which reads as "outcome unknown": never as done.
    Append(line, false);
}

bool TChangeJournal::Event(const TChangeEvent &event, const QString &outcome)
{
    if (!IsOpen()) {
        Error = QStringLiteral("no journal is open");
        return false;
    }
    TJournalLine line = LineFor(event);
    line.Mark = TJournalLine::MarkEvent;
    line.Outcome = outcome;
    // Written through to the system at once; on disk with the next intent's sync (no request waits
    // for an event line).
    return Append(line, false) != 0;
}

int64_t TChangeJournal::Append(TJournalLine line, bool sync)
{
    if (Path.isEmpty())
        return 0;
    // The file stays open between lines; another program (the window, a second command) may write
    // the same journal: one line at a time under the file's lock, each chained to the file's own
    // last line, which is read again only when the file grew meanwhile.
    if (!File || File->fileName() != Path) {
        File = std::make_unique<QFile>(Path);
        KnownSize = -1;
        if (!File->open(QIODevice::ReadWrite | QIODevice::Append)) {
            Error = QStringLiteral("%1: %2").arg(Path, File->errorString());
            File.reset();
            return 0;
        }
    }
    QFile &file = *File;
    TFileLock lock(file, Path);
    if (!lock.Held()) {
        Error = QStringLiteral("the journal %1 is locked by another program").arg(Path);
        return 0;
    }
    QByteArray last;
    bool clean = true;
    if (file.size() == KnownSize) {
        last = KnownLast;
    } else if (!LastLine(file, last, clean)) {
        Error = QStringLiteral("%1 could not be read: %2").arg(Path, file.errorString());
        return 0;
    }
    QByteArray out;
    QByteArray previous;
    int64_t seq = 0;
    if (last.isEmpty() && clean) {
        // A new file: its header first.
        TJournalLine header;
        header.Mark = TJournalLine::MarkHeader;
        header.Seq = 0;
        header.Time = Now().toOffsetFromUtc(Now().offsetFromUtc()).toString(Qt::ISODateWithMs);
        header.Kind = "header";
        header.Serial = Id.Serial;
        header.Model = Id.Model;
        header.Version = Id.Version;
        header.UserHost = Id.User + QLatin1Char('@') + Id.Host;
        header.Program = Id.Program;
        header.Note = QStringLiteral("Brellin change journal, format 1");
        const QByteArray body = JournalLineBody(header);
        previous = JournalChainHash({}, body);
        out += body + '\t' + previous + '\n';
    } else {
        TJournalLine before;
        if (!clean) {
            // A line cut short (a crash while it was written) ends here; verify will name it.
            out += '\n';
        }
        if (ParseJournalLine(last, before)) {
            previous = before.Hash;
            seq = before.Seq;
        } else {
            // The last line is not the journal's: the chain goes on from its text, and verify
            // names the line.
            previous = QCryptographicHash::hash(last, QCryptographicHash::Sha256).toHex();
            seq = -1;
        }
    }
    if (line.Mark != TJournalLine::MarkHeader) {
        if (seq < 0) {
            // Numbering after an unreadable line: one more than the last readable line would be a
            // guess, so count the file's lines.
            file.seek(0);
            seq = file.readAll().count('\n');
        }
        line.Seq = seq + 1;
        const QDateTime now = Now();
        line.Time = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
        const QByteArray body = JournalLineBody(line);
        out += body + '\t' + JournalChainHash(previous, body) + '\n';
    } else if (out.isEmpty()) {
        return 1; // the header is there already
    }
    if (file.write(out) != out.size() || (sync ? !SyncFile(file) : !file.flush())) {
        Error = QStringLiteral("%1 could not be written: %2").arg(Path, file.errorString());
        KnownSize = -1;
        return 0;
    }
    KnownSize = file.size();
    KnownLast = out.chopped(1).mid(out.chopped(1).lastIndexOf('\n') + 1);
    return line.Mark == TJournalLine::MarkHeader ? 1 : line.Seq;
}

bool IsPasscodeRegister(int reg)
{
    return reg == 0x0019 || reg == 0x001A || reg == 0x00D0 || reg == 0x00D1;
}

QString CommandLineWithoutPasscodes(const QStringList &words)
{
    QStringList kept;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (words.at(i) == QLatin1String("--passcode")) {
            ++i;
            continue;
        }
        if (words.at(i).startsWith(QLatin1String("--passcode=")))
            continue;
        kept << (words.at(i).contains(QLatin1Char(' ')) ? QLatin1Char('"') + words.at(i) + QLatin1Char('"')
                                                        : words.at(i));
    }
    return kept.join(QLatin1Char(' '));
}
