// The settings part of the main window: the tree model, the session and the Settings tab, wired to
// the window's Instrument menu, toolbar and hooks.
#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>

class TFrmMain;
class TOfflineView;
class TFrmSetClock;
class TSettingsFiles;
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
    // Instrument > Reset: asks first; the session the instrument ends ends in the window too.
    void menuIndicatorResetClick();
    void SetSessionControls(bool active, bool fullAccess);
    // Extend Session's tip and the Test tab's Send for a session that is open or not.
    void ShowSessionTips(bool active);
    // Instrument > Set Date/Time: the instrument's clock shown live, set from the PC's on request.
    void SetDateTime1Click();

    static constexpr const char *ResetQuestion =
        "Reset the instrument? It starts again from its saved settings, and a setup session ends.";
    static constexpr const char *LevelOpenSafe = "The safe passcode level is now open.";
    static constexpr const char *LevelOpenFull = "The full passcode level is now open.";

    TFrmMain &Window;
    TSettingsTreeModel *Model;
    TSession *Session;
    TSettingsTab *Tab;
    TFrmSetClock *Clock; // created with the window and reused
    TSettingsFiles *Files;
    TOfflineView *Offline; // a settings file edited without an instrument
    // The PC's date and time (tests fix it).
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

private:
    // The session dialog, the passcode and the tree's reading, with the controls locked; true
    // when the session started.
    bool StartSessionLocked();
};
