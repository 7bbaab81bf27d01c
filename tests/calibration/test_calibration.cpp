// Calibration without a window: a start whose reply was lost, the typed values, and brellin-cli's
// calibration commands against the vornsim program (exit codes and printed figures).
#include "../integration/sim_fixture.h"
#include "calibration/calibration.h"
#include "fake_link.h"
#include "link/comms.h"
#include "link/transact.h"
#include "run_program.h"
#include "settings/device.h"
#include "settings/session.h"
#include "values/tools.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace
{

// The instrument's side for the core's flows: every register answers, the start of a zero step
// as the script says, the status from a list.
class StartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto link = std::make_unique<TFakeLink>();
        Link = link.get();
        Engine.SetLink(std::move(link));
        Engine.Reporter = &Reporter;
        Engine.SetTickInterval(2);
        Engine.TimeoutTicks = 10;
        Device.OnExchange = [this](const QByteArray &r) { return Engine.TransactText(r); };
        Session.Reporter = &Reporter;
        Calibration.Reporter = &Reporter;
        Link->Responder = [this](const QByteArray &frame) {
            Tcommsobj request;
            request.Decode(FrameText(frame));
            Tcommsobj reply = request;
            reply.RequestFlag = false;
            reply.Data = "0000";
            if (request.Register == 0x0102) {
                if (Starts.isEmpty())
                    return;
                // "ok" and "lost" take effect (the step runs and is counted), "stuck" is answered
                // but never finishes, "" never arrives; anything else is a refusal's status.
                const QByteArray answer = Starts.takeFirst();
                Count += answer == "ok" || answer == "lost" ? 1 : 0;
                if (answer.isEmpty() || answer == "lost")
                    return;
                reply.ErrorFlag = answer != "ok" && answer != "stuck";
                reply.Data = reply.ErrorFlag ? answer : QByteArray();
            } else if (request.Register == 0x0021) {
                reply.Data = Statuses.isEmpty() ? QByteArray("0000") : Statuses.takeFirst();
            } else if (request.Register == 0x1702) {
                reply.ErrorFlag = NoCounter;
                reply.Data = NoCounter ? QByteArray("0100") : HexText(Count, 4);
            }
            Link->Deliver(CrcFrame(reply.Encode()));
        };
        Link->Open();
    }
    int SentCount(int reg) const
    {
        int n = 0;
        for (const QByteArray &f : Link->Sent) {
            Tcommsobj m;
            n += m.Decode(FrameText(f)) && m.Register == reg ? 1 : 0;
        }
        return n;
    }

    TTransactionEngine Engine;
    TFakeLink *Link = nullptr;
    TRecordingReporter Reporter;
    TDevice Device;
    TSession Session{&Engine, &Device, nullptr};
    TCalibration Calibration{&Engine, &Device, &Session};
    QList<QByteArray> Starts, Statuses;
    uint32_t Count = 7;
    bool NoCounter = false;
};

TEST_F(StartTest, AStartRunsOnceAndIsDoneOnlyWhenTheCounterMoved)
{
    // Status reads: one before the start, one after a lost answer, then the watch (two quiet
    // readings end it with a time-out of 10 ticks).
    const struct {
        const char *Name;
        QList<QByteArray> Starts, Statuses;
        bool NoCounter;
        TCalEnd End;
        int StartsSent, StatusReads;
        uint32_t CountAfter;
    } cases[] = {
        {"answer lost, step runs", {"lost"}, {"0000", "2000", "2000"}, false, TCalEnd::Done, 1, 5, 8},
        {"answer lost, step already over", {"lost"}, {}, false, TCalEnd::Done, 1, 4, 8},
        {"start lost on the way", {"", "ok"}, {}, false, TCalEnd::Done, 2, 4, 8},
        {"never answered", {"", ""}, {}, false, TCalEnd::NoReply, 2, 3, 7},
        {"answer lost, no counter", {"lost"}, {}, true, TCalEnd::Unconfirmed, 1, 2, 8},
        {"answered, never finishes", {"stuck"}, {}, false, TCalEnd::Unconfirmed, 1, 3, 7},
        {"no counter, quiet after the start", {"ok"}, {}, true, TCalEnd::Done, 1, 3, 8},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Link->Sent.clear();
        Reporter.Errors.clear();
        Starts = c.Starts;
        Statuses = c.Statuses;
        NoCounter = c.NoCounter;
        Count = 7;
        const TCalOutcome out = Calibration.Zero();
        EXPECT_EQ(out.End, c.End);
        EXPECT_EQ(SentCount(0x0102), c.StartsSent);
        EXPECT_EQ(SentCount(0x0021), c.StatusReads);
        EXPECT_EQ(Count, c.CountAfter);
        EXPECT_EQ(SentCount(0x0010), 1) << "saved and read back in every case";
        EXPECT_EQ(out.Confirmed(), c.End == TCalEnd::Done);
        EXPECT_EQ(Reporter.Errors.isEmpty(), c.End == TCalEnd::Done)
            << Reporter.Errors.join('\n').toStdString();
    }
}

TEST_F(StartTest, ARefusedStartIsReportedAndStillSavedAndReadBack)
{
    Starts = {"0100"};
    const TCalOutcome out = Calibration.Zero();
    EXPECT_EQ(out.End, TCalEnd::Refused);
    EXPECT_EQ(SentCount(0x0102), 1);
    EXPECT_EQ(SentCount(0x0010), 1);
    ASSERT_EQ(Reporter.Errors.size(), 1);
    EXPECT_TRUE(Reporter.Errors[0].startsWith("Error :- Register 0102:")) << Reporter.Errors[0].toStdString();
}

class CalibrationSimTest : public SimLinkTest
{
};

TEST_F(CalibrationSimTest, LostRepliesDoNotChangeTheOutcome)
{
    // Every reply but the first is lost once and the request sent again, but for the start of
    // the step: the status shows it running.
    Cfg.DropReply = 2;
    Cfg.CalibrationStepMs = 500;
    Connect();
    Engine->TimeoutTicks = 25;
    TSession session(Engine.get(), &Device, nullptr);
    session.Reporter = &Reporter;
    session.OnPasscode = [](int, const QString &) { return std::optional<QByteArray>("5678"); };
    TCalibration calibration(Engine.get(), &Device, &session);
    calibration.Reporter = &Reporter;
    const TCalOutcome out = calibration.Zero();
    EXPECT_EQ(out.End, TCalEnd::Done);
    EXPECT_TRUE(out.Saved);
    EXPECT_TRUE(out.ReadBack);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    // The instrument's truth: zeroed at the 12.50 kg on the cell, and saved.
    EXPECT_EQ(Instrument().Weight().CalZero, 1083);
    EXPECT_EQ(Device.CalZero, 1083);
    EXPECT_GE(Instrument().SavesDone, 1);
}

TEST(CalibrationValues, TypedWeightsAndSignals)
{
    EXPECT_EQ(TCalibration::WeightValue("12.5", 2), 1250);
    EXPECT_EQ(TCalibration::WeightValue("-3", 1), -30);
    EXPECT_EQ(TCalibration::WeightValue("kg", 2), std::nullopt);
    EXPECT_EQ(TCalibration::WeightValue("", 0), std::nullopt);
    EXPECT_EQ(TCalibration::WeightValue("21474836.48", 2), std::nullopt);
    EXPECT_EQ(TCalibration::WeightValue("99999999999999999999999", 0), std::nullopt);
    // A fifth decimal is refused, not cut.
    EXPECT_EQ(TCalibration::SignalValue("-3.00009"), std::nullopt);
    EXPECT_EQ(TCalibration::SignalValue("-3.0000"), -30000);
    EXPECT_EQ(TCalibration::SignalValue("3.0001"), std::nullopt);
    EXPECT_EQ(TCalibration::HexArgument(-150), "FFFFFF6A");
    EXPECT_EQ(TCalibration::HexArgument(1250), "4E2");
    EXPECT_EQ(TCalibration::ResultMessage(0x2006), "Error: 6 - Stability not achieved");
    EXPECT_EQ(TCalibration::ResultMessage(0x000B), "Error: 11 - ");
}

// --- brellin-cli against the vornsim program -----------------------------------------------------

class TSimProcess
{
public:
    explicit TSimProcess(const QStringList &options)
    {
        Process.start(QStringLiteral(BRELLIN_BIN_DIR "/vornsim"), QStringList{"--tcp", "0"} + options);
        QByteArray out;
        PumpUntil(
            [&] {
                out += Process.readAllStandardOutput();
                return out.contains('\n') || Process.state() == QProcess::NotRunning;
            },
            10000);
        const QByteArray prefix = "listening on ";
        if (out.startsWith(prefix))
            Address = QString::fromLatin1(out.mid(prefix.size()).trimmed());
    }
    ~TSimProcess()
    {
        Process.terminate();
        Process.waitForFinished(5000);
    }
    // One calibration command with a short time-out: a step is over one quiet reading after it ends.
    TProgramRun Run(const QStringList &args) const
    {
        return RunCli(QStringList{"--tcp", Address, "--timeout", "0.5", "calibration"} + args);
    }
    QProcess Process;
    QString Address;
};

QByteArray Figures(const char *zero, const char *span, const QList<QByteArray> &points)
{
    QByteArray text = QByteArray("Zero: ") + zero + " mV/V\nFullscale: " + span +
                      " mV/V\nCalibration Weight: 3000.00 kg\nLinearisation:\n";
    for (int n = 1; n <= 10; ++n)
        text += QByteArray::number(n).rightJustified(2) + ":" + points.value(n - 1) + "\n";
    return text;
}

TEST(CalibrationCli, StepsPrintTheFiguresTheInstrumentHoldsAfterwards)
{
    TSimProcess sim({"--cal-time", "300"});
    ASSERT_FALSE(sim.Address.isEmpty());
    const QString code = "5678";
    const struct {
        QStringList Args;
        int Exit;
        QByteArray Out;
        QByteArray Err;
    } steps[] = {
        {{"show", "--passcode", code}, 0, Figures("0.1000", "2.0000", {}), ""},
        {{"zero", "--passcode", code}, 0, "Calibration done\n" + Figures("0.1083", "2.0000", {}), ""},
        {{"direct-zero", "-0.0150", "--passcode", code},
         0,
         "Calibration done\n" + Figures("-0.0150", "2.0000", {}),
         ""},
        {{"direct-span", "1.5", "--passcode", code},
         0,
         "Calibration done\n" + Figures("-0.0150", "1.5000", {}),
         ""},
        {{"lin-set", "3", "900", "--passcode", code},
         0,
         "Calibration done\n" + Figures("-0.0150", "1.5000", {"", "", "  30%"}),
         ""},
        // A point too close to another comes back as its result code.
        {{"lin-set", "4", "905", "--passcode", code},
         1,
         Figures("-0.0150", "1.5000", {"", "", "  30%"}),
         "Error: 10 - Linearisation Point too close\n"},
        {{"lin-clear", "3", "--passcode", code},
         0,
         "Calibration done\n" + Figures("-0.0150", "1.5000", {}),
         ""},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.Args.join(' ').toStdString());
        const TProgramRun run = sim.Run(s.Args);
        EXPECT_EQ(run.Exit, s.Exit) << run.Err.constData();
        EXPECT_EQ(run.Out, s.Out);
        EXPECT_EQ(run.Err, s.Err);
    }
}

TEST(CalibrationCli, RefusalsAndBadValuesSendNoStep)
{
    TSimProcess sim({});
    ASSERT_FALSE(sim.Address.isEmpty());
    const struct {
        QStringList Args;
        int Exit;
        const char *Err;
    } cases[] = {
        {{"zero"}, 1, "the full level is locked: give its passcode in BRELLIN_PASSCODE or with --passcode N"},
        {{"zero", "--passcode", "1111"}, 1, "the instrument refused the passcode for the full level"},
        {{"direct-zero", "3.5", "--passcode", "5678"}, 2, "Out of Range: (-3.0000 to 3.0000)"},
        {{"lin-set", "11", "5", "--passcode", "5678"}, 2, "INDEX is the line of the list, 1..10"},
        {{"span", "kg", "--passcode", "5678"}, 2, "is not a weight"},
        {{"span", "--passcode", "5678"}, 2, "usage: calibration"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        const TProgramRun run = sim.Run(c.Args);
        EXPECT_EQ(run.Exit, c.Exit);
        EXPECT_TRUE(run.Err.contains(c.Err)) << run.Err.constData();
        EXPECT_TRUE(run.Out.isEmpty()) << run.Out.constData();
    }
    // The passcode may come from the environment instead.
    qputenv("BRELLIN_PASSCODE", "5678");
    const TProgramRun shown = sim.Run({"show"});
    qunsetenv("BRELLIN_PASSCODE");
    EXPECT_EQ(shown.Exit, 0) << shown.Err.constData();
    EXPECT_EQ(shown.Out, Figures("0.1000", "2.0000", {}));
}

TEST(CalibrationCli, ResultCodesExitWithTheirMessageAfterTheSaveAndReadBack)
{
    const struct {
        QStringList Options;
        const char *Err;
    } cases[] = {
        {{"--cal-result", "11", "--cal-time", "100"}, "Error: 11 - \n"},
        {{"--cal-result", "6", "--cal-result-early", "--cal-time", "600000"},
         "Error: 6 - Stability not achieved\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Err);
        TSimProcess sim(c.Options);
        const TProgramRun run = sim.Run({"zero", "--passcode", "5678"});
        EXPECT_EQ(run.Exit, 1);
        EXPECT_EQ(run.Err, c.Err);
        EXPECT_EQ(run.Out, Figures("0.1000", "2.0000", {}));
    }
}

} // namespace
