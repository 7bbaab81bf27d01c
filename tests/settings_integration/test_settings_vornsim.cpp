// The register catalogue, sessions and settings files against vornsim over loopback TCP: the
// full read matches the model, lazy reads stay lazy, edits refresh, and settings files round-trip
// from one instrument to another through brellin-cli.
#include "fake_link.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "run_program.h"
#include "settings/SendSettings.h"
#include "settings/device.h"
#include "settings/products.h"
#include "settings/session.h"
#include "settings/settingssend.h"
#include "settings/settingstree.h"
#include "sim_bench.h"
#include "values/tools.h"
#include "vornsim.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

// Every item below the node against the instrument's model; returns the number of items compared.
int CompareWithModel(TSimBench &bench, const TMenuNode &node, bool fullAccess)
{
    int compared = 0;
    for (const auto &child : node.Children) {
        const TMenuItemData *item = child->Data.get();
        if (!item) {
            ADD_FAILURE() << "placeholder under " << node.Text.constData();
            continue;
        }
        if (item->RegisterNumber() == RegProductMenu)
            continue; // the product menus are checked on their own
        const TSimItem *model = bench.Model().Find(item->RegisterNumber());
        if (!model) {
            ADD_FAILURE() << "register " << item->Register.constData() << " is not in the model";
            continue;
        }
        ++compared;
        const QByteArray where = item->Register + " " + item->Name;
        EXPECT_EQ(item->Name, model->Name) << where.constData();
        EXPECT_EQ(HexToInt(item->TypeCode), static_cast<uint32_t>(model->Type)) << where.constData();
        const bool readable = fullAccess || (model->Permission & 3) < 2;
        EXPECT_EQ(item->Readable, readable) << where.constData();
        if (model->Type == SimTypeMenu) {
            EXPECT_FALSE(item->HasValue);
            compared += CompareWithModel(bench, *child, fullAccess);
            continue;
        }
        if (model->Type == 11 || model->Type == 15) {
            EXPECT_FALSE(item->HasValue) << where.constData();
            EXPECT_EQ(child->Text, model->Name);
            continue;
        }
        EXPECT_TRUE(item->HasValue) << where.constData();
        if (readable) {
            EXPECT_EQ(item->Value, bench.Model().ValueText(*model)) << where.constData();
            EXPECT_EQ(item->Literal, bench.Model().Literal(*model).trimmed()) << where.constData();
            EXPECT_EQ(child->Text, TDevice::ItemCaption(*item));
        } else {
            EXPECT_TRUE(item->Value.isEmpty() && item->Literal.isEmpty()) << where.constData();
            EXPECT_EQ(bench.CountSent("2011" + item->Register), 0) << where.constData();
            EXPECT_EQ(bench.CountSent("2005" + item->Register), 0) << where.constData();
        }
    }
    return compared;
}

} // namespace

TEST(SettingsVornsim, FullReadGivesExactlyTheModel)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    bench.Typed = {"1234"};
    ASSERT_TRUE(bench.Session.StartSessionAt(0, true));
    // The passcode goes out as the hexadecimal of its decimal value.
    EXPECT_EQ(bench.CountSent("2012001A:4D2"), 1);
    const TMenuNode *root = bench.Tree.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Text, "SAFE SETUP");
    const int compared = CompareWithModel(bench, *root, false);
    EXPECT_GE(compared, 80);
    // The model's own listing of the setup menu, register by register, in order.
    QList<QByteArray> fromModel, fromTree;
    std::function<void(int)> walkModel = [&](int menu) {
        for (const auto &[reg, key] : bench.Model().MenuEntries(menu)) {
            fromModel << HexText(static_cast<uint32_t>(reg), 4);
            if (bench.Model().Menu(reg) && reg != RegProductMenu)
                walkModel(reg);
        }
    };
    std::function<void(const TMenuNode &)> walkTree = [&](const TMenuNode &node) {
        for (const auto &child : node.Children) {
            fromTree << child->Data->Register;
            if (child->Data->RegisterNumber() != RegProductMenu)
                walkTree(*child);
        }
    };
    walkModel(0x0011);
    walkTree(*root);
    EXPECT_EQ(fromTree, fromModel);

    // The products appear by name, each with its own menu key.
    const TMenuNode *products = bench.Find("B100");
    ASSERT_NE(products, nullptr);
    QList<QByteArray> names;
    for (const auto &p : products->Children)
        names << p->Text;
    EXPECT_EQ(names, (QList<QByteArray>{"CURRENT", "APPLES", "PEARS", "PLUMS"}));
    EXPECT_EQ(products->Children[2]->Data->MenuKey, "0003");
    EXPECT_TRUE(bench.Reporter.Errors.isEmpty()) << bench.Reporter.Errors.join("\n").toStdString();
}

TEST(SettingsVornsim, FullLevelReadsEverythingAndTheCalibrationBlock)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    bench.Typed = {"5678"};
    ASSERT_TRUE(bench.Session.StartSessionAt(1, true));
    EXPECT_EQ(bench.CountSent("20120019:162E"), 1);
    EXPECT_EQ(bench.Tree.Root()->Text, "FULL SETUP");
    CompareWithModel(bench, *bench.Tree.Root(), true);
    EXPECT_FALSE(bench.Device.CalBlock.isEmpty());
    EXPECT_EQ(bench.Device.CalUnits, "kg");
    EXPECT_EQ(bench.Device.CalDecimals, 2);
    QList<QByteArray> lines;
    BuildSettingsFile(bench.Tree.Tree(), bench.Device.CalBlock, lines);
    EXPECT_EQ(lines.value(1), "201200F8:" + bench.Device.CalBlock);
}

TEST(SettingsVornsim, LazySessionQueriesOnlyOpenedMenusAndCachesOptions)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    bench.Typed = {"1234"};
    ASSERT_TRUE(bench.Session.StartSessionAt(0, false));
    EXPECT_EQ(bench.CountSent("20141100"), 0);
    EXPECT_EQ(bench.CountSent("20141200"), 0);
    EXPECT_EQ(bench.CountSent("20140011"), 1);

    TMenuNode *options = bench.Find("1200");
    ASSERT_TRUE(options && options->HasPlaceholder());
    bench.Tree.Expanding(options);
    EXPECT_EQ(bench.CountSent("20141200"), 1);
    EXPECT_EQ(bench.CountSent("20141100"), 0);
    EXPECT_EQ(bench.CountSent("20141300"), 0);
    // Only the opened menu's items were asked for: none of another closed menu.
    for (const QByteArray &s : bench.Sent)
        EXPECT_FALSE(s.startsWith("20151101") || s.startsWith("20151311")) << s.constData();

    // The first visit to an option item reads its texts, the second sends nothing.
    bench.Device.SetRegister(0x1205);
    const auto first = bench.Device.ReadOptions();
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, (QList<QByteArray>{"NONE", "2", "4", "8", "16", "32"}));
    const auto before = bench.Sent.size();
    EXPECT_EQ(*bench.Device.ReadOptions(), *first);
    EXPECT_EQ(bench.Sent.size(), before);
    // Type 12 gives no list and nothing fails.
    bench.Device.SetRegister(0x1208);
    EXPECT_FALSE(bench.Device.ReadOptions());
}

TEST(SettingsVornsim, StructureChangingEditReloadsTheMenuAndUnitsRefreshLiterals)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    bench.Typed = {"1234"};
    ASSERT_TRUE(bench.Session.StartSessionAt(0, true));

    TMenuNode *use = bench.Find("1201");
    ASSERT_NE(use, nullptr);
    EXPECT_EQ(use->Parent->Children.size(), 9u);
    TMenuNode *after = bench.Tree.ApplyEdit(use, "0001");
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->Text, "USE      : TRAFFIC");
    QList<QByteArray> names;
    for (const auto &c : after->Parent->Children)
        names << c->Data->Name;
    EXPECT_EQ(names.mid(0, 4), (QList<QByteArray>{"USE", "RED.DLY", "GRN.DLY", "LIGHTS"}));
    EXPECT_EQ(bench.CountSent("201000EE:1201"), 1);
    EXPECT_EQ(bench.CountSent("20100010:"), 1); // saved after the edit
    EXPECT_EQ(bench.Model().Find(0x1201)->Value, 1);

    // Units from kg to lb: every weight literal follows, in other menus too.
    TMenuNode *units = bench.Find("0030");
    after = bench.Tree.ApplyEdit(units, "0001");
    EXPECT_EQ(after->Text, "UNITS    : lb");
    EXPECT_TRUE(bench.Find("002F")->Data->Literal.endsWith("lb"));
    EXPECT_TRUE(bench.Find("1206")->Text.endsWith("lb")) << bench.Find("1206")->Text.constData();
    EXPECT_TRUE(bench.Find("1412")->Text.endsWith("lb")) << bench.Find("1412")->Text.constData();
    EXPECT_TRUE(bench.Reporter.Errors.isEmpty()) << bench.Reporter.Errors.join("\n").toStdString();

    // The session still works after the saves: the levels were re-opened.
    TMenuNode *copies = bench.Find("1504");
    after = bench.Tree.ApplyEdit(copies, "0003");
    EXPECT_EQ(after->Text, "COPIES   : 3");
    EXPECT_TRUE(bench.Reporter.Errors.isEmpty()) << bench.Reporter.Errors.join("\n").toStdString();
}

TEST(SettingsVornsim, SendStopsOnNoAndSendsCalibrationOnlyWhenAsked)
{
    TSimBench from, to;
    ASSERT_TRUE(from.Start());
    ASSERT_TRUE(to.Start());
    from.Typed = {"5678"};
    ASSERT_TRUE(from.Session.StartSessionAt(1, true));
    QList<QByteArray> lines;
    BuildSettingsFile(from.Tree.Tree(), from.Device.CalBlock, lines);
    PreviewSettings(lines);
    ASSERT_TRUE(HasCalibrationLine(lines));

    TSettingsSender sender(&to.Engine, &to.Session, &to.Reporter);
    sender.Transfer.SetStepInterval(2);
    // Declining the totals question sends nothing.
    to.Typed = {"5678"};
    to.Reporter.Answer = false;
    EXPECT_FALSE(sender.Send(lines, false));
    EXPECT_EQ(to.Reporter.Questions, QStringList{"Existing Totals will be cleared. Continue?"});
    EXPECT_EQ(to.CountSent("2012"
                           "1101"),
              0);
    EXPECT_EQ(to.Sim->Instrument().TransfersEnded, 0);

    to.Typed = {"5678"};
    to.Reporter.Answer = true;
    to.Sent.clear();
    EXPECT_TRUE(sender.Send(lines, false));
    EXPECT_TRUE(sender.TransferCompleted);
    EXPECT_EQ(to.CountSent("201200F8"), 0);
    EXPECT_EQ(to.Sim->Instrument().TransfersEnded, 1);

    to.Typed = {"5678"};
    to.Sent.clear();
    EXPECT_TRUE(sender.Send(lines, true));
    EXPECT_EQ(to.CountSent("201200F8:" + from.Device.CalBlock), 1);
}

TEST(SettingsVornsim, ProductsAddRenameDeleteAndReloadTheirMenu)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    bench.Typed = {"1234"};
    ASSERT_TRUE(bench.Session.StartSessionAt(0, true));
    TProductOps products(&bench.Engine, &bench.Device, &bench.Tree);
    auto names = [&bench] {
        QList<QByteArray> out;
        for (const auto &p : bench.Find("B100")->Children)
            out << p->Text;
        return out;
    };
    TVornInstrument &instrument = bench.Sim->Instrument();

    EXPECT_EQ(products.BeginAdd(), 12);
    TMenuNode *menu = products.AddProduct(bench.Find("B100"), "KIWI");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(names(), (QList<QByteArray>{"CURRENT", "APPLES", "PEARS", "PLUMS", "KIWI"}));
    EXPECT_EQ(instrument.Products.last().Name, "KIWI");

    // Renaming shows the product's name as the instrument holds it; the add returned its node.
    const auto [current, limit] = products.BeginRename(menu);
    EXPECT_EQ(current, "KIWI");
    EXPECT_EQ(limit, 12);
    products.RenameProduct(menu, "MANGO");
    EXPECT_TRUE(names().contains("MANGO"));

    // Deleting the product whose menu is selected; a refused name is reported and still reloads.
    TMenuNode *pears = nullptr;
    for (auto &p : bench.Find("B100")->Children)
        if (p->Text == "PEARS")
            pears = p.get();
    ASSERT_NE(pears, nullptr);
    const int cleared = instrument.TotalsCleared;
    products.DeleteProduct(pears, &bench.Reporter);
    EXPECT_EQ(instrument.TotalsCleared, cleared + 1);
    EXPECT_FALSE(names().contains("PEARS"));
    EXPECT_TRUE(bench.Reporter.Errors.isEmpty()) << bench.Reporter.Errors.join("\n").toStdString();
    products.AddProduct(bench.Find("B100"), "A NAME MUCH TOO LONG");
    ASSERT_EQ(bench.Reporter.Errors.size(), 1);
    EXPECT_TRUE(bench.Reporter.Errors[0].startsWith("Error :- Register B001:"));
    EXPECT_EQ(names(), (QList<QByteArray>{"CURRENT", "APPLES", "PLUMS", "MANGO"}));
}

namespace
{

QString Address(const TVornSim &sim)
{
    return QStringLiteral("127.0.0.1:%1").arg(sim.Port());
}

} // namespace

TEST(SettingsVornsim, CliRoundTripMakesTheSecondInstrumentEqualTheFirst)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    TVornSim first(config), second(config);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    // The second instrument starts with other values and other products.
    TSimModel &m2 = second.Instrument().Model();
    m2.Find(0x1105)->Value = 1;
    m2.Find(0x1314)->Value = 9;
    m2.Find(0x1501)->Text = "OTHER HEADER";
    m2.Find(0x1206)->Value = 75;
    m2.Find(0x1412)->Value = -5000;
    second.Instrument().Products = {{"BANANAS", 5, 0}};

    QTemporaryDir dir;
    TProgramRun run =
        RunCli({"--tcp", Address(first), "settings", "save", dir.filePath("SETUP1"), "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out.trimmed(), dir.filePath("SETUP1.WSD").toLocal8Bit());

    run = RunCli({"settings", "show", dir.filePath("SETUP1.WSD")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.startsWith(" SAFE SETUP\n   BUILD\n     TYPE     : STANDRD\n"))
        << run.Out.toStdString();
    EXPECT_TRUE(run.Out.contains("request lines: "));

    // Without --yes the totals question is answered No and nothing is sent.
    run = RunCli(
        {"--tcp", Address(second), "settings", "send", dir.filePath("SETUP1.WSD"), "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_TRUE(run.Err.contains("Existing Totals will be cleared. Continue? No")) << run.Err.toStdString();
    EXPECT_EQ(m2.Find(0x1105)->Value, 1);

    run = RunCli({"--tcp", Address(second), "settings", "send", dir.filePath("SETUP1.WSD"), "--passcode",
                  "1234", "--yes"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();

    TSimModel &m1 = first.Instrument().Model();
    int compared = 0;
    for (int i = 0; i < m1.ItemCount(); ++i) {
        const TSimItem &a = m1.Item(i);
        if (!m1.HasValue(a) || (a.Permission & 3) >= 2 || a.Register == 0x1208)
            continue;
        const TSimItem *b = m2.Find(a.Register);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(m2.ValueText(*b), m1.ValueText(a)) << QByteArray::number(a.Register, 16).constData();
        ++compared;
    }
    EXPECT_GT(compared, 60);
    QList<QByteArray> names1, names2;
    for (const auto &p : first.Instrument().Products)
        names1 << p.Name;
    for (const auto &p : second.Instrument().Products)
        names2 << p.Name;
    EXPECT_EQ(names2, names1);
    EXPECT_FALSE(second.Instrument().SafeOpen || second.Instrument().FullOpen); // locked afterwards

    // A wrong passcode exits 1 with a clear message.
    run = RunCli({"--tcp", Address(second), "settings", "dump", "--passcode", "1"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_TRUE(run.Err.contains("refused the passcode")) << run.Err.toStdString();
    run = RunCli({"--tcp", Address(second), "settings", "dump", "--menu", "id", "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, "ID Menu\n  OPERATOR : JOE\n  TRUCK    : 0\n");
}

TEST(SettingsVornsim, CliCalibrationLineOnlyWhenAskedAndBadFiles)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    TVornSim first(config), second(config);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    QTemporaryDir dir;
    const QString file = dir.filePath("full.wsd");
    TProgramRun run =
        RunCli({"--tcp", Address(first), "settings", "save", file, "--menu", "full", "--passcode", "5678"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    run = RunCli({"settings", "show", file});
    EXPECT_TRUE(run.Out.contains("calibration line: yes")) << run.Out.toStdString();

    // The safe passcode does not open the full level that a calibration line needs.
    run = RunCli({"--tcp", Address(second), "settings", "send", file, "--yes", "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_TRUE(run.Err.contains("refused the passcode for the full level")) << run.Err.toStdString();

    run = RunCli({"--tcp", Address(second), "-v", "settings", "send", file, "--yes", "--passcode", "5678"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_FALSE(run.Err.contains("201200F8:")) << run.Err.toStdString();
    run = RunCli({"--tcp", Address(second), "-v", "settings", "send", file, "--yes", "--passcode", "5678",
                  "--with-calibration"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("201200F8:")) << run.Err.toStdString();

    run = RunCli({"settings", "show", dir.filePath("missing.WSD")});
    EXPECT_EQ(run.Exit, 5);
    QFile junk(dir.filePath("junk.WSD"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray("\0\xff:::\n9999999999999999999: X\n20ZZ:\n", 34));
    junk.close();
    run = RunCli({"settings", "show", dir.filePath("junk.WSD")});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_TRUE(run.Out.endsWith("request lines: 2\n")) << run.Out.toStdString(); // titles need ":" within 3
}

TEST(SettingsVornsim, CliClock)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    TVornSim sim(config);
    ASSERT_TRUE(sim.Start());
    TProgramRun run = RunCli({"--tcp", Address(sim), "clock", "set", "2024-03-05 14:07"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    run = RunCli({"--tcp", Address(sim), "clock", "show"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.startsWith("05/03/2024 14:07:")) << run.Out.toStdString();
    run = RunCli({"--tcp", Address(sim), "clock", "set", "yesterday"});
    EXPECT_EQ(run.Exit, 2);
}
