// The change journal's cost: the same settings send to vornsim over a line paced at 9600 baud, with
// and without the journal (an intent synced to disk before each line, its outcome after), in
// alternation within one run; the figure is the time with the journal over the time without.
#include "bench_ratios.h"
#include "journal/journal.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingssend.h"
#include "settings/settingstree.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace
{

template <typename Pred> void PumpUntil(Pred pred)
{
    while (!pred())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Forty value writes of the safe menu, as a settings file carries them.
QList<QByteArray> SendLines()
{
    QList<QByteArray> lines;
    const char *const regs[] = {"1104", "1205", "1311", "1314", "1315", "1321", "1324", "1325"};
    for (int i = 0; i < 40; ++i)
        lines << QByteArray("2012") + regs[i % 8] + ":000" + QByteArray::number(1 + i % 2);
    return lines;
}

double SendSeconds(TTransactionEngine &engine, TSession &session, const QList<QByteArray> &lines, bool &ok)
{
    TSettingsSender sender(&engine, &session, nullptr);
    QElapsedTimer clock;
    clock.start();
    const TSettingsSendResult sent = sender.SendFile(lines, false);
    ok = ok && sent.Complete();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

void BM_SettingsSendJournalCost(benchmark::State &state)
{
    TVornSimConfig config;
    config.TcpPort = 0;
    config.SafePasscode = 0;
    config.FullPasscode = 0;
    config.Baud = 9600;
    TVornSim sim(config);
    if (!sim.Start())
        return state.SkipWithError("vornsim did not start");
    TTransactionEngine engine;
    auto link = std::make_unique<TIOIfaceSocket>();
    link->SetHostText("127.0.0.1");
    link->SetPort(sim.Port());
    engine.SetLink(std::move(link));
    engine.Link()->Open();
    PumpUntil([&] { return engine.LinkOpen(); });
    TDevice device;
    device.OnExchange = [&engine](const QByteArray &r) { return engine.TransactText(r); };
    TSettingsTreeModel tree(&device);
    TSession session(&engine, &device, &tree);
    QTemporaryDir store;
    TChangeJournal journal;
    QString error;
    if (!journal.Open(store.path(), TJournalIdentity::OfThisProcess("1234567", "V500", "V1.04"), &error))
        return state.SkipWithError(error.toStdString().c_str());
    const QList<QByteArray> lines = SendLines();
    double with = 0, without = 0;
    bool ok = true;
    for (auto _ : state) {
        engine.Changes = nullptr;
        without += SendSeconds(engine, session, lines, ok);
        engine.Changes = &journal;
        with += SendSeconds(engine, session, lines, ok);
        engine.Changes = nullptr;
    }
    if (!ok)
        return state.SkipWithError("a send was not complete");
    state.counters["time_ratio_with_to_without"] = with / without;
    state.counters["send_without_ms"] = without * 1e3 / static_cast<double>(state.iterations());
    state.counters["send_with_ms"] = with * 1e3 / static_cast<double>(state.iterations());
    state.counters["lines"] = static_cast<double>(lines.size() + 1);
}
BENCHMARK(BM_SettingsSendJournalCost)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(4);

const bool Registered = AddBenchRatio({"settings send with the journal / without (time, 9600 baud)",
                                       "BM_SettingsSendJournalCost", "", "time_ratio_with_to_without"});

} // namespace
