// Arbitrary bytes read as a weight log file: the reader either refuses the file
// (with a message, the log left as it was) or takes it with UTF-8 comment and
// header; a log the program saved reads back to the same lines.
#include "logging/logfile.h"
#include "logging/logmodel.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace
{

QList<QByteArray> Saved(const TLogModel &log)
{
    QList<QByteArray> lines;
    WriteLogCsv(log, lines);
    return lines;
}

bool IsUtf8(const QByteArray &text)
{
    return QString::fromUtf8(text).toUtf8() == text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> lines = SplitLogLines(text);

    // A log that already holds points: a refused file must leave them.
    TLogModel log;
    ReadLogCsv(log, {"before", "Time,Weight,", "1.00,2.5"});
    const QList<QByteArray> before = Saved(log);
    QString error;
    if (!ReadLogCsv(log, lines, &error)) {
        if (error.isEmpty() || Saved(log) != before)
            __builtin_trap();
        return 0;
    }
    // Fewer than three lines load nothing: the chart is emptied.
    if (lines.size() < 3) {
        if (log.HasWeights() || Saved(log).size() > 2)
            __builtin_trap();
        return 0;
    }
    if (!IsUtf8(log.Comment) || !IsUtf8(LogHeader(log)))
        __builtin_trap();
    const QList<QByteArray> once = Saved(log);
    for (const QByteArray &line : once)
        if (line.contains('\n'))
            __builtin_trap();

    // What was saved reads back with every weight point; saved once more, it is a
    // file the program wrote, and that reads back to the same lines. (The first
    // save may differ from a file written elsewhere: traces are written by index
    // beside the weights, in the slots they hold.)
    if (once.size() < 3)
        return 0;
    TLogModel again;
    if (!ReadLogCsv(again, once) || again.Weight().Count() != log.Weight().Count())
        __builtin_trap();
    const QList<QByteArray> twice = Saved(again);
    TLogModel third;
    if (!ReadLogCsv(third, twice) || Saved(third) != twice)
        __builtin_trap();
    (void)TakeLiveHeader(third, LogHeader(third));
    return 0;
}
