// The pictured keys: hit tests through real mouse events, shading by AND with the ellipse and
// its exact removal, held times from an injected clock, and presses that interrupt each other.
#include "display/VornTables.h"
#include "display/ui/LumLCDButtons.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace
{

class ButtonsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Mimic.resize(1000, 491);
        Canvas = QImage(Mimic.size(), QImage::Format_RGB32);
        Canvas.fill(qRgb(0x50, 0xA0, 0xF0));
        Original = Canvas;
        for (int i = 0; i < VornKeyCount; ++i)
            Buttons.Keys[size_t(i)] = VornKeys()[size_t(i)].Rect;
        Buttons.KeyCount = VornKeyCount;
        Buttons.Clock = [this] { return Now; };
        Buttons.OnButtonDown = [this](TLumLCDButtons *, int k) { Log << QStringLiteral("down %1").arg(k); };
        Buttons.OnButtonUp = [this](TLumLCDButtons *, int k) { Log << QStringLiteral("up %1").arg(k); };
        Buttons.OnButtonPressed = [this](TLumLCDButtons *, int k, int held) {
            Log << QStringLiteral("pressed %1 %2").arg(k).arg(held);
        };
        Buttons.Attach(&Mimic, &Canvas);
    }
    // The centre of key k in pixels of the mimic.
    QPoint Centre(int k) const
    {
        const TLcdKey &r = VornKeys()[size_t(k)].Rect;
        return QPoint((r.Left + r.Right) / 2 * Mimic.width() / 1000,
                      (r.Top + r.Bottom) / 2 * Mimic.height() / 1000);
    }
    QWidget Mimic;
    QImage Canvas, Original;
    TLumLCDButtons Buttons;
    qint64 Now = 1000;
    QStringList Log;
};

} // namespace

TEST_F(ButtonsTest, PressShadesTheKeyAndReleaseOffTheKeyRestoresItAndReportsTheFullTime)
{
    QTest::mousePress(&Mimic, Qt::LeftButton, {}, Centre(1));
    EXPECT_EQ(Log, QStringList{"down 1"});
    EXPECT_EQ(Buttons.PressedKey, 1);
    // Key 1 spans 110..180 x 755..850 per mille: pixels 110..179 x 370..416 on this mimic.
    EXPECT_EQ(Buttons.PressedRect, QRect(QPoint(110, 370), QPoint(179, 416)));
    // The ellipse's grey centre ANDs the panel; its white corners leave it alone.
    const QRgb centre = Canvas.pixel(Centre(1));
    EXPECT_EQ(centre & 0xFFFFFF, (qRgb(0x50, 0xA0, 0xF0) & qRgb(0xC0, 0xC0, 0xC0)) & 0xFFFFFF);
    EXPECT_EQ(Canvas.pixel(110, 370), Original.pixel(110, 370));
    EXPECT_EQ(Canvas.pixel(Centre(2)), Original.pixel(Centre(2)));

    Now += 2500;
    QTest::mouseMove(&Mimic, QPoint(900, 20));
    QTest::mouseRelease(&Mimic, Qt::LeftButton, {}, QPoint(900, 20));
    EXPECT_EQ(Log, (QStringList{"down 1", "up 1", "pressed 1 2500"}));
    EXPECT_EQ(Buttons.PressedKey, -1);
    EXPECT_EQ(Canvas, Original);
}

TEST_F(ButtonsTest, EdgesPressTheKeyAndClicksBesideItDoNothing)
{
    // Key 7 spans 755..788 x 220..290 per mille; on a 1000 x 491 mimic y 108 is 219.9 per mille.
    QTest::mousePress(&Mimic, Qt::LeftButton, {}, QPoint(755, 109));
    QTest::mouseRelease(&Mimic, Qt::LeftButton, {}, QPoint(755, 109));
    QTest::mousePress(&Mimic, Qt::LeftButton, {}, QPoint(788, 142)); // 289.2 per mille
    QTest::mouseRelease(&Mimic, Qt::LeftButton, {}, QPoint(788, 142));
    EXPECT_EQ(Log, (QStringList{"down 7", "up 7", "pressed 7 0", "down 7", "up 7", "pressed 7 0"}));
    Log.clear();
    QTest::mousePress(&Mimic, Qt::LeftButton, {}, QPoint(789, 120));
    QTest::mousePress(&Mimic, Qt::LeftButton, {}, QPoint(755, 107));
    QTest::mousePress(&Mimic, Qt::LeftButton, {}, QPoint(500, 200)); // on the glass
    QTest::mouseRelease(&Mimic, Qt::LeftButton, {}, QPoint(500, 200));
    QTest::mousePress(&Mimic, Qt::RightButton, {}, Centre(3));
    QTest::mouseRelease(&Mimic, Qt::RightButton, {}, Centre(3));
    EXPECT_TRUE(Log.isEmpty());
    EXPECT_EQ(Canvas, Original);
}

TEST_F(ButtonsTest, ASecondPressReleasesTheFirstKeyWithItsEvents)
{
    Buttons.PressKey(4);
    Now += 300;
    Buttons.PressKey(5);
    Now += 100;
    Buttons.ReleaseKey();
    Buttons.ReleaseKey(); // nothing held any more
    EXPECT_EQ(Log, (QStringList{"down 4", "up 4", "pressed 4 300", "down 5", "up 5", "pressed 5 100"}));
    EXPECT_EQ(Canvas, Original);
}

TEST_F(ButtonsTest, ADoubleClickIsTwoPresses)
{
    // Through the window system: Qt turns the second press into a double-click event.
    Mimic.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Mimic));
    // A click beside the keys first: the window system's idea of the button is then up.
    QTest::mouseClick(Mimic.windowHandle(), Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseDClick(Mimic.windowHandle(), Qt::LeftButton, {}, Centre(20));
    EXPECT_EQ(Log.filter("pressed 20").size(), 2) << Log.join(", ").toStdString();
    EXPECT_EQ(Log.filter("down 20").size(), 2);
    EXPECT_EQ(Canvas, Original);
}

TEST_F(ButtonsTest, OverlappingKeysGoToTheLowerIndex)
{
    Buttons.Keys[0] = {100, 300, 100, 300, 2};
    Buttons.Keys[1] = {200, 400, 200, 400, 2};
    Buttons.KeyCount = 2;
    Buttons.MouseDown(250, 250 * 491 / 1000);
    EXPECT_EQ(Buttons.PressedKey, 0);
    // Picture 2 is solid grey: the whole rectangle is shaded.
    EXPECT_EQ(Canvas.pixel(101, 50) & 0xFFFFFF, (qRgb(0x50, 0xA0, 0xF0) & qRgb(0xC0, 0xC0, 0xC0)) & 0xFFFFFF);
    Buttons.MouseDown(350, 350 * 491 / 1000);
    EXPECT_EQ(Buttons.PressedKey, 1);
    Buttons.ReleaseKey();
    EXPECT_EQ(Canvas, Original);
}

TEST_F(ButtonsTest, RedrawnCanvasIsShadedAgainAtTheNewSize)
{
    Buttons.PressKey(1);
    Mimic.resize(500, 245);
    Canvas = QImage(Mimic.size(), QImage::Format_RGB32);
    Canvas.fill(Qt::white);
    const QImage fresh = Canvas;
    Buttons.Restamp();
    EXPECT_EQ(Buttons.PressedRect.left(), 55);
    EXPECT_NE(Canvas, fresh);
    Buttons.ReleaseKey();
    EXPECT_EQ(Canvas, fresh);
    EXPECT_EQ(Buttons.Images.size(), 3u);
    EXPECT_EQ(Buttons.AddImage(QImage(5, 5, QImage::Format_RGB32)), 3);
}
