// TMainControlsGuard: keeps the main window's controls disabled (DisableMainControls) while a long
// instrument operation runs, so that no click starts a second operation on the same state.
#pragma once

#include <QPointer>
#include <QWidget>

// A window whose controls a long operation locks (the main window). Calls nest: the controls come
// back with the last EnableMainControls.
class TMainControls
{
public:
    virtual void DisableMainControls() = 0;
    virtual void EnableMainControls() = 0;

protected:
    ~TMainControls() = default;
};

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
    QPointer<QWidget> Window; // the window locked, null when none (or once it is gone)
};
