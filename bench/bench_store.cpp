// Record store benchmarks on a generated store file (500 MB by default, --store_mb=N to change;
// made in a temporary directory and deleted afterwards): load with every tamper check against a
// plain memchr line scan of the same bytes, peak memory per record, and CSV extraction against
// writing the raw lines to the same sink, and the load of a badly damaged file. The ratios come last, one a
// line ("ratio name value").
#include "datastore/extract.h"
#include "datastore/recordstore.h"
#include "link/CRC.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace
{

QString StorePath;
uint64_t StoreBytes = 0;
uint32_t StoreRecords = 0;
constexpr uint32_t CsvRecords = 1000000;
// Growth of the peak resident memory over one load, in bytes.
double LoadPeakBytes = 0;

long PeakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Writes sealed, scrambled record lines until the file holds `bytes`, then the trailer.
bool GenerateStore(const QString &path, uint64_t bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::string chunk;
    chunk.reserve(1 << 22);
    char record[160];
    uint32_t n = 0;
    uint64_t written = 0;
    auto addLine = [&](const char *text, int length, uint32_t seq) {
        char body[200];
        char seqText[16];
        const QByteArray seq36 = UnsignedToBase(seq, 36);
        std::memcpy(seqText, seq36.constData(), static_cast<size_t>(seq36.size()));
        int len = std::snprintf(body, sizeof body, ",%.*s,%.*s", int(seq36.size()), seqText, length, text);
        const QByteArray check = UnsignedToBase(CrcUpdate(RecordCrcSeed, body, static_cast<size_t>(len)), 36);
        std::string line(check.constData(), static_cast<size_t>(check.size()));
        line.append(body, static_cast<size_t>(len));
        ScrambleBytes(line.data(), line.size());
        line += '\n';
        chunk += line;
        written += line.size();
    };
    while (written + 200 < bytes) {
        ++n;
        const uint32_t day = n / 1440;
        const int len =
            std::snprintf(record, sizeof record, "%u,%08u,%02u%02u%02u,%u,kg,GROSS,%u,kg,TARE,%u,p", n,
                          20080101 + (day % 28) + (day / 28 % 12) * 100 + (day / 336) * 10000, (n / 60) % 24,
                          n % 60, (n * 7) % 60, 1000 + (n * 37) % 9000, n % 50, n % 97);
        addLine(record, len, n);
        if (chunk.size() > (1 << 22) - 400) {
            if (file.write(chunk.data(), qint64(chunk.size())) != qint64(chunk.size()))
                return false;
            chunk.clear();
        }
    }
    const QByteArray trailer = DsdTrailerRecord(n);
    addLine(trailer.constData(), int(trailer.size()), n);
    StoreRecords = n;
    StoreBytes = written;
    return file.write(chunk.data(), qint64(chunk.size())) == qint64(chunk.size());
}

void BM_StoreLoadWithTamperChecks(benchmark::State &state)
{
    const long before = PeakRssKb();
    for (auto _ : state) {
        TDsdRecordStore store;
        store.MaxStoreFileSize = static_cast<uint32_t>(StoreBytes + 1);
        if (!store.DsdMemMapFileInit(StorePath, QStringLiteral("1")) || store.RecordCount() != StoreRecords ||
            store.FileVerdict() != 0)
            state.SkipWithError("the generated store did not load clean");
        benchmark::DoNotOptimize(store.RecordCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(StoreBytes));
    state.counters["records"] = StoreRecords;
    LoadPeakBytes = double(PeakRssKb() - before) * 1024.0;
    state.counters["peak_bytes_per_record"] = LoadPeakBytes / StoreRecords;
    state.counters["file_bytes_per_record"] = double(StoreBytes) / StoreRecords;
}

// The baseline: the same bytes read the same way into one block and split into lines, nothing more.
void BM_MemchrLineScan(benchmark::State &state)
{
    std::unique_ptr<char[]> buffer(new char[StoreBytes + 1]);
    for (auto _ : state) {
        QFile file(StorePath);
        file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        file.read(buffer.get(), qint64(StoreBytes));
        uint64_t lines = 0;
        const char *p = buffer.get();
        const char *end = p + StoreBytes;
        while (const void *lf = std::memchr(p, '\n', size_t(end - p))) {
            p = static_cast<const char *>(lf) + 1;
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(StoreBytes));
}

class TNullDevice : public QIODevice
{
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 len) override { return len; }
};

void BM_CsvExtraction(benchmark::State &state)
{
    TDsdRecordStore store;
    store.MaxStoreFileSize = static_cast<uint32_t>(StoreBytes + 1);
    store.Locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
    store.DsdMemMapFileInit(StorePath, QStringLiteral("1"));
    TDsdSelection selection(store);
    selection.Mode = SelectRecordNumber;
    selection.FromText = "1";
    selection.ToText = QByteArray::number(CsvRecords);
    for (auto _ : state) {
        TNullDevice sink;
        sink.open(QIODevice::WriteOnly);
        const TDsdExtractResult r = DsdExtractCsv(selection, QStringLiteral("1"), sink, QString(), nullptr);
        benchmark::DoNotOptimize(r.Count);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * std::min(CsvRecords, StoreRecords));
}

// The baseline: the same records' stored lines (at most as many bytes as are shown) written to the
// same sink as they are, one QByteArray each.
void BM_RawLineCopy(benchmark::State &state)
{
    QFile file(StorePath);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    const uint32_t count = std::min(CsvRecords, StoreRecords);
    for (auto _ : state) {
        TNullDevice sink;
        sink.open(QIODevice::WriteOnly);
        const char *p = bytes.constData();
        for (uint32_t i = 0; i < count; ++i) {
            const char *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(bytes.constEnd() - p)));
            sink.write(QByteArray(p, std::min<qsizetype>(MaxLineExamined, lf - p)) + "\r\n");
            p = lf + 1;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * count);
}

// A badly damaged store: the generated file's first lines cut every 6 bytes, then a run of LFs.
// Every piece is a line that fails its check, and the loader looks for split lines to join.
const QByteArray &DamagedBytes()
{
    static const QByteArray bytes = [] {
        QFile file(StorePath);
        file.open(QIODevice::ReadOnly);
        const QByteArray head = file.read(16 << 20);
        QByteArray damaged;
        damaged.reserve(head.size() * 7 / 6 + (16 << 20));
        for (qsizetype at = 0; at < head.size(); at += 6) {
            damaged += head.mid(at, 6);
            if (!damaged.endsWith('\n'))
                damaged += '\n';
        }
        return damaged + QByteArray(16 << 20, '\n');
    }();
    return bytes;
}

void BM_DamagedStoreLoad(benchmark::State &state)
{
    const QByteArray &bytes = DamagedBytes();
    for (auto _ : state) {
        TDsdRecordStore store;
        store.LoadBytes(bytes.constData(), size_t(bytes.size()));
        if (store.FileVerdict() == 0)
            state.SkipWithError("the damaged store loaded clean");
        benchmark::DoNotOptimize(store.RecordCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

// Its baseline: the same bytes split into lines with memchr.
void BM_DamagedMemchrLineScan(benchmark::State &state)
{
    const QByteArray &bytes = DamagedBytes();
    for (auto _ : state) {
        uint64_t lines = 0;
        const char *p = bytes.constData();
        const char *end = p + bytes.size();
        while (const void *lf = std::memchr(p, '\n', size_t(end - p))) {
            p = static_cast<const char *>(lf) + 1;
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

// Collects each run's CPU time per iteration (the machine is shared; wall time wanders) for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            Seconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Seconds;
};

} // namespace

BENCHMARK(BM_StoreLoadWithTamperChecks)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MemchrLineScan)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CsvExtraction)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RawLineCopy)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DamagedStoreLoad)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DamagedMemchrLineScan)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    uint64_t megabytes = 500;
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--store_mb=", 11) == 0)
            megabytes = std::strtoull(argv[i] + 11, nullptr, 10);
        else
            rest.push_back(argv[i]);
    }
    int restCount = int(rest.size());
    benchmark::Initialize(&restCount, rest.data());

    QTemporaryDir temp;
    StorePath = temp.filePath(QStringLiteral("store"));
    if (!GenerateStore(StorePath, megabytes * 1000000u)) {
        std::fprintf(stderr, "could not generate the store file in %s\n", qPrintable(temp.path()));
        return 1;
    }
    std::printf("store file: %.1f MB, %u records\n", StoreBytes / 1e6, StoreRecords);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char *a, const char *b) {
        const auto x = reporter.Seconds.find(a), y = reporter.Seconds.find(b);
        return x == reporter.Seconds.end() || y == reporter.Seconds.end() ? 0.0 : y->second / x->second;
    };
    const double overFile = (LoadPeakBytes - double(StoreBytes)) / StoreRecords;
    std::printf("peak memory of a load: the file + %.1f bytes per record (limit: + 32)\n", overFile);
    // The ratios, last and one a line: speeds as a share of their baselines (targets >= 0.40 and
    // >= 0.2), memory as a share of file + 32 bytes per record (target <= 1).
    std::printf("ratio load/memchr %.3f\n",
                ratio("BM_StoreLoadWithTamperChecks/iterations:3", "BM_MemchrLineScan/iterations:3"));
    std::printf("ratio csv/rawcopy %.3f\n",
                ratio("BM_CsvExtraction/iterations:2", "BM_RawLineCopy/iterations:2"));
    std::printf("ratio damaged-load/memchr %.4f\n",
                ratio("BM_DamagedStoreLoad/iterations:2", "BM_DamagedMemchrLineScan/iterations:2"));
    std::printf("ratio peak/(file+32B*records) %.3f\n",
                LoadPeakBytes / (double(StoreBytes) + 32.0 * StoreRecords));
    return 0;
}
