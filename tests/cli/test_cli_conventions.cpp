// brellin-cli's conventions, the built program against the simulated instrument: arguments are
// checked before the link is touched, refusals and lost links always say so, passcodes stay off
// the command line, and the optical cables fix the line settings.
#include "fake_link.h"
#include "run_program.h"
#include "vornsim.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace
{

// An in-process vornsim on loopback TCP.
struct TSim {
    explicit TSim(const TVornSimConfig &base = {})
    {
        TVornSimConfig cfg = base;
        cfg.TcpPort = 0;
        Sim = std::make_unique<TVornSim>(cfg);
        Started = Sim->Start();
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(Sim->Port()); }
    std::unique_ptr<TVornSim> Sim;
    bool Started = false;
};

QStringList Cat(QStringList a, const QStringList &b)
{
    a += b;
    return a;
}

} // namespace

TEST(CliConventions, UsageErrorsExitTwoWithoutTouchingTheLink)
{
    // A listener that only counts connections: none may be made.
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        ++connections;
        listener.nextPendingConnection()->close();
    });
    const QStringList tcp{"--tcp", QStringLiteral("127.0.0.1:%1").arg(listener.serverPort())};
    const struct {
        QStringList Args;
        const char *Says;
    } cases[] = {
        {{"read", "+12"}, "'+12' is not a register"},
        {{"read", "-1"}, "is not a register"},
        {{"read", "0x"}, "is not a register"},
        {{"read", "1 2"}, "is not a register"},
        {{"read", "12345"}, "is not a register"},
        {{"read"}, "usage: read REG"},
        {{"write", "004D", "A\rB"}, "control character [CR]"},
        {{"write", "004D", "A\nB"}, "control character [LF]"},
        {{"write", "004D", QStringLiteral("A%1").arg(QChar(1))}, "control character [SOH]"},
        {{"write", "004D", QStringLiteral("%1B").arg(QChar(2))}, "control character [STX]"},
        {{"exec", "B001", QStringLiteral("X%1").arg(QChar(4))}, "control character [EOT]"},
        {{"raw", QStringLiteral("20110005:%1").arg(QChar(4))}, "control character [EOT]"},
        {{"ident", "extra"}, "usage: ident"},
        {{"clock", "set", "tomorrow"}, "is not a date and time"},
        {{"clock", "wind"}, "usage: clock"},
        {{"settings", "dump", "--bogus"}, "unknown option"},
        {{"settings", "frob"}, "unknown settings command"},
        {{"store", "upload", "--bogus"}, "unknown argument"},
        {{"find", "--cable", "usb"}, "--cable is rs232, optical or fast-optical"},
        {{"find", "--fast"}, "unknown option '--fast'"},
        {{"find", "/dev/ttyUSB0"}, "find searches serial ports: leave out --tcp"},
        {{"ports", "all"}, "usage: ports"},
        {{"--baud", "57600", "find"}, "leave out --baud and --address"},
        {{"--cable", "optical", "--baud", "19200", "read", "5"}, "--cable optical runs at 9600 baud"},
        {{"--cable", "fast-optical", "--address", "3", "read", "5"}, "address 0"},
        {{"--cable", "optical", "--parity", "even", "read", "5"}, "no parity"},
    };
    for (const auto &c : cases) {
        const bool serialOnly = c.Args.first() == "--cable";
        const QStringList args = serialOnly ? Cat({"--serial", "/dev/null"}, c.Args) : Cat(tcp, c.Args);
        const TProgramRun run = RunCli(args);
        EXPECT_EQ(run.Exit, 2) << args.join(' ').toStdString() << "\n" << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains(c.Says)) << args.join(' ').toStdString() << "\n"
                                              << run.Err.toStdString();
    }
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(connections, 0);
}

TEST(CliConventions, CommandHelpPrintsTheCommandsSynopsis)
{
    const struct {
        QStringList Args;
        const char *Shows;
    } cases[] = {
        {{"ident", "--help"}, "ident "},
        {{"settings", "--help"}, "settings send FILE"},
        {{"settings", "save", "--help"}, "settings save FILE"},
        {{"store", "--help"}, "store extract"},
        {{"store", "-h"}, "store upload"},
        {{"read", "--help"}, "read REG"},
        {{"find", "--help"}, "find [--cable rs232|optical|fast-optical] [DEVICE...]"},
    };
    for (const auto &c : cases) {
        // No connection option: help needs none, and touches nothing.
        const TProgramRun run = RunCli(c.Args);
        EXPECT_EQ(run.Exit, 0) << c.Args.join(' ').toStdString() << run.Err.toStdString();
        EXPECT_TRUE(run.Out.startsWith("usage: brellin-cli")) << run.Out.toStdString();
        EXPECT_TRUE(run.Out.contains(c.Shows)) << run.Out.toStdString();
        EXPECT_TRUE(run.Err.isEmpty());
    }
    // The passcode's other sources are documented.
    EXPECT_TRUE(RunCli({"--help"}).Out.contains("BRELLIN_PASSCODE"));
}

TEST(CliConventions, ARefusingInstrumentExitsOneWithItsText)
{
    TVornSimConfig cfg;
    cfg.RefuseAll = true;
    TSim sim(cfg);
    ASSERT_TRUE(sim.Started);
    const struct {
        QStringList Args;
        const char *Says;
    } cases[] = {
        {{"ident"}, "Error :- Register 0005: "},
        {{"clock", "show"}, "Error :- Register 0150: "},
        {{"raw", "20110005:"}, "Error :- Register 0005: "},
        {{"read", "0003"}, "Error :- Register 0003: "},
    };
    for (const auto &c : cases) {
        const TProgramRun run = RunCli(Cat({"--tcp", sim.Address(), "--timeout", "2"}, c.Args));
        EXPECT_EQ(run.Exit, 1) << c.Args.join(' ').toStdString() << "\n" << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains(c.Says)) << c.Args.join(' ').toStdString() << "\n"
                                              << run.Err.toStdString();
    }
    // raw still prints the reply text it got.
    const TProgramRun raw = RunCli({"--tcp", sim.Address(), "raw", "20110005:"});
    EXPECT_TRUE(raw.Out.startsWith("41110005:")) << raw.Out.toStdString();
}

TEST(CliConventions, ALinkLostMidCommandAlwaysSaysSo)
{
    // The instrument drops the connection after N answered requests (0: a peer that hangs up on
    // the first request); each command needs more than N.
    const struct {
        int After;
        QStringList Args;
    } cases[] = {
        {0, {"read", "0005"}},
        {0, {"clock", "show"}},
        {0, {"raw", "20110005:"}},
        {0, {"ident"}},
        {2, {"ident"}},
        {1, {"store", "upload"}},
        {3, {"store", "upload"}},
        {5, {"settings", "dump", "--passcode", "1234"}},
    };
    QTemporaryDir store;
    QTcpServer hangUp;
    ASSERT_TRUE(hangUp.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&hangUp, &QTcpServer::newConnection, [&] {
        QTcpSocket *s = hangUp.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->abort(); });
    });
    const QString hangUpAddress = QStringLiteral("127.0.0.1:%1").arg(hangUp.serverPort());
    for (const auto &c : cases) {
        TVornSimConfig cfg;
        cfg.DisconnectAfter = c.After;
        TSim sim(cfg);
        ASSERT_TRUE(sim.Started);
        const QString address = c.After > 0 ? sim.Address() : hangUpAddress;
        QStringList args = Cat({"--tcp", address, "--timeout", "2"}, c.Args);
        if (c.Args.first() == "store")
            args << "--store" << store.path();
        const TProgramRun run = RunCli(args);
        const std::string what = args.join(' ').toStdString() + "\n" + run.Err.toStdString();
        EXPECT_EQ(run.Exit, 3) << what;
        EXPECT_TRUE(run.Err.contains("brellin-cli: the connection to " + address.toLatin1() + " was lost"))
            << what;
        EXPECT_FALSE(run.Err.contains("Unknown instrument type")) << what;
        EXPECT_FALSE(run.Err.contains("Unknown Instrument Communications")) << what;
    }
}

TEST(CliConventions, PortsAreNamedByTheirFullPath)
{
    const TProgramRun run = RunCli({"--serial", "ttyBRELLIN-NO-SUCH-PORT", "read", "5"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Err.contains("cannot connect to /dev/ttyBRELLIN-NO-SUCH-PORT:")) << run.Err.toStdString();
}

TEST(CliConventions, FastOpticalCableRunsTheDialogsLine)
{
    QTemporaryDir dir;
    TVornSimConfig cfg;
    cfg.UsePty = true;
    cfg.PtyLink = dir.filePath("vorn");
    TVornSim sim(cfg);
    ASSERT_TRUE(sim.Start());
    // 8N1 at 9600 to address 0, then both ends at 57600.
    const TProgramRun run =
        RunCli({"--serial", sim.PtyPath(), "--cable", "fast-optical", "-v", "read", "0003"});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, "V500\n");
    EXPECT_TRUE(run.Err.contains(">>>[SOH]20110003:")) << run.Err.toStdString();
    EXPECT_EQ(sim.PtyBaud(), 57600);
}

TEST(CliConventions, PasscodeFromTheEnvironmentOrTheTerminalWithoutEcho)
{
    TSim sim;
    ASSERT_TRUE(sim.Started);
    const QStringList dump{"--tcp", sim.Address(), "settings", "dump", "--menu", "full", "--lazy"};

    qputenv("BRELLIN_PASSCODE", "5678");
    TProgramRun run = RunCli(dump);
    qunsetenv("BRELLIN_PASSCODE");
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains("SETUP")) << run.Out.toStdString();

    // Not a terminal, no variable: refused with the ways to give it.
    run = RunCli(dump);
    EXPECT_EQ(run.Exit, 1);
    EXPECT_TRUE(run.Err.contains("give its passcode in BRELLIN_PASSCODE")) << run.Err.toStdString();

    // stdin a terminal: asked for, and what is typed is not echoed.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QByteArray slave = ::ptsname(master);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    QProcess cli;
    cli.setChildProcessModifier([slave] {
        const int fd = ::open(slave.constData(), O_RDWR);
        if (fd >= 0)
            ::dup2(fd, 0);
    });
    cli.start(QStringLiteral(BRELLIN_BIN_DIR "/brellin-cli"), dump);
    ASSERT_TRUE(cli.waitForStarted(5000));
    QByteArray err;
    ASSERT_TRUE(PumpUntil(
        [&] {
            err += cli.readAllStandardError();
            return err.contains("Passcode: ") || cli.state() == QProcess::NotRunning;
        },
        20000))
        << err.toStdString();
    ASSERT_TRUE(err.contains("Enter Full Passcode: ")) << err.toStdString();
    ASSERT_EQ(::write(master, "5678\n", 5), 5);
    ASSERT_TRUE(PumpUntil([&] { return cli.state() == QProcess::NotRunning; }, 20000));
    QByteArray echoed(256, 0);
    const ssize_t n = ::read(master, echoed.data(), echoed.size());
    echoed.truncate(n > 0 ? int(n) : 0);
    ::close(master);
    EXPECT_EQ(cli.exitCode(), 0) << (err + cli.readAllStandardError()).toStdString();
    EXPECT_FALSE(echoed.contains("5678")) << echoed.toStdString();
    EXPECT_TRUE(cli.readAllStandardOutput().contains("SETUP"));
}
