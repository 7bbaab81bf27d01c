// The Vorn front panel tables: segment and key tables, display value decoding and encoding,
// and the character layout of the glass derived from the segment table.
#include "VornTables.h"

#include "values/tools.h"

#include <QList>

#include <algorithm>
#include <map>

namespace
{

// One row per LCD digit, cells for the bits of value 8, 4, 2, 1: mask name and column,row of
// the mask's top-left corner on the map; a bare "blank" lies at 1,1.
const char *const SegmentRows[LcdDigitCount][LcdBitsPerDigit] = {
    {"f3 1754,260", "f2 1704,216", "blank", "f1 1725,164"},            // 0
    {"f8 1845,371", "f4 1833,164", "f7 1818,368", "f6 1825,259"},      // 1
    {"f11 1932,396", "f5 1865,164", "f10 1916,303", "f9 1932,147"},    // 2
    {"blank 887,114", "blank 873,147", "d_b 1963,24", "d_c 1960,74"},  // 3
    {"d_a 1936,18", "d_d 1927,115", "d_g 1934,67", "d_j 1942,83"},     // 4
    {"d_i 1946,34", "blank", "d_f 1926,24", "d_e 1922,74"},            // 5
    {"blank", "d_h 1910,115", "d_b 1900,24", "d_c 1897,74"},           // 6
    {"d_a 1873,18", "d_d 1864,115", "d_g 1871,67", "d_j 1879,83"},     // 7
    {"d_i 1883,34", "blank 603,19", "d_f 1863,24", "d_e 1859,74"},     // 8
    {"blank", "d2h 1840,67", "d_b 1826,24", "d_c 1823,74"},            // 9
    {"d_a 1799,18", "d_d 1790,115", "d_g 1797,67", "d_j 1805,83"},     // 10
    {"d_i 1809,34", "blank 603,19", "d_f 1789,24", "d_e 1785,74"},     // 11
    {"blank", "d_h 1773,115", "d_b 1763,24", "d_c 1760,74"},           // 12
    {"d_a 1736,18", "d_d 1727,115", "d_g 1734,67", "d_j 1742,83"},     // 13
    {"d_i 1746,34", "blank 603,19", "d_f 1726,24", "d_e 1722,74"},     // 14
    {"blank 887,114", "blank 873,147", "a_b 1645,29", "a_c 1628,228"}, // 15
    {"a_a 1528,12", "a_d 1496,392", "a_g 1515,202", "a_j 1555,253"},   // 16
    {"a_i 1572,63", "blank 603,19", "a_f 1498,26", "a_e 1482,228"},    // 17
    {"blank", "a_h 1427,392", "a_b 1381,29", "a_c 1364,228"},          // 18
    {"a_a 1264,12", "a_d 1232,392", "a_g 1251,202", "a_j 1291,253"},   // 19
    {"a_i 1308,63", "blank 603,19", "a_f 1234,26", "a_e 1218,228"},    // 20
    {"blank", "blank", "blank", "blank"},                              // 21
    {"blank", "a_h 1163,392", "a_b 1117,29", "a_c 1100,228"},          // 22
    {"a_a 1000,12", "a_d 968,392", "a_g 987,202", "a_j 1027,253"},     // 23
    {"a_i 1044,63", "blank 603,19", "a_f 970,26", "a_e 954,228"},      // 24
    {"blank", "a_h 899,392", "a_b 853,29", "a_c 836,228"},             // 25
    {"a_a 736,12", "a_d 704,392", "a_g 723,202", "a_j 763,253"},       // 26
    {"a_i 780,63", "blank 603,19", "a_f 706,26", "a_e 690,228"},       // 27
    {"blank", "a_h 635,392", "a_b 589,29", "a_c 572,228"},             // 28
    {"a_a 472,12", "a_d 440,392", "a_g 459,202", "a_j 499,253"},       // 29
    {"a_i 516,63", "blank 603,19", "a_f 442,26", "a_e 426,228"},       // 30
    {"blank", "a_h 371,392", "a_b 325,29", "a_c 308,228"},             // 31
    {"a_a 208,12", "a_d 176,392", "a_g 195,202", "a_j 235,253"},       // 32
    {"a_i 252,63", "e18 7,417", "a_f 178,26", "a_e 162,228"},          // 33
    {"e1 7,12", "blank", "e2 58,12", "blank"},                         // 34
    {"e4 117,31", "blank", "e3 106,29", "blank"},                      // 35
    {"e8 103,31", "blank", "e7 101,50", "blank"},                      // 36
    {"e9 106,48", "blank", "e6 103,66", "blank"},                      // 37
    {"blank", "blank", "e5 116,51", "blank"},                          // 38
    {"e12 91,114", "blank", "e10 7,84", "blank"},                      // 39
    {"e13 71,114", "blank", "e11 73,84", "blank"},                     // 40
    {"e14 7,163", "e17 7,356", "e15 7,218", "e16 7,290"},              // 41
    {"c_b 1714,466", "c_c 1710,516", "blank", "c_h 1723,556"},         // 42
    {"c_g 1684,509", "c_j 1692,524", "c_a 1686,461", "c_d 1678,556"},  // 43
    {"c_f 1678,465", "c_e 1674,516", "c_i 1696,476", "blank"},         // 44
    {"c_b 1651,466", "c_c 1647,516", "blank", "c_h 1660,556"},         // 45
    {"c_g 1621,509", "c_j 1629,524", "c_a 1623,461", "c_d 1615,556"},  // 46
    {"c_f 1615,465", "c_e 1611,516", "c_i 1633,476", "blank"},         // 47
    {"c_b 1588,466", "c_c 1584,516", "blank", "c_h 1597,556"},         // 48
    {"c_g 1558,509", "c_j 1566,524", "c_a 1560,461", "c_d 1552,556"},  // 49
    {"c_f 1552,465", "c_e 1548,516", "c_i 1570,476", "blank"},         // 50
    {"c_b 1525,466", "c_c 1521,516", "blank", "c_h 1534,556"},         // 51
    {"c_g 1495,509", "c_j 1503,524", "c_a 1497,461", "c_d 1489,556"},  // 52
    {"c_f 1489,465", "c_e 1485,516", "c_i 1507,476", "blank"},         // 53
    {"b_f 20,475", "b_e 10,601", "b_i 65,498", "blank"},               // 54
    {"b_g 30,585", "b_j 55,616", "b_a 38,467", "b_d 18,703"},          // 55
    {"b_b 111,477", "b_c 104,601", "blank", "b_h 139,703"},            // 56
    {"b_f 185,475", "b_e 175,601", "b_i 230,498", "blank"},            // 57
    {"b_g 195,585", "b_j 220,616", "b_a 203,467", "b_d 183,703"},      // 58
    {"b_b 276,477", "b_c 269,601", "blank", "b_h 304,703"},            // 59
    {"b_f 350,475", "b_e 340,601", "b_i 395,498", "blank"},            // 60
    {"b_g 360,585", "b_j 385,616", "b_a 368,467", "b_d 348,703"},      // 61
    {"b_b 441,477", "b_c 434,601", "blank", "b_h 469,703"},            // 62
    {"b_f 515,475", "b_e 505,601", "b_i 560,498", "blank"},            // 63
    {"b_g 525,585", "b_j 550,616", "b_a 533,467", "b_d 513,703"},      // 64
    {"b_b 606,477", "b_c 599,601", "blank", "b_h 634,703"},            // 65
    {"b_f 680,475", "b_e 670,601", "b_i 725,498", "blank"},            // 66
    {"b_g 690,585", "b_j 715,616", "b_a 698,467", "b_d 678,703"},      // 67
    {"b_b 771,477", "b_c 764,601", "blank", "b_h 799,703"},            // 68
    {"b_f 845,475", "b_e 835,601", "b_i 890,498", "blank"},            // 69
    {"b_g 855,585", "b_j 880,616", "b_a 863,467", "b_d 843,703"},      // 70
    {"b_b 936,477", "b_c 929,601", "blank", "b_h 964,703"},            // 71
    {"b_f 1010,475", "b_e 1000,601", "b_i 1055,498", "blank"},         // 72
    {"blank", "blank", "blank", "blank"},                              // 73
    {"b_g 1020,585", "b_j 1045,616", "b_a 1028,467", "b_d 1008,703"},  // 74
    {"b_b 1101,477", "b_c 1094,601", "blank", "b_h 1129,703"},         // 75
    {"b_f 1175,475", "b_e 1165,601", "b_i 1220,498", "blank"},         // 76
    {"b_g 1185,585", "b_j 1210,616", "b_a 1193,467", "b_d 1173,703"},  // 77
    {"b_b 1266,477", "b_c 1259,601", "blank", "b_h 1294,703"},         // 78
    {"b_f 1340,475", "b_e 1330,601", "b_i 1385,498", "blank"},         // 79
    {"b_g 1350,585", "b_j 1375,616", "b_a 1358,467", "b_d 1338,703"},  // 80
    {"b_b 1431,477", "b_c 1424,601", "blank", "b_h 1459,703"},         // 81
    {"g1 1492,578", "g2 1477,610", "blank", "blank"},                  // 82
    {"g3 1509,636", "g4 1557,578", "g7 1548,702", "blank"},            // 83
    {"g6 1552,636", "g5 1576,578", "g8 1564,704", "blank"},            // 84
    {"g11 1638,578", "g9 1638,578", "g10 1607,663", "g20 1875,579"},   // 85
    {"g14 1694,633", "g13 1718,631", "g15 1804,683", "g12 1690,578"},  // 86
    {"blank", "blank", "blank", "g18 1821,590"},                       // 87
    {"blank", "blank", "blank", "g17 1838,584"},                       // 88
    {"blank", "blank", "blank", "g16 1821,590"},                       // 89
    {"blank", "blank", "blank", "g19 1816,606"},                       // 90
    {"g24 1954,659", "g23 1954,626", "g25 1954,693", "g22 1954,592"},  // 91
    {"c_b 1966,466", "c_c 1962,516", "blank", "g21 1947,580"},         // 92
    {"c_g 1936,509", "c_j 1944,524", "c_a 1938,461", "c_d 1930,556"},  // 93
    {"c_f 1930,465", "c_e 1926,516", "c_i 1948,476", "blank"},         // 94
    {"c_b 1903,466", "c_c 1899,516", "blank", "c_h 1912,556"},         // 95
    {"c_g 1873,509", "c_j 1881,524", "c_a 1875,461", "c_d 1867,556"},  // 96
    {"c_f 1867,465", "c_e 1863,516", "c_i 1885,476", "blank"},         // 97
    {"c_b 1840,466", "c_c 1836,516", "blank", "c_h 1849,556"},         // 98
    {"c_g 1810,509", "c_j 1818,524", "c_a 1812,461", "c_d 1804,556"},  // 99
    {"c_f 1804,465", "c_e 1800,516", "c_i 1822,476", "blank"},         // 100
    {"c_b 1777,466", "c_c 1773,516", "blank", "c_h 1786,556"},         // 101
    {"c_g 1747,509", "c_j 1755,524", "c_a 1749,461", "c_d 1741,556"},  // 102
    {"c_f 1741,465", "c_e 1737,516", "c_i 1759,476", "blank"},         // 103
};

TVornSegment ParseCell(const char *cell)
{
    TVornSegment s;
    const QByteArray text(cell);
    const int space = text.indexOf(' ');
    if (space < 0) {
        s.Mask = text;
        return s;
    }
    s.Mask = text.left(space);
    const QList<QByteArray> xy = text.mid(space + 1).split(',');
    s.Column = xy.value(0).toInt();
    s.Row = xy.value(1).toInt();
    return s;
}

// Column of each letter's mask relative to the character's "a" mask, per group. The decimal
// point lies to the right of its character; the medium and small groups share the pattern of
// the large one, scaled.
struct TGroupShape {
    char Group;
    std::array<int, 10> Offset; // a b c d e f g h i j
};
const TGroupShape GroupShapes[] = {
    {VornLarge, {0, 117, 100, -32, -46, -30, -13, 163, 44, 27}},
    {VornMedium, {0, 73, 66, -20, -28, -18, -8, 101, 27, 17}},
    {VornSmall, {0, 28, 24, -8, -12, -8, -2, 37, 10, 6}},
    {VornTop, {0, 27, 24, -9, -14, -10, -2, 37, 10, 6}},
};

std::vector<TVornCharacter> BuildCharacters(char group)
{
    const auto &table = VornSegmentTable();
    const TGroupShape *shape = nullptr;
    for (const TGroupShape &g : GroupShapes)
        if (g.Group == group)
            shape = &g;
    std::vector<TVornCharacter> chars;
    if (!shape)
        return chars;
    const QByteArray prefix = QByteArray(1, group) + '_';
    std::vector<int> anchors; // entries of the "a" masks
    for (int e = 0; e < LcdSegmentCount; ++e)
        if (table[e].Mask == prefix + 'a')
            anchors.push_back(e);
    std::sort(anchors.begin(), anchors.end(),
              [&](int l, int r) { return table[l].Column < table[r].Column; });
    for (int anchor : anchors) {
        TVornCharacter c;
        c.Group = group;
        c.Entries.fill(-1);
        for (int letter = 0; letter < 10; ++letter) {
            const QByteArray mask = prefix + char('a' + letter);
            const int column = table[anchor].Column + shape->Offset[letter];
            for (int e = 0; e < LcdSegmentCount; ++e)
                if (table[e].Mask == mask && table[e].Column == column) {
                    c.Entries[letter] = e;
                    break;
                }
        }
        chars.push_back(c);
    }
    return chars;
}

struct TCell {
    char Ch = ' ';
    bool Point = false;
};

const std::array<TVornKey, VornKeyCount> KeyTable = {{
    {{53, 83, 765, 825, 1}, -1, "I/O"},
    {{110, 180, 755, 850, 1}, VornKeyZero, "ZERO"},
    {{205, 275, 765, 860, 1}, VornKeyTare, "TARE"},
    {{306, 370, 775, 870, 1}, VornKeyGrossNet, "G/N"},
    {{400, 465, 775, 870, 1}, VornKeyPrint, "PRINT"},
    {{494, 560, 775, 870, 1}, VornKeyF1, "F1"},
    {{590, 660, 770, 865, 1}, VornKeyF2, "F2"},
    {{755, 788, 220, 290, 1}, 0x01, "1"},
    {{810, 843, 220, 290, 1}, 0x02, "2"},
    {{865, 898, 220, 290, 1}, 0x03, "3"},
    {{920, 953, 220, 290, 1}, VornKeySetup, "SET"},
    {{755, 788, 330, 400, 1}, 0x04, "4"},
    {{810, 843, 330, 400, 1}, 0x05, "5"},
    {{865, 898, 330, 400, 1}, 0x06, "6"},
    {{920, 953, 330, 400, 1}, VornKeyUp, "UP"},
    {{755, 788, 440, 510, 1}, 0x07, "7"},
    {{810, 843, 440, 510, 1}, 0x08, "8"},
    {{865, 898, 440, 510, 1}, 0x09, "9"},
    {{920, 953, 440, 510, 1}, VornKeyDown, "DOWN"},
    {{755, 788, 550, 620, 1}, VornKeyEscape, "ESC"},
    {{810, 843, 550, 620, 1}, 0x00, "0"},
    {{865, 898, 550, 620, 1}, VornKeyPoint, "."},
    {{920, 953, 550, 620, 1}, VornKeyEnter, "OK"},
}};

} // namespace

const std::array<TVornSegment, LcdSegmentCount> &VornSegmentTable()
{
    static const std::array<TVornSegment, LcdSegmentCount> table = [] {
        std::array<TVornSegment, LcdSegmentCount> t;
        for (int d = 0; d < LcdDigitCount; ++d)
            for (int b = 0; b < LcdBitsPerDigit; ++b)
                t[d * LcdBitsPerDigit + b] = ParseCell(SegmentRows[d][b]);
        return t;
    }();
    return table;
}

std::array<TLcdSegment, LcdSegmentCount> VornLcdSegments()
{
    std::array<TLcdSegment, LcdSegmentCount> out;
    const auto &table = VornSegmentTable();
    for (int e = 0; e < LcdSegmentCount; ++e) {
        out[e].Row = table[e].Row;
        out[e].Column = table[e].Column;
        out[e].MaskFile =
            QStringLiteral("segs/") + QString::fromLatin1(table[e].Mask) + QStringLiteral(".bmp");
        out[e].ImageIndex = 0;
    }
    return out;
}

std::vector<QByteArray> VornMaskNames()
{
    std::vector<QByteArray> names;
    for (const TVornSegment &s : VornSegmentTable())
        names.push_back(s.Mask);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

int VornEntryOfMask(const QByteArray &mask)
{
    const auto &table = VornSegmentTable();
    for (int e = 0; e < LcdSegmentCount; ++e)
        if (table[e].Mask == mask)
            return e;
    return -1;
}

int DisplayHexDigitValue(char ch)
{
    return std::max(0, HexDigitValue(ch)); // any other character lights nothing
}

bool DecodeDisplayValue(const QByteArray &value, TLcdStates &states)
{
    if (value.size() < VornDisplayValueLength)
        return false;
    for (int d = 0; d < LcdDigitCount; ++d) {
        const int v = DisplayHexDigitValue(value[2 + d]);
        states[d][0] = (v >> 3) & 1;
        states[d][1] = (v >> 2) & 1;
        states[d][2] = (v >> 1) & 1;
        states[d][3] = v & 1;
    }
    return true;
}

QByteArray EncodeDisplayValue(const TLcdStates &states, const QByteArray &lead)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out = lead.left(2);
    while (out.size() < 2)
        out.append('0');
    for (int d = 0; d < LcdDigitCount; ++d) {
        const int v =
            (states[d][0] ? 8 : 0) | (states[d][1] ? 4 : 0) | (states[d][2] ? 2 : 0) | (states[d][3] ? 1 : 0);
        out.append(hex[v]);
    }
    return out;
}

std::vector<int> LitEntries(const TLcdStates &states)
{
    std::vector<int> lit;
    for (int e = 0; e < LcdSegmentCount; ++e)
        if (EntryLit(states, e))
            lit.push_back(e);
    return lit;
}

const std::vector<TVornCharacter> &VornCharacters(TVornCharGroup group)
{
    static const std::map<char, std::vector<TVornCharacter>> all = [] {
        std::map<char, std::vector<TVornCharacter>> m;
        for (const TGroupShape &g : GroupShapes)
            m[g.Group] = BuildCharacters(g.Group);
        return m;
    }();
    static const std::vector<TVornCharacter> none;
    const auto it = all.find(char(group));
    return it == all.end() ? none : it->second;
}

uint16_t SevenSegmentGlyph(char ch)
{
    auto bits = [](std::initializer_list<int> letters) {
        uint16_t v = 0;
        for (int l : letters)
            v |= uint16_t(1u << l);
        return v;
    };
    switch (ch) {
    case '0':
    case 'O':
    case 'D':
        return bits({SegA, SegB, SegC, SegD, SegE, SegF});
    case '1':
        return bits({SegB, SegC});
    case '2':
    case 'Z':
    case 'z':
        return bits({SegA, SegB, SegD, SegE, SegG});
    case '3':
        return bits({SegA, SegB, SegC, SegD, SegG});
    case '4':
        return bits({SegB, SegC, SegF, SegG});
    case '5':
    case 'S':
    case 's':
        return bits({SegA, SegC, SegD, SegF, SegG});
    case '6':
        return bits({SegA, SegC, SegD, SegE, SegF, SegG});
    case '7':
        return bits({SegA, SegB, SegC});
    case '8':
    case 'B':
        return bits({SegA, SegB, SegC, SegD, SegE, SegF, SegG});
    case '9':
    case 'g':
        return bits({SegA, SegB, SegC, SegD, SegF, SegG});
    case 'A':
    case 'a':
        return bits({SegA, SegB, SegC, SegE, SegF, SegG});
    case 'b':
        return bits({SegC, SegD, SegE, SegF, SegG});
    case 'C':
        return bits({SegA, SegD, SegE, SegF});
    case 'c':
        return bits({SegD, SegE, SegG});
    case 'd':
        return bits({SegB, SegC, SegD, SegE, SegG});
    case 'E':
    case 'e':
        return bits({SegA, SegD, SegE, SegF, SegG});
    case 'F':
    case 'f':
        return bits({SegA, SegE, SegF, SegG});
    case 'G':
        return bits({SegA, SegC, SegD, SegE, SegF});
    case 'H':
    case 'X':
    case 'x':
        return bits({SegB, SegC, SegE, SegF, SegG});
    case 'h':
        return bits({SegC, SegE, SegF, SegG});
    case 'I':
        return bits({SegI, SegJ});
    case 'i':
        return bits({SegJ});
    case 'J':
    case 'j':
        return bits({SegB, SegC, SegD, SegE});
    case 'K':
    case 'k':
        return bits({SegE, SegF, SegG, SegI, SegC});
    case 'L':
    case 'l':
        return bits({SegD, SegE, SegF});
    case 'M':
    case 'm':
        return bits({SegA, SegB, SegC, SegE, SegF, SegI});
    case 'N':
        return bits({SegA, SegB, SegC, SegE, SegF});
    case 'n':
        return bits({SegC, SegE, SegG});
    case 'o':
        return bits({SegC, SegD, SegE, SegG});
    case 'P':
    case 'p':
        return bits({SegA, SegB, SegE, SegF, SegG});
    case 'Q':
    case 'q':
        return bits({SegA, SegB, SegC, SegF, SegG});
    case 'R':
    case 'r':
        return bits({SegE, SegG});
    case 'T':
    case 't':
        return bits({SegA, SegI, SegJ});
    case 'U':
    case 'V':
        return bits({SegB, SegC, SegD, SegE, SegF});
    case 'u':
    case 'v':
        return bits({SegC, SegD, SegE});
    case 'W':
    case 'w':
        return bits({SegB, SegC, SegD, SegE, SegF, SegJ});
    case 'Y':
    case 'y':
        return bits({SegB, SegC, SegD, SegF, SegG});
    case '-':
        return bits({SegG});
    case '_':
        return bits({SegD});
    case '=':
        return bits({SegD, SegG});
    case '|':
        return bits({SegI, SegJ});
    default:
        return 0;
    }
}

bool VornSetCharacter(TLcdStates &states, TVornCharGroup group, int index, char ch, bool point)
{
    const auto &chars = VornCharacters(group);
    if (index < 0 || index >= int(chars.size()))
        return false;
    const uint16_t glyph = SevenSegmentGlyph(ch);
    const TVornCharacter &c = chars[index];
    for (int letter = 0; letter < 10; ++letter)
        SetEntry(states, c.Entries[letter], letter == SegH ? point : (glyph >> letter) & 1);
    return true;
}

void VornShowText(TLcdStates &states, TVornCharGroup group, const QByteArray &text)
{
    std::vector<TCell> cells;
    for (char ch : text) {
        if (ch == '.' && !cells.empty() && !cells.back().Point)
            cells.back().Point = true;
        else if (ch == '.')
            cells.push_back({' ', true});
        else
            cells.push_back({ch, false});
    }
    const int count = int(VornCharacters(group).size());
    const int first = int(cells.size()) - count; // cell shown by character 0
    for (int i = 0; i < count; ++i) {
        const int c = first + i;
        if (c >= 0)
            VornSetCharacter(states, group, i, cells[c].Ch, cells[c].Point);
        else
            VornSetCharacter(states, group, i, ' ', false);
    }
}

bool VornSetSymbol(TLcdStates &states, const QByteArray &mask, bool lit)
{
    bool found = false;
    const auto &table = VornSegmentTable();
    for (int e = 0; e < LcdSegmentCount; ++e)
        if (table[e].Mask == mask) {
            SetEntry(states, e, lit);
            found = true;
        }
    return found;
}

const std::array<TVornKey, VornKeyCount> &VornKeys()
{
    return KeyTable;
}

int VornKeyAt(int x, int y, int width, int height)
{
    std::array<TLcdKey, VornKeyCount> rects;
    for (int i = 0; i < VornKeyCount; ++i)
        rects[i] = KeyTable[i].Rect;
    return LcdKeyAtPixel(rects.data(), VornKeyCount, x, y, width, height);
}

int VornKeyCode(int key, int heldMs)
{
    if (key < 0 || key >= VornKeyCount || KeyTable[key].Code < 0)
        return -1;
    return KeyTable[key].Code + (heldMs >= VornLongPressMs ? VornLongPressFlag : 0);
}

QByteArray VornKeyData(int code)
{
    QByteArray hex = QByteArray::number(code & 0xFFFF, 16).toUpper();
    return QByteArray(4 - hex.size(), '0') + hex;
}

int VornKeyOfCode(int code)
{
    const int base = code & ~VornLongPressFlag;
    for (int i = 0; i < VornKeyCount; ++i)
        if (KeyTable[i].Code == base)
            return i;
    return -1;
}
