// Weight-log benchmarks, each against a baseline in the same run: the Log tab's chart replotting
// 1,000,000 logged points at 1920 x 1080 against a bare QCustomPlot holding the same points; one
// added sample at 1 k, 100 k and 1 M points against rescanning the weights for their extremes;
// memory per logged (time, value) pair against 16 bytes; Stop during a 60 s recording at 10 Hz
// from the simulator (BM_StopLatency, run on its own with --benchmark_filter=StopLatency).
#include "base/dmViewer.h"
#include "link/IOIface.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "logging/ui/logchart.h"
#include "logging/ui/logdialog.h"
#include "logging/ui/logtab.h"
#include "logging/ui/logui.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "values/tools.h"
#include "vornsim.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cmath>
#include <fstream>

namespace
{

constexpr int Width = 1920, Height = 1080;

QByteArray Sample(uint32_t stamp, int32_t weight, uint32_t a, uint32_t b)
{
    return HexText(stamp, 8) + HexText(static_cast<uint32_t>(weight), 8) + HexText(a, 8) + HexText(b, 8);
}

// n samples at 10 Hz on the 0.04 s grid through the model: a wandering weight, motion and IO1..IO3.
void Fill(TLogModel &log, int64_t n)
{
    log.BeginRecording();
    log.ResetLogChart(true, {0, {3, 5, 6, 7}});
    log.LogState = 1;
    uint32_t stamp = 0;
    for (int64_t i = 0; i < n; ++i, stamp += (i % 2 ? 3 : 2)) {
        const auto w = static_cast<int32_t>(1000 + 400 * std::sin(i * 0.001) + (i * 7919 % 13));
        log.AddLogSample(Sample(stamp, w, (i / 50) % 2 ? 0x1000 : 0, static_cast<uint32_t>(i / 10)));
    }
}

// Resident memory of the process, in bytes.
int64_t Resident()
{
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

// --- replot ---------------------------------------------------------------------------------------------

void BM_ReplotLogChart(benchmark::State &state)
{
    TLogModel log;
    TLogTab tab(log);
    tab.resize(Width, Height + 40);
    tab.show();
    Fill(log, state.range(0));
    log.Bottom = {0, log.LargestTime()};
    log.Left = {log.Lowest() - 10, log.Highest() + 10};
    tab.ShowLog();
    tab.Chart->Cursors[0]->Shown = tab.Chart->Cursors[1]->Shown = true;
    tab.Chart->Cursors[0]->Time = log.LargestTime() / 3;
    tab.Chart->Cursors[1]->Time = log.LargestTime() / 2;
    QApplication::processEvents();
    for (auto _ : state)
        tab.Chart->replot();
    state.counters["width"] = tab.Chart->width();
    state.counters["height"] = tab.Chart->height();
}
BENCHMARK(BM_ReplotLogChart)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Baseline: a QCustomPlot with default settings holding the same five series (same line styles).
void BM_ReplotBarePlot(benchmark::State &state)
{
    TLogModel log;
    Fill(log, state.range(0));
    QCustomPlot plot;
    plot.resize(Width, Height);
    plot.show();
    for (int s = 0; s < 5; ++s) {
        QCPGraph *g = plot.addGraph();
        const TLogSeries &src = s == 0 ? log.Weight() : log.Digital(s);
        QVector<double> keys(src.Count()), values(src.Count());
        for (int64_t i = 0; i < src.Count(); ++i) {
            keys[i] = src.TimeAt(i);
            values[i] = src.ValueAt(i);
        }
        g->setData(keys, values, true);
        if (s > 0) {
            g->setLineStyle(QCPGraph::lsStepLeft);
            g->setValueAxis(plot.yAxis2);
        }
    }
    plot.xAxis->setRange(0, log.LargestTime());
    plot.yAxis->setRange(log.Lowest() - 10, log.Highest() + 10);
    plot.yAxis2->setRange(-1, 6);
    QApplication::processEvents();
    for (auto _ : state)
        plot.replot();
}
BENCHMARK(BM_ReplotBarePlot)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// --- adding a sample ----------------------------------------------------------------------------------

void BM_AddSample(benchmark::State &state)
{
    TLogModel log;
    TLogTab tab(log); // the chart's own data keeps the points, as in the program
    Fill(log, state.range(0));
    uint32_t stamp = static_cast<uint32_t>(std::lround(log.LargestTime() / 0.04)) + 3;
    int64_t i = 0;
    for (auto _ : state) {
        ++i;
        const TLogSampleResult r =
            log.AddLogSample(Sample(stamp, 1000 + static_cast<int32_t>(i % 7), 0, static_cast<uint32_t>(i)));
        benchmark::DoNotOptimize(r);
        stamp += 3;
    }
    state.counters["points"] = static_cast<double>(log.Weight().Count());
}
// A thousand samples added to each size, so each is measured at (about) its size.
BENCHMARK(BM_AddSample)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kNanosecond);

// Baseline: what every sample cost if the extremes were found by rescanning the weights.
void BM_RescanExtremes(benchmark::State &state)
{
    TLogModel log;
    TLogTab tab(log);
    Fill(log, state.range(0));
    const TLogSeries &w = log.Weight();
    for (auto _ : state) {
        double hi = w.ValueAt(0), lo = hi;
        for (int64_t i = 1; i < w.Count(); ++i) {
            hi = std::max(hi, w.ValueAt(i));
            lo = std::min(lo, w.ValueAt(i));
        }
        benchmark::DoNotOptimize(hi);
        benchmark::DoNotOptimize(lo);
    }
}
BENCHMARK(BM_RescanExtremes)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kNanosecond);

// --- memory ----------------------------------------------------------------------------------------------

void BM_MemoryPerPoint(benchmark::State &state)
{
    for (auto _ : state) {
        const int64_t before = Resident();
        auto log = std::make_unique<TLogModel>();
        auto tab = std::make_unique<TLogTab>(*log);
        Fill(*log, state.range(0));
        const int64_t after = Resident();
        const double pairs = 5.0 * static_cast<double>(log->Weight().Count());
        state.counters["bytes_per_pair"] = static_cast<double>(after - before) / pairs;
        state.counters["ratio_to_16"] = static_cast<double>(after - before) / pairs / 16.0;
    }
}
BENCHMARK(BM_MemoryPerPoint)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// --- Stop during a recording -----------------------------------------------------------------------------

void BM_StopLatency(benchmark::State &state)
{
    const int seconds = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QTemporaryDir dir;
        QFile ini(dir.filePath("brellin.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Options]\nFirstRun=0\n");
        ini.close();
        QFile panel(dir.filePath("panel.jpg"));
        panel.open(QIODevice::WriteOnly);
        panel.write("x");
        panel.close();
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
        TVornSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.WeightNoise = 20;
        TVornSim sim(cfg);
        sim.Start();
        TdatViewer config(dir.filePath("brellin.ini"));
        TStderrReporter reporter;
        auto w = CreateMainWindow(config, {}, &reporter);
        auto *ui = w->findChild<TLogUi *>();
        w->Hooks.ExecModal = [](QDialog *d) {
            if (auto *log = qobject_cast<TFrmLogDialog *>(d)) {
                log->CBLogRate->setCurrentIndex(0);
                log->CBxDig[0]->setCurrentIndex(3);
                log->CBxDig[1]->setCurrentIndex(5);
                return int(QDialog::Accepted);
            }
            return int(QDialog::Rejected);
        };
        w->resize(1920, 1080);
        w->show();
        w->PgCMain->setCurrentWidget(w->TSLog);
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText("127.0.0.1");
        socket->SetPort(sim.Port());
        w->ConnectWith(TConnectionChoice{std::move(socket), 0, 0});
        QElapsedTimer clock;
        clock.start();
        while (!w->Engine->LinkOpen() && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

        // While recording: how late a 10 ms timer fires (the window's responsiveness), then Stop
        // clicked after the given seconds.
        qint64 worstLag = 0, last = -1, clicked = -1, stopped = -1, ended = -1;
        QElapsedTimer run;
        QTimer beat;
        beat.setInterval(10);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const qint64 now = run.elapsed();
            if (last >= 0)
                worstLag = std::max(worstLag, now - last - 10);
            last = now;
            if (clicked < 0 && ui->Log.LogState == 1 && now >= seconds * 1000) {
                // A click as the user makes it: press and release queued for the event loop.
                QPushButton *stop = ui->Tab->BtnStop;
                const QPointF at = QPointF(stop->rect().center());
                const QPointF global = QPointF(stop->mapToGlobal(stop->rect().center()));
                clicked = run.nsecsElapsed();
                QCoreApplication::postEvent(stop,
                                            new QMouseEvent(QEvent::MouseButtonPress, at, global,
                                                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
                QCoreApplication::postEvent(stop,
                                            new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
            }
        });
        // Connected after the tab's own handler: runs once Stop has taken effect.
        QObject::connect(ui->Tab->BtnStop, &QPushButton::clicked, [&] {
            if (stopped < 0 && ui->Log.LogState == 0)
                stopped = run.nsecsElapsed();
        });
        ui->OnLoopEnded = [&] { ended = run.nsecsElapsed(); };
        run.start();
        beat.start();
        ui->BtnStartClick();
        beat.stop();
        state.SetIterationTime(static_cast<double>(stopped - clicked) / 1e9);
        state.counters["stop_ms"] = static_cast<double>(stopped - clicked) / 1e6;
        state.counters["loop_end_ms"] = static_cast<double>(ended - clicked) / 1e6;
        state.counters["worst_timer_lag_ms"] = static_cast<double>(worstLag);
        state.counters["points"] = static_cast<double>(ui->Log.Weight().Count());
        w.reset();
    }
}
BENCHMARK(BM_StopLatency)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
