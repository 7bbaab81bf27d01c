// The register catalogue against a scripted exchange: request texts, reply reading, the cache,
// the menu tree, option lists, calibration figures, identification and data-store pointers.
#include "fake_exchange.h"
#include "settings/device.h"

#include <gtest/gtest.h>

namespace
{

struct DeviceTest : ::testing::Test {
    TFakeExchange fake;
    TDevice device;
    void SetUp() override { device.OnExchange = fake.Callback(); }
};

struct TreeTest : ::testing::Test {
    TFakeRegisters regs;
    TDevice device;
    TMenuTree tree;
    void SetUp() override { device.OnExchange = regs.Callback(); }
};

} // namespace

TEST_F(DeviceTest, ReplyReadingAndFailureFlag)
{
    device.SetReply("20110001:00");
    EXPECT_EQ(device.ReplyText(), "00");
    EXPECT_FALSE(device.ReplyFailed());
    device.SetReply("60110001:1000");
    EXPECT_TRUE(device.ReplyFailed());
    device.SetReply("");
    EXPECT_TRUE(device.ReplyFailed());
    device.SetReply("2");
    EXPECT_TRUE(device.ReplyFailed());

    // Data is trimmed of blanks and control characters, cut at 300 characters, read as hex.
    device.SetReply("00110005: \t 0000FFFE\r\n");
    EXPECT_EQ(device.ReplyText(), "0000FFFE");
    EXPECT_EQ(device.ReplyHex(), 0xFFFE);
    EXPECT_EQ(device.ReplyHexSigned16(), -2);
    device.SetReply("00110005:" + QByteArray(400, 'A'));
    EXPECT_EQ(device.ReplyText().size(), 300);
    device.SetReply("no separator");
    EXPECT_TRUE(device.ReplyText().isEmpty());
    device.SetReplyHex(-1);
    EXPECT_EQ(device.ReplyText(), "FFFFFFFF");
}

TEST_F(DeviceTest, RequestTextsOfEveryQuery)
{
    device.SetRegister(0x2a);
    EXPECT_EQ(device.GetRegister(), "002A");
    device.SetMenu("0003");
    device.ReadLiteral();
    device.ReadOptionText(3);
    device.ReadOptionText(0x1F4);
    device.ReadPermission();
    device.Execute("");
    device.Execute("5");
    device.ReadValue();
    device.WriteValue("04E2");
    device.ReadMenuList();
    device.ReadItemName();
    device.ExtendSession();
    device.RefreshMenu();
    const QList<QByteArray> expected = {
        "2005002A:", "200D002A:03",   "200D002A:1F4",  "200F002A:",     "2010002A:",   "2010002A:5",
        "2011002A:", "2012002A:04E2", "2014002A:0003", "2015002A:0003", "201200EF:FF", "201000EE:002A"};
    EXPECT_EQ(fake.Requests, expected);
    // Nothing goes out without an exchange, and the query then counts as failed.
    TDevice lone;
    lone.SetReply("20110001:00");
    lone.ReadValue();
    EXPECT_TRUE(lone.ReplyFailed());
}

TEST_F(DeviceTest, RangesAndTypesAreCachedOnlyWhenAnswered)
{
    device.SetRegister(0x1234);
    fake.AnswerOk("20011234:", "07");
    fake.AnswerOk("20021234:", "00000001");
    fake.AnswerError("20031234:");
    device.ReadType();
    device.ReadMinimum();
    device.ReadMaximum();
    EXPECT_TRUE(device.ReplyFailed());
    fake.Requests.clear();

    device.ReadType();
    EXPECT_FALSE(device.ReplyFailed());
    EXPECT_EQ(device.ReplyText(), "07");
    device.ReadMinimum();
    EXPECT_FALSE(device.ReplyFailed());
    EXPECT_EQ(device.ReplyHex(), 1);
    EXPECT_TRUE(fake.Requests.isEmpty());
    device.ReadMaximum(); // the refusal was not cached: asked again
    EXPECT_EQ(fake.Requests, QList<QByteArray>{"20031234:"});

    const TMenuCacheItem *entry = device.CacheEntry("1234");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->ValidBits, 0x05u);
    EXPECT_EQ(entry->Maximum, -1);
}

TEST(DeviceCaption, PaddedNameAndCutAt25)
{
    TMenuItemData item;
    item.Name = "ITEM1";
    item.Literal = "12";
    EXPECT_EQ(TDevice::ItemCaption(item), "ITEM1    : 12");
    item.Literal = "12.50 kg";
    EXPECT_EQ(TDevice::ItemCaption(item), "ITEM1    : 12.50 kg");
    item.Literal = "12345678901234"; // 8 + 3 + 14 = 25 fits
    EXPECT_EQ(TDevice::ItemCaption(item), "ITEM1    : 12345678901234");
    item.Literal += "5";
    EXPECT_EQ(TDevice::ItemCaption(item), "ITEM1    : 12345678901234 ...");
    item.Name = "A LONG ITEM NAME WITH MORE";
    item.Literal = "1";
    EXPECT_EQ(TDevice::ItemCaption(item), "A LONG ITEM NAME WITH MOR ...");
}

TEST_F(TreeTest, MenuTreeReadsNamesTypesValuesAndKeepsRegisters)
{
    regs.AddMenu(0x0011, "ROOT", {{0x0100, 0x0001}, {0x0200, 0x0002}, {0x0300, 0x0003}});
    regs.AddMenu(0x0100, "MENU A", {{0x1234, 0x0004}});
    regs.Add(0x1234, 1, "ITEM1", "04E2", "12.50 kg");
    regs.Add(0x0200, 11, "ZERO");
    regs.Add(0x0300, 7, "MODE", "0001", "FAST").Permission = 0x80;

    device.SetRegister(0x4321);
    device.SetMenu("0009");
    device.BuildMenuTree(tree, 0x0011, true, "SAFE SETUP");
    EXPECT_EQ(device.GetRegister(), "4321");
    EXPECT_EQ(device.GetMenu(), "0009");

    ASSERT_EQ(tree.size(), 1u);
    const TMenuNode &root = *tree[0];
    EXPECT_EQ(root.Text, "SAFE SETUP");
    EXPECT_EQ(root.Data->Register, "0011");
    EXPECT_EQ(root.Data->MenuKey, "0000");
    EXPECT_FALSE(root.Data->HasValue);
    ASSERT_EQ(root.Children.size(), 3u);
    const TMenuNode &menu = *root.Children[0];
    EXPECT_EQ(menu.Text, "MENU A");
    EXPECT_EQ(menu.Data->MenuKey, "0001");
    ASSERT_EQ(menu.Children.size(), 1u);
    const TMenuItemData &item = *menu.Children[0]->Data;
    EXPECT_EQ(menu.Children[0]->Text, "ITEM1    : 12.50 kg");
    EXPECT_EQ(item.Value, "04E2");
    EXPECT_EQ(item.Literal, "12.50 kg");
    EXPECT_EQ(item.TypeCode, "01");
    EXPECT_TRUE(item.Readable && item.HasValue && !item.Modified);
    EXPECT_EQ(root.Children[1]->Text, "ZERO");
    EXPECT_FALSE(root.Children[1]->Data->HasValue);
    EXPECT_EQ(root.Children[2]->Data->Permission, 0x80);
    EXPECT_EQ(regs.Count("2011020"), 0); // no value query for an item without value
}

TEST_F(TreeTest, LazyMenusGetPlaceholdersAndFailuresAreContained)
{
    regs.AddMenu(0x0011, "ROOT", {{0x0100, 1}, {0x0200, 2}, {0x0300, 3}});
    regs.AddMenu(0x0100, "SUB", {{0x0101, 4}});
    regs.Add(0x0101, 1, "X", "0001", "1");
    regs.Add(0x0300, 1, "B", "0002", "2");
    // 0x0200 unknown: its name query fails and the entry is dropped, the others remain.
    device.BuildMenuTree(tree, 0x0011, false, "SAFE SETUP");
    const TMenuNode &root = *tree[0];
    ASSERT_EQ(root.Children.size(), 2u);
    EXPECT_TRUE(root.Children[0]->HasPlaceholder());
    EXPECT_EQ(root.Children[0]->Children[0]->Text, "...");
    EXPECT_EQ(root.Children[1]->Text, "B        : 2");
    EXPECT_EQ(regs.Count("20140100"), 0); // the sub-menu was not read

    // A menu list that fails leaves a placeholder so that the menu can be opened again.
    regs.Regs[0x0100].Refused = true;
    TMenuNode &sub = *tree[0]->Children[0];
    sub.Children.clear();
    device.LoadChildren(sub, false);
    ASSERT_EQ(sub.Children.size(), 1u);
    EXPECT_TRUE(sub.HasPlaceholder());

    // Every menu load renews the session first.
    EXPECT_EQ(regs.Requests[regs.Requests.size() - 2], "201200EF:FF");
}

TEST_F(TreeTest, BrokenMenuListTailIsDropped)
{
    TFakeExchange fake;
    device.OnExchange = fake.Callback();
    fake.AnswerOk("20140011:0000", "01000001010");
    fake.AnswerOk("20150100:0001", "0100NAME");
    device.BuildMenuTree(tree, 0x0011, false, "R");
    ASSERT_EQ(tree[0]->Children.size(), 1u);
    EXPECT_EQ(fake.Count("2015"), 1);
}

TEST_F(TreeTest, FullLevelItemsUnreadableWithoutFullAccess)
{
    regs.AddMenu(0x0011, "ROOT", {{0x0500, 1}, {0x0501, 2}, {0x0502, 3}});
    regs.Add(0x0500, 1, "SAFE", "0005", "5").Permission = 0x01;
    regs.Add(0x0501, 1, "FULL2", "0006", "6").Permission = 0x02;
    regs.Add(0x0502, 1, "FULL3", "0007", "7").Permission = 0x83;
    device.BuildMenuTree(tree, 0x0011, true, "SAFE SETUP");
    const auto &kids = tree[0]->Children;
    EXPECT_TRUE(kids[0]->Data->Readable);
    EXPECT_FALSE(kids[1]->Data->Readable);
    EXPECT_FALSE(kids[2]->Data->Readable);
    EXPECT_TRUE(kids[1]->Data->Value.isEmpty());
    EXPECT_EQ(regs.Count("20110501:"), 0);
    EXPECT_EQ(regs.Count("20050502:"), 0);

    regs.Requests.clear();
    device.FullAccess = true;
    device.BuildMenuTree(tree, 0x0011, true, "FULL SETUP");
    EXPECT_TRUE(tree[0]->Children[1]->Data->Readable);
    EXPECT_EQ(tree[0]->Children[2]->Data->Value, "0007");
    EXPECT_EQ(regs.Count("20110501:"), 1);
}

TEST_F(TreeTest, FailedValueQueryKeepsItemUnreadable)
{
    TFakeExchange fake;
    device.OnExchange = fake.Callback();
    fake.AnswerOk("200F0777:", "00");
    fake.AnswerError("20110777:");
    fake.AnswerOk("20050777:", "x");
    auto item = device.MakeItemData("N", "0777", {}, "0003");
    EXPECT_FALSE(item->Readable); // the type query got no answer
    EXPECT_EQ(fake.Requests.first(), "20010777:");
    EXPECT_TRUE(item->HasValue);
    EXPECT_EQ(item->Literal, "x");
    EXPECT_TRUE(item->Value.isEmpty());
}

TEST_F(TreeTest, SelfListingMenuIsNotFollowedForever)
{
    regs.AddMenu(0x0011, "ROOT", {{0x0011, 1}});
    device.BuildMenuTree(tree, 0x0011, true, "LOOP");
    const TMenuNode *node = tree[0].get();
    int depth = 0;
    while (!node->Children.empty() && node->Children[0]->Data) {
        node = node->Children[0].get();
        ++depth;
    }
    EXPECT_EQ(depth, TDevice::MaxMenuDepth + 1);
    EXPECT_TRUE(node->HasPlaceholder());
}

TEST_F(TreeTest, OptionListsAreReadOnceAndBounded)
{
    auto &mode = regs.Add(0x0300, 7, "MODE", "0001", "B");
    mode.Minimum = 0;
    mode.Maximum = 2;
    mode.Options = {"A", "B", "C"};
    device.SetRegister(0x0300);
    auto options = device.ReadOptions();
    ASSERT_TRUE(options);
    EXPECT_EQ(*options, (QList<QByteArray>{"A", "B", "C"}));
    EXPECT_EQ(regs.Count("200D0300:"), 3);
    regs.Requests.clear();
    EXPECT_EQ(*device.ReadOptions(), (QList<QByteArray>{"A", "B", "C"}));
    EXPECT_TRUE(regs.Requests.isEmpty());
    EXPECT_EQ(device.GetRegister(), "0300");

    // A failed option text is "Unknown"; type 17 is an option list too.
    auto &more = regs.Add(0x0301, 17, "MORE");
    more.Minimum = 1;
    more.Maximum = 3;
    more.Options = {"ONE", "TWO"};
    device.SetRegister(0x0301);
    EXPECT_EQ(*device.ReadOptions(), (QList<QByteArray>{"ONE", "TWO", "Unknown"}));
    EXPECT_EQ(regs.Requests.last(), "200D0301:03");

    // A range up to FFFFFFFF is bounded instead of sending billions of queries.
    auto &huge = regs.Add(0x0302, 7, "HUGE");
    huge.Minimum = 0;
    huge.Maximum = -1;
    device.SetRegister(0x0302);
    EXPECT_EQ(device.ReadOptions()->size(), TDevice::MaxOptions);

    // Types 12 and 1 give no list; a refused type query gives none either.
    regs.Add(0x0303, 12, "PAGE");
    regs.Add(0x0304, 1, "NUM");
    device.SetRegister(0x0303);
    EXPECT_FALSE(device.ReadOptions());
    device.SetRegister(0x0304);
    EXPECT_FALSE(device.ReadOptions());
    device.SetRegister(0x0305);
    EXPECT_FALSE(device.ReadOptions());
}

TEST_F(TreeTest, OptionListRetriedWhenItsRangeFailedBefore)
{
    auto &mode = regs.Add(0x0300, 7, "MODE");
    mode.Maximum = 1;
    mode.Options = {"A", "B"};
    TFakeExchange fake;
    device.OnExchange = fake.Callback();
    fake.AnswerOk("20010300:", "07");
    device.SetRegister(0x0300);
    EXPECT_TRUE(device.ReadOptions()->isEmpty()); // the minimum query timed out
    device.OnExchange = regs.Callback();
    EXPECT_EQ(*device.ReadOptions(), (QList<QByteArray>{"A", "B"}));
    EXPECT_EQ(regs.Count("20010300"), 0); // the type stayed cached
}

TEST_F(TreeTest, CalibrationFiguresAndLinearisation)
{
    regs.Add(0x0112, 1, "REF", "00002710");      // 10000
    regs.Add(0x0025, 1, "CAP", "", "30.00kg G"); // units sit before the last two characters
    regs.Add(0x002F, 1, "WT", "000001F4");
    regs.Add(0x00F8, 6, "CALBLK", "0102030405");
    regs.Add(0x0111, 1, "ZERO", "FFFFFF9C");  // -100
    regs.Add(0x0113, 1, "SPAN", "00004E20");  // 20000
    regs.Add(0x0121, 1, "SHOWN", "00001388"); // 5000
    auto &lin = regs.Add(0x0115, 1, "LIN", "00000028");
    (void)lin;
    device.SetRegister(0x0999);
    device.ReadCalibrationInfo();
    EXPECT_EQ(device.GetRegister(), "0999");
    EXPECT_EQ(device.CalRef, 10000);
    EXPECT_EQ(device.CalDecimals, 2);
    EXPECT_EQ(device.CalUnits, "kg");
    EXPECT_EQ(device.CalWeight, 500);
    EXPECT_EQ(device.CalBlock, "0102030405");
    EXPECT_EQ(device.CalZero, -100);
    EXPECT_EQ(device.CalSpan, 20000);
    EXPECT_EQ(device.CalSpanShown, 10000); // 5000 x 20000 / 10000, formed in 64 bits
    EXPECT_EQ(regs.Count("20100115:"), 10);
    EXPECT_EQ(regs.Requests.last(), "20100115:9");
    EXPECT_EQ(device.LinPoints[9], 40);

    // A reference of 0 gives a shown span of 0 instead of a division fault.
    regs.Regs[0x0112].Value = "0";
    device.ReadCalibrationInfo();
    EXPECT_EQ(device.CalSpanShown, 0);

    device.LinPoints.fill(0);
    device.LinPoints[1] = 40;
    const QList<QByteArray> lines = device.LinearisationList();
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[0], " 1:");
    EXPECT_EQ(lines[1], " 2:  40%");
    EXPECT_EQ(lines[9], "10:");

    device.ResetFacts();
    EXPECT_EQ(device.CalUnits, "  ");
    EXPECT_TRUE(device.CalBlock.isEmpty());
    EXPECT_EQ(device.LinPoints[1], 0);
}

TEST_F(TreeTest, FailedCalibrationReadsLeaveFiguresCleared)
{
    regs.Add(0x0113, 1, "SPAN", "00000064");
    device.CalZero = 7;
    device.ReadCalibrationInfo();
    EXPECT_EQ(device.CalZero, 0);
    EXPECT_EQ(device.CalSpan, 100);
    EXPECT_EQ(device.CalSpanShown, 0);
    EXPECT_EQ(device.CalUnits, "  ");
    EXPECT_EQ(device.LinPoints[0], 0);
}

TEST_F(TreeTest, IdentityAndDataStorePointers)
{
    regs.Add(0x0005, 1, "SER", "FFFFFFFE");
    regs.Add(0x0003, 6, "MODEL", "V5");
    regs.Add(0x0004, 6, "VER", "1.02");
    regs.Add(0x0001, 1, "COMMS", "00");
    regs.Add(0x8294, 1, "OLD", "1,2024");
    regs.Add(0x8295, 1, "NEW", "9,2024");
    regs.Add(0x8291, 1, "BYNUM", "REC");
    regs.Add(0x8292, 1, "NEXT", "NXT");
    device.ReadIdentity();
    EXPECT_EQ(device.SerialNumber, "4294967294"); // all 32 bits, never a sign
    EXPECT_EQ(device.ModelText, "V5");
    EXPECT_EQ(device.VersionText, "1.02");
    EXPECT_EQ(device.CommsType, "00");

    EXPECT_TRUE(device.ReadDataStoreInfo());
    EXPECT_EQ(device.OldestRecordText, "1,2024");
    EXPECT_EQ(device.NewestRecordText, "9,2024");
    QByteArray out;
    EXPECT_TRUE(device.ReadRecordByNumber(0x1AF, out));
    EXPECT_EQ(regs.Requests.last(), "20108291:1AF");
    EXPECT_EQ(out, "REC");
    EXPECT_TRUE(device.ReadNextRecord(out));
    EXPECT_EQ(regs.Requests.last(), "20108292:");
    EXPECT_TRUE(device.ReadOldestRecord(out));
    EXPECT_EQ(out, "1,2024");
    EXPECT_TRUE(device.ReadNewestRecord(out));

    regs.Regs[0x8292].Refused = true;
    EXPECT_FALSE(device.ReadNextRecord(out));
    EXPECT_TRUE(out.isEmpty());

    device.OnExchange = nullptr;
    out = "stale";
    EXPECT_FALSE(device.ReadOldestRecord(out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_FALSE(device.ReadDataStoreInfo());
    EXPECT_TRUE(device.SerialNumber.isEmpty());
    device.ReadIdentity();
    EXPECT_TRUE(device.ModelText.isEmpty());
}

TEST_F(TreeTest, AMenuWalkTooWideToEndStopsAtItsItemLimitAndReadsNothingMore)
{
    // 30 menus of 30 menus of 30 items: 27930 items, only 3 levels deep.
    QList<QPair<int, int>> top, middle, items;
    for (int i = 0; i < 30; ++i) {
        top.append({0x1000 + i, 0});
        middle.append({0x2000 + i, 0});
        items.append({0x3000 + i, 0});
        regs.Add(0x3000 + i, 1, "ITEM", "01");
        regs.AddMenu(0x1000 + i, "TOP", {});
        regs.AddMenu(0x2000 + i, "MIDDLE", {});
    }
    for (int i = 0; i < 30; ++i) {
        regs.Regs[0x1000 + i].Menu = middle;
        regs.Regs[0x2000 + i].Menu = items;
    }
    regs.AddMenu(0x0011, "ROOT", top);
    device.BuildMenuTree(tree, 0x0011, true, "ROOT");
    EXPECT_TRUE(device.MenuLimitText.contains("more than 10000 items")) << device.MenuLimitText.toStdString();
    const int sent = regs.Requests.size();
    device.LoadChildren(*tree[0]->Children[0], true);
    EXPECT_EQ(regs.Requests.size(), sent);
}
