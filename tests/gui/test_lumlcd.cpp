// The segment LCD component offscreen: the map composed from the shipped masks and cached, the
// drawn pixels against the map at two sizes, damaged caches, missing masks and odd sizes.
#include "lcd_support.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace
{

const QRgb Off = qRgb(0xBD, 0xFF, 0x24);
const QRgb On = qRgb(0, 0, 0);

QImage Canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::magenta);
    return img;
}

// Some of everything: a large 8, the kg unit, a medium character and a blank entry.
TLcdStates SomeLit()
{
    TLcdStates s{};
    VornSetCharacter(s, VornLarge, 2, '8', true);
    VornSetSymbol(s, VornSymKg, true);
    VornSetCharacter(s, VornMedium, 0, '4');
    s[21][0] = 1; // blank mask: lights nothing
    return s;
}

bool MapPixelLit(const TLumLCD &lcd, int x, int y)
{
    const uint16_t v = lcd.ScaledMap.At(x, y);
    if (v >= LcdSegmentCount)
        return false;
    return lcd.States[v % LcdDigitCount][v / LcdDigitCount] != 0;
}

} // namespace

TEST(LumLCD, DrawnPixelsFollowTheMapAtTwoSizes)
{
    const auto dir = MakeProgramDir(false);
    TLumLCD lcd;
    ConfigureVorn(lcd, dir->path());
    lcd.States = SomeLit();
    for (auto [w, h] : {std::pair{1098, 409}, {400, 150}}) {
        QImage canvas = Canvas(w + 20, h + 10);
        ASSERT_TRUE(lcd.Draw(10, 5, canvas, h, w)) << lcd.Error.toStdString();
        int lit = 0, mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool on = MapPixelLit(lcd, x, y);
                lit += on;
                mismatches += (canvas.pixel(x + 10, y + 5) & 0xFFFFFF) != ((on ? On : Off) & 0xFFFFFF);
            }
        EXPECT_EQ(mismatches, 0) << w;
        EXPECT_GT(lit, w * h / 100) << w; // a large 8 and more are a real share of the glass
        // Outside the rectangle nothing was touched.
        EXPECT_EQ(canvas.pixel(9, 5), QColor(Qt::magenta).rgb());
        EXPECT_EQ(canvas.pixel(10 + w, 5 + h - 1), QColor(Qt::magenta).rgb());
        // Through a painter the same picture comes out.
        QImage viaPainter = Canvas(w + 20, h + 10);
        QPainter p(&viaPainter);
        lcd.Draw(10, 5, p, h, w);
        p.end();
        EXPECT_EQ(viaPainter, canvas);
    }
    // All lit: every pixel a mask covers is OnColour, the rest OffColour; unlit again: all Off.
    for (auto &d : lcd.States)
        d.fill(1);
    QImage canvas = Canvas(300, 120);
    lcd.Draw(0, 0, canvas, 120, 300);
    int on = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 300; ++x)
            on += (canvas.pixel(x, y) & 0xFFFFFF) == 0;
    EXPECT_GT(on, 300 * 120 / 6);
    for (auto &d : lcd.States)
        d.fill(0);
    lcd.Draw(0, 0, canvas, 120, 300);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(canvas.pixel(x, y) & 0xFFFFFF, Off & 0xFFFFFF);
}

TEST(LumLCD, FirstDrawWritesTheCacheAndTheNextStartReadsItForTheSamePicture)
{
    const auto dir = MakeProgramDir(false);
    const QString kmp = dir->filePath("GLASSMAP7_LCD.kmp");
    QImage first = Canvas(549, 205), second = Canvas(549, 205);
    {
        TLumLCD lcd;
        ConfigureVorn(lcd, dir->path());
        lcd.States = SomeLit();
        ASSERT_TRUE(lcd.Draw(0, 0, first, 205, 549));
        EXPECT_EQ(lcd.MapsComposed, 1);
        EXPECT_EQ(lcd.CacheLoads, 0);
        EXPECT_TRUE(QFile::exists(kmp));
        EXPECT_TRUE(QFile::exists(dir->filePath("GLASSMAP7_LCD.bmp")));
        EXPECT_EQ(QFile(kmp).size(), 8 + 1999 * 750 * 2);
        // A resize rescales from the cache; coming back too.
        QImage other = Canvas(800, 300);
        lcd.Draw(0, 0, other, 300, 800);
        lcd.Draw(0, 0, first, 205, 549);
        EXPECT_EQ(lcd.MapsComposed, 1);
        EXPECT_EQ(lcd.CacheLoads, 2);
    }
    // The masks are gone: a start with the cache present must not need them.
    QDir(dir->filePath("segs")).removeRecursively();
    TLumLCD lcd;
    ConfigureVorn(lcd, dir->path());
    lcd.States = SomeLit();
    ASSERT_TRUE(lcd.Draw(0, 0, second, 205, 549)) << lcd.Error.toStdString();
    EXPECT_EQ(lcd.MapsComposed, 0);
    EXPECT_EQ(lcd.CacheLoads, 1);
    EXPECT_EQ(first, second);
}

TEST(LumLCD, DamagedCacheIsRebuiltFromTheMasks)
{
    const auto dir = MakeProgramDir(false);
    const QString kmp = dir->filePath("GLASSMAP7_LCD.kmp");
    QImage good = Canvas(300, 110);
    {
        TLumLCD lcd;
        ConfigureVorn(lcd, dir->path());
        lcd.States = SomeLit();
        ASSERT_TRUE(lcd.Draw(0, 0, good, 110, 300));
    }
    for (qint64 size : {qint64(3), qint64(8 + 1000)}) {
        QFile f(kmp);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(size));
        f.close();
        TLumLCD lcd;
        ConfigureVorn(lcd, dir->path());
        lcd.States = SomeLit();
        QImage again = Canvas(300, 110);
        ASSERT_TRUE(lcd.Draw(0, 0, again, 110, 300));
        EXPECT_EQ(lcd.MapsComposed, 1) << size;
        EXPECT_EQ(again, good) << size;
        EXPECT_EQ(QFile(kmp).size(), 8 + 1999 * 750 * 2) << size;
    }
}

TEST(LumLCD, MissingMaskIsReportedAndLeavesAnUnlitGlassAndNoCache)
{
    const auto dir = MakeProgramDir(false);
    ASSERT_TRUE(QFile::remove(dir->filePath("segs/a_g.bmp")));
    TLumLCD lcd;
    ConfigureVorn(lcd, dir->path());
    lcd.States = SomeLit();
    QImage canvas = Canvas(200, 80);
    EXPECT_FALSE(lcd.Draw(0, 0, canvas, 80, 200));
    EXPECT_TRUE(lcd.Error.contains("segs/a_g.bmp")) << lcd.Error.toStdString();
    EXPECT_FALSE(QFile::exists(dir->filePath("GLASSMAP7_LCD.kmp")));
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(canvas.pixel(x, y) & 0xFFFFFF, Off & 0xFFFFFF);
    // Drawing again does not hang or crash; once the mask is back, a new build succeeds.
    lcd.Draw(0, 0, canvas, 80, 200);
    ASSERT_TRUE(QFile::copy(QStringLiteral(BRELLIN_BIN_DIR "/segs/a_g.bmp"), dir->filePath("segs/a_g.bmp")));
    EXPECT_TRUE(lcd.BuildMap(200, 80));
    EXPECT_TRUE(QFile::exists(dir->filePath("GLASSMAP7_LCD.kmp")));
}

TEST(LumLCD, AreasBelowTwoPixelsDrawNothingAndTallAreasWork)
{
    const auto dir = MakeProgramDir(false);
    TLumLCD lcd;
    ConfigureVorn(lcd, dir->path());
    lcd.States = SomeLit();
    QImage canvas = Canvas(40, 40);
    const QImage untouched = canvas;
    for (auto [w, h] : {std::pair{1, 1}, {0, 0}, {1, 30}, {30, 1}, {-5, 10}}) {
        lcd.Draw(3, 3, canvas, h, w);
        EXPECT_EQ(canvas, untouched) << w << "x" << h;
    }
    QImage tall = Canvas(20, 4000);
    ASSERT_TRUE(lcd.Draw(0, 0, tall, 4000, 20));
    EXPECT_NE(tall.pixel(0, 3999), QColor(Qt::magenta).rgb());
    // Partly off the canvas: clipped, no overrun.
    QImage small = Canvas(50, 50);
    EXPECT_TRUE(lcd.Draw(30, 30, small, 100, 100));
    EXPECT_EQ(small.pixel(29, 29), QColor(Qt::magenta).rgb());
}

TEST(LumLCD, UnwritableCacheKeepsTheMapInMemory)
{
    // Folders where the cache files belong: no one, root included, can write the files there.
    const auto dir = MakeProgramDir(false);
    ASSERT_TRUE(QDir(dir->path()).mkdir("GLASSMAP7_LCD.kmp"));
    ASSERT_TRUE(QDir(dir->path()).mkdir("GLASSMAP7_LCD.bmp"));
    TLumLCD lcd;
    ConfigureVorn(lcd, dir->path());
    QImage canvas = Canvas(100, 40);
    EXPECT_TRUE(lcd.Draw(0, 0, canvas, 40, 100));
    EXPECT_FALSE(lcd.CacheError.isEmpty());
    lcd.Draw(0, 0, canvas, 30, 90);
    EXPECT_EQ(lcd.MapsComposed, 1);
}
