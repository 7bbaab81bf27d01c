// Record lines of the local store: normalising, sealing, scrambling, checking.
#include "recordfile.h"

#include "link/CRC.h"
#include "link/reporter.h"
#include "values/tools.h"

#include <QFileDevice>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace
{

// What each byte counts for in a number: 0..35 for 0-9, A-Z and a-z, or one of these two.
constexpr uint8_t SpaceByte = 0xFE;
constexpr uint8_t OtherByte = 0xFF;
constexpr std::array<uint8_t, 256> DigitTable = [] {
    std::array<uint8_t, 256> table{};
    for (int ch = 0; ch < 256; ++ch) {
        uint8_t v = OtherByte;
        if (ch >= '0' && ch <= '9')
            v = static_cast<uint8_t>(ch - '0');
        else if (ch >= 'A' && ch <= 'Z')
            v = static_cast<uint8_t>(ch - 'A' + 10);
        else if (ch >= 'a' && ch <= 'z')
            v = static_cast<uint8_t>(ch - 'a' + 10);
        else if (ch == ' ')
            v = SpaceByte;
        table[static_cast<std::size_t>(ch)] = v;
    }
    return table;
}();

// The number reading of ParseBaseNumber for a base already known to be 2..36; `base` is either a
// plain number or a compile-time constant, so the record fields get a loop of their own.
template <typename TBase>
inline bool ParseDigits(const char *&cursor, const char *end, TBase base, char terminator, uint32_t &value)
{
    value = 0;
    for (int skipped = 0; skipped < 20 && cursor < end && *cursor == ' '; ++skipped)
        ++cursor;
    for (int n = 0; n < 20; ++n) {
        if (cursor >= end)
            return false;
        const uint8_t digit = DigitTable[static_cast<unsigned char>(*cursor)];
        if (digit == SpaceByte) {
            ++cursor;
            continue;
        }
        if (digit == OtherByte)
            return *cursor == terminator;
        value = value * static_cast<uint32_t>(base) + digit;
        ++cursor;
    }
    return true;
}

// Reads one numeric field and steps over the comma that must end it.
template <uint32_t Base> inline bool ReadField(const char *&p, const char *end, uint32_t &value)
{
    // Most fields are nothing but digits and letters, at most 20 of them, ended by a comma.
    const char *q = p;
    uint32_t v = 0;
    for (uint8_t d; q < end && (d = DigitTable[static_cast<unsigned char>(*q)]) < 36; ++q)
        v = v * Base + d;
    if (q < end && *q == ',' && q - p <= 20) {
        value = v;
        p = q + 1;
        return true;
    }
    // Blanks, a longer field or no comma after it: the general reading.
    if (!ParseDigits(p, end, std::integral_constant<uint32_t, Base>{}, ',', value) || p >= end || *p != ',') {
        value = 0;
        return false;
    }
    ++p;
    return true;
}

} // namespace

// Field n (1-based) replaced; a text with fewer fields stays as it is.
QByteArray ReplaceField(const QByteArray &text, int n, const QByteArray &value)
{
    qsizetype start = 0;
    for (int f = 1; f < n; ++f) {
        const qsizetype comma = text.indexOf(',', start);
        if (comma < 0)
            return text;
        start = comma + 1;
    }
    const qsizetype next = text.indexOf(',', start);
    QByteArray result = text.left(start) + value;
    if (next >= 0)
        result += text.mid(next);
    return result;
}

bool ParseBaseNumber(const char *&cursor, const char *end, int base, char terminator, uint32_t &value)
{
    value = 0;
    if (base < 2 || base > 36)
        return false;
    return ParseDigits(cursor, end, static_cast<uint32_t>(base), terminator, value);
}

QByteArray UnsignedToBase(uint32_t value, int base)
{
    if (base < 2 || base > 36)
        return {};
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    char text[33];
    int pos = 32;
    do {
        text[--pos] = digits[value % static_cast<uint32_t>(base)];
        value /= static_cast<uint32_t>(base);
    } while (value != 0);
    return QByteArray(text + pos, 32 - pos);
}

void ScrambleBytes(char *line, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        line[i] = static_cast<char>(static_cast<unsigned char>(line[i]) + i + 1 + ScrambleConstant);
}

void UnscrambleBytes(char *line, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        line[i] = static_cast<char>(static_cast<unsigned char>(line[i]) - (i + 1 + ScrambleConstant));
}

void UnscrambleCopy(char *to, const char *from, std::size_t first, std::size_t last)
{
    std::size_t i = first;
#ifdef __SSE2__
    // Sixteen bytes at a time; lane j of a block at i goes down by i + j + 1 + K (mod 256).
    __m128i offset = _mm_add_epi8(_mm_setr_epi8(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16),
                                  _mm_set1_epi8(static_cast<char>(first + ScrambleConstant)));
    const __m128i step = _mm_set1_epi8(16);
    for (; i + 16 <= last; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i), _mm_sub_epi8(bytes, offset));
        offset = _mm_add_epi8(offset, step);
    }
#endif
    for (; i < last; ++i)
        to[i] = static_cast<char>(static_cast<unsigned char>(from[i]) - (i + 1 + ScrambleConstant));
}

const char *UnscrambleToLf(char *plain, const char *line, const char *end)
{
    const auto n = static_cast<std::size_t>(end - line);
    std::size_t i = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: the LF is looked for in the stored bytes (it is never scrambled)
    // while the same bytes go unscrambled into `plain`.
    __m128i offset = _mm_add_epi8(_mm_setr_epi8(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16),
                                  _mm_set1_epi8(ScrambleConstant));
    const __m128i step = _mm_set1_epi8(16);
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n && i < static_cast<std::size_t>(MaxLineExamined); i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(line + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(plain + i), _mm_sub_epi8(bytes, offset));
        offset = _mm_add_epi8(offset, step);
        if (const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)))
            return line + i + std::countr_zero(static_cast<unsigned>(found));
    }
#endif
    for (; i < n && i < static_cast<std::size_t>(MaxLineExamined); ++i) {
        if (line[i] == '\n')
            return line + i;
        plain[i] = static_cast<char>(static_cast<unsigned char>(line[i]) - (i + 1 + ScrambleConstant));
    }
    return static_cast<const char *>(std::memchr(line + i, '\n', n - i));
}

QByteArray ScrambleLine(QByteArray line)
{
    ScrambleBytes(line.data(), static_cast<std::size_t>(line.size()));
    return line;
}

QByteArray UnscrambleLine(QByteArray line)
{
    UnscrambleBytes(line.data(), static_cast<std::size_t>(line.size()));
    return line;
}

QByteArray DsdRecordFixFormatting(const QByteArray &record)
{
    // Spaces after a comma go (and after a minus sign that follows the comma); a character
    // copied at the end of such a run never starts another run.
    QByteArray text;
    text.reserve(record.size());
    const qsizetype n = record.size();
    qsizetype i = 0;
    auto skipSpacesAndCopyNext = [&]() -> char {
        while (i < n && record[i] == ' ')
            ++i;
        if (i >= n)
            return 0;
        const char ch = record[i++];
        text += ch;
        return ch;
    };
    while (i < n) {
        const char ch = record[i++];
        text += ch;
        if (ch == ',' && skipSpacesAndCopyNext() == '-')
            skipSpacesAndCopyNext();
    }
    const QByteArray date = NthField(text, 2, ',');
    const QByteArray time = NthField(text, 3, ',');
    text = ReplaceField(text, 2, date.mid(0, 4) + date.mid(5, 2) + date.mid(8, 2));
    return ReplaceField(text, 3, time.mid(0, 2) + time.mid(3, 2) + time.mid(6, 2));
}

QByteArray DsdRecordLine(uint32_t seq, const QByteArray &record)
{
    const QByteArray body = "," + UnsignedToBase(seq, 36) + "," + record;
    const uint16_t crc = CrcUpdate(RecordCrcSeed, body.constData(), static_cast<std::size_t>(body.size()));
    return UnsignedToBase(crc, 36) + body;
}

QByteArray DsdTrailerRecord(uint32_t lastNumber)
{
    return UnsignedToBase(lastNumber, 10) + TrailerTail;
}

bool DsdRecordWriteToFile(QFileDevice &file, uint32_t seq, const QByteArray &record, bool scramble,
                          const std::function<void(const QString &)> &log)
{
    QByteArray line = DsdRecordLine(seq, record);
    if (log)
        log(QStringLiteral(">>>:\"%1\"").arg(QString::fromLatin1(line)));
    if (scramble)
        ScrambleBytes(line.data(), static_cast<std::size_t>(line.size()));
    line += '\n';
    // One write per line, handed to the system at once: a killed program loses nothing written.
    // The upload syncs the whole work file to disk before it becomes the store file.
    return file.write(line) == line.size() && file.flush();
}

TDsdParsedLine DsdRecordParse(const char *line, std::size_t length, uint32_t &lastSequence)
{
    TDsdParsedLine r;
    const char *p = line;
    const char *const end = line + length;
    uint32_t check = 0;
    const char *region = line;
    const bool checkRead = ReadField<36>(p, end, check);
    if (checkRead)
        region = p - 1;
    else
        check = 77;
    // The check value first: its table lookups then overlap the reading of the fields.
    const uint16_t crc = CrcUpdate(RecordCrcSeed, region, static_cast<std::size_t>(end - region));
    if (!checkRead || !ReadField<36>(p, end, r.Seq) || !ReadField<10>(p, end, r.Number) ||
        !ReadField<10>(p, end, r.Date) || !ReadField<10>(p, end, r.Time))
        r.Verdict |= VerdictRecordFormat;
    const uint16_t given = static_cast<uint16_t>(check);
    if (given != CheckOverride && given != crc)
        r.Verdict |= VerdictRecordTamper;
    if (r.Seq != SequenceWildcard && r.Seq != lastSequence + 1)
        r.Verdict |= VerdictFileTamper;
    lastSequence = r.Seq;
    return r;
}

TFieldsOutlook DsdRecordFieldsOutlook(const char *line, std::size_t length, uint32_t &seq)
{
    // The fields are read left to right and each decision rests on the bytes read so far, so a
    // field that fails before the end fails for every longer line too. A failing ReadField leaves
    // `p` where the reading stopped.
    const char *p = line;
    const char *const end = line + length;
    uint32_t value = 0;
    const auto field = [&](auto read, uint32_t &into) {
        if (read(p, end, into))
            return TFieldsOutlook::Settled;
        return p >= end ? TFieldsOutlook::Open : TFieldsOutlook::Failed;
    };
    TFieldsOutlook outlook = field(ReadField<36>, value);
    if (outlook == TFieldsOutlook::Settled)
        outlook = field(ReadField<36>, seq);
    for (int i = 0; i < 3 && outlook == TFieldsOutlook::Settled; ++i)
        outlook = field(ReadField<10>, value);
    return outlook;
}

QByteArray VerdictPrefix(uint8_t verdict)
{
    if (verdict == 0)
        return {};
    QByteArray text = "*****,";
    if (verdict & VerdictFileTamper)
        text += "FILE TAMPER,";
    if (verdict & VerdictFileIncomplete)
        text += "TAMPER: FILE INCOMPLETE";
    if (verdict & VerdictLastEntryTamper)
        text += "LAST ENTRY TAMPER,";
    if (verdict & VerdictRecordTamper)
        text += "RECORD TAMPER,";
    if (verdict & VerdictRecordFormat)
        text += "RECORD FORMAT,";
    return text;
}

void TFreeDeleter::operator()(void *p) const
{
    std::free(p);
}

TDsdBlock AllocateOrReport(std::size_t bytes, const char *purpose, bool fatal, TReporter *reporter)
{
    TDsdBlock block(static_cast<char *>(std::malloc(bytes)));
    if (block)
        return block;
    const QString text =
        QStringLiteral("ERROR:\r\nCould not allocate (\"%1\") %2 bytes of memory for \"%3\".\r\n%4")
            .arg(QStringLiteral("malloc"))
            .arg(static_cast<qulonglong>(bytes))
            .arg(QString::fromLatin1(purpose))
            .arg(fatal ? QStringLiteral("TERMINATING NOW.") : QStringLiteral("Continuing..."));
    if (reporter)
        reporter->Error(text);
    if (fatal)
        std::exit(1);
    return block;
}
