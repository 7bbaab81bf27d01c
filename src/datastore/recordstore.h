// The loaded store file of one instrument: the whole file in one block, an index entry per record
// line pointing into it, every line checked on the way in, and the display text of each record.
#pragma once

#include "recordfile.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class TReporter;

struct TDsdRecordEntry {
    uint32_t Number = 0;
    uint32_t Date = 0;
    uint32_t Time = 0;
    uint32_t Line = 0; // offset of the line's first byte in the buffer
    uint8_t Verdict = 0;
};

class TDsdRecordStore
{
public:
    static constexpr uint32_t InitialCapacity = 5000;

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
    uint32_t RecordCapacity() const { return static_cast<uint32_t>(RecordIndex.size()); }
    uint8_t FileVerdict() const { return Verdict; }
    // Entries 0..RecordCount; the one at RecordCount marks the end of the last record.
    const TDsdRecordEntry &Entry(uint32_t i) const { return RecordIndex[i]; }
    // The plain (unscrambled) bytes of record i as checked, at most MaxLineExamined.
    QByteArray RawLine(uint32_t i) const;
    // Bytes of the loaded file.
    std::size_t DataSize() const { return Size; }

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
    void IndexLines();
    const char *JoinScrambledLf(char *line, const char *lf, uint32_t previousSequence,
                                TDsdParsedLine &parsed);
    void CheckTrailer(const TDsdParsedLine &trailer, uint32_t previousSequence);
    void Report();
    QByteArray DateText(uint32_t date);
    QByteArray TimeText(uint32_t time) const;

    TDsdBlock RecordBuffer;
    std::size_t Size = 0;
    std::vector<TDsdRecordEntry> RecordIndex;
    uint32_t Count = 0;
    uint8_t Verdict = 0;
    uint32_t LastSequence = 0;
    // The last formatted date: consecutive records mostly share it.
    uint32_t CachedDate = 0;
    QByteArray CachedDateText;
    bool DateCached = false;
    QString TimeFormat;
};
