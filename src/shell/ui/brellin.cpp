// The desktop program's entry: configuration first, then the main window, then the message loop;
// the configuration is written back when the window has closed, before it is destroyed.
#include "base/dmViewer.h"
#include "shell/cmdline.h"
#include "shell/ui/main.h"
#include "shell/ui/screenshot.h"
#include "shell/ui/startup.h"
#include "shell/ui/uireporter.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

const char Usage[] = R"(usage: brellin [OPTION...]
The desktop tool for Vorn weighing indicators.
  --demo             connect to a built-in simulated instrument instead of the configured one
  --screenshot FILE  save a picture of the window once the instrument is shown, then end
  -d                 show the debug window
  -m BYTES           largest record-store file
  -z                 keep record lines in plain text
  --version          print the version and end
  -h, --help         print this help and end
)";

// With BRELLIN_STARTUP_PROBE set (the start-up benchmark), the program says "first paint" on
// stdout once its main window has been painted for the first time, and ends.
class TFirstPaintProbe : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !Seen) {
            Seen = true;
            // After the paint event has been handled and the rest of the window drawn with it.
            auto *window = static_cast<QWidget *>(watched);
            QTimer::singleShot(0, window, [window] {
                std::puts("first paint");
                std::fflush(stdout);
                window->close();
            });
        }
        return false;
    }

private:
    bool Seen = false;
};

} // namespace

int main(int argc, char **argv)
{
    // Answered before any window system is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("brellin 1.51");
            return 0;
        }
    }
    QApplication app(argc, argv);
    TdatViewer config;
    const TStartOptions options = ParseCommandLine(app.arguments().mid(1));
    // Without a screen nobody could close a message box: messages go to stderr then.
    std::unique_ptr<TReporter> reporter;
    if (QGuiApplication::platformName() == "offscreen" || QGuiApplication::platformName() == "minimal")
        reporter = std::make_unique<TStderrReporter>();
    else
        reporter = std::make_unique<TMessageBoxReporter>();
    auto window = CreateMainWindow(config, options, reporter.get());
    if (!window)
        return 1;
    for (const QString &problem : config.LoadProblems() + options.Problems)
        reporter->Error(problem);
    if (options.Demo) {
        QString error;
        if (!window->StartDemo(&error))
            reporter->Error("The demo instrument could not start: " + error);
    }
    if (qEnvironmentVariableIsSet("BRELLIN_STARTUP_PROBE"))
        window->installEventFilter(new TFirstPaintProbe(window.get()));
    window->show();
    int failed = 0;
    if (!options.Screenshot.isEmpty())
        TakeScreenshotWhenReady(window.get(), options.Screenshot, [&](bool saved) {
            failed = saved ? 0 : 1;
            window->close();
        });
    const int result = app.exec();
    // Written before the window is torn down, so that the teardown cannot lose it; anything the
    // teardown still changes is written after it.
    QString error;
    const bool saved = config.Save(&error);
    if (!saved)
        reporter->Error(error);
    window.reset();
    if (saved && !config.Save(&error))
        reporter->Error(error);
    return result ? result : failed;
}
