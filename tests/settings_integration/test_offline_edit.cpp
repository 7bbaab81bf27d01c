// Settings files edited without an instrument: the entries are checked as the Settings tab checks
// them online, and a file edited offline and sent leaves the instrument equal to it, written back
// byte for byte as a save from that instrument writes it.
#include "run_program.h"
#include "settings/SendSettings.h"
#include "settings/menucache.h"
#include "settings/offline.h"
#include "settings/settingssave.h"
#include "sim_bench.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

struct TOfflineBench {
    QTemporaryDir Dir;
    TMenuStructureCache Cache{Dir.filePath(QStringLiteral("menus"))};
    TSimBench Online;

    bool Start()
    {
        Online.Config.SafePasscode = 0;
        Online.Config.FullPasscode = 0;
        if (!Online.Start())
            return false;
        Online.Device.ReadIdentity();
        Online.Device.FullAccess = true;
        Online.Device.StructureCache = &Cache;
        Online.Tree.BuildMenuTree(0x0011, true, "FULL SETUP");
        return Online.Tree.Root() != nullptr;
    }
};

QByteArray FileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The same entries typed online (against the instrument) and offline (against the file and the
// remembered structure) are taken or refused alike, with the same value or reason.
TEST(OfflineEdit, EntriesAreCheckedAsOnline)
{
    TOfflineBench b;
    ASSERT_TRUE(b.Start());
    const QString file = b.Dir.filePath("A.WSD");
    ASSERT_TRUE(SaveSettings(b.Online.Tree, b.Online.Device, file).Ok());
    QList<QByteArray> lines;
    ASSERT_TRUE(ReadSettingsFile(file, lines, nullptr));
    TOfflineSettings offline;
    ASSERT_TRUE(offline.Open(lines, b.Cache)) << qPrintable(offline.Message);
    TDevice device;
    TSettingsTreeModel tree(&device);
    ASSERT_TRUE(offline.Show(device, tree)) << qPrintable(offline.Message);

    const struct {
        const char *path;
        const char *typed;
        bool taken;
    } cases[] = {
        {"BUILD > FULLSCAL", "2500.5", true},
        {"BUILD > FULLSCAL", "2500.555", false},
        {"BUILD > FULLSCAL", "10000", false},
        {"BUILD > FULLSCAL", "2,500.00", false},
        {"BUILD > FULLSCAL", "25OO", false},
        {"FULL SETUP > BUILD > E", "100", true},
        {"BUILD > E", "0", false},
        {"BUILD > UNITS", "lb", true},
        {"BUILD > UNITS", "LB", false},
        {"BUILD > CABLE", "4-WIRE", true},
        {"OPTIONS > Z.RANGE", "-20.0", true},
        {"OPTIONS > Z.RANGE", "-20.1", false},
        {"OPTIONS > Z.RANGE", "1e1", false},
        {"SERIAL > NETWORK > IP.ADDR", "10.0.0.7", true},
        {"SERIAL > NETWORK > IP.ADDR", "10.0.0.256", false},
        {"SERIAL > NETWORK > NAME", "VORN-22", true},
        {"SERIAL > NETWORK > NAME", "ABCDEFGHIJKLMNOPQ", false},
        {"PRINT > TICKET", "4294967295", true},
        {"PRINT > TICKET", "4294967296", false},
        {"PRINT > TICKET", "-1", false},
        {"SETPTS > SETP1 > TARGET", "-9999.99", true},
        {"OPTIONS > DSP.TST", "1", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.path) + " = " + c.typed);
        TMenuNode *on = NodeAtPath(b.Online.Tree.Tree(), c.path);
        TMenuNode *off = NodeAtPath(tree.Tree(), c.path);
        ASSERT_TRUE(on && off);
        const auto online = TypedItemValue(b.Online.Device, *on, c.typed);
        const auto offlineValue = TypedItemValue(device, *off, c.typed);
        EXPECT_EQ(online.Ok(), c.taken) << qPrintable(online.Refusal);
        EXPECT_EQ(offlineValue.Value, online.Value);
        EXPECT_EQ(offlineValue.Refusal, online.Refusal);
    }

    // Taken entries are written into the file's tree; one that changes the menus is left to the
    // instrument, and a refused write leaves the value as it was.
    auto edit = [&](const char *path, const char *typed) {
        TMenuNode *node = NodeAtPath(tree.Tree(), path);
        const int before = offline.Edits;
        node = tree.ApplyEdit(node, *TypedItemValue(device, *node, typed));
        return std::make_pair(offline.Edits > before, node);
    };
    const auto [fullScale, fsNode] = edit("BUILD > FULLSCAL", "2500.5");
    EXPECT_TRUE(fullScale);
    EXPECT_EQ(fsNode->Text, "FULLSCAL : 2500.50 kg");
    EXPECT_EQ(fsNode->Data->Value, "3D0C2");
    const auto [units, unitsNode] = edit("BUILD > UNITS", "lb");
    EXPECT_FALSE(units);
    EXPECT_TRUE(offline.LastRefusal.contains("changes the instrument's menus"))
        << qPrintable(offline.LastRefusal);
    EXPECT_EQ(unitsNode->Data->Value, "0000");
    const auto [name, nameNode] = edit("SERIAL > NETWORK > NAME", "VORN-22");
    EXPECT_TRUE(name);
    EXPECT_EQ(nameNode->Text, "NAME     : VORN-22");
}

// brellin-cli: a file saved from one instrument, edited without any, sent to another: the other
// then equals the file, and a save from it writes the very same bytes.
TEST(OfflineEdit, EditedFileSentMakesTheInstrumentEqual)
{
    TSimBench a, b;
    for (TSimBench *sim : {&a, &b}) {
        sim->Config.SafePasscode = 0;
        sim->Config.FullPasscode = 0;
        ASSERT_TRUE(sim->Start());
    }
    QTemporaryDir dir, home;
    const QStringList env{"XDG_CACHE_HOME=" + home.path()};
    auto cli = [&](const QStringList &args) { return RunProgram("brellin-cli", args, {}, 60000, env); };
    auto at = [](TSimBench &sim) {
        return QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Sim->Port())};
    };
    const QString file = dir.filePath("A.WSD"), back = dir.filePath("B.WSD");

    // Without a structure of its model the file stays as it is and the user is told what to read.
    QList<QByteArray> seed;
    TProgramRun run = cli(at(a) + QStringList{"--no-cache", "settings", "save", file, "--menu", "full"});
    ASSERT_EQ(run.Exit, 0) << run.Err.constData();
    const QByteArray unread = FileBytes(file);
    run = cli({"settings", "edit", file, "--set", "BUILD > E=5"});
    EXPECT_EQ(run.Exit, 5);
    EXPECT_TRUE(run.Err.contains("read its settings in full once")) << run.Err.constData();
    EXPECT_EQ(FileBytes(file), unread);

    run = cli(at(a) + QStringList{"settings", "save", file, "--menu", "full"});
    ASSERT_EQ(run.Exit, 0) << run.Err.constData();
    const QByteArray saved = FileBytes(file);
    const struct {
        QStringList sets;
        int exit;
    } refused[] = {
        {{"BUILD > FULLSCAL=2500.555"}, 1},  {{"BUILD > E=5", "BUILD > UNITS=lb"}, 1},
        {{"SERIAL > SER1 > BAUD=19201"}, 1}, {{"NO > SUCH=1"}, 2},
        {{"BUILD > FULLSCAL"}, 2},
    };
    for (const auto &r : refused) {
        QStringList args{"settings", "edit", file};
        for (const QString &s : r.sets)
            args << "--set" << s;
        run = cli(args);
        EXPECT_EQ(run.Exit, r.exit) << qPrintable(r.sets.join(", ")) << run.Err.constData();
        EXPECT_EQ(FileBytes(file), saved) << "nothing changed";
    }

    run = cli({"settings", "edit", file, "--set", "BUILD > FULLSCAL=2500.50", "--set", "BUILD > E=5", "--set",
               "SERIAL > SER1 > BAUD=19200", "--set", "SERIAL > NETWORK > NAME=VORN 9", "--set",
               "SETPTS > SETP2 > HYS=2.5", "--set", "SERIAL > NETWORK > GATEWAY=10.1.2.3"});
    ASSERT_EQ(run.Exit, 0) << run.Err.constData();
    const QByteArray edited = FileBytes(file);
    const QList<QByteArray> before = SettingsFileLines(saved), after = SettingsFileLines(edited);
    ASSERT_EQ(after.size(), before.size());
    int changed = 0;
    for (qsizetype i = 0; i < after.size(); ++i)
        changed += after[i] != before[i] ? 1 : 0;
    EXPECT_EQ(changed, 12) << "each value's title and request, nothing else";
    EXPECT_TRUE(after.contains("3: FULLSCAL : 2500.50 kg"));
    EXPECT_TRUE(after.contains("20121336:VORN 9"));

    EXPECT_EQ(cli(at(b) + QStringList{"settings", "compare", file}).Exit, 6);
    run = cli(at(b) + QStringList{"settings", "send", file, "--yes"});
    ASSERT_EQ(run.Exit, 0) << run.Err.constData();
    run = cli(at(b) + QStringList{"settings", "compare", file});
    EXPECT_EQ(run.Exit, 0) << run.Out.constData() << run.Err.constData();
    run = cli(at(b) + QStringList{"settings", "save", back, "--menu", "full"});
    ASSERT_EQ(run.Exit, 0) << run.Err.constData();
    EXPECT_EQ(FileBytes(back), edited);
}
