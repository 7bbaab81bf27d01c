// The settings part of the main window: the tree model, the session and the Settings tab, wired to
// the window's Instrument menu, toolbar and hooks.
#pragma once

#include <QObject>

class TFrmMain;
class TSession;
class TSettingsTab;
class TSettingsTreeModel;

class TSettingsUi : public QObject
{
    Q_OBJECT
public:
    // Puts the Settings tab in its page and takes the session entries of the window.
    explicit TSettingsUi(TFrmMain &window);

    void StartSessionClick();
    void EndSessionClick();
    void SetSessionControls(bool active, bool fullAccess);

    TFrmMain &Window;
    TSettingsTreeModel *Model;
    TSession *Session;
    TSettingsTab *Tab;
};
