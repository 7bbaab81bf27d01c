// Start-up: the time from starting the desktop program to its first painted main window, off
// screen, with the segment-map cache present and with it absent, against a bare QMainWindow
// started the same way in the same run. Each figure is the median of several child processes.
// The ratios come last, one line each.
// Usage: bench_startup [--runs N] (7 by default)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace
{

const char ProbeLine[] = "first paint";

// The baseline child: a bare main window that says when it has first been painted.
int RunBareWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1000, 700);
    struct TFirstPaint : QObject {
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && !Seen) {
                Seen = true;
                auto *w = static_cast<QWidget *>(watched);
                QTimer::singleShot(0, w, [w] {
                    std::printf("%s\n", ProbeLine);
                    std::fflush(stdout);
                    w->close();
                });
            }
            return false;
        }
        bool Seen = false;
    } probe;
    window.installEventFilter(&probe);
    window.show();
    return app.exec();
}

// A program folder of its own: the program and its data files, so that its ini, its cache and
// its stores are written there and nothing of the build's or the user's is touched.
bool MakeProgramFolder(const QString &dir, QString *error)
{
    const QString bin = QStringLiteral(BRELLIN_BIN_DIR);
    const QStringList files{"brellin", "brellin.lang", "brellin.html", "panel.jpg", "brellin.ini"};
    for (const QString &f : files) {
        const QString from = bin + "/" + f, to = dir + "/" + f;
        // A hard link spares copying the program; another file system gets a copy.
        if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0 &&
            !QFile::copy(from, to)) {
            *error = "cannot copy " + from;
            return false;
        }
    }
    // The ini is written by the program: a copy of its own, past the first-run questions.
    QFile::remove(dir + "/brellin.ini");
    QFile in(bin + "/brellin.ini"), out(dir + "/brellin.ini");
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        *error = "cannot copy the ini";
        return false;
    }
    out.write(in.readAll().replace("FirstRun=1", "FirstRun=0"));
    QDir().mkpath(dir + "/segs");
    for (const QString &mask : QDir(bin + "/segs").entryList(QDir::Files))
        if (!QFile::copy(bin + "/segs/" + mask, dir + "/segs/" + mask)) {
            *error = "cannot copy the mask " + mask;
            return false;
        }
    return true;
}

// Seconds from starting the child to its report of the first paint; -1 when it never came.
double TimeStart(const QString &program, const QStringList &args)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("BRELLIN_STARTUP_PROBE"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(program, args);
    QByteArray out;
    double seconds = -1;
    while (child.waitForReadyRead(20000)) {
        out += child.readAllStandardOutput();
        if (out.contains(ProbeLine)) {
            seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
            break;
        }
    }
    if (!child.waitForFinished(20000)) {
        child.kill();
        child.waitForFinished(5000);
    }
    if (seconds < 0)
        std::fprintf(stderr, "%s did not report its first paint: %s\n", qPrintable(program),
                     child.readAllStandardError().constData());
    return seconds;
}

double Median(std::vector<double> v)
{
    if (v.empty() || *std::min_element(v.begin(), v.end()) < 0)
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void Print(const char *what, const std::vector<double> &runs)
{
    std::printf("%s: median %.3f s of", what, Median(runs));
    for (double s : runs)
        std::printf(" %.3f", s);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--bare-window") == 0)
        return RunBareWindow(argc, argv);
    QCoreApplication app(argc, argv);
    int runs = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));

    QTemporaryDir dir(QCoreApplication::applicationDirPath() + "/startup-XXXXXX");
    QString error;
    if (!dir.isValid() || !MakeProgramFolder(dir.path(), &error)) {
        std::fprintf(stderr, "bench_startup: %s\n", qPrintable(error.isEmpty() ? dir.errorString() : error));
        return 1;
    }
    const QString brellin = dir.filePath("brellin");
    const QString self = QCoreApplication::applicationFilePath();
    // The cache and the picture of it the program writes beside the masks when it composes them.
    const QStringList cacheFiles{dir.filePath("GLASSMAP7_LCD.kmp"), dir.filePath("GLASSMAP7_LCD.bmp")};

    // One of each first, so that every measured run finds the files in the page cache.
    TimeStart(self, {"--bare-window"});
    TimeStart(brellin, {});
    std::vector<double> bare, cached, uncached;
    // Interleaved, so that a change in the machine's load falls on all three alike. A run without
    // the cache writes it again for the next run with it.
    for (int i = 0; i < runs; ++i) {
        for (const QString &f : cacheFiles)
            QFile::remove(f);
        uncached.push_back(TimeStart(brellin, {}));
        if (!QFile::exists(cacheFiles[0]))
            std::fprintf(stderr, "bench_startup: the program wrote no segment-map cache\n");
        cached.push_back(TimeStart(brellin, {}));
        bare.push_back(TimeStart(self, {"--bare-window"}));
    }
    Print("bare QMainWindow to its first paint", bare);
    Print("brellin to its first painted main window, segment-map cache present", cached);
    Print("brellin to its first painted main window, no segment-map cache", uncached);
    const double b = Median(bare);
    std::printf("ratio startup-cached/bare %.2f\n", b > 0 && Median(cached) > 0 ? Median(cached) / b : -1.0);
    std::printf("ratio startup-uncached/bare %.2f\n",
                b > 0 && Median(uncached) > 0 ? Median(uncached) / b : -1.0);
    return 0;
}
