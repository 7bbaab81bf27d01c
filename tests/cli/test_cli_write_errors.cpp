// brellin-cli on a full disk (the I/O error library fails every write below one folder): every file
// it writes is complete or not there, the earlier file stays byte for byte, and it says so (exit 5).
#include "journal/journal.h"
#include "journal/lastvisit.h"
#include "run_program.h"
#include "vornsim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

TEST(CliWriteErrors, EveryFileWrittenOnAFullDiskKeepsTheEarlierOneAndSaysSo)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Records = 20;
    TVornSim sim(cfg);
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    QTemporaryDir temp;
    const QString full = temp.filePath(QStringLiteral("full"));
    ASSERT_TRUE(QDir().mkpath(full));
    const QStringList tcp = {"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port())};
    auto in = [&](const char *name) { return full + QLatin1Char('/') + QLatin1String(name); };
    const struct {
        const char *What;
        QStringList Args;
        QString Kept;
        QByteArray Before; // empty: no earlier file
        const char *Said;
    } cases[] = {
        {"settings save over an earlier file",
         tcp + QStringList{"settings", "save", in("SETUP.WSD"), "--passcode", "1234"}, in("SETUP.WSD"),
         "earlier settings\r\n", "The earlier SETUP.WSD is kept unchanged"},
        {"settings save to a new file",
         tcp + QStringList{"settings", "save", in("NEW.WSD"), "--passcode", "1234"},
         in("NEW.WSD"),
         {},
         "Nothing was written"},
        {"log over an earlier file", tcp + QStringList{"log", "--duration", "0.5", "-o", in("weights.csv")},
         in("weights.csv"), "earlier log\r\n", "The earlier weights.csv is kept unchanged"},
        {"factory chart picture over an earlier one",
         tcp + QStringList{"report", "factory", "--png", in("chart.png")}, in("chart.png"), "earlier picture",
         "The earlier chart.png is kept unchanged"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        for (const QString &f : QDir(full).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(QDir(full).filePath(f));
        if (!c.Before.isEmpty()) {
            QFile f(c.Kept);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(c.Before) == c.Before.size());
        }
        const TProgramRun r =
            RunCliWithIoErrors(c.Args, temp.path(), {QStringLiteral("BRELLIN_FULL_PREFIX=") + full});
        EXPECT_EQ(r.Exit, 5) << r.Out.constData() << r.Err.constData();
        EXPECT_TRUE(r.Err.contains("No space left on device")) << r.Err.constData();
        EXPECT_TRUE(r.Err.contains(c.Said)) << r.Err.constData();
        EXPECT_FALSE(r.Out.contains("samples:") || r.Out.contains("saved")) << r.Out.constData();
        EXPECT_EQ(ReadAll(c.Kept), c.Before.isEmpty() ? QByteArray("<absent>") : c.Before);
        // No temporary file is left beside it.
        EXPECT_EQ(QDir(full).entryList(QDir::Files | QDir::Hidden).size(), c.Before.isEmpty() ? 0 : 1)
            << QDir(full).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
    }
}

// The files written beside a command's own work: the menu structure kept for next time, the last
// visit after a settings save, the change journal before a write. Each on a full disk: the command
// says what was and was not done, the instrument and every earlier file are as they were.
TEST(CliWriteErrors, FilesBesideTheWorkOnAFullDiskAreSaidAndLeaveTheEarlierOnes)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.SafePasscode = 0;
    cfg.FullPasscode = 0;
    TVornSim sim(cfg);
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    QTemporaryDir temp;
    const QString store = temp.filePath("store"), cache = temp.filePath("cache");
    const QString menus = cache + QStringLiteral("/brellin/menus");
    const QString journal = TChangeJournal::FolderFor(store, "1234567");
    const QStringList cli = {"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port())};
    const QStringList env = {"XDG_CACHE_HOME=" + cache};
    auto run = [&](const QStringList &args, const QString &full) {
        return RunCliWithIoErrors(cli + args + QStringList{"--store", store}, temp.path(),
                                  env + QStringList{"BRELLIN_FULL_PREFIX=" + full});
    };
    auto filesIn = [](const QString &dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); };
    // A visit and a journal to keep: one save on a disk with room.
    ASSERT_EQ(run({"settings", "save", temp.filePath("first.WSD")}, temp.filePath("none")).Exit, 0);
    QDir(menus).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(menus));
    const QByteArray visit = ReadAll(LastVisitPath(journal));
    const QByteArray lines = ReadAll(journal + QStringLiteral("/journal.txt"));
    ASSERT_FALSE(visit.startsWith("<absent>"));
    const QByteArray filter = sim.Instrument().Request("20111205:");

    const struct {
        const char *What;
        QStringList Args;
        QString Full;
        int Exit;
        const char *Said;
    } rows[] = {
        // The structure is a speed-up: the dump is done, the note says the next read is a full one.
        {"menu structure", {"settings", "dump"}, menus, 0, "the menu structure was not kept for next time"},
        {"last visit",
         {"settings", "save", temp.filePath("second.WSD")},
         journal,
         5,
         "second.WSD was written, but the last visit was not kept"},
        {"journal before a write", {"write", "1205", "0001"}, journal, 5, "nothing was sent"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.What);
        for (const QString &f : filesIn(menus))
            QFile::remove(menus + QLatin1Char('/') + f);
        const TProgramRun out = run(r.Args, r.Full);
        EXPECT_EQ(out.Exit, r.Exit) << out.Err.constData();
        EXPECT_TRUE(out.Err.contains(r.Said)) << out.Err.constData();
        EXPECT_TRUE(out.Err.contains("No space left on device")) << out.Err.constData();
        if (r.Full == menus) {
            EXPECT_TRUE(filesIn(menus).isEmpty()) << filesIn(menus).join(' ').toStdString();
        }
        EXPECT_EQ(ReadAll(LastVisitPath(journal)), visit);
        EXPECT_EQ(ReadAll(journal + QStringLiteral("/journal.txt")), lines);
        EXPECT_EQ(filesIn(journal).size(), 2) << filesIn(journal).join(' ').toStdString();
        EXPECT_EQ(sim.Instrument().Request("20111205:"), filter); // FILTER as it was
    }
    // With room again the structure is kept.
    QDir(menus).removeRecursively();
    const TProgramRun kept = run({"settings", "dump"}, temp.filePath("none"));
    EXPECT_EQ(kept.Exit, 0) << kept.Err.constData();
    EXPECT_FALSE(kept.Err.contains("not kept")) << kept.Err.constData();
    EXPECT_EQ(filesIn(menus).size(), 1);
}

} // namespace
