// CPU time spent while waiting 1.5 s for a reply that never comes: the engine's wait (a
// Transact sent twice, 0.75 s each; WaitUntil) against the pumping loops it replaces, measured
// with getrusage in the same run. A wait should sleep: its CPU time is a small part of its wall time.
#include "link/IOIface.h"
#include "link/transact.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <sys/resource.h>

namespace
{

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// Returns the CPU time over the wall time.
double Report(const char *what, const std::function<void()> &wait)
{
    QElapsedTimer wall;
    const double cpu0 = CpuMs();
    wall.start();
    wait();
    const double cpu = CpuMs() - cpu0;
    const double ms = static_cast<double>(wall.elapsed());
    std::printf("%-58s wall %6.0f ms  cpu %6.1f ms  (%5.1f %% of the wait)\n", what, ms, cpu,
                100.0 * cpu / ms);
    return cpu / ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // An instrument that takes the connection and never answers.
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost, 0);
    QList<QTcpSocket *> peers;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { peers << silent.nextPendingConnection(); });

    TTransactionEngine engine;
    engine.SetTickInterval(50);
    engine.TimeoutTicks = 15; // 0.75 s, sent twice: 1.5 s
    auto socket = std::make_unique<TIOIfaceSocket>();
    socket->SetHostText(QStringLiteral("127.0.0.1"));
    socket->SetPort(silent.serverPort());
    // Replacing the transport leaves a deleteLater that no loop at this level delivers, as in
    // brellin-cli: the pumping loops below then never sleep.
    engine.SetLink(std::move(socket));
    engine.Link()->Open();
    engine.WaitUntil([&] { return engine.LinkOpen(); }, 5000);
    if (!engine.LinkOpen()) {
        std::fprintf(stderr, "cannot connect to the silent peer\n");
        return 1;
    }

    const double loop20 = Report("before: processEvents(WaitForMoreEvents, 20) loop, 1.5 s", [] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    });
    const double loop = Report("before: processEvents(WaitForMoreEvents) loop, 1.5 s", [] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    });
    const double transact = Report("after: Transact, no reply (2 x 0.75 s)",
                                   [&] { engine.Transact(CmdRead, 0x0005, {}, true, false); });
    const double until =
        Report("after: WaitUntil, 1.5 s", [&] { engine.WaitUntil([] { return false; }, 1500); });
    // The CPU share of each wait, one line each.
    std::printf("ratio loop20-cpu/wall %.4f\nratio loop-cpu/wall %.4f\n", loop20, loop);
    std::printf("ratio transact-cpu/wall %.4f\nratio waituntil-cpu/wall %.4f\n", transact, until);
    return 0;
}
