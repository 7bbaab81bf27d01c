// The simulated instrument's data store of audit records: deterministic from a seed, numbered
// from a configurable first number, dates and times ascending, with a read position.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <cstdint>
#include <vector>

class TSimRecords
{
public:
    // count records numbered from `first`, the first one stamped 2008/02/18 15:25:21.
    void Generate(uint32_t count, uint32_t first, uint32_t seed);
    // A new record stamped `when` (after the newest).
    void Append(const QDateTime &when);

    uint32_t Count() const { return static_cast<uint32_t>(Entries.size()); }
    uint32_t Oldest() const { return First; }
    uint32_t Newest() const { return First + Count() - 1; }
    bool Has(uint32_t number) const { return Count() > 0 && number >= First && number <= Newest(); }
    // The record text as the instrument sends it:
    // "1,2008/02/18,15:25:21,    2975,kg,GROSS,       0,kg,TARE,19,p".
    QByteArray Text(uint32_t number) const;

    // The read position: the number of the record read last (Oldest() - 1 before any).
    uint32_t Position = 0;

private:
    struct TEntry {
        int64_t Seconds; // since the epoch, UTC
        int32_t Gross;
        int32_t Tare;
        uint8_t Product;
    };
    TEntry Make(int64_t seconds);
    std::vector<TEntry> Entries;
    uint32_t First = 1;
    uint64_t RandomState = 1;
};
