// The main window against the simulated instrument: the demo over loopback TCP, a peer that hangs
// up, and the fast optical link's speed changes over a pseudo-terminal.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "link/ui/Debug.h"
#include "shell/ui/demo.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTabWidget>

namespace
{

class VornsimWindowTest : public ::testing::Test
{
protected:
    std::unique_ptr<TFrmMain> Start()
    {
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        auto w = CreateMainWindow(*Config, {}, &Reporter);
        if (w)
            w->Engine->SetTickInterval(5);
        return w;
    }
    // The window, connecting over loopback TCP to a simulated instrument with cfg (Sim, on a free
    // port); none when either cannot start.
    std::unique_ptr<TFrmMain> StartConnected(TVornSimConfig cfg)
    {
        cfg.TcpPort = 0;
        Sim = std::make_unique<TVornSim>(cfg);
        QString error;
        if (!Sim->Start(&error)) {
            ADD_FAILURE() << error.toStdString();
            return nullptr;
        }
        auto w = Start();
        if (!w)
            return nullptr;
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText("127.0.0.1");
        socket->SetPort(Sim->Port());
        w->ConnectWith(TConnectionChoice{std::move(socket), 0, 0});
        return w;
    }
    TProgramFolder Folder{"[Options]\nFirstRun=1\n[Connection]\nConnectionType=0\nSerialPort=COM1\n"};
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
    std::unique_ptr<TVornSim> Sim;
};

TEST_F(VornsimWindowTest, TheDemoConnectsOverLoopbackAndShowsTheInstrument)
{
    auto w = Start();
    ASSERT_TRUE(w);
    QString error;
    ASSERT_TRUE(w->StartDemo(&error)) << error.toStdString();
    auto *socket = dynamic_cast<TIOIfaceSocket *>(w->Engine->Link());
    ASSERT_TRUE(socket);
    EXPECT_EQ(socket->Host(), "127.0.0.1");
    EXPECT_EQ(socket->Port(), w->DemoInstrument()->Port());
    ASSERT_TRUE(PumpUntil([&] { return !w->IdentPanel->Text().isEmpty(); }));
    EXPECT_EQ(w->IdentPanel->Text(), "SN: 1234567, V500 V1.04");
    EXPECT_EQ(w->ToolButton4->text(), "&Disconnect");
    // The display is polled as fast as the instrument answers.
    ASSERT_TRUE(PumpUntil([&] { return w->StatusPanel1->text().contains("0009:"); }));
    // The demo stores nothing: not the connection, not the end of the first run.
    EXPECT_FALSE(Config->Modified());
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();

    // Disconnecting from the menu closes the link and clears the panel.
    w->Connect2->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w->ToolButton4->text() == "&Connect"; }));
    EXPECT_EQ(w->IdentPanel->Text(), "");
}

TEST_F(VornsimWindowTest, APeerThatHangsUpLeavesTheWindowDisconnected)
{
    TVornSimConfig cfg;
    cfg.DisconnectAfter = 6; // the four identification reads, then a few display polls
    auto w = StartConnected(cfg);
    ASSERT_TRUE(w);
    ASSERT_TRUE(PumpUntil([&] { return w->IdentPanel->Text() == "SN: 1234567, V500 V1.04"; }));
    ASSERT_TRUE(PumpUntil([&] { return w->ToolButton4->text() == "&Connect"; }));
    EXPECT_FALSE(w->Engine->LinkOpen());
    EXPECT_EQ(w->IdentPanel->Text(), "");
    EXPECT_FALSE(w->PgCMain->isTabVisible(w->PgCMain->indexOf(w->TSTest)));
}

// The identification's replies lost on the way: a fact is asked again while the others come; one
// that never comes is left out after a second round, and the connection goes on.
TEST_F(VornsimWindowTest, AnIdentityReplyLostIsAskedAgainAndOneNeverAnsweredIsLeftOut)
{
    const struct {
        const char *What;
        int Register;
        int Dropped;
        const char *Shown;
    } rows[] = {
        {"the model's read and its resend lost", 0x0003, 2, "SN: 1234567, V500 V1.04"},
        {"the serial number's read, its resend and the next read lost", 0x0005, 3, "SN: 1234567, V500 V1.04"},
        {"the version never answered", 0x0004, 1000, "SN: 1234567, V500 "}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.What);
        TVornSimConfig cfg;
        cfg.DropOnRegister = r.Register;
        cfg.DropOnTimes = r.Dropped;
        auto w = StartConnected(cfg);
        ASSERT_TRUE(w);
        ASSERT_TRUE(PumpUntil([&] { return !w->IdentPanel->Text().isEmpty(); }, 20000));
        EXPECT_EQ(w->IdentPanel->Text(), r.Shown);
    }
}

TEST_F(VornsimWindowTest, TheFastOpticalLinkSpeedsUpAndFallsBackOverAPty)
{
    TVornSimConfig cfg;
    cfg.UsePty = true;
    cfg.Verbose = true; // what the instrument hears goes to OnLog
    TVornSim sim(cfg);
    QStringList heard;
    sim.OnLog = [&](const QString &line) { heard << line; };
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    auto w = Start();
    ASSERT_TRUE(w);
    auto serial = std::make_unique<TIOIfaceSerial>();
    TIOIfaceSerial *port = serial.get();
    serial->SetPortName(sim.PtyPath());
    serial->SetBaud(9600);
    serial->SetCable(2);
    w->ConnectWith(TConnectionChoice{std::move(serial), 0, 2});
    ASSERT_TRUE(PumpUntil([&] { return !w->IdentPanel->Text().isEmpty(); }))
        << Reporter.Errors.join('\n').toStdString();
    EXPECT_EQ(port->Baud(), 57600);
    EXPECT_EQ(sim.PtyBaud(), 57600);
    EXPECT_TRUE(heard.contains("<<< 00100078:E100")) << heard.join('\n').toStdString();

    // Requests to another unit address go unanswered: after the resend the link drops to 9600.
    w->Engine->UnitAddress = 7;
    heard.clear();
    EXPECT_FALSE(w->Engine->Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(Reporter.Errors, QStringList{"Instrument not responding"});
    ASSERT_TRUE(PumpUntil([&] { return port->Baud() == 9600; }));
    EXPECT_TRUE(heard.contains("<<< 00100078:2580")) << heard.join('\n').toStdString();
    ASSERT_TRUE(PumpUntil([&] { return sim.PtyBaud() == 9600; }));
}

TEST_F(VornsimWindowTest, NoSpeedChangeOnThePlainOpticalLink)
{
    TVornSimConfig cfg;
    cfg.UsePty = true;
    cfg.Verbose = true; // what the instrument hears goes to OnLog
    TVornSim sim(cfg);
    QStringList heard;
    sim.OnLog = [&](const QString &line) { heard << line; };
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    auto w = Start();
    ASSERT_TRUE(w);
    auto serial = std::make_unique<TIOIfaceSerial>();
    TIOIfaceSerial *port = serial.get();
    serial->SetPortName(sim.PtyPath());
    serial->SetBaud(9600);
    serial->SetCable(1);
    w->ConnectWith(TConnectionChoice{std::move(serial), 0, 1});
    ASSERT_TRUE(PumpUntil([&] { return !w->IdentPanel->Text().isEmpty(); }));
    EXPECT_EQ(port->Baud(), 9600);
    EXPECT_FALSE(heard.join('\n').contains("00100078"));
}

} // namespace
