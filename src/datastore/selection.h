// Which records of the loaded store file are selected (all, a range of record numbers or of
// dates and times), which of them the record window shows, and how it scrolls.
#pragma once

#include "recordstore.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

enum TDsdSelectionMode : int { SelectAll = 0, SelectRecordNumber = 1, SelectDateTime = 2 };
enum TDsdScrollButton : int { ScrollOldest, ScrollPrevious, ScrollNext, ScrollNewest };

struct TDsdWindowLine {
    QByteArray Text; // UTF-8
    bool Red = false;
    bool operator==(const TDsdWindowLine &) const = default;
};

// Record lines that fit in a box of that height with that font height (pixels).
int DsdLinesMemo(int boxHeight, int fontHeight);

class TDsdSelection
{
public:
    explicit TDsdSelection(TDsdRecordStore &store) : RecordStore(store) {}
    TDsdRecordStore &Store() const { return RecordStore; }

    // The inputs: the radio group, the From/To edits and the four pickers (yyyymmdd, hhmmss).
    int Mode = SelectAll;
    QByteArray FromText = "0";
    QByteArray ToText = "4294967295";
    uint32_t FromDate = 20080218, FromTime = 0, ToDate = 20080218, ToTime = 235959;
    // Lines of the record window (DsdLinesMemo of its current size).
    int WindowLines = 10;

    // Forgets every search (after each load).
    void ResetCaches();
    // Evaluates the inputs into FirstIndex..LastIndex; nothing happens without records.
    void DsdViewFromToParse();
    // Evaluates the selection and moves the window's top record as the button says.
    void DsdScrollBitBtnClick(TDsdScrollButton button);
    // Evaluates the selection and moves the window's top record by `lines` (the mouse wheel, the
    // arrow keys), held inside the selection as the buttons are.
    void ScrollLines(int64_t lines);
    // The lines of the record window from TopIndex, red for records with a verdict, and the
    // incomplete marker when the window reaches past the last record of an incomplete file.
    std::vector<TDsdWindowLine> DsdRecordWindowPopulate();
    // The selection holds no record (an empty range or no records at all).
    bool Empty() const
    {
        return RecordStore.RecordCount() == 0 || NoneFound || FirstIndex > LastIndex ||
               FirstIndex >= RecordStore.RecordCount();
    }

    uint32_t FirstIndex = 0, LastIndex = 0;
    uint32_t FirstNumber = 0, LastNumber = 0;
    uint32_t TopIndex = 0;
    // Records the window showed at its last filling (fewer than its lines when gap lines took room).
    int64_t ShownRecords = 0;
    uint32_t ShownTop = 0; // the TopIndex of that filling
    // Record scans made so far (searches answered from the caches make none).
    int Scans = 0;

private:
    // One remembered search: the input it answered, the index found and that record's number.
    struct TSearch {
        bool Valid = false;
        uint64_t Input = 0;
        uint32_t Index = 0;
        uint32_t Number = 0;
        bool Found = false;
    };
    TSearch SearchFirst(uint64_t key, uint64_t (*keyOf)(const TDsdRecordEntry &));
    TSearch SearchLast(uint64_t key, uint64_t (*keyOf)(const TDsdRecordEntry &));
    void Use(TSearch &cache, uint64_t input, bool first, uint64_t (*keyOf)(const TDsdRecordEntry &));
    // Puts the window's top at t, kept inside the selection.
    void MoveTop(int64_t t);

    TDsdRecordStore &RecordStore;
    bool NoneFound = false; // no record at or after the start, or none at or before the end
    TSearch FromNumberCache, ToNumberCache, FromDateCache, ToDateCache;
};
