// The loaded store file of one instrument: the whole file mapped (or read) as stored, an index entry
// per record line pointing into it, every line checked on the way in, and the display text of each record.
#pragma once

#include "mapping.h"
#include "recordfile.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TReporter;

// Times of day as QLocale::toString formats them with one format, written without going through
// QLocale when the format is made only of hours, minutes, seconds, AM/PM and plain text in ASCII
// digits (checked against QLocale when the format is set); otherwise through QLocale.
class TDsdTimeFormatter
{
public:
    void SetFormat(const QLocale &locale, const QString &format);
    // hh:mm:ss as the format shows it; the time must be valid.
    void Append(int hour, int minute, int second, QByteArray &out) const;

private:
    enum TKind : uint8_t { Text, Hour, Hour12, Hour24, Minute, Second, AmPm };
    struct TPiece {
        TKind Kind = Text;
        bool Padded = false; // two digits
        bool Lower = false;  // am/pm in lower case
        QByteArray Literal;
    };
    bool Compile(const QString &format);
    void AppendFast(int hour, int minute, int second, QByteArray &out) const;
    QLocale Locale;
    QString Format;
    std::vector<TPiece> Pieces;
    QByteArray Am, Pm, AmLower, PmLower;
    bool Fast = false;
};

inline const char StoreChangedText[] =
    "The store file was changed by another program while it was open; reload it.";

struct TDsdRecordEntry {
    uint32_t Number = 0;
    uint32_t Date = 0;
    uint32_t Time = 0;
    uint32_t Line = 0; // offset of the line's first byte in the buffer
    uint8_t Verdict = 0;
    uint8_t Length = 0; // bytes of the line that were checked (at most MaxLineExamined)
};

class TDsdRecordStore
{
public:
    static constexpr uint32_t InitialCapacity = 5000;
    // A load stops after this many lines in a row that hold no record (the file counts as
    // tampered with, or, without any record, as no store file): memory stays bounded.
    static constexpr uint32_t MaxUnreadableLines = 10000;

    // Reads and indexes a store file; `serial` names the instrument in messages. False when the
    // file could not be opened or is too large (the index is then empty).
    bool DsdMemMapFileInit(const QString &path, const QString &serial);
    // Display text of record i, UTF-8: verdict prefix, number, date and time in the locale's
    // formats and the rest of the line; empty when i is not below RecordCount.
    QByteArray DsdRecordObtain(uint32_t i);
    // Indexes a copy of these bytes as if they had been read from a store file.
    void LoadBytes(const char *data, std::size_t size);
    // Empties the index and frees the buffer.
    void Clear();

    uint32_t RecordCount() const { return Count; }
    uint32_t RecordCapacity() const { return Capacity; }
    uint8_t FileVerdict() const { return Verdict; }
    // Entries 0..RecordCount; the one at RecordCount marks the end of the last record.
    const TDsdRecordEntry &Entry(uint32_t i) const { return RecordIndex.get()[i]; }
    // The plain (unscrambled) bytes of record i as checked, at most MaxLineExamined.
    QByteArray RawLine(uint32_t i) const;
    // DsdRecordObtain(i) appended to `out` (nothing for an i not below RecordCount).
    void AppendRecordText(uint32_t i, QByteArray &out);
    // When the store lacks record numbers between record i - 1 and record i, or the numbering
    // starts again at record i, the line that says so ("*****,RECORDS 501 TO 599 ARE NOT IN THE
    // STORE") is appended to `out`: true. Records whose numbers could not be read say nothing.
    bool AppendGapLine(uint32_t i, QByteArray &out) const;
    // Bytes of the loaded file.
    std::size_t DataSize() const { return Size; }
    // Whether another program has written to the mapped store file since it was loaded (cut it
    // short or rewritten it in place). The first time it is noticed, the status text and the log
    // say so and the file counts as tampered with; from then on every record
    // is checked again as it is shown, and one that no longer reads as loaded is shown only as
    // tampered with. The loaded store cannot change otherwise.
    bool FileChanged();

    // The third status-bar panel after a load, and whether it shows the tamper warning (red).
    QString StatusText;
    bool StatusTamper = false;
    // Texts the loader adds to the record window (failures); cleared at each load.
    QStringList WindowMessages;

    uint32_t MaxStoreFileSize = DefaultMaxStoreFileSize;
    bool ScrambleLines = true;
    // Short date and long time formats of the record display.
    QLocale Locale = QLocale::system();
    TReporter *Reporter = nullptr;
    std::function<void(const QString &)> Log;

private:
    void LogLine(const QString &text) const
    {
        if (Log)
            Log(text);
    }
    void Fail(const QString &text);
    bool MapFile(int handle, std::size_t size);
    void IndexLines();
    void GrowIndex();
    const char *JoinScrambledLf(char *plain, std::size_t &length, const char *line, const char *lf,
                                uint32_t previousSequence, TDsdParsedLine &parsed);
    std::size_t PlainLine(uint32_t i, char *plain, bool &asLoaded) const;
    void CheckTrailer(const TDsdParsedLine &trailer, uint32_t previousSequence);
    void Report();
    QByteArray DateText(uint32_t date);
    void AppendTimeText(uint32_t time, QByteArray &out) const;

    // The file's bytes as stored (scrambled or not): mapped read-only when the system allows,
    // else read into a block. Lines are unscrambled when they are checked or shown.
    TDsdBlock RecordBuffer;
    TDsdMapping Mapping;
    const char *Data = nullptr;
    std::size_t Size = 0;
    bool Scrambled = true;      // ScrambleLines as it was at the load
    std::size_t JoinBudget = 0; // bytes the rest of a load may still check for joined lines
    bool JoinsStopped = false;
    bool ChangeNoticed = false;                                 // FileChanged has said so
    std::unique_ptr<TDsdRecordEntry, TFreeDeleter> RecordIndex; // entries 0..Count are set
    uint32_t Capacity = 0;
    uint32_t Count = 0;
    uint8_t Verdict = 0;
    uint32_t LastSequence = 0;
    // The last formatted date: consecutive records mostly share it.
    uint32_t CachedDate = 0;
    QByteArray CachedDateText;
    bool DateCached = false;
    QString TimeFormat;
    TDsdTimeFormatter FastTime;
};
