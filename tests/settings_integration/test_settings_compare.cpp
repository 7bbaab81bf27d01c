// brellin-cli settings compare against vornsim and between two files: equal gives no lines, each
// changed item one line with both values, a lost link exit 3; one value read per item, no writes.
#include "run_program.h"
#include "settings/compare.h"
#include "vornsim.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QString At(const TVornSim &sim)
{
    return QStringLiteral("127.0.0.1:%1").arg(sim.Port());
}

// The three items changed: a number, an option and a string.
void ChangeThree(TSimModel &m)
{
    m.Find(0x1104)->Value = 5;         // E: 1 -> 5
    m.Find(0x1205)->Value = 1;         // FILTER: 8 -> 2
    m.Find(0x1336)->Text = "VORN 2  "; // NAME keeps its blanks at the instrument
}

int Count(const QByteArray &traffic, const QByteArray &prefix)
{
    int n = 0;
    for (const QByteArray &line : traffic.split('\n'))
        n += line.startsWith(">>>[SOH]" + prefix) ? 1 : 0;
    return n;
}

} // namespace

TEST(SettingsCompare, InstrumentAgainstFileAndFileAgainstFile)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    TVornSim first(config), second(config);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    QTemporaryDir dir;
    const QString a = dir.filePath("A.WSD"), b = dir.filePath("B.WSD");
    TProgramRun run = RunCli({"--tcp", At(first), "settings", "save", a, "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();

    // Equal: only the count line; one read per compared item besides the access reads, no writes
    // but the passcode and the lock.
    run = RunCli({"--tcp", At(first), "-v", "settings", "compare", a, "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
    const QList<QByteArray> out = run.Out.trimmed().split('\n');
    ASSERT_EQ(out.size(), 1) << run.Out.toStdString();
    // Every item is read, the products' too: each product selected once by naming its entry, the
    // active product read before and after and written back once (the last product read is the
    // selected one then): the only write besides the passcode and the lock.
    EXPECT_TRUE(out[0].startsWith("68 items compared, 0 different")) << out[0].toStdString();
    EXPECT_EQ(Count(run.Err, "2011") - Count(run.Err, "2011001A") - Count(run.Err, "201100D") -
                  Count(run.Err, "2011B010"),
              64);
    EXPECT_EQ(Count(run.Err, "2011B010"), 3); // the current product's choice, then before and after
    EXPECT_EQ(Count(run.Err, "2005"), 0);
    EXPECT_EQ(Count(run.Err, "2015B100"), 3);
    EXPECT_EQ(Count(run.Err, "2014") + Count(run.Err, "2010"), 0);
    EXPECT_EQ(Count(run.Err, "2012B010:0001"), 1);
    EXPECT_EQ(Count(run.Err, "2012") - Count(run.Err, "2012001A") - Count(run.Err, "20120019"), 1);

    ChangeThree(first.Instrument().Model());
    run = RunCli({"--tcp", At(first), "settings", "compare", a, "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 6) << run.Err.toStdString();
    EXPECT_EQ(run.Out, "SAFE SETUP > BUILD > E: instrument \"5\", file \"1\"\n"
                       "SAFE SETUP > OPTIONS > FILTER: instrument \"2\", file \"8\"\n"
                       "SAFE SETUP > SERIAL > NETWORK > NAME: instrument \"VORN 2  \", file \"VORN-1\"\n"
                       "68 items compared, 3 different\n");
    EXPECT_EQ(first.Instrument().Model().Find(0x1104)->Value, 5) << "the compare wrote nothing";
    EXPECT_FALSE(first.Instrument().SafeOpen) << "locked afterwards";

    // Two files, no connection; the second instrument's file carries the same three changes.
    ChangeThree(second.Instrument().Model());
    run = RunCli({"--tcp", At(second), "settings", "save", b, "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    run = RunCli({"settings", "compare", a, "--with", b});
    EXPECT_EQ(run.Exit, 6) << run.Err.toStdString();
    const QList<QByteArray> lines = run.Out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << run.Out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("SAFE SETUP > BUILD > E: ") && lines[0].endsWith("\"5\""));
    EXPECT_TRUE(lines[1].startsWith("SAFE SETUP > OPTIONS > FILTER: ") && lines[1].endsWith("\"2\""));
    EXPECT_TRUE(lines[2].startsWith("SAFE SETUP > SERIAL > NETWORK > NAME: "));
    EXPECT_EQ(lines[3], "68 items compared, 3 different");
    EXPECT_EQ(RunCli({"settings", "compare", b, "--with", b}).Exit, 0);

    // Bad uses and bad files.
    EXPECT_EQ(RunCli({"settings", "compare", a, "--with", dir.filePath("none.WSD")}).Exit, 5);
    QFile junk(dir.filePath("junk.WSD"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("1: ROOT\n20160030:0001\n");
    junk.close();
    run = RunCli({"settings", "compare", a, "--with", junk.fileName()});
    EXPECT_EQ(run.Exit, 5);
    EXPECT_TRUE(run.Err.contains("line 2")) << run.Err.toStdString();
    EXPECT_EQ(RunCli({"settings", "compare", a, "--with", b, "--passcode", "1"}).Exit, 2);
    EXPECT_EQ(RunCli({"--tcp", At(first), "settings", "compare", a}).Exit, 1); // locked, no passcode
}

TEST(SettingsCompare, LostLinkIsNeverEqual)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    TVornSim first(config);
    ASSERT_TRUE(first.Start());
    QTemporaryDir dir;
    const QString a = dir.filePath("A.WSD");
    ASSERT_EQ(RunCli({"--tcp", At(first), "settings", "save", a, "--passcode", "1234"}).Exit, 0);

    config.DisconnectAfter = 25; // the access requests and about twenty items
    TVornSim dropping(config);
    ASSERT_TRUE(dropping.Start());
    const TProgramRun run =
        RunCli({"--tcp", At(dropping), "--timeout", "0.5", "settings", "compare", a, "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 3) << run.Out.toStdString() << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("could not be read")) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains("stopped early")) << run.Out.toStdString();
}

TEST(SettingsCompare, EntriesFollowTheTitlesAndProducts)
{
    const QList<QByteArray> lines{"1: ROOT",
                                  "201200F8:00",
                                  "2: MENU",
                                  "3: ITEM1    : 12.50 kg",
                                  "20121234:04E2",
                                  "3: LONG     : ABCDEFGHIJKLMN ...",
                                  "20121235:ABCDEFGHIJKLMNOPQ",
                                  "2: PRODUCTS",
                                  "2010B002:",
                                  "2010B005:",
                                  "3: CURRENT",
                                  "4: ACTIVE   : 1",
                                  "2012B010:0001",
                                  "3: APPLES",
                                  "2012B010:1",
                                  "2010B012:APPLES",
                                  "4: TARGET   : 0.00 kg",
                                  "2012B020:0000",
                                  "2: LAST",
                                  "3: ITEM1    : 1",
                                  "20121234:0001",
                                  "201000ED:00"};
    QList<TSettingsEntry> entries;
    QString error;
    ASSERT_TRUE(SettingsEntries(lines, entries, &error)) << error.toStdString();
    QList<QByteArray> seen;
    for (const TSettingsEntry &e : entries)
        seen << PathText(e.Path) + "|" + e.Key + "|" + e.DisplayText() + "|" + (e.InProducts ? "P" : "");
    EXPECT_EQ(seen,
              (QList<QByteArray>{"ROOT > Calibration|00F8#0|00|", "ROOT > MENU > ITEM1|1234#0|12.50 kg|",
                                 "ROOT > MENU > LONG|1235#0|ABCDEFGHIJKLMNOPQ|",
                                 "ROOT > PRODUCTS > CURRENT > ACTIVE|B010#0|1|P",
                                 "ROOT > PRODUCTS > APPLES|P0:name|APPLES|P",
                                 "ROOT > PRODUCTS > APPLES > TARGET|P0:B020|0.00 kg|P",
                                 "ROOT > LAST > ITEM1|1234#1|1|"}));

    // Two files: an item only one of them holds differs too, on the side that lacks it.
    QList<TSettingsEntry> fewer = entries;
    fewer.removeAt(1);
    TCompareResult r = CompareSettingsFiles(entries, fewer);
    ASSERT_EQ(r.Differences.size(), 1);
    EXPECT_EQ(PathText(r.Differences[0].Path), "ROOT > MENU > ITEM1");
    EXPECT_EQ(r.Differences[0].Right, "(absent)");
    EXPECT_EQ(r.Compared, entries.size());
    r = CompareSettingsFiles(fewer, entries);
    ASSERT_EQ(r.Differences.size(), 1);
    EXPECT_EQ(r.Differences[0].Left, "(absent)");
}
