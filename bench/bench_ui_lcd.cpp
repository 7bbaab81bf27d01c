// Front-panel LCD benchmarks: the draw of one display update at a 1920 x 943 window (the lookup
// pass into the glass rectangle) against a plain copy of the same pixels; composing the segment
// map from the mask pictures against loading it from its cache file.
#include "display/VornTables.h"
#include "display/ui/LumLCD.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>

namespace
{

constexpr int WindowWidth = 1920, WindowHeight = 943;
const int GlassWidth = WindowWidth * VornLCDWidth / 1000;
const int GlassHeight = WindowHeight * VornLCDHeight / 1000;
const int GlassLeft = WindowWidth * VornLCDLeft / 1000;
const int GlassTop = WindowHeight * VornLCDTop / 1000;

// A program folder with the masks the build drew (build/bin/segs, beside build/bench).
QTemporaryDir &ProgramDir()
{
    static std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>();
        const QDir bin(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -3) +
                       QStringLiteral("/bin/segs"));
        QDir(d->path()).mkpath(QStringLiteral("segs"));
        for (const QString &name : bin.entryList({QStringLiteral("*.bmp")}, QDir::Files))
            QFile::copy(bin.filePath(name), d->filePath(QStringLiteral("segs/") + name));
        return d;
    }();
    return *dir;
}

void Configure(TLumLCD &lcd)
{
    lcd.OffColour = QColor(0xBD, 0xFF, 0x24);
    lcd.OnColour = Qt::black;
    lcd.MapWidth = VornMapWidth;
    lcd.MapHeight = VornMapHeight;
    lcd.MapName = QString::fromLatin1(VornMapName);
    lcd.Segments = VornLcdSegments();
    lcd.ProgramDir = ProgramDir().path();
}

void BM_DrawUpdate(benchmark::State &state)
{
    TLumLCD lcd;
    Configure(lcd);
    QImage canvas(WindowWidth, WindowHeight, QImage::Format_RGB32);
    canvas.fill(Qt::gray);
    lcd.Draw(GlassLeft, GlassTop, canvas, GlassHeight, GlassWidth); // builds the map once
    TLcdStates a{}, b{};
    VornShowText(a, VornLarge, "-12.50");
    VornShowText(b, VornLarge, "888888");
    bool flip = false;
    for (auto _ : state) {
        lcd.States = (flip = !flip) ? a : b;
        lcd.Draw(GlassLeft, GlassTop, canvas, GlassHeight, GlassWidth);
        benchmark::DoNotOptimize(canvas.constBits());
    }
    state.SetItemsProcessed(state.iterations() * GlassWidth * GlassHeight);
}
BENCHMARK(BM_DrawUpdate)->Unit(benchmark::kMicrosecond);

// Baseline: copying the glass rectangle's pixels from one picture to another, row by row.
void BM_CopyGlass(benchmark::State &state)
{
    QImage src(WindowWidth, WindowHeight, QImage::Format_RGB32),
        dst(WindowWidth, WindowHeight, QImage::Format_RGB32);
    src.fill(Qt::green);
    dst.fill(Qt::gray);
    for (auto _ : state) {
        for (int y = GlassTop; y < GlassTop + GlassHeight; ++y)
            std::memcpy(reinterpret_cast<QRgb *>(dst.scanLine(y)) + GlassLeft,
                        reinterpret_cast<const QRgb *>(src.constScanLine(y)) + GlassLeft,
                        size_t(GlassWidth) * 4);
        benchmark::DoNotOptimize(dst.constBits());
    }
    state.SetItemsProcessed(state.iterations() * GlassWidth * GlassHeight);
}
BENCHMARK(BM_CopyGlass)->Unit(benchmark::kMicrosecond);

// The map composed from the mask pictures (the cache removed first) and written to the cache.
void BM_ComposeMap(benchmark::State &state)
{
    TLumLCD lcd;
    Configure(lcd);
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(lcd.CachePath());
        state.ResumeTiming();
        lcd.BuildMap(GlassWidth, GlassHeight);
    }
    if (lcd.MapsComposed != int(state.iterations()))
        state.SkipWithError("the map was not composed from the masks");
}
BENCHMARK(BM_ComposeMap)->Unit(benchmark::kMillisecond);

// The map read from the cache file and rescaled: what every later start and resize costs.
void BM_LoadCachedMap(benchmark::State &state)
{
    TLumLCD lcd;
    Configure(lcd);
    lcd.BuildMap(GlassWidth, GlassHeight); // writes the cache if needed
    const int before = lcd.CacheLoads;
    for (auto _ : state)
        lcd.BuildMap(GlassWidth, GlassHeight);
    if (lcd.CacheLoads - before != int(state.iterations()))
        state.SkipWithError("the map was not read from the cache");
}
BENCHMARK(BM_LoadCachedMap)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
