// The main window's control locking: a long instrument operation (or weight logging) disables the
// tabs, menus and toolbar so that no click starts a second operation on the same state (see
// DisableMainControls in main.h and TMainControlsGuard in base/ui/maincontrols.h).
#include "shell/ui/main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

void TFrmMain::SetLoggingActive(bool active)
{
    if (Logging == active)
        return;
    Logging = active;
    if (active)
        DisableMainControls();
    else
        EnableMainControls();
}

void TFrmMain::DisableMainControls()
{
    if (MainControlLocks++ > 0)
        return;
    LockActions(true);
    UpdatePageControl();
}

void TFrmMain::EnableMainControls()
{
    if (MainControlLocks == 0)
        return;
    // A close asked for during the wait is tried again (and put off again while one goes on).
    if (CloseDeferred) {
        CloseDeferred = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
    if (--MainControlLocks > 0)
        return;
    LockActions(false);
    UpdatePageControl();
}

void TFrmMain::KeepConnectLive(bool live)
{
    for (QAction *a : {ToolButton4, Connect2}) {
        if (!live) {
            // Back under the lock: enabled again with the other entries.
            LockedActions->addAction(a);
            continue;
        }
        LockedActions->removeAction(a);
        // An entry whose own state was "enabled" all along ignores being enabled again: the group
        // had disabled it. Say it afresh.
        a->setEnabled(false);
        a->setEnabled(true);
    }
}

void TFrmMain::LockActions(bool lock)
{
    if (lock) {
        // Entries added since the last lock join the group too; a grouped entry keeps the state
        // it is given meanwhile and takes it when the group is enabled again.
        QList<QAction *> actions = ToolBar1->actions();
        for (QMenu *menu : {File1, Instrument1, Help1})
            actions += menu->actions();
        for (QAction *a : actions)
            if (!a->isSeparator() && !a->menu())
                LockedActions->addAction(a);
    }
    LockedActions->setEnabled(!lock);
}

void TFrmMain::UpdatePageControl()
{
    const bool locked = MainControlLocks > 0 && PgCMain->currentWidget() != TSLog;
    if (locked == !PgCMain->isEnabled())
        return;
    if (!locked) {
        PgCMain->setEnabled(true);
        // A disabled page loses the keyboard focus: it goes back where it was, unless the
        // operation gave it to another usable widget.
        QWidget *now = QApplication::focusWidget();
        if (FocusBeforeLock && FocusBeforeLock->isVisible() && FocusBeforeLock->isEnabled() &&
            (!now || !now->isEnabled() || !PgCMain->isAncestorOf(now)))
            FocusBeforeLock->setFocus();
        FocusBeforeLock = nullptr;
        return;
    }
    QWidget *focus = QApplication::focusWidget();
    FocusBeforeLock = focus && PgCMain->isAncestorOf(focus) ? focus : nullptr;
    PgCMain->setEnabled(false);
    // A disabled widget disables its dialogs too: the pages' own windows (a progress window
    // with its Cancel) stay usable.
    for (QWidget *w : PgCMain->findChildren<QWidget *>())
        if (w->isWindow())
            w->setEnabled(true);
}
