// Link benchmarks: engine round trips against a loopback peer that answers at once, against a
// bare ping-pong of the same bytes over the same kind of socket; and both CRCs and the frame
// assembly in MB/s against a byte sum of the same block. The ratios (rates against their
// baseline) come last, one line each ("ratio NAME VALUE").
#include "bench_ratios.h"
#include "link/CRC.h"
#include "link/IOIface.h"
#include "link/comms.h"
#include "link/framing.h"
#include "link/transact.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <benchmark/benchmark.h>
#include <memory>

namespace
{

const QByteArray RequestFrame = QByteArray("\x01") + "20110005:" + FrameCrcHex("20110005:") + "\x04";
const QByteArray ReplyFrame =
    QByteArray("\x01") + "00110005:0001E240" + FrameCrcHex("00110005:0001E240") + "\x04";

// Answers every complete frame with the same reply, at once.
class TEchoPeer
{
public:
    TEchoPeer()
    {
        Server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&Server, &QTcpServer::newConnection, [this] {
            QTcpSocket *s = Server.nextPendingConnection();
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            QObject::connect(s, &QTcpSocket::readyRead, [s] {
                const QByteArray in = s->readAll();
                for (char ch : in)
                    if (ch == '\x04')
                        s->write(ReplyFrame);
            });
        });
    }
    quint16 Port() const { return Server.serverPort(); }

private:
    QTcpServer Server;
};

template <typename Pred> void PumpUntil(Pred pred)
{
    while (!pred())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_EngineRoundTrip(benchmark::State &state)
{
    TEchoPeer peer;
    TTransactionEngine engine;
    auto link = std::make_unique<TIOIfaceSocket>();
    link->SetHostText("127.0.0.1");
    link->SetPort(peer.Port());
    engine.SetLink(std::move(link));
    engine.Link()->Open();
    PumpUntil([&] { return engine.LinkOpen(); });
    for (auto _ : state) {
        if (!engine.Transact(CmdRead, 0x0005, {}, true, false))
            state.SkipWithError("no reply");
    }
    state.counters["round_trips_per_s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineRoundTrip)->UseRealTime()->MinTime(1.0);

void BM_BarePingPong(benchmark::State &state)
{
    TEchoPeer peer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, peer.Port());
    PumpUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QByteArray pending;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { pending += socket.readAll(); });
    for (auto _ : state) {
        socket.write(RequestFrame);
        PumpUntil([&] { return pending.size() >= ReplyFrame.size(); });
        pending.remove(0, ReplyFrame.size());
    }
    state.counters["round_trips_per_s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BarePingPong)->UseRealTime()->MinTime(1.0);

QByteArray Block()
{
    QByteArray data(1 << 20, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>('0' + (i * 7) % 43);
    return data;
}

void BM_FrameCrc(benchmark::State &state)
{
    const QByteArray data = Block();
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameCrc(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_FrameCrc);

void BM_CrcUpdate(benchmark::State &state)
{
    const QByteArray data = Block();
    for (auto _ : state)
        benchmark::DoNotOptimize(CrcUpdate(0x1234, data.constData(), static_cast<size_t>(data.size())));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_CrcUpdate);

// Baseline for the CRCs: a byte sum over the same block (the memory pass alone).
void BM_ByteSum(benchmark::State &state)
{
    const QByteArray data = Block();
    for (auto _ : state) {
        unsigned sum = 0;
        for (char c : data)
            sum += static_cast<unsigned char>(c);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_ByteSum);

void BM_FrameAssembly(benchmark::State &state)
{
    QByteArray stream;
    for (int i = 0; i < 1000; ++i)
        stream += ReplyFrame;
    TFrameAssembler assembler;
    int64_t messages = 0;
    assembler.OnMessage = [&](const QByteArray &) { ++messages; };
    for (auto _ : state)
        assembler.Feed(stream);
    state.SetBytesProcessed(state.iterations() * stream.size());
    benchmark::DoNotOptimize(messages);
}
BENCHMARK(BM_FrameAssembly);

const bool RatiosAdded =
    AddBenchRatio({"engine/pingpong", "BM_EngineRoundTrip", "BM_BarePingPong", "round_trips_per_s"}) &&
    AddBenchRatio({"framecrc/bytesum", "BM_FrameCrc", "BM_ByteSum", "bytes_per_second"}) &&
    AddBenchRatio({"crcupdate/bytesum", "BM_CrcUpdate", "BM_ByteSum", "bytes_per_second"}) &&
    AddBenchRatio({"assembly/bytesum", "BM_FrameAssembly", "BM_ByteSum", "bytes_per_second"});

} // namespace
