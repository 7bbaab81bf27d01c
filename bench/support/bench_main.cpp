// Benchmark entry: Google Benchmark inside a Qt application object, so sockets and timers work;
// the registered ratios are printed last.
#include "bench_ratios.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<TBenchRatio> &Ratios()
{
    static std::vector<TBenchRatio> ratios;
    return ratios;
}

// The console's report, keeping every run's counters.
class TRatioReporter : public benchmark::ConsoleReporter
{
public:
    // Colours only on a terminal: a script reading the figures gets plain lines.
    TRatioReporter() : ConsoleReporter(::isatty(::fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs)
            if (!r.error_occurred)
                for (const auto &c : r.counters)
                    Values[{r.benchmark_name(), c.first}] = c.second.value;
    }
    // The counter of the first run of `name` (its arguments and options may follow a "/").
    double Value(const std::string &name, const std::string &counter) const
    {
        for (const auto &[key, value] : Values)
            if (key.second == counter && (key.first == name || key.first.rfind(name + "/", 0) == 0))
                return value;
        return -1;
    }
    std::map<std::pair<std::string, std::string>, double> Values;
};

} // namespace

bool AddBenchRatio(const TBenchRatio &ratio)
{
    Ratios().push_back(ratio);
    return true;
}

int RunBenchmarksWithRatios(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    for (const TBenchRatio &r : Ratios()) {
        double value = reporter.Value(r.Run, r.Counter);
        if (!r.Base.empty()) {
            const double base = reporter.Value(r.Base, r.Counter);
            value = value < 0 || base <= 0 ? -1.0 : value / base;
        }
        std::printf("ratio %s %.3f\n", r.Name.c_str(), value);
    }
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunBenchmarksWithRatios(argc, argv);
}
