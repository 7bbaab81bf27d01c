// A picture of the main window for people and tests without a screen: taken once the instrument's
// identification is shown (or after a limit), saved, and reported on stdout with the texts shown.
#pragma once

#include <QString>
#include <functional>

class TFrmMain;

// Calls done(saved) afterwards; the window must outlive the wait.
void TakeScreenshotWhenReady(TFrmMain *window, const QString &file, std::function<void(bool saved)> done,
                             int limitMs = 15000, int settleMs = 1500);
