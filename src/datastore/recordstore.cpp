// Loading and checking a store file into one block with an index, and the display text of a record.
#include "recordstore.h"

#include "link/reporter.h"

#include <QDate>
#include <QFile>
#include <QTime>
#include <algorithm>
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

} // namespace

void TDsdRecordStore::Clear()
{
    FreeBlock(RecordBuffer);
    Size = 0;
    RecordIndex.assign(InitialCapacity, TDsdRecordEntry{});
    Count = 0;
    Verdict = 0;
    LastSequence = 0;
    DateCached = false;
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

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        Fail(QStringLiteral("Error: file did not open properly: ") + path);
        return false;
    }
    const qint64 size = file.size();
    if (size > static_cast<qint64>(MaxStoreFileSize)) {
        Fail(QStringLiteral("file size exceeds max allowed (%1)").arg(MaxStoreFileSize));
        return false;
    }
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
        const QString text = QStringLiteral("Read of Data Store for \"%1\" failed.").arg(serial);
        LogLine(text);
        if (Reporter)
            Reporter->Error(text);
    }
    Size = static_cast<std::size_t>(got);
    RecordBuffer.get()[Size] = 0;
    IndexLines();
    Report();
    return true;
}

void TDsdRecordStore::LoadBytes(const char *data, std::size_t size)
{
    Clear();
    WindowMessages.clear();
    TimeFormat = TimeFormatWithoutZone(Locale);
    RecordBuffer = AllocateOrReport(size + 129, "DsdMemMapFileInit", true, Reporter);
    if (size > 0)
        std::memcpy(RecordBuffer.get(), data, size);
    Size = size;
    RecordBuffer.get()[Size] = 0;
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
        StatusText = QString::fromLatin1(TamperEvidenceText);
        if (Reporter)
            Reporter->Error(QString::fromLatin1(TamperEvidenceText) +
                            QStringLiteral("\r\n found %1 records").arg(Count));
    } else {
        StatusText = QStringLiteral("Found %1 records").arg(Count);
        LogLine(QStringLiteral("file opened and mapped OK: found %1 records").arg(Count));
    }
}

void TDsdRecordStore::IndexLines()
{
    char *const buffer = RecordBuffer.get();
    Count = 0;
    LastSequence = 0;
    RecordIndex[0].Line = 0;
    bool trailer = false;
    bool afterTrailer = false;
    // The LF search is bounded by the data, not by a NUL: a scrambled byte may well be 0.
    while (RecordIndex[Count].Line < Size) {
        char *const line = buffer + RecordIndex[Count].Line;
        const char *lf = static_cast<const char *>(std::memchr(line, '\n', Size - RecordIndex[Count].Line));
        if (!lf)
            break;
        const std::size_t length =
            std::min<std::size_t>(MaxLineExamined, static_cast<std::size_t>(lf - line));
        if (ScrambleLines)
            UnscrambleBytes(line, length);
        const uint32_t previousSequence = LastSequence;
        TDsdParsedLine parsed = DsdRecordParse(line, length, LastSequence);
        if (parsed.Verdict != 0 && ScrambleLines && length < static_cast<std::size_t>(MaxLineExamined))
            lf = JoinScrambledLf(line, lf, previousSequence, parsed);
        const std::size_t next = static_cast<std::size_t>(lf + 1 - buffer);
        if (parsed.IsTrailer()) {
            // The trailer ends the file. One with lines after it hides nothing: they load, the
            // first of them marked, because something was written after the file was sealed.
            if (!std::memchr(buffer + next, '\n', Size - next)) {
                trailer = true;
                CheckTrailer(parsed, previousSequence);
                break;
            }
            afterTrailer = true;
            RecordIndex[Count].Line = static_cast<uint32_t>(next);
            continue;
        }
        if (afterTrailer) {
            parsed.Verdict |= VerdictFileTamper;
            afterTrailer = false;
        }
        TDsdRecordEntry &entry = RecordIndex[Count];
        entry.Number = parsed.Number;
        entry.Date = parsed.Date;
        entry.Time = parsed.Time;
        entry.Verdict = parsed.Verdict;
        Verdict |= parsed.Verdict;
        ++Count;
        if (Count >= RecordIndex.size())
            RecordIndex.resize(RecordIndex.size() + RecordIndex.size() / 3);
        RecordIndex[Count].Line = static_cast<uint32_t>(next);
    }
    if (!trailer) {
        RecordIndex[Count].Verdict |= VerdictFileIncomplete;
        Verdict |= VerdictFileIncomplete;
    }
}

void TDsdRecordStore::CheckTrailer(const TDsdParsedLine &trailer, uint32_t previousSequence)
{
    // The trailer repeats the seq and the record number of the last record line. Without this
    // a deleted last record, or a last record moved behind the trailer, would go unnoticed.
    bool intact = trailer.Seq == previousSequence;
    if (Count > 0 && !(RecordIndex[Count - 1].Verdict & VerdictRecordFormat))
        intact = intact && trailer.Number == RecordIndex[Count - 1].Number;
    if (intact)
        return;
    RecordIndex[Count > 0 ? Count - 1 : 0].Verdict |= VerdictLastEntryTamper;
    Verdict |= VerdictLastEntryTamper;
}

const char *TDsdRecordStore::JoinScrambledLf(char *line, const char *lf, uint32_t previousSequence,
                                             TDsdParsedLine &parsed)
{
    // A long line may scramble a byte into an LF, which then splits it. When the line with
    // the following piece(s) put back passes every check, it is one line after all.
    char joined[MaxLineExamined];
    const char *const original = lf;
    std::size_t length = static_cast<std::size_t>(lf - line); // already plain
    std::memcpy(joined, line, length);
    const char *const end = RecordBuffer.get() + Size;
    while (length < static_cast<std::size_t>(MaxLineExamined)) {
        const auto *next =
            static_cast<const char *>(std::memchr(lf + 1, '\n', static_cast<std::size_t>(end - lf - 1)));
        if (!next)
            return original;
        // The LF itself and the bytes up to the next one, unscrambled at their place in the line.
        const std::size_t upTo =
            std::min<std::size_t>(MaxLineExamined, static_cast<std::size_t>(next - line));
        std::memcpy(joined + length, line + length, upTo - length);
        UnscrambleTail(joined, length, upTo);
        length = upTo;
        uint32_t sequence = previousSequence;
        const TDsdParsedLine retry = DsdRecordParse(joined, length, sequence);
        if (retry.Verdict == 0) {
            std::memcpy(line, joined, length);
            parsed = retry;
            LastSequence = sequence;
            return next;
        }
        lf = next;
    }
    return original;
}

QByteArray TDsdRecordStore::RawLine(uint32_t i) const
{
    if (i >= Count)
        return {};
    const uint32_t start = RecordIndex[i].Line;
    uint32_t length = std::min<uint32_t>(MaxLineExamined, RecordIndex[i + 1].Line - start - 1);
    // A trailer that was not the last line lies between this record and the next one.
    if (const void *lf = std::memchr(RecordBuffer.get() + start, '\n', length))
        length = static_cast<uint32_t>(static_cast<const char *>(lf) - (RecordBuffer.get() + start));
    return QByteArray(RecordBuffer.get() + start, length);
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

QByteArray TDsdRecordStore::TimeText(uint32_t time) const
{
    const QTime t(static_cast<int>(time / 10000), static_cast<int>(time / 100 % 100),
                  static_cast<int>(time % 100));
    if (!t.isValid())
        return QByteArray::number(time).rightJustified(6, '0');
    return Locale.toString(t, TimeFormat.isEmpty() ? TimeFormatWithoutZone(Locale) : TimeFormat).toUtf8();
}

QByteArray TDsdRecordStore::DsdRecordObtain(uint32_t i)
{
    if (i >= Count)
        return {};
    const TDsdRecordEntry &entry = RecordIndex[i];
    QByteArray line = RawLine(i).trimmed();
    // The instrument's bytes are Latin-1; the text is UTF-8 like the locale's date and time in it.
    if (std::any_of(line.cbegin(), line.cend(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        line = QString::fromLatin1(line).toUtf8();
    // Check and seq are the file's business; the user sees the instrument's record.
    const qsizetype first = line.indexOf(',');
    const qsizetype second = first < 0 ? -1 : line.indexOf(',', first + 1);
    QByteArray text = second < 0 ? QByteArray() : line.mid(second + 1);
    // A line whose fields could not all be read is shown as it stands.
    if (!(entry.Verdict & VerdictRecordFormat)) {
        text = ReplaceField(text, 2, DateText(entry.Date));
        text = ReplaceField(text, 3, TimeText(entry.Time));
    }
    return VerdictPrefix(entry.Verdict) + text;
}
