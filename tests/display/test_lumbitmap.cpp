// The segment map: its cache file byte for byte and its refusal of damaged files, the rescale's
// edges and odd sizes, mask stamping with clipping, and the lookup pass.
#include "display/LumBitmap.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace
{

TLumBitmap Numbered(int w, int h)
{
    TLumBitmap m;
    m.SetSize(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            m.Set(x, y, uint16_t(x * 100 + y));
    return m;
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(LumBitmap, CacheFileIsLittleEndianColumnsAfterASizeHeader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("m.kmp");
    TLumBitmap m = Numbered(3, 2);
    m.Set(2, 1, 0xBEEF);
    ASSERT_TRUE(m.SaveToFile(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray expected = QByteArray::fromHex("03000000"
                                                    "02000000"
                                                    "0000"
                                                    "0100" // column 0: rows 0, 1
                                                    "6400"
                                                    "6500" // column 1: 100, 101
                                                    "C800"
                                                    "EFBE"); // column 2: 200, 0xBEEF
    EXPECT_EQ(f.readAll(), expected);

    TLumBitmap back;
    back.SetSize(7, 7); // the file's size wins
    ASSERT_TRUE(back.LoadFromFile(path));
    EXPECT_EQ(back.Width, 3);
    EXPECT_EQ(back.Height, 2);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 2; ++y)
            EXPECT_EQ(back.At(x, y), m.At(x, y));
}

TEST(LumBitmap, DamagedCacheFilesAreRefusedAndLeaveTheMapAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("m.kmp");
    TLumBitmap good = Numbered(4, 3);
    ASSERT_TRUE(good.SaveToFile(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();

    auto header = [](qint32 w, qint32 h) {
        QByteArray b(8, '\0');
        qToLittleEndian<qint32>(w, b.data());
        qToLittleEndian<qint32>(h, b.data() + 4);
        return b;
    };
    const QList<QPair<const char *, QByteArray>> damaged = {
        {"empty", QByteArray()},
        {"short header", bytes.left(5)},
        {"cut pixels", bytes.left(bytes.size() - 1)},
        {"extra bytes", bytes + "x"},
        {"zero width", header(0, 3)},
        {"negative height", header(4, -3) + bytes.mid(8)},
        {"huge size", header(100000, 100000)},
        {"overflowing size", header(0x7FFFFFFF, 0x7FFFFFFF)},
    };
    for (const auto &[what, content] : damaged) {
        WriteBytes(path, content);
        TLumBitmap m = Numbered(2, 2);
        EXPECT_FALSE(m.LoadFromFile(path)) << what;
        EXPECT_FALSE(m.Error.isEmpty()) << what;
        EXPECT_EQ(m.Width, 2) << what;
        EXPECT_EQ(m.At(1, 1), 101) << what;
    }
    TLumBitmap m;
    EXPECT_FALSE(m.LoadFromFile(dir.filePath("missing.kmp")));
    EXPECT_FALSE(good.SaveToFile(dir.filePath("no/such/dir/m.kmp")));
    // An empty map is no cache: nothing is written.
    EXPECT_FALSE(m.SaveToFile(dir.filePath("empty.kmp")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("empty.kmp")));
}

TEST(LumBitmap, RescaleMeetsTheFirstAndLastRowsAndColumns)
{
    const TLumBitmap src = Numbered(10, 7);
    for (auto [w, h] : {std::pair{25, 13}, {4, 3}, {10, 7}, {2, 2}}) {
        TLumBitmap dst;
        dst.SetSize(w, h);
        dst.StretchFrom(src);
        EXPECT_EQ(dst.At(0, 0), src.At(0, 0));
        EXPECT_EQ(dst.At(w - 1, 0), src.At(9, 0));
        EXPECT_EQ(dst.At(0, h - 1), src.At(0, 6));
        EXPECT_EQ(dst.At(w - 1, h - 1), src.At(9, 6));
        // Truncating division: target column x takes source x * 9 / (w - 1).
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(dst.At(x, 0) / 100, x * 9 / (w - 1));
    }
    EXPECT_EQ(StretchIndexes(750, 4), (std::vector<int>{0, 249, 499, 749}));
}

TEST(LumBitmap, RescaleOfOddSizesNeitherOverrunsNorDividesByZero)
{
    const TLumBitmap src = Numbered(5, 4);
    TLumBitmap tall;
    tall.SetSize(3, 5000); // taller than any fixed row table
    tall.StretchFrom(src);
    EXPECT_EQ(tall.At(2, 4999), src.At(4, 3));
    EXPECT_EQ(tall.At(0, 2500), src.At(0, 1));

    TLumBitmap one;
    one.SetSize(1, 1);
    one.StretchFrom(src);
    EXPECT_EQ(one.At(0, 0), src.At(0, 0));
    one.SetSize(0, 9);
    one.StretchFrom(src);
    EXPECT_EQ(one.Width, 0);

    TLumBitmap fromEmpty;
    fromEmpty.SetSize(3, 3);
    fromEmpty.StretchFrom(TLumBitmap());
    EXPECT_EQ(fromEmpty.At(1, 1), LcdBackground);
    EXPECT_EQ(StretchIndexes(5, 1), std::vector<int>{0});
    EXPECT_TRUE(StretchIndexes(5, 0).empty());
}

TEST(LumBitmap, MasksStampTheirZeroPixelsAndAreClippedAtEveryEdge)
{
    // A 4 x 3 mask: 0 marks segment pixels.
    const uint8_t mask[3][5] = {{0, 0, 0, 0, 9}, {0, 255, 255, 0, 9}, {0, 0, 0, 0, 9}}; // stride 5
    TLumBitmap map;
    map.SetSize(6, 5);
    map.Fill(LcdBackground);
    StampMask(map, &mask[0][0], 4, 3, 5, 3, 4, 7); // reaches past the right and bottom edges
    EXPECT_EQ(map.At(4, 3), 7);
    EXPECT_EQ(map.At(5, 3), 7);
    EXPECT_EQ(map.At(5, 4), LcdBackground); // interior of the ring
    EXPECT_EQ(map.At(4, 4), 7);
    EXPECT_EQ(map.At(3, 3), LcdBackground);

    StampMask(map, &mask[0][0], 4, 3, 5, -1, -2, 9); // past the top and left edges
    EXPECT_EQ(map.At(0, 0), LcdBackground);          // mask (2, 1) is 255
    EXPECT_EQ(map.At(1, 0), 9);                      // mask (3, 1)
    EXPECT_EQ(map.At(0, 1), 9);                      // mask (2, 2)
    // A later segment overwrites an earlier one.
    StampMask(map, &mask[0][0], 4, 3, 5, 3, 4, 8);
    EXPECT_EQ(map.At(4, 3), 8);
}

TEST(LumBitmap, LookUpPassLightsOnlyLitSegments)
{
    TLcdStates states{};
    states[3][2] = 1; // segment number 2 * 104 + 3 = 211
    TLumLookUp lookUp;
    FillLookUp(states, lookUp);
    EXPECT_EQ(lookUp[211], LumOnIndex);
    EXPECT_EQ(lookUp[3], LumOffIndex);
    EXPECT_EQ(lookUp[LcdBackground], LumOffIndex);

    TLumBitmap map;
    map.SetSize(3, 2);
    map.Set(0, 0, 211);
    map.Set(1, 0, LcdBackground);
    map.Set(2, 0, 450);   // a value no segment has
    map.Set(2, 1, 60000); // nor this: never read past the table
    TLumRowMap rows;
    rows.From(map);
    uint8_t out[2][4] = {};
    RenderLookUp(rows, lookUp, &out[0][0], 4);
    EXPECT_EQ(out[0][0], LumOnIndex);
    EXPECT_EQ(out[0][1], LumOffIndex);
    EXPECT_EQ(out[0][2], LumOffIndex);
    EXPECT_EQ(out[1][0], LumOffIndex); // segment 0 is unlit
    EXPECT_EQ(out[1][2], LumOffIndex);
    EXPECT_EQ(out[0][3], 0); // outside the row: untouched
}

TEST(LumBitmap, DiagnosticPictureIsAWindowsBitmap)
{
    QTemporaryDir dir;
    TLumBitmap m = Numbered(5, 3);
    ASSERT_TRUE(m.SaveAsPicture(dir.filePath("m.bmp")));
    QFile f(dir.filePath("m.bmp"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.readAll();
    ASSERT_GE(b.size(), 54);
    EXPECT_TRUE(b.startsWith("BM"));
    EXPECT_EQ(qFromLittleEndian<quint32>(b.constData() + 2), quint32(b.size()));
    EXPECT_EQ(qFromLittleEndian<qint32>(b.constData() + 18), 5);
    EXPECT_EQ(b.size(), 54 + 16 * 3); // rows padded to 4 bytes
}
