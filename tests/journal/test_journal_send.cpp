// A settings send through brellin-cli against the simulated instrument: the settings are saved
// first and named on every line; each line leaves exactly one event with the value it had, the
// value sent and the outcome, also when a reply is lost; without a snapshot nothing is sent.
#include "journal/journal.h"
#include "run_program.h"
#include "settings/SendSettings.h"
#include "vornsim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class JournalSendTest : public ::testing::Test
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
        return QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->Port()), "--timeout", "0.5"} +
               command + QStringList{"--store", Store.path()};
    }
    QString JournalPath() const
    {
        return TChangeJournal::FolderFor(Store.path(), "1234567") + "/" + JournalFileName;
    }
    QList<TJournalEvent> Events(const QByteArray &kind) const
    {
        QList<TJournalLine> lines;
        QString error;
        ReadJournalFile(JournalPath(), lines, &error);
        return FilterJournalEvents(JournalEvents(lines), {}, {}, kind);
    }
    QByteArray Truth(const QByteArray &reg)
    {
        Tcommsobj reply;
        reply.Decode(Sim->Instrument().Request("2011" + reg + ":"));
        return reply.Data;
    }
    // A settings file saved from the instrument, with FILTER (1205) changed to `filter`.
    QString FileWithFilter(const QByteArray &filter)
    {
        const QString path = Store.filePath("send.WSD");
        EXPECT_EQ(RunCli(Cli({"settings", "save", path})).Exit, 0);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        const qsizetype at = text.indexOf("20121205:");
        EXPECT_GE(at, 0);
        text.replace(at, text.indexOf('\r', at) - at, "20121205:" + filter);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        return path;
    }

    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    QTemporaryDir Store;
};

} // namespace

TEST_F(JournalSendTest, EveryLineLeavesOneEventWithItsValueBeforeAndTheSnapshotIsNamed)
{
    const struct {
        const char *Name;
        bool Snapshot;
        int DropOn; // the first reply to this register is lost
    } cases[] = {
        {"with a snapshot", true, -1},
        {"a line's reply lost (sent again, answered)", false, 0x1205},
        {"the save's reply lost", false, 0x0010},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Cfg = TVornSimConfig();
        Cfg.DropOnRegister = -1;
        Start();
        const QString file = FileWithFilter("0001");
        QFile::remove(JournalPath());
        const QByteArray before = Truth("1205");
        ASSERT_EQ(before, "0003");
        TVornSimConfig faults;
        faults.DropOnRegister = c.DropOn;
        Sim->SetFaults(faults);
        QStringList send{"settings", "send", file, "--yes"};
        if (!c.Snapshot)
            send << "--no-snapshot";
        const TProgramRun r = RunCli(Cli(send));
        EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
        EXPECT_EQ(Truth("1205"), "0001");

        const QList<TJournalEvent> snapshots = Events("snapshot");
        ASSERT_EQ(snapshots.size(), c.Snapshot ? 1 : 0);
        const QList<TJournalEvent> lines = Events("send");
        ASSERT_FALSE(lines.isEmpty());
        // one event per request line of the file, the end-of-transfer line included, none twice
        QList<QByteArray> requests;
        QString error;
        ASSERT_TRUE(ReadSettingsFile(file, requests, &error));
        PreviewSettings(requests);
        EXPECT_EQ(lines.size(), requests.size() + 1);
        int filter = 0;
        for (const TJournalEvent &e : lines) {
            EXPECT_TRUE(e.Outcome.startsWith("confirmed")) << e.Outcome.toStdString();
            if (c.Snapshot) {
                EXPECT_TRUE(e.Line.Note.contains(snapshots.first().Line.Note.section(": ", 1)))
                    << e.Line.Note.toStdString();
            }
            if (e.Line.Register != 0x1205)
                continue;
            ++filter;
            EXPECT_EQ(e.Line.Asked, "0001");
            EXPECT_EQ(e.Line.Before, c.Snapshot ? QByteArray("0003") : QByteArray());
        }
        EXPECT_EQ(filter, 1);
        // the session it ran in, and the instrument's save after it
        EXPECT_EQ(Events("session").size(), c.Snapshot ? 4 : 2);
        const QList<TJournalEvent> commands = Events("command");
        EXPECT_TRUE(std::any_of(commands.begin(), commands.end(),
                                [](const TJournalEvent &e) { return e.Line.Register == 0x0010; }));
        EXPECT_TRUE(VerifyJournal(JournalPath(), &error).Intact());
        if (c.Snapshot) {
            // restoring is sending the snapshot: it holds the value before
            const QString snapshot = snapshots.first().Line.Note.section(": ", 1);
            QFile f(snapshot);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << snapshot.toStdString();
            EXPECT_TRUE(f.readAll().contains("20121205:0003"));
        }
    }
}

TEST_F(JournalSendTest, NoSnapshotNoSend)
{
    Start();
    const QString file = FileWithFilter("0001");
    QFile::remove(JournalPath());
    // FILTER cannot be read for the snapshot: the send does not start.
    TVornSimConfig faults;
    faults.DropOnRegister = 0x1205;
    faults.DropOnTimes = 1000;
    Sim->SetFaults(faults);
    const TProgramRun r = RunCli(Cli({"settings", "send", file, "--yes"}));
    EXPECT_EQ(r.Exit, 3);
    EXPECT_TRUE(r.Err.contains("no snapshot")) << r.Err.toStdString();
    EXPECT_EQ(Truth("1205"), "0003");
    EXPECT_TRUE(Events("send").isEmpty());
    EXPECT_TRUE(Events("snapshot").isEmpty());
}
