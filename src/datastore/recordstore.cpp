// Loading and checking a store file (mapped or read in one piece) with an index, and the display text of a
// record.
#include "recordstore.h"

#include "i18n/LumsLang.h"
#include "link/reporter.h"

#include <QDate>
#include <QFile>
#include <QTime>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

// The locale's long time format without its time-zone part: record times carry no zone.
QString TimeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (QChar ch : format) {
        if (ch == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && ch == QLatin1Char('t'))
            continue;
        result += ch;
    }
    return result.trimmed();
}

// Latin-1 bytes appended as UTF-8.
void AppendLatin1(QByteArray &out, const char *from, const char *to)
{
    const char *run = from;
    for (const char *c = from; c < to; ++c) {
        const auto u = static_cast<unsigned char>(*c);
        if (u < 0x80)
            continue;
        out.append(run, c - run);
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
        run = c + 1;
    }
    out.append(run, to - run);
}

const char *FindComma(const char *from, const char *to)
{
    return static_cast<const char *>(std::memchr(from, ',', static_cast<std::size_t>(to - from)));
}

} // namespace

void TDsdTimeFormatter::SetFormat(const QLocale &locale, const QString &format)
{
    Locale = locale;
    Format = format;
    Fast = Compile(format);
    // The pieces must give exactly what QLocale gives, or they are not used.
    for (int hour = 0; Fast && hour < 24; ++hour) {
        static constexpr int probes[][2] = {{0, 0}, {5, 9}, {10, 30}, {59, 58}};
        for (const auto &probe : probes) {
            QByteArray fast;
            AppendFast(hour, probe[0], probe[1], fast);
            if (fast != Locale.toString(QTime(hour, probe[0], probe[1]), Format).toUtf8()) {
                Fast = false;
                break;
            }
        }
    }
}

bool TDsdTimeFormatter::Compile(const QString &format)
{
    Pieces.clear();
    auto text = [&](const QString &t) {
        if (Pieces.empty() || Pieces.back().Kind != Text)
            Pieces.push_back({});
        Pieces.back().Literal += t.toUtf8();
    };
    for (qsizetype i = 0; i < format.size();) {
        const QChar ch = format[i];
        if (ch == QLatin1Char('\'')) {
            // Quoted text; two quotes stand for one.
            const qsizetype close = format.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0)
                return false;
            text(close == i + 1 ? QStringLiteral("'") : format.mid(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        if (!ch.isLetter()) {
            text(QString(ch));
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == ch && run < 2)
            ++run;
        TPiece piece;
        piece.Padded = run == 2;
        const char c = ch.toLatin1();
        if (c == 'h')
            piece.Kind = Hour;
        else if (c == 'H')
            piece.Kind = Hour24;
        else if (c == 'm')
            piece.Kind = Minute;
        else if (c == 's')
            piece.Kind = Second;
        else if (c == 'A' || c == 'a') {
            piece.Kind = AmPm;
            piece.Lower = c == 'a';
            piece.Padded = false;
            const QChar p = c == 'a' ? QLatin1Char('p') : QLatin1Char('P');
            run = i + 1 < format.size() && format[i + 1] == p ? 2 : 1;
        } else {
            return false;
        }
        Pieces.push_back(piece);
        i += run;
    }
    // With AM/PM anywhere in the format, h counts 1 to 12.
    const bool twelve =
        std::any_of(Pieces.begin(), Pieces.end(), [](const TPiece &p) { return p.Kind == AmPm; });
    for (TPiece &p : Pieces)
        if (p.Kind == Hour && twelve)
            p.Kind = Hour12;
    Am = Locale.amText().toUpper().toUtf8();
    Pm = Locale.pmText().toUpper().toUtf8();
    AmLower = Locale.amText().toLower().toUtf8();
    PmLower = Locale.pmText().toLower().toUtf8();
    return true;
}

void TDsdTimeFormatter::AppendFast(int hour, int minute, int second, QByteArray &out) const
{
    auto number = [&out](int value, bool padded) {
        if (padded || value >= 10)
            out += static_cast<char>('0' + value / 10);
        out += static_cast<char>('0' + value % 10);
    };
    for (const TPiece &p : Pieces) {
        switch (p.Kind) {
        case Text:
            out += p.Literal;
            break;
        case Hour:
        case Hour24:
            number(hour, p.Padded);
            break;
        case Hour12:
            number(hour % 12 == 0 ? 12 : hour % 12, p.Padded);
            break;
        case Minute:
            number(minute, p.Padded);
            break;
        case Second:
            number(second, p.Padded);
            break;
        case AmPm:
            out += hour < 12 ? (p.Lower ? AmLower : Am) : (p.Lower ? PmLower : Pm);
            break;
        }
    }
}

void TDsdTimeFormatter::Append(int hour, int minute, int second, QByteArray &out) const
{
    if (Fast)
        AppendFast(hour, minute, second, out);
    else
        out += Locale.toString(QTime(hour, minute, second), Format).toUtf8();
}

void TDsdRecordStore::Clear()
{
    Mapping.Reset();
    FreeBlock(RecordBuffer);
    Data = nullptr;
    Size = 0;
    Capacity = InitialCapacity;
    RecordIndex.reset(reinterpret_cast<TDsdRecordEntry *>(
        AllocateOrReport(sizeof(TDsdRecordEntry) * Capacity, "DsdMemMapFileInit", true, Reporter).release()));
    RecordIndex.get()[0] = TDsdRecordEntry{};
    Count = 0;
    Verdict = 0;
    LastSequence = 0;
    DateCached = false;
    ChangeNoticed = false;
}

void TDsdRecordStore::GrowIndex()
{
    // realloc moves a large index without copying it, and the entries past RecordCount are
    // never touched, so the index costs memory only for the records it holds.
    const uint32_t capacity = Capacity + Capacity / 3;
    const std::size_t bytes = sizeof(TDsdRecordEntry) * static_cast<std::size_t>(capacity);
    auto *grown = static_cast<TDsdRecordEntry *>(std::realloc(RecordIndex.get(), bytes));
    if (grown) {
        (void)RecordIndex.release(); // realloc has taken it over
    } else {
        // A fresh block, or the fatal report; the old index is still there to copy.
        grown = reinterpret_cast<TDsdRecordEntry *>(
            AllocateOrReport(bytes, "DsdMemMapFileInit", true, Reporter).release());
        std::memcpy(grown, RecordIndex.get(),
                    sizeof(TDsdRecordEntry) * (static_cast<std::size_t>(Count) + 1));
    }
    RecordIndex.reset(grown);
    Capacity = capacity;
}

void TDsdRecordStore::Fail(const QString &text)
{
    WindowMessages += text;
    LogLine(text);
    if (Reporter)
        Reporter->Error(text);
}

bool TDsdRecordStore::DsdMemMapFileInit(const QString &path, const QString &serial)
{
    Clear();
    WindowMessages.clear();
    StatusText.clear();
    StatusTamper = false;
    TimeFormat = TimeFormatWithoutZone(Locale);
    FastTime.SetFormat(Locale, TimeFormat);
    Scrambled = ScrambleLines;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        Fail(LangText("Messages", "StoreNotOpened", "Error: file did not open properly: %1").arg(path));
        return false;
    }
    const qint64 size = file.size();
    if (size > static_cast<qint64>(MaxStoreFileSize)) {
        Fail(LangText("Messages", "StoreTooLarge", "file size exceeds max allowed (%1)")
                 .arg(MaxStoreFileSize));
        return false;
    }
    if (Mapping.Map(file.handle(), static_cast<std::size_t>(size))) {
        Data = Mapping.Data();
        Size = static_cast<std::size_t>(size);
    } else {
        RecordBuffer =
            AllocateOrReport(static_cast<std::size_t>(size) + 129, "DsdMemMapFileInit", true, Reporter);
        qint64 got = 0;
        while (got < size) {
            const qint64 n = file.read(RecordBuffer.get() + got, size - got);
            if (n <= 0)
                break;
            got += n;
        }
        if (got < size) {
            // Go on with what arrived: the missing end shows as an incomplete file.
            const QString text =
                LangText("Messages", "StoreReadFailed", "Read of Data Store for \"%1\" failed.").arg(serial);
            LogLine(text);
            if (Reporter)
                Reporter->Error(text);
        }
        Size = static_cast<std::size_t>(got);
        RecordBuffer.get()[Size] = 0;
        Data = RecordBuffer.get();
    }
    IndexLines();
    Report();
    if (FileChanged() && Reporter)
        Reporter->Error(QString::fromLatin1(StoreChangedText));
    return true;
}

bool TDsdRecordStore::FileChanged()
{
    if (ChangeNoticed || !Mapping.FileChanged())
        return ChangeNoticed;
    ChangeNoticed = true;
    Verdict |= VerdictFileTamper;
    StatusText = LangText("Messages", "DsdStoreChanged", QString::fromLatin1(StoreChangedText));
    StatusTamper = true;
    LogLine(StatusText);
    return true;
}

void TDsdRecordStore::LoadBytes(const char *data, std::size_t size)
{
    Clear();
    WindowMessages.clear();
    TimeFormat = TimeFormatWithoutZone(Locale);
    FastTime.SetFormat(Locale, TimeFormat);
    Scrambled = ScrambleLines;
    RecordBuffer = AllocateOrReport(size + 129, "DsdMemMapFileInit", true, Reporter);
    if (size > 0)
        std::memcpy(RecordBuffer.get(), data, size);
    Size = size;
    RecordBuffer.get()[Size] = 0;
    Data = RecordBuffer.get();
    IndexLines();
    Report();
}

void TDsdRecordStore::Report()
{
    StatusText.clear();
    StatusTamper = false;
    if (Verdict != 0) {
        LogLine(QString::fromLatin1(TamperEvidenceText));
        StatusTamper = true;
        StatusText = LangText("Messages", "Tamper", TamperEvidenceText);
        if (Reporter)
            Reporter->Error(StatusText + "\r\n " +
                            LangText("Messages", "FoundRecordsLower", "found %1 records").arg(Count));
    } else {
        StatusText = LangText("Messages", "FoundRecords", "Found %1 records").arg(Count);
        LogLine(QStringLiteral("file opened and mapped OK: found %1 records").arg(Count));
    }
}

void TDsdRecordStore::IndexLines()
{
    const char *const data = Data;
    TDsdRecordEntry *index = RecordIndex.get();
    Count = 0;
    LastSequence = 0;
    index[0] = TDsdRecordEntry{};
    bool trailer = false;
    bool afterTrailer = false;
    uint32_t unreadable = 0; // lines in a row that hold no record
    JoinBudget = 8 * Size + (std::size_t{1} << 20);
    JoinsStopped = false;
    // Each line is checked in plain form in this scratch copy; the stored bytes stay as they are.
    char plain[PlainLineRoom];
    // The LF search is bounded by the data, not by a NUL: a scrambled byte may well be 0. A file
    // cut short under the mapping ends the indexing where the zeros begin.
    while (index[Count].Line < Size && !Mapping.Damaged()) {
        const char *const line = data + index[Count].Line;
        const char *lf = Scrambled
                             ? UnscrambleToLf(plain, line, data + Size)
                             : static_cast<const char *>(std::memchr(line, '\n', Size - index[Count].Line));
        if (!lf)
            break;
        std::size_t length = std::min<std::size_t>(MaxLineExamined, static_cast<std::size_t>(lf - line));
        const char *const text = Scrambled ? plain : line;
        const uint32_t previousSequence = LastSequence;
        TDsdParsedLine parsed = DsdRecordParse(text, length, LastSequence);
        if (parsed.Verdict != 0 && Scrambled && length < static_cast<std::size_t>(MaxLineExamined))
            lf = JoinScrambledLf(plain, length, line, lf, previousSequence, parsed);
        const std::size_t next = static_cast<std::size_t>(lf + 1 - data);
        if (parsed.IsTrailer()) {
            // The trailer ends the file. One with lines after it hides nothing: they load, the
            // first of them marked, because something was written after the file was sealed.
            if (!std::memchr(data + next, '\n', Size - next)) {
                trailer = true;
                CheckTrailer(parsed, previousSequence);
                break;
            }
            afterTrailer = true;
            index[Count].Line = static_cast<uint32_t>(next);
            continue;
        }
        if (afterTrailer) {
            parsed.Verdict |= VerdictFileTamper;
            afterTrailer = false;
        }
        // Each line costs an index entry: a file of empty or foreign lines (a link to a file of
        // line feeds) is read only until it is plainly no store file, not to the end of the memory.
        unreadable = (parsed.Verdict & VerdictRecordFormat) ? unreadable + 1 : 0;
        if (unreadable > MaxUnreadableLines) {
            Verdict |= VerdictFileTamper;
            const uint32_t first = Count - MaxUnreadableLines + 1;
            Fail(first == 1
                     ? QStringLiteral(
                           "The file holds no record in its first %1 lines; it was read no further.")
                           .arg(MaxUnreadableLines)
                     : QStringLiteral("The store file was read only up to its line %1: from there on, more "
                                      "than %2 lines in a row hold no record.")
                           .arg(first)
                           .arg(MaxUnreadableLines));
            break;
        }
        TDsdRecordEntry &entry = index[Count];
        entry.Number = parsed.Number;
        entry.Date = parsed.Date;
        entry.Time = parsed.Time;
        entry.Verdict = parsed.Verdict;
        entry.Length = static_cast<uint8_t>(length);
        Verdict |= parsed.Verdict;
        ++Count;
        if (Count >= Capacity) {
            GrowIndex();
            index = RecordIndex.get();
        }
        index[Count] = TDsdRecordEntry{};
        index[Count].Line = static_cast<uint32_t>(next);
    }
    if (!trailer) {
        index[Count].Verdict |= VerdictFileIncomplete;
        Verdict |= VerdictFileIncomplete;
    }
}

void TDsdRecordStore::CheckTrailer(const TDsdParsedLine &trailer, uint32_t previousSequence)
{
    // The trailer repeats the seq and the record number of the last record line. Without this
    // a deleted last record, or a last record moved behind the trailer, would go unnoticed.
    TDsdRecordEntry *index = RecordIndex.get();
    bool intact = trailer.Seq == previousSequence;
    if (Count > 0 && !(index[Count - 1].Verdict & VerdictRecordFormat))
        intact = intact && trailer.Number == index[Count - 1].Number;
    if (intact)
        return;
    index[Count > 0 ? Count - 1 : 0].Verdict |= VerdictLastEntryTamper;
    Verdict |= VerdictLastEntryTamper;
}

const char *TDsdRecordStore::JoinScrambledLf(char *plain, std::size_t &length, const char *line,
                                             const char *lf, uint32_t previousSequence,
                                             TDsdParsedLine &parsed)
{
    // A long line may scramble a byte into an LF, which then splits it. When the line with
    // the following piece(s) put back passes every check, it is one line after all.
    const char *const original = lf;
    std::size_t joined = length; // plain[0..joined) is unscrambled
    const char *const end = Data + Size;
    while (joined < static_cast<std::size_t>(MaxLineExamined)) {
        const auto *next =
            static_cast<const char *>(std::memchr(lf + 1, '\n', static_cast<std::size_t>(end - lf - 1)));
        if (!next)
            return original;
        // The LF itself and the bytes up to the next one, unscrambled at their place in the line.
        const std::size_t upTo =
            std::min<std::size_t>(MaxLineExamined, static_cast<std::size_t>(next - line));
        UnscrambleCopy(plain, line, joined, upTo);
        joined = upTo;
        // Damage can leave many short lines: each join is tried only while the fields could
        // still read right, and all joins of one load together check at most a few times the
        // file's bytes, so a badly damaged file loads in time (its lines then stay as they are).
        uint32_t seq = 0;
        const TFieldsOutlook outlook = DsdRecordFieldsOutlook(plain, joined, seq);
        if (outlook == TFieldsOutlook::Failed ||
            (outlook == TFieldsOutlook::Settled && seq != SequenceWildcard && seq != previousSequence + 1))
            return original;
        if (JoinBudget < joined) {
            if (!JoinsStopped)
                LogLine(QStringLiteral("too many broken lines: split lines are no longer joined"));
            JoinsStopped = true;
            return original;
        }
        JoinBudget -= joined;
        uint32_t sequence = previousSequence;
        const TDsdParsedLine retry = DsdRecordParse(plain, joined, sequence);
        if (retry.Verdict == 0) {
            parsed = retry;
            LastSequence = sequence;
            length = joined;
            return next;
        }
        lf = next;
    }
    return original;
}

std::size_t TDsdRecordStore::PlainLine(uint32_t i, char *plain, bool &asLoaded) const
{
    const TDsdRecordEntry &entry = RecordIndex.get()[i];
    const char *const line = Data + entry.Line;
    std::size_t length = entry.Length;
    if (Scrambled)
        UnscrambleCopy(plain, line, 0, length);
    else
        std::memcpy(plain, line, length);
    asLoaded = true;
    if (ChangeNoticed || Mapping.Damaged()) {
        // The file has changed under the mapping: the bytes must still read as the record that
        // was checked at the load (the sequence test needs the line before; it has not changed).
        uint32_t sequence = 0;
        const TDsdParsedLine now = DsdRecordParse(plain, length, sequence);
        constexpr uint8_t lineVerdicts = VerdictRecordFormat | VerdictRecordTamper;
        asLoaded = (now.Verdict & lineVerdicts) == (entry.Verdict & lineVerdicts) &&
                   now.Number == entry.Number && now.Date == entry.Date && now.Time == entry.Time;
    }
    // A plain LF ends the line as the record window shows it.
    if (const void *lf = std::memchr(plain, '\n', length))
        length = static_cast<std::size_t>(static_cast<const char *>(lf) - plain);
    return length;
}

QByteArray TDsdRecordStore::RawLine(uint32_t i) const
{
    if (i >= Count)
        return {};
    char plain[MaxLineExamined];
    bool asLoaded = true;
    return QByteArray(plain, static_cast<qsizetype>(PlainLine(i, plain, asLoaded)));
}

QByteArray TDsdRecordStore::DateText(uint32_t date)
{
    if (DateCached && date == CachedDate)
        return CachedDateText;
    const QDate d(static_cast<int>(date / 10000), static_cast<int>(date / 100 % 100),
                  static_cast<int>(date % 100));
    // A date that is no calendar date (a damaged line) is shown as its digits.
    CachedDateText =
        d.isValid() ? Locale.toString(d, QLocale::ShortFormat).toUtf8() : QByteArray::number(date);
    CachedDate = date;
    DateCached = true;
    return CachedDateText;
}

void TDsdRecordStore::AppendTimeText(uint32_t time, QByteArray &out) const
{
    const int hour = static_cast<int>(time / 10000), minute = static_cast<int>(time / 100 % 100),
              second = static_cast<int>(time % 100);
    if (!QTime::isValid(hour, minute, second))
        out += QByteArray::number(time).rightJustified(6, '0');
    else
        FastTime.Append(hour, minute, second, out);
}

QByteArray TDsdRecordStore::DsdRecordObtain(uint32_t i)
{
    QByteArray text;
    AppendRecordText(i, text);
    return text;
}

void TDsdRecordStore::AppendRecordText(uint32_t i, QByteArray &out)
{
    if (i >= Count)
        return;
    TDsdRecordEntry &entry = RecordIndex.get()[i];
    char plain[MaxLineExamined];
    bool asLoaded = true;
    const std::size_t length = PlainLine(i, plain, asLoaded);
    if (!asLoaded) {
        // What is there now is not what was checked: the record is shown only as tampered with.
        entry.Verdict |= VerdictFileTamper;
        Verdict |= VerdictFileTamper;
        out += VerdictPrefix(entry.Verdict);
        // The number checked at the load says which record it was.
        if (!(entry.Verdict & VerdictRecordFormat))
            out += QByteArray::number(entry.Number);
        return;
    }
    // Trimmed of white space at both ends.
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char *begin = plain, *end = plain + length;
    while (begin < end && space(*begin))
        ++begin;
    while (end > begin && space(end[-1]))
        --end;
    // Check and seq are the file's business; the user sees the instrument's record.
    const char *first = FindComma(begin, end);
    const char *second = first ? FindComma(first + 1, end) : nullptr;
    if (entry.Verdict != 0)
        out += VerdictPrefix(entry.Verdict);
    if (!second)
        return;
    // The instrument's bytes are Latin-1; the text is UTF-8 like the locale's date and time in it.
    const char *const p = second + 1;
    // A line whose fields could not all be read is shown as it stands; otherwise the date and
    // time (its second and third fields) are shown in the locale's forms.
    const char *numberEnd = entry.Verdict & VerdictRecordFormat ? nullptr : FindComma(p, end);
    if (!numberEnd) {
        AppendLatin1(out, p, end);
        return;
    }
    const QByteArray date = DateText(entry.Date);
    if (date.contains(',')) {
        // A date text with commas moves the fields after it: field by field.
        QByteArray text, time;
        AppendLatin1(text, p, end);
        AppendTimeText(entry.Time, time);
        out += ReplaceField(ReplaceField(text, 2, date), 3, time);
        return;
    }
    AppendLatin1(out, p, numberEnd + 1);
    out += date;
    const char *const dateEnd = FindComma(numberEnd + 1, end);
    if (!dateEnd)
        return;
    out += ',';
    AppendTimeText(entry.Time, out);
    if (const char *timeEnd = FindComma(dateEnd + 1, end))
        AppendLatin1(out, timeEnd, end);
}

bool TDsdRecordStore::AppendGapLine(uint32_t i, QByteArray &out) const
{
    if (i == 0 || i >= Count)
        return false;
    const TDsdRecordEntry &before = Entry(i - 1);
    const TDsdRecordEntry &e = Entry(i);
    if (((before.Verdict | e.Verdict) & VerdictRecordFormat) || e.Number == before.Number + 1)
        return false;
    if (e.Number <= before.Number) {
        out += "*****,RECORD NUMBERS START AGAIN: " + QByteArray::number(e.Number) + " FOLLOWS " +
               QByteArray::number(before.Number);
    } else if (e.Number == before.Number + 2) {
        out += "*****,RECORD " + QByteArray::number(before.Number + 1) + " IS NOT IN THE STORE";
    } else {
        out += "*****,RECORDS " + QByteArray::number(before.Number + 1) + " TO " +
               QByteArray::number(e.Number - 1) + " ARE NOT IN THE STORE";
    }
    return true;
}
