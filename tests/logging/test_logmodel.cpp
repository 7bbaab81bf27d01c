// The log model: thinning by the instrument's stamps, weights and traces, the axes that follow
// the samples, the number formats of the axes, and the chart-setup field rules.
#include "logging/chartrules.h"
#include "logging/logmodel.h"
#include "values/tools.h"

#include <gtest/gtest.h>

namespace
{

QByteArray Sample(uint32_t stamp, int32_t weight, uint32_t a = 0, uint32_t b = 0)
{
    return HexText(stamp, 8) + HexText(static_cast<uint32_t>(weight), 8) + HexText(a, 8) + HexText(b, 8);
}

std::vector<double> Times(const TLogModel &log)
{
    std::vector<double> t;
    for (int64_t i = 0; i < log.Weight().Count(); ++i)
        t.push_back(log.Weight().TimeAt(i));
    return t;
}

TLogModel Recording(int rate, std::array<int, 4> channels = {})
{
    TLogModel log;
    log.BeginRecording();
    log.ResetLogChart(true, {rate, channels});
    log.LogState = 1;
    return log;
}

} // namespace

TEST(LogModel, ThinsByTheInstrumentsStamps)
{
    // 1 Hz: stamps 0, 10, 20, 30, 55 (0.04 s units) are kept at 0, 1.2 and 2.2 s.
    TLogModel log = Recording(1);
    for (uint32_t s : {0u, 10u, 20u, 30u, 55u})
        log.AddLogSample(Sample(1000 + s, 5));
    EXPECT_EQ(Times(log), (std::vector<double>{0, 30 * 0.04, 55 * 0.04}));

    // Not a sample: wrong length; the first stamp again; repeated and earlier stamps (a
    // duplicated reply must not draw the line back in time). A wrapped counter still counts on.
    TLogModel wrap = Recording(0);
    EXPECT_FALSE(wrap.AddLogSample(Sample(0xFFFFFFFE, 1).left(31)).Accepted);
    EXPECT_TRUE(wrap.AddLogSample(Sample(0xFFFFFFFE, 1)).Accepted);
    EXPECT_FALSE(wrap.AddLogSample(Sample(0xFFFFFFFE, 1)).Accepted);
    EXPECT_TRUE(wrap.AddLogSample(Sample(1, 1)).Accepted); // three units later
    EXPECT_FALSE(wrap.AddLogSample(Sample(1, 1)).Accepted);
    EXPECT_FALSE(wrap.AddLogSample(Sample(0xFFFFFFF0, 1)).Accepted);
    EXPECT_EQ(Times(wrap), (std::vector<double>{0, 3 * 0.04}));
}

TEST(LogModel, WeightsAndTracesAsPlotted)
{
    TLogModel log = Recording(0, {3, 7, 0, 1}); // Motion, IO3, None, CofZ
    log.TakeFormattedWeight("   12.5 kg G");
    EXPECT_EQ(log.LogDecimals, 1);
    EXPECT_EQ(log.LogUnits, "kg");
    log.AddLogSample(Sample(0, static_cast<int32_t>(0xFFFFFFF6), 0x1000, 0x00000004));
    log.AddLogSample(Sample(5, 125, 0x0800, 0));
    EXPECT_DOUBLE_EQ(log.Weight().ValueAt(0), -1.0);
    EXPECT_DOUBLE_EQ(log.Weight().ValueAt(1), 12.5);
    EXPECT_DOUBLE_EQ(log.Digital(1).ValueAt(0), 1.0); // motion set
    EXPECT_DOUBLE_EQ(log.Digital(1).ValueAt(1), 0.0);
    EXPECT_DOUBLE_EQ(log.Digital(2).ValueAt(0), 2.5); // IO3 set
    EXPECT_DOUBLE_EQ(log.Digital(2).ValueAt(1), 1.5);
    EXPECT_EQ(log.Digital(3).Count(), 0);
    EXPECT_DOUBLE_EQ(log.Digital(4).ValueAt(1), 5.5); // centre of zero set
    // The weight axis grew around the new weight: lowest - m .. highest + m with m a tenth of the spread.
    EXPECT_DOUBLE_EQ(log.Left.Max, 12.5 + 0.1);
    EXPECT_DOUBLE_EQ(log.Left.Min, -1.0 - 0.1);
    EXPECT_DOUBLE_EQ(log.Highest(), 12.5);
    EXPECT_DOUBLE_EQ(log.Lowest(), -1.0);

    // A steady weight still gets a visible range: one displayed digit either side.
    TLogModel steady = Recording(0);
    steady.AddLogSample(Sample(0, 1250));
    steady.AddLogSample(Sample(3, 1250));
    EXPECT_EQ(steady.Left, (TLogRange{1249, 1251}));
}

TEST(LogModel, TimeAxisScrollsUntilZoomed)
{
    TLogModel log = Recording(0);
    for (uint32_t s = 0; s <= 750; s += 3)
        log.AddLogSample(Sample(s, 1));
    EXPECT_EQ(log.Bottom, (TLogRange{0, 30})); // 30.00 s is not beyond
    EXPECT_TRUE(log.AddLogSample(Sample(753, 1)).BottomChanged);
    EXPECT_EQ(log.Bottom, (TLogRange{15, 45}));

    log.RememberUnzoomed();
    log.MarkZoomed();
    log.Bottom = {2, 4};
    for (uint32_t s = 756; s <= 1200; s += 3)
        EXPECT_FALSE(log.AddLogSample(Sample(s, 1)).BottomChanged);
    EXPECT_EQ(log.Bottom, (TLogRange{2, 4}));
    // Undo: back to the range before the zoom, moved on by scroll steps to the latest point (48 s).
    log.UndoZoom();
    EXPECT_FALSE(log.Zoomed);
    EXPECT_EQ(log.Bottom, (TLogRange{30, 60}));
    log.ScrollByTenth(-1, 1);
    EXPECT_EQ(log.Bottom, (TLogRange{27, 57}));
}

TEST(LogModel, AxisNumberFormats)
{
    const struct {
        int decimals;
        double value;
        const char *text;
    } cases[] = {
        {0, 12.5, "12.5"},   {0, 1234567, "1234567"}, {0, 0.0004, "0"},     {1, -1.0, "-1.0"},
        {1, 2.25, "2.25"},   {2, 3.14159, "3.142"},   {3, 0.5, "0.500"},    {6, 1.25, "1.250000"},
        {7, 1, "1.0000000"}, {1, -0.00001, "0.0"},    {2, 0.0005, "0.001"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatFloat(LogLabelFormat(c.decimals), c.value), c.text) << c.decimals << " " << c.value;
    EXPECT_EQ(LogLabelFormat(4), "##0.0000#");
    EXPECT_EQ(LogTimeText(12.4), "12.4");
    EXPECT_EQ(LogTimeText(30), "30");
    EXPECT_EQ(LogChannelName(5), "IO1");
    EXPECT_EQ(LogChannelName(36), "IO32");
    EXPECT_EQ(LogChannelIndex("Motion"), 3);
    EXPECT_TRUE(LogChannelSet(36, 0, 0x80000000u));
    EXPECT_FALSE(LogChannelSet(0, 0xFFFF, 0xFFFFFFFF));
    EXPECT_EQ(LogRateOfInterval(0.1), 0);
    EXPECT_EQ(LogRateOfInterval(1.0), 1);
    EXPECT_EQ(LogRateOfInterval(10.0), 2);
}

TEST(ChartSetupRules, FieldsKeysAndAuto)
{
    const struct {
        const char *typed;
        int decimals; // -1: a time field
        const char *shown;
        const char *error;
    } cases[] = {
        {"12.7", -1, "12", ""},
        {"1001", -1, "1001", "Out of Range: (0 to 1000)"},
        {"-1", -1, "-1", "Out of Range: (0 to 1000)"},
        {"5", 1, "5.0", ""},
        {"123456.7", 1, "123456.7", "Out of Range: (-99999.9 to 99999.9)"},
        {"-9999.99", 2, "-9999.99", ""},
        {"10000", 2, "10000.00", "Out of Range: (-9999.99 to 9999.99)"},
        // Numbers beyond 64 bits are out of range, not wrapped into it.
        {"18446744073709551617", -1, "18446744073709551617", "Out of Range: (0 to 1000)"},
        {"18446744073709551616.5", 1, "18446744073709551616.5", "Out of Range: (-99999.9 to 99999.9)"},
    };
    for (const auto &c : cases) {
        const TChartFieldCheck check =
            c.decimals < 0 ? CheckTimeField(c.typed) : CheckWeightField(c.typed, c.decimals);
        EXPECT_EQ(check.Text, c.shown) << c.typed;
        EXPECT_EQ(check.Error, c.error) << c.typed;
        EXPECT_EQ(check.InRange, !*c.error);
    }
    for (QChar ch : QStringLiteral("0123456789 +,-.\b"))
        EXPECT_TRUE(ChartFieldKeyAccepted(ch)) << int(ch.unicode());
    for (QChar ch : QStringLiteral("kE/e"))
        EXPECT_FALSE(ChartFieldKeyAccepted(ch));

    // Auto: weights 100 .. 200 over 42.6 s propose 0, 43, 210 and 90.
    TLogModel log;
    TChartSetupFields fields;
    QString error;
    EXPECT_FALSE(ChartSetupAuto(log, 0, &fields, &error));
    EXPECT_FALSE(error.isEmpty());
    log.AddWeightPoint(0, 150);
    log.AddWeightPoint(20, 100);
    log.AddWeightPoint(42.6, 200);
    ASSERT_TRUE(ChartSetupAuto(log, 0, &fields, &error));
    EXPECT_EQ(fields.StartTime, "0");
    EXPECT_EQ(fields.EndTime, "43");
    EXPECT_EQ(fields.MaxWeight, "210");
    EXPECT_EQ(fields.MinWeight, "90");
    ASSERT_TRUE(ApplyChartSetup(log, fields, &error));
    EXPECT_EQ(log.Bottom, (TLogRange{0, 43}));
    EXPECT_EQ(log.Left, (TLogRange{90, 210}));
    // A reversed range is refused with a reason; the other axis still takes its fields.
    EXPECT_FALSE(ApplyChartSetup(log, {"50", "10", "+1.5", " 7"}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(log.Bottom, (TLogRange{0, 43}));
    EXPECT_EQ(log.Left, (TLogRange{1.5, 7}));
    const TChartSetupFields filled = ChartSetupFill(log, 2);
    EXPECT_EQ(filled.MinWeight, "1.50");
    EXPECT_EQ(filled.EndTime, "43");
}
