// Settings files under link faults, against vornsim: a save is complete and identical to a
// fault-free one or writes nothing; the same through brellin-cli with its exit codes.
#include "run_program.h"
#include "settings/SendSettings.h"
#include "settings/settingssave.h"
#include "sim_bench.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

// A safe-level session (read in full or lazily) on a fresh instrument with these faults, then a save.
TSettingsSaveResult SaveFrom(const TVornSimConfig &config, bool readAll, const QString &path)
{
    TSimBench bench;
    bench.Config = config;
    if (!bench.Start())
        return {TSettingsSaveResult::FileError, path, QStringLiteral("simulator did not start"), {}};
    bench.FastTicks();
    bench.Session.Attempts = SaveReadAttempts;
    bench.Device.ReadAttempts = SaveReadAttempts; // the identity read that starts a session
    bench.Typed = {"1234"};
    if (!bench.Session.StartSessionAt(0, readAll))
        return {TSettingsSaveResult::FileError, path, QStringLiteral("no session"), {}};
    bench.Device.ReadAttempts = 1; // the tree as the Settings tab reads it: each query once
    return SaveSettings(bench.Tree, bench.Device, path);
}

QString Address(const TVornSim &sim)
{
    return QStringLiteral("127.0.0.1:%1").arg(sim.Port());
}

} // namespace

TEST(SettingsFaults, SaveUnderFaultsIsIdenticalToAFaultFreeSaveOrWritesNothing)
{
    QTemporaryDir dir;
    const QString reference = dir.filePath("reference.WSD");
    ASSERT_TRUE(SaveFrom({}, true, reference).Ok());
    const QByteArray expected = FileBytes(reference);
    ASSERT_GT(expected.count('\n'), 150);

    struct TCase {
        const char *Name;
        void (*Set)(TVornSimConfig &);
        bool ReadAll;
    };
    const TCase cases[] = {
        {"drop", [](TVornSimConfig &c) { c.DropReply = 0.08; }, true},
        {"drop, lazy tree", [](TVornSimConfig &c) { c.DropReply = 0.08; }, false},
        {"corrupt", [](TVornSimConfig &c) { c.CorruptCrc = 0.05; }, true},
        {"lowercase", [](TVornSimConfig &c) { c.LowerCaseCrc = 0.05; }, true},
        {"wrong register", [](TVornSimConfig &c) { c.WrongRegister = 0.05; }, false},
        {"oversize", [](TVornSimConfig &c) { c.OversizedFrame = 0.05; }, true},
        {"duplicate", [](TVornSimConfig &c) { c.DuplicateReply = 0.3; }, true},
        {"garbage", [](TVornSimConfig &c) { c.Garbage = 0.3; }, true},
    };
    for (const TCase &c : cases) {
        TVornSimConfig config;
        config.Seed = 7;
        c.Set(config);
        const QString path = dir.filePath(QStringLiteral("faults.WSD"));
        QFile::remove(path);
        const TSettingsSaveResult saved = SaveFrom(config, c.ReadAll, path);
        // A few percent of lost replies are absorbed by the retries.
        ASSERT_TRUE(saved.Ok()) << c.Name << ": " << saved.Message.toStdString();
        EXPECT_EQ(FileBytes(path), expected) << c.Name;
    }

    // The link closes halfway: nothing is written, an old file is left as it was, and the message
    // names the item that could not be read.
    const QString old = dir.filePath("old.WSD");
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1: OLD\r\n");
    }
    for (const int after : {60, 200}) {
        TVornSimConfig config;
        config.DisconnectAfter = after;
        const TSettingsSaveResult saved = SaveFrom(config, true, old);
        EXPECT_EQ(saved.Status, TSettingsSaveResult::Unreadable) << after;
        EXPECT_EQ(FileBytes(old), "1: OLD\r\n");
        EXPECT_FALSE(saved.Unread.isEmpty());
        EXPECT_TRUE(saved.Message.startsWith("Nothing was saved: SAFE SETUP > "))
            << saved.Message.toStdString();
        EXPECT_TRUE(saved.Message.contains("could not be read")) << saved.Message.toStdString();
    }
}

TEST(SettingsFaults, CliSaveAndDumpExitThreeWithoutAFileWhenAnItemCannotBeRead)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    TVornSim clean(config);
    config.DropReply = 40; // every 40th reply
    TVornSim dropping(config);
    config.DropReply = 0;
    config.DisconnectAfter = 120;
    TVornSim leaving(config);
    ASSERT_TRUE(clean.Start() && dropping.Start() && leaving.Start());

    QTemporaryDir dir;
    const QString reference = dir.filePath("ref.WSD");
    TProgramRun run = RunCli({"--tcp", Address(clean), "settings", "save", reference, "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    const QString path = dir.filePath("drop.WSD");
    run = RunCli(
        {"--timeout", "0.1", "--tcp", Address(dropping), "settings", "save", path, "--passcode", "1234"});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(FileBytes(path), FileBytes(reference));

    run = RunCli(
        {"--timeout", "0.1", "--tcp", Address(leaving), "settings", "save", path, "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Err.contains("Nothing was saved: SAFE SETUP > ")) << run.Err.toStdString();
    EXPECT_EQ(FileBytes(path), FileBytes(reference)); // the earlier file is left as it was

    // A dump prints nothing of a tree it could not read in full.
    TVornSim leavingToo(config);
    ASSERT_TRUE(leavingToo.Start());
    run =
        RunCli({"--timeout", "0.1", "--tcp", Address(leavingToo), "settings", "dump", "--passcode", "1234"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Out.isEmpty()) << run.Out.toStdString();
    EXPECT_TRUE(run.Err.contains("could not be read")) << run.Err.toStdString();
}
