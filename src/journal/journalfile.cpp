// The change journal's file: its line format written and taken apart, read back, joined into
// events, verified, and shown as text and CSV.
#include "journal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>

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

} // namespace

bool ParseJournalLine(const QByteArray &text, TJournalLine &line)
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

QString TJournalEvent::RegisterText() const
{
    return Hex(Line.Register, 4);
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
        if (!ParseJournalLine(text, line)) {
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
        if (!ParseJournalLine(text, line)) {
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
