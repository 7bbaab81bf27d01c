// Names the instrument gives keep every character: a product named " KIWI  " is saved, sent to a
// second instrument and compared with its blanks (brellin-cli against vornsim).
#include "run_program.h"
#include "settings/SendSettings.h"
#include "vornsim.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace
{

std::unique_ptr<TVornSim> Instrument(const QList<QByteArray> &names)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    config.SafePasscode = 0;
    auto sim = std::make_unique<TVornSim>(config);
    if (!sim->Start())
        return nullptr;
    if (!names.isEmpty()) {
        sim->Instrument().Products.clear();
        for (const QByteArray &name : names)
            sim->Instrument().Products.append({name, 0, 0});
    }
    return sim;
}

QStringList Connect(const TVornSim &sim)
{
    return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port())};
}

QList<QByteArray> ProductNames(TVornSim &sim)
{
    QList<QByteArray> names;
    for (const auto &p : sim.Instrument().Products)
        names << p.Name;
    return names;
}

QList<QByteArray> FileLines(const QString &path)
{
    QList<QByteArray> lines;
    QString error;
    ReadSettingsFile(path, lines, &error);
    return lines;
}

} // namespace

TEST(SettingsNames, ProductNamesKeepTheirBlanksThroughSaveSendAndCompare)
{
    const struct {
        const char *What;
        QList<QByteArray> Names;
    } cases[] = {
        {"blanks before and after", {" KIWI  ", "PEARS ", " PLUMS"}},
        {"blanks inside and a trailing one", {"RED  APPLES", "PLUMS "}},
        {"names without blanks (as before)", {"APPLES", "PEARS", "PLUMS"}},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        // Saved from one instrument: the file holds each name as the instrument gave it.
        auto first = Instrument(c.Names);
        ASSERT_TRUE(first);
        const QString saved = dir.filePath("first.WSD");
        const TProgramRun save = RunCli(Connect(*first) + QStringList{"settings", "save", saved});
        ASSERT_EQ(save.Exit, 0) << save.Err.toStdString();
        const QList<QByteArray> lines = FileLines(saved);
        EXPECT_TRUE(lines.contains("2010B012:" + c.Names.first())) << c.Names.first().constData();
        for (const QByteArray &name : c.Names.mid(1))
            EXPECT_TRUE(lines.contains("2010B001:" + name)) << name.constData();

        // Sent to a second instrument: it holds the same names, and saves the same file.
        auto second = Instrument({"OTHER"});
        ASSERT_TRUE(second);
        const TProgramRun send = RunCli(Connect(*second) + QStringList{"settings", "send", saved, "--yes"});
        ASSERT_EQ(send.Exit, 0) << send.Err.toStdString();
        EXPECT_EQ(ProductNames(*second), c.Names);
        const QString again = dir.filePath("second.WSD");
        ASSERT_EQ(RunCli(Connect(*second) + QStringList{"settings", "save", again}).Exit, 0);
        EXPECT_EQ(FileLines(again), lines);

        // A file whose names lost their blanks (as saves of earlier versions wrote them) is still
        // a settings file, and the comparison names every product whose blanks differ.
        QList<QByteArray> trimmed = lines;
        int changed = 0;
        for (QByteArray &line : trimmed) {
            const QByteArray name = line.mid(line.indexOf(':') + 1);
            const bool product = line.startsWith("2010B001:") || line.startsWith("2010B012:");
            const bool title = c.Names.contains(name.mid(1)) && line.indexOf(':') <= 2;
            if (product || title) {
                changed += product && name.trimmed() != name ? 1 : 0;
                line = line.left(line.indexOf(':') + 1) + (title ? " " : "") + name.trimmed();
            }
        }
        const QString old = dir.filePath("trimmed.WSD");
        ASSERT_TRUE(WriteSettingsFile(old, trimmed, nullptr));
        const TProgramRun show = RunCli({"settings", "show", old});
        EXPECT_EQ(show.Exit, 0) << show.Err.toStdString();
        const TProgramRun compare = RunCli({"settings", "compare", saved, "--with", old});
        EXPECT_EQ(compare.Exit, changed ? 6 : 0) << compare.Out.toStdString() << compare.Err.toStdString();
        EXPECT_TRUE(compare.Out.contains(QByteArray::number(changed) + " different"))
            << compare.Out.toStdString();
    }
}
