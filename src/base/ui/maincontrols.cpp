// TMainControlsGuard: the main window's controls locked for the guard's life (see maincontrols.h).
#include "base/ui/maincontrols.h"

TMainControlsGuard::TMainControlsGuard(QWidget *inside)
{
    // The main window holds the widget, maybe through a dialog of its own.
    for (QWidget *w = inside; w; w = w->parentWidget())
        if (auto *window = dynamic_cast<TMainControls *>(w)) {
            Window = w;
            window->DisableMainControls();
            return;
        }
}

TMainControlsGuard::~TMainControlsGuard()
{
    // Not once the window is gone, nor while it is being destroyed.
    if (auto *window = dynamic_cast<TMainControls *>(Window.data()))
        window->EnableMainControls();
}
