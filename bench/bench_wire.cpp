// Link benchmarks at a real line's speed: the engine (on its program tick of 100 ms) against an
// in-process vornsim that paces its line at the given baud rate. Each figure is the measured time
// over the wire limit: the characters that actually went each way times the character time, plus
// the instrument's turnaround per request. The ratios come last, one line each.
// Usage: bench_wire [--records N] (2000 by default)
#include "datastore/storelayout.h"
#include "datastore/upload.h"
#include "link/IOIface.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace
{

constexpr int FrameBits = 10; // 8N1
constexpr int TurnaroundMs = 2;

struct TFigure {
    QString Name;
    double Seconds = 0;
    double LimitSeconds = 0;
    double SimLateSeconds = 0;
};

// A paced instrument and the engine connected to it over loopback TCP, as the program runs it.
struct TPacedLink {
    explicit TPacedLink(int baud, uint32_t records)
    {
        Cfg.TcpPort = 0;
        Cfg.Baud = baud;
        Cfg.FrameBits = FrameBits;
        Cfg.TurnaroundMs = TurnaroundMs;
        Cfg.Records = records;
        Cfg.SafePasscode = 0;
        Cfg.FullPasscode = 0;
        Sim = std::make_unique<TVornSim>(Cfg);
        Started = Sim->Start();
        if (!Started)
            return;
        Engine.Reporter = &Reporter;
        auto link = std::make_unique<TIOIfaceSocket>();
        link->SetHostText(QStringLiteral("127.0.0.1"));
        link->SetPort(Sim->Port());
        Engine.SetLink(std::move(link));
        Engine.Link()->Open();
        while (!Engine.LinkOpen())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Device.OnExchange = [this](const QByteArray &r) { return Engine.TransactText(r); };
        Device.FullAccess = true;
    }
    // Runs `work` and measures it against the wire limit of the traffic it caused.
    TFigure Measure(const QString &name, const std::function<bool()> &work)
    {
        const int64_t in0 = Sim->BytesReceived, out0 = Sim->BytesSent, req0 = Sim->RequestsHandled;
        const int64_t late0 = Sim->PacingLateNs;
        QElapsedTimer clock;
        clock.start();
        const bool ok = work();
        TFigure f;
        f.Name = name;
        f.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const int64_t in = Sim->BytesReceived - in0, out = Sim->BytesSent - out0;
        const int64_t requests = Sim->RequestsHandled - req0;
        f.LimitSeconds = static_cast<double>(in + out) * FrameBits / Cfg.Baud +
                         static_cast<double>(requests) * TurnaroundMs / 1000.0;
        f.SimLateSeconds = static_cast<double>(Sim->PacingLateNs - late0) / 1e9;
        std::printf("%s: %s, %lld requests, %lld characters to the instrument, %lld back, %.3f s, wire "
                    "limit %.3f s; the simulator's millisecond timers added %.3f s\n",
                    qPrintable(name), ok ? "done" : "FAILED", static_cast<long long>(requests),
                    static_cast<long long>(in), static_cast<long long>(out), f.Seconds, f.LimitSeconds,
                    f.SimLateSeconds);
        std::fflush(stdout);
        if (!ok)
            f.Seconds = -1;
        return f;
    }

    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    bool Started = false;
    TStderrReporter Reporter;
    TTransactionEngine Engine;
    TDevice Device;
};

TFigure Upload(int baud, uint32_t records)
{
    TPacedLink link(baud, records);
    QTemporaryDir dir;
    TDsdStoreLayout layout;
    layout.SetStoreDir(dir.filePath(QStringLiteral("store")));
    TDsdUpload upload(link.Engine, link.Device, layout);
    upload.Reporter = &link.Reporter;
    return link.Measure(QStringLiteral("upload of %1 records at %2 baud").arg(records).arg(baud), [&] {
        return link.Started && upload.DsdUploadOrRefreshClick() == TDsdUpload::Uploaded &&
               upload.Count == records;
    });
}

TFigure MenuRead(int baud)
{
    TPacedLink link(baud, 10);
    return link.Measure(QStringLiteral("full menu read at %1 baud").arg(baud), [&] {
        TMenuTree tree;
        link.Device.BuildMenuTree(tree, 0x0011, true, "FULL SETUP");
        return link.Started && !tree.empty() && !tree.front()->Children.empty();
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    uint32_t records = 2000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--records") == 0)
            records = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
    std::vector<TFigure> figures;
    figures.push_back(MenuRead(9600));
    figures.push_back(Upload(57600, records));
    figures.push_back(Upload(9600, records));
    // A failed run prints -1.
    for (const TFigure &f : figures) {
        std::printf("%s, time / wire limit: %.3f\n", qPrintable(f.Name),
                    f.Seconds < 0 ? -1.0 : f.Seconds / f.LimitSeconds);
        std::printf("%s, time less the simulator's timer lateness / wire limit: %.3f\n", qPrintable(f.Name),
                    f.Seconds < 0 ? -1.0 : (f.Seconds - f.SimLateSeconds) / f.LimitSeconds);
    }
    return 0;
}
