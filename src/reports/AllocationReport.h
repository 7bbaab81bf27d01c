// The allocation report: the instrument's allocation table read group by group and item by item
// through register 0x0052, arranged as four-column rows, and the rows as printed text.
#pragma once

#include <QByteArray>
#include <QList>
#include <array>
#include <functional>
#include <optional>

inline constexpr int AllocationRegister = 0x0052;

struct TAllocationRow {
    std::array<QByteArray, 4> Cells;
    bool Main = true; // a group's main row; false for a continuation row
    bool operator==(const TAllocationRow &) const = default;
};

struct TAllocationReport {
    QList<TAllocationRow> Rows;
    // False when an item read got no reply at all, or the table never ended; the rows read so far
    // are kept and Error says where the reading stopped.
    bool Complete = true;
    QByteArray Error;
};

// The read argument: group and item as two upper-case hex digits each ("0309").
QByteArray AllocationArgument(int group, int item);

// Reads one item: its text (empty for an empty item or a refusal), nullopt when no reply came.
using TAllocationItemReader = std::function<std::optional<QByteArray>(int group, int item)>;

// Items 0..7 of a group go into F0..F7, later items come in continuation pairs. A further item is
// read only after item 0 or 1 or while F2 is not empty; a group adds a row when F0 and F2 are not
// empty; an empty item 0 ends the report. Group and item numbers stop at 255 (two hex digits), so a
// table that never ends cannot keep the reading going for ever.
TAllocationReport ReadAllocationReport(const TAllocationItemReader &readItem);

class TTransactionEngine;
// The same through the engine: reads of register 0x0052 that report their errors; a refusal counts
// as an empty item, a time-out or a closed link as no reply.
TAllocationReport ReadAllocationReport(TTransactionEngine &engine);

// One row as printed: Format("%6s %-8s %35s %s").
QByteArray AllocationPrintRow(const TAllocationRow &row);

// The printout as lines (FormFeedLine for a new page): the first line starts with a space, the
// caption and an empty line, three uncounted blank lines, an empty line before each main row, every
// row, and a closing empty line. When the counted lines of a page reach linesPerPage and more follow,
// a form feed and three blank lines start the next page.
QList<QByteArray> AllocationPrintout(const QByteArray &caption, const QList<TAllocationRow> &rows,
                                     int linesPerPage);
