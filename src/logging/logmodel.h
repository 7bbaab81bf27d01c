// The weight log: samples from the instrument thinned to the chosen rate by their own time stamps,
// the five series (weight and four on/off traces), the axis ranges that follow them, and the
// channel list of the digital traces. The chart shows what this holds; the CLI records with it.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// --- channels of the digital traces ------------------------------------------------------------
// 0 "None", 1 "CofZ", 2 "Zero", 3 "Motion", 4 "Net", 5.. "IO1".."IO32".
inline constexpr int LogChannelCount = 37;
QByteArray LogChannelName(int index);
// The index of a channel name (exact, as listed), -1 when there is none.
int LogChannelIndex(const QByteArray &name);
// Whether the channel's bit is set: the status bits in word A, the inputs in word B.
bool LogChannelSet(int index, uint32_t statusA, uint32_t statusB);
// Base level of trace 1..4 on the right axis: 0, 1.5, 3 and 4.5; a set bit draws one higher.
double TraceBase(int trace);
// The sample interval of a rate choice: 0 "10 Hz", 1 "1 Hz", 2 "1/10 secs"; no choice 0.05 s.
double LogIntervalOfRate(int rateIndex);
// The rate choice that shows an interval (the logging dialog's preset).
int LogRateOfInterval(double interval);

// --- number formats of the axes ---------------------------------------------------------------
// Label format of the weight axis for a number of decimals ("####0.###" for 0 ... "0.000000#" for 6;
// beyond 6 all decimals required and one optional).
QString LogLabelFormat(int decimals);
// A number written by a "#0.0#"-style pattern: '0' digits always shown, '#' only when not zero;
// rounded half away from zero; no thousands separators; "." as decimal separator.
QString FormatFloat(const QString &format, double value);
// The time axis' labels: up to three decimals, none shown when zero.
QString LogTimeText(double seconds);

// --- where the points are kept ------------------------------------------------------------------
// One series of (time, value) points, kept wherever its viewer keeps them (a chart's own data, or
// plain vectors for the command line and tests). Points are only ever appended.
class TLogSeries
{
public:
    virtual ~TLogSeries() = default;
    virtual void Clear() = 0;
    virtual void Add(double t, double y) = 0;
    virtual int64_t Count() const = 0;
    virtual double TimeAt(int64_t i) const = 0;
    virtual double ValueAt(int64_t i) const = 0;
};

class TLogVectorSeries final : public TLogSeries
{
public:
    void Clear() override { Points.clear(); }
    void Add(double t, double y) override { Points.push_back({t, y}); }
    int64_t Count() const override { return static_cast<int64_t>(Points.size()); }
    double TimeAt(int64_t i) const override { return Points[static_cast<size_t>(i)].T; }
    double ValueAt(int64_t i) const override { return Points[static_cast<size_t>(i)].Y; }
    struct TPoint {
        double T, Y;
    };
    std::vector<TPoint> Points;
};

struct TLogRange {
    double Min = 0;
    double Max = 1;
    bool operator==(const TLogRange &) const = default;
};

// The choices of the logging dialog.
struct TLogChoices {
    int RateIndex = 0;                // -1: none chosen
    std::array<int, 4> Channels = {}; // per trace, an index into the channel list
};

// What one offered sample did.
struct TLogSampleResult {
    bool Accepted = false;
    bool LeftChanged = false;   // the weight axis was widened
    bool BottomChanged = false; // the time axis moved on
    double T = 0;
    double Y = 0;
};

class TLogModel
{
public:
    TLogModel();

    // The series to fill (not owned; they must outlive the model's use of them). Null keeps the
    // model's own vector series.
    void SetSeries(TLogSeries *weight, const std::array<TLogSeries *, 4> &digital);
    TLogSeries &Weight() const { return *WeightSeries; }
    TLogSeries &Digital(int trace) const { return *DigitalSeries[static_cast<size_t>(trace - 1)]; }

    // --- state --------------------------------------------------------------------------------
    int LogState = 0; // 0 idle, 1 logging
    double LogInterval = 0.1;
    std::array<int, 4> DigitalChannel = {};
    int LogDecimals = 0;
    int64_t LogDivisor = 1;
    QByteArray LogUnits; // UTF-8
    uint32_t FirstTimestamp = 0;
    bool Zoomed = false;
    double ScrollStep = 15;
    bool LiveLog = false;
    QByteArray Comment;               // the log comment, as typed (UTF-8)
    std::array<QByteArray, 4> Labels; // the channel labels under the chart (UTF-8)
    TLogRange Left{0, 1};             // weight axis
    TLogRange Bottom{0, 30};          // time axis
    TLogRange Right{-1, 6};           // the digital traces' axis

    // --- the weight series' extremes, kept as points arrive -----------------------------------
    bool HasWeights() const { return WeightSeries->Count() > 0; }
    double Highest() const { return High; }
    double Lowest() const { return Low; }
    // The largest time of the weight series (0 when empty).
    double LargestTime() const { return LastTime; }

    // --- operations ---------------------------------------------------------------------------
    // Empties all five series.
    void ClearSeries();
    // A new recording: series cleared, LiveLog set, 0 decimals, divisor 1.
    void BeginRecording();
    // The formatted weight (register 0x0025) gives the decimals and the two unit characters.
    void TakeFormattedWeight(const QByteArray &data);
    // Label format of the weight axis for the current decimals.
    QString LeftLabelFormat() const { return LogLabelFormat(LogDecimals); }
    // full: weight axis 0..1, rate and channels from the choices, time axis 0..30 and the scroll
    // step half of it. Always: the digital axis -1..6.
    void ResetLogChart(bool full, const TLogChoices &choices);
    // Offers the data of a received message; a sample is exactly 32 characters.
    TLogSampleResult AddLogSample(const QByteArray &data);
    // Adds one point to the weight series (file loading); keeps the extremes.
    void AddWeightPoint(double t, double y);
    // Adds one point to trace 1..4 at the trace's base plus the value.
    void AddDigitalPoint(int trace, double t, double value);
    // The weight axis around all weights, the time axis from 0 to the last time. False with a
    // reason when there are no weights.
    bool FitLogChart(QString *error);
    // Moves an axis by a tenth of its range (dx: time -1/+1, dy: weight -1/+1).
    void ScrollByTenth(int dx, int dy);
    // The user zoomed or scrolled: the time axis no longer follows the samples.
    void MarkZoomed() { Zoomed = true; }
    // Back to the ranges before the first zoom; while logging the time axis is moved on by scroll
    // steps until the latest point is inside it again.
    void UndoZoom();
    // The ranges to go back to: taken when a zoom begins.
    void RememberUnzoomed();

    // The value of trace n (1..4) at point i less the trace's base (0 or 1 for recorded points);
    // false when the trace has no such point.
    bool DigitalValueAt(int trace, int64_t i, double *value) const;
    // The margin around the weights: a tenth of their spread, at least one displayed digit.
    double WeightMargin(double highest, double lowest) const;

private:
    std::unique_ptr<TLogVectorSeries> OwnWeight;
    std::array<std::unique_ptr<TLogVectorSeries>, 4> OwnDigital;
    TLogSeries *WeightSeries = nullptr;
    std::array<TLogSeries *, 4> DigitalSeries = {};
    double High = 0;
    double Low = 0;
    double LastTime = 0;
    bool HaveSaved = false;
    TLogRange SavedLeft, SavedBottom;
};
