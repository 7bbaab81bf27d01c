// Log files byte for byte: both headers, round trips, short and foreign files, file names, the
// growing file of a recording, and the settings printout's lines and pages.
#include "logging/logfile.h"
#include "logging/printlines.h"
#include "values/tools.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray Sample(uint32_t stamp, int32_t weight, uint32_t a = 0, uint32_t b = 0)
{
    return HexText(stamp, 8) + HexText(static_cast<uint32_t>(weight), 8) + HexText(a, 8) + HexText(b, 8);
}

QList<QByteArray> Saved(const TLogModel &log)
{
    QList<QByteArray> lines;
    WriteLogCsv(log, lines);
    return lines;
}

QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(LogFile, LiveAndLoadedHeadersRoundTrip)
{
    // A live log without traces: units in the header, weights with their decimals.
    TLogModel live;
    live.BeginRecording();
    live.ResetLogChart(true, {0, {}});
    live.TakeFormattedWeight("   12.5 kg G");
    live.Comment = "Batch 7";
    live.AddLogSample(Sample(100, 125));
    live.AddLogSample(Sample(110, 126));
    const QList<QByteArray> first = Saved(live);
    EXPECT_EQ(first, (QList<QByteArray>{"Batch 7", "Time,Weight(kg),", "0.00,12.5", "0.40,12.6"}));

    // Loaded: units from the header; saved again with the loaded header, which loads without units.
    TLogModel loaded;
    ReadLogCsv(loaded, first);
    EXPECT_FALSE(loaded.LiveLog);
    EXPECT_EQ(loaded.LogUnits, "kg");
    EXPECT_EQ(loaded.LogDecimals, 1);
    EXPECT_EQ(loaded.Comment, "Batch 7");
    const QList<QByteArray> second = Saved(loaded);
    EXPECT_EQ(second, (QList<QByteArray>{"Batch 7", "Time,Weight,", "0.00,12.5", "0.40,12.6"}));
    TLogModel again;
    ReadLogCsv(again, second);
    EXPECT_EQ(again.LogUnits, "");
    EXPECT_EQ(Saved(again), second);

    // Traces: the live header names the channels of traces 1..3 with a comma, trace 4 without.
    TLogModel traces;
    traces.BeginRecording();
    traces.ResetLogChart(true, {1, {3, 0, 7, 0}}); // Motion, None, IO3, None
    traces.TakeFormattedWeight("  105.5 kg G");
    traces.AddLogSample(Sample(0, 1000, 0x1000, 0));
    traces.AddLogSample(Sample(310, 1055, 0x1000, 0));
    EXPECT_EQ(Saved(traces), (QList<QByteArray>{"", "Time,Weight(kg),Motion,IO3,", "0.00,100.0,1.00,0.00",
                                                "12.40,105.5,1.00,0.00"}));
    traces.DigitalChannel = {3, 0, 7, 5};
    EXPECT_EQ(LogHeader(traces), "Time,Weight(kg),Motion,IO3,IO1");

    // Positions decide: the labels of fields 3..6 are traces 1..4; empty fields add no point.
    TLogModel positions;
    ReadLogCsv(positions, {"c", "Time,Weight(lb),A,,C,D", "1.00,,1.00,,0.00,1.00", "2.00,5.25,0.00,,1.00,"});
    EXPECT_EQ(positions.LogUnits, "lb");
    EXPECT_EQ(positions.Labels, (std::array<QByteArray, 4>{"A", "", "C", "D"}));
    EXPECT_EQ(positions.Weight().Count(), 1);
    EXPECT_EQ(positions.Digital(1).Count(), 2);
    EXPECT_EQ(positions.Digital(2).Count(), 0);
    EXPECT_DOUBLE_EQ(positions.Digital(3).ValueAt(1), 1.0 + 3.0);
    EXPECT_EQ(positions.Digital(4).Count(), 1);
    // Saved again: one line per weight, each trace's point of the same index; the weight keeps
    // the two decimals although line 3 had none.
    EXPECT_EQ(Saved(positions).mid(1), (QList<QByteArray>{"Time,Weight,A,C,D", "2.00,5.25,1.00,0.00,1.00"}));
}

TEST(LogFile, ShortAndForeignFiles)
{
    TLogModel log;
    log.AddWeightPoint(1, 1);
    // Two lines: the chart is cleared and nothing loaded.
    ReadLogCsv(log, {"comment", "Time,Weight(kg),"});
    EXPECT_EQ(log.Weight().Count(), 0);
    // A second line that does not start with Time: data from line 3, no units or labels.
    log.Labels[0] = "old";
    ReadLogCsv(log, {"x", "Seconds,kg,Net", "0.50,7,1", "1.50,8.125,0", "junk,abc"});
    EXPECT_EQ(log.LogUnits, "");
    EXPECT_EQ(log.Labels[0], "");
    EXPECT_EQ(log.LogDecimals, 3); // line 3's weight has none, a later one three
    ASSERT_EQ(log.Weight().Count(), 3);
    EXPECT_DOUBLE_EQ(log.Weight().ValueAt(1), 8.125);
    EXPECT_DOUBLE_EQ(log.Weight().TimeAt(2), 0); // not numbers read as 0
    EXPECT_DOUBLE_EQ(log.Weight().ValueAt(2), 0);
    // Lines split at CR LF or LF; the last line end adds no line.
    EXPECT_EQ(SplitLogLines("a\r\nb\nc\r\n"), (QList<QByteArray>{"a", "b", "c"}));
    EXPECT_EQ(SplitLogLines("a\r\n\r\nb"), (QList<QByteArray>{"a", "", "b"}));
}

TEST(LogFile, NamesAndFiles)
{
    EXPECT_EQ(LogFileName("/tmp/LOG1"), "/tmp/LOG1.CSV");
    EXPECT_EQ(LogFileName("/tmp/LOG1.TXT"), "/tmp/LOG1.TXT");
    EXPECT_EQ(LogFileName("/tmp/a.b/LOG1"), "/tmp/a.b/LOG1.CSV");

    QTemporaryDir dir;
    const QString path = dir.filePath("LOG1.CSV");
    QString error;
    ASSERT_TRUE(SaveLogLines(path, {"c", "Time,Weight,", "0.00,1"}, &error)) << error.toStdString();
    EXPECT_EQ(FileText(path), "c\r\nTime,Weight,\r\n0.00,1\r\n");
    QList<QByteArray> lines;
    ASSERT_TRUE(LoadLogLines(path, &lines, &error));
    EXPECT_EQ(lines.size(), 3);
    EXPECT_FALSE(LoadLogLines(dir.filePath("none.CSV"), &lines, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(SaveLogLines(dir.filePath("no/such/dir/x.CSV"), {"a"}, &error));

    // A recording's growing file holds each accepted sample as soon as it is accepted.
    TLogModel log;
    log.BeginRecording();
    log.ResetLogChart(true, {0, {0, 7, 0, 0}});
    log.TakeFormattedWeight("  1.25 kg G");
    log.Comment = "live";
    TLogFileWriter writer;
    const QString growing = dir.filePath("recovery.csv");
    ASSERT_TRUE(writer.Open(growing, log, &error));
    EXPECT_EQ(FileText(growing), "live\r\nTime,Weight(kg),IO3,\r\n");
    for (uint32_t s : {0u, 1u, 3u}) // the sample at 0.04 s is thinned away
        if (log.AddLogSample(Sample(s, 125, 0, s == 3 ? 4 : 0)).Accepted)
            writer.AppendLast(log);
    EXPECT_EQ(FileText(growing), "live\r\nTime,Weight(kg),IO3,\r\n0.00,1.25,0.00\r\n0.12,1.25,1.00\r\n");
    EXPECT_EQ(writer.Lines(), 2);
    writer.Close();
    QList<QByteArray> whole;
    WriteLogCsv(log, whole);
    EXPECT_EQ(FileText(growing), whole.join("\r\n") + "\r\n");
}

TEST(SettingsPrintout, IndentsByDepthAndBreaksPages)
{
    TMenuTree tree;
    tree.push_back(std::make_unique<TMenuNode>());
    TMenuNode &root = *tree.back();
    root.Text = "SETUP";
    TMenuNode *build = root.AddChild("BUILD");
    build->AddChild("TYPE = 1");
    TMenuNode *options = root.AddChild("OPTIONS");
    options->AddChild(PlaceholderText); // an unread menu
    const QList<QByteArray> lines = SettingsTreePrintLines(tree);
    EXPECT_EQ(lines, (QList<QByteArray>{"   SETUP", "      BUILD", "         TYPE = 1", "      OPTIONS"}));

    const QByteArray header = SettingsPrintHeader("V500", "1234567", "V1.04");
    EXPECT_EQ(header, " V500 SN:1234567 Version V1.04 ");
    // Three lines a page: header, blank, SETUP | BUILD, TYPE, OPTIONS.
    EXPECT_EQ(SettingsPrintout(header, lines, 3),
              (QList<QByteArray>{"", "", "", header, "", "   SETUP", FormFeedLine, "", "", "", "      BUILD",
                                 "         TYPE = 1", "      OPTIONS"}));
    EXPECT_EQ(SettingsPrintout(header, lines, 100).size(), 3 + 2 + 4);
}
