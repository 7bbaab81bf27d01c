// vornsim benchmarks: engine round trips against the in-process simulator over loopback TCP,
// against a bare ping-pong of the same bytes; and the instrument's own request handling
// against decoding and encoding the same message alone.
#include "bench_ratios.h"
#include "link/CRC.h"
#include "link/IOIface.h"
#include "link/comms.h"
#include "link/transact.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <benchmark/benchmark.h>
#include <memory>

namespace
{

QByteArray Framed(const QByteArray &text)
{
    return SOH + text + FrameCrcHex(text) + EOT;
}

template <typename Pred> void PumpUntil(Pred pred)
{
    while (!pred())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The engine against vornsim, reading one register again and again.
void EngineAgainstSim(benchmark::State &state, int reg)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    TVornSim sim(cfg);
    if (!sim.Start())
        return state.SkipWithError("vornsim did not start");
    TTransactionEngine engine;
    auto link = std::make_unique<TIOIfaceSocket>();
    link->SetHostText("127.0.0.1");
    link->SetPort(sim.Port());
    engine.SetLink(std::move(link));
    engine.Link()->Open();
    PumpUntil([&] { return engine.LinkOpen(); });
    for (auto _ : state)
        if (!engine.Transact(CmdRead, reg, {}, true, false))
            state.SkipWithError("no reply");
    state.counters["round_trips_per_s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
}

void BM_EngineVsSim_Serial(benchmark::State &state)
{
    EngineAgainstSim(state, 0x0005);
}
BENCHMARK(BM_EngineVsSim_Serial)->UseRealTime()->MinTime(1.0);

void BM_EngineVsSim_Display(benchmark::State &state)
{
    EngineAgainstSim(state, 0x0009);
}
BENCHMARK(BM_EngineVsSim_Display)->UseRealTime()->MinTime(1.0);

// Baseline: the same request and reply bytes between two bare sockets in the same process.
void BM_BarePingPong_Serial(benchmark::State &state)
{
    const QByteArray request = Framed("20110005:");
    const QByteArray reply = Framed("01110005:0012D687");
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket *s = server.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, [s, &reply] {
            for (char ch : s->readAll())
                if (ch == EOT)
                    s->write(reply);
        });
    });
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.serverPort());
    PumpUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    QByteArray pending;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { pending += socket.readAll(); });
    for (auto _ : state) {
        socket.write(request);
        PumpUntil([&] { return pending.size() >= reply.size(); });
        pending.remove(0, reply.size());
    }
    state.counters["round_trips_per_s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BarePingPong_Serial)->UseRealTime()->MinTime(1.0);

// The instrument alone: a menu item query, a display read and a record read.
void BM_InstrumentRequests(benchmark::State &state)
{
    TVornSimConfig cfg;
    TVornInstrument dev(cfg);
    QString error;
    if (!dev.Setup(&error))
        return state.SkipWithError("setup failed");
    const QByteArray requests[] = {"20151104:0000", "20110009:", "20108291:64"};
    for (auto _ : state)
        for (const QByteArray &r : requests)
            benchmark::DoNotOptimize(dev.Request(r));
    state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_InstrumentRequests);

// Baseline: decoding the same requests and encoding a reply, nothing else.
void BM_DecodeEncodeOnly(benchmark::State &state)
{
    const QByteArray requests[] = {"20151104:0000", "20110009:", "20108291:64"};
    for (auto _ : state)
        for (const QByteArray &r : requests) {
            Tcommsobj m;
            m.Decode(r);
            m.RequestFlag = false;
            benchmark::DoNotOptimize(m.Encode());
        }
    state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_DecodeEncodeOnly);

const bool RatiosAdded = AddBenchRatio({"engine-sim/pingpong", "BM_EngineVsSim_Serial",
                                        "BM_BarePingPong_Serial", "round_trips_per_s"}) &&
                         AddBenchRatio({"engine-sim-display/pingpong", "BM_EngineVsSim_Display",
                                        "BM_BarePingPong_Serial", "round_trips_per_s"}) &&
                         AddBenchRatio({"instrument/decode-encode", "BM_InstrumentRequests",
                                        "BM_DecodeEncodeOnly", "items_per_second"});

} // namespace
