// Program start: the main window created in order, and the two ways start-up can end the program.
#pragma once

#include "shell/cmdline.h"

#include <memory>

class TFrmMain;
class TReporter;
class TdatViewer;

// Creates the main window (not yet shown). When it cannot run, reports the reason followed by
// CR LF and "The Application will terminate now" and returns null.
std::unique_ptr<TFrmMain> CreateMainWindow(TdatViewer &config, const TStartOptions &options,
                                           TReporter *reporter);
