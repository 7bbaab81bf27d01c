// Selection, scrolling and the lines of the record window over the loaded record index.
#include "selection.h"

#include "values/tools.h"

#include <algorithm>
#include <cstdlib>

namespace
{

uint64_t NumberKey(const TDsdRecordEntry &e)
{
    return e.Number;
}
// Date and time as one key, so that a range runs from one moment to another.
uint64_t MomentKey(const TDsdRecordEntry &e)
{
    return uint64_t(e.Date) * 1000000u + e.Time;
}

} // namespace

int DsdLinesMemo(int boxHeight, int fontHeight)
{
    return (boxHeight - 6) / (std::abs(fontHeight) + 3);
}

void TDsdSelection::ResetCaches()
{
    FromNumberCache = ToNumberCache = FromDateCache = ToDateCache = TSearch{};
}

TDsdSelection::TSearch TDsdSelection::SearchFirst(uint64_t key, uint64_t (*keyOf)(const TDsdRecordEntry &))
{
    ++Scans;
    const uint32_t count = RecordStore.RecordCount();
    for (uint32_t i = 0; i < count; ++i)
        if (keyOf(RecordStore.Entry(i)) >= key)
            return {true, key, i, RecordStore.Entry(i).Number, true};
    return {true, key, count, 0, false};
}

TDsdSelection::TSearch TDsdSelection::SearchLast(uint64_t key, uint64_t (*keyOf)(const TDsdRecordEntry &))
{
    ++Scans;
    // Index 0 is where the scan ends whether or not the first record qualifies; whether it does
    // tells an empty selection from one that ends at the first record.
    for (uint32_t i = RecordStore.RecordCount() - 1; i >= 1; --i)
        if (keyOf(RecordStore.Entry(i)) <= key)
            return {true, key, i, RecordStore.Entry(i).Number, true};
    const TDsdRecordEntry &first = RecordStore.Entry(0);
    return {true, key, 0, first.Number, keyOf(first) <= key};
}

void TDsdSelection::Use(TSearch &cache, uint64_t input, bool first,
                        uint64_t (*keyOf)(const TDsdRecordEntry &))
{
    if (!cache.Valid || cache.Input != input)
        cache = first ? SearchFirst(input, keyOf) : SearchLast(input, keyOf);
    if (first) {
        FirstIndex = cache.Index;
        if (cache.Found)
            FirstNumber = cache.Number;
    } else {
        LastIndex = cache.Index;
        if (cache.Found)
            LastNumber = cache.Number;
    }
}

void TDsdSelection::DsdViewFromToParse()
{
    const uint32_t count = RecordStore.RecordCount();
    if (count == 0)
        return;
    NoneFound = false;
    switch (Mode) {
    case SelectRecordNumber:
        FromDateCache = ToDateCache = TSearch{};
        FirstNumber = static_cast<uint32_t>(LeadingInt(FromText));
        LastNumber = static_cast<uint32_t>(LeadingInt(ToText));
        Use(FromNumberCache, FirstNumber, true, NumberKey);
        Use(ToNumberCache, LastNumber, false, NumberKey);
        NoneFound = !FromNumberCache.Found || !ToNumberCache.Found;
        break;
    case SelectDateTime:
        FromNumberCache = ToNumberCache = TSearch{};
        Use(FromDateCache, uint64_t(FromDate) * 1000000u + FromTime, true, MomentKey);
        Use(ToDateCache, uint64_t(ToDate) * 1000000u + ToTime, false, MomentKey);
        NoneFound = !FromDateCache.Found || !ToDateCache.Found;
        break;
    default:
        ResetCaches();
        FirstNumber = RecordStore.Entry(0).Number;
        LastNumber = RecordStore.Entry(count - 1).Number;
        FirstIndex = 0;
        LastIndex = count - 1;
        break;
    }
}

void TDsdSelection::DsdScrollBitBtnClick(TDsdScrollButton button)
{
    DsdViewFromToParse();
    const int64_t n = WindowLines;
    const int64_t last = LastIndex;
    int64_t t = FirstIndex;
    switch (button) {
    case ScrollPrevious:
        t = int64_t(TopIndex) - n;
        break;
    case ScrollNext:
        // Gap lines take room in the window: the next page starts after the last record shown.
        t = int64_t(TopIndex) +
            (ShownTop == TopIndex && ShownRecords > 0 && ShownRecords < n ? ShownRecords : n);
        break;
    case ScrollNewest:
        t = last - n + 2;
        break;
    default:
        break;
    }
    MoveTop(t);
}

void TDsdSelection::ScrollLines(int64_t lines)
{
    DsdViewFromToParse();
    MoveTop(int64_t(TopIndex) + lines);
}

void TDsdSelection::MoveTop(int64_t t)
{
    const int64_t n = WindowLines;
    const int64_t first = FirstIndex;
    const int64_t last = LastIndex;
    // Near the end the window settles on the newest position (one line left free), but only ever
    // by moving back: moving forward there would hide the record at the top.
    if (t + n > last)
        t = std::min(t, last - n + 2);
    if (t < first)
        t = first;
    TopIndex = static_cast<uint32_t>(t);
}

std::vector<TDsdWindowLine> TDsdSelection::DsdRecordWindowPopulate()
{
    std::vector<TDsdWindowLine> lines;
    if (RecordStore.RecordCount() > 0 && Empty())
        return lines; // no record lies in the selected range
    if (RecordStore.FileChanged())
        lines.push_back({StoreChangedText, true});
    uint64_t i = TopIndex;
    ShownRecords = 0;
    ShownTop = TopIndex;
    for (int k = 0; k < WindowLines; ++k) {
        if (i >= RecordStore.RecordCount())
            break;
        // Numbers missing inside the selection take a line of their own (in red) before the record
        // after them, when the window has room for that record too.
        QByteArray gap;
        if (i > FirstIndex && k + 1 < WindowLines &&
            RecordStore.AppendGapLine(static_cast<uint32_t>(i), gap)) {
            lines.push_back({std::move(gap), true});
            ++k;
        }
        QByteArray text = RecordStore.DsdRecordObtain(static_cast<uint32_t>(i));
        if (text.isEmpty())
            break;
        lines.push_back({std::move(text), RecordStore.Entry(static_cast<uint32_t>(i)).Verdict != 0});
        ++ShownRecords;
        ++i;
        if (i > LastIndex)
            break;
    }
    if (i >= RecordStore.RecordCount() && (RecordStore.FileVerdict() & VerdictFileIncomplete))
        lines.push_back({FileIncompleteLine, true});
    return lines;
}
