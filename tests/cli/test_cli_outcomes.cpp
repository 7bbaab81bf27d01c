// brellin-cli as a process against the simulated instrument under faults: what the instrument holds
// afterwards (calibration counter and figures, clock, records, lock) against what the command said
// and its exit code; and INT, TERM and HUP during an upload, a log recording and a settings send.
#include "fake_link.h"
#include "run_program.h"
#include "vornsim.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace
{

class CliOutcomeTest : public ::testing::Test
{
protected:
    // Starts an instrument with Cfg; its requests are logged in Requests.
    void Start()
    {
        Cfg.TcpPort = 0;
        Cfg.Verbose = true;
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        Sim->OnLog = [this](const QString &line) {
            if (line.startsWith(QStringLiteral("<<< ")))
                Requests << line.mid(4).toLatin1();
        };
        Requests.clear();
    }
    QStringList Connection(double timeout = 1.0) const
    {
        return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->Port()), "--timeout",
                QString::number(timeout)};
    }
    int Sent(const QByteArray &prefix) const
    {
        return static_cast<int>(std::count_if(Requests.begin(), Requests.end(),
                                              [&](const QByteArray &r) { return r.startsWith(prefix); }));
    }
    int64_t CalCount() { return Sim->Instrument().Model().Find(0x1702)->Value; }
    // The clock as the instrument shows it ("dd/MM/yyyy HH:mm:ss").
    QByteArray ClockText() { return Sim->Instrument().Request("20110150:").mid(9); }

    // Starts brellin-cli, sends `signal` once ready() holds, and waits for its end.
    TProgramRun RunAndSignal(const QStringList &args, int signal, const std::function<bool()> &ready,
                             bool &signalled)
    {
        QProcess p;
        p.setWorkingDirectory(Temp.path());
        p.start(QStringLiteral(BRELLIN_BIN_DIR "/brellin-cli"), args);
        TProgramRun r;
        if (!p.waitForStarted(5000))
            return r;
        PumpUntil([&] { return ready() || p.state() == QProcess::NotRunning; }, 30000);
        signalled = p.state() == QProcess::Running;
        if (signalled)
            ::kill(static_cast<pid_t>(p.processId()), signal);
        if (!PumpUntil([&] { return p.state() == QProcess::NotRunning; }, 30000)) {
            p.kill();
            p.waitForFinished(5000);
        }
        r.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.Out = p.readAllStandardOutput();
        r.Err = p.readAllStandardError();
        return r;
    }

    QTemporaryDir Temp;
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    QList<QByteArray> Requests;
};

// --- calibration ---------------------------------------------------------------------------------

TEST_F(CliOutcomeTest, CalibrationIsDoneOnlyWhenTheInstrumentConfirmedItOnce)
{
    // The request after which the link drops is found in a clean run of the same step: the save
    // (answered, then the link goes) and the first status read of the watch.
    auto requestIndex = [this](const QStringList &args, const QByteArray &prefix) {
        Cfg = {};
        Cfg.CalibrationStepMs = 0;
        Start();
        RunCli(Connection(0.4) + args);
        const auto at = std::find_if(Requests.begin(), Requests.end(),
                                     [&](const QByteArray &r) { return r.startsWith(prefix); });
        return static_cast<int>(at - Requests.begin()) + 1;
    };
    const QStringList zero = {"calibration", "zero", "--passcode", "5678"};
    const int save = requestIndex(zero, "20100010:");
    const int watch = requestIndex(zero, "20100102:") + 1;

    const struct {
        const char *Name;
        std::function<void(TVornSimConfig &)> Fault;
        QStringList Args;
        double Timeout;
        int Exit;
        bool Done;
        const char *Err;   // part of stderr ("" when it must be empty, null: not looked at)
        int64_t Count;     // the calibration counter afterwards (7 before)
        int32_t Zero;      // the instrument's zero afterwards, 0.0001 mV/V
        int Saves, Starts; // saves the instrument did, starts it received
    } cases[] = {
        {"a step longer than the time-out", [](TVornSimConfig &c) { c.CalibrationStepMs = 2500; }, zero, 0.4,
         0, true, "", 8, 1083, 1, 1},
        {"the start's reply lost", [](TVornSimConfig &c) { c.DropOnRegister = 0x0102; }, zero, 1, 0, true, "",
         8, 1083, 1, 1},
        {"the link drops after the save was answered",
         [save](TVornSimConfig &c) {
             c.CalibrationStepMs = 0;
             c.DisconnectAfter = save;
         },
         zero, 0.4, 3, false,
         "the step finished; the instrument confirmed saving its settings, but the figures could not be read "
         "back",
         8, 1083, 1, 1},
        {"the link drops during the watch",
         [watch](TVornSimConfig &c) {
             c.CalibrationStepMs = 0;
             c.DisconnectAfter = watch;
         },
         zero, 0.4, 3, false, "the step's outcome is not known; the instrument was not told to save", 8, 1083,
         0, 1},
        {"a direct zero's reply lost",
         [](TVornSimConfig &c) { c.DropOnRegister = 0x0106; },
         {"calibration", "direct-zero", "-0.0150", "--passcode", "5678"},
         1,
         0,
         true,
         nullptr,
         7,
         -150,
         1,
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Cfg = {};
        c.Fault(Cfg);
        Start();
        const int saves = Sim->Instrument().SavesDone;
        const TProgramRun run = RunCli(Connection(c.Timeout) + c.Args);
        EXPECT_EQ(run.Exit, c.Exit) << run.Err.constData();
        EXPECT_EQ(run.Out.startsWith("Calibration done\n"), c.Done) << run.Out.constData();
        if (c.Err && *c.Err) {
            EXPECT_TRUE(run.Err.contains(c.Err)) << run.Err.constData();
        } else if (c.Err) {
            EXPECT_TRUE(run.Err.isEmpty()) << run.Err.constData();
        }
        EXPECT_FALSE(run.Err.contains("not saved")) << run.Err.constData();
        EXPECT_EQ(CalCount(), c.Count);
        EXPECT_EQ(Sim->Instrument().Weight().CalZero, c.Zero);
        EXPECT_EQ(Sim->Instrument().SavesDone - saves, c.Saves);
        EXPECT_EQ(Sent("20100102:"), c.Starts);
    }
}

// --- clock ---------------------------------------------------------------------------------------

TEST_F(CliOutcomeTest, ClockSetSaysWhichPartsTheInstrumentConfirmed)
{
    const struct {
        const char *Name;
        std::function<void(TVornSimConfig &)> Fault;
        int Exit;
        const char *Err;
        const char *Date; // what the instrument's clock shows afterwards, from its start
    } cases[] = {
        {"all five confirmed", [](TVornSimConfig &) {}, 0, "", "05/04/2031 06:07"},
        // (after the three reads of the instrument's identity for its journal and the read of the
        // clock before the writes)
        {"the link drops after three writes", [](TVornSimConfig &c) { c.DisconnectAfter = 7; }, 3,
         "it confirmed the year, month and day; the hour was sent but not confirmed; the minute was not "
         "sent.",
         "05/04/2031 06:"},
        {"every write refused", [](TVornSimConfig &c) { c.RefuseAll = true; }, 1,
         "The instrument's clock was not changed: it refused the year.", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Cfg = {};
        c.Fault(Cfg);
        Start();
        const TProgramRun run = RunCli(Connection() + QStringList{"clock", "set", "2031-04-05 06:07"});
        EXPECT_EQ(run.Exit, c.Exit) << run.Err.constData();
        EXPECT_EQ(run.Out, c.Exit == 0 ? QByteArray("2031-04-05 06:07\n") : QByteArray());
        if (*c.Err) {
            EXPECT_TRUE(run.Err.contains(c.Err)) << run.Err.constData();
        } else {
            EXPECT_TRUE(run.Err.isEmpty()) << run.Err.constData();
        }
        if (c.Date) {
            EXPECT_TRUE(ClockText().startsWith(c.Date)) << ClockText().constData();
        } else {
            EXPECT_FALSE(ClockText().contains("2031"));
        }
    }
}

// --- reports and raw -----------------------------------------------------------------------------

TEST_F(CliOutcomeTest, RefusalsEmptyRecordsAndStrayRepliesAreNotSuccess)
{
    const struct {
        const char *Name;
        std::function<void(TVornSimConfig &)> Fault;
        QStringList Args;
        int Exit;
        const char *Out; // part of stdout
        const char *Err; // part of stderr
    } cases[] = {
        {"allocation reads refused",
         [](TVornSimConfig &c) { c.RefuseAll = true; },
         {"report", "allocation"},
         1,
         "",
         "The instrument refused 3 of the reads of its allocation table"},
        {"an empty allocation table",
         [](TVornSimConfig &c) { c.AllocationCase = "empty"; },
         {"report", "allocation"},
         0,
         "",
         "The instrument's allocation table is empty."},
        {"a factory record without points",
         [](TVornSimConfig &c) { c.FactoryCase = "none"; },
         {"report", "factory"},
         8,
         "result: no test points (nothing to pass or fail)\n",
         ""},
        {"a factory record that passes",
         [](TVornSimConfig &) {},
         {"report", "factory"},
         0,
         "result: pass\n",
         ""},
        {"raw: a reply for another register",
         [](TVornSimConfig &c) { c.WrongRegister = 1; },
         {"raw", "20110005:"},
         3,
         "01110006:",
         "the reply is for register 0006 (command 11), not for the request sent (register 0005, command 11)"},
        {"raw: the reply to the request", [](TVornSimConfig &) {}, {"raw", "20110005:"}, 0, "01110005:", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Cfg = {};
        c.Fault(Cfg);
        Start();
        const TProgramRun run = RunCli(Connection() + c.Args);
        EXPECT_EQ(run.Exit, c.Exit) << run.Err.constData();
        EXPECT_TRUE(run.Out.contains(c.Out)) << run.Out.constData();
        if (*c.Err) {
            EXPECT_TRUE(run.Err.contains(c.Err)) << run.Err.constData();
        } else {
            EXPECT_TRUE(run.Err.isEmpty()) << run.Err.constData();
        }
        EXPECT_FALSE(run.Out.contains("result: pass") && c.Exit != 0);
    }
}

// An access check whose replies are all lost says nothing of a lock: no passcode is written, nothing
// is called refused or locked, and the silence is said once.
TEST_F(CliOutcomeTest, AnUnansweredAccessCheckWritesNoPasscodeAndIsSaidOnce)
{
    Cfg = {};
    Start();
    const QString file = Temp.filePath(QStringLiteral("setup.WSD"));
    ASSERT_EQ(RunCli(Connection() + QStringList{"settings", "save", file, "--passcode", "1234"}).Exit, 0);
    const struct {
        const char *Name;
        int Register; // the level's access register
        QStringList Args;
    } cases[] = {
        {"settings dump", 0x001A, {"settings", "dump", "--passcode", "1234"}},
        {"settings send", 0x001A, {"settings", "send", file, "--yes", "--no-snapshot", "--passcode", "1234"}},
        {"calibration show", 0x0019, {"calibration", "show", "--passcode", "5678"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TVornSimConfig faults;
        faults.DropOnRegister = c.Register;
        faults.DropOnTimes = 1000;
        Sim->SetFaults(faults);
        Requests.clear();
        const TProgramRun run = RunCli(Connection(0.2) + c.Args);
        EXPECT_EQ(run.Exit, 3) << run.Err.constData();
        const QString access = QString::asprintf("2012%04X", c.Register);
        EXPECT_EQ(Sent(access.toLatin1()), 0) << "a passcode written to an instrument that did not answer";
        EXPECT_FALSE(run.Err.contains("refused") || run.Err.contains("locked")) << run.Err.constData();
        EXPECT_EQ(run.Err.count('\n'), 1) << run.Err.constData();
        EXPECT_TRUE(run.Err.contains("did not answer") || run.Err.contains("not responding"))
            << run.Err.constData();
    }
}

// --- signals -------------------------------------------------------------------------------------

const struct {
    int Signal;
    const char *Name;
} Signals[] = {{SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGINT, "SIGINT"}};

TEST_F(CliOutcomeTest, SignalsEndAnUploadKeepingWhatArrived)
{
    for (const auto &s : Signals) {
        SCOPED_TRACE(s.Name);
        Cfg = {};
        Cfg.Records = 5000;
        Start();
        const QString store = Temp.filePath(QStringLiteral("store-%1").arg(s.Name));
        bool signalled = false;
        const TProgramRun run = RunAndSignal(
            Connection() + QStringList{"store", "upload", "--store", store}, s.Signal,
            [&] { return Sent("20108292:") >= 200; }, signalled);
        ASSERT_TRUE(signalled) << "the upload ended before the signal";
        EXPECT_EQ(run.Exit, 3) << run.Err.constData();
        EXPECT_TRUE(run.Err.contains(QByteArray("stopped by ") + s.Name)) << run.Err.constData();
        const QRegularExpressionMatch m =
            QRegularExpression(
                QStringLiteral("Upload incomplete after record (\\d+) \\((\\d+) new records stored\\)"))
                .match(QString::fromLatin1(run.Err));
        ASSERT_TRUE(m.hasMatch()) << run.Err.constData();
        const int stored = m.captured(2).toInt();
        EXPECT_GE(stored, 200);
        EXPECT_LT(stored, 5000);
        // The store file holds what arrived, and nothing else is left beside it.
        QStringList files;
        for (QDirIterator it(store, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            files << QFileInfo(it.next()).fileName();
        ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
        EXPECT_FALSE(files[0].endsWith(".tmp") || files[0].endsWith(".lock"));
        const TProgramRun verify = RunCli({"store", "verify", "--serial", "1234567", "--store", store});
        EXPECT_EQ(verify.Exit, 0) << verify.Out.constData();
        EXPECT_TRUE(verify.Out.contains(QStringLiteral("Found %1 records").arg(stored).toLatin1()))
            << verify.Out.constData();
    }
}

TEST_F(CliOutcomeTest, SignalsEndALogRecordingWithItsSamplesKept)
{
    const struct {
        int Signal;
        const char *Name;
        const char *Duration; // empty: until the signal
        int Exit;
    } cases[] = {{SIGTERM, "SIGTERM", "60", 3},
                 {SIGHUP, "SIGHUP", "60", 3},
                 {SIGINT, "SIGINT", "60", 3},
                 {SIGTERM, "SIGTERM", "", 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " " + c.Duration);
        Cfg = {};
        Start();
        const QString file = Temp.filePath(QStringLiteral("log-%1-%2.CSV").arg(c.Name, c.Duration));
        QStringList args = Connection() + QStringList{"log", "-o", file};
        if (*c.Duration)
            args << "--duration" << c.Duration;
        bool signalled = false;
        const TProgramRun run = RunAndSignal(
            args, c.Signal, [&] { return Sent("2012004F:") >= 2; }, signalled);
        ASSERT_TRUE(signalled);
        EXPECT_EQ(run.Exit, c.Exit) << run.Err.constData();
        EXPECT_EQ(run.Err.contains(QByteArray("stopped by ") + c.Name), c.Exit == 3) << run.Err.constData();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("samples: (\\d+)")).match(QString::fromLatin1(run.Out));
        ASSERT_TRUE(m.hasMatch()) << run.Out.constData();
        EXPECT_GT(m.captured(1).toInt(), 0);
        // Every sample counted is in the file, one line each after the header.
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        EXPECT_GE(lines.size(), m.captured(1).toInt());
    }
}

TEST_F(CliOutcomeTest, SignalsStopASettingsSendAfterTheLineInFlightAndLockTheInstrument)
{
    Cfg = {};
    Start();
    const QString file = Temp.filePath(QStringLiteral("SETUP.WSD"));
    ASSERT_EQ(RunCli(Connection() + QStringList{"settings", "save", file, "--passcode", "1234"}).Exit, 0);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QSet<QByteArray> fileLines;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            fileLines.insert(line.trimmed());

    for (const auto &s : Signals) {
        SCOPED_TRACE(s.Name);
        Cfg = {};
        Cfg.DelayMs = 40; // a transfer of a few seconds
        Start();
        auto linesReceived = [&] {
            return static_cast<int>(std::count_if(Requests.begin(), Requests.end(), [&](const QByteArray &r) {
                return fileLines.contains(r);
            }));
        };
        const int saves = Sim->Instrument().SavesDone;
        bool signalled = false;
        const TProgramRun run = RunAndSignal(
            // (no snapshot first: its reads would hold the send back, and the write that selects
            // the active product again after them is one of the file's lines)
            Connection() +
                QStringList{"settings", "send", file, "--passcode", "1234", "--yes", "--no-snapshot"},
            s.Signal, [&] { return linesReceived() >= 10; }, signalled);
        ASSERT_TRUE(signalled);
        EXPECT_EQ(run.Exit, 3) << run.Err.constData();
        const QRegularExpressionMatch m =
            QRegularExpression(
                QStringLiteral("stopped by (\\w+) after (\\d+) of (\\d+) lines: (\\d+) applied, 0 "
                               "refused, 0 not confirmed; the rest was not sent"))
                .match(QString::fromLatin1(run.Err));
        ASSERT_TRUE(m.hasMatch()) << run.Err.constData();
        EXPECT_EQ(m.captured(1), s.Name);
        // The count said is the count the instrument took, the line in flight included.
        EXPECT_EQ(m.captured(4).toInt(), linesReceived());
        EXPECT_LT(m.captured(2).toInt(), m.captured(3).toInt());
        EXPECT_EQ(Sent("201000ED:"), 0) << "the end of a transfer was sent after the stop";
        // The session was ended: both levels locked, the settings saved.
        EXPECT_FALSE(Sim->Instrument().SafeOpen);
        EXPECT_FALSE(Sim->Instrument().FullOpen);
        EXPECT_GT(Sim->Instrument().SavesDone, saves);
    }
}

} // namespace
