// Settings benchmarks: a full menu read ("Read Entire Menu") of vornsim's default instrument over
// loopback TCP, against its number of transactions times a bare loopback round trip measured in
// the same run; and the settings-file walk and preview of a large tree.
#include "bench_ratios.h"
#include "link/CRC.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "settings/SendSettings.h"
#include "settings/device.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <benchmark/benchmark.h>
#include <memory>

namespace
{

template <typename Pred> void PumpUntil(Pred pred)
{
    while (!pred())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

const QByteArray RequestFrame = QByteArray("\x01") + "20111412:" + FrameCrcHex("20111412:") + "\x04";
const QByteArray ReplyFrame =
    QByteArray("\x01") + "00111412:00002710" + FrameCrcHex("00111412:00002710") + "\x04";

// Seconds per bare round trip: the same kind of frames ping-ponged over a loopback socket.
double BareRoundTripSeconds(int count)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        QTcpSocket *s = server.nextPendingConnection();
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(s, &QTcpSocket::readyRead, [s] {
            for (char ch : s->readAll())
                if (ch == '\x04')
                    s->write(ReplyFrame);
        });
    });
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.serverPort());
    PumpUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QByteArray pending;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { pending += socket.readAll(); });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        socket.write(RequestFrame);
        PumpUntil([&] { return pending.size() >= ReplyFrame.size(); });
        pending.remove(0, ReplyFrame.size());
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e9 / count;
}

void BM_FullMenuRead(benchmark::State &state)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    config.SafePasscode = 0;
    config.FullPasscode = 0;
    TVornSim sim(config);
    if (!sim.Start()) {
        state.SkipWithError("vornsim did not start");
        return;
    }
    TTransactionEngine engine;
    auto link = std::make_unique<TIOIfaceSocket>();
    link->SetHostText("127.0.0.1");
    link->SetPort(sim.Port());
    engine.SetLink(std::move(link));
    engine.Link()->Open();
    PumpUntil([&] { return engine.LinkOpen(); });

    double bare = BareRoundTripSeconds(2000);
    int64_t transactions = 0;
    int items = 0;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
        // A new catalogue each time: nothing cached, as on the first session of a run.
        TDevice device;
        device.OnExchange = [&engine](const QByteArray &r) { return engine.TransactText(r); };
        device.FullAccess = true;
        TMenuTree tree;
        const int64_t before = engine.FramesSent;
        device.BuildMenuTree(tree, 0x0011, true, "FULL SETUP");
        transactions = engine.FramesSent - before;
        QList<QByteArray> lines;
        BuildSettingsFile(tree, {}, lines);
        items = static_cast<int>(lines.size());
    }
    const double perRead =
        static_cast<double>(clock.nsecsElapsed()) / 1e9 / static_cast<double>(state.iterations());
    // The baseline again after the reads, so that a change of load during the run shows less.
    bare = (bare + BareRoundTripSeconds(2000)) / 2;
    state.counters["ratio_to_baseline"] = perRead / (static_cast<double>(transactions) * bare);
    state.counters["transactions"] = static_cast<double>(transactions);
    state.counters["file_lines"] = items;
    state.counters["bare_rtt_us"] = bare * 1e6;
    state.counters["baseline_ms"] = static_cast<double>(transactions) * bare * 1e3;
}
BENCHMARK(BM_FullMenuRead)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A large tree (5,000 items in 100 menus) written as file lines and read back by the preview.
TMenuTree LargeTree()
{
    TMenuTree tree;
    auto root = std::make_unique<TMenuNode>();
    root->Text = "FULL SETUP";
    for (int m = 0; m < 100; ++m) {
        TMenuNode *menu = root->AddChild("MENU " + QByteArray::number(m));
        for (int i = 0; i < 50; ++i) {
            TMenuNode *node = menu->AddChild("ITEM     : 12.50 kg");
            node->Data = std::make_unique<TMenuItemData>();
            node->Data->Register = QByteArray::number(0x1000 + m * 50 + i, 16).toUpper();
            node->Data->Value = "000004E2";
            node->Data->HasValue = true;
        }
    }
    tree.push_back(std::move(root));
    return tree;
}

void BM_SettingsFileWriteAndPreview(benchmark::State &state)
{
    const TMenuTree tree = LargeTree();
    int64_t lines = 0;
    for (auto _ : state) {
        QList<QByteArray> file;
        BuildSettingsFile(tree, {}, file);
        const QByteArray text = SettingsFileText(file);
        QList<QByteArray> back = SettingsFileLines(text);
        lines = back.size();
        benchmark::DoNotOptimize(PreviewSettings(back));
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SettingsFileWriteAndPreview)->Unit(benchmark::kMillisecond);

// The menu read's time over its transactions times a bare round trip.
const bool RatiosAdded = AddBenchRatio({"menuread/roundtrips", "BM_FullMenuRead", "", "ratio_to_baseline"});

} // namespace
