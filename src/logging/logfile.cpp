// Log files: header, data lines, reading back, whole-file and growing-file writing (see logfile.h).
#include "logfile.h"

#include "base/wholefile.h"
#include "values/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace
{

QByteArray TwoDecimals(double value)
{
    return QByteArray::number(value, 'f', 2);
}

// The significant digits of a number field (leading zeros do not count).
int SignificantDigits(const QByteArray &field)
{
    int digits = 0;
    for (char ch : field)
        if (IsDigit(ch) && (digits > 0 || ch != '0'))
            ++digits;
    return digits;
}

// The decimals a loaded log writes its weights with: line 3's, or more if a later weight has more
// (saving the log again must not round away digits the file holds), at most 9.
int WeightDecimals(const QList<QByteArray> &lines)
{
    if (lines.size() < 3)
        return 0;
    int decimals = DecimalsIn(NthField(lines[2], 2, ','));
    for (qsizetype i = 2; i < lines.size(); ++i)
        if (const QByteArray weight = NthField(lines[i], 2, ','); !weight.isEmpty())
            decimals = std::max(decimals, DecimalsIn(weight));
    return std::clamp(decimals, 0, 9);
}

const char *const FieldNames[] = {"time", "weight", "trace 1", "trace 2", "trace 3", "trace 4"};

} // namespace

QByteArray LogHeader(const TLogModel &log)
{
    QByteArray header;
    if (log.LiveLog) {
        header = "Time,Weight(" + log.LogUnits + "),";
        for (int n = 1; n <= 3; ++n)
            if (const int c = log.DigitalChannel[static_cast<size_t>(n - 1)]; c != 0)
                header += LogChannelName(c) + ',';
        if (log.DigitalChannel[3] != 0)
            header += LogChannelName(log.DigitalChannel[3]);
    } else {
        header = "Time,Weight,";
        for (int n = 1; n <= 3; ++n)
            if (log.Digital(n).Count() > 0)
                header += log.Labels[static_cast<size_t>(n - 1)] + ',';
        if (log.Digital(4).Count() > 0)
            header += log.Labels[3];
    }
    return header;
}

QByteArray LogDataLine(double t, const QByteArray &weight, const QList<double> &traces,
                       const QList<bool> &present)
{
    QByteArray line = TwoDecimals(t) + ',' + weight;
    for (qsizetype k = 0; k < traces.size(); ++k) {
        line += ',';
        if (k >= present.size() || present[k])
            line += TwoDecimals(traces[k]);
    }
    return line;
}

void WriteLogCsv(const TLogModel &log, QList<QByteArray> &lines)
{
    lines.append(log.Comment);
    lines.append(LogHeader(log));
    QList<int> held;
    for (int n = 1; n <= 4; ++n)
        if (log.Digital(n).Count() > 0)
            held.append(n);
    const TLogSeries &weight = log.Weight();
    const int64_t count = weight.Count();
    QList<double> values(held.size());
    QList<bool> present(held.size());
    for (int64_t i = 0; i < count; ++i) {
        for (qsizetype k = 0; k < held.size(); ++k) {
            double v = 0;
            present[k] = log.DigitalValueAt(held[k], i, &v);
            values[k] = v;
        }
        lines.append(LogDataLine(weight.TimeAt(i), FloatToDecimalText(log.LogDecimals, weight.ValueAt(i)),
                                 values, present));
    }
}

QByteArray LogTextToUtf8(const QByteArray &text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(text);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(text).toUtf8();
}

bool ReadLogCsv(TLogModel &log, const QList<QByteArray> &lines, QString *error)
{
    // Every number is checked before anything changes, as given and in the form a save writes
    // it (times and traces with two decimals, weights with the log's decimals): a file whose
    // numbers a save could not write back exactly is refused, and the chart stays as it was.
    const int decimals = WeightDecimals(lines);
    for (qsizetype i = 2; i < lines.size(); ++i)
        for (int f = 1; f <= 6; ++f) {
            const QByteArray field = NthField(lines[i], f, ',');
            if (field.isEmpty())
                continue;
            // (The form written is made only of a number that fits as given.)
            const auto written = [&] {
                const double value = DecimalTextToFloat(field);
                return f == 2 ? FloatToDecimalText(decimals, value) : TwoDecimals(value);
            };
            if (SignificantDigits(field) > LogMaxDigits || SignificantDigits(written()) > LogMaxDigits) {
                if (error)
                    *error = QStringLiteral("Line %1: the %2 %3 does not fit in a log (at most %4 digits); "
                                            "the file was not loaded.")
                                 .arg(i + 1)
                                 .arg(QLatin1String(FieldNames[f - 1]),
                                      QString::fromLatin1(field.left(40) + (field.size() > 40 ? "..." : "")))
                                 .arg(LogMaxDigits);
                return false;
            }
        }
    log.ClearSeries();
    if (lines.size() < 3)
        return true;
    log.LiveLog = false;
    log.Comment = LogTextToUtf8(lines[0]);
    const QByteArray header = LogTextToUtf8(lines[1]);
    if (NthField(header, 1, ',') == "Time") {
        // Two characters, not bytes: "µg" is three bytes in UTF-8.
        const QString weight = QString::fromUtf8(NthField(header, 2, ','));
        const qsizetype open = weight.indexOf(QLatin1Char('('));
        log.LogUnits = open < 0 ? QByteArray() : weight.mid(open + 1, 2).toUtf8();
        for (int n = 0; n < 4; ++n)
            log.Labels[static_cast<size_t>(n)] = NthField(header, n + 3, ',');
    } else {
        log.LogUnits.clear();
        for (QByteArray &label : log.Labels)
            label.clear();
    }
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const double t = DecimalTextToFloat(NthField(line, 1, ','));
        const QByteArray weight = NthField(line, 2, ',');
        if (!weight.isEmpty())
            log.AddWeightPoint(t, DecimalTextToFloat(weight));
        for (int n = 1; n <= 4; ++n) {
            const QByteArray field = NthField(line, n + 2, ',');
            if (!field.isEmpty())
                log.AddDigitalPoint(n, t, DecimalTextToFloat(field));
        }
    }
    log.LogDecimals = decimals;
    log.LogDivisor = 1;
    for (int i = 0; i < log.LogDecimals; ++i)
        log.LogDivisor *= 10;
    return true;
}

bool TakeLiveHeader(TLogModel &log, const QByteArray &header)
{
    if (!header.startsWith("Time,Weight("))
        return false;
    std::array<int, 4> channels = {};
    size_t n = 0;
    for (int f = 3; f <= 6; ++f) {
        const QByteArray name = NthField(header, f, ',');
        if (name.isEmpty())
            continue;
        const int channel = LogChannelIndex(name);
        if (channel <= 0 || n >= channels.size())
            return false;
        channels[n++] = channel;
    }
    const bool wasLive = log.LiveLog;
    const std::array<int, 4> were = log.DigitalChannel;
    log.LiveLog = true;
    log.DigitalChannel = channels;
    // Only a header that this log writes again byte for byte.
    if (LogHeader(log) == header)
        return true;
    log.LiveLog = wasLive;
    log.DigitalChannel = were;
    return false;
}

QList<QByteArray> SplitLogLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        qsizetype stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        lines.append(text.mid(start, stop - start));
        start = end + 1;
    }
    return lines;
}

QString LogFileName(const QString &chosen)
{
    return QFileInfo(chosen).suffix().isEmpty() && !chosen.endsWith(QLatin1Char('.'))
               ? chosen + QStringLiteral(".CSV")
               : chosen;
}

bool LoadLogLines(const QString &path, QList<QByteArray> *lines, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    *lines = SplitLogLines(file.readAll());
    return true;
}

bool SaveLogLines(const QString &path, const QList<QByteArray> &lines, QString *error)
{
    // Written beside the file and renamed over it only when every byte is out: a full disk or an
    // I/O error leaves the earlier file whole.
    TWholeFile file(path);
    bool written = file.Open();
    for (qsizetype i = 0; written && i < lines.size(); ++i)
        written = file.Write(lines[i] + "\r\n");
    if (written && file.Commit())
        return true;
    const QString reason = file.Reason();
    if (error)
        *error =
            QStringLiteral("Cannot write %1: %2. %3")
                .arg(QDir::toNativeSeparators(path), reason,
                     QFileInfo::exists(path) ? QStringLiteral("The earlier file of that name is unchanged.")
                                             : QStringLiteral("No file was written."));
    return false;
}

// --- a growing file --------------------------------------------------------------------------------

bool TLogFileWriter::Open(const QString &path, const TLogModel &log, QString *error)
{
    Close();
    File.setFileName(path);
    Failed = false;
    Written = 0;
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        File.write(log.Comment + "\r\n" + LogHeader(log) + "\r\n") < 0 || !File.flush()) {
        OpenError = File.errorString();
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, OpenError);
        File.close();
        return false;
    }
    return true;
}

bool TLogFileWriter::AppendLast(const TLogModel &log)
{
    if (!File.isOpen() || Failed)
        return false;
    const TLogSeries &weight = log.Weight();
    const int64_t i = weight.Count() - 1;
    if (i < 0)
        return false;
    QList<double> values;
    for (int n = 1; n <= 4; ++n) {
        if (log.DigitalChannel[static_cast<size_t>(n - 1)] == 0)
            continue;
        const TLogSeries &s = log.Digital(n);
        values.append(s.Count() > 0 ? s.ValueAt(s.Count() - 1) - TraceBase(n) : 0.0);
    }
    const QByteArray line =
        LogDataLine(weight.TimeAt(i), FloatToDecimalText(log.LogDecimals, weight.ValueAt(i)), values) +
        "\r\n";
    // Handed to the system at once: a killed program loses nothing it accepted.
    if (File.write(line) != line.size() || !File.flush()) {
        Failed = true;
        return false;
    }
    ++Written;
    return true;
}

void TLogFileWriter::Close()
{
    if (File.isOpen())
        File.close();
}

bool TLogFileWriter::OpenBeside(const QString &path, const TLogModel &log, QString *error)
{
    Target = path;
    const QString part = path + QStringLiteral(".part");
    if (Open(part, log, nullptr))
        return true;
    QFile::remove(part);
    if (error)
        *error = WriteFailedText(path, OpenError);
    return false;
}

bool TLogFileWriter::Commit(QString *error)
{
    const QString part = File.fileName();
    QString why;
    if (Failed || File.error() != QFileDevice::NoError)
        why = File.errorString() + QStringLiteral(" (while writing)");
    else if (!SyncFile(File))
        why = File.errorString() + QStringLiteral(" (while syncing it to disk)");
    Close();
    if (why.isEmpty() && !ReplaceFile(part, Target))
        why = QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral(" (while renaming it)");
    if (why.isEmpty()) {
        SyncDirectory(QFileInfo(Target).absolutePath());
        return true;
    }
    QFile::remove(part);
    if (error)
        *error = WriteFailedText(Target, why);
    return false;
}
