// TMainControlsGuard: keeps the main window's controls disabled (DisableMainControls) while a long
// instrument operation runs, so that no click starts a second operation on the same state.
#pragma once

#include <QPointer>
#include <QWidget>

class TFrmMain;

class TMainControlsGuard
{
public:
    // inside: the main window or any widget placed in it; a widget outside a main window (a tab
    // tested on its own) locks nothing. Guards nest: the controls come back with the last one.
    explicit TMainControlsGuard(QWidget *inside);
    ~TMainControlsGuard();
    TMainControlsGuard(const TMainControlsGuard &) = delete;
    TMainControlsGuard &operator=(const TMainControlsGuard &) = delete;

private:
    QPointer<QWidget> Window; // the TFrmMain locked, null when none
};
