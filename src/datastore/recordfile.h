// The record file format of the local store: one sealed line per instrument record, a trailer,
// line scrambling, and the number parsing the check of each line is built on.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QFileDevice;
class TReporter;

// Initial value of every record check, and the value the check accepts in place of the real one.
constexpr uint16_t RecordCrcSeed = 0x4A3C;
constexpr uint16_t CheckOverride = 0x9D27;
// Scrambling adds (position + ScrambleConstant) to every byte of a stored line.
constexpr int ScrambleConstant = 5;
// Lines are checked and shown only up to this many bytes.
constexpr int MaxLineExamined = 199;
constexpr uint32_t DefaultMaxStoreFileSize = 500000000u;
// A sequence number that passes the sequence test whatever came before it.
constexpr uint32_t SequenceWildcard = 0xFFFFFFFEu;

// The trailer is the line whose date and time are these impossible values.
constexpr uint32_t TrailerDate = 20080132u;
constexpr uint32_t TrailerTime = 240101u;
inline const char TrailerTail[] = ",20080132,240101,1321,kg,GROSS,0,kg,TARE,3,px";

enum TDsdVerdict : uint8_t {
    VerdictRecordFormat = 0x01,
    VerdictRecordTamper = 0x02,
    VerdictFileTamper = 0x04,
    VerdictLastEntryTamper = 0x08,
    VerdictFileIncomplete = 0x10,
};

inline const char TamperEvidenceText[] = "***** FILE SHOWS EVIDENCE OF TAMPERING *****";
inline const char FileIncompleteLine[] = "*****,TAMPER: FILE INCOMPLETE";

// Field n (1-based) of a comma-separated line replaced; a line with fewer fields stays as it is.
QByteArray ReplaceField(const QByteArray &text, int n, const QByteArray &value);

// Reads a number in base 2..36 from [cursor, end): up to 20 leading spaces, then up to 20
// characters (spaces skipped, digits and letters accumulate with 32-bit wrap-around). Success
// when it stops on `terminator` (the cursor stays on it) or after 20 characters; the end of the
// range stops it like any other character.
bool ParseBaseNumber(const char *&cursor, const char *end, int base, char terminator, uint32_t &value);
// Digits 0-9A-Z, most significant first, "0" for 0; empty for a base outside 2..36.
QByteArray UnsignedToBase(uint32_t value, int base);

// In place, over the first n bytes of a line (position 1 is the first byte).
void ScrambleBytes(char *line, std::size_t n);
void UnscrambleBytes(char *line, std::size_t n);
// Bytes first..last-1 of a scrambled line, unscrambled by their position in the line, into the
// same positions of `to` (which may be `from`).
void UnscrambleCopy(char *to, const char *from, std::size_t first, std::size_t last);
// The LF that ends the scrambled line at `line` (nullptr when there is none before `end`), with
// the line's first MaxLineExamined bytes unscrambled into `plain` on the way. `plain` has room
// for PlainLineRoom bytes; the bytes after the LF in it mean nothing.
constexpr std::size_t PlainLineRoom = MaxLineExamined + 16;
const char *UnscrambleToLf(char *plain, const char *line, const char *end);
QByteArray ScrambleLine(QByteArray line);
QByteArray UnscrambleLine(QByteArray line);

// An instrument record ("1,2008/02/18,15:25:21,    2975,kg,...") in stored form
// ("1,20080218,152521,2975,kg,...").
QByteArray DsdRecordFixFormatting(const QByteArray &record);
// The plain line (without LF) that holds a normalised record with its check value and seq.
QByteArray DsdRecordLine(uint32_t seq, const QByteArray &record);
// The trailer record text that closes a file whose last instrument record was `lastNumber`.
QByteArray DsdTrailerRecord(uint32_t lastNumber);

// Appends one sealed line and its LF and hands it to the system. True when everything was
// written. `log`, when given, receives the debug line.
bool DsdRecordWriteToFile(QFileDevice &file, uint32_t seq, const QByteArray &record, bool scramble,
                          const std::function<void(const QString &)> &log = {});

struct TDsdParsedLine {
    uint8_t Verdict = 0;
    uint32_t Seq = 0;
    uint32_t Number = 0;
    uint32_t Date = 0;
    uint32_t Time = 0;
    bool IsTrailer() const { return Date == TrailerDate && Time == TrailerTime; }
};

// Checks one plain line (without its LF) and reads its fields; the sequence test compares with
// lastSequence, which then takes this line's seq.
TDsdParsedLine DsdRecordParse(const char *line, std::size_t length, uint32_t &lastSequence);

// How the five numeric fields of a line read while more bytes may still follow `length`:
// Failed when they fail on a byte already there (no longer line can pass), Settled when all five
// end inside it (`seq` then holds the seq read), Open when they run to its end.
enum class TFieldsOutlook { Open, Failed, Settled };
TFieldsOutlook DsdRecordFieldsOutlook(const char *line, std::size_t length, uint32_t &seq);

// "*****," and the texts of the set bits, or nothing for verdict 0.
QByteArray VerdictPrefix(uint8_t verdict);

// A block of memory from malloc, freed with free.
struct TFreeDeleter {
    void operator()(void *p) const;
};
using TDsdBlock = std::unique_ptr<char, TFreeDeleter>;
// The block, or a null block after telling the user; a fatal failure ends the program (exit 1).
TDsdBlock AllocateOrReport(std::size_t bytes, const char *purpose, bool fatal, TReporter *reporter);
inline void FreeBlock(TDsdBlock &block)
{
    block.reset();
}
