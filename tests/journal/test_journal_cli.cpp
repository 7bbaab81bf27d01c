// brellin-cli's journal against the simulated instrument: each change (a write, a key, a calibration
// step, a clock set) leaves exactly its intent and outcome with the instrument's true values, also
// when a reply is lost; a program killed between intent and outcome leaves "outcome unknown";
// `journal verify` says 0 or 4.
#include "journal/journal.h"
#include "run_program.h"
#include "values/tools.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>

namespace
{

class JournalCliTest : public ::testing::Test
{
protected:
    void Start()
    {
        Cfg.TcpPort = 0;
        Cfg.Records = 5;
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
    }
    QStringList Cli(const QStringList &command) const
    {
        return QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->Port()), "--timeout", "0.5"} +
               command + QStringList{"--store", Store.path()};
    }
    QString JournalPath() const
    {
        return TChangeJournal::FolderFor(Store.path(), "1234567") + "/" + JournalFileName;
    }
    QList<TJournalEvent> Events() const
    {
        QList<TJournalLine> lines;
        QString error;
        ReadJournalFile(JournalPath(), lines, &error);
        return JournalEvents(lines);
    }
    // The instrument's own value of a register, not what the program says.
    QByteArray Truth(int reg)
    {
        Tcommsobj reply;
        reply.Decode(Sim->Instrument().Request(
            QByteArray("20110000:")
                .replace(4, 4, QByteArray::number(reg, 16).rightJustified(4, '0').toUpper())));
        return reply.Data;
    }

    // The instrument's clock ("dd/MM/yyyy HH:mm:ss") and its calibration figures as the journal
    // writes them.
    QByteArray ClockText() { return Sim->Instrument().Request("20110150:").mid(9); }
    QByteArray ZeroText()
    {
        return "zero " + SignedToDecimalText(Sim->Instrument().Weight().CalZero, 4) + " mV/V";
    }
    int64_t CalCount() { return Sim->Instrument().Model().Find(0x1702)->Value; }

    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    QTemporaryDir Store;
};

// Two clock texts within a few seconds of each other (the instrument's clock runs on).
bool ClockNear(const QByteArray &a, const QByteArray &b)
{
    const QString format = QStringLiteral("dd/MM/yyyy HH:mm:ss");
    const QDateTime x = QDateTime::fromString(QString::fromLatin1(a), format);
    const QDateTime y = QDateTime::fromString(QString::fromLatin1(b), format);
    return x.isValid() && y.isValid() && std::abs(x.secsTo(y)) <= 5;
}

} // namespace

TEST_F(JournalCliTest, EachChangeLeavesItsLinesWithTrueValuesAlsoWhenAReplyIsLost)
{
    const struct {
        const char *Name;
        QStringList Command;
        int DropOn;  // register whose replies are lost, -1: none
        int DropNth; // else every Nth reply is lost (0: none)
        QByteArray Kind;
        int Register;
        int Exit;
        QString Outcome; // the event's outcome starts with this
    } cases[] = {
        // a value write: the read before and the read-back are the instrument's own values
        {"write", {"write", "0100", "3A98"}, -1, 0, "write", 0x0100, 0, "confirmed"},
        // the fifth reply is the write's (after three identity reads and the read before): it is
        // sent once more, and the read-back shows the value
        {"write, reply lost", {"write", "0100", "3A98"}, -1, 5, "write", 0x0100, 0, "confirmed"},
        {"write refused", {"write", "0005", "1"}, -1, 0, "write", 0x0005, 1, "refused: Illegal Operation"},
        {"PRINT", {"write", "0008", "000E"}, -1, 0, "key", 0x0008, 0, "confirmed"},
        {"PRINT, reply lost", {"write", "0008", "000E"}, 0x0008, 0, "key", 0x0008, 0, "confirmed"},
        {"TARE, reply lost", {"write", "0008", "000C"}, 0x0008, 0, "key", 0x0008, 3, "not confirmed"},
        {"a command", {"exec", "0016"}, -1, 0, "command", 0x0016, 0, "confirmed"},
        {"a command, reply lost", {"exec", "0016"}, 0x0016, 0, "command", 0x0016, 3, "not confirmed"},
        {"raw", {"raw", "20120100:1234"}, -1, 0, "raw", 0x0100, 0, "confirmed"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Cfg = TVornSimConfig();
        Cfg.DropOnRegister = c.DropOn;
        Cfg.DropReply = c.DropNth;
        Cfg.SafePasscode = 0;
        Cfg.FullPasscode = 0;
        Start();
        QFile::remove(JournalPath());
        const QByteArray before = c.Kind == "write" ? Truth(c.Register) : QByteArray();
        const TProgramRun r = RunCli(Cli(c.Command));
        EXPECT_EQ(r.Exit, c.Exit) << r.Err.toStdString();
        const QList<TJournalEvent> events = Events();
        ASSERT_EQ(events.size(), 1);
        const TJournalLine &l = events.first().Line;
        EXPECT_EQ(l.Mark, TJournalLine::MarkOutcome);
        EXPECT_EQ(l.Kind, c.Kind);
        EXPECT_EQ(l.Register, c.Register);
        EXPECT_EQ(l.Serial, "1234567");
        EXPECT_EQ(l.Model, "V500");
        EXPECT_TRUE(events.first().Outcome.startsWith(c.Outcome)) << events.first().Outcome.toStdString();
        EXPECT_TRUE(l.Action.startsWith("brellin-cli " + c.Command.join(' '))) << l.Action.toStdString();
        if (c.Kind == "write") {
            EXPECT_EQ(l.Before, before);
            EXPECT_EQ(l.Asked, c.Command.last().toLatin1());
            EXPECT_EQ(l.ReadBack, Truth(c.Register));
        }
        QString error;
        EXPECT_TRUE(VerifyJournal(JournalPath(), &error).Intact());
    }
}

TEST_F(JournalCliTest, ACalibrationStepOrAClockSetIsOneLineWithTheInstrumentsValuesAlsoWhenAReplyIsLost)
{
    const QStringList zero{"calibration", "zero"}, clock{"clock", "set", "2031-04-05 06:07"},
        direct{"calibration", "direct-zero", "-0.0150"};
    const struct {
        const char *Name;
        QStringList Command;
        int DropOn, DropTimes; // the register whose replies are lost, how often (-1: none)
        int Result;            // the result code every calibration step ends with (0: none)
        int Register, Exit;
        QString Outcome;     // the event's outcome starts with this
        QString Note;        // part of the event's note
        QByteArray ReadBack; // the read-back starts with this
    } cases[] = {
        {"zero", zero, -1, 1, 0, 0x0102, 0, "confirmed", "settings saved", "zero 0.1083 mV/V"},
        // the start's answer lost: the counter shows the step ran; it is not started twice
        {"zero, the start's reply lost", zero, 0x0102, 1, 0, 0x0102, 0, "confirmed", "after: 8",
         "zero 0.1083"},
        {"zero ending with a result code", zero, -1, 1, 6, 0x0102, 1, "refused: Error: 6 - Stability", "",
         ""},
        // the status unanswered before the start: nothing goes out, and the line says so
        {"zero, the status unanswered", zero, 0x0021, 1000, 0, 0x0102, 3,
         "not confirmed: no calibration step", "", ""},
        // the entry and its one repeat unanswered: the figure read back is the one sent
        {"direct zero, its replies lost", direct, 0x0106, 2, 0, 0x0106, 0, "confirmed", "signal -0.0150",
         "zero -0.0150"},
        {"clock", clock, -1, 1, 0, 0x0150, 0, "confirmed", "", "05/04/2031 06:07"},
        // the minute's write and its repeat unanswered: the clock read back shows the minute
        {"clock, the minute's replies lost", clock, 0x0156, 2, 0, 0x0150, 0, "confirmed", "no reply",
         "05/04/2031 06:07"},
        // the hour's unanswered: the minute is not sent, and the clock shows the old time of day
        {"clock, the hour's replies lost", clock, 0x0155, 2, 0, 0x0150, 3, "not confirmed: The", "",
         "05/04/2031"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Cfg = TVornSimConfig();
        Cfg.DropOnRegister = c.DropOn;
        Cfg.DropOnTimes = c.DropTimes;
        Cfg.CalibrationResult = c.Result;
        Cfg.CalibrationStepMs = 0;
        Cfg.FullPasscode = 0;
        Start();
        QFile::remove(JournalPath());
        const QByteArray clockBefore = ClockText(), zeroBefore = ZeroText();
        const int64_t countBefore = CalCount();
        const TProgramRun r = RunCli(Cli(c.Command));
        EXPECT_EQ(r.Exit, c.Exit) << r.Err.toStdString();
        QList<TJournalEvent> events = Events();
        events.removeIf([](const TJournalEvent &e) { return e.Line.Kind == "session"; });
        ASSERT_EQ(events.size(), 1);
        const TJournalLine &l = events.first().Line;
        EXPECT_EQ(l.Mark, TJournalLine::MarkOutcome);
        EXPECT_EQ(l.Kind, c.Command.first() == "clock" ? "clock" : "calibration");
        EXPECT_EQ(l.Register, c.Register);
        EXPECT_TRUE(events.first().Outcome.startsWith(c.Outcome)) << events.first().Outcome.toStdString();
        EXPECT_TRUE(l.Note.contains(c.Note)) << l.Note.toStdString();
        EXPECT_TRUE(l.ReadBack.startsWith(c.ReadBack)) << l.ReadBack.constData();
        if (l.Kind == "clock") {
            EXPECT_TRUE(ClockNear(l.Before, clockBefore)) << l.Before.constData();
            EXPECT_EQ(l.Asked, "2031-04-05 06:07");
            EXPECT_TRUE(ClockNear(l.ReadBack, ClockText())) << l.ReadBack.constData();
        } else {
            EXPECT_TRUE(l.Before.startsWith(zeroBefore + ", fullscale 2.0000 mV/V")) << l.Before.constData();
            EXPECT_TRUE(l.ReadBack.startsWith(ZeroText())) << l.ReadBack.constData();
            EXPECT_TRUE(l.Note.contains(QStringLiteral("calibration counter before: %1").arg(countBefore)));
            EXPECT_TRUE(l.Note.contains(QStringLiteral("calibration counter after: %1").arg(CalCount())));
        }
        QString error;
        EXPECT_TRUE(VerifyJournal(JournalPath(), &error).Intact());
    }
}

TEST_F(JournalCliTest, VerifyExitsZeroWhenTheChainHoldsAndFourOnEvidence)
{
    Cfg.SafePasscode = 0;
    Cfg.FullPasscode = 0;
    Start();
    for (const char *v : {"1", "2", "3"})
        ASSERT_EQ(RunCli(Cli({"write", "0100", v})).Exit, 0);
    const QStringList verify{"journal", "verify", "--serial", "1234567", "--store", Store.path()};
    EXPECT_EQ(RunCli(verify).Exit, 0);
    const TProgramRun listed = RunCli({"journal", "--serial", "1234567", "--store", Store.path()});
    EXPECT_EQ(listed.Exit, 0);
    EXPECT_EQ(listed.Out.count('\n'), 3) << listed.Out.constData();
    EXPECT_TRUE(listed.Out.contains("12 0100")) << listed.Out.constData();

    QFile f(JournalPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray original = f.readAll();
    f.close();
    QList<QByteArray> edited = original.split('\n');
    edited[4].replace("\t2\t", "\t9\t");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(edited.join('\n'));
    f.close();
    const TProgramRun tampered = RunCli(verify);
    EXPECT_EQ(tampered.Exit, 4);
    EXPECT_TRUE(tampered.Out.contains("line 5:")) << tampered.Out.constData();
    EXPECT_EQ(RunCli({"journal", "verify", "--serial", "7654321", "--store", Store.path()}).Exit, 5);
}

TEST_F(JournalCliTest, AProgramKilledBetweenIntentAndOutcomeLeavesOutcomeUnknown)
{
    Cfg.DelayOnRegister = 0x0016;
    Cfg.DelayOnMs = 20000;
    Start();
    QProcess cli;
    cli.start(QStringLiteral(BRELLIN_BIN_DIR "/brellin-cli"),
              Cli({"exec", "0016"}).replaceInStrings("0.5", "30"));
    ASSERT_TRUE(cli.waitForStarted());
    // Wait until the intent is on disk, then kill the program before its reply comes.
    const bool intent = [&] {
        for (int i = 0; i < 500; ++i) {
            QTest::qWait(20);
            const QList<TJournalEvent> e = Events();
            if (!e.isEmpty() && e.last().Line.Register == 0x0016)
                return true;
        }
        return false;
    }();
    ASSERT_TRUE(intent);
    cli.kill();
    cli.waitForFinished();
    const TProgramRun listed = RunCli({"journal", "--serial", "1234567", "--store", Store.path()});
    EXPECT_TRUE(listed.Out.contains("outcome unknown")) << listed.Out.constData();
    EXPECT_EQ(RunCli({"journal", "verify", "--serial", "1234567", "--store", Store.path()}).Exit, 0);
}
