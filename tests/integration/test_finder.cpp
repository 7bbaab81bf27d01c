// Finding the instrument: simulated instruments behind ptys at different bit rates and
// addresses, and ptys where nothing, or only the line's own echo, answers.
#include "fake_link.h"
#include "link/finder.h"
#include "run_program.h"
#include "vornsim.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace
{

// A pty with nobody behind it, or one whose far end sends every character straight back.
struct TDeadLine {
    explicit TDeadLine(bool echo)
    {
        char name[256];
        if (::openpty(&Master, &Slave, name, nullptr, nullptr) != 0)
            return;
        termios t{};
        ::tcgetattr(Slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(Slave, TCSANOW, &t);
        Path = QString::fromLocal8Bit(name);
        Notifier = std::make_unique<QSocketNotifier>(Master, QSocketNotifier::Read);
        QObject::connect(Notifier.get(), &QSocketNotifier::activated, [this, echo] {
            char buf[256];
            const ssize_t n = ::read(Master, buf, sizeof buf);
            if (n > 0 && echo)
                (void)!::write(Master, buf, static_cast<size_t>(n));
        });
    }
    ~TDeadLine()
    {
        Notifier.reset();
        ::close(Master);
        ::close(Slave);
    }
    int Master = -1, Slave = -1;
    QString Path;
    std::unique_ptr<QSocketNotifier> Notifier;
};

std::unique_ptr<TVornSim> SimOnPty(const QString &link, int baud, int address, int serial)
{
    TVornSimConfig cfg;
    cfg.UsePty = true;
    cfg.TcpPort = -1;
    cfg.PtyLink = link;
    cfg.Baud = baud; // 0: an unpaced line at 9600
    cfg.Address = address;
    cfg.SerialNumber = serial;
    auto sim = std::make_unique<TVornSim>(cfg);
    return sim->Start() ? std::move(sim) : nullptr;
}

} // namespace

TEST(FindInstrument, CliReportsEachInstrumentsRateAndAddressAndExitsThreeWhenNoneAnswers)
{
    QTemporaryDir dir;
    const QString slow = dir.filePath("slow"), fast = dir.filePath("fast");
    auto at9600 = SimOnPty(slow, 0, 1, 4242);
    auto at57600 = SimOnPty(fast, 57600, 7, 90001);
    ASSERT_TRUE(at9600 && at57600);
    TDeadLine silent(false), echo(true);
    ASSERT_FALSE(silent.Path.isEmpty() || echo.Path.isEmpty());

    const TProgramRun both = RunCli({"--timeout", "0.3", "find", slow, fast});
    EXPECT_EQ(both.Exit, 0) << both.Err.constData();
    EXPECT_EQ(both.Out, (slow + ": 9600 baud, address 1, SN: 4242, V500 V1.04\n" + fast +
                         ": 57600 baud, address 7, SN: 90001, V500 V1.04\n")
                            .toLocal8Bit());
    // The search only read: the 57600 instrument was not switched anywhere.
    EXPECT_EQ(at57600->PtyBaud(), 57600);

    const struct {
        const char *Name;
        QStringList Args;
    } none[] = {
        {"a silent line and a line that echoes the requests",
         {"find", "--cable", "fast-optical", silent.Path, echo.Path}},
        {"the 57600 instrument on the optical cable's 9600 only", {"find", "--cable", "optical", fast}},
    };
    for (const auto &c : none) {
        SCOPED_TRACE(c.Name);
        const TProgramRun run = RunCli(QStringList{"--timeout", "0.1"} + c.Args);
        EXPECT_EQ(run.Exit, 3);
        EXPECT_TRUE(run.Out.isEmpty()) << run.Out.constData();
        EXPECT_TRUE(run.Err.contains("no instrument answered on")) << run.Err.constData();
    }
    // A device that is not there is named, and the search goes on.
    const TProgramRun missing = RunCli({"--timeout", "0.1", "find", dir.filePath("gone"), slow});
    EXPECT_EQ(missing.Exit, 0);
    EXPECT_TRUE(missing.Err.contains("gone skipped")) << missing.Err.constData();
}

TEST(FindInstrument, CancelEndsTheSearchKeepsWhatWasFoundAndReleasesThePorts)
{
    QTemporaryDir dir;
    const QString simLink = dir.filePath("vorn");
    auto sim = SimOnPty(simLink, 0, 1, 55);
    ASSERT_TRUE(sim);
    TDeadLine silent(false);
    // The stable name of a port: the link that leads to it.
    ASSERT_EQ(::symlink(silent.Path.toLocal8Bit().constData(),
                        dir.filePath("usb-Vorn_1").toLocal8Bit().constData()),
              0);
    EXPECT_EQ(ByIdNameOf(silent.Path, dir.path()), "usb-Vorn_1");

    TInstrumentFinder finder;
    finder.AttemptMs = 100;
    QList<TSearchStep> steps;
    finder.OnProgress = [&](const TSearchStep &s) {
        steps << s;
        if (s.Port == silent.Path && s.Baud == 57600)
            finder.Cancel(); // the user gives up during the second port
    };
    const QList<TFoundInstrument> found = finder.Find({simLink, silent.Path}, 0);
    EXPECT_TRUE(finder.Cancelled());
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.first().Identification(), "SN: 55, V500 V1.04");
    // The first port answered at its first attempt; the second stopped at the step that cancelled.
    ASSERT_EQ(steps.size(), 4);
    EXPECT_EQ(steps.last().Index, 14);
    EXPECT_EQ(steps.last().Count, 24);

    for (const QString &port : {simLink, silent.Path}) {
        QSerialPort again(port);
        EXPECT_TRUE(again.open(QIODevice::ReadWrite)) << port.toStdString() << ": still held";
    }
}
