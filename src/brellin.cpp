// The desktop program's entry: configuration first, then the main window, then the message loop;
// the configuration is written back after the window has closed.
#include "shell/cmdline.h"
#include "shell/dmViewer.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "shell/ui/uireporter.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TdatViewer config;
    const TStartOptions options = ParseCommandLine(app.arguments().mid(1));
    TMessageBoxReporter reporter;
    auto window = CreateMainWindow(config, options, &reporter);
    if (!window)
        return 1;
    window->show();
    const int result = app.exec();
    window.reset();
    QString error;
    if (!config.Save(&error))
        reporter.Error(error);
    return result;
}
