// The weight log's samples, series, extremes and axis ranges (see logmodel.h).
#include "logmodel.h"

#include "values/tools.h"

#include <algorithm>
#include <cmath>

namespace
{

const char *const FixedChannels[] = {"None", "CofZ", "Zero", "Motion", "Net"};
const uint32_t FixedChannelBits[] = {0, 0x0800, 0x0400, 0x1000, 0x0200};

// Seconds per unit of the instrument's time stamps.
constexpr double StampSeconds = 0.04;

} // namespace

QByteArray LogChannelName(int index)
{
    if (index >= 0 && index < 5)
        return FixedChannels[index];
    if (index >= 5 && index < LogChannelCount)
        return "IO" + QByteArray::number(index - 4);
    return {};
}

int LogChannelIndex(const QByteArray &name)
{
    for (int i = 0; i < LogChannelCount; ++i)
        if (LogChannelName(i) == name)
            return i;
    return -1;
}

bool LogChannelSet(int index, uint32_t statusA, uint32_t statusB)
{
    if (index >= 1 && index < 5)
        return (statusA & FixedChannelBits[index]) != 0;
    if (index >= 5 && index < LogChannelCount)
        return (statusB >> (index - 5)) & 1u;
    return false;
}

double TraceBase(int trace)
{
    return trace >= 1 && trace <= 4 ? 1.5 * (trace - 1) : 0.0;
}

double LogIntervalOfRate(int rateIndex)
{
    switch (rateIndex) {
    case 0:
        return 0.1;
    case 1:
        return 1.0;
    case 2:
        return 10.0;
    default:
        return 0.05;
    }
}

int LogRateOfInterval(double interval)
{
    if (interval <= 0.5)
        return 0;
    return interval <= 5 ? 1 : 2;
}

QString LogLabelFormat(int decimals)
{
    static const char *const formats[] = {"####0.###", "####0.0##", "####0.00#", "###0.000#",
                                          "##0.0000#", "#0.00000#", "0.000000#"};
    if (decimals >= 0 && decimals <= 6)
        return QString::fromLatin1(formats[decimals]);
    return QStringLiteral("0.") + QString(decimals, QLatin1Char('0')) + QLatin1Char('#');
}

QString FormatFloat(const QString &format, double value)
{
    const qsizetype dot = format.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? format : format.left(dot);
    const QString fraction = dot < 0 ? QString() : format.mid(dot + 1);
    const int minWhole = static_cast<int>(whole.count(QLatin1Char('0')));
    const int required = static_cast<int>(fraction.count(QLatin1Char('0')));
    const int places = static_cast<int>(fraction.size());
    if (!std::isfinite(value))
        return QString::number(value);
    // Halves go away from zero, as a written figure is rounded by hand.
    const double scale = std::pow(10.0, places);
    double rounded = value;
    if (std::fabs(value) * scale < 9.0e15)
        rounded = std::round(value * scale) / scale;
    QString text = QString::number(std::fabs(rounded), 'f', places);
    if (places > required) {
        qsizetype end = text.size();
        const qsizetype point = text.indexOf(QLatin1Char('.'));
        while (end > point + 1 + required && text.at(end - 1) == QLatin1Char('0'))
            --end;
        if (end == point + 1)
            end = point;
        text.truncate(end);
    }
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    qsizetype digits = point < 0 ? text.size() : point;
    QString lead = text.left(digits);
    if (minWhole == 0 && lead == QLatin1String("0") && point >= 0)
        lead.clear();
    while (lead.size() < minWhole)
        lead.prepend(QLatin1Char('0'));
    text = lead + (point < 0 ? QString() : text.mid(point));
    const bool zero = std::all_of(text.begin(), text.end(),
                                  [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('.'); });
    if (rounded < 0 && !zero)
        text.prepend(QLatin1Char('-'));
    return text;
}

QString LogTimeText(double seconds)
{
    return FormatFloat(QStringLiteral("0.###"), seconds);
}

// --- the model -------------------------------------------------------------------------------------

TLogModel::TLogModel()
{
    SetSeries(nullptr, {});
}

void TLogModel::SetSeries(TLogSeries *weight, const std::array<TLogSeries *, 4> &digital)
{
    if (!weight && !OwnWeight)
        OwnWeight = std::make_unique<TLogVectorSeries>();
    WeightSeries = weight ? weight : OwnWeight.get();
    for (size_t n = 0; n < 4; ++n) {
        if (!digital[n] && !OwnDigital[n])
            OwnDigital[n] = std::make_unique<TLogVectorSeries>();
        DigitalSeries[n] = digital[n] ? digital[n] : OwnDigital[n].get();
    }
}

void TLogModel::ClearSeries()
{
    WeightSeries->Clear();
    for (TLogSeries *s : DigitalSeries)
        s->Clear();
    High = Low = LastTime = 0;
}

void TLogModel::BeginRecording()
{
    ClearSeries();
    LiveLog = true;
    LogDecimals = 0;
    LogDivisor = 1;
}

void TLogModel::TakeFormattedWeight(const QByteArray &data)
{
    // The conversions write at most 9 decimals; more would lose the weights in a saved log.
    LogDecimals = std::clamp(DecimalsIn(data), 0, 9);
    LogDivisor = 1;
    for (int i = 0; i < LogDecimals; ++i)
        LogDivisor *= 10;
    // The units sit at the 1-based positions length - 3 and length - 2 ("   12.50 kg G").
    // The instrument's text is 8-bit (Latin-1); the log keeps its texts as UTF-8.
    LogUnits = QString::fromLatin1(data.mid(std::max<qsizetype>(0, data.size() - 4), 2)).toUtf8();
}

void TLogModel::ResetLogChart(bool full, const TLogChoices &choices)
{
    if (full) {
        Left = {0, 1};
        LogInterval = LogIntervalOfRate(choices.RateIndex);
        for (size_t n = 0; n < 4; ++n) {
            const int c = choices.Channels[n];
            DigitalChannel[n] = c > 0 && c < LogChannelCount ? c : 0;
        }
        Bottom = {0, 30};
        ScrollStep = Bottom.Max / 2;
    }
    Right = {-1, 6};
}

double TLogModel::WeightMargin(double highest, double lowest) const
{
    // A steady weight has no spread: one displayed digit keeps its line inside the axis.
    const double spread = highest - lowest;
    return spread > 0 ? spread / 10 : 1.0 / static_cast<double>(LogDivisor);
}

void TLogModel::AddWeightPoint(double t, double y)
{
    if (WeightSeries->Count() == 0) {
        High = Low = y;
        LastTime = t;
    } else {
        High = std::max(High, y);
        Low = std::min(Low, y);
        LastTime = std::max(LastTime, t);
    }
    WeightSeries->Add(t, y);
}

void TLogModel::AddDigitalPoint(int trace, double t, double value)
{
    if (trace >= 1 && trace <= 4)
        DigitalSeries[static_cast<size_t>(trace - 1)]->Add(t, value + TraceBase(trace));
}

TLogSampleResult TLogModel::AddLogSample(const QByteArray &data)
{
    TLogSampleResult r;
    if (data.size() != 32)
        return r;
    const uint32_t ts = HexToInt(data.left(8));
    const int64_t kept = WeightSeries->Count();
    double t = 0;
    if (kept == 0) {
        FirstTimestamp = ts;
    } else {
        if (ts == FirstTimestamp)
            return r;
        // The stamp is a 32-bit count: the difference survives its wrap, and a stamp from before
        // the first one is no sample of this recording.
        t = static_cast<int32_t>(ts - FirstTimestamp) * StampSeconds;
        // Compared with a hair's tolerance: 6 x 0.1 must not come out above 15 x 0.04.
        if (static_cast<double>(kept) * LogInterval > t + 1e-9)
            return r;
        // A repeated or late sample would draw the line back in time.
        if (t <= LastTime)
            return r;
    }
    const double y = static_cast<int32_t>(HexToInt(data.mid(8, 8))) / static_cast<double>(LogDivisor);
    const uint32_t statusA = HexToInt(data.mid(16, 8));
    const uint32_t statusB = HexToInt(data.mid(24, 8));

    if (t > 0.08 && kept > 0) {
        const double m = WeightMargin(High, Low);
        if (y > Left.Max) {
            Left = {Low - m, y + m};
            r.LeftChanged = true;
        }
        if (y < Left.Min) {
            Left = {y - m, High + m};
            r.LeftChanged = true;
        }
    }
    AddWeightPoint(t, y);
    for (int n = 1; n <= 4; ++n) {
        const int channel = DigitalChannel[static_cast<size_t>(n - 1)];
        if (channel > 0)
            AddDigitalPoint(n, t, LogChannelSet(channel, statusA, statusB) ? 1.0 : 0.0);
    }
    if (!Zoomed && t > Bottom.Max) {
        Bottom = {Bottom.Min + ScrollStep, Bottom.Max + ScrollStep};
        r.BottomChanged = true;
    }
    r.Accepted = true;
    r.T = t;
    r.Y = y;
    return r;
}

bool TLogModel::FitLogChart(QString *error)
{
    if (!HasWeights()) {
        if (error)
            *error = QStringLiteral("The log holds no weights.");
        return false;
    }
    const double m = WeightMargin(High, Low);
    Left = {Low - m, High + m};
    Bottom = {0, LastTime > 0 ? LastTime : 1};
    return true;
}

void TLogModel::ScrollByTenth(int dx, int dy)
{
    if (dx) {
        const double step = (Bottom.Max - Bottom.Min) / 10 * dx;
        Bottom = {Bottom.Min + step, Bottom.Max + step};
    }
    if (dy) {
        const double step = (Left.Max - Left.Min) / 10 * dy;
        Left = {Left.Min + step, Left.Max + step};
    }
}

void TLogModel::RememberUnzoomed()
{
    if (Zoomed)
        return;
    SavedLeft = Left;
    SavedBottom = Bottom;
    HaveSaved = true;
}

void TLogModel::UndoZoom()
{
    if (HaveSaved) {
        Left = SavedLeft;
        Bottom = SavedBottom;
        HaveSaved = false;
    }
    Zoomed = false;
    if (LogState == 1 && ScrollStep > 0 && LastTime > Bottom.Max) {
        const double steps = std::ceil((LastTime - Bottom.Max) / ScrollStep);
        Bottom = {Bottom.Min + steps * ScrollStep, Bottom.Max + steps * ScrollStep};
    }
}

bool TLogModel::DigitalValueAt(int trace, int64_t i, double *value) const
{
    if (trace < 1 || trace > 4)
        return false;
    const TLogSeries &s = *DigitalSeries[static_cast<size_t>(trace - 1)];
    if (i < 0 || i >= s.Count())
        return false;
    *value = s.ValueAt(i) - TraceBase(trace);
    return true;
}
