// The figures a script reads: after the benchmarks, one line per ratio ("ratio NAME VALUE"), each
// a run's rate against its baseline's rate in the same run, or a counter that is a ratio itself.
#pragma once

#include <string>

struct TBenchRatio {
    std::string Name;    // as printed
    std::string Run;     // the benchmark, as registered (its arguments and options may follow)
    std::string Base;    // its baseline; empty when the run's counter is the ratio itself
    std::string Counter; // the counter holding the rate (or the ratio)
};

// Adds a ratio to print after the run; returns true so that a file can register at load time:
//   const bool Registered = AddBenchRatio({...});
bool AddBenchRatio(const TBenchRatio &ratio);

// Runs the benchmarks with the console's report, then prints the ratios (-1 when a run is missing
// or failed). The common entry of the benchmarks calls it.
int RunBenchmarksWithRatios(int argc, char **argv);
