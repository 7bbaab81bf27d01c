// Settings files under link faults, against vornsim: a save is complete and identical to a
// fault-free one or writes nothing; the same through brellin-cli with its exit codes.
#include "run_program.h"
#include "settings/SendSettings.h"
#include "settings/products.h"
#include "settings/settingssave.h"
#include "settings/settingssend.h"
#include "sim_bench.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

// A safe-level session (read in full or lazily) on a fresh instrument with these faults, then a save.
TSettingsSaveResult SaveFrom(const TVornSimConfig &config, bool readAll, const QString &path)
{
    TSimBench bench;
    bench.Config = config;
    if (!bench.Start())
        return {TSettingsSaveResult::FileError, path, QStringLiteral("simulator did not start"), {}};
    bench.FastTicks();
    bench.Session.Attempts = SaveReadAttempts;
    bench.Device.ReadAttempts = SaveReadAttempts; // the identity read that starts a session
    bench.Typed = {"1234"};
    if (!bench.Session.StartSessionAt(0, readAll))
        return {TSettingsSaveResult::FileError, path, QStringLiteral("no session"), {}};
    bench.Device.ReadAttempts = 1; // the tree as the Settings tab reads it: each query once
    return SaveSettings(bench.Tree, bench.Device, path);
}

QString Address(const TVornSim &sim)
{
    return QStringLiteral("127.0.0.1:%1").arg(sim.Port());
}

} // namespace

TEST(SettingsFaults, SaveUnderFaultsIsIdenticalToAFaultFreeSaveOrWritesNothing)
{
    QTemporaryDir dir;
    const QString reference = dir.filePath("reference.WSD");
    ASSERT_TRUE(SaveFrom({}, true, reference).Ok());
    const QByteArray expected = FileBytes(reference);
    ASSERT_GT(expected.count('\n'), 150);

    struct TCase {
        const char *Name;
        void (*Set)(TVornSimConfig &);
        bool ReadAll;
    };
    const TCase cases[] = {
        {"drop", [](TVornSimConfig &c) { c.DropReply = 0.08; }, true},
        {"drop, lazy tree", [](TVornSimConfig &c) { c.DropReply = 0.08; }, false},
        {"corrupt", [](TVornSimConfig &c) { c.CorruptCrc = 0.05; }, true},
        {"lowercase", [](TVornSimConfig &c) { c.LowerCaseCrc = 0.05; }, true},
        {"wrong register", [](TVornSimConfig &c) { c.WrongRegister = 0.05; }, false},
        {"oversize", [](TVornSimConfig &c) { c.OversizedFrame = 0.05; }, true},
        {"duplicate", [](TVornSimConfig &c) { c.DuplicateReply = 0.3; }, true},
        {"garbage", [](TVornSimConfig &c) { c.Garbage = 0.3; }, true},
    };
    for (const TCase &c : cases) {
        TVornSimConfig config;
        config.Seed = 7;
        c.Set(config);
        const QString path = dir.filePath(QStringLiteral("faults.WSD"));
        QFile::remove(path);
        const TSettingsSaveResult saved = SaveFrom(config, c.ReadAll, path);
        // A few percent of lost replies are absorbed by the retries.
        ASSERT_TRUE(saved.Ok()) << c.Name << ": " << saved.Message.toStdString();
        EXPECT_EQ(FileBytes(path), expected) << c.Name;
    }

    // The link closes halfway: nothing is written, an old file is left as it was, and the message
    // names the item that could not be read.
    const QString old = dir.filePath("old.WSD");
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1: OLD\r\n");
    }
    for (const int after : {60, 200}) {
        TVornSimConfig config;
        config.DisconnectAfter = after;
        const TSettingsSaveResult saved = SaveFrom(config, true, old);
        EXPECT_EQ(saved.Status, TSettingsSaveResult::Unreadable) << after;
        EXPECT_EQ(FileBytes(old), "1: OLD\r\n");
        EXPECT_FALSE(saved.Unread.isEmpty());
        EXPECT_TRUE(saved.Message.startsWith("Nothing was saved: SAFE SETUP > "))
            << saved.Message.toStdString();
        EXPECT_TRUE(saved.Message.contains("could not be read")) << saved.Message.toStdString();
    }
}

TEST(SettingsFaults, CliSaveAndDumpExitThreeWithoutAFileWhenAnItemCannotBeRead)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    TVornSim clean(config);
    config.DropReply = 40; // every 40th reply
    TVornSim dropping(config);
    config.DropReply = 0;
    config.DisconnectAfter = 123; // (after the three reads of the instrument's identity for its journal)
    TVornSim leaving(config);
    ASSERT_TRUE(clean.Start() && dropping.Start() && leaving.Start());

    QTemporaryDir dir;
    const QString reference = dir.filePath("ref.WSD");
    TProgramRun run = RunCli({"--tcp", Address(clean), "settings", "save", reference, "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    const QString path = dir.filePath("drop.WSD");
    run = RunCli(
        {"--timeout", "0.1", "--tcp", Address(dropping), "settings", "save", path, "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(FileBytes(path), FileBytes(reference));

    run = RunCli(
        {"--timeout", "0.1", "--tcp", Address(leaving), "settings", "save", path, "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Err.contains("Nothing was saved: SAFE SETUP > ")) << run.Err.toStdString();
    EXPECT_EQ(FileBytes(path), FileBytes(reference)); // the earlier file is left as it was

    // A dump prints nothing of a tree it could not read in full.
    TVornSim leavingToo(config);
    ASSERT_TRUE(leavingToo.Start());
    run =
        RunCli({"--timeout", "0.1", "--tcp", Address(leavingToo), "settings", "dump", "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Out.isEmpty()) << run.Out.toStdString();
    EXPECT_TRUE(run.Err.contains("could not be read")) << run.Err.toStdString();
}

namespace
{

// A safe-level read of the whole instrument as file lines: what a save would write.
QList<QByteArray> SavedLines(TSimBench &bench)
{
    bench.Typed = {"1234"};
    if (!bench.Session.StartSessionAt(0, true))
        return {"<no session>"};
    const TSettingsReadResult read = CompleteSettingsTree(bench.Tree, bench.Device);
    QList<QByteArray> lines;
    if (read.Complete())
        BuildSettingsFile(bench.Tree.Tree(), bench.Device.CalBlock, lines);
    else
        lines << read.Message().toLatin1();
    bench.Session.EndSession();
    return lines;
}

// Sends the request lines of a file to the bench's instrument, as File > Open does.
TSettingsSendResult SendLines(TSimBench &bench, QList<QByteArray> lines, bool typePasscode = true)
{
    PreviewSettings(lines);
    TSettingsSender sender(&bench.Engine, &bench.Session, &bench.Reporter);
    sender.Transfer.SetStepInterval(2); // a lost reply waits 200 ms
    bench.Typed = typePasscode ? QList<QByteArray>{"1234"} : QList<QByteArray>{};
    bench.Reporter.Answer = true;
    return sender.SendFile(lines, false);
}

QList<QByteArray> ProductNames(TVornSim &sim)
{
    QList<QByteArray> names;
    for (const auto &p : sim.Instrument().Products)
        names << p.Name;
    return names;
}

// The file of the default instrument with a header that keeps its blanks.
QList<QByteArray> DefaultFile()
{
    TSimBench from;
    if (!from.Start())
        return {};
    from.Model().Find(0x1501)->Text = "   CENTRED   ";
    return SavedLines(from);
}

} // namespace

TEST(SettingsFaults, RoundTripLeavesTheInstrumentHoldingTheFileActiveProductAndBlanksIncluded)
{
    const QList<QByteArray> file = DefaultFile();
    ASSERT_GT(file.size(), 150) << file.value(0).constData();
    // Blanks of a string value are kept in its title and its write request.
    EXPECT_TRUE(file.contains("3: HEADER1  :    CENTRED   "));
    EXPECT_TRUE(file.contains("20121501:   CENTRED   "));
    EXPECT_TRUE(file.contains("2012B010:0001")); // reading the products left product 1 active

    // Another instrument: other values, other products, another one active.
    TSimBench to;
    ASSERT_TRUE(to.Start());
    to.FastTicks(50);
    to.Model().Find(0x1314)->Value = 9;
    to.Model().Find(0x1501)->Text = "OTHER";
    to.Sim->Instrument().Products = {{"BANANAS", 5, 0}, {"KIWI", 0, 0}};
    ASSERT_TRUE(to.Write(0x001A, "4D2") && to.Write(0x00EF, "FF") && to.Write(0xB010, "2"));
    to.Session.LockInstrument();

    const TSettingsSendResult sent = SendLines(to, file);
    EXPECT_TRUE(sent.Complete()) << sent.Summary().toStdString();
    EXPECT_EQ(to.Sim->Instrument().CurrentProduct, 0);
    EXPECT_EQ(to.Model().Find(0x1501)->Text, "   CENTRED   ");
    // The whole instrument read back equals the file, line for line.
    EXPECT_EQ(SavedLines(to), file);
}

TEST(SettingsFaults, SendListsRefusedLinesAndStopsWhenALapsedSessionCannotBeReopened)
{
    QList<QByteArray> file = DefaultFile();
    ASSERT_GT(file.size(), 150);
    for (QByteArray &line : file) {
        if (line.startsWith("20121104:"))
            line = "20121104:0065"; // E above its maximum
        else if (line.startsWith("20121314:"))
            line = "20121314:0000"; // ADDR below its minimum
    }
    TSimBench to;
    ASSERT_TRUE(to.Start());
    to.FastTicks(50);
    TSettingsSendResult sent = SendLines(to, file);
    EXPECT_EQ(sent.Status, TSettingsSendResult::Sent);
    ASSERT_EQ(sent.Refused.size(), 2) << sent.Summary().toStdString();
    EXPECT_EQ(sent.Refused[0].Register, 0x1104);
    EXPECT_EQ(sent.Refused[0].Text(), "Error :- Register 1104:  Over Range ");
    EXPECT_EQ(sent.Refused[1].Text(), "Error :- Register 1314:  Under Range ");
    EXPECT_TRUE(sent.Summary().contains("20121314:0000  Error :- Register 1314:  Under Range "));
    EXPECT_EQ(sent.Answered, sent.Lines);

    // The session lapses halfway (the instrument's clock jumps when SETP1's TYPE goes out), and the
    // lapse locks the levels.
    struct TCase {
        bool PasscodeTyped;
        TSettingsSendResult::TStatus Expected;
    };
    for (const TCase c :
         {TCase{true, TSettingsSendResult::Sent}, TCase{false, TSettingsSendResult::Lapsed}}) {
        TSimBench bench;
        bench.Config.LapseLocksLevels = true;
        ASSERT_TRUE(bench.Start());
        bench.FastTicks(50);
        if (!c.PasscodeTyped) { // the level is open already: nothing typed for this send
            ASSERT_TRUE(bench.Write(0x001A, "4D2"));
        }
        bool jumped = false;
        bench.Engine.OnFrameSent = [&](const QByteArray &frame) {
            if (!jumped && FrameText(frame).startsWith("20121411:")) {
                jumped = true;
                bench.Sim->Instrument().AdvanceTime(31000);
            }
        };
        sent = SendLines(bench, DefaultFile(), c.PasscodeTyped);
        EXPECT_EQ(sent.Status, c.Expected) << sent.Summary().toStdString();
        EXPECT_TRUE(sent.Refused.isEmpty()) << sent.Summary().toStdString(); // no run of refusals
        if (c.PasscodeTyped) {
            EXPECT_TRUE(sent.Complete());
            EXPECT_EQ(bench.Sim->Instrument().TransfersEnded, 1);
        } else {
            EXPECT_TRUE(sent.Message.contains("session lapsed")) << sent.Message.toStdString();
            EXPECT_TRUE(sent.Message.contains("passcode")) << sent.Message.toStdString();
            EXPECT_LT(sent.Answered, sent.Lines);
            EXPECT_EQ(bench.Sim->Instrument().TransfersEnded, 0);
        }
    }
}

TEST(SettingsFaults, LostRepliesToProductCommandsDoNotRunThemTwice)
{
    const QList<QByteArray> file = DefaultFile();
    ASSERT_GT(file.size(), 150);
    const QList<QByteArray> products{"APPLES", "PEARS", "PLUMS"};
    // Each product command (and a value write) with its reply lost, once or twice in a row.
    const std::pair<int, int> drops[] = {{0xB001, 1}, {0xB001, 2}, {0xB012, 1}, {0xB005, 1},
                                         {0xB002, 1}, {0x00ED, 1}, {0x1104, 2}};
    for (const auto &[reg, times] : drops) {
        TSimBench to;
        to.Config.DropOnRegister = reg;
        to.Config.DropOnTimes = times;
        ASSERT_TRUE(to.Start());
        to.FastTicks(50);
        const TSettingsSendResult sent = SendLines(to, file);
        const QByteArray what = QByteArray::number(reg, 16) + " x" + QByteArray::number(times);
        // The end of the transfer has no witness: its lost reply leaves it not confirmed, sent once.
        EXPECT_EQ(sent.Complete(), reg != 0x00ED) << what.constData() << ": " << sent.Summary().toStdString();
        if (reg == 0x00ED) {
            EXPECT_EQ(sent.Unconfirmed, QList<QByteArray>{"201000ED:00"}) << sent.Summary().toStdString();
        }
        EXPECT_EQ(ProductNames(*to.Sim), products) << what.constData();
        EXPECT_EQ(to.Sim->Instrument().CurrentProduct, 0) << what.constData();
        EXPECT_EQ(to.Sim->Instrument().TransfersEnded, 1) << what.constData();
    }
}

TEST(SettingsFaults, CliSendReportsRefusedLinesAndAddsAProductOnceWhenItsReplyIsLost)
{
    QList<QByteArray> file = DefaultFile();
    ASSERT_GT(file.size(), 150);
    for (QByteArray &line : file)
        if (line.startsWith("20121104:"))
            line = "20121104:0065";
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.WSD");
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(SettingsFileText(file));
    }
    TVornSimConfig config;
    config.TcpPort = 0;
    config.DropOnRegister = 0xB001;
    TVornSim sim(config);
    ASSERT_TRUE(sim.Start());
    // The lost reply is waited for as long as --timeout says, not a fixed 2 s.
    const TProgramRun run = RunCli(
        {"--tcp", Address(sim), "--timeout", "1", "settings", "send", path, "--passcode", "1234", "--yes"});
    EXPECT_EQ(run.Exit, 1) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("refused: 20121104:0065  Error :- Register 1104:  Over Range "))
        << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("1 of ")) << run.Err.toStdString();
    EXPECT_EQ(ProductNames(sim), (QList<QByteArray>{"APPLES", "PEARS", "PLUMS"}));
}

TEST(SettingsFaults, ProductFunctionsWhoseReplyIsLostRunOnceAndSayWhatTheInstrumentHolds)
{
    // Each function with its reply lost (vornsim drops it after acting): it goes out once, and the
    // products read back decide. A refused function whose refusal is lost did nothing.
    struct TCase {
        int Register;
        QByteArray Name; // the new name (add, rename)
        QList<QByteArray> Expected;
        TProductOutcome Outcome;
    };
    const TCase cases[] = {
        {0xB001, "KIWI", {"APPLES", "PEARS", "PLUMS", "KIWI"}, TProductOutcome::Confirmed},
        {0xB012, "MANGO", {"APPLES", "PEARS", "MANGO"}, TProductOutcome::Confirmed},
        {0xB011, {}, {"APPLES", "PEARS"}, TProductOutcome::Confirmed},
        {0xB001, "A NAME MUCH TOO LONG", {"APPLES", "PEARS", "PLUMS"}, TProductOutcome::NotDone},
        {0xB012, "A NAME MUCH TOO LONG", {"APPLES", "PEARS", "PLUMS"}, TProductOutcome::NotDone},
    };
    for (const TCase &c : cases) {
        TSimBench bench;
        bench.Config.DropOnRegister = c.Register;
        ASSERT_TRUE(bench.Start());
        bench.FastTicks(50);
        bench.Typed = {"1234"};
        ASSERT_TRUE(bench.Session.StartSessionAt(0, true));
        TProductOps products(&bench.Engine, &bench.Device, &bench.Tree);
        TMenuNode *menu = bench.Find("B100");
        ASSERT_NE(menu, nullptr);
        TMenuNode *plums = menu->Children.back().get();
        ASSERT_EQ(plums->Text, "PLUMS");
        bench.Sent.clear();
        if (c.Register == 0xB001)
            products.AddProduct(menu, c.Name);
        else if (c.Register == 0xB012)
            products.RenameProduct(plums, c.Name);
        else
            products.DeleteConfirmed(plums);
        const QByteArray what = QByteArray::number(c.Register, 16) + " " + c.Name;
        EXPECT_EQ(bench.CountSent("2010" + QByteArray::number(c.Register, 16).toUpper()), 1)
            << what.constData();
        EXPECT_EQ(ProductNames(*bench.Sim), c.Expected) << what.constData();
        EXPECT_EQ(products.LastOutcome, c.Outcome) << what.constData();
        // Confirmed is said by the tree; a function not done is reported as such, once.
        if (c.Outcome == TProductOutcome::Confirmed)
            EXPECT_TRUE(bench.Reporter.Errors.isEmpty()) << bench.Reporter.Errors.join("\n").toStdString();
        else
            EXPECT_TRUE(bench.Reporter.Errors.join("\n").contains("not ")) << what.constData();
        QList<QByteArray> shown;
        for (const auto &p : bench.Find("B100")->Children)
            shown << p->Text;
        EXPECT_EQ(shown, QList<QByteArray>{"CURRENT"} + c.Expected) << what.constData();
    }
}

TEST(SettingsFaults, CliSendRefusesWhatASaveDoesNotWriteAndSendsNothing)
{
    QList<QByteArray> file = DefaultFile();
    ASSERT_GT(file.size(), 150);
    // A changed value early in the file: had any line gone out, the instrument would show it.
    qsizetype at = 0;
    while (at < file.size() && !file[at].startsWith("20121104:"))
        ++at;
    ASSERT_LT(at + 4, file.size());
    ASSERT_TRUE(file[at + 4].startsWith("20121106:")) << file[at + 4].constData();
    file[at] = "20121104:0002";
    auto with = [&file](qsizetype index, const QByteArray &line) {
        QList<QByteArray> lines = file;
        lines[index] = line;
        return SettingsFileText(lines);
    };
    const QByteArray number = QByteArray::number(at + 5);
    const struct {
        const char *What;
        QByteArray Text;
        QByteArray Expected;
    } cases[] = {
        {"a log file", "Date,Time,Weight\r\n05/03/2024,14:07:59,12.50\r\n", "not a settings file: line 1"},
        {"a reset", with(at + 4, "20100016:"), "line " + number + " executes register 0016"},
        {"a calibration start", with(at + 4, "20100103:"), "line " + number + " executes register 0103"},
        {"control characters", with(at + 4, "20121105:\x1B[2J"),
         "line " + number + " holds control characters"},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        const QString path = dir.filePath(QStringLiteral("bad.WSD"));
        {
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(c.Text);
        }
        TVornSimConfig config;
        config.TcpPort = 0;
        TVornSim sim(config);
        ASSERT_TRUE(sim.Start());
        const TProgramRun run =
            RunCli({"--tcp", Address(sim), "settings", "send", path, "--passcode", "1234", "--yes"});
        EXPECT_EQ(run.Exit, 5) << c.What << ": " << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains(c.Expected) && run.Err.contains("nothing was sent"))
            << c.What << ": " << run.Err.toStdString();
        EXPECT_EQ(sim.Instrument().Model().Find(0x1104)->Value, 1) << c.What;
        EXPECT_EQ(sim.Instrument().SavesDone, 0) << c.What;
        EXPECT_EQ(sim.Instrument().TransfersEnded, 0) << c.What;
        EXPECT_EQ(ProductNames(sim), (QList<QByteArray>{"APPLES", "PEARS", "PLUMS"})) << c.What;
    }
}

TEST(SettingsFaults, TransferCountsRepliesWithinTheWaitAndReportsEveryLineExactly)
{
    // Value writes (two in a row on one register, one refused: ADDR takes 1..31), then the end line.
    const QList<QByteArray> lines{"20121104:0005", "20121324:0004", "20121324:0005", "20121314:0065",
                                  "20121315:0021", "20121325:0031", "20121206:0061"};
    const int total = static_cast<int>(lines.size()) + 1;
    struct TCase {
        const char *What;
        int DelayMs, DropOn, DropTimes;
        TSettingsSendResult::TStatus Status;
        int Confirmed, Unconfirmed, NotSent;
        int SendsOf1315;
    };
    const TCase cases[] = {
        {"no fault", 0, -1, 1, TSettingsSendResult::Sent, total - 1, 0, 0, 1},
        // Replies later than the 200 ms wait: each line is sent again and its first reply counts.
        // (A loaded machine may stretch the 2 ms steps past 300 ms: then the first send is answered.)
        {"replies 300 ms late", 300, -1, 1, TSettingsSendResult::Sent, total - 1, 0, 0, -2},
        {"replies 120 ms late", 120, -1, 1, TSettingsSendResult::Sent, total - 1, 0, 0, 1},
        // The reply to the fourth send arrives: the line counts, the transfer goes on.
        {"fourth reply comes", 0, 0x1315, 3, TSettingsSendResult::Sent, total - 1, 0, 0, 4},
        {"no reply at all", 0, 0x1315, 4, TSettingsSendResult::NoReply, 3, 1, 3, 4},
    };
    for (const TCase &c : cases) {
        TSimBench bench;
        bench.Config.DelayMs = c.DelayMs;
        bench.Config.DropOnRegister = c.DropOn;
        bench.Config.DropOnTimes = c.DropTimes;
        ASSERT_TRUE(bench.Start());
        bench.FastTicks(250);
        const TSettingsSendResult sent = SendLines(bench, lines);
        EXPECT_EQ(sent.Status, c.Status) << c.What << ": " << sent.Summary().toStdString();
        EXPECT_EQ(sent.Lines, total) << c.What;
        EXPECT_EQ(sent.Confirmed(), c.Confirmed) << c.What << ": " << sent.Summary().toStdString();
        ASSERT_EQ(sent.Refused.size(), 1) << c.What;
        EXPECT_EQ(sent.Refused[0].Line, "20121314:0065");
        EXPECT_EQ(sent.Unconfirmed.size(), c.Unconfirmed) << c.What;
        EXPECT_EQ(sent.NotSent(), c.NotSent) << c.What;
        // -N: at most N sends.
        if (c.SendsOf1315 > 0) {
            EXPECT_EQ(bench.CountSent("20121315:0021"), c.SendsOf1315) << c.What;
        } else {
            EXPECT_LE(bench.CountSent("20121315:0021"), -c.SendsOf1315) << c.What;
        }
        EXPECT_TRUE(sent.Summary().contains(sent.Counts())) << c.What;
        // What the instrument holds: every line up to where the transfer stopped (the unanswered
        // one included: vornsim acted before dropping its reply), nothing after it.
        TSimModel &model = bench.Model();
        EXPECT_EQ(model.Find(0x1104)->Value, 5) << c.What;
        EXPECT_EQ(model.Find(0x1324)->Value, 5) << c.What;
        EXPECT_EQ(model.Find(0x1315)->Value, 0x21) << c.What;
        EXPECT_EQ(model.Find(0x1325)->Value, c.NotSent == 0 ? 0x31 : 20) << c.What;
        // The end of the transfer is the one execute that may go twice (marking it again changes nothing).
        EXPECT_EQ(bench.Sim->Instrument().TransfersEnded > 0, c.NotSent == 0) << c.What;
    }
}
