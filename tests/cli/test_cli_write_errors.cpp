// brellin-cli on a full disk (the I/O error library fails every write below one folder): every file
// it writes is complete or not there, the earlier file stays byte for byte, and it says so (exit 5).
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

} // namespace
