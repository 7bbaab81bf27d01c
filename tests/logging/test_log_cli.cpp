// brellin-cli log as a process: against the vornsim program, and against a peer that falls silent.
#include "fake_link.h"
#include "link/comms.h"
#include "link/framing.h"
#include "logging/logfile.h"
#include "run_program.h"
#include "values/tools.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QList<QByteArray> FileLines(const QString &path)
{
    QList<QByteArray> lines;
    QString error;
    LoadLogLines(path, &lines, &error);
    return lines;
}

} // namespace

TEST(LogCli, RecordsFromTheSimulatorProgram)
{
    QProcess sim;
    sim.start(QStringLiteral(BRELLIN_BIN_DIR "/vornsim"), {"--tcp", "0", "--steps", "1000:200"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    QByteArray ready;
    PumpUntil([&] { return (ready += sim.readAllStandardOutput()).contains('\n'); }, 10000);
    ASSERT_TRUE(ready.startsWith("listening on 127.0.0.1:")) << ready.constData();
    const QString address = QString::fromLatin1(ready.mid(13).trimmed());

    QTemporaryDir dir;
    const QString out = dir.filePath("run.CSV");
    const TProgramRun run =
        RunCli({"--tcp", address, "log", "--rate", "10", "--duration", "3", "--channels", "Motion,IO3",
                "--comment", QStringLiteral(u"three seconds Prüfung"), "-o", out});
    sim.terminate();
    sim.waitForFinished(5000);
    EXPECT_EQ(run.Exit, 0) << run.Err.constData();
    const QList<QByteArray> lines = FileLines(out);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "three seconds Pr\xc3\xbc"
                        "fung"); // UTF-8, as the window reads it
    EXPECT_EQ(lines[1], "Time,Weight(kg),Motion,IO3,");
    const qsizetype points = lines.size() - 2;
    EXPECT_EQ(run.Out, "samples: " + QByteArray::number(points) + "\n");
    // About 30 points 0.1 s apart: each on the instrument's 0.04 s grid at or just after i x 0.1 s.
    EXPECT_GE(points, 20); // a busy machine streams a little slower
    EXPECT_LE(points, 32);
    for (qsizetype i = 0; i < points; ++i) {
        const QByteArray &line = lines[i + 2];
        const double t = DecimalTextToFloat(NthField(line, 1, ','));
        EXPECT_GE(t, i * 0.1 - 1e-9) << line.constData();
        EXPECT_LT(t, i * 0.1 + 0.04) << line.constData();
        // 12.50 kg, stepping by 2.00 kg each second; IO3 always set.
        const QByteArray weight = NthField(line, 2, ',');
        EXPECT_TRUE(weight.startsWith("12.") || weight.startsWith("13.") || weight.startsWith("14."))
            << line.constData();
        EXPECT_EQ(NthField(line, 4, ','), "1.00") << line.constData();
    }
    EXPECT_EQ(NthField(lines[2], 2, ','), "14.50"); // the first step's ramp starts at level + step
}

TEST(LogCli, EndsWithExitThreeWhenTheInstrumentFallsSilent)
{
    // Answers the formatted weight and two logging writes (five samples each), then nothing.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    int writes = 0;
    uint32_t stamp = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket *s = server.nextPendingConnection();
        auto *assembler = new TFrameAssembler;
        QObject::connect(s, &QObject::destroyed, [assembler] { delete assembler; });
        assembler->OnMessage = [&, s](const QByteArray &text) {
            Tcommsobj req;
            req.Decode(text);
            Tcommsobj reply = req;
            reply.RequestFlag = false;
            if (req.Register == 0x0025) {
                reply.Data = "   12.50 kg G";
            } else if (req.Register == 0x004F && ++writes <= 2) {
                for (int k = 0; k < 5; ++k) {
                    Tcommsobj sample;
                    sample.Command = CmdRead;
                    sample.Register = 0x0026;
                    sample.Data = HexText(stamp, 8) + HexText(1250, 8) + HexText(0, 8) + HexText(0, 8);
                    stamp += 3;
                    s->write(CrcFrame(sample.Encode()));
                }
            } else {
                return;
            }
            s->write(CrcFrame(reply.Encode()));
        };
        QObject::connect(s, &QTcpSocket::readyRead, [s, assembler] { assembler->Feed(s->readAll()); });
    });
    QTemporaryDir dir;
    const QString out = dir.filePath("LOG2");
    const TProgramRun run = RunCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(server.serverPort()),
                                    "--timeout", "0.3", "log", "-o", out});
    EXPECT_EQ(run.Exit, 3) << run.Err.constData();
    EXPECT_TRUE(run.Err.contains("stopped answering")) << run.Err.constData();
    EXPECT_EQ(run.Out, "samples: 10\n");
    const QList<QByteArray> lines = FileLines(out); // the name as given: a file, not a dialog's choice
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[1], "Time,Weight(kg),");
    EXPECT_EQ(lines[11], "1.08,12.50");

    // Usage errors name the problem.
    const TProgramRun bad = RunCli({"--tcp", "127.0.0.1:1", "log", "--channels", "Speed", "-o", out});
    EXPECT_EQ(bad.Exit, 2);
    EXPECT_TRUE(bad.Err.contains("unknown channel 'Speed'")) << bad.Err.constData();
}
