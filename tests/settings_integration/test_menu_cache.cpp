// Remembered menu structures against vornsim: a read from the structure builds the tree an uncached
// read builds, for the built-in model and changed ones, and every kind of answer that does not fit
// the structure drops it and reads again in full.
#include "run_program.h"
#include "settings/menucache.h"
#include "sim_bench.h"
#include "values/tools.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace
{

// The built-in description as vornsim prints it.
QJsonObject PrintedModel()
{
    const TProgramRun run = RunProgram(QStringLiteral("vornsim"), {QStringLiteral("--print-model")});
    EXPECT_EQ(run.Exit, 0) << run.Err.constData();
    return QJsonDocument::fromJson(run.Out).object();
}

// Changes the item of register `reg` (anywhere in the menus) by `edit`; false when there is none.
bool EditItem(QJsonArray &items, const QString &reg, const std::function<void(QJsonObject &)> &edit)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        QJsonObject o = items[i].toObject();
        bool found = false;
        if (o.value("reg").toString() == reg) {
            edit(o);
            found = true;
        } else if (o.contains("items")) {
            QJsonArray children = o.value("items").toArray();
            found = EditItem(children, reg, edit);
            o["items"] = children;
        }
        if (found) {
            items[i] = o;
            return true;
        }
    }
    return false;
}

QByteArray Edited(QJsonObject model, const QString &reg, const std::function<void(QJsonObject &)> &edit)
{
    QJsonArray menus = model.value("menus").toArray();
    EXPECT_TRUE(EditItem(menus, reg, edit)) << qPrintable(reg);
    model["menus"] = menus;
    return QJsonDocument(model).toJson();
}

// One line per node: path, register, key, type, permission, flags, value, display text, caption.
void TreeLines(const TMenuNode &node, const QByteArray &path, QList<QByteArray> &out)
{
    const QByteArray here = path + '>' + node.Text;
    if (const TMenuItemData *d = node.Data.get())
        out << here + '|' + d->Register + '|' + d->MenuKey + '|' + d->TypeCode + '|' +
                   QByteArray::number(d->Permission) + '|' + (d->Readable ? 'r' : '-') +
                   (d->HasValue ? 'v' : '-') + (d->Unanswered ? 'u' : '-') + '|' + d->Value + '|' +
                   d->Literal;
    else
        out << here + "|placeholder";
    for (const auto &child : node.Children)
        TreeLines(*child, here, out);
}

struct TRead {
    QList<QByteArray> Lines;
    int64_t Requests = 0;
};

// An instrument of a given description, read in full with or without a structure cache.
struct TCacheBench {
    QTemporaryDir Dir;
    TMenuStructureCache Cache{Dir.filePath(QStringLiteral("menus"))};
    std::unique_ptr<TSimBench> Bench;

    bool Start(const QByteArray &model)
    {
        Bench = std::make_unique<TSimBench>();
        Bench->Config.ModelJson = model;
        Bench->Config.SafePasscode = 0;
        Bench->Config.FullPasscode = 0;
        if (!Bench->Start())
            return false;
        Bench->Device.ReadIdentity();
        Bench->Device.FullAccess = true;
        return true;
    }
    TRead Read(bool cached)
    {
        TDevice &device = Bench->Device;
        device.StructureCache = cached ? &Cache : nullptr;
        const int64_t before = device.RequestsSent;
        TMenuTree tree;
        device.BuildMenuTree(tree, 0x0011, true, "FULL SETUP");
        TRead read;
        read.Requests = device.RequestsSent - before;
        for (const auto &root : tree)
            TreeLines(*root, {}, read.Lines);
        return read;
    }
};

QByteArray DefaultModel()
{
    return QJsonDocument(PrintedModel()).toJson();
}

} // namespace

TEST(MenuCache, PrintedModelLoadsAsTheBuiltInOne)
{
    TSimModel printed, builtIn;
    QString error;
    ASSERT_TRUE(printed.Load(DefaultModel(), &error)) << qPrintable(error);
    ASSERT_TRUE(builtIn.Load(TSimModel::DefaultJson(), &error));
    ASSERT_EQ(printed.ItemCount(), builtIn.ItemCount());
    for (int i = 0; i < printed.ItemCount(); ++i) {
        EXPECT_EQ(printed.Item(i).Register, builtIn.Item(i).Register);
        EXPECT_EQ(printed.Item(i).Name, builtIn.Item(i).Name);
        EXPECT_EQ(printed.Item(i).Options, builtIn.Item(i).Options);
        EXPECT_EQ(printed.Item(i).Maximum, builtIn.Item(i).Maximum);
    }
    // A --model file is printed as it is loaded; a broken one is refused with the reason.
    QTemporaryDir dir;
    const QString file = dir.filePath("m.json");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(Edited(PrintedModel(), "1104", [](QJsonObject &o) { o["name"] = "EE"; }));
    out.close();
    const TProgramRun run = RunProgram("vornsim", {"--print-model", "--model", file});
    ASSERT_EQ(run.Exit, 0);
    EXPECT_TRUE(run.Out.contains("\"EE\""));
    out.open(QIODevice::WriteOnly);
    out.write("{\"menus\": []}");
    out.close();
    const TProgramRun bad = RunProgram("vornsim", {"--print-model", "--model", file});
    EXPECT_EQ(bad.Exit, 1);
    EXPECT_TRUE(bad.Err.contains("no menus")) << bad.Err.constData();
}

// A read from the structure gives the tree of an uncached read, for the built-in model and for
// changed ones, and sends a fraction of the requests.
TEST(MenuCache, RememberedReadBuildsTheUncachedTree)
{
    const QJsonObject base = PrintedModel();
    QJsonObject other = base;
    // Another model: different ranges, option texts and an extra item and menu.
    QByteArray changedA = Edited(base, "1104", [](QJsonObject &o) {
        o["max"] = 250;
        o["value"] = 200;
    });
    changedA = Edited(QJsonDocument::fromJson(changedA).object(), "1312", [](QJsonObject &o) {
        o["options"] = QJsonArray{"8N1", "7E1", "7O1", "8E1"};
        o["value"] = 3;
    });
    changedA = Edited(QJsonDocument::fromJson(changedA).object(), "1500", [](QJsonObject &o) {
        QJsonArray items = o.value("items").toArray();
        items.append(QJsonObject{{"reg", "1507"},
                                 {"type", 2},
                                 {"name", "SKEW"},
                                 {"dec", 2},
                                 {"min", -500},
                                 {"max", 500},
                                 {"value", -125},
                                 {"suffix", "mm"}});
        o["items"] = items;
    });
    QJsonObject modelB = base;
    modelB["model"] = "V510";
    modelB["version"] = "V2.00";
    QByteArray changedB = Edited(modelB, "0031", [](QJsonObject &o) { o["value"] = 3; });
    changedB =
        Edited(QJsonDocument::fromJson(changedB).object(), "0030", [](QJsonObject &o) { o["value"] = 1; });
    changedB =
        Edited(QJsonDocument::fromJson(changedB).object(), "1201", [](QJsonObject &o) { o["value"] = 1; });

    const struct {
        const char *name;
        QByteArray model;
    } cases[] = {{"built-in", TSimModel::DefaultJson()},
                 {"ranges, options, an item", changedA},
                 {"another model, other units and a traffic menu", changedB}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TCacheBench b;
        ASSERT_TRUE(b.Start(c.model));
        const TRead plain = b.Read(false);
        const TRead first = b.Read(true);
        const TRead second = b.Read(true);
        const TRead third = b.Read(true);
        ASSERT_GT(plain.Lines.size(), 40);
        EXPECT_EQ(first.Lines, plain.Lines);
        EXPECT_EQ(second.Lines, plain.Lines);
        EXPECT_EQ(third.Lines, plain.Lines);
        EXPECT_EQ(b.Cache.Drops, 0) << qPrintable(b.Cache.LastDropReason);
        EXPECT_LE(second.Requests * 100, plain.Requests * 35)
            << second.Requests << " of " << plain.Requests << " requests";
        EXPECT_EQ(third.Requests, second.Requests);

        // The ranges and option texts kept are the instrument's.
        const auto structure = b.Cache.Load(b.Bench->Device.ModelText, b.Bench->Device.VersionText);
        ASSERT_TRUE(structure);
        TDevice asker;
        asker.OnExchange = b.Bench->Device.OnExchange;
        int checked = 0;
        for (const auto &[reg, item] : structure->Items) {
            const int type = static_cast<int>(HexToInt(item.TypeCode));
            if (type < 1 || type > 7 || type == 6)
                continue;
            asker.SetRegisterText(reg);
            if (type == 7) {
                ASSERT_TRUE(item.Options) << reg.constData();
                EXPECT_EQ(*item.Options, *asker.ReadOptions()) << reg.constData();
                continue;
            }
            asker.ReadMinimum();
            ASSERT_TRUE(item.Minimum) << reg.constData();
            EXPECT_EQ(*item.Minimum, asker.ReplyHex()) << reg.constData();
            asker.ReadMaximum();
            EXPECT_EQ(*item.Maximum, asker.ReplyHex()) << reg.constData();
            ++checked;
        }
        EXPECT_GT(checked, 10);
    }
}

// The instrument changed behind the structure (same model and version), or its values changed: a
// change of structure drops the structure and the tree is the uncached one; values alone do not.
TEST(MenuCache, EveryKindOfMismatchDropsTheStructure)
{
    const QJsonObject base = PrintedModel();
    auto added = [](QJsonObject &o) {
        QJsonArray items = o.value("items").toArray();
        items.append(QJsonObject{{"reg", "1107"}, {"type", 1}, {"name", "EXTRA"}, {"value", 5}});
        o["items"] = items;
    };
    const struct {
        const char *name;
        QByteArray changed;
        bool drops;
    } cases[] = {
        {"an item added (the menu's list)", Edited(base, "1100", added), true},
        {"the first item renamed", Edited(base, "1101", [](QJsonObject &o) { o["name"] = "KIND"; }), true},
        {"a value outside the remembered range",
         Edited(base, "1104",
                [](QJsonObject &o) {
                    o["max"] = 1000;
                    o["value"] = 500;
                }),
         true},
        {"an option list grown, a new option chosen",
         Edited(base, "1106",
                [](QJsonObject &o) {
                    o["options"] = QJsonArray{"4-WIRE", "6-WIRE", "8-WIRE"};
                    o["value"] = 2;
                }),
         true},
        {"a refused item (no value any more)", Edited(base, "1104", [](QJsonObject &o) { o["type"] = 15; }),
         true},
        {"a value of another type",
         Edited(base, "1314",
                [](QJsonObject &o) {
                    o["type"] = 6;
                    o["value"] = "XY";
                    o["max"] = 8;
                }),
         true},
        {"the display text of the first value read",
         Edited(base, "1101",
                [](QJsonObject &o) {
                    o["options"] = QJsonArray{"STD", "TRADE", "INDUST"};
                }),
         true},
        {"other values only", Edited(base, "0031", [](QJsonObject &o) { o["value"] = 1; }), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TCacheBench b;
        ASSERT_TRUE(b.Start(TSimModel::DefaultJson()));
        b.Read(true); // learns the built-in structure
        ASSERT_TRUE(b.Cache.Load("V500", "V1.04"));
        TCacheBench changed;
        ASSERT_TRUE(changed.Start(c.changed));
        const TRead plain = changed.Read(false);
        // The changed instrument is read with the structure of the first one.
        QDir().mkpath(changed.Cache.Folder);
        ASSERT_TRUE(QFile::copy(b.Cache.FileFor("V500", "V1.04"), changed.Cache.FileFor("V500", "V1.04")));
        const TRead read = changed.Read(true);
        EXPECT_EQ(read.Lines, plain.Lines);
        EXPECT_EQ(changed.Cache.Drops, c.drops ? 1 : 0) << qPrintable(changed.Cache.LastDropReason);
        EXPECT_EQ(changed.Bench->Device.StructureDropped.isEmpty(), !c.drops);
        // What the read taught holds the next time.
        const TRead again = changed.Read(true);
        EXPECT_EQ(again.Lines, plain.Lines);
        EXPECT_EQ(changed.Cache.Drops, c.drops ? 1 : 0);
    }
}

// brellin-cli keeps structures in the user's cache folder unless told --no-cache; its dumps are the
// same either way.
TEST(MenuCache, CliRemembersUnlessToldNot)
{
    TCacheBench b;
    ASSERT_TRUE(b.Start(TSimModel::DefaultJson()));
    QTemporaryDir home;
    const QStringList env{"XDG_CACHE_HOME=" + home.path()};
    const QString where = QStringLiteral("127.0.0.1:%1").arg(b.Bench->Sim->Port());
    auto dump = [&](const QStringList &extra) {
        return RunProgram("brellin-cli",
                          QStringList{"--tcp", where} + extra +
                              QStringList{"settings", "dump", "--menu", "full"},
                          {}, 60000, env);
    };
    const QDir menus(home.filePath("brellin/menus"));
    const TProgramRun plain = dump({"--no-cache"});
    ASSERT_EQ(plain.Exit, 0) << plain.Err.constData();
    EXPECT_TRUE(menus.entryList(QDir::Files).isEmpty()) << "--no-cache keeps nothing";
    const TProgramRun first = dump({});
    const TProgramRun second = dump({});
    ASSERT_EQ(second.Exit, 0) << second.Err.constData();
    EXPECT_EQ(first.Out, plain.Out);
    EXPECT_EQ(second.Out, plain.Out);
    EXPECT_EQ(menus.entryList(QDir::Files).size(), 1);
    const TProgramRun help = RunProgram("brellin-cli", {"--help"});
    EXPECT_TRUE(help.Out.contains("--no-cache") && help.Out.contains(".cache/brellin/menus"));
}
