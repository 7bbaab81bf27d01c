// The main window's front panel against the simulated instrument: the Display tab shows the polled
// weight, its keys reach the instrument (every press, a refusal said in the status bar), the
// Calibration tab's copy follows its own route and sends its keys too, both blank on disconnect,
// and both keep the picture's aspect in any window size.
#include "base/dmViewer.h"
#include "display/VornTables.h"
#include "display/ui/FrontPanel.h"
#include "display/ui/VornLCD.h"
#include "gui_support.h"
#include "link/transact.h"
#include "settings/device.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "simmodel.h"
#include "vornsim.h"

#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

class MainMimicTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder.CopyShippedPanel();

        TVornSimConfig cfg;
        cfg.TcpPort = 0;
        Sim = std::make_unique<TVornSim>(cfg);
        ASSERT_TRUE(Sim->Start());
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        Window = CreateMainWindow(*Config, {}, &Reporter);
        ASSERT_TRUE(Window);
        Window->Engine->SetTickInterval(2);
        Window->resize(1000, 700);
        Window->show();
    }
    // The centre of key k on a mimic, in its own pixels.
    static QPoint KeyPoint(const TVornLCD *mimic, int k)
    {
        const TLcdKey &r = VornKeys()[size_t(k)].Rect;
        return QPoint((r.Left + r.Right) / 2 * mimic->width() / 1000,
                      (r.Top + r.Bottom) / 2 * mimic->height() / 1000);
    }
    void Connect()
    {
        auto link = std::make_unique<TIOIfaceSocket>();
        link->SetHostText("127.0.0.1");
        link->SetPort(Sim->Port());
        Window->ConnectWith(TConnectionChoice{std::move(link), 0, 0});
        ASSERT_TRUE(PumpUntil([&] { return Window->Engine->LinkOpen(); }));
    }

    TProgramFolder Folder;
    std::unique_ptr<TVornSim> Sim;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
    std::unique_ptr<TFrmMain> Window;
};

} // namespace

TEST_F(MainMimicTest, DisplayTabShowsTheWeightAndItsKeysReachTheInstrument)
{
    Connect();
    TVornLCD *mimic = Window->DisplayMimic;
    ASSERT_TRUE(PumpUntil([&] { return EntryLit(mimic->LCD->States, VornEntryOfMask(VornSymKg)); }));
    TLcdStates expected{};
    VornShowText(expected, VornLarge, "12.50");
    for (const TVornCharacter &c : VornCharacters(VornLarge))
        for (int e : c.Entries)
            if (e >= 0) {
                EXPECT_EQ(EntryLit(mimic->LCD->States, e), EntryLit(expected, e)) << e;
            }
    EXPECT_TRUE(LitEntries(Window->CalMimic->LCD->States).empty());

    // Tare from the pictured key: the instrument goes to net and the glass follows.
    const QRect r = mimic->rect();
    const TLcdKey &tare = VornKeys()[2].Rect;
    const QPoint p((tare.Left + tare.Right) / 2 * r.width() / 1000,
                   (tare.Top + tare.Bottom) / 2 * r.height() / 1000);
    QTest::mouseClick(mimic, Qt::LeftButton, {}, p);
    EXPECT_EQ(Sim->Instrument().LastKey, 0x0C);
    ASSERT_TRUE(PumpUntil([&] { return EntryLit(mimic->LCD->States, VornEntryOfMask(VornSymNet)); }));
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join("; ").toStdString();

    // Disconnecting blanks both mimics.
    Window->Connect2Click();
    ASSERT_TRUE(PumpUntil([&] { return !Window->Engine->LinkOpen(); }));
    EXPECT_TRUE(LitEntries(mimic->LCD->States).empty());
    EXPECT_TRUE(LitEntries(Window->CalMimic->LCD->States).empty());
}

TEST_F(MainMimicTest, CalibrationTabFeedsItsOwnMimicAndItsKeysWork)
{
    Connect();
    Window->PgCMain->setTabVisible(Window->PgCMain->indexOf(Window->TSCalibration), true);
    Window->PgCMain->setCurrentWidget(Window->TSCalibration);
    TVornLCD *cal = Window->CalMimic;
    ASSERT_TRUE(PumpUntil([&] { return !LitEntries(cal->LCD->States).empty(); }));
    QTest::mouseClick(cal, Qt::LeftButton, {}, KeyPoint(cal, 1));
    EXPECT_EQ(Sim->Instrument().LastKey, VornKeyZero);
    ASSERT_TRUE(PumpUntil([&] { return EntryLit(cal->LCD->States, VornEntryOfMask(VornSymZero)); }));
}

TEST_F(MainMimicTest, EveryPressCountsADoubleClickAndAClickDuringTheWaitIncluded)
{
    Connect();
    TVornLCD *mimic = Window->DisplayMimic;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    const QPoint gn = mimic->mapTo(Window.get(), KeyPoint(mimic, 3)); // G/N
    // A click beside the keys first: the window system's idea of the button is then up.
    QTest::mouseClick(Window->windowHandle(), Qt::LeftButton, {}, mimic->mapTo(Window.get(), QPoint(2, 2)));
    int taken = 0;
    QObject::connect(Window->FrontPanel, &TFrontPanel::KeySent, Window.get(),
                     [&](int code, bool accepted) { taken += code == VornKeyGrossNet && accepted; });
    QTest::mouseDClick(Window->windowHandle(), Qt::LeftButton, {}, gn);
    EXPECT_TRUE(PumpUntil([&] { return taken == 2; })) << taken;

    // A click that comes while the previous key still waits for its answer is sent after it.
    QTimer::singleShot(0, Window.get(),
                       [&] { QTest::mouseClick(Window->windowHandle(), Qt::LeftButton, {}, gn); });
    QTest::mouseClick(Window->windowHandle(), Qt::LeftButton, {}, gn);
    EXPECT_TRUE(PumpUntil([&] { return taken == 4; })) << taken;
    QTest::qWait(20);
    EXPECT_EQ(taken, 4);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join("; ").toStdString();
}

TEST_F(MainMimicTest, ARefusedKeyIsSaidInTheStatusBarWithoutABox)
{
    Connect();
    TSimWeight &weight = Sim->Instrument().Weight();
    weight.MotionMs = 600000; // the weight keeps moving for the whole test
    weight.SetLoad(3000, Sim->Instrument().NowMs());
    TVornLCD *mimic = Window->DisplayMimic;
    QTest::mouseClick(mimic, Qt::LeftButton, {}, KeyPoint(mimic, 1)); // ZERO
    EXPECT_EQ(Sim->Instrument().LastKey, VornKeyZero);
    EXPECT_EQ(Window->statusBar()->currentMessage(),
              "The instrument refused the ZERO key: Illegal Operation");
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join("; ").toStdString();
    // An accepted key leaves the status bar alone.
    Window->statusBar()->clearMessage();
    QTest::mouseClick(mimic, Qt::LeftButton, {}, KeyPoint(mimic, 3));
    EXPECT_EQ(Sim->Instrument().LastKey, VornKeyGrossNet);
    EXPECT_TRUE(Window->statusBar()->currentMessage().isEmpty());
}

TEST_F(MainMimicTest, MimicsKeepThePictureAspectAndDrawTheirGlassAtEverySize)
{
    Connect();
    ASSERT_TRUE(PumpUntil([&] { return !LitEntries(Window->DisplayMimic->LCD->States).empty(); }));
    for (QSize size : {QSize(1000, 640), QSize(1300, 800), QSize(700, 600)}) {
        Window->resize(size);
        QTest::qWait(20);
        TVornLCD *m = Window->DisplayMimic;
        EXPECT_NEAR(m->height(), m->width() * 491 / 1000, 1) << size.width() << "x" << size.height();
        // The glass is rebuilt for the new size from the cache and shows the reading.
        m->DrawLCD();
        EXPECT_EQ(m->Canvas.size(), m->size());
        EXPECT_EQ(m->LCD->ScaledMap.Width, m->LCDRect().width());
        EXPECT_EQ(m->LCD->MapsComposed, 1);
    }
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join("; ").toStdString();
}
