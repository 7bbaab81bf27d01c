// brellin-cli's journal against the simulated instrument: each change leaves exactly its intent
// and outcome with the instrument's true values, also when a reply is lost; a program killed
// between intent and outcome leaves "outcome unknown"; `journal verify` says 0 or 4.
#include "journal/journal.h"
#include "run_program.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
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

    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    QTemporaryDir Store;
};

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
