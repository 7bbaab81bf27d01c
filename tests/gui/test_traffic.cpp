// The settings-transfer dialog on the main window's link: every line answered, a line never
// answered, and Cancel, Escape or the close box.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "link/transact.h"
#include "link/ui/trafficdlg.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace
{

class TrafficTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        Window = CreateMainWindow(*Config, {}, &Reporter);
        ASSERT_TRUE(Window);
        Window->Engine->SetTickInterval(2);
        Window->FrmTraffic->Transfer.SetStepInterval(1);
        auto link = std::make_unique<TFakeLink>();
        Link = link.get();
        Instrument = std::make_unique<TScriptedInstrument>(Link);
        Instrument->Registers = {{0x0005, "000004D2"}, {0x0003, "VX200"}, {0x0004, "1.05"}, {0x0001, "00"}};
        Window->ConnectWith(TConnectionChoice{std::move(link), 0, 0});
        Window->Engine->SetReplyRoute(RouteDisplay);
        Link->Sent.clear();
    }
    QList<QByteArray> SentTexts() const
    {
        QList<QByteArray> texts;
        for (const QByteArray &frame : Link->Sent)
            texts << FrameText(frame);
        return texts;
    }
    TProgramFolder Folder;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
    std::unique_ptr<TFrmMain> Window;
    TFakeLink *Link = nullptr;
    std::unique_ptr<TScriptedInstrument> Instrument;
};

TEST_F(TrafficTest, AnsweredLinesGoOutOnceEachAndTheRouteIsRestored)
{
    for (int reg : {0x1201, 0x1206, 0x1207})
        Instrument->Registers.insert(reg, "");
    const QList<QByteArray> lines{"20121201:01", "20121206:02", "20121207:00"};
    EXPECT_TRUE(Window->FrmTraffic->Run(lines, "Write Settings to Instrument"));
    EXPECT_EQ(Window->FrmTraffic->windowTitle(), "Write Settings to Instrument");
    QList<QByteArray> transfer;
    for (const QByteArray &t : SentTexts())
        if (lines.contains(t))
            transfer << t;
    EXPECT_EQ(transfer, lines);
    EXPECT_EQ(Window->FrmTraffic->PBprogress->value(), 3);
    EXPECT_EQ(Window->Engine->ReplyRoute(), RouteDisplay);
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(TrafficTest, ALineNeverAnsweredIsSentFourTimesThenTheTransferGivesUp)
{
    EXPECT_FALSE(Window->FrmTraffic->Run({"20121201:01", "20121206:02"}, "Write Settings to Instrument"));
    EXPECT_EQ(SentTexts().count("20121201:01"), 4);
    EXPECT_EQ(SentTexts().count("20121206:02"), 0);
    EXPECT_EQ(Reporter.Errors, QStringList{"Instrument not Responding"});
    EXPECT_EQ(Window->Engine->ReplyRoute(), RouteDisplay);
}

TEST_F(TrafficTest, CancelEndsTheTransfer)
{
    Window->FrmTraffic->Transfer.SetStepInterval(20);
    QTimer::singleShot(50, Window->FrmTraffic->btnCancel, &QPushButton::click);
    EXPECT_FALSE(Window->FrmTraffic->Run({"20121201:01"}, "Write Settings to Instrument"));
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(TrafficTest, EnterDoesNotCancelTheTransfer)
{
    QList<QByteArray> lines;
    for (int reg = 0x1201; reg <= 0x1210; ++reg) {
        Instrument->Registers.insert(reg, "");
        lines << "2012" + QByteArray::number(reg, 16).toUpper() + ":01";
    }
    TFrmTraffic *dialog = Window->FrmTraffic;
    dialog->Transfer.SetStepInterval(20);
    bool pressed = false;
    QTimer::singleShot(50, dialog, [&] {
        // Cancel has the focus, as after a click elsewhere in the dialog.
        dialog->btnCancel->setFocus();
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(dialog->btnCancel, static_cast<Qt::Key>(key));
            QTest::keyClick(dialog, static_cast<Qt::Key>(key));
        }
        pressed = dialog->Transfer.Running;
    });
    EXPECT_TRUE(dialog->Run(lines, "Write Settings to Instrument"));
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(dialog->Transfer.Cancelled);
    EXPECT_EQ(dialog->Transfer.Done, lines.size());
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(TrafficTest, EscapeAndTheCloseBoxCancelTheTransferLikeCancel)
{
    const QList<std::pair<const char *, std::function<void(TFrmTraffic *)>>> ways{
        {"Escape", [](TFrmTraffic *d) { QTest::keyClick(d, Qt::Key_Escape); }},
        {"close box", [](TFrmTraffic *d) { d->close(); }},
    };
    Window->FrmTraffic->Transfer.SetStepInterval(20);
    for (const auto &[name, close] : ways) {
        Link->Sent.clear();
        TFrmTraffic *dialog = Window->FrmTraffic;
        QTimer::singleShot(50, dialog, [&, close = close] { close(dialog); });
        EXPECT_FALSE(dialog->Run({"20121201:01", "20121206:02"}, "Write Settings to Instrument")) << name;
        EXPECT_FALSE(dialog->Transfer.Running) << name;
        EXPECT_TRUE(dialog->Transfer.Messages.isEmpty()) << name;
        EXPECT_EQ(Window->Engine->ReplyRoute(), RouteDisplay) << name;
        // Nothing more goes out after the dialog has gone: no resend, no giving up.
        for (int step = 0; step < 4 * (TSettingsTransfer::StepsPerAttempt + 1); ++step)
            dialog->Transfer.Step();
        EXPECT_LE(SentTexts().count("20121201:01"), 1) << name;
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << name;
    }
}

} // namespace
