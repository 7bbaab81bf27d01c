// Settings files: exact bytes of the lines written from a tree, the preview read back, and
// damaged files that must neither crash nor leak titles into the request lines.
#include "settings/SendSettings.h"
#include "settings/settingstree.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace
{

TMenuNode *AddItem(TMenuNode *parent, const QByteArray &name, const QByteArray &reg, const QByteArray &type,
                   const QByteArray &menuKey, const QByteArray &value, const QByteArray &literal)
{
    TMenuNode *node = parent->AddChild(name);
    auto item = std::make_unique<TMenuItemData>();
    item->Name = name;
    item->Register = reg;
    item->TypeCode = type;
    item->MenuKey = menuKey;
    item->Value = value;
    item->Literal = literal;
    item->HasValue = type != "08" && type != "0B" && type != "0F";
    node->Data = std::move(item);
    if (node->Data->HasValue)
        node->Text = TDevice::ItemCaption(*node->Data);
    return node;
}

TMenuTree ExampleTree()
{
    TMenuTree tree;
    auto root = std::make_unique<TMenuNode>();
    root->Text = "SAFE SETUP";
    root->Data = std::make_unique<TMenuItemData>();
    root->Data->Register = "0011";
    root->Data->TypeCode = "08";
    root->Data->MenuKey = "0000";
    TMenuNode *menu = AddItem(root.get(), "MENU A", "0100", "08", "0001", {}, {});
    AddItem(menu, "ITEM1", "1234", "01", "0002", "04E2", "12.50 kg");
    tree.push_back(std::move(root));
    return tree;
}

} // namespace

TEST(SettingsFile, FourLineExampleByteForByte)
{
    QList<QByteArray> lines;
    BuildSettingsFile(ExampleTree(), {}, lines);
    EXPECT_EQ(SettingsFileText(lines), "1: SAFE SETUP\r\n"
                                       "2: MENU A\r\n"
                                       "3: ITEM1    : 12.50 kg\r\n"
                                       "20121234:04E2\r\n");
    // With a calibration block the write of 0x00F8 follows the root title.
    lines.clear();
    BuildSettingsFile(ExampleTree(), "0A0B0C", lines);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[1], "201200F8:0A0B0C");

    lines.clear();
    BuildSettingsFile({}, "0A", lines);
    EXPECT_TRUE(lines.isEmpty());
}

TEST(SettingsFile, UnreadableItemsGetNoWriteLine)
{
    TMenuTree tree = ExampleTree();
    tree[0]->Children[0]->Children[0]->Data->Readable = false;
    QList<QByteArray> lines;
    BuildSettingsFile(tree, {}, lines);
    EXPECT_EQ(lines, (QList<QByteArray>{"1: SAFE SETUP", "2: MENU A", "3: ITEM1    : 12.50 kg"}));
}

TEST(SettingsFile, ProductLinesFollowTheResetMarker)
{
    TMenuTree tree = ExampleTree();
    TMenuNode *root = tree[0].get();
    // Product menus appear once per product: key 0 resets, key 1 is the default, 2+ are named.
    AddItem(root, "PRODUCTS", "B100", "08", "0000", {}, {});
    AddItem(root, "DEFAULT", "B100", "08", "0001", {}, {});
    AddItem(root, "APPLES", "B100", "08", "0002", {}, {});
    AddItem(root, "PEARS", "B100", "08", "0003", {}, {});
    QList<QByteArray> lines;
    BuildSettingsFile(tree, {}, lines);
    const QList<QByteArray> tail(lines.begin() + 4, lines.end());
    EXPECT_EQ(tail, (QList<QByteArray>{"2: PRODUCTS", "2010B002:", "2010B005:", "2: DEFAULT", "2: APPLES",
                                       "2012B010:1", "2010B012:APPLES", "2: PEARS", "2010B001:PEARS"}));
    // The marker starts clear in every file.
    lines.clear();
    TMenuTree other = ExampleTree();
    AddItem(other[0].get(), "PEARS", "B100", "08", "0003", {}, {});
    BuildSettingsFile(other, {}, lines);
    EXPECT_EQ(lines.last(), "2010B001:PEARS");
    EXPECT_TRUE(HasProductReset(QList<QByteArray>{"2010B002:"}));
    EXPECT_FALSE(HasProductReset(QList<QByteArray>{"2010B001:X"}));
}

TEST(SettingsFile, PreviewGivesThreeLevelsAndLeavesRequestsInOrder)
{
    QList<QByteArray> lines;
    BuildSettingsFile(ExampleTree(), "CAL", lines);
    lines.append("20121235:0001");
    TMenuTree preview = PreviewSettings(lines);
    EXPECT_EQ(lines, (QList<QByteArray>{"201200F8:CAL", "20121234:04E2", "20121235:0001"}));
    ASSERT_EQ(preview.size(), 1u);
    EXPECT_EQ(preview[0]->Text, " SAFE SETUP");
    ASSERT_EQ(preview[0]->Children.size(), 1u);
    EXPECT_EQ(preview[0]->Children[0]->Text, " MENU A");
    ASSERT_EQ(preview[0]->Children[0]->Children.size(), 1u);
    EXPECT_EQ(preview[0]->Children[0]->Children[0]->Text, " ITEM1    : 12.50 kg");
    EXPECT_TRUE(HasCalibrationLine(lines));
    lines.removeFirst();
    EXPECT_FALSE(HasCalibrationLine(lines));
}

TEST(SettingsFile, PreviewOfDamagedStructure)
{
    // Jumps of several levels hang below the node added last; a first title deeper than 2 hangs
    // below the root; titles shallower than 2 stay under the root; lines without ":" are titles.
    QList<QByteArray> lines = {"1: ROOT", "4: DEEP",   "20120001:1", "2: A",    "5: B",
                               "3: C",    "1: SECOND", "no colon",   "0: ZERO", "20120002:2"};
    TMenuTree preview = PreviewSettings(lines);
    EXPECT_EQ(lines, (QList<QByteArray>{"20120001:1", "20120002:2"}));
    const TMenuNode &root = *preview[0];
    ASSERT_EQ(root.Children.size(), 5u);
    EXPECT_EQ(root.Children[0]->Text, " DEEP");
    EXPECT_EQ(root.Children[1]->Text, " A");
    ASSERT_EQ(root.Children[1]->Children.size(), 2u);
    EXPECT_EQ(root.Children[1]->Children[0]->Text, " B");
    EXPECT_EQ(root.Children[1]->Children[1]->Text, " C");
    EXPECT_EQ(root.Children[2]->Text, " SECOND");
    EXPECT_EQ(root.Children[3]->Text, "no colon");
    EXPECT_EQ(root.Children[4]->Text, " ZERO");

    // Only request lines: no tree, all lines kept. An ever deeper file stays bounded.
    QList<QByteArray> requests = {"20120001:1"};
    EXPECT_TRUE(PreviewSettings(requests).empty());
    EXPECT_EQ(requests.size(), 1);
    QList<QByteArray> deep;
    for (int d = 1; d <= 100000; ++d)
        deep.append(QByteArray::number(d % 100) + ": X");
    TMenuTree tall = PreviewSettings(deep);
    EXPECT_TRUE(deep.isEmpty());
    EXPECT_EQ(IndentedTreeLines(tall).size(), 100000);
}

TEST(SettingsFile, FileNamesAndReadWriteRoundTrip)
{
    EXPECT_EQ(SettingsFileName("SETUP1"), "SETUP1.WSD");
    EXPECT_EQ(SettingsFileName("setup.txt"), "setup.txt");
    EXPECT_EQ(SettingsFileName("/tmp/dir.d/SETUP1"), "/tmp/dir.d/SETUP1.WSD");

    QTemporaryDir dir;
    const QString path = dir.filePath("a.WSD");
    QList<QByteArray> lines;
    BuildSettingsFile(ExampleTree(), {}, lines);
    QString error;
    ASSERT_TRUE(WriteSettingsFile(path, lines, &error));
    QList<QByteArray> back;
    ASSERT_TRUE(ReadSettingsFile(path, back, &error));
    EXPECT_EQ(back, lines);
    EXPECT_FALSE(ReadSettingsFile(dir.filePath("missing.WSD"), back, &error));
    EXPECT_TRUE(error.contains("missing.WSD"));
    EXPECT_FALSE(WriteSettingsFile(dir.filePath("no/such/dir/x.WSD"), lines, &error));

    // Files edited elsewhere: LF only, no final line end.
    EXPECT_EQ(SettingsFileLines("1: A\n20120001:1"), (QList<QByteArray>{"1: A", "20120001:1"}));
    EXPECT_EQ(SettingsFileLines(""), QList<QByteArray>{});
}

TEST(SettingsFile, OnlyWhatASaveWritesIsSent)
{
    // A file as a save writes it, with the calibration block and the product lines.
    TMenuTree tree = ExampleTree();
    TMenuNode *root = tree[0].get();
    TMenuNode *products = AddItem(root, "PRODUCTS", "B100", "08", "0000", {}, {});
    TMenuNode *current = AddItem(products, "CURRENT", "B100", "08", "0001", {}, {});
    AddItem(current, "ACTIVE", "B010", "01", "0000", "0002", "2");
    AddItem(products, "APPLES", "B100", "08", "0002", {}, {});
    AddItem(products, "PEARS", "B100", "08", "0003", {}, {});
    QList<QByteArray> good;
    BuildSettingsFile(tree, "0A0B0C", good);
    QString error;
    ASSERT_TRUE(CheckSettingsFile(good, &error)) << error.toStdString();

    struct TCase {
        const char *What;
        std::function<void(QList<QByteArray> &)> Change;
        const char *Error; // the start of the message; empty: accepted
        bool NotSettings;
    };
    const TCase cases[] = {
        {"blank lines at the end",
         [](QList<QByteArray> &l) {
             l << ""
               << "";
         },
         "", false},
        {"a reset", [](QList<QByteArray> &l) { l.insert(4, "20100016:"); },
         "line 5 executes register 0016, which a settings file does not carry", false},
        {"an execute under the products",
         [](QList<QByteArray> &l) { l.append("3: X"), l.append("20100103:"); },
         "line 18 executes register 0103", false},
        {"a key press written", [](QList<QByteArray> &l) { l[4] = "20120008:000E"; },
         "line 5 writes register 0008, which acts", false},
        {"two requests under one title", [](QList<QByteArray> &l) { l.insert(5, "20121234:0001"); },
         "line 6 is a second request under one title", false},
        {"control characters",
         [](QList<QByteArray> &l) {
             l[4] = "20121234:04\x01"
                    "E2";
         },
         "line 5 holds control characters (20121234:04[SOH]E2)", false},
        {"a value in lower-case digits", [](QList<QByteArray> &l) { l[4] = "20121234:04e2"; }, "", false},
        {"lower-case hex in the header", [](QList<QByteArray> &l) { l[4] = "2012123a:04E2"; },
         "line 5 is neither a title nor a request", false},
        {"an address", [](QList<QByteArray> &l) { l[4] = "21121234:04E2"; },
         "line 5 is neither a title nor a request", false},
        {"a depth jump", [](QList<QByteArray> &l) { l.insert(2, "4: DEEP"); },
         "line 3 is a title of depth 4 after one of depth 1", false},
        {"calibration below another title", [](QList<QByteArray> &l) { l.move(1, 3); },
         "line 4 writes the calibration block below the first title", false},
        {"a product added under another name", [](QList<QByteArray> &l) { l.last() = "2010B001:KIWI"; },
         "line 16 adds a product named otherwise than its title (\"KIWI\")", false},
        {"the totals cleared without the reset", [](QList<QByteArray> &l) { l.removeAt(7); },
         "line 7 clears the totals without the products' reset after it", false},
        {"a log file",
         [](QList<QByteArray> &l) {
             l = {"Date,Time,Weight", "05/03/2024,14:07:59,12.50"};
         },
         "not a settings file: line 1 is no menu title", true},
        {"titles only",
         [](QList<QByteArray> &l) {
             l = {"1: SAFE SETUP", "2: MENU A"};
         },
         "not a settings file: it holds titles but no settings", true},
        {"empty", [](QList<QByteArray> &l) { l.clear(); }, "not a settings file: it is empty", true},
        {"binary",
         [](QList<QByteArray> &l) {
             l = {QByteArray("\x7F"
                             "ELF\x02\x01",
                             6)};
         },
         "not a settings file: line 1 holds control characters", true},
    };
    for (const TCase &c : cases) {
        QList<QByteArray> lines = good;
        c.Change(lines);
        QString why;
        bool notSettings = false;
        const bool ok = CheckSettingsFile(lines, &why, &notSettings);
        if (!*c.Error) {
            EXPECT_TRUE(ok) << c.What << ": " << why.toStdString();
            continue;
        }
        EXPECT_FALSE(ok) << c.What;
        EXPECT_TRUE(why.startsWith(QLatin1String(c.Error))) << c.What << ": " << why.toStdString();
        EXPECT_EQ(notSettings, c.NotSettings) << c.What;
    }
}
