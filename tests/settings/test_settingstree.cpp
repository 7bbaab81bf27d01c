// The settings tree model: lazy loading when a view opens a menu, reloads after edits that change the
// menu, the units refresh, and the model's consistency as a view sees it.
#include "fake_exchange.h"
#include "settings/settingstree.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <gtest/gtest.h>

namespace
{

struct ModelTest : ::testing::Test {
    TFakeRegisters regs;
    TDevice device;
    TSettingsTreeModel model{&device};
    void SetUp() override
    {
        SetUpOpening();
        device.OnExchange = regs.Callback();
        regs.AddMenu(0x0011, "ROOT", {{0x0100, 1}, {0x0200, 2}});
        regs.AddMenu(0x0100, "SCALE", {{0x0101, 3}, {0x0102, 4}});
        regs.AddMenu(0x0200, "OUTPUT", {{0x0201, 5}});
        regs.Add(0x0101, 7, "MODE", "0000", "SIMPLE");
        regs.Regs[0x0101].Maximum = 1;
        regs.Regs[0x0101].Options = {"SIMPLE", "DUAL"};
        regs.Add(0x0102, 1, "CAP", "0BB8", "30.00kg");
        regs.Add(0x0103, 1, "CAP2", "1770", "60.00kg");
        regs.Add(0x0201, 1, "BAUD", "0001", "1");
        regs.Add(0x002F, 1, "WT", "0", "0.00kg");
    }
    QModelIndex Child(const QModelIndex &parent, int row) { return model.index(row, 0, parent); }
    QString Text(const QModelIndex &index) { return model.data(index).toString(); }
    // A view opens a menu: fetchMore only asks (it may come from inside the view's layout), and the
    // menu is read once the events run, by whoever shows the tree (here: the test, as the tab does).
    void Open(const QModelIndex &menu)
    {
        const int before = model.rowCount(menu);
        const QList<QByteArray> sent = regs.Requests;
        model.fetchMore(menu);
        EXPECT_EQ(regs.Requests, sent) << "nothing is read inside fetchMore";
        EXPECT_EQ(model.rowCount(menu), before);
        QCoreApplication::processEvents();
    }
    void SetUpOpening()
    {
        QObject::connect(&model, &TSettingsTreeModel::MenuWanted, &model,
                         [this](const QModelIndex &menu) { model.Expanding(model.NodeAt(menu)); });
    }
};

} // namespace

TEST_F(ModelTest, MenusLoadWhenOpenedAndOnlyThen)
{
    model.BuildMenuTree(0x0011, false, "SAFE SETUP");
    const QModelIndex root = model.index(0, 0);
    EXPECT_EQ(Text(root), "SAFE SETUP");
    ASSERT_EQ(model.rowCount(root), 2);
    const QModelIndex scale = Child(root, 0);
    EXPECT_TRUE(model.canFetchMore(scale));
    EXPECT_EQ(Text(Child(scale, 0)), "...");
    EXPECT_EQ(regs.Count("20140100"), 0);
    EXPECT_EQ(regs.Count("20140200"), 0);

    Open(scale);
    EXPECT_FALSE(model.canFetchMore(scale));
    ASSERT_EQ(model.rowCount(scale), 2);
    EXPECT_EQ(Text(Child(scale, 1)), "CAP      : 30.00kg");
    EXPECT_EQ(regs.Count("20140100"), 1);
    EXPECT_EQ(regs.Count("20140200"), 0); // the other menu stays unread
    EXPECT_EQ(model.NodeAt(Child(scale, 1))->Data->Value, "0BB8");
    EXPECT_EQ(model.parent(Child(scale, 1)), scale);

    // Opening it again reads nothing.
    regs.Requests.clear();
    Open(scale);
    EXPECT_EQ(regs.Count("2014"), 0);

    // Expand All reads every remaining menu.
    model.ExpandAll(model.Root());
    EXPECT_EQ(regs.Count("20140200"), 1);
    const QList<QByteArray> lines = IndentedTreeLines(model.Tree());
    EXPECT_EQ(lines, (QList<QByteArray>{"SAFE SETUP", "  SCALE", "    MODE     : SIMPLE",
                                        "    CAP      : 30.00kg", "  OUTPUT", "    BAUD     : 1"}));
}

TEST_F(ModelTest, StructureChangingEditReloadsItsMenu)
{
    // The tester checks every signal and index as a view would see them. (It opens every menu it
    // finds, so it watches a tree that was read entirely.)
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.BuildMenuTree(0x0011, true, "SAFE SETUP");
    model.ReadEntireMenu = true;
    TMenuNode *mode = model.Root()->Children[0]->Children[0].get();
    // The instrument shows a second capacity once the mode is DUAL.
    regs.Regs[0x0100].Menu = {{0x0101, 3}, {0x0102, 4}, {0x0103, 6}};
    regs.Regs[0x0101].Literal = "DUAL";
    int saves = 0;
    model.OnSaveAfterEdit = [&] { return ++saves > 0; };
    regs.Requests.clear();
    TMenuNode *after = model.ApplyEdit(mode, "0001");
    EXPECT_EQ(saves, 1);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->Text, "MODE     : DUAL");
    EXPECT_EQ(after->Data->Register, "0101");
    const TMenuNode *scale = after->Parent;
    ASSERT_EQ(scale->Children.size(), 3u);
    EXPECT_EQ(scale->Children[2]->Text, "CAP2     : 60.00kg");
    // Write, refresh of the changed register, then the menu read.
    EXPECT_EQ(regs.Requests.first(), "20120101:0001");
    EXPECT_GE(regs.Requests.indexOf("201000EE:0101"), 1);
    EXPECT_LT(regs.Requests.indexOf("201000EE:0101"), regs.Requests.indexOf("20140100:0001"));
}

TEST_F(ModelTest, UnitsChangeRefreshesEveryNumber)
{
    model.BuildMenuTree(0x0011, true, "SAFE SETUP");
    EXPECT_TRUE(model.CheckUnitsChange()); // first sight of the weight text
    EXPECT_FALSE(model.CheckUnitsChange());
    regs.Regs[0x002F].Literal = "0.0lb";
    regs.Regs[0x0102].Literal = "66.1lb";
    regs.Regs[0x0102].Value = "0295";
    regs.Requests.clear();
    EXPECT_TRUE(model.CheckUnitsChange());
    const TMenuNode *cap = model.Root()->Children[0]->Children[1].get();
    EXPECT_EQ(cap->Text, "CAP      : 66.1lb");
    EXPECT_EQ(cap->Data->Value, "0295");
    EXPECT_EQ(model.Root()->Children[0]->Children[0]->Text, "MODE     : SIMPLE");
    EXPECT_EQ(regs.Count("20110101"), 0); // options are not numbers
    EXPECT_EQ(regs.Count("20110201"), 1);
}

TEST_F(ModelTest, FailedMenuCanBeOpenedAgainLater)
{
    model.BuildMenuTree(0x0011, false, "SAFE SETUP");
    const QModelIndex output = Child(model.index(0, 0), 1);
    regs.Regs[0x0200].Refused = true;
    Open(output);
    EXPECT_TRUE(model.canFetchMore(output));
    regs.Regs[0x0200].Refused = false;
    Open(output);
    EXPECT_EQ(Text(Child(output, 0)), "BAUD     : 1");
    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.Root(), nullptr);
}
