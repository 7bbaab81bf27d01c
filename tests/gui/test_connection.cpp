// The main window's connection: a link that never opened is said once in a box and not retried,
// and Connect pressed while a lost link is retried takes over from the attempts.
#include "gui_support.h"

#include "link/IOIface.h"
#include "link/transact.h"
#include "shell/ui/connection.h"
#include "shell/ui/identpanel.h"

#include <QAction>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace
{

class ConnectionTest : public ::testing::Test
{
protected:
    std::unique_ptr<TFrmMain> Start()
    {
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        auto window = CreateMainWindow(*Config, {}, &Reporter);
        if (window) {
            window->Engine->SetTickInterval(2);
            window->Connection->RetryTimer->setInterval(60000);
        }
        return window;
    }

    TProgramFolder Folder;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
};

TEST_F(ConnectionTest, ALinkThatNeverOpenedIsSaidOnceAndNotRetried)
{
    auto w = Start();
    ASSERT_TRUE(w);
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
    EXPECT_FALSE(w->Connection->StopRetryButton->isVisibleTo(w.get()));
    EXPECT_EQ(w->ToolButton4->text(), "&Connect");
}

TEST_F(ConnectionTest, ConnectDuringTheAttemptsTakesOver)
{
    struct Case {
        const char *name;
        bool chooses; // the connection dialog gives a new link (else it is cancelled)
    };
    for (const Case &c : {Case{"dialog cancelled", false}, Case{"another link chosen", true}}) {
        SCOPED_TRACE(c.name);
        Reporter.Errors.clear();
        auto w = Start();
        ASSERT_TRUE(w);
        auto link = std::make_unique<TFakeLink>();
        TFakeLink *fake = link.get();
        TScriptedInstrument instrument(fake);
        instrument.Registers = {{0x0005, "000004D2"}, {0x0003, "VX200"}, {0x0004, "1.05"}, {0x0001, "00"}};
        w->ConnectWith(TConnectionChoice{std::move(link), 0, 0});
        ASSERT_TRUE(w->Engine->LinkOpen());
        fake->DropConnection();
        ASSERT_TRUE(PumpUntil([&] { return w->Connection->Retrying(); }));
        EXPECT_EQ(w->statusBar()->currentMessage(), "Connection lost: fake");

        TFakeLink *chosen = nullptr;
        std::unique_ptr<TScriptedInstrument> other;
        int dialogs = 0;
        w->Hooks.RunConnectionDialog = [&]() -> std::optional<TConnectionChoice> {
            ++dialogs;
            if (!c.chooses)
                return std::nullopt;
            auto next = std::make_unique<TFakeLink>();
            chosen = next.get();
            other = std::make_unique<TScriptedInstrument>(chosen);
            other->Registers = {{0x0005, "00000929"}, {0x0003, "VX200"}, {0x0004, "1.05"}, {0x0001, "00"}};
            return TConnectionChoice{std::move(next), 0, 0};
        };
        w->Connect2->trigger();
        EXPECT_EQ(dialogs, 1);
        EXPECT_FALSE(w->Connection->Retrying());
        EXPECT_FALSE(w->Connection->StopRetryButton->isVisibleTo(w.get()));
        EXPECT_EQ(w->Engine->LinkOpen(), c.chooses);
        if (c.chooses) {
            // The new instrument is taken as the user's choice, not refused as another one.
            EXPECT_EQ(w->Engine->Link(), chosen);
            EXPECT_TRUE(w->IdentPanel->Text().startsWith("SN: 2345")) << w->IdentPanel->Text().toStdString();
            EXPECT_EQ(w->statusBar()->currentMessage(), "");
        }
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    }
}

} // namespace
