// Reconnecting to the simulated instrument: a TCP peer that stops and comes back on the same port
// (the same instrument, or another one), a pty reached through a by-id style link that comes back
// under a new name, an upload and a settings transfer cut by the loss, a setup session open at
// the loss; a link that never opened, and Connect pressed during the attempts.
#include "display/VornTables.h"
#include "display/ui/VornLCD.h"
#include "gui_support.h"

#include "base/dmViewer.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "link/ui/Debug.h"
#include "link/ui/trafficdlg.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "settings/ui/passcode.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/connection.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <vector>

#include <pty.h>
#include <unistd.h>

namespace
{

class ReconnectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder.CopyShippedPanel();
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        Window = CreateMainWindow(*Config, {}, &Reporter);
        ASSERT_TRUE(Window);
        Window->Engine->SetTickInterval(2);
        Window->Connection->RetryTimer->setInterval(RetryMs);
        Window->DataStoreTab->Store.Layout.SetStoreDir(StoreDir.path());
        Window->resize(1000, 700);
        Window->show();
    }
    void TearDown() override
    {
        Window.reset();
        Sim.reset();
        for (int fd : Spare)
            ::close(fd);
    }
    void StartSim()
    {
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
    }
    void ConnectTcp()
    {
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText("127.0.0.1");
        socket->SetPort(Sim->Port());
        Window->ConnectWith(TConnectionChoice{std::move(socket), 0, 0});
        ASSERT_TRUE(PumpUntil([&] { return Window->IdentPanel->Text() == Identified; }));
    }
    // Holds a pty open, so that the next one gets another name.
    void OccupyAPty()
    {
        int master = -1, slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        Spare << master << slave;
    }
    bool MimicLit() const { return !LitEntries(Window->DisplayMimic->LCD->States).empty(); }
    QString Status() const { return Window->statusBar()->currentMessage(); }
    // The instrument goes away; the window says so at once, blanks the panel and retries visibly.
    void LoseAndSeeRetries(const QString &where)
    {
        ASSERT_TRUE(PumpUntil([&] { return MimicLit(); }));
        Sim.reset();
        ASSERT_TRUE(PumpUntil([&] { return Window->Connection->Retrying(); }));
        EXPECT_EQ(Status(), "Connection lost: " + where);
        EXPECT_TRUE(Window->Connection->StopRetryButton->isVisibleTo(Window.get()));
        EXPECT_FALSE(MimicLit());
        EXPECT_EQ(Window->IdentPanel->Text(), "");
        const QString retrying =
            QString("Connection lost: %1 (retrying every %2 s): ").arg(where).arg(RetryMs / 1000.0);
        EXPECT_TRUE(PumpUntil([&] { return Status().startsWith(retrying); })) << Status().toStdString();
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    }

    static constexpr int RetryMs = 50;
    static constexpr const char *Identified = "SN: 1234567, V500 V1.04";
    TProgramFolder Folder;
    QTemporaryDir StoreDir;
    QTemporaryDir LinkDir;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
    std::unique_ptr<TFrmMain> Window;
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    QList<int> Spare;
};

TEST_F(ReconnectTest, ATcpInstrumentRestartedOnItsPortIsTakenBackOnlyWhenItIsTheSameOne)
{
    struct Case {
        const char *name;
        int64_t serialAfter;
        bool silent;        // the port accepts, the instrument answers nothing
        const char *status; // %1: host:port, %2: the retry interval in seconds
        bool connected, retrying;
    };
    const Case cases[] = {
        {"same instrument", -1, false, "Connection restored: %1", true, false},
        {"another instrument", 7654321, false,
         "Another instrument answers on %1 (SN: 7654321, not SN: 1234567): not reconnected", false, false},
        {"silent instrument", -1, true,
         "Connection lost: %1 (retrying every %2 s): the instrument does not answer", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reporter.Errors.clear();
        Cfg = {};
        Cfg.TcpPort = 0;
        StartSim();
        ConnectTcp();
        const int port = Sim->Port();
        const QString where = QString("127.0.0.1:%1").arg(port);
        LoseAndSeeRetries(where);

        Cfg.TcpPort = port;
        Cfg.SerialNumber = c.serialAfter;
        Cfg.DropReply = c.silent ? 1 : 0;
        StartSim();
        // Not .arg(): a text without %2 would make Qt warn about the missing argument.
        const QString status =
            QString(c.status).replace("%1", where).replace("%2", QString::number(RetryMs / 1000.0));
        ASSERT_TRUE(PumpUntil([&] { return Status() == status; }, 10000)) << Status().toStdString();
        EXPECT_EQ(Window->Connection->Retrying(), c.retrying);
        EXPECT_EQ(Window->Connection->StopRetryButton->isVisibleTo(Window.get()), c.retrying);
        EXPECT_EQ(Window->Engine->LinkOpen(), c.connected);
        // The identification was asked for again.
        EXPECT_GE(Sim->RequestsHandled, 1);
        if (c.connected) {
            EXPECT_EQ(Window->IdentPanel->Text(), Identified);
            EXPECT_TRUE(PumpUntil([&] { return MimicLit(); }));
        } else if (!c.retrying) {
            // No session, no further attempts: the other instrument is left alone.
            const int64_t handled = Sim->RequestsHandled;
            PumpUntil([] { return false; }, 5 * RetryMs);
            EXPECT_EQ(Sim->RequestsHandled, handled);
            EXPECT_FALSE(Sim->Instrument().SessionOpen);
            EXPECT_EQ(Sim->Connections(), 0);
            EXPECT_EQ(Window->IdentPanel->Text(), "");
        }
        // Said in the status bar only: no message box.
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
        if (Window->Connection->Retrying())
            Window->Connection->StopRetryButton->click();
        Window->Engine->Link()->Close();
        Sim.reset();
    }
}

TEST_F(ReconnectTest, AnAdapterBackUnderANewNameIsFoundAgainThroughItsByIdLink)
{
    struct Case {
        const char *name;
        bool choseLink; // the user chose the by-id link, or the device name it pointed at
        int cable;
    };
    const Case cases[] = {
        {"link chosen", true, CableRs232},
        {"device chosen", false, CableRs232},
        // The instrument's end comes back at 9600 baud; the link is raised to 57600 again.
        {"fast optical link", true, CableFastOptical},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reporter.Errors.clear();
        const QString link = LinkDir.filePath("usb-Vorn_Optical_Head_A1B2-if00-port0");
        Cfg = {};
        Cfg.UsePty = true;
        Cfg.PtyLink = link;
        StartSim();
        const QString before = QFileInfo(link).symLinkTarget();
        auto serial = std::make_unique<TIOIfaceSerial>();
        serial->SetPortName(c.choseLink ? link : before);
        serial->SetBaud(9600);
        serial->SetByIdFolder(LinkDir.path());
        serial->SetCable(c.cable);
        Window->ConnectWith(TConnectionChoice{std::move(serial), 0, c.cable});
        ASSERT_TRUE(PumpUntil([&] { return Window->IdentPanel->Text() == Identified; }))
            << Reporter.Errors.join('\n').toStdString();
        const QString where = c.choseLink ? link : before;

        LoseAndSeeRetries(where);
        EXPECT_FALSE(QFileInfo::exists(link));
        // The old name may be taken by another device meanwhile; the adapter comes back elsewhere.
        OccupyAPty();
        StartSim();
        ASSERT_NE(QFileInfo(link).symLinkTarget(), before);
        ASSERT_TRUE(PumpUntil([&] { return !Window->Connection->Retrying(); }));
        EXPECT_TRUE(Status().startsWith("Connection restored: " + where)) << Status().toStdString();
        EXPECT_TRUE(Window->Engine->LinkOpen());
        EXPECT_EQ(Window->IdentPanel->Text(), Identified);
        EXPECT_TRUE(PumpUntil([&] { return MimicLit(); }));
        EXPECT_EQ(Sim->PtyBaud(), c.cable == CableFastOptical ? 57600 : 9600);
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
        Window->Engine->Link()->Close();
        Sim.reset();
    }
}

TEST_F(ReconnectTest, AnUploadCutByTheLossEndsIncompleteAndKeepsWhatArrived)
{
    Cfg.TcpPort = 0;
    Cfg.Records = 500;
    StartSim();
    ConnectTcp();
    Window->PgCMain->setCurrentWidget(Window->TSDataStore);
    TDataStoreTab *tab = Window->DataStoreTab;
    // The instrument goes away once record 20 shows in the progress window.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (Sim && tab->Progress->isVisible() && tab->Progress->ProgressLine3->text().startsWith("20,"))
            Sim.reset();
    });
    watcher.start(0);
    Reporter.Errors.clear();
    tab->DsdUploadOrRefresh->click();
    watcher.stop();
    ASSERT_FALSE(Sim);
    const uint32_t count = tab->Store.Records.RecordCount();
    EXPECT_GE(count, 20u);
    EXPECT_LT(count, 500u);
    EXPECT_EQ(Reporter.Errors,
              QStringList{QString("Upload incomplete after record %1 (%1 new records stored): "
                                  "the connection was lost. Upload again to continue.")
                              .arg(count)});
    EXPECT_EQ(tab->Store.Records.FileVerdict(), 0);
    EXPECT_TRUE(Window->Connection->Retrying());
}

TEST_F(ReconnectTest, ASettingsTransferCutByTheLossEndsAtOnceSayingWhatWasNotSent)
{
    Cfg.TcpPort = 0;
    StartSim();
    ConnectTcp();
    TFrmTraffic *dialog = Window->FrmTraffic;
    dialog->Transfer.SetStepInterval(1);
    QList<QByteArray> lines;
    for (int i = 0; i < 40; ++i)
        lines << "20121206:0" + QByteArray::number(i % 4);
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (Sim && dialog->Transfer.Done >= 5)
            Sim.reset();
    });
    watcher.start(0);
    EXPECT_FALSE(dialog->Run(lines, "Write Settings to Instrument"));
    watcher.stop();
    ASSERT_FALSE(Sim);
    const int done = dialog->Transfer.Done;
    EXPECT_GE(done, 5);
    EXPECT_LT(done, 40);
    EXPECT_EQ(dialog->Transfer.StopReason,
              QString("The connection was lost after %1 of 40 lines; the rest was not sent").arg(done));
    EXPECT_TRUE(dialog->Transfer.LinkLost);
    EXPECT_FALSE(dialog->isVisible());
    // The loss is said once, in the status bar, not as the instrument not responding.
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
}

TEST_F(ReconnectTest, ASessionOpenAtTheLossEndsInTheWindowAndTheOldFramesTurnGrey)
{
    // An edit is saved in the instrument unless saving is blocked; a block open at the loss is
    // lifted without a save, and the user is told the changes were not saved.
    struct Case {
        const char *name;
        bool blocked;
        bool stopRetrying; // the user gives up before the instrument is back
    };
    const Case cases[] = {
        {"saving allowed", false, false},
        {"saving blocked", true, false},
        {"saving blocked, reconnecting stopped", true, true},
    };
    Config->SetAllowSaveBlock(true);
    Config->SetReadAllSettings(true);
    auto *settings = Window->findChild<TSettingsUi *>();
    Window->Hooks.ExecModal = [](QDialog *dialog) {
        if (auto *pass = qobject_cast<TFrmPasscode *>(dialog))
            pass->EdtPasscode->setText("1234");
        return int(QDialog::Accepted);
    };
    Window->FrmDebug->show(); // the debug log keeps lines only while it is shown
    int saves = 0;            // save commands the instrument heard
    auto heard = [&](const QString &line) {
        if (line.startsWith("<<< ") && line.mid(6, 6) == "100010")
            ++saves;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reporter.Errors.clear();
        Cfg = {};
        Cfg.TcpPort = 0;
        Cfg.Verbose = true;
        StartSim();
        Sim->OnLog = heard;
        ConnectTcp();
        Window->StartSession->trigger();
        ASSERT_TRUE(settings->Session->SessionActive) << Reporter.Errors.join('\n').toStdString();
        ASSERT_FALSE(settings->Model->IsEmpty());
        ASSERT_TRUE(Sim->Instrument().SessionOpen);
        TSettingsTab *tab = settings->Tab;
        if (c.blocked)
            tab->btnBlockSaveSettings->click();
        std::function<TMenuNode *(TMenuNode *)> find = [&](TMenuNode *at) -> TMenuNode * {
            if (at->Data && at->Data->Register == "1104")
                return at;
            for (auto &child : at->Children)
                if (TMenuNode *found = find(child.get()))
                    return found;
            return nullptr;
        };
        TMenuNode *node = find(settings->Model->Root());
        ASSERT_TRUE(node);
        tab->Select(node);
        ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
        saves = 0;
        tab->EdtNum->setText("5");
        tab->btnNumOK->click();
        ASSERT_EQ(Sim->Instrument().Model().Find(0x1104)->Value, 5);
        EXPECT_EQ(saves, c.blocked ? 0 : 1);
        EXPECT_EQ(Window->SaveBlocked, c.blocked);

        const int port = Sim->Port();
        saves = 0;
        Sim.reset(); // the instrument's panel is not polled during a session: no LoseAndSeeRetries
        ASSERT_TRUE(PumpUntil([&] { return Window->Connection->Retrying(); }));

        // While nothing is connected: the frames that went before are grey, the session is gone
        // from the window, its menu tree and its save block with it.
        for (QLabel *panel : {Window->StatusPanel0, Window->StatusPanel1}) {
            EXPECT_FALSE(panel->text().isEmpty());
            EXPECT_FALSE(panel->isEnabled()) << panel->objectName().toStdString();
        }
        auto showsNoSession = [&] {
            EXPECT_FALSE(Window->SessionActive);
            EXPECT_FALSE(Window->EndSession->isEnabled());
            EXPECT_FALSE(Window->PgCMain->isTabVisible(Window->PgCMain->indexOf(Window->TSSettings)));
            EXPECT_TRUE(settings->Model->IsEmpty());
            EXPECT_FALSE(Window->SaveBlocked);
            EXPECT_FALSE(settings->Session->SaveBlocked);
            EXPECT_TRUE(tab->btnBlockSaveSettings->isEnabled());
            EXPECT_FALSE(tab->btnSaveSettings->isEnabled());
        };
        showsNoSession();
        EXPECT_EQ(Window->FrmDebug->Memo->toPlainText().contains(TConnection::SaveBlockLostText), c.blocked);
        if (c.stopRetrying) {
            Window->Connection->StopRetryButton->click();
            EXPECT_EQ(Reporter.Errors, QStringList{TConnection::SaveBlockLostText});
            EXPECT_TRUE(Status().endsWith("(no longer retrying)")) << Status().toStdString();
            continue;
        }

        // The same instrument back on its port has no session: the window says it ended, and
        // that the changes held back were not saved.
        Cfg.TcpPort = port;
        StartSim();
        Sim->OnLog = heard;
        const QString status = c.blocked ? TConnection::SaveBlockLostStatus : TConnection::SessionLostText;
        ASSERT_TRUE(PumpUntil([&] { return Status() == status; }, 10000)) << Status().toStdString();
        EXPECT_FALSE(Sim->Instrument().SessionOpen);
        showsNoSession();
        EXPECT_TRUE(Window->StartSession->isEnabled());
        EXPECT_TRUE(PumpUntil(
            [&] { return Window->StatusPanel0->isEnabled() && Window->StatusPanel1->isEnabled(); }));
        EXPECT_EQ(Reporter.Errors, c.blocked ? QStringList{TConnection::SaveBlockLostText} : QStringList{});

        // Disconnecting sends no save to the instrument that has no session.
        Window->Connect2->trigger();
        ASSERT_TRUE(PumpUntil([&] { return !Window->Engine->LinkOpen(); }));
        EXPECT_EQ(saves, 0);
        Sim.reset();
    }
}

TEST_F(ReconnectTest, ALinkThatNeverOpenedIsSaidOnceAndNotRetried)
{
    TFrmMain *w = Window.get();
    // A loopback port nobody listens on any more.
    quint16 port = 0;
    {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        port = server.serverPort();
    }
    auto socket = std::make_unique<TIOIfaceSocket>();
    socket->SetHostText("127.0.0.1");
    socket->SetPort(port);
    w->ConnectWith(TConnectionChoice{std::move(socket), 0, 0});
    ASSERT_TRUE(PumpUntil([&] { return !Reporter.Errors.isEmpty(); }));
    PumpUntil([] { return false; }, 50); // a second box would come meanwhile
    ASSERT_EQ(Reporter.Errors.size(), 1) << Reporter.Errors.join('\n').toStdString();
    EXPECT_TRUE(Reporter.Errors[0].startsWith(QString("The connection to 127.0.0.1:%1 failed: ").arg(port)))
        << Reporter.Errors[0].toStdString();
    EXPECT_FALSE(w->Engine->LinkOpen());
    EXPECT_FALSE(w->Connection->Retrying());
    EXPECT_FALSE(w->Connection->StopRetryButton->isVisibleTo(w));
    EXPECT_EQ(w->ToolButton4->text(), "&Connect");
}

TEST_F(ReconnectTest, ConnectDuringTheAttemptsTakesOver)
{
    struct Case {
        const char *name;
        bool chooses; // the connection dialog gives a new link (else it is cancelled)
    };
    // The instruments answer for as long as the window may send to them.
    std::vector<std::unique_ptr<TScriptedInstrument>> instruments;
    for (const Case &c : {Case{"dialog cancelled", false}, Case{"another link chosen", true}}) {
        SCOPED_TRACE(c.name);
        TFrmMain *w = Window.get();
        // The attempts wait for the test: none reopens the dropped link meanwhile.
        w->Connection->RetryTimer->setInterval(60000);
        auto link = std::make_unique<TFakeLink>();
        TFakeLink *fake = link.get();
        instruments.push_back(std::make_unique<TScriptedInstrument>(fake));
        instruments.back()->Registers = {
            {0x0005, "000004D2"}, {0x0003, "VX200"}, {0x0004, "1.05"}, {0x0001, "00"}};
        w->ConnectWith(TConnectionChoice{std::move(link), 0, 0});
        ASSERT_TRUE(w->Engine->LinkOpen());
        fake->DropConnection();
        ASSERT_TRUE(PumpUntil([&] { return w->Connection->Retrying(); }));
        EXPECT_EQ(w->statusBar()->currentMessage(), "Connection lost: fake");

        TFakeLink *chosen = nullptr;
        int dialogs = 0;
        w->Hooks.RunConnectionDialog = [&]() -> std::optional<TConnectionChoice> {
            ++dialogs;
            if (!c.chooses)
                return std::nullopt;
            auto next = std::make_unique<TFakeLink>();
            chosen = next.get();
            instruments.push_back(std::make_unique<TScriptedInstrument>(chosen));
            instruments.back()->Registers = {
                {0x0005, "00000929"}, {0x0003, "VX200"}, {0x0004, "1.05"}, {0x0001, "00"}};
            return TConnectionChoice{std::move(next), 0, 0};
        };
        w->Connect2->trigger();
        EXPECT_EQ(dialogs, 1);
        EXPECT_FALSE(w->Connection->Retrying());
        EXPECT_FALSE(w->Connection->StopRetryButton->isVisibleTo(w));
        EXPECT_EQ(w->Engine->LinkOpen(), c.chooses);
        if (c.chooses) {
            // The new instrument is taken as the user's choice, not refused as another one.
            EXPECT_EQ(w->Engine->Link(), chosen);
            EXPECT_TRUE(w->IdentPanel->Text().startsWith("SN: 2345")) << w->IdentPanel->Text().toStdString();
            EXPECT_EQ(w->statusBar()->currentMessage(), "");
        }
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    }
    Window.reset();
}

} // namespace

// A spell of silence on the identification is no unknown instrument, and the stores stay listed:
// they are the PC's files. The silence is said once, in a box and in the status bar.
TEST_F(ReconnectTest, ASilentSpellNeitherCallsTheInstrumentUnknownNorHidesTheStores)
{
    Cfg.TcpPort = 0;
    StartSim();
    ConnectTcp();
    QFile earlier(Window->DataStoreTab->Store.Layout.DsdIsnToDataStoreName("7654321"));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.close();
    QStringList statuses;
    QObject::connect(Window->statusBar(), &QStatusBar::messageChanged,
                     [&](const QString &text) { statuses << text; });
    TVornSimConfig faults = Sim->Config();
    faults.DropOnRegister = 0x0001;
    faults.DropOnTimes = 1000;
    Sim->SetFaults(faults);
    Reporter.Errors.clear();
    Window->PgCMain->setCurrentWidget(Window->TSDataStore);
    QComboBox *stores = Window->DataStoreTab->DsdIsn;
    EXPECT_EVENTUALLY(stores->findText("7654321", Qt::MatchEndsWith) >= 0);
    EXPECT_EVENTUALLY(statuses.contains("Instrument not responding"));
    for (const QString &e : Reporter.Errors) {
        EXPECT_FALSE(e.contains("Unknown")) << e.toStdString();
        EXPECT_FALSE(e.contains("Com Port")) << e.toStdString();
    }
    EXPECT_EQ(Reporter.Errors.count("Instrument not responding"), 1);
}
