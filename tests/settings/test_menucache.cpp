// Remembered menu structures on their own: display forms learned from what an instrument showed,
// the values a structure admits, its JSON form and the folder that keeps one file per model.
#include "settings/menucache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

TItemShape Shape(const QByteArray &type, std::optional<int32_t> min = {}, std::optional<int32_t> max = {},
                 std::optional<QList<QByteArray>> options = {})
{
    TItemShape s;
    s.TypeCode = type;
    s.Minimum = min;
    s.Maximum = max;
    s.Options = options;
    return s;
}

} // namespace

TEST(MenuCacheShape, DisplayFormsLearnedFromOneValueGiveTheOthers)
{
    const QList<QByteArray> onOff{"OFF", "ON", "AUTO"};
    const struct {
        const char *what;
        TItemShape shape;
        QByteArray seenValue, seenText, value;
        std::optional<QByteArray> expected;
    } cases[] = {
        {"weight with units", Shape("01"), "0BB8", "30.00 kg", "FFFFFF9C", QByteArray("-1.00 kg")},
        {"small weight", Shape("01"), "0BB8", "30.00 kg", "0005", QByteArray("0.05 kg")},
        {"no decimals, no units", Shape("03"), "0007", "7", "0100", QByteArray("256")},
        {"unsigned, all 32 bits", Shape("05"), "0001", "1", "FFFFFFFF", QByteArray("4294967295")},
        {"signed 16 with a suffix", Shape("02"), "FFFFFFEC", "-2.0 %", "0014", QByteArray("2.0 %")},
        {"text", Shape("06"), "VORN", "VORN", "A B", QByteArray("A B")},
        {"address", Shape("12"), "C0A80132", "192.168.1.50", "0A000001", QByteArray("10.0.0.1")},
        {"option with its list", Shape("07", 0, 2, onOff), "0001", "ON", "0002", QByteArray("AUTO")},
        {"option outside its list", Shape("07", 0, 2, onOff), "0001", "ON", "0003", std::nullopt},
        {"option from 1", Shape("11", 1, 3, onOff), "0002", "ON", "0001", QByteArray("OFF")},
        {"option without its list: only what was seen", Shape("07"), "0001", "ON", "0000", std::nullopt},
        {"option without its list, the value seen", Shape("07"), "0001", "ON", "0001", QByteArray("ON")},
        {"a number shown as a word", Shape("01"), "0001", "HIGH", "0002", std::nullopt},
        {"a text shown otherwise", Shape("06"), "AB", "ab", "CD", std::nullopt},
        {"no value", Shape("01"), "0BB8", "30.00 kg", "XYZ", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TItemShape shape = c.shape;
        shape.Learn(c.seenValue, c.seenText);
        EXPECT_EQ(shape.LiteralFor(c.seenValue), std::optional<QByteArray>(c.seenText));
        EXPECT_EQ(shape.LiteralFor(c.value), c.expected);
        shape.ForgetForms();
        EXPECT_FALSE(shape.LiteralFor(c.seenValue));
    }
}

TEST(MenuCacheShape, AdmitsOnlyValuesOfItsTypeAndRange)
{
    const struct {
        const char *what;
        TItemShape shape;
        QByteArray value;
        bool admitted;
    } cases[] = {
        {"in range", Shape("01", 1, 100), "0064", true},
        {"over the range", Shape("01", 1, 100), "0065", false},
        {"under the range, signed", Shape("01", 1, 100), "FFFFFFFF", false},
        {"not hex", Shape("01", 1, 100), "12G4", false},
        {"too long", Shape("01", 1, 100), "000000001", false},
        {"no range known: any number", Shape("01"), "7FFFFFFF", true},
        {"unsigned, the whole range", Shape("05", 0, -1), "FFFFFFFF", true},
        {"signed-16 minimum", Shape("02", 0xFF38, 200), "FFFFFF38", true},
        {"under a signed-16 minimum", Shape("02", 0xFF38, 200), "FFFFFF37", false},
        {"an option", Shape("07", 0, 1, QList<QByteArray>{"OFF", "ON"}), "0001", true},
        {"no option", Shape("07", 0, 1, QList<QByteArray>{"OFF", "ON"}), "0002", false},
        {"a text that fits", Shape("06", {}, 4), "AB\\0DC", true},
        {"a text too long", Shape("06", {}, 4), "ABCDE", false},
        {"an address", Shape("12"), "C0A80101", true},
        {"no address", Shape("12"), "192.168.1.1", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.shape.Admits(c.value), c.admitted) << c.what;
}

TEST(MenuCacheStructure, JsonKeepsEverythingAndRefusesWhatNoReadMade)
{
    TMenuStructure s;
    s.Model = "V500";
    s.Version = "V1.04";
    s.Menus["0011/0000"] = {"11000000B1000000", {"0800BUILD", "0800PRODUCTS"}};
    TItemShape fs = Shape("01", 1, 999999);
    fs.Permission = 0x80;
    fs.Learn("0BB8", "30.00 kg");
    s.Items["002F"] = fs;
    TItemShape dp = Shape("07", 0, 3, QList<QByteArray>{"0", "0.0", "0.00", "0.000"});
    dp.Permission = 0;
    dp.Learn("0002", "0.00");
    s.Items["0031"] = dp;
    s.Context["0031"] = "0002";
    TMenuStructure back;
    QString error;
    ASSERT_TRUE(back.FromJson(s.ToJson(), &error)) << qPrintable(error);
    EXPECT_EQ(back.ToJson(), s.ToJson());
    EXPECT_EQ(back.Items["002F"].LiteralFor("0001"), QByteArray("0.01 kg"));
    EXPECT_EQ(back.Items["0031"].LiteralFor("0003"), QByteArray("0.000"));
    EXPECT_EQ(back.ContextRegisters(), QList<QByteArray>{"0031"});

    const struct {
        const char *what;
        QByteArray json;
    } bad[] = {
        {"not JSON", "{menus"},
        {"another format", R"({"format": 9, "model": "V500"})"},
        {"no model", R"({"format": 1})"},
        {"a name missing",
         R"({"format": 1, "model": "V", "menus": {"0011/0000": {"list": "1100000012000000", "names": ["0800A"]}}})"},
    };
    for (const auto &b : bad) {
        EXPECT_FALSE(back.FromJson(b.json, &error)) << b.what;
        EXPECT_TRUE(back.Model.isEmpty() && back.Menus.empty()) << b.what;
    }
}

TEST(MenuCacheFolder, OneFilePerModelAndVersionDroppedAndCleared)
{
    QTemporaryDir dir;
    TMenuStructureCache cache(dir.filePath("menus"));
    EXPECT_FALSE(cache.Load("V500", "V1.04")) << "nothing kept yet";
    TMenuStructure a, b;
    a.Model = b.Model = "V500";
    a.Version = "V1.04";
    b.Version = "V1.05";
    ASSERT_TRUE(cache.Save(a));
    ASSERT_TRUE(cache.Save(b));
    // Texts a file name cannot carry are kept apart by the hash.
    TMenuStructure odd;
    odd.Model = "V/500";
    odd.Version = "V1.04";
    ASSERT_TRUE(cache.Save(odd));
    EXPECT_NE(cache.FileFor("V/500", "V1.04"), cache.FileFor("V_500", "V1.04"));
    EXPECT_EQ(cache.LoadAll().size(), 3u);
    ASSERT_TRUE(cache.Load("V500", "V1.05"));
    // A file that says it is another model's is none of this one's.
    QFile::remove(cache.FileFor("V500", "V1.05"));
    ASSERT_TRUE(QFile::copy(cache.FileFor("V500", "V1.04"), cache.FileFor("V500", "V1.05")));
    EXPECT_FALSE(cache.Load("V500", "V1.05"));
    cache.Drop("V500", "V1.04");
    EXPECT_FALSE(cache.Load("V500", "V1.04"));
    EXPECT_EQ(cache.Drops, 1);
    EXPECT_EQ(cache.Clear(), 2);
    EXPECT_TRUE(cache.LoadAll().empty());
    // A folder that cannot be made is an error, not a crash.
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TMenuStructureCache blocked(dir.filePath("file/menus"));
    QString error;
    EXPECT_FALSE(blocked.Save(a, &error));
    EXPECT_FALSE(error.isEmpty());
}
