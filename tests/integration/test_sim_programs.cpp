// The two programs together: vornsim started as a process, brellin-cli talking to it.
#include "fake_link.h"
#include "run_program.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray WaitForReadyLine(QProcess &p)
{
    QByteArray out;
    PumpUntil(
        [&] {
            out += p.readAllStandardOutput();
            return out.contains('\n') || p.state() == QProcess::NotRunning;
        },
        10000);
    return out.left(out.indexOf('\n'));
}

} // namespace

TEST(SimPrograms, CliIdentifiesTheSimulatorOverTcp)
{
    QProcess sim;
    sim.start(QStringLiteral(BRELLIN_BIN_DIR "/vornsim"), {"--tcp", "0", "--serial-number", "4242"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    const QByteArray ready = WaitForReadyLine(sim);
    ASSERT_TRUE(ready.startsWith("listening on 127.0.0.1:")) << ready.constData();
    const QString address = QString::fromLatin1(ready.mid(int(sizeof("listening on ")) - 1));
    const TProgramRun run = RunCli({"--tcp", address, "ident"});
    EXPECT_EQ(run.Exit, 0) << run.Err.constData();
    EXPECT_TRUE(run.Out.contains("serial number: 4242")) << run.Out.constData();
    EXPECT_TRUE(run.Out.contains("model: V500"));
    EXPECT_TRUE(run.Out.contains("version: V1.04"));
    EXPECT_TRUE(run.Out.contains("comms type: 00"));
    // A refused write comes back as the instrument's error.
    const TProgramRun refused = RunCli({"--tcp", address, "write", "1104", "5"});
    EXPECT_EQ(refused.Exit, 1);
    EXPECT_TRUE(refused.Err.contains("Access Denied")) << refused.Err.constData();
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(5000));
}

TEST(SimPrograms, PtyModePrintsItsLinkAndRemovesItAtTheEnd)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("vorn0"));
    QProcess sim;
    sim.start(QStringLiteral(BRELLIN_BIN_DIR "/vornsim"), {"--pty", link});
    ASSERT_TRUE(sim.waitForStarted(5000));
    EXPECT_EQ(WaitForReadyLine(sim), "pty " + link.toLocal8Bit());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    const TProgramRun run = RunCli({"--serial", link, "read", "0003"});
    EXPECT_EQ(run.Exit, 0) << run.Err.constData();
    EXPECT_EQ(run.Out.trimmed(), "V500");
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(5000));
    EXPECT_FALSE(QFileInfo::exists(link));
}

TEST(SimPrograms, BadArgumentsAreRefusedWithAMessage)
{
    for (const QStringList &args :
         {QStringList{}, QStringList{"--tcp", "x"}, QStringList{"--tcp", "0", "--drop", "-1"},
          QStringList{"--tcp", "0", "--model", "/nonexistent.json"}}) {
        QProcess sim;
        sim.start(QStringLiteral(BRELLIN_BIN_DIR "/vornsim"), args);
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_NE(sim.exitCode(), 0) << args.join(' ').toStdString();
        EXPECT_TRUE(sim.readAllStandardError().startsWith("vornsim: ")) << args.join(' ').toStdString();
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty());
    }
}

TEST(SimPrograms, PacedLineOptions)
{
    // The options are checked before anything listens.
    const struct {
        QStringList args;
        const char *message;
    } bad[] = {
        {{"--tcp", "0", "--turnaround", "3"}, "give --baud N too"},
        {{"--tcp", "0", "--baud", "9600", "--frame-bits", "12"},
         "--frame-bits: expected a whole number from 10 to 11"},
        // A fraction is refused rather than cut off (10.5 bits would have run as 10).
        {{"--tcp", "0", "--baud", "9600", "--frame-bits", "10.5"},
         "--frame-bits: expected a whole number from 10 to 11"},
        {{"--tcp", "0", "--baud", "9600.5"}, "--baud: expected a whole number"},
        {{"--tcp", "0", "--baud", "12"}, "--baud: expected a whole number"},
    };
    for (const auto &b : bad) {
        QProcess p;
        p.start(QStringLiteral(BRELLIN_BIN_DIR "/vornsim"), b.args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << b.message;
        EXPECT_TRUE(p.readAllStandardError().contains(b.message)) << b.message;
    }
    // A paced instrument still answers the program in full.
    QProcess sim;
    sim.start(QStringLiteral(BRELLIN_BIN_DIR "/vornsim"),
              {"--tcp", "0", "--baud", "57600", "--frame-bits", "11", "--turnaround", "1"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    const QByteArray ready = WaitForReadyLine(sim);
    ASSERT_TRUE(ready.startsWith("listening on 127.0.0.1:")) << ready.constData();
    const TProgramRun run =
        RunCli({"--tcp", QString::fromLatin1(ready.mid(int(sizeof("listening on ")) - 1)), "read", "0003"});
    EXPECT_EQ(run.Exit, 0) << run.Err.constData();
    EXPECT_EQ(run.Out.trimmed(), "V500");
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(5000));
}
