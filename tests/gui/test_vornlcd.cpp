// The front-panel mimic against the simulated instrument: keys written to register 8 with short
// and long presses, the long-press feedback, the polled display drawn readably on the glass,
// blanking when the instrument falls silent, and the panel picture's decoding.
#include "display/ui/FrontPanel.h"
#include "display/ui/PictureFile.h"
#include "display/ui/VornLCD.h"
#include "fake_link.h"
#include "lcd_support.h"
#include "vornsim.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

namespace
{

// One program folder for the whole suite: the map is composed once and then read from its cache.
QTemporaryDir &SharedDir()
{
    static std::unique_ptr<QTemporaryDir> dir = MakeProgramDir(true);
    return *dir;
}

QPoint KeyCentre(const QWidget &w, int key)
{
    const TLcdKey &r = VornKeys()[size_t(key)].Rect;
    return QPoint((r.Left + r.Right) / 2 * w.width() / 1000, (r.Top + r.Bottom) / 2 * w.height() / 1000);
}

class MimicTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TVornSimConfig cfg;
        cfg.TcpPort = 0;
        Sim = std::make_unique<TVornSim>(cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        auto link = std::make_unique<TIOIfaceSocket>();
        link->SetHostText(QStringLiteral("127.0.0.1"));
        link->SetPort(Sim->Port());
        Engine.SetLink(std::move(link));
        Engine.Reporter = &Reporter;
        Engine.SetTickInterval(2);
        Engine.TimeoutTicks = 50;
        Engine.Link()->Open();
        ASSERT_TRUE(PumpUntil([this] { return Engine.LinkOpen(); }));

        Display = std::make_unique<TVornLCD>(nullptr, SharedDir().path());
        Display->resize(1000, 491);
        Display->SetPictureFile(QStringLiteral("panel.jpg"));
        Display->show();
        Cal = std::make_unique<TVornLCD>(nullptr, SharedDir().path());
        Cal->resize(500, 245);
        Cal->SetPictureFile(QStringLiteral("panel.jpg"));
        Cal->show();
        Display->Paint(); // what the first paint event does
        Cal->Paint();
        Display->Buttons->Clock = [this] { return Now; };
        Cal->Buttons->Clock = [this] { return Now; };
        Panel = std::make_unique<TFrontPanel>(&Engine);
        Panel->Beep = [this] { ++Beeps; };
        Panel->SetLongPressCursor = [this](bool on) { Cursor << on; };
        Panel->SetMimics(Display.get(), Cal.get());
    }
    void TearDown() override
    {
        Panel.reset();
        Engine.SetReplyRoute(RouteNone);
    }
    // A click on a key of a mimic held for heldMs of the injected clock.
    void Click(TVornLCD &mimic, int key, int heldMs)
    {
        QTest::mousePress(&mimic, Qt::LeftButton, {}, KeyCentre(mimic, key));
        Now += heldMs;
        QTest::mouseRelease(&mimic, Qt::LeftButton, {}, KeyCentre(mimic, key));
    }
    TLcdStates InstrumentStates()
    {
        // Asked directly, as the instrument would answer a poll: "00110009:" and the value.
        TLcdStates s{};
        const QByteArray reply = Sim->Instrument().Request("20110009:");
        EXPECT_TRUE(DecodeDisplayValue(reply.mid(reply.indexOf(':') + 1), s)) << reply.constData();
        return s;
    }

    std::unique_ptr<TVornSim> Sim;
    TTransactionEngine Engine;
    TRecordingReporter Reporter;
    std::unique_ptr<TVornLCD> Display, Cal;
    std::unique_ptr<TFrontPanel> Panel;
    qint64 Now = 0;
    int Beeps = 0;
    QList<bool> Cursor;
};

} // namespace

TEST_F(MimicTest, ShortAndLongPressesWriteTheKeyCodeToRegister8)
{
    QSignalSpy sent(Panel.get(), &TFrontPanel::KeySent);
    Click(*Display, 1, 500);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0][0].toInt(), 0x0B);
    EXPECT_TRUE(sent[0][1].toBool());
    EXPECT_EQ(Sim->Instrument().LastKey, 0x0B);

    Click(*Display, 1, 2000);
    EXPECT_EQ(Sim->Instrument().LastKey, 0x8B);
    Click(*Display, 20, 1999); // the keypad's 0
    EXPECT_EQ(Sim->Instrument().LastKey, 0x00);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join("; ").toStdString();
}

TEST_F(MimicTest, KeyZeroSendsNothingAndTheCalibrationMimicSendsItsKeys)
{
    const int64_t before = Engine.FramesSent;
    Click(*Display, 0, 300);
    QTest::qWait(20);
    EXPECT_EQ(Engine.FramesSent, before);
    EXPECT_EQ(Sim->Instrument().LastKey, -1);
    const QImage calBefore = Cal->Canvas;
    QTest::mousePress(Cal.get(), Qt::LeftButton, {}, KeyCentre(*Cal, 1));
    EXPECT_NE(Cal->Canvas, calBefore); // shaded
    Now += 2500;
    QTest::mouseRelease(Cal.get(), Qt::LeftButton, {}, KeyCentre(*Cal, 1));
    EXPECT_EQ(Cal->Canvas, calBefore);
    EXPECT_EQ(Sim->Instrument().LastKey, 0x8B); // held long: a long ZERO
}

TEST_F(MimicTest, HeldKeyBeepsAndShowsTheDragCursorUntilReleased)
{
    Panel->tmrButton.setInterval(10); // 2000 ms in the program
    QTest::mousePress(Display.get(), Qt::LeftButton, {}, KeyCentre(*Display, 3));
    EXPECT_TRUE(Panel->tmrButton.isActive());
    ASSERT_TRUE(PumpUntil([this] { return Beeps >= 2; }));
    EXPECT_EQ(Cursor, QList<bool>{true}); // changed once, not per beep
    Now += 4000;
    QTest::mouseRelease(Display.get(), Qt::LeftButton, {}, KeyCentre(*Display, 3));
    EXPECT_FALSE(Panel->tmrButton.isActive());
    EXPECT_EQ(Cursor, (QList<bool>{true, false}));
    const int beeps = Beeps;
    QTest::qWait(40);
    EXPECT_EQ(Beeps, beeps);
    EXPECT_EQ(Sim->Instrument().LastKey, 0x8D);
    // A quick press never changes the cursor.
    Cursor.clear();
    Click(*Display, 3, 100);
    EXPECT_TRUE(Cursor.isEmpty());
}

TEST_F(MimicTest, PolledDisplayReachesTheMimicOfTheActiveTabAndKeysChangeIt)
{
    Engine.SetReplyRoute(RouteDisplay);
    ASSERT_TRUE(PumpUntil([this] { return !LitEntries(Display->LCD->States).empty(); }));
    EXPECT_EQ(Display->LCD->States, InstrumentStates());
    EXPECT_TRUE(LitEntries(Cal->LCD->States).empty());

    // Tare: the display changes to the net reading.
    Click(*Display, 2, 300);
    const TLcdStates tared = InstrumentStates();
    ASSERT_TRUE(PumpUntil([&] { return Display->LCD->States == tared; }));
    EXPECT_TRUE(EntryLit(tared, VornEntryOfMask(VornSymNet)));

    Engine.SetReplyRoute(RouteCalibration);
    ASSERT_TRUE(PumpUntil([&] { return Cal->LCD->States == tared; }));
}

TEST_F(MimicTest, RenderedWeightLightsExactlyTheSegmentsOfItsDigits)
{
    Engine.SetReplyRoute(RouteDisplay);
    ASSERT_TRUE(PumpUntil([this] { return !LitEntries(Display->LCD->States).empty(); }));
    Engine.SetReplyRoute(RouteNone);
    const QImage canvas = Display->Canvas;
    const QRect glass = Display->LCDRect();
    const TLumLCD &lcd = *Display->LCD;
    ASSERT_EQ(lcd.ScaledMap.Width, glass.width());

    // The simulator shows 12.50 (kg) right-aligned in the six large characters.
    const char *expected[6] = {" ", " ", "1", "2", "5", "0"};
    const auto &chars = VornCharacters(VornLarge);
    for (int i = 0; i < 6; ++i) {
        std::set<int> all, needed;
        const uint16_t glyph = SevenSegmentGlyph(expected[i][0]);
        for (int letter = 0; letter < 10; ++letter) {
            const int e = chars[size_t(i)].Entries[size_t(letter)];
            if (e < 0)
                continue;
            const int number = LcdSegmentNumber(LcdEntryDigit(e), LcdEntryBit(e));
            all.insert(number);
            if (((glyph >> letter) & 1) || (letter == SegH && i == 3))
                needed.insert(number);
        }
        int lit = 0, want = 0;
        for (int x = 0; x < glass.width(); ++x)
            for (int y = 0; y < glass.height(); ++y) {
                const int v = lcd.ScaledMap.At(x, y);
                const bool black = (canvas.pixel(glass.x() + x, glass.y() + y) & 0xFFFFFF) == 0;
                lit += all.count(v) && black;
                want += needed.count(v);
            }
        EXPECT_EQ(lit, want) << "character " << i;
        if (expected[i][0] != ' ') {
            EXPECT_GT(lit, 300) << "character " << i; // readable, not a speck
        }
    }
}

TEST_F(MimicTest, ShortValuesChangeNothingAndResizesReadTheCache)
{
    TLcdStates s{};
    VornShowText(s, VornLarge, "42");
    Panel->ShowInstrumentDisplay(Display.get(), EncodeDisplayValue(s));
    EXPECT_EQ(Display->LCD->States, s);
    Panel->ShowInstrumentDisplay(Display.get(), EncodeDisplayValue(TLcdStates{}).left(105));
    EXPECT_EQ(Display->LCD->States, s);

    const int composed = Display->LCD->MapsComposed, loads = Display->LCD->CacheLoads;
    Display->resize(800, 393);
    Display->DrawLCD();
    EXPECT_EQ(Display->Canvas.size(), QSize(800, 393));
    EXPECT_EQ(Display->LCD->ScaledMap.Width, 800 * VornLCDWidth / 1000);
    EXPECT_EQ(Display->LCD->MapsComposed, composed);
    EXPECT_EQ(Display->LCD->CacheLoads, loads + 1);
    Panel->BlankDisplayMimic(Display.get());
    EXPECT_TRUE(LitEntries(Display->LCD->States).empty());
}

TEST(MimicSilence, NoReplyWithinTheTimeoutBlanksBothMimics)
{
    TTransactionEngine engine;
    auto link = std::make_unique<TFakeLink>();
    TFakeLink *fake = link.get();
    engine.SetLink(std::move(link));
    engine.SetTickInterval(2);
    engine.TimeoutTicks = 10;
    fake->Open();
    TVornLCD display(nullptr, SharedDir().path()), cal(nullptr, SharedDir().path());
    display.resize(400, 196);
    cal.resize(300, 147);
    display.show();
    cal.show();
    TFrontPanel panel(&engine);
    panel.SetMimics(&display, &cal);
    engine.OnPollTimeout = [&] { panel.BlankBoth(); };
    TLcdStates s{};
    VornShowText(s, VornLarge, "88");
    bool answer = true;
    fake->Responder = [&](const QByteArray &frame) {
        if (answer)
            fake->Deliver(CrcFrame("00110009:" + EncodeDisplayValue(s)));
        (void)frame;
    };
    engine.SetReplyRoute(RouteDisplay);
    ASSERT_TRUE(PumpUntil([&] { return display.LCD->States == s; }));
    panel.ShowInstrumentDisplay(&cal, EncodeDisplayValue(s));
    answer = false;
    ASSERT_TRUE(PumpUntil([&] { return LitEntries(display.LCD->States).empty(); }));
    EXPECT_TRUE(LitEntries(cal.LCD->States).empty());
    // The glass is drawn unlit at once.
    const QRect glass = display.LCDRect();
    EXPECT_EQ(display.Canvas.pixel(glass.center()) & 0xFFFFFF, 0xBDFF24u);
}

TEST(PanelPicture, ShippedPictureDecodesAndDamagedOnesAreRefused)
{
    QString error;
    const QImage panel = LoadPictureFile(QStringLiteral(BRELLIN_BIN_DIR "/panel.jpg"), &error);
    ASSERT_FALSE(panel.isNull()) << error.toStdString();
    EXPECT_EQ(panel.size(), QSize(VornPanelWidth, VornPanelHeight));
    // The glass lies exactly at the LCD rectangle: backlit green inside, dark bezel around.
    const QRect glass(VornPanelWidth * VornLCDLeft / 1000, VornPanelHeight * VornLCDTop / 1000,
                      VornPanelWidth * VornLCDWidth / 1000, VornPanelHeight * VornLCDHeight / 1000);
    EXPECT_GT(qGreen(panel.pixel(glass.center())), 200);
    EXPECT_LT(qGreen(panel.pixel(glass.topLeft() - QPoint(8, 8))), 60);

    QFile f(QStringLiteral(BRELLIN_BIN_DIR "/panel.jpg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    for (const QByteArray &bad : {bytes.left(2), bytes.left(600), QByteArray("\xFF\xD8\xFF garbage", 12)}) {
        QString why;
        const QImage img = DecodeJpeg(bad, &why);
        // A cut file may decode partly (libjpeg pads it) but never crashes; garbage is refused.
        if (img.isNull()) {
            EXPECT_FALSE(why.isEmpty());
        }
    }
    EXPECT_TRUE(DecodeJpeg("\xFF\xD8\xFF garbage", &error).isNull());
    EXPECT_TRUE(LoadPictureFile(QStringLiteral("/nonexistent/panel.jpg"), &error).isNull());
    EXPECT_FALSE(error.isEmpty());

    // A mimic without its picture says so once and still draws its glass.
    TVornLCD mimic(nullptr, SharedDir().path());
    QSignalSpy failed(&mimic, &TLumMimic::Failed);
    mimic.resize(300, 147);
    mimic.SetPictureFile(QStringLiteral("missing.jpg"));
    mimic.Paint();
    EXPECT_EQ(failed.size(), 1);
    EXPECT_EQ(mimic.Canvas.pixel(mimic.LCDRect().center()) & 0xFFFFFF, 0xBDFF24u);
}
