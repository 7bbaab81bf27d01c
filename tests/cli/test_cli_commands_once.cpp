// brellin-cli against the simulated instrument with lost and late replies: a key, a print or a
// "next record" acts once and says when it was not confirmed; rows read one by one (allocation
// table, linearisation points) are right or reported as failed, never wrong.
#include "fake_link.h"
#include "run_program.h"
#include "vornsim.h"

#include <gtest/gtest.h>

namespace
{

class CliOnceTest : public ::testing::Test
{
protected:
    void Start()
    {
        Cfg.TcpPort = 0;
        Cfg.Verbose = true;
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        Sim->OnLog = [this](const QString &line) {
            if (line.startsWith(QStringLiteral("<<< ")))
                Requests << line.mid(4).toLatin1();
        };
    }
    QStringList Connection(double timeout) const
    {
        return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->Port()), "--timeout",
                QString::number(timeout)};
    }
    int Sent(const QByteArray &text) const { return static_cast<int>(Requests.count(text)); }
    uint32_t Newest() { return Sim->Instrument().Records().Newest(); }

    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    QList<QByteArray> Requests;
};

} // namespace

TEST_F(CliOnceTest, AKeyWhoseReplyIsLostActsOnceAndIsConfirmedOnlyByAWitness)
{
    const struct {
        const char *Data;
        bool Drop;
        int Exit;
        const char *Message; // in stderr; empty: nothing
        uint32_t NewRecords;
        int Sends;
    } cases[] = {
        {"000E", true, 0, "", 1, 1},  // PRINT: the new record witnesses it
        {"000E", false, 0, "", 1, 1}, // PRINT answered
        {"000C", true, 3, "The TARE key was not confirmed by the instrument", 0, 1},
        {"000B", true, 3, "The ZERO key was not confirmed by the instrument", 0, 1},
        {"000D", true, 3, "The G/N key was not confirmed by the instrument", 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Data);
        Cfg = TVornSimConfig();
        Cfg.Records = 5;
        Cfg.DropOnRegister = c.Drop ? 0x0008 : -1;
        Requests.clear();
        Start();
        const bool netBefore = Sim->Instrument().Weight().NetMode;
        const TProgramRun r = RunCli(Connection(0.5) + QStringList{"write", "0008", c.Data});
        EXPECT_EQ(r.Exit, c.Exit) << r.Err.toStdString();
        if (*c.Message)
            EXPECT_TRUE(r.Err.contains(c.Message)) << r.Err.toStdString();
        else
            EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
        EXPECT_EQ(Newest(), 5u + c.NewRecords);
        EXPECT_EQ(Sent(QByteArray("20120008:") + c.Data), c.Sends);
        if (QByteArray(c.Data) == "000D") {
            EXPECT_NE(Sim->Instrument().Weight().NetMode, netBefore); // toggled once, not twice
        }
    }
}

TEST_F(CliOnceTest, ALostNextRecordIsReportedNotSkippedSilently)
{
    Cfg.Records = 5;
    Cfg.DropOnRegister = 0x8292;
    Start();
    const TProgramRun lost = RunCli(Connection(0.5) + QStringList{"exec", "8292"});
    EXPECT_EQ(lost.Exit, 3);
    EXPECT_TRUE(lost.Out.isEmpty());
    EXPECT_TRUE(lost.Err.contains("may have moved on")) << lost.Err.toStdString();
    EXPECT_EQ(Sent("20108292:"), 1);
    // The instrument moved on by one record, and the user was told; the next one is record 2.
    const TProgramRun next = RunCli(Connection(0.5) + QStringList{"exec", "8292"});
    EXPECT_EQ(next.Exit, 0);
    EXPECT_TRUE(next.Out.startsWith("2,")) << next.Out.toStdString();
}

TEST_F(CliOnceTest, RowByRowReadsUnderLateRepliesAreRightOrReportedAsFailed)
{
    // The truth, read without faults first.
    Cfg.FullPasscode = 0; // the full level open
    Start();
    ASSERT_TRUE(Sim->Instrument().Request("201200EF:FF").startsWith("0112")); // a session
    const QByteArray block = Sim->Instrument().Request("201100F8:").mid(9);
    ASSERT_EQ(block.size(), 44);
    ASSERT_TRUE(
        Sim->Instrument().Request("201200F8:" + block.left(24) + "0A141E28323C46505A64").startsWith("0112"));
    const TProgramRun allocation = RunCli(Connection(0.5) + QStringList{"report", "allocation"});
    const TProgramRun points = RunCli(Connection(0.5) + QStringList{"calibration", "show"});
    ASSERT_EQ(allocation.Exit, 0);
    ASSERT_EQ(points.Exit, 0) << points.Err.toStdString();
    ASSERT_TRUE(points.Out.contains("10: 100%")) << points.Out.toStdString();

    const struct {
        const char *Name;
        int DelayMs, DelayOnRegister, DelayOnMs;
        QStringList Args;
        QByteArray Truth;
    } cases[] = {
        {"allocation, every reply late", 1200, -1, 0, {"report", "allocation"}, allocation.Out},
        {"allocation, late but in time", 300, -1, 0, {"report", "allocation"}, allocation.Out},
        {"points, 0115 late", 0, 0x0115, 800, {"calibration", "show"}, points.Out},
        // A figure whose read failed shows as not read, never as 0.
        {"figures, 00F8 late", 0, 0x00F8, 800, {"calibration", "show"}, points.Out},
        {"zero, 0111 late", 0, 0x0111, 800, {"calibration", "show"}, points.Out},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TVornSimConfig faults;
        faults.DelayMs = c.DelayMs;
        faults.DelayOnRegister = c.DelayOnRegister;
        faults.DelayOnMs = c.DelayOnMs;
        Sim->SetFaults(faults);
        const TProgramRun r = RunCli(Connection(0.5) + c.Args);
        if (r.Exit == 0) {
            EXPECT_EQ(r.Out.toStdString(), c.Truth.toStdString()); // right
        } else {
            EXPECT_EQ(r.Exit, 3); // or reported as failed
            EXPECT_FALSE(r.Err.isEmpty());
            // What was printed is the truth's beginning or marked as not read, never other values.
            for (const QByteArray &line : r.Out.split('\n'))
                EXPECT_TRUE(line.isEmpty() || c.Truth.contains(line) || line.contains("(not read)"))
                    << line.toStdString();
        }
    }
    Sim->SetFaults(TVornSimConfig());
}
