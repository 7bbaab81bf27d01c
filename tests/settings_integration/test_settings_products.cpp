// The instrument's active product (0xB010) against vornsim: naming a product's menu selects that
// product at the instrument, so every read, edit, refresh, click, compare and save must leave the
// product active that was active before; product deletes keep the same product active.
#include "settings/SendSettings.h"
#include "settings/compare.h"
#include "settings/products.h"
#include "settings/settingssave.h"
#include "sim_bench.h"
#include "values/tools.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace
{

TMenuNode *Product(TSimBench &bench, const QByteArray &name)
{
    TMenuNode *menu = bench.Find("B100");
    if (!menu)
        return nullptr;
    for (auto &p : menu->Children)
        if (p->Text == name)
            return p.get();
    return nullptr;
}

TMenuNode *Below(TMenuNode *node, const QByteArray &reg)
{
    if (!node)
        return nullptr;
    for (auto &child : node->Children)
        if (child->Data && child->Data->Register == reg)
            return child.get();
    return nullptr;
}

// Makes a product the active one as the instrument's own keys would (all products' targets are 0).
void Activate(TSimBench &bench, int index)
{
    bench.Sim->Instrument().CurrentProduct = index;
    bench.Model().Find(0xB010)->Value = index + 1;
}

} // namespace

TEST(SettingsProducts, NoReadEditRefreshClickCompareOrSaveChangesTheActiveProduct)
{
    struct TCase {
        const char *What;
        bool ReadAll; // the session's read
        std::function<void(TSimBench &)> Action;
    };
    const TCase cases[] = {
        {"full read", true, [](TSimBench &) {}},
        {"lazy read, expand all", false, [](TSimBench &b) { EXPECT_TRUE(b.Tree.ExpandAll(b.Tree.Root())); }},
        // A new full scale changes every weight's display text: every number is read again, the
        // products' own included (each named first).
        {"edit FULLSCAL", true,
         [](TSimBench &b) { ASSERT_NE(b.Tree.ApplyEdit(b.Find("002F"), HexText(250000, 4)), nullptr); }},
        {"refresh the product menu", true,
         [](TSimBench &b) { EXPECT_TRUE(b.Tree.ReloadChildren(b.Find("B100"), true)); }},
        {"click a product", true,
         [](TSimBench &b) { EXPECT_TRUE(b.Tree.AnnounceItem(Product(b, "PLUMS"))); }},
        {"click a product's target", true,
         [](TSimBench &b) { EXPECT_TRUE(b.Tree.AnnounceItem(Below(Product(b, "APPLES"), "B020"))); }},
        {"compare with a saved file", true,
         [](TSimBench &b) {
             QList<QByteArray> lines;
             BuildSettingsFile(b.Tree.Tree(), b.Device.CalBlock, lines);
             QList<TSettingsEntry> entries;
             ASSERT_TRUE(SettingsEntries(lines, entries, nullptr));
             EXPECT_TRUE(CompareWithInstrument(&b.Engine, &b.Session, entries, false).Equal());
         }},
        {"save, lazy tree completed", false,
         [](TSimBench &b) {
             QTemporaryDir dir;
             EXPECT_TRUE(SaveSettings(b.Tree, b.Device, dir.filePath("x.WSD")).Ok());
         }},
    };
    for (const TCase &c : cases) {
        TSimBench bench;
        ASSERT_TRUE(bench.Start());
        Activate(bench, 1); // PEARS
        bench.Typed = {"1234"};
        ASSERT_TRUE(bench.Session.StartSessionAt(0, c.ReadAll)) << c.What;
        c.Action(bench);
        EXPECT_EQ(bench.Sim->Instrument().CurrentProduct, 1) << c.What;
        EXPECT_EQ(bench.Model().Find(0xB010)->Value, 2) << c.What;
        // The tree shows the product the instrument has active.
        if (TMenuNode *active = bench.Find("B010")) {
            EXPECT_EQ(HexToInt(active->Data->Value), 2u) << c.What;
        }
        EXPECT_TRUE(bench.Reporter.Errors.isEmpty())
            << c.What << bench.Reporter.Errors.join("\n").toStdString();
    }
}

TEST(SettingsProducts, AProductsOwnValueGoesToThatProductAndTheActiveOneStays)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    bench.Typed = {"1234"};
    ASSERT_TRUE(bench.Session.StartSessionAt(0, true));
    TMenuNode *target = Below(Product(bench, "PLUMS"), "B020");
    ASSERT_NE(target, nullptr);
    TMenuNode *after = bench.Tree.ApplyEdit(target, HexText(1234, 4));
    ASSERT_NE(after, nullptr);
    TVornInstrument &instrument = bench.Sim->Instrument();
    EXPECT_EQ(instrument.Products[2].Target, 1234);
    EXPECT_EQ(instrument.Products[0].Target, 0);
    EXPECT_EQ(instrument.CurrentProduct, 0);
    // The refreshed item shows PLUMS's target, not the active product's.
    EXPECT_EQ(HexToInt(after->Data->Value), 1234u);
}

TEST(SettingsProducts, DeletingAProductKeepsTheSameProductActive)
{
    // Active product, product deleted, and what is active afterwards (by name).
    struct TCase {
        int Active;
        QByteArray Deleted;
        QByteArray ActiveAfter;
    };
    const TCase cases[] = {
        {2, "APPLES", "PLUMS"}, // its place moves up
        {0, "PEARS", "APPLES"}, // before it: unchanged
        {1, "PEARS", "PLUMS"},  // the active one itself: the instrument's choice
    };
    for (const TCase &c : cases) {
        TSimBench bench;
        ASSERT_TRUE(bench.Start());
        Activate(bench, c.Active);
        bench.Typed = {"1234"};
        ASSERT_TRUE(bench.Session.StartSessionAt(0, true));
        TProductOps products(&bench.Engine, &bench.Device, &bench.Tree);
        TMenuNode *after = products.DeleteConfirmed(Product(bench, c.Deleted));
        EXPECT_EQ(products.LastOutcome, TProductOutcome::Confirmed) << c.Deleted.constData();
        TVornInstrument &instrument = bench.Sim->Instrument();
        EXPECT_EQ(instrument.Products.size(), 2) << c.Deleted.constData();
        EXPECT_EQ(instrument.Products[instrument.CurrentProduct].Name, c.ActiveAfter)
            << c.Deleted.constData();
        // The product menu is selected afterwards, not another product.
        ASSERT_NE(after, nullptr);
        EXPECT_EQ(TProductOps::ProductIndex(after), -1);
        EXPECT_EQ(after, bench.Find("B100"));
        if (TMenuNode *active = bench.Find("B010")) {
            EXPECT_EQ(HexToInt(active->Data->Value), static_cast<uint32_t>(instrument.CurrentProduct + 1));
        }
    }
}
