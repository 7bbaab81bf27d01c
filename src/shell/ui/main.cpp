// TFrmMain: creation, showing, the link's connected and disconnected looks, tab routing and the
// dialogs of the Help menu (see main.h).
#include "shell/ui/main.h"

#include "base/dmViewer.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "display/plate.h"
#include "display/ui/FrontPanel.h"
#include "display/ui/VornLCD.h"
#include "i18n/ui/LumsLangComp.h"
#include "journal/journal.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "link/ui/Debug.h"
#include "link/ui/option.h"
#include "link/ui/testtab.h"
#include "link/ui/trafficdlg.h"
#include "settings/device.h"
#include "settings/menucache.h"
#include "shell/ui/about.h"
#include "shell/ui/demo.h"
#include "shell/ui/help.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/maincontrols.h"
#include "shell/ui/uireporter.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>

namespace
{

// A frame as the status bar shows it: the framing characters left out.
QString PrintableText(const QByteArray &frame)
{
    QByteArray shown;
    for (char c : frame)
        if (static_cast<unsigned char>(c) >= 0x20)
            shown += c;
    return QString::fromLatin1(shown);
}

} // namespace

TFrmMain::TFrmMain(TdatViewer &config, const TStartOptions &options, TReporter *reporter, QWidget *parent)
    : QMainWindow(parent), Config(config)
{
    setObjectName("FrmMain");
    DebugMode = options.DebugMode;
    MaxStoreFileSize = options.MaxStoreFileSize;
    ScrambleLines = options.ScrambleLines;
    Demo = options.Demo;
    if (!reporter) {
        OwnReporter = std::make_unique<TMessageBoxReporter>(this);
        reporter = OwnReporter.get();
    }
    Reporter = reporter;

    // The link starts as a null transport, with the engine taking what it receives.
    EngineOwner = std::make_unique<TTransactionEngine>();
    Engine = EngineOwner.get();
    Engine->Reporter = Reporter;
    CreateMenus();
    CreateTabs();
    CreateStatusBar();
    CreateReconnect();
    FrmDebug = new TFrmDebug(this);

    // While the demo runs its instrument is one of the dialog's choices.
    Hooks.RunConnectionDialog = [this] {
        return ::RunConnectionDialog(Config, Language.get(), Reporter, this,
                                     Demonstrator ? Demonstrator->Port() : 0);
    };
    Hooks.ExecModal = [](QDialog *dialog) { return dialog->exec(); };

    Engine->OnConnectedChanged = [this](bool connected) { SetConnected(connected); };
    Engine->OnLinkError = [this](const QString &reason) {
        // While a lost link is retried, a failed attempt is only said in the status bar.
        if (Retrying()) {
            ShowStatus(QString("Connection lost: %1 (retrying every %2 s): %3")
                           .arg(LostWhere)
                           .arg(RetryTimer->interval() / 1000.0)
                           .arg(reason),
                       true);
            return;
        }
        QString text = reason;
        if (auto *serial = dynamic_cast<TIOIfaceSerial *>(Engine->Link()))
            text = SerialOpenAdvice(serial->Description(), reason);
        else if (auto *socket = dynamic_cast<TIOIfaceSocket *>(Engine->Link()))
            text = QString("The connection to %1:%2 failed: %3")
                       .arg(socket->Host())
                       .arg(socket->Port())
                       .arg(reason);
        Reporter->Error(text);
    };
    Engine->OnFrameSent = [this](const QByteArray &frame) { ShowFrame(StatusPanel0, frame); };
    Engine->OnReplyText = [this](const QByteArray &text) { ShowFrame(StatusPanel1, text); };
    Engine->OnTrafficEcho = [this](const QByteArray &text) { TestTab->AddEcho(text); };
    Engine->OnPollTimeout = [this] {
        if (Hooks.BlankDisplayMimic)
            Hooks.BlankDisplayMimic();
    };
    // The box (once per silence, holding nothing up) may be closed at once: the status bar keeps it.
    Engine->OnNotResponding = [this](const QString &text) { ShowStatus(text, true); };

    connect(PgCMain, &QTabWidget::currentChanged, this, &TFrmMain::PgCMainChange);
    connect(TestTab, &TTestTab::SentByButton, this, [this] {
        SettingsConfirmed = false;
        IdentPanel->SetSettingsConfirmed(false);
    });

    // A session is renewed every 5 s while it is open (the link tick sends the renewal).
    tmrViewerMode.setInterval(5000);
    connect(&tmrViewerMode, &QTimer::timeout, this, [this] {
        if (SessionActive)
            Engine->SessionRefreshDue = true;
    });
    tmrViewerMode.start();
    setMinimumSize(640, 480);
    // Room for the front panel at its aspect with the menus, toolbar, tabs and status bar.
    resize(1000, 640);
}

TFrmMain::~TFrmMain()
{
    Closing = true;
    // The link must not call back into a window being torn down.
    Engine->OnConnectedChanged = nullptr;
    Engine->Changes = nullptr;
    Engine->OnLinkError = nullptr;
    Engine->OnTrafficEcho = nullptr;
    Engine->OnFrameSent = nullptr;
    Engine->OnReplyText = nullptr;
    Engine->OnPollTimeout = nullptr;
    Engine->OnNotResponding = nullptr;
    Engine->OnStringTestEcho = nullptr;
    // The window's parts (tabs, dialogs, the front panel, the settings part) point into the engine
    // and the catalogue: they go now, before the members, which Qt would otherwise free first.
    // The window's own layout stays for QMainWindow's destructor.
    const QObjectList parts = children();
    for (const QPointer<QObject> part : parts)
        if (part && !qobject_cast<QLayout *>(part.data()))
            std::unique_ptr<QObject> destroyed(part.data());
}

bool TFrmMain::FormCreate(QString *error)
{
    auto fail = [&](const char *why) {
        if (error)
            *error = why;
        return false;
    };
    if (!Config.IniPresent()) {
        if (error)
            *error = Config.LoadProblems().isEmpty() ? QString::fromLatin1(IniCorrupt)
                                                     : QString::fromLatin1(IniCorrupt) + QLatin1Char('\n') +
                                                           Config.LoadProblems().first();
        return false;
    }
    const QString icon = Config.GetFormIcon();
    if (!icon.isEmpty() && QFileInfo(icon).isFile())
        QApplication::setWindowIcon(QIcon(icon));
    QApplication::setApplicationDisplayName(Config.GetViewerName());
    setWindowTitle(Config.GetViewerName());
    // Numbers shown to the user use "." whatever the regional settings.
    QLocale::setDefault(QLocale::c());

    DeviceOwner = std::make_unique<TDevice>();
    Device = DeviceOwner.get();
    Device->OnExchange = [this](const QByteArray &request) {
        if (OfflineExchange && !Engine->LinkOpen())
            return OfflineExchange(request);
        return Engine->TransactText(request);
    };
    MenuCache = std::make_unique<TMenuStructureCache>();
    MenuCache->Enabled = Config.GetRememberMenus();
    Device->StructureCache = MenuCache.get();

    // The Data Store tab works on the instrument and the engine; it rebuilds its list when shown.
    DataStoreTab = new TDataStoreTab(Engine, Reporter, &Config, TSDataStore);
    TSDataStore->layout()->addWidget(DataStoreTab);
    DataStoreTab->Device = Device;
    DataStoreTab->SetLog([this](const QString &text) { DebugLog(text); });
    DataStoreTab->OnStatusText = [this](const QString &text, bool red) {
        // The tab takes back its own message only while no other has replaced it.
        if (text.isEmpty() && statusBar()->currentMessage() != DataStoreTab->StatusShown)
            return;
        // Only the message is red: the panels are labels with their own colours.
        ShowStatus(text, red);
    };
    Hooks.DsdTabPopup = [this] {
        DataStoreTab->ScrambleLines = ScrambleLines;
        DataStoreTab->DebugMode = DebugMode;
        DataStoreTab->MaxStoreFileSize = MaxStoreFileSize;
        DataStoreTab->DsdTabPopup();
    };

    // Both mimics draw the instrument picture; without it there is nothing to show.
    const QString picture = Config.ImagePath("Instrument");
    if (!QFileInfo(picture).isFile())
        return fail(ImageMissing);
    CreateMimics();
    if (Hooks.SetMimicPicture)
        Hooks.SetMimicPicture(picture);

    SessionActive = false;
    Engine->SessionRefreshDue = false;
    for (QAction *a : Instrument1->actions())
        SetEnabledIfProvided(a, false);
    ChangeJournal1->setEnabled(true);
    SetEnabledIfProvided(ToolButtonStart, false);
    SetEnabledIfProvided(ToolButtonEnd, false);
    Engine->Reset();

    PgCMain->setCurrentWidget(TSDisplay);
    HelpFile = Config.ProgramFile("html");
    Language =
        std::make_unique<TLumsLanguageComp>(Config.ProgramFile("lang"), QStringList{"English", "German"});
    Language->SelectLanguage(this, Config.GetCurrentLang());
    FrmTraffic = new TFrmTraffic(Engine, Language.get(), Reporter, this);
    DataStoreTab->Progress->Language = Language.get();
    SaveBlocked = false;
    if (DebugMode)
        FrmDebug->show();
    return true;
}

void TFrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!Shown) {
        Shown = true;
        // After the window is on screen, so that the first-run dialog sits in front of it.
        QTimer::singleShot(0, this, &TFrmMain::FormShow);
    }
}

void TFrmMain::FormShow()
{
    tbLang->setVisible(Language && Language->ApplyLanguage(this));
    if (Language && !Language->Language().ReadProblem().isEmpty())
        Reporter->Error(Language->Language().ReadProblem() +
                        QStringLiteral(" The windows keep their English texts."));
    UpdateMinimumSize();
    SetConnected(Engine->LinkOpen());
    // The demo leaves a first run for the user's own start.
    if (Config.GetFirstRun() && !Demo) {
        TfrmOptions options(Config, Reporter, this);
        options.setWindowTitle(FirstRunCaption);
        ExecModal(&options);
    }
    AfterOptions();
}

void TFrmMain::AfterOptions()
{
    if (Hooks.ShowSaveBlockButtons)
        Hooks.ShowSaveBlockButtons(Config.GetAllowSaveBlock());
    if (MenuCache)
        MenuCache->Enabled = Config.GetRememberMenus();
    // The demo instrument is reached over TCP whatever the stored connection says.
    Engine->TimeoutTicks = Demonstrator ? Config.GetTcpTimeout() : Config.ReplyTimeoutTicks();
}

int TFrmMain::ExecModal(QDialog *dialog)
{
    return Hooks.ExecModal ? Hooks.ExecModal(dialog) : dialog->exec();
}

void TFrmMain::menuOptionsClick()
{
    TfrmOptions options(Config, Reporter, this);
    ExecModal(&options);
    AfterOptions();
}

void TFrmMain::tbLangClick()
{
    const int number = Config.GetCurrentLang() == 1 ? 2 : 1;
    Language->SelectLanguage(this, number);
    Config.SetCurrentLang(number);
    UpdateMinimumSize(); // the other language's words may need more room
    // The connect button's text depends on the link as well as on the language.
    UpdateConnectButton(Engine->LinkOpen());
}

void TFrmMain::About1Click()
{
    TfrmAbout about(Config, Language.get(), this);
    ExecModal(&about);
}

void TFrmMain::muHelpClick()
{
    if (!FrmHelp)
        FrmHelp = new TFrmHelp(HelpFile, this);
    if (!FrmHelp->ShowStart())
        Reporter->Error(QString("The help file %1 is missing.").arg(HelpFile));
}

void TFrmMain::DebugLog(const QString &text)
{
    FrmDebug->Add(text);
}

// --- the link -------------------------------------------------------------------------------

void TFrmMain::Connect2Click()
{
    Engine->TimeoutTicks = Config.ReplyTimeoutTicks();
    // Connect while a lost link is retried: the user takes over.
    if (Retrying())
        StopRetry(QString());
    if (Engine->LinkOpen()) {
        // Leaving an instrument with its save blocked would lose the changes at its next reset.
        if (SaveBlocked) {
            TMainControlsGuard lock(this);
            if (Hooks.AllowIndicatorSave)
                Hooks.AllowIndicatorSave();
            SaveBlocked = false;
            Engine->WaitTicks(20);
        }
        UserDisconnect = true;
        // What the status bar says belongs to this link: it goes with it.
        ShowStatus(QString(), false);
        Engine->Link()->Close();
        return;
    }
    auto choice = Hooks.RunConnectionDialog ? Hooks.RunConnectionDialog() : std::nullopt;
    if (!choice) {
        Engine->TimeoutTicks = Config.ReplyTimeoutTicks();
        return;
    }
    // The demo instrument is reached over TCP whatever the stored connection says.
    Engine->TimeoutTicks = choice->Demo ? Config.GetTcpTimeout() : Config.ReplyTimeoutTicks();
    ConnectWith(std::move(*choice));
}

void TFrmMain::ConnectWith(TConnectionChoice choice)
{
    StopRetry(QString());
    SessionLost = false;
    // Texts of an earlier link ("Connection restored: ...") do not speak for this one.
    ShowStatus(QString(), false);
    // The old link's closing is not a loss.
    UserDisconnect = true;
    Engine->UnitAddress = choice.UnitAddress;
    Engine->CableType = choice.Cable;
    Engine->SetLink(std::move(choice.Link));
    UserDisconnect = false;
    Engine->Link()->Open();
}

bool TFrmMain::StartDemo(QString *error)
{
    Demonstrator = std::make_unique<TDemoInstrument>();
    if (!Demonstrator->Start(error)) {
        Demonstrator.reset();
        return false;
    }
    Engine->TimeoutTicks = Config.GetTcpTimeout();
    ConnectWith(Demonstrator->Choice());
    return true;
}

void TFrmMain::SetConnected(bool connected)
{
    if (Closing)
        return;
    const QByteArray serialBefore = Device ? Device->SerialNumber : QByteArray();
    PgCMain->setTabVisible(PgCMain->indexOf(TSTest), connected);
    for (QAction *a : Instrument1->actions())
        SetEnabledIfProvided(a, connected);
    ChangeJournal1->setEnabled(true); // a stored journal is shown without a connection too
    SetEnabledIfProvided(ToolButtonStart, connected);
    SetEnabledIfProvided(ToolButtonEnd, connected);

    UpdateConnectButton(connected);
    SetEnabledIfProvided(EndSession, ToolButtonEnd->isEnabled());
    if (connected && PgCMain->currentWidget() == TSDisplay)
        Engine->SetReplyRoute(RouteDisplay);

    Engine->ClearBuffers();
    if (Device)
        Device->ResetFacts();
    if (!connected) {
        MarkFramesStale();
        // The instrument ends a session whose renewals stop: the window ends it too, menu tree
        // and all, and says so when the link comes back.
        if (SessionActive && !UserDisconnect)
            SessionLost = true;
        if (SessionActive && Hooks.ClearSessionTree)
            Hooks.ClearSessionTree();
        // Nothing can be saved over a closed link, and the instrument back has no session to
        // save: the block is lifted without a save, and the user is told what was not saved.
        // (Disconnect saves before it closes the link, so a block still on here was not saved.)
        const bool blocked = Hooks.DropSaveBlock ? Hooks.DropSaveBlock() : SaveBlocked;
        SaveBlocked = false;
        if (blocked) {
            SaveBlockLost = true;
            SaveBlockSerial = serialBefore;
            DebugLog(SaveBlockLostText);
        }
    }
    SessionActive = false;
    if (Hooks.SetSessionControls)
        Hooks.SetSessionControls(false, false);
    if (Hooks.BlankDisplayMimic)
        Hooks.BlankDisplayMimic();

    // From here the link counts as up: a loss while the identification is read is a loss like any
    // other (said, and retried). A reconnection attempt keeps its own account of what was lost.
    if (connected && !Retrying())
        LinkWasUp = true;
    if (connected)
        Engine->SpeedUpLink();
    if (Device && Engine->LinkOpen()) {
        TMainControlsGuard lock(this);
        TBusyGuard busy(Reporter);
        // Against a silent instrument the identification takes several time-outs: Disconnect
        // stays live and ends it at once.
        KeepConnectLive(true);
        Device->ReadIdentity();
        KeepConnectLive(false);
    }
    // The link went while it was being set up: that closing has been handled in full already.
    if (connected && !Engine->LinkOpen()) {
        if (Device)
            Device->ResetFacts();
        ShowIdentification();
        return;
    }
    // The data plate belongs to the instrument it was read from: none until a session reads it.
    ShowCapacityPlate(false);
    if (Device) {
        const QString picture = Config.ImagePath(QString::fromLatin1(Device->ModelText));
        if (!picture.isEmpty() && QFileInfo(picture).isFile() && Hooks.SetMimicPicture)
            Hooks.SetMimicPicture(picture);
    }
    ShowIdentification();
    OpenChangeJournal(connected && Engine->LinkOpen());

    const bool wasUp = LinkWasUp;
    // A link that went again while the identification was read was never up.
    LinkWasUp = connected && Engine->LinkOpen();
    if (!connected && wasUp && !UserDisconnect)
        LinkLost(serialBefore);
    else if (connected && Retrying())
        ReconnectedCheck();
    else if (LinkWasUp && SaveBlockLost && Device && Device->SerialNumber == SaveBlockSerial)
        TellSaveBlockLost(); // the same instrument connected again by hand
    if (!connected)
        UserDisconnect = false;
}

void TFrmMain::ShowFrame(QLabel *panel, const QByteArray &frame)
{
    panel->setText(PrintableText(frame));
    panel->setEnabled(true);
    panel->setToolTip(panel == StatusPanel0 ? "The last frame sent" : "The last reply received");
}

void TFrmMain::MarkFramesStale()
{
    for (QLabel *panel : {StatusPanel0, StatusPanel1}) {
        panel->setEnabled(false);
        if (!panel->text().isEmpty())
            panel->setToolTip(panel == StatusPanel0 ? "The last frame sent before the connection closed"
                                                    : "The last reply received before the connection closed");
    }
}

void TFrmMain::UpdateConnectButton(bool connected)
{
    // The connect button's words: the language file's when there is one, else the built-in ones.
    QString text = connected ? "&Disconnect" : "&Connect";
    QString hint = connected ? "Disconnect from instrument" : "Connect to instrument";
    if (Language && Language->Language().FileExists()) {
        // A file without these keys keeps the built-in words rather than an empty button.
        const QString fileText = Language->GetText(this, connected ? "ToolButton4Con" : "ToolButton4DC");
        const QString fileHint =
            Language->GetText(this, connected ? "ToolButton4ConHint" : "ToolButton4DCHint");
        if (!fileText.isEmpty())
            text = fileText;
        if (!fileHint.isEmpty())
            hint = fileHint;
    }
    ToolButton4->setText(text);
    ToolButton4->setToolTip(hint);
    Connect2->setText(text);
}

void TFrmMain::ShowIdentification()
{
    if (Device && !Device->SerialNumber.isEmpty())
        IdentPanel->SetText(QString::asprintf("SN: %s, %s %s", Device->SerialNumber.constData(),
                                              Device->ModelText.constData(),
                                              Device->VersionText.constData()));
    else
        IdentPanel->SetText(QString());
    IdentPanel->SetSettingsConfirmed(SettingsConfirmed);
}

// --- tabs, keys and locks ---------------------------------------------------------------------

void TFrmMain::PgCMainChange(int index)
{
    if (RevertingTab)
        return;
    QWidget *page = PgCMain->widget(index);
    // Leaving the Log tab is refused while logging or another long operation runs.
    if ((Logging || MainControlLocks > 0) && PgCMain->widget(CurrentTab) == TSLog && page != TSLog) {
        RevertingTab = true;
        PgCMain->setCurrentIndex(CurrentTab);
        RevertingTab = false;
        return;
    }
    CurrentTab = index;
    UpdatePrintEntry();
    if (page == TSDisplay) {
        Engine->SetReplyRoute(RouteDisplay);
    } else if (page == TSCalibration) {
        Engine->SetReplyRoute(RouteCalibration);
    } else if (page == TSTest) {
        Engine->SetReplyRoute(RouteTest);
        TestTab->FocusSendBox();
    } else if (page == TSLog) {
        if (Hooks.LogTabShown)
            Hooks.LogTabShown();
        Engine->SetReplyRoute(RouteLog);
    } else if (page == TSDataStore) {
        Engine->SetReplyRoute(RouteDataStore);
        if (Hooks.DsdTabPopup)
            Hooks.DsdTabPopup();
    } else {
        Engine->SetReplyRoute(RouteNone);
    }
}

void TFrmMain::keyPressEvent(QKeyEvent *event)
{
    if (PgCMain->currentWidget() == TSLog && Hooks.LogScroll) {
        switch (event->key()) {
        case Qt::Key_Left:
            Hooks.LogScroll(-1, 0);
            return;
        case Qt::Key_Right:
            Hooks.LogScroll(1, 0);
            return;
        case Qt::Key_Up:
            Hooks.LogScroll(0, 1);
            return;
        case Qt::Key_Down:
            Hooks.LogScroll(0, -1);
            return;
        default:
            break;
        }
    }
    QMainWindow::keyPressEvent(event);
}

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

// --- File > Open, Save, Print ----------------------------------------------------------------

void TFrmMain::SetFileActions(QWidget *tab, TFileActions actions)
{
    bool replaced = false;
    // Parts register separately for the same tabs (the settings files and the settings printout
    // share the fallback): an empty action keeps the one registered before.
    for (auto &entry : FileActions)
        if (entry.first == tab) {
            if (actions.Open)
                entry.second.Open = actions.Open;
            if (actions.Save)
                entry.second.Save = actions.Save;
            if (actions.Print)
                entry.second.Print = actions.Print;
            replaced = true;
        }
    if (!replaced)
        FileActions.append({tab, actions});
    bool open = false, save = false, print = false;
    for (const auto &entry : FileActions) {
        open = open || bool(entry.second.Open);
        save = save || bool(entry.second.Save);
        print = print || bool(entry.second.Print);
    }
    if (open) {
        Provide(Open1, [this] { Open1Click(); });
        Provide(ToolButton1, [this] { Open1Click(); });
    }
    if (save) {
        Provide(Save1, [this] { Save1Click(); });
        Provide(ToolButton2, [this] { Save1Click(); });
    }
    if (print)
        Provide(Print1, [this] { Print1Click(); });
    UpdatePrintEntry();
}

const QString TFrmMain::NothingToPrintText =
    QStringLiteral("Nothing to print here: the settings print during a session, the log on the Log tab");

void TFrmMain::UpdatePrintEntry()
{
    const bool log = PgCMain->currentWidget() == TSLog;
    const TFileActions *actions = FileActionsFor(PgCMain->currentWidget());
    const bool can = actions && actions->Print && (log || SessionActive);
    SetEnabledIfProvided(Print1, can);
    const QString tip = can ? (log ? QStringLiteral("Print the chart") : QStringLiteral("Print the settings"))
                            : NothingToPrintText;
    Print1->setToolTip(tip);
    Print1->setStatusTip(tip);
}

const TFrmMain::TFileActions *TFrmMain::FileActionsFor(QWidget *tab) const
{
    const TFileActions *fallback = nullptr;
    for (const auto &entry : FileActions) {
        if (entry.first == tab)
            return &entry.second;
        if (!entry.first)
            fallback = &entry.second;
    }
    return fallback;
}

void TFrmMain::Open1Click()
{
    const TFileActions *actions = FileActionsFor(PgCMain->currentWidget());
    if (actions && actions->Open)
        actions->Open();
}

void TFrmMain::Save1Click()
{
    const TFileActions *actions = FileActionsFor(PgCMain->currentWidget());
    if (actions && actions->Save)
        actions->Save();
}

void TFrmMain::Print1Click()
{
    const TFileActions *actions = FileActionsFor(PgCMain->currentWidget());
    if (actions && actions->Print)
        actions->Print();
}

void TFrmMain::Provide(QAction *action, std::function<void()> handler)
{
    if (!Provided.contains(action))
        Provided.append(action);
    disconnect(action, &QAction::triggered, this, nullptr);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    action->setEnabled(true);
}

void TFrmMain::SetEnabledIfProvided(QAction *action, bool enabled)
{
    action->setEnabled(enabled && Provided.contains(action));
}

void TFrmMain::UpdateMinimumSize()
{
    QSize pages(0, 0);
    for (int i = 0; i < PgCMain->count(); ++i)
        if (PgCMain->widget(i) != TSDisplay)
            pages = pages.expandedTo(PgCMain->widget(i)->minimumSizeHint());
    // What the window puts around a page: menus, toolbar, tab bar, status bar and frames.
    const QSize around = size() - PgCMain->currentWidget()->size();
    setMinimumSize(QSize(640, 480).expandedTo(pages + around));
}

void TFrmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // A window system that ignores the minimum (no window manager, a script) can still make the
    // window smaller: it grows back, so that no tab is left with cut or overlapping controls.
    const QSize least = minimumSize();
    if (event->size().width() < least.width() || event->size().height() < least.height())
        QTimer::singleShot(0, this, [this] {
            if (width() < minimumWidth() || height() < minimumHeight())
                resize(size().expandedTo(minimumSize()));
        });
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    // An operation waiting on the instrument finishes first; the window closes after it.
    if (MainControlLocks > 0 && (Engine->Busy() || Engine->DelayLeft > 0)) {
        CloseDeferred = true;
        event->ignore();
        return;
    }
    // A session open at the instrument is ended as End Session does: locked, settings saved.
    if (SessionActive && Engine->LinkOpen() && Hooks.EndSession)
        Hooks.EndSession();
    Closing = true;
    if (Engine->LinkOpen())
        Engine->Link()->Close();
    FrmDebug->close();
    if (FrmHelp)
        FrmHelp->close();
    QMainWindow::closeEvent(event);
}

// --- the front-panel mimics ----------------------------------------------------------------------

void TFrmMain::CreateMimics()
{
    DisplayMimic = new TVornLCD(DisplayMimicHost, Config.ProgramDir());
    DisplayMimic->setObjectName("DisplayMimic");
    DisplayMimicHost->layout()->addWidget(DisplayMimic);
    // The filler below the picture takes what the picture's aspect leaves of the tab.
    auto *filler = new QWidget(DisplayMimicHost);
    filler->setObjectName("DisplayFiller");
    DisplayMimicHost->layout()->addWidget(filler);
    CalMimic = new TVornLCD(CalMimicHost, Config.ProgramDir());
    CalMimic->setObjectName("CalMimic");
    // A missing mask or an unreadable picture is said once; the glass still shows, unlit.
    auto lastFailure = std::make_shared<QString>(); // both mimics meet the same missing file
    for (TVornLCD *mimic : {DisplayMimic, CalMimic})
        connect(mimic, &TLumMimic::Failed, this, [this, lastFailure](const QString &message) {
            if (message != *lastFailure)
                Reporter->Error(message);
            *lastFailure = message;
        });
    FrontPanel = new TFrontPanel(Engine, this);
    FrontPanel->SetMimics(DisplayMimic, CalMimic);
    // A refused key is said briefly where the user looks next, without a box to click away.
    FrontPanel->OnKeyRefused = [this](const QString &text) {
        statusBar()->setStyleSheet("");
        statusBar()->showMessage(text, KeyRefusalShownMs);
    };
    Hooks.BlankDisplayMimic = [this] {
        FrontPanel->BlankBoth();
        DisplayMimic->DrawLCD();
    };
    Hooks.SetMimicPicture = [this](const QString &picture) {
        DisplayMimic->SetPictureFile(picture);
        CalMimic->SetPictureFile(picture);
    };
    TSDisplay->installEventFilter(this);
    CalMimicHost->installEventFilter(this);
    PlaceMimics();
}

void TFrmMain::ShowCapacityPlate(bool read)
{
    const QByteArray plate = read && Engine->LinkOpen() ? ReadCapacityPlate(*Engine) : QByteArray();
    for (TVornLCD *mimic : {DisplayMimic, CalMimic})
        if (mimic)
            mimic->SetPlateText(QString::fromLatin1(plate));
}

void TFrmMain::PlaceMimics()
{
    // The front-panel picture keeps its aspect of 1000:491.
    if (DisplayMimic) {
        // Its fixed height is part of the window's minimum: a window too short for it grows, but
        // never past the screen (a maximised wide window would not fit otherwise).
        int height = TSDisplay->width() * 491 / 1000;
        if (QScreen *s = screen()) {
            const int room = s->availableGeometry().height() - (this->height() - TSDisplay->height());
            height = std::min(height, std::max(120, room));
        }
        DisplayMimic->setFixedHeight(height);
    }
    if (CalMimic) {
        const int h = std::max(0, CalMimicHost->height());
        const int w = std::min(CalMimicHost->width(), h * 1000 / 491);
        const int fittedHeight = w * 491 / 1000;
        CalMimic->setGeometry((CalMimicHost->width() - w) / 2, 0, w, fittedHeight);
    }
}

bool TFrmMain::eventFilter(QObject *watched, QEvent *event)
{
    // The tabs get their new size after the window's: place the mimics when they do.
    if (event->type() == QEvent::Resize && (watched == TSDisplay || watched == CalMimicHost))
        PlaceMimics();
    return QMainWindow::eventFilter(watched, event);
}

// --- the guard of long operations -------------------------------------------------------------

TMainControlsGuard::TMainControlsGuard(QWidget *inside)
{
    // The main window holds the widget, maybe through a dialog of its own.
    for (QWidget *w = inside; w; w = w->parentWidget())
        if (auto *window = qobject_cast<TFrmMain *>(w)) {
            Window = window;
            window->DisableMainControls();
            return;
        }
}

TMainControlsGuard::~TMainControlsGuard()
{
    if (auto *window = qobject_cast<TFrmMain *>(Window.data()))
        window->EnableMainControls();
}
