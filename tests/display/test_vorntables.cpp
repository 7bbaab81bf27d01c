// The front panel tables: display value decoding, the segment table's layout of characters,
// text drawn onto the glass, the key table's hit tests and codes, and the data plate's text.
#include "display/VornTables.h"
#include "display/plate.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace
{

QByteArray Value(const QByteArray &digits)
{
    return "00" + digits;
}

TLcdStates AllLit()
{
    TLcdStates s;
    for (auto &d : s)
        d.fill(1);
    return s;
}

std::set<QByteArray> LitMasks(const TLcdStates &s)
{
    std::set<QByteArray> masks;
    for (int e : LitEntries(s))
        masks.insert(VornSegmentTable()[e].Mask);
    return masks;
}

} // namespace

TEST(DisplayValue, ZerosLightNothingAndFLightsEveryEntryIncludingBlanks)
{
    TLcdStates s = AllLit();
    ASSERT_TRUE(DecodeDisplayValue(Value(QByteArray(104, '0')), s));
    EXPECT_TRUE(LitEntries(s).empty());

    ASSERT_TRUE(DecodeDisplayValue(Value(QByteArray(104, 'F')), s));
    EXPECT_EQ(LitEntries(s).size(), 416u);
    EXPECT_TRUE(EntryLit(s, 2)); // digit 0, bit of value 2: a blank mask
}

TEST(DisplayValue, EachBitOfADigitLightsItsOwnEntry)
{
    TLcdStates s{};
    ASSERT_TRUE(DecodeDisplayValue(Value("8" + QByteArray(103, '0')), s));
    EXPECT_EQ(LitEntries(s), std::vector<int>{0});
    EXPECT_EQ(LitMasks(s), std::set<QByteArray>{"f3"});

    // Value 4, 2, 1 of the last digit: entries 413, 414, 415.
    ASSERT_TRUE(DecodeDisplayValue(Value(QByteArray(103, '0') + "7"), s));
    EXPECT_EQ(LitEntries(s), (std::vector<int>{413, 414, 415}));
    EXPECT_EQ(LitMasks(s), (std::set<QByteArray>{"c_e", "c_i", "blank"}));
}

TEST(DisplayValue, LowerCaseDecodesLikeUpperAndOtherCharactersAsZero)
{
    QByteArray upper, lower;
    for (int d = 0; d < 104; ++d) {
        upper.append("0123456789ABCDEF"[d % 16]);
        lower.append("0123456789abcdef"[d % 16]);
    }
    TLcdStates a{}, b{};
    ASSERT_TRUE(DecodeDisplayValue(Value(upper), a));
    ASSERT_TRUE(DecodeDisplayValue(Value(lower), b));
    EXPECT_EQ(a, b);

    // G, space, '.', and bytes above 0x7F light none of their four segments; neighbours unaffected.
    TLcdStates s = AllLit();
    QByteArray odd(104, 'F');
    odd[0] = 'G';
    odd[1] = ' ';
    odd[2] = '.';
    odd[3] = char(0xC6);
    ASSERT_TRUE(DecodeDisplayValue(Value(odd), s));
    EXPECT_EQ(LitEntries(s).size(), 416u - 16u);
    EXPECT_FALSE(EntryLit(s, 0));
    EXPECT_FALSE(EntryLit(s, 15));
    EXPECT_TRUE(EntryLit(s, 16));
}

TEST(DisplayValue, ShortValuesAreIgnoredAndLeadCharactersNotInterpreted)
{
    TLcdStates s = AllLit();
    EXPECT_FALSE(DecodeDisplayValue(Value(QByteArray(103, '0')), s));
    EXPECT_FALSE(DecodeDisplayValue(QByteArray(), s));
    EXPECT_EQ(LitEntries(s).size(), 416u); // untouched

    ASSERT_TRUE(DecodeDisplayValue("FF" + QByteArray(104, '0') + "FFFF", s));
    EXPECT_TRUE(LitEntries(s).empty());
}

TEST(DisplayValue, EncodingRoundTripsAnyStates)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        TLcdStates s{};
        for (int e = 0; e < 416; ++e)
            SetEntry(s, e, rng() & 1);
        const QByteArray value = EncodeDisplayValue(s);
        ASSERT_EQ(value.size(), 106);
        EXPECT_TRUE(value.startsWith("00"));
        EXPECT_EQ(value.toUpper(), value);
        TLcdStates back = AllLit();
        ASSERT_TRUE(DecodeDisplayValue(value, back));
        EXPECT_EQ(back, s);
    }
    EXPECT_EQ(EncodeDisplayValue(TLcdStates{}, "X"), "X0" + QByteArray(104, '0'));
}

TEST(SegmentTable, PositionsAndMaskFiles)
{
    const auto &t = VornSegmentTable();
    EXPECT_EQ(t[0].Mask, "f3");
    EXPECT_EQ(t[0].Column, 1754);
    EXPECT_EQ(t[0].Row, 260);
    EXPECT_EQ(t[2].Mask, "blank"); // a bare blank sits at 1,1
    EXPECT_EQ(t[2].Column, 1);
    EXPECT_EQ(t[2].Row, 1);
    EXPECT_EQ(t[15 * 4 + 0].Column, 887); // a placed blank keeps its position
    EXPECT_EQ(t[15 * 4 + 1].Row, 147);
    EXPECT_EQ(t[85 * 4 + 0].Mask, "g11"); // g11 and g9 share a position
    EXPECT_EQ(t[85 * 4 + 1].Column, t[85 * 4 + 0].Column);
    EXPECT_EQ(t[103 * 4 + 2].Mask, "c_i");
    EXPECT_EQ(t[103 * 4 + 2].Column, 1759);
    EXPECT_EQ(t[103 * 4 + 2].Row, 476);

    const auto lcd = VornLcdSegments();
    EXPECT_EQ(lcd[0].MaskFile, "segs/f3.bmp");
    EXPECT_EQ(lcd[0].Column, 1754);
    EXPECT_EQ(lcd[415].MaskFile, "segs/blank.bmp");
    for (const TLcdSegment &s : lcd) {
        EXPECT_EQ(s.ImageIndex, 0);
        EXPECT_GE(s.Column, 0);
        EXPECT_LT(s.Column, VornMapWidth);
        EXPECT_GE(s.Row, 0);
        EXPECT_LT(s.Row, VornMapHeight);
    }
}

TEST(SegmentTable, NamesEveryMaskOfTheGlass)
{
    std::set<QByteArray> expected{"blank", "d2h"};
    for (char family : {'a', 'b', 'c', 'd'})
        for (char letter = 'a'; letter <= 'j'; ++letter)
            expected.insert(QByteArray(1, family) + '_' + letter);
    for (int i = 1; i <= 18; ++i)
        expected.insert("e" + QByteArray::number(i));
    for (int i = 1; i <= 11; ++i)
        expected.insert("f" + QByteArray::number(i));
    for (int i = 1; i <= 25; ++i)
        expected.insert("g" + QByteArray::number(i));
    const auto names = VornMaskNames();
    EXPECT_EQ(std::set<QByteArray>(names.begin(), names.end()), expected);
    EXPECT_EQ(VornEntryOfMask("f3"), 0);
    EXPECT_EQ(VornEntryOfMask("nope"), -1);
}

TEST(Characters, EveryCharacterMaskBelongsToExactlyOneCharacter)
{
    const std::pair<TVornCharGroup, size_t> groups[] = {
        {VornLarge, 6}, {VornMedium, 9}, {VornSmall, 8}, {VornTop, 4}};
    std::map<int, int> owners;
    for (auto [group, count] : groups) {
        const auto &chars = VornCharacters(group);
        ASSERT_EQ(chars.size(), count) << char(group);
        int lastColumn = -1;
        for (const TVornCharacter &c : chars) {
            for (int letter : {SegA, SegB, SegC, SegD, SegE, SegF, SegG, SegI, SegJ})
                EXPECT_GE(c.Entries[letter], 0) << char(group) << " letter " << letter;
            const int column = VornSegmentTable()[c.Entries[SegA]].Column;
            EXPECT_GT(column, lastColumn); // left to right
            lastColumn = column;
            for (int e : c.Entries)
                if (e >= 0)
                    ++owners[e];
        }
    }
    // Every a_ .. d_ entry of the table is owned once; nothing else is owned.
    const auto &t = VornSegmentTable();
    for (int e = 0; e < 416; ++e) {
        const bool characterMask = t[e].Mask.size() == 3 && t[e].Mask[1] == '_';
        EXPECT_EQ(owners.count(e) ? owners[e] : 0, characterMask ? 1 : 0)
            << e << " " << t[e].Mask.constData();
    }
    // The rightmost large character has no decimal point; the one left of it has.
    EXPECT_EQ(VornCharacters(VornLarge)[5].Entries[SegH], -1);
    EXPECT_EQ(VornSegmentTable()[VornCharacters(VornLarge)[4].Entries[SegH]].Column, 1427);
}

TEST(Characters, TextIsRightAlignedWithDecimalPoints)
{
    TLcdStates s{};
    VornShowText(s, VornLarge, "12.34");
    const auto &large = VornCharacters(VornLarge);
    auto litLetters = [&](int index) {
        std::set<int> letters;
        for (int l = 0; l < 10; ++l)
            if (EntryLit(s, large[index].Entries[l]))
                letters.insert(l);
        return letters;
    };
    EXPECT_TRUE(litLetters(0).empty());
    EXPECT_TRUE(litLetters(1).empty());
    EXPECT_EQ(litLetters(2), (std::set<int>{SegB, SegC}));
    EXPECT_EQ(litLetters(3), (std::set<int>{SegA, SegB, SegD, SegE, SegG, SegH}));
    EXPECT_EQ(litLetters(4), (std::set<int>{SegA, SegB, SegC, SegD, SegG}));
    EXPECT_EQ(litLetters(5), (std::set<int>{SegB, SegC, SegF, SegG}));
    EXPECT_EQ(LitEntries(s).size(), 2u + 6u + 5u + 4u);

    // Redrawing clears what the previous text lit; too long a text keeps its right end.
    VornShowText(s, VornLarge, "-1234567");
    EXPECT_EQ(litLetters(0), (std::set<int>{SegA, SegB, SegD, SegE, SegG})); // "2"
    EXPECT_EQ(litLetters(5), (std::set<int>{SegA, SegB, SegC}));             // "7"
    VornShowText(s, VornLarge, "");
    EXPECT_TRUE(LitEntries(s).empty());

    // Other groups and symbols stay as they are.
    VornSetSymbol(s, VornSymKg, true);
    VornShowText(s, VornMedium, "8.8.");
    VornShowText(s, VornLarge, "0");
    EXPECT_TRUE(EntryLit(s, 0));
    EXPECT_EQ(LitEntries(s).size(), 1u + 2u * 8u + 6u);
    EXPECT_FALSE(VornSetSymbol(s, "zz", true));
}

TEST(Keys, HitTestsIncludeEdgesAndTheLowerIndexWinsOverlaps)
{
    const auto &keys = VornKeys();
    for (int i = 0; i < VornKeyCount; ++i) {
        const TLcdKey &k = keys[i].Rect;
        std::array<TLcdKey, VornKeyCount> rects;
        for (int j = 0; j < VornKeyCount; ++j)
            rects[j] = keys[j].Rect;
        EXPECT_EQ(LcdKeyAtPerMille(rects.data(), VornKeyCount, k.Left, k.Top), i);
        EXPECT_EQ(LcdKeyAtPerMille(rects.data(), VornKeyCount, k.Right, k.Bottom), i);
        EXPECT_EQ(LcdKeyAtPerMille(rects.data(), VornKeyCount, k.Left - 1, k.Top), -1);
        EXPECT_EQ(LcdKeyAtPerMille(rects.data(), VornKeyCount, k.Right, k.Bottom + 1), -1);
        EXPECT_EQ(k.ImageIndex, 1);
    }
    const TLcdKey overlap[] = {{100, 200, 100, 200, 1}, {150, 250, 150, 250, 1}};
    EXPECT_EQ(LcdKeyAtPerMille(overlap, 2, 175, 175), 0);
    EXPECT_EQ(LcdKeyAtPerMille(overlap, 2, 201, 175), 1);
    EXPECT_EQ(LcdKeyAtPerMille(overlap, 2, 250, 250), 1);

    // Pixels: key 1 spans 110..180 per mille; on a 2000-wide mimic x 220 is its left edge,
    // x 219 lies left of it; on a tiny or empty mimic nothing is hit by accident.
    EXPECT_EQ(VornKeyAt(220, 800, 2000, 982), 1);
    EXPECT_EQ(VornKeyAt(219, 800, 2000, 982), -1);
    EXPECT_EQ(VornKeyAt(361, 835, 2000, 982), 1); // 180.5 per mille truncates onto the edge
    EXPECT_EQ(VornKeyAt(10, 10, 0, 0), -1);
    EXPECT_EQ(VornKeyAt(1900, 250, 2000, 982), 10);
}

TEST(Keys, CodesAndLongPresses)
{
    EXPECT_EQ(VornKeyCode(1, 500), 0x0B);
    EXPECT_EQ(VornKeyCode(1, 1999), 0x0B);
    EXPECT_EQ(VornKeyCode(1, 2000), 0x8B);
    EXPECT_EQ(VornKeyCode(20, 100), 0x00);
    EXPECT_EQ(VornKeyCode(20, 2500), 0x80);
    EXPECT_EQ(VornKeyCode(0, 100), -1);
    EXPECT_EQ(VornKeyCode(23, 100), -1);
    EXPECT_EQ(VornKeyCode(-1, 100), -1);
    EXPECT_EQ(VornKeyData(0x0B), "000B");
    EXPECT_EQ(VornKeyData(0x8B), "008B");
    EXPECT_EQ(VornKeyData(0x81), "0081");
    EXPECT_EQ(VornKeyOfCode(0x8B), 1);
    EXPECT_EQ(VornKeyOfCode(0x16), 22);
    EXPECT_EQ(VornKeyOfCode(0x7F), -1);
    // Keys 7..22: the first three columns carry 1..9, the bottom row ESC, 0, point.
    const int expected[] = {1, 2, 3, 0x13, 4, 5, 6, 0x14, 7, 8, 9, 0x15, 0x11, 0x00, 0x12, 0x16};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(VornKeys()[7 + i].Code, expected[i]) << i;
}

// The data plate states what the instrument's registers say, or nothing.
TEST(CapacityPlate, TextFromTheFullScaleAndTheDivision)
{
    const struct {
        const char *fullScale, *division, *plate;
    } cases[] = {
        {"3000.00 kg", "0001", "Max 3000 kg   e = 0.01 kg"},
        {"300000 lb", "0005", "Max 300000 lb   e = 5 lb"},
        {"0.150 t", "000A", "Max 0.15 t   e = 0.01 t"},
        {" 1.5 g ", "64", "Max 1.5 g   e = 10 g"},
        // Not a plain weight, no units, a division out of its range or not a number: no plate.
        {"3000.00 kg", "0000", ""},
        {"3000.00 kg", "0065", ""},
        {"3000.00 kg", "1Z", ""},
        {"3000.00", "0001", ""},
        {"3,000 kg", "0001", ""},
        {"-5 kg", "0001", ""},
        {"12.50 kg G", "0001", ""},
        {"3000. kg", "0001", ""},
        {"", "", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CapacityPlateText(c.fullScale, c.division), QByteArray(c.plate))
            << c.fullScale << " " << c.division;
}
