// The change journal's file: lines written under a lock and chained by SHA-256, read back, joined
// into events and verified.
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

constexpr int FieldCount = 20; // the hash last
const char *const MarkNames[] = {"journal", "intent", "outcome", "event"};
constexpr int64_t MaxFieldBytes = 4096; // a longer value is cut, and says so

// Tab, line ends, backslash and other control characters written so that a line stays one line.
QByteArray Escape(const QString &text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        const auto ch = static_cast<unsigned char>(c);
        if (ch == '\\')
            out += "\\\\";
        else if (ch == '\t')
            out += "\\t";
        else if (ch == '\n')
            out += "\\n";
        else if (ch == '\r')
            out += "\\r";
        else if (ch < 0x20 || ch == 0x7F)
            out += QByteArray("\\x") + QByteArray::number(ch, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    return out;
}

bool Unescape(const QByteArray &field, QString &out)
{
    QByteArray raw;
    raw.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c != '\\') {
            raw += c;
            continue;
        }
        if (++i >= field.size())
            return false;
        switch (field.at(i)) {
        case '\\':
            raw += '\\';
            break;
        case 't':
            raw += '\t';
            break;
        case 'n':
            raw += '\n';
            break;
        case 'r':
            raw += '\r';
            break;
        case 'x': {
            bool ok = false;
            const int v = field.mid(i + 1, 2).toInt(&ok, 16);
            if (!ok || i + 2 >= field.size())
                return false;
            raw += static_cast<char>(v);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    out = QString::fromUtf8(raw);
    return true;
}

// Instrument texts are 8-bit: each byte is one character of the file's UTF-8.
QByteArray Bytes(const QByteArray &latin1)
{
    const QByteArray cut = latin1.left(MaxFieldBytes);
    return Escape(QString::fromLatin1(cut) +
                  (latin1.size() > MaxFieldBytes ? QStringLiteral("...") : QString()));
}

QString Hex(int value, int width)
{
    return value < 0 ? QString() : QString::asprintf("%0*X", width, unsigned(value));
}

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

bool ParseLine(const QByteArray &text, TJournalLine &line)
{
    const QList<QByteArray> fields = text.split('\t');
    if (fields.size() != FieldCount)
        return false;
    QString f[FieldCount];
    for (int i = 0; i < FieldCount; ++i)
        if (!Unescape(fields.at(i), f[i]))
            return false;
    bool ok = false;
    line.Seq = f[0].toLongLong(&ok);
    if (!ok || line.Seq < 0)
        return false;
    int mark = -1;
    for (int i = 0; i < 4; ++i)
        if (f[1] == QLatin1String(MarkNames[i]))
            mark = i;
    if (mark < 0)
        return false;
    line.Mark = static_cast<TJournalLine::TMark>(mark);
    line.Ref = f[2].isEmpty() ? 0 : f[2].toLongLong(&ok);
    if (!f[2].isEmpty() && !ok)
        return false;
    line.Time = f[3];
    line.Kind = f[4].toLatin1();
    line.Serial = f[5].toLatin1();
    line.Model = f[6].toLatin1();
    line.Version = f[7].toLatin1();
    line.UserHost = f[8];
    line.Program = f[9];
    line.Action = f[10];
    line.Path = f[11].toLatin1();
    line.Command = f[12].isEmpty() ? -1 : f[12].toInt(&ok, 16);
    if (!f[12].isEmpty() && !ok)
        return false;
    line.Register = f[13].isEmpty() ? -1 : f[13].toInt(&ok, 16);
    if (!f[13].isEmpty() && !ok)
        return false;
    line.Before = f[14].toLatin1();
    line.Asked = f[15].toLatin1();
    line.ReadBack = f[16].toLatin1();
    line.Outcome = f[17];
    line.Note = f[18];
    line.Hash = fields.at(19);
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

QString TJournalEvent::RegisterText() const
{
    return Hex(Line.Register, 4);
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
        if (ParseLine(last, before)) {
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

QByteArray JournalLineBody(const TJournalLine &line)
{
    const QString fields[FieldCount - 1] = {
        QString::number(line.Seq),
        QLatin1String(MarkNames[line.Mark]),
        line.Ref > 0 ? QString::number(line.Ref) : QString(),
        line.Time,
        QString::fromLatin1(line.Kind),
        QString::fromLatin1(line.Serial),
        QString::fromLatin1(line.Model),
        QString::fromLatin1(line.Version),
        line.UserHost,
        line.Program,
        line.Action,
        QString::fromLatin1(line.Path),
        line.Command < 0 ? QString() : Hex(line.Command, 2),
        Hex(line.Register, 4),
        {},
        {},
        {},
        line.Outcome,
        line.Note,
    };
    QByteArray body;
    for (int i = 0; i < FieldCount - 1; ++i) {
        if (i > 0)
            body += '\t';
        if (i == 14)
            body += Bytes(line.Before);
        else if (i == 15)
            body += Bytes(line.Asked);
        else if (i == 16)
            body += Bytes(line.ReadBack);
        else
            body += Escape(fields[i]);
    }
    return body;
}

QByteArray JournalChainHash(const QByteArray &previous, const QByteArray &body)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(previous);
    hash.addData(QByteArrayView("\n"));
    hash.addData(body);
    return hash.result().toHex();
}

bool ReadJournalFile(const QString &path, QList<TJournalLine> &lines, QString *error)
{
    lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("%1 could not be read: %2").arg(path, file.errorString());
        return false;
    }
    int number = 0;
    for (const QByteArray &text : all.split('\n')) {
        ++number;
        if (text.isEmpty())
            continue;
        TJournalLine line;
        if (!ParseLine(text, line)) {
            line = TJournalLine();
            line.Hash = QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
            line.Seq = -1;
        }
        line.LineNumber = number;
        lines.append(line);
    }
    return true;
}

QList<TJournalEvent> JournalEvents(const QList<TJournalLine> &lines)
{
    QList<TJournalEvent> events;
    QHash<int64_t, qsizetype> intents; // intent number -> event index
    for (const TJournalLine &line : lines) {
        switch (line.Mark) {
        case TJournalLine::MarkHeader:
            break;
        case TJournalLine::MarkIntent:
            intents.insert(line.Seq, events.size());
            events.append({line, QLatin1String(OutcomeUnknownText)});
            break;
        case TJournalLine::MarkOutcome:
            if (const auto it = intents.find(line.Ref); it != intents.end()) {
                events[*it] = {line, line.Outcome};
                intents.erase(it);
            } else {
                events.append({line, line.Outcome});
            }
            break;
        case TJournalLine::MarkEvent:
            if (line.Seq >= 0)
                events.append({line, line.Outcome});
            break;
        }
    }
    return events;
}

TJournalVerdict VerifyJournal(const QString &path, QString *error)
{
    TJournalVerdict verdict;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        verdict.Lines = -1;
        return verdict;
    }
    const QByteArray all = file.readAll();
    QList<QByteArray> texts = all.split('\n');
    if (!all.isEmpty() && !all.endsWith('\n'))
        verdict.Problems << QStringLiteral("line %1: cut short (no end of line)").arg(texts.size());
    if (all.endsWith('\n'))
        texts.removeLast();
    QByteArray previous;
    int64_t seq = -1;
    QHash<int64_t, bool> intents;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        ++verdict.Lines;
        const QByteArray &text = texts.at(i);
        const QString where = QStringLiteral("line %1").arg(i + 1);
        TJournalLine line;
        if (!ParseLine(text, line)) {
            verdict.Problems << where + QStringLiteral(": not a journal line");
            previous = QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
            seq = -1;
            continue;
        }
        const QByteArray body = text.left(text.lastIndexOf('\t'));
        if (i == 0 && line.Mark != TJournalLine::MarkHeader)
            verdict.Problems << where + QStringLiteral(": the journal's header is missing");
        if (i > 0 && line.Mark == TJournalLine::MarkHeader)
            verdict.Problems << where + QStringLiteral(": a second header");
        if (JournalChainHash(i == 0 ? QByteArray() : previous, body) != line.Hash)
            verdict.Problems << where + QStringLiteral(": its hash does not follow from the line before "
                                                       "(this line or the one before was changed, removed "
                                                       "or moved)");
        else if (i > 0 && seq >= 0 && line.Seq != seq + 1)
            verdict.Problems << where + QStringLiteral(": number %1 follows %2").arg(line.Seq).arg(seq);
        if (line.Mark == TJournalLine::MarkIntent)
            intents.insert(line.Seq, true);
        if (line.Mark == TJournalLine::MarkOutcome && !intents.remove(line.Ref))
            verdict.Problems
                << where +
                       QStringLiteral(": the outcome of %1, which is no open intent before it").arg(line.Ref);
        previous = line.Hash;
        seq = line.Seq;
    }
    if (verdict.Lines == 0)
        verdict.Problems << QStringLiteral("the journal is empty (not even its header)");
    return verdict;
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

QByteArray JournalEventText(const TJournalEvent &event)
{
    const TJournalLine &l = event.Line;
    auto value = [](const QByteArray &v) { return v.isEmpty() ? QByteArray("-") : '"' + v + '"'; };
    QByteArray text = l.Time.toUtf8() + "  " + l.Kind;
    if (l.Register >= 0)
        text += "  " + (l.Command >= 0 ? Hex(l.Command, 2).toLatin1() + ' ' : QByteArray()) +
                event.RegisterText().toLatin1();
    if (!l.Path.isEmpty())
        text += "  " + QString::fromLatin1(l.Path).toUtf8();
    if (l.Mark != TJournalLine::MarkEvent || !l.Asked.isEmpty() || !l.Before.isEmpty())
        text += "  before " + QString::fromLatin1(value(l.Before)).toUtf8() + ", asked " +
                QString::fromLatin1(value(l.Asked)).toUtf8() + ", read back " +
                QString::fromLatin1(value(l.ReadBack)).toUtf8();
    text += "  " + event.Outcome.toUtf8();
    if (!l.Note.isEmpty())
        text += "  (" + l.Note.toUtf8() + ')';
    text += "  [" + l.UserHost.toUtf8() + ", " + l.Program.toUtf8() +
            (l.Action.isEmpty() ? QByteArray() : ": " + l.Action.toUtf8()) + ']';
    return text;
}

QList<TJournalEvent> FilterJournalEvents(const QList<TJournalEvent> &events, const QDateTime &from,
                                         const QDateTime &to, const QByteArray &kind)
{
    QList<TJournalEvent> kept;
    for (const TJournalEvent &event : events) {
        const QDateTime when = event.Line.When();
        if ((from.isValid() && when < from) || (to.isValid() && when > to))
            continue;
        if (!kind.isEmpty() && event.Line.Kind != kind)
            continue;
        kept.append(event);
    }
    return kept;
}

namespace
{
QByteArray CsvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r') ||
        field.startsWith(' ') || field.endsWith(' '))
        field = '"' + field.replace("\"", "\"\"") + '"';
    return field;
}
} // namespace

QByteArray JournalCsv(const QList<TJournalEvent> &events)
{
    QByteArray csv = "time,serial number,model,version,kind,command,register,menu path,value before,value "
                     "asked,value read back,outcome,note,user and host,program,action\r\n";
    for (const TJournalEvent &e : events) {
        const TJournalLine &l = e.Line;
        const QString fields[] = {l.Time,
                                  QString::fromLatin1(l.Serial),
                                  QString::fromLatin1(l.Model),
                                  QString::fromLatin1(l.Version),
                                  QString::fromLatin1(l.Kind),
                                  Hex(l.Command, 2),
                                  e.RegisterText(),
                                  QString::fromLatin1(l.Path),
                                  QString::fromLatin1(l.Before),
                                  QString::fromLatin1(l.Asked),
                                  QString::fromLatin1(l.ReadBack),
                                  e.Outcome,
                                  l.Note,
                                  l.UserHost,
                                  l.Program,
                                  l.Action};
        QByteArray row;
        for (const QString &f : fields)
            row += (row.isEmpty() ? QByteArray() : QByteArray(",")) + CsvField(f);
        // A row that starts with the first field empty still has its comma count.
        csv += row + "\r\n";
    }
    return csv;
}

QStringList JournalSerials(const QString &storeDir)
{
    QStringList serials;
    const QDir dir(QDir::cleanPath(storeDir) + QStringLiteral("/journal"));
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QFileInfo::exists(dir.filePath(name) + QLatin1Char('/') + QLatin1String(JournalFileName)))
            serials << name;
    return serials;
}

const char JournalChainHelp[] =
    "Each line of the journal carries a SHA-256 hash of its own text and of the hash of the line before it. "
    "Verifying recomputes the chain: a line edited, removed, copied or moved, or an outcome changed, breaks "
    "it from that line on, and is found. The chain holds no secret: it shows accidents and careless edits, "
    "not a determined forger, who can rewrite the whole file and compute new hashes, or cut lines off its "
    "end. Nor does it prove that the PC's clock was right.";
