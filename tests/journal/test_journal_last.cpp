// "What changed since my last visit" through brellin-cli against the simulated instrument: a
// settings save keeps the last visit; changes made meanwhile by a client of the test's own (standing
// in for the keypad), product values included, are listed with both values; lost replies are read
// again and never counted as equal; the active product is selected again afterwards.
#include "journal/journal.h"
#include "journal/lastvisit.h"
#include "run_program.h"
#include "vornsim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class LastVisitTest : public ::testing::Test
{
protected:
    void Start()
    {
        Cfg.TcpPort = 0;
        Cfg.SafePasscode = 0;
        Cfg.FullPasscode = 0;
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
    }
    QStringList Cli(const QStringList &command) const
    {
        return QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->Port()), "--timeout", "0.3"} +
               command + QStringList{"--store", Store.path()};
    }
    // The instrument's own protocol, as its keypad would change it (a session of its own).
    QByteArray Keypad(const QByteArray &request) { return Sim->Instrument().Request(request); }
    void ChangeOnSite()
    {
        Keypad("201200EF:FF");
        ASSERT_FALSE(Keypad("20121205:0001").startsWith("4")); // FILTER 8 -> 2
        Keypad("2015B100:0003");                               // PEARS
        ASSERT_FALSE(Keypad("2012B020:04D2").startsWith("4")); // its TARGET
        Keypad("2015B100:0002");                               // APPLES again
        Keypad("201200EF:01");
    }
    QByteArray Active()
    {
        Tcommsobj reply;
        reply.Decode(Keypad("2011B010:"));
        return reply.Data;
    }

    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    QTemporaryDir Store;
};

} // namespace

TEST_F(LastVisitTest, ChangesMadeBetweenVisitsAreListedWithBothValues)
{
    const struct {
        const char *Name;
        double Drop; // replies lost at random
    } cases[] = {{"a clean line", 0}, {"a fifth of the replies lost", 0.2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Cfg = TVornSimConfig();
        Cfg.Seed = 7;
        Start();
        QDir(TChangeJournal::FolderFor(Store.path(), "1234567")).removeRecursively();
        EXPECT_EQ(RunCli(Cli({"settings", "compare", "--last"})).Exit, 5); // no visit kept yet
        const TProgramRun saved = RunCli(Cli({"settings", "save", Store.filePath("visit.WSD")}));
        ASSERT_EQ(saved.Exit, 0) << saved.Err.toStdString();
        ASSERT_TRUE(QFile::exists(LastVisitPath(TChangeJournal::FolderFor(Store.path(), "1234567"))));
        ChangeOnSite();
        const QByteArray active = Active();
        TVornSimConfig faults;
        faults.DropReply = c.Drop;
        Sim->SetFaults(faults);
        const TProgramRun r = RunCli(Cli({"settings", "compare", "--last"}));
        EXPECT_EQ(r.Exit, 6) << r.Out.toStdString() << r.Err.toStdString();
        EXPECT_TRUE(r.Out.contains("SAFE SETUP > OPTIONS > FILTER: instrument \"2\", last visit \"8\""))
            << r.Out.toStdString();
        EXPECT_TRUE(r.Out.contains("PEARS > TARGET: instrument \"12.34 kg\", last visit \"0.00 kg\""))
            << r.Out.toStdString();
        EXPECT_TRUE(r.Out.contains("68 items compared, 2 different\n")) << r.Out.toStdString();
        EXPECT_FALSE(r.Out.contains("not compared"));
        Sim->SetFaults({});
        EXPECT_EQ(Active(), active) << "the active product is selected again";
    }
}

TEST_F(LastVisitTest, AnItemNotReadIsNeverEqual)
{
    Start();
    ASSERT_EQ(RunCli(Cli({"settings", "save", Store.filePath("visit.WSD")})).Exit, 0);
    TVornSimConfig faults;
    faults.DropOnRegister = 0x1205; // FILTER never answers
    faults.DropOnTimes = 1000;
    Sim->SetFaults(faults);
    const TProgramRun r = RunCli(Cli({"settings", "compare", "--last"}));
    EXPECT_EQ(r.Exit, 3);
    EXPECT_TRUE(r.Err.contains("FILTER could not be read: no reply")) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains("67 items compared, 0 different, 1 could not be read")) << r.Out.toStdString();
}
