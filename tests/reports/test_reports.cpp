// The allocation report's reading rules and printout, the factory record's decoding, and both
// reports through brellin-cli against vornsim.
#include "logging/printlines.h"
#include "reports/AllocationReport.h"
#include "reports/factory.h"
#include "run_program.h"
#include "vornsim.h"

#include <QMap>
#include <gtest/gtest.h>

namespace
{

using TTable = QList<QList<QByteArray>>;

struct TReadLog {
    QList<QByteArray> Reads; // "GGII" of every item read
};

TAllocationReport Read(const TTable &table, TReadLog *log = nullptr, int silentAt = -1)
{
    return ReadAllocationReport([&](int group, int item) -> std::optional<QByteArray> {
        if (log)
            log->Reads << AllocationArgument(group, item);
        if ((group << 8 | item) == silentAt)
            return std::nullopt;
        if (group < table.size() && item < table[group].size())
            return table[group][item];
        return QByteArray();
    });
}

TAllocationRow Row(QByteArray c0, QByteArray c1, QByteArray c2, QByteArray c3, bool main = true)
{
    return TAllocationRow{{c0, c1, c2, c3}, main};
}

} // namespace

TEST(AllocationReport, ReadingRules)
{
    const QList<QByteArray> full{"OUT1", "1", "SETP1", "SETPTS", "ON", "LOGIC", "NONE", "ALARM"};
    struct Case {
        const char *name;
        TTable table;
        QList<TAllocationRow> rows;
    } cases[] = {
        {"empty report", {}, {}},
        {"one main row", {full}, {Row("1", "OUT1", "( LOGIC: ON,  ALARM: NONE )", "SETPTS:  SETP1")}},
        {"F6 '-' leaves column 2 empty, no F3 no colon",
         {{"OUT2", "2", "SETP2", "", "OFF", "LOGIC", "-", "ALARM"}},
         {Row("2", "OUT2", "", "SETP2")}},
        {"a group without F2 adds no row",
         {{"IN1", "3", "", "X", "X", "X", "X", "X", "A", "B"}, full},
         {Row("1", "OUT1", "( LOGIC: ON,  ALARM: NONE )", "SETPTS:  SETP1")}},
        {"two continuation pairs, then the next group from item 0",
         {full + QList<QByteArray>{"SETP3", "ALSO", "SETP4", "ALSO"}, {"IN2", "4", "ZERO", "KEY"}},
         {Row("1", "OUT1", "( LOGIC: ON,  ALARM: NONE )", "SETPTS:  SETP1"),
          Row("", "", "", "ALSO:SETP3", false), Row("", "", "", "ALSO:SETP4", false),
          Row("4", "IN2", "( : ,  :  )", "KEY:  ZERO")}},
    };
    for (const Case &c : cases) {
        const TAllocationReport report = Read(c.table);
        EXPECT_TRUE(report.Complete) << c.name;
        EXPECT_EQ(report.Rows, c.rows) << c.name;
    }
}

TEST(AllocationReport, ItemsReadAndSkipped)
{
    TReadLog log;
    // Group 0 has no F2: items 3..7 are not read; group 1's continuation pair 10/11 is empty and
    // ends it; items 1 and 2 follow item 0 even when it is empty.
    Read({{"IN1", "3", ""}, {"OUT1", "1", "S", "", "", "", "", "", "A", "B"}}, &log);
    EXPECT_EQ(log.Reads,
              (QList<QByteArray>{"0000", "0001", "0002", "0100", "0101", "0102", "0103", "0104", "0105",
                                 "0106", "0107", "0108", "0109", "010A", "010B", "0200", "0201", "0202"}));
}

TEST(AllocationReport, NoReplyAndEndlessTables)
{
    const TAllocationReport lost = Read({{"OUT1", "1", "S"}}, nullptr, 0x0001);
    EXPECT_FALSE(lost.Complete);
    EXPECT_TRUE(lost.Rows.isEmpty());
    EXPECT_EQ(lost.Error, "no reply to item 1 of group 0");

    // An instrument that answers every item: the reading ends at group and item 255.
    int reads = 0;
    const TAllocationReport endless = ReadAllocationReport([&](int, int) -> std::optional<QByteArray> {
        ++reads;
        return QByteArray("X");
    });
    EXPECT_FALSE(endless.Complete);
    EXPECT_EQ(endless.Rows.size(), 256 * (1 + (256 - 8) / 2));
    EXPECT_LT(reads, 256 * 260);
}

TEST(AllocationReport, Printout)
{
    const QList<TAllocationRow> rows{Row("1", "OUT1", "( LOGIC: ON,  ALARM: NONE )", "SETPTS:  SETP1"),
                                     Row("", "", "", "ALSO:SETP3", false)};
    EXPECT_EQ(AllocationPrintRow(rows[0]),
              "     1 OUT1             ( LOGIC: ON,  ALARM: NONE ) SETPTS:  SETP1");
    EXPECT_EQ(AllocationPrintRow(rows[1]), QByteArray(6 + 1 + 8 + 1 + 35 + 1, ' ') + "ALSO:SETP3");

    const QList<QByteArray> page = AllocationPrintout("Allocation Report for V500", rows, 60);
    EXPECT_EQ(page, (QList<QByteArray>{" Allocation Report for V500", "", "", "", "", "",
                                       AllocationPrintRow(rows[0]), AllocationPrintRow(rows[1]), ""}));
    // Four counted lines a page: caption, blank | blank, row 0, row 1, closing blank.
    const QList<QByteArray> pages = AllocationPrintout("C", rows, 2);
    EXPECT_EQ(pages, (QList<QByteArray>{" C", "", "", "", "", FormFeedLine, "", "", "", "",
                                        AllocationPrintRow(rows[0]), FormFeedLine, "", "", "",
                                        AllocationPrintRow(rows[1]), ""}));
}

namespace
{

// A record of the right shape: format 1, 2008-02-18, N points, 0xA5, Sy, Sx; bytes patched after.
QByteArray Record(QMap<int, int> patch = {}, int length = FactoryRecordLength)
{
    QList<int> bytes(61, 0);
    const QMap<int, int> base{{0, 1},    {1, 8},   {2, 2},   {3, 18},  {4, 3},  {5, 9},
                              {6, 0xA5}, {7, 100}, {8, 200}, {18, 20}, {29, 40}};
    for (auto it = base.begin(); it != base.end(); ++it)
        bytes[it.key()] = it.value();
    for (int k = 0; k < 9; ++k)
        bytes[9 + k] = 20 + 25 * k;
    for (auto it = patch.begin(); it != patch.end(); ++it)
        bytes[it.key()] = it.value();
    QByteArray text;
    for (int b : bytes)
        text += QByteArray::number(b & 0xFF, 16).rightJustified(2, '0').toUpper();
    return text.left(length).leftJustified(length, '0');
}

} // namespace

TEST(FactoryRecord, RefusedRecords)
{
    struct Case {
        const char *name;
        QByteArray text;
        TFactoryDecode result;
    } cases[] = {
        {"122 characters", Record(), TFactoryDecode::Ok},
        {"lower-case digits", Record().toLower(), TFactoryDecode::Ok},
        {"121 characters", Record({}, 121), TFactoryDecode::NotAvailable},
        {"123 characters", Record({}, 123), TFactoryDecode::NotAvailable},
        {"19 characters", Record().left(19), TFactoryDecode::TooShort},
        {"empty", QByteArray(), TFactoryDecode::TooShort},
        {"format 2", Record({{0, 2}}), TFactoryDecode::NotAvailable},
        {"byte 4 not 3", Record({{4, 4}}), TFactoryDecode::NotAvailable},
        {"byte 6 not A5", Record({{6, 0xA4}}), TFactoryDecode::NotAvailable},
        {"format pair not hex", "0G" + Record().mid(2), TFactoryDecode::NotAvailable},
    };
    for (const Case &c : cases) {
        TFactoryRecord r;
        EXPECT_EQ(DecodeFactoryRecord(c.text, r), c.result) << c.name;
    }
}

TEST(FactoryRecord, PointsTitlesAndLimits)
{
    TFactoryRecord r;
    // Error bytes FF and 01, a pair that is not hex (reads 0), a point count past 9.
    QByteArray text = Record({{5, 12}, {20, 0xFF}, {21, 0x01}, {31, 0x80}, {32, 0x7F}});
    text.replace(2 * 22, 2, "Z1");
    ASSERT_EQ(DecodeFactoryRecord(text, r), TFactoryDecode::Ok);
    EXPECT_EQ(r.Count, 9);
    const TFactoryResults res = FactoryResults(r, "1234567");
    ASSERT_EQ(res.Run1.size(), 10);
    EXPECT_EQ(res.Run1[0], QPointF(0, 0));
    EXPECT_DOUBLE_EQ(res.Run1[1].y(), -1 * 0.0004 * 100);
    EXPECT_DOUBLE_EQ(res.Run1[2].y(), 1 * 0.0004 * 100);
    EXPECT_DOUBLE_EQ(res.Run1[3].y(), 0);
    EXPECT_DOUBLE_EQ(res.Run2[1].y(), -128 * 0.0004 * 100);
    EXPECT_DOUBLE_EQ(res.Run2[2].y(), 127 * 0.0004 * 100);
    EXPECT_DOUBLE_EQ(res.Run1[1].x(), 20 * 0.0004 * 200 / 0.7);
    EXPECT_FALSE(res.Pass); // -5.12 and 5.08 divisions are far past 0.25
    EXPECT_TRUE(res.Points[0].Pass1);
    EXPECT_FALSE(res.Points[0].Pass2);
    EXPECT_DOUBLE_EQ(res.YMin, 1.1 * -5.12);
    EXPECT_DOUBLE_EQ(res.YMax, 1.1 * 5.08);
    EXPECT_EQ(res.Run1Title, "20 Degrees C");
    EXPECT_EQ(res.Run2Title, "40 Degrees C");
    EXPECT_EQ(res.TitleLine1, "Test Results for Serial #1234567");
    EXPECT_EQ(res.TitleLine2, "18/02/2008");
    EXPECT_EQ(res.LeftAxisTitle, " Error (0.70 uV per division)");
    EXPECT_EQ(res.BottomAxisTitle, " Divisions (0.70 uV per division)");

    // No points, the 5th: only the two (0, 0) points, a leading space for the day, no drift.
    ASSERT_EQ(DecodeFactoryRecord(Record({{5, 0}, {3, 5}, {2, 11}, {1, 0}}), r), TFactoryDecode::Ok);
    const TFactoryResults none = FactoryResults(r, "1");
    EXPECT_EQ(none.Run1, QList<QPointF>{QPointF(0, 0)});
    EXPECT_EQ(none.Run2, QList<QPointF>{QPointF(0, 0)});
    EXPECT_EQ(none.TitleLine2, " 5/11/2000");
    EXPECT_FALSE(none.Drift.Defined);
    // Without points the axis shows the first stair only.
    EXPECT_DOUBLE_EQ(none.XMax, 500);
    EXPECT_DOUBLE_EQ(none.YMin, 1.1 * -0.25);

    // Stairs: each limit holds from its x up to the next.
    const struct {
        double x, limit;
    } stairs[] = {{0, 0.25},   {499.9, 0.25}, {999.9, 0.25}, {1000, 0.5},
                  {1999, 0.5}, {2000, 0.75},  {20000, 0.75}};
    for (const auto &s : stairs)
        EXPECT_DOUBLE_EQ(TradeLimitAt(s.x), s.limit) << s.x;
}

// The x axis spans the points (a tenth more) and the stairs end there; the y axis spans what is drawn
// within it, not the 0.75 of stairs far to the right of every point.
TEST(FactoryRecord, ChartRangeSpansThePointsAndTheirLimits)
{
    const struct {
        const char *name;
        QMap<int, int> patch;
        double xMax, yMin, yMax;
    } cases[] = {
        {"nine points up to 25 divisions", {}, 1.1 * 220 * 0.0004 * 200 / 0.7, 1.1 * -0.25, 1.1 * 0.25},
        {"widest record: 255 x 255",
         {{8, 255}, {17, 255}},
         1.1 * 255 * 0.0004 * 255 / 0.7,
         1.1 * -0.25,
         1.1 * 0.25},
        {"an error past the limit",
         {{5, 1}, {20, 10}},
         1.1 * 20 * 0.0004 * 200 / 0.7,
         1.1 * -0.25,
         1.1 * 0.4},
        {"every point at 0", {{5, 1}, {9, 0}}, 1.0, 1.1 * -0.25, 1.1 * 0.25},
    };
    for (const auto &c : cases) {
        TFactoryRecord r;
        ASSERT_EQ(DecodeFactoryRecord(Record(c.patch), r), TFactoryDecode::Ok) << c.name;
        const TFactoryResults res = FactoryResults(r, "1");
        EXPECT_DOUBLE_EQ(res.XMin, 0) << c.name;
        EXPECT_NEAR(res.XMax, c.xMax, 1e-9) << c.name;
        EXPECT_NEAR(res.YMin, c.yMin, 1e-9) << c.name;
        EXPECT_NEAR(res.YMax, c.yMax, 1e-9) << c.name;
        for (const QPointF &p : res.Run1 + res.Run2)
            EXPECT_TRUE(p.x() >= res.XMin && p.x() < res.XMax) << c.name;
        ASSERT_FALSE(res.UpperLimits.isEmpty());
        EXPECT_DOUBLE_EQ(res.UpperLimits.last().x(), res.XMax) << c.name;
        EXPECT_DOUBLE_EQ(res.LowerLimits.last().y(), -TradeLimitAt(res.XMax)) << c.name;
        for (const QPointF &p : res.UpperLimits)
            EXPECT_LE(p.x(), res.XMax) << c.name;
    }
}

TEST(FactoryRecord, ZeroDrift)
{
    struct Case {
        const char *name;
        QMap<int, int> patch;
        bool defined;
        double value;
        const char *text;
    } cases[] = {
        // Lowest load is point 0: errors 1 and -4 counts, 5 x 0.04 divisions x 0.7 uV over 20 degrees.
        {"lowest-load point",
         {{20, 1}, {31, 0xFC}},
         true,
         5 * 0.04 * 0.7 / 20,
         "Drift at the lowest test point (point 1, 2.29 divisions) = 0.007 microvolts/degree C"},
        // One count more is 0.0014 further: three decimals tell 0.0056 from 0.0140 (two read 0.01).
        {"four counts",
         {{20, 0}, {31, 4}},
         true,
         4 * 0.04 * 0.7 / 20,
         "Drift at the lowest test point (point 1, 2.29 divisions) = 0.006 microvolts/degree C"},
        {"ten counts",
         {{20, 0}, {31, 10}},
         true,
         10 * 0.04 * 0.7 / 20,
         "Drift at the lowest test point (point 1, 2.29 divisions) = 0.014 microvolts/degree C"},
        {"lowest load not first",
         {{9, 200}, {10, 5}, {21, 0}, {32, 50}, {18, 30}, {29, 20}},
         true,
         50 * 0.04 * 0.7 / 10,
         "Drift at the lowest test point (point 2, 0.57 divisions) = 0.140 microvolts/degree C"},
        // Coarse steps (0.028 a count over one degree) need two decimals; fine ones stop at six.
        {"one degree apart", {{29, 21}, {31, 3}}, true, 3 * 0.028, "= 0.08 microvolts/degree C"},
        {"fine scale", {{7, 1}, {18, 0}, {29, 100}, {31, 1}}, true, 0.00028 / 100, "= 0.000003 microvolts"},
        {"y scale 0", {{7, 0}, {31, 9}}, true, 0, "= 0.00 microvolts/degree C"},
        {"equal temperatures",
         {{29, 20}, {31, 9}},
         false,
         0,
         "Drift at the lowest test point not available: both runs were at 20 Degrees C"},
    };
    for (const Case &c : cases) {
        TFactoryRecord r;
        ASSERT_EQ(DecodeFactoryRecord(Record(c.patch), r), TFactoryDecode::Ok) << c.name;
        const TFactoryResults res = FactoryResults(r, "1");
        EXPECT_EQ(res.Drift.Defined, c.defined) << c.name;
        EXPECT_NEAR(res.Drift.MicrovoltsPerDegree, c.value, 1e-12) << c.name;
        EXPECT_TRUE(res.ZeroDriftText.contains(c.text)) << c.name << ": " << res.ZeroDriftText.toStdString();
    }
}

TEST(ReportCli, AgainstVornsim)
{
    struct Case {
        const char *report, *allocation, *factory;
        int exit;
        QList<QByteArray> out; // lines stdout must hold
        const char *err;
    } cases[] = {
        {"allocation",
         "table",
         "pass",
         0,
         {"     1 OUT1             ( LOGIC: ON,  ALARM: NONE ) SETPTS:  SETP1",
          QByteArray(52, ' ') + "ALSO:SETP3", QByteArray(52, ' ') + "ALSO:SETP4",
          "     2 OUT2                                         SETPTS:  SETP2"},
         ""},
        {"allocation", "empty", "pass", 0, {}, "allocation table is empty"},
        {"factory",
         "table",
         "pass",
         0,
         {"Test Results for Serial #1234567", "date: 18/02/2008", "temperatures: 20 and 40 Degrees C",
          "result: pass",
          "Drift at the lowest test point (point 1, 2.29 divisions) = 0.007 microvolts/degree C"},
         ""},
        {"factory", "table", "outside", 6, {"result: FAIL (errors outside the trade limits)", "FAIL"}, ""},
        // No points: nothing to pass or fail, with an exit code of its own.
        {"factory",
         "table",
         "none",
         8,
         {"date:  5/02/2008", "result: no test points (nothing to pass or fail)",
          "Drift at the lowest test point not available"},
         ""},
        {"factory", "table", "same-temp", 0, {"not available: both runs were at 20"}, ""},
        {"factory", "table", "short", 1, {}, "Test Results not available for this Instrument"},
        {"factory", "table", "long", 1, {}, "Test Results not available for this Instrument"},
        {"factory", "table", "refused", 1, {}, "0068"},
    };
    for (const Case &c : cases) {
        TVornSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.AllocationCase = c.allocation;
        cfg.FactoryCase = c.factory;
        TVornSim sim(cfg);
        QString error;
        ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
        const TProgramRun run =
            RunCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "report", c.report});
        const std::string what = std::string(c.report) + " " + c.factory;
        EXPECT_EQ(run.Exit, c.exit) << what << run.Err.toStdString();
        for (const QByteArray &line : c.out)
            EXPECT_TRUE(run.Out.contains(line)) << what << ": " << line.toStdString() << "\n"
                                                << run.Out.toStdString();
        EXPECT_TRUE(run.Err.contains(c.err)) << what << ": " << run.Err.toStdString();
        if (QByteArray(c.allocation) == "empty") {
            EXPECT_TRUE(run.Out.isEmpty());
        }
    }
}

TEST(ReportCli, LostReplyIsNotAReport)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.DropOnRegister = AllocationRegister;
    cfg.DropOnTimes = 1000;
    TVornSim sim(cfg);
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    const TProgramRun run = RunCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "--timeout",
                                    "0.3", "report", "allocation"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Err.contains("allocation report is incomplete: no reply to item 0 of group 0"))
        << run.Err.toStdString();
}
