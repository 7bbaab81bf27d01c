// Program start (see startup.h).
#include "shell/ui/startup.h"

#include "calibration/ui/CalibrationTab.h"
#include "link/reporter.h"
#include "logging/ui/logui.h"
#include "reports/ui/reportsui.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"

std::unique_ptr<TFrmMain> CreateMainWindow(TdatViewer &config, const TStartOptions &options,
                                           TReporter *reporter)
{
    auto window = std::make_unique<TFrmMain>(config, options, reporter);
    QString error;
    if (!window->FormCreate(&error)) {
        window->Reporter->Error(error + "\r\n" + TFrmMain::WillTerminate);
        return nullptr;
    }
    auto *settings = new TSettingsUi(*window); // children of the window
    new TCalibrationUi(*window, settings->Session);
    auto *log = new TLogUi(*window);
    log->OfferRecoveryAtShow = options.Screenshot.isEmpty();
    new TReportsUi(*window);
    return window;
}
