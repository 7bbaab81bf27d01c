// The allocation report: reading the instrument's allocation table and printing its rows.
#include "reports/AllocationReport.h"

#include "link/comms.h"
#include "link/transact.h"
#include "logging/printlines.h"

#include <cstdio>

namespace
{

constexpr int LastNumber = 0xFF;

QByteArray Format(const char *format, const QByteArray &a, const QByteArray &b, const QByteArray &c,
                  const QByteArray &d)
{
    const int size =
        std::snprintf(nullptr, 0, format, a.constData(), b.constData(), c.constData(), d.constData());
    QByteArray out(size, '\0');
    std::snprintf(out.data(), static_cast<size_t>(size) + 1, format, a.constData(), b.constData(),
                  c.constData(), d.constData());
    return out;
}

} // namespace

QByteArray AllocationArgument(int group, int item)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", group & 0xFF, item & 0xFF);
    return QByteArray(text);
}

TAllocationReport ReadAllocationReport(const TAllocationItemReader &readItem)
{
    TAllocationReport report;
    std::array<QByteArray, 8> F;
    int group = 0, lo = 0, hi = 7;
    while (true) {
        for (int item = lo; item <= hi; ++item) {
            const int before = item - 1;
            if (item > lo && !(before == 0 || before == 1 || !F[2].isEmpty()))
                continue; // items after an empty F2 keep their previous texts
            const std::optional<QByteArray> text = readItem(group, item);
            if (!text) {
                report.Complete = false;
                report.Error =
                    "no reply to item " + QByteArray::number(item) + " of group " + QByteArray::number(group);
                return report;
            }
            F[static_cast<size_t>(item - lo)] = *text;
        }
        if (!F[0].isEmpty() && !F[2].isEmpty()) {
            TAllocationRow row;
            if (lo == 0) {
                row.Cells[0] = F[1];
                row.Cells[1] = F[0];
                if (F[6] != "-")
                    row.Cells[2] = "( " + F[5] + ": " + F[4] + ",  " + F[7] + ": " + F[6] + " )";
                row.Cells[3] = F[3] + (F[3].isEmpty() ? QByteArray() : QByteArray(":  ")) + F[2];
            } else {
                row.Main = false;
                row.Cells[3] = F[1] + ":" + F[0];
            }
            report.Rows.append(row);
            lo = hi + 1;
            hi = lo + 1;
            if (hi <= LastNumber)
                continue;
        } else if (lo == 0 && F[0].isEmpty()) {
            return report; // item 0 of the group is empty: the table ends here
        }
        if (group == LastNumber) {
            report.Complete = false;
            report.Error = "the allocation table did not end by group " + QByteArray::number(LastNumber);
            return report;
        }
        ++group;
        lo = 0;
        hi = 7;
    }
}

TAllocationReport ReadAllocationReport(TTransactionEngine &engine)
{
    return ReadAllocationReport([&engine](int group, int item) -> std::optional<QByteArray> {
        if (engine.Transact(CmdRead, AllocationRegister, AllocationArgument(group, item), true, true))
            return engine.LastReply.Data;
        if (engine.LastWaitTimedOut() || !engine.LinkOpen() || !engine.LastReply.ErrorFlag)
            return std::nullopt;
        return QByteArray(); // refused: an empty item
    });
}

QByteArray AllocationPrintRow(const TAllocationRow &row)
{
    return Format("%6s %-8s %35s %s", row.Cells[0], row.Cells[1], row.Cells[2], row.Cells[3]);
}

QList<QByteArray> AllocationPrintout(const QByteArray &caption, const QList<TAllocationRow> &rows,
                                     int linesPerPage)
{
    if (linesPerPage < 1)
        linesPerPage = 1;
    QList<QByteArray> counted{caption, QByteArray()};
    QList<QByteArray> body;
    for (const TAllocationRow &row : rows) {
        if (!row.Cells[0].isEmpty())
            body << QByteArray();
        body << AllocationPrintRow(row);
    }
    body << QByteArray();

    QList<QByteArray> out;
    int count = 0;
    auto add = [&](const QByteArray &line) {
        // The break comes before the line that would not fit, so no page is left empty at the end.
        if (count == linesPerPage) {
            out << FormFeedLine << QByteArray() << QByteArray() << QByteArray();
            count = 0;
        }
        out << line;
        ++count;
    };
    for (const QByteArray &line : counted)
        add(line);
    out << QByteArray() << QByteArray() << QByteArray();
    for (const QByteArray &line : body)
        add(line);
    out.first().prepend(' '); // the job opens with a single space before the first line
    return out;
}
