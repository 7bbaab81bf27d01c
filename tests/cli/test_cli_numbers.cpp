// brellin-cli's arguments against an in-process vornsim: every number, passcode and output folder is
// checked strictly before the link is opened; a refused one exits 2 and leaves the instrument as it was.
#include "fake_link.h"
#include "run_program.h"
#include "vornsim.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace
{

class CliNumbers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Cfg.TcpPort = 0;
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(Sim->Port()); }
    TProgramRun Cli(const QStringList &args) const
    {
        return RunCli(QStringList{"--tcp", Address(), "--timeout", "0.5"} + args);
    }
    // What a calibration could change: zero, span, the calibration counter and the saves.
    QList<int64_t> CalibrationState()
    {
        TVornInstrument &i = Sim->Instrument();
        const TSimItem *counter = i.Model().Find(0x1702);
        return {i.Weight().CalZero, i.Weight().CalSpan, counter ? counter->Value : -1, i.SavesDone};
    }
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
};

TEST_F(CliNumbers, RefusedArgumentsExitTwoBeforeAnyConnection)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("log.csv");
    const struct {
        QStringList Args;
        const char *Err;
    } rows[] = {
        // the loose readings of before: each reached the instrument and said done
        {{"calibration", "direct-zero", "abc", "--passcode", "5678"}, "\"abc\" is not a signal in mV/V"},
        {{"calibration", "direct-zero", "1.2.3", "--passcode", "5678"}, "\"1.2.3\" is not a signal in mV/V"},
        {{"calibration", "direct-zero", "0.00001", "--passcode", "5678"}, "at most 4"},
        {{"calibration", "direct-span", "1.5mV", "--passcode", "5678"}, "\"1.5mV\" is not a signal in mV/V"},
        {{"calibration", "direct-span", "3.0001", "--passcode", "5678"}, "Out of Range: (-3.0000 to 3.0000)"},
        {{"calibration", "span", "1.500,00", "--passcode", "5678"}, "holds both \".\" and \",\""},
        {{"calibration", "span", "1e3", "--passcode", "5678"}, "\"1e3\" is not a weight"},
        {{"calibration", "span", "0x10", "--passcode", "5678"}, "\"0x10\" is not a weight"},
        {{"calibration", "span", "1-2", "--passcode", "5678"}, "\"1-2\" is not a weight"},
        {{"calibration", "lin-set", "2", "12.5.0", "--passcode", "5678"}, "is not a weight"},
        {{"calibration", "lin-set", "2.0", "12", "--passcode", "5678"},
         "INDEX is the line of the list, 1..10"},
        {{"calibration", "zero", "--passcode", "abc"}, "--passcode: \"abc\" is not a passcode"},
        {{"settings", "dump", "--passcode", "abc"}, "--passcode: \"abc\" is not a passcode"},
        {{"settings", "dump", "--passcode", "56 78"}, "is not a passcode"},
        {{"settings", "save", "/nonexistent/x.WSD"}, "the folder '/nonexistent' does not exist"},
        {{"settings", "save", "/nonexistent/x"}, "cannot write '/nonexistent/x.WSD'"},
        {{"log", "-o", "/nonexistent/x.csv"}, "the folder '/nonexistent' does not exist"},
        {{"log", "--duration", "nan", "-o", csv}, "--duration: \"nan\" is not a number of seconds"},
        {{"log", "--duration", "1e3", "-o", csv}, "is not a number of seconds"},
        {{"report", "factory", "--png", "/nonexistent/x.png"}, "does not exist"},
        {{"--timeout", "nan", "read", "0005"}, "--timeout: \"nan\" is not a number of seconds"},
        {{"--timeout", "-1", "read", "0005"}, "is negative"},
        {{"--timeout", "0", "read", "0005"}, "more than 0"},
    };
    const QList<int64_t> before = CalibrationState();
    for (const auto &r : rows) {
        SCOPED_TRACE(r.Args.join(' ').toStdString());
        const TProgramRun run = Cli(r.Args);
        EXPECT_EQ(run.Exit, 2) << run.Err.constData();
        EXPECT_TRUE(run.Err.contains(r.Err)) << run.Err.constData();
        EXPECT_TRUE(run.Out.isEmpty()) << run.Out.constData();
        EXPECT_EQ(Sim->Connections(), 0);
    }
    EXPECT_EQ(CalibrationState(), before);
    EXPECT_FALSE(QFile::exists(csv));

    // A passcode in the environment is checked the same way.
    qputenv("BRELLIN_PASSCODE", "12a4");
    const TProgramRun run = Cli({"calibration", "show"});
    qunsetenv("BRELLIN_PASSCODE");
    EXPECT_EQ(run.Exit, 2);
    EXPECT_TRUE(run.Err.contains("BRELLIN_PASSCODE: \"12a4\" is not a passcode")) << run.Err.constData();
    EXPECT_EQ(Sim->Connections(), 0);
}

TEST_F(CliNumbers, AWeightWithMoreDecimalsThanTheInstrumentShowsSendsNothing)
{
    // The calibration weight shows 2 decimals: known only once the figures are read.
    const QList<int64_t> before = CalibrationState();
    const QByteArray weight = Cli({"read", "0100"}).Out;
    const TProgramRun run = Cli({"calibration", "span", "1500.505", "--passcode", "5678"});
    EXPECT_EQ(run.Exit, 2) << run.Err.constData();
    EXPECT_TRUE(run.Err.contains("\"1500.505\" has more decimals than this entry shows: at most 2"))
        << run.Err.constData();
    EXPECT_FALSE(run.Out.contains("Calibration done"));
    EXPECT_EQ(CalibrationState(), before);
    EXPECT_EQ(Cli({"read", "0100"}).Out, weight) << "no weight was written";
}

TEST_F(CliNumbers, ACommaAloneIsTheDecimalMark)
{
    TProgramRun run = Cli({"calibration", "direct-zero", "0,0150", "--passcode", "5678"});
    EXPECT_EQ(run.Exit, 0) << run.Err.constData();
    EXPECT_TRUE(run.Out.contains("Zero: 0.0150 mV/V")) << run.Out.constData();
    EXPECT_EQ(Sim->Instrument().Weight().CalZero, 150);
    // 12,5 is 12.50 kg (once 125.00): the weight register holds 1250.
    run = Cli({"calibration", "lin-set", "2", "12,5", "--passcode", "5678"});
    EXPECT_EQ(run.Exit, 0) << run.Err.constData();
    EXPECT_EQ(Cli({"read", "0100"}).Out, "04E2\n");
}

} // namespace
