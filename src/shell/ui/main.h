// TFrmMain: the main window. It assembles the program: the transaction engine, the register
// catalogue, the six tabs, toolbar, menus and status bar, and wires them; each tab and dialog is
// its own class. Parts of the program that are not in this window plug into it through Hooks.
#pragma once

#include "base/ui/maincontrols.h"
#include "link/ui/comdialog.h"
#include "shell/cmdline.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;
class TDataStoreTab;
class TChangeJournal;
class TDevice;
class TMenuStructureCache;
class TConnection;
class TDemoInstrument;
class TFrmDebug;
class TFrontPanel;
class TVornLCD;
class TFrmHelp;
class TFrmTraffic;
class TIdentPanel;
class TLumsLanguageComp;
class TReporter;
class TTestTab;
class TTransactionEngine;
class TdatViewer;

class TFrmMain : public QMainWindow, public TMainControls
{
    Q_OBJECT
public:
    // reporter: where messages go (message boxes when null).
    TFrmMain(TdatViewer &config, const TStartOptions &options, TReporter *reporter = nullptr,
             QWidget *parent = nullptr);
    ~TFrmMain() override;

    // The window's creation steps; false, with the reason in *error, when the program cannot run.
    bool FormCreate(QString *error);

    static constexpr const char *IniCorrupt = "The Ini file for this Viewer is corrupt.";
    static constexpr const char *ImageMissing = "The Instrument image file for this Viewer is missing.";
    static constexpr const char *WillTerminate = "The Application will terminate now";
    static constexpr const char *FirstRunCaption = "New install: Please check the options below";
    // How long the status bar shows that the instrument refused a key.
    static constexpr int KeyRefusalShownMs = 4000;

    // --- start-up flags ---------------------------------------------------------------------
    bool DebugMode = false;
    uint32_t MaxStoreFileSize = 500000000u;
    bool ScrambleLines = true;
    bool Demo = false;

    // --- window state -----------------------------------------------------------------------
    bool SessionActive = false;
    bool SettingsConfirmed = true;
    bool SaveBlocked = false;
    bool LoggingActive() const { return Logging; }
    // Weight logging started or stopped: the main controls are disabled meanwhile.
    void SetLoggingActive(bool active);
    // Long instrument operations disable the page control (unless the Log tab is showing), every
    // entry of the File, Instrument and Help menus and the toolbar, so that no click starts a
    // second operation on the same state. Calls nest: the controls come back with the last
    // EnableMainControls. Entries enabled or disabled meanwhile take that state afterwards.
    // Dialogs shown meanwhile stay usable. TMainControlsGuard (base/ui/maincontrols.h) pairs the calls.
    void DisableMainControls() override;
    void EnableMainControls() override;
    bool MainControlsDisabled() const { return MainControlLocks > 0; }
    // An entry's handler-aware enable: entries without a handler stay disabled.
    void SetEnabledIfProvided(QAction *action, bool enabled);

    // --- the link (the connection's life is TConnection's, connection.h) ----------------------
    TConnection *Connection = nullptr;
    void Connect2Click();
    void ConnectWith(TConnectionChoice choice);
    bool StartDemo(QString *error);
    TDemoInstrument *DemoInstrument() const;
    void SetConnected(bool connected);
    // The window's looks of a link that opened or closed: the Test tab, the Instrument menu, the
    // session buttons and the connect button.
    void ShowLinkState(bool connected);
    // The instrument now connected (or none): its data plate cleared, its picture, its
    // identification and its change journal.
    void ShowInstrument(bool connected);
    void ShowIdentification();
    // live: takes the Connect/Disconnect entries out of the locked group and enables them, for the
    // identification read that Disconnect may end; !live: puts them back under the lock.
    void KeepConnectLive(bool live);
    bool IsClosing() const { return Closing; }

    // --- the change journal (journal/ui/mainjournal.cpp) ---------------------------------------
    // Opens the connected instrument's journal once its identity is read, or closes it.
    void OpenChangeJournal(bool connected);
    TChangeJournal *ChangeJournal() const { return Journal.get(); }
    // Instrument > Change Journal: the connected instrument's journal, or a chosen one.
    void ShowChangeJournal();
    QAction *ChangeJournal1 = nullptr;
    // The connect button and menu entry: the language file's words for the link's state, else the
    // built-in ones.
    void UpdateConnectButton(bool connected);
    // The debug window's log; lines are kept only while it is shown.
    void DebugLog(const QString &text);

    void ShowStatus(const QString &text, bool red);
    // Remembered menu structures (none before the window is set up).
    TMenuStructureCache *MenuStructures() const { return MenuCache.get(); }
    // While set and no link is open, the catalogue's requests go here (a settings file shown
    // without an instrument answers them).
    std::function<QByteArray(const QByteArray &)> OfflineExchange;
    // The status bar's last-frame panels: greyed (stale) while no link carries traffic, normal
    // again with the next frame.
    void ShowFrame(QLabel *panel, const QByteArray &frame);
    void MarkFramesStale();

    // --- handlers ---------------------------------------------------------------------------
    void menuOptionsClick();
    // Switches the language; the parts set their own texts again on LanguageApplied.
    void tbLangClick();
    void About1Click();
    void muHelpClick();
    void PgCMainChange(int index);

signals:
    void LanguageApplied();

public:
    // --- what later parts plug in -----------------------------------------------------------
    struct THooks {
        // The connection dialog; tests answer it without a window.
        std::function<std::optional<TConnectionChoice>()> RunConnectionDialog;
        // Shows a modal dialog; tests answer it without waiting for a user.
        std::function<int(QDialog *)> ExecModal;
        // The front-panel mimics: blank both; take the picture of the connected instrument.
        std::function<void()> BlankDisplayMimic;
        std::function<void(const QString &picture)> SetMimicPicture;
        // Settings session controls (active, full access) and the save-block buttons.
        std::function<void(bool active, bool fullAccess)> SetSessionControls;
        // Empties the settings tree of a session that has ended without End Session.
        std::function<void()> ClearSessionTree;
        std::function<void(bool visible)> ShowSaveBlockButtons;
        std::function<void()> AllowIndicatorSave; // btnSaveSettingsClick
        // Lifts the save block without saving (the link is gone); true if saving was blocked.
        std::function<bool()> DropSaveBlock;
        // Ends an open session as End Session does (the window closing during a session).
        std::function<void()> EndSession;
        // The Log tab: refresh the chart when shown; arrow keys scroll it by tenths of its axes
        // (dx: time axis -1/+1, dy: weight axis -1/+1).
        std::function<void()> LogTabShown;
        std::function<void(int dx, int dy)> LogScroll;
        // The Data Store tab was shown (refresh the store list).
        std::function<void()> DsdTabPopup;
    } Hooks;

    // File > Open, Save and Print (and their toolbar buttons) act on the active tab. A tab registers
    // what they do on it; with tab null the actions serve every tab that registered none (the
    // settings). An entry is enabled once some tab gives it an action. A second registration for
    // the same tab adds its actions; its empty ones keep those registered before.
    struct TFileActions {
        std::function<void()> Open, Save, Print;
    };
    void SetFileActions(QWidget *tab, TFileActions actions);
    void Open1Click();
    void Save1Click();
    void Print1Click();
    // The data plate over the panel picture: the connected instrument's capacity and division, read
    // when a session opens (the instrument is known to answer its menu then); none when read is
    // false or the instrument does not tell them.
    void ShowCapacityPlate(bool read);
    // File > Print prints the chart on the Log tab and the settings tree elsewhere: without a
    // session there is no tree, and the entry is greyed with the reason in its tooltip.
    void UpdatePrintEntry();
    static const QString NothingToPrintText;

    // Gives a menu entry or toolbar action its handler; entries without one stay disabled.
    void Provide(QAction *action, std::function<void()> handler);

    // --- parts ------------------------------------------------------------------------------
    // The window owns the engine (with its link) and the register catalogue. Everything else that
    // points into them is a child of the window and is destroyed first, then the catalogue, then
    // the engine (see ~TFrmMain).
    TdatViewer &Config;
    TTransactionEngine *Engine;
    TDevice *Device = nullptr;
    std::unique_ptr<TLumsLanguageComp> Language;
    TReporter *Reporter;

    QTabWidget *PgCMain;
    QWidget *TSDisplay, *TSCalibration, *TSSettings, *TSLog, *TSTest, *TSDataStore;
    // The front-panel mimics of the Display and Calibration tabs; the front panel feeds both from
    // the display polls and sends the keys pressed on either.
    QWidget *DisplayMimicHost;
    QWidget *CalMimicHost;
    TVornLCD *DisplayMimic = nullptr;
    TVornLCD *CalMimic = nullptr;
    TFrontPanel *FrontPanel = nullptr;
    TTestTab *TestTab;
    TDataStoreTab *DataStoreTab = nullptr;
    TFrmDebug *FrmDebug;
    TFrmTraffic *FrmTraffic = nullptr; // the settings transfer, created at start
    TFrmHelp *FrmHelp = nullptr;

    QLabel *StatusPanel0;    // last frame sent
    QLabel *StatusPanel1;    // last reply received
    TIdentPanel *IdentPanel; // instrument identification
    QString HelpFile;

    QMenu *File1, *Edit1, *Instrument1, *Help1;
    QAction *Open1, *Save1, *Connect2, *Print1, *Exit1;
    QAction *ChartSetup;
    QAction *SetDateTime1, *AllocationReport1, *StartSession, *N4, *EndSession, *menuIndicatorReset,
        *SafePasscode1, *FullPasscode1, *Lock1;
    QAction *muHelp, *menuOptions, *About1;
    QToolBar *ToolBar1;
    QAction *ToolButton1, *ToolButton2, *ToolButton4, *ToolButtonStart, *ToolButtonEnd, *tbLang;

    QTimer tmrViewerMode;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateMenus();
    void CreateTabs();
    void CreateStatusBar();
    void CreateMimics();
    void PlaceMimics();
    void FormShow();
    void AfterOptions();
    // The smallest window in which every tab shows its controls whole: 640 x 480, or more when a
    // tab (in the current language) needs it. The Display tab's picture follows the width.
    void UpdateMinimumSize();
    QWidget *AddTab(const char *name, const QString &caption);
    int ExecModal(QDialog *dialog);
    void LockActions(bool lock);
    void UpdatePageControl();

    // Destroyed in the reverse order: the catalogue, the engine, the connection (with the demo
    // instrument), the reporter.
    std::unique_ptr<TChangeJournal> Journal; // outlives the engine that records into it
    std::unique_ptr<TReporter> OwnReporter;
    std::unique_ptr<TConnection> ConnectionOwner;
    std::unique_ptr<TTransactionEngine> EngineOwner;
    std::unique_ptr<TDevice> DeviceOwner;
    std::unique_ptr<TMenuStructureCache> MenuCache; // remembered menu structures (Options)
    bool Logging = false;
    bool Shown = false;
    bool Closing = false;
    int MainControlLocks = 0;
    bool CloseDeferred = false; // closed while an operation ran: closes when it has ended
    int CurrentTab = 0;
    bool RevertingTab = false;
    QList<QAction *> Provided;
    QActionGroup *LockedActions; // the entries a long operation disables
    QPointer<QWidget> FocusBeforeLock;
    QList<QPair<QWidget *, TFileActions>> FileActions;
    const TFileActions *FileActionsFor(QWidget *tab) const;
};
