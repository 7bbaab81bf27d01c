// The desktop program's command-line switches: "-d" (debug window), "-m" N (largest record-store
// file), "-z" (record lines in plain text) and "--demo" (connect to a built-in simulated
// instrument), "--screenshot FILE" (save a picture of the window once the instrument is shown, then
// end). Arguments are compared exactly, case and all; others are ignored.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

struct TStartOptions {
    bool DebugMode = false;
    uint32_t MaxStoreFileSize = 500000000u; // the record store's own maximum
    bool ScrambleLines = true;
    bool Demo = false;
    QString Screenshot;
    // Switches that could not be used, in words for the user (the defaults stay in force).
    QStringList Problems;
};

// args without the program name.
TStartOptions ParseCommandLine(const QStringList &args, TStartOptions defaults = {});
