// TFrmMain: creation, showing, the link's connected and disconnected looks, tab routing, closing and
// the dialogs of the Help menu (see main.h; the connection's life is TConnection's, connection.cpp).
#include "shell/ui/main.h"

#include "base/dmViewer.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "i18n/LumsLang.h"
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
#include "shell/ui/connection.h"
#include "shell/ui/demo.h"
#include "shell/ui/help.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/uireporter.h"

#include <QAction>
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
#include <QStatusBar>
#include <QTabWidget>

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
    // The connection takes the engine's link callbacks.
    ConnectionOwner = std::make_unique<TConnection>(*this);
    Connection = ConnectionOwner.get();
    FrmDebug = new TFrmDebug(this);

    // While the demo runs its instrument is one of the dialog's choices.
    Hooks.RunConnectionDialog = [this] {
        return ::RunConnectionDialog(Config, Language.get(), Reporter, this,
                                     DemoInstrument() ? DemoInstrument()->Port() : 0);
    };
    Hooks.ExecModal = [](QDialog *dialog) { return dialog->exec(); };

    Engine->OnFrameSent = [this](const QByteArray &frame) { ShowFrame(StatusPanel0, frame); };
    Engine->OnReplyText = [this](const QByteArray &text) { ShowFrame(StatusPanel1, text); };
    Engine->OnTrafficEcho = [this](const QByteArray &text) { TestTab->AddEcho(text); };
    Engine->OnPollTimeout = [this] {
        if (Hooks.BlankDisplayMimic)
            Hooks.BlankDisplayMimic();
    };
    // The box (once per silence, holding nothing up) may be closed at once: the status bar keeps it.
    Engine->OnNotResponding = [this](const QString &text) {
        ShowStatus(LangText("Messages", "NotResponding", text), true);
    };

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
    MenuCache->NotKept = [this](const QString &why) {
        // Said on the status line: the read went well, only the next one is slower.
        ShowStatus(LangText("Messages", "MenusNotKept", "Menu structure not kept for next time: %1").arg(why),
                   false);
    };
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
    connect(this, &TFrmMain::LanguageApplied, DataStoreTab, &TDataStoreTab::ShowHint);
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
        Language->ApplyLanguage(&options);
        options.setWindowTitle(LangText("TfrmOptions", "CaptionFirstRun", FirstRunCaption));
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
    Engine->TimeoutTicks = DemoInstrument() ? Config.GetTcpTimeout() : Config.ReplyTimeoutTicks();
}

int TFrmMain::ExecModal(QDialog *dialog)
{
    return Hooks.ExecModal ? Hooks.ExecModal(dialog) : dialog->exec();
}

void TFrmMain::menuOptionsClick()
{
    TfrmOptions options(Config, Reporter, this);
    Language->ApplyLanguage(&options);
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
    UpdatePrintEntry();
    // Texts the parts set themselves are set again in the new language.
    emit LanguageApplied();
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
        Reporter->Error(LangText("Messages", "HelpMissing", "The help file %1 is missing.").arg(HelpFile));
}

void TFrmMain::DebugLog(const QString &text)
{
    FrmDebug->Add(text);
}

// --- the link -------------------------------------------------------------------------------

void TFrmMain::Connect2Click()
{
    Connection->ConnectClick();
}

void TFrmMain::ConnectWith(TConnectionChoice choice)
{
    Connection->ConnectWith(std::move(choice));
}

bool TFrmMain::StartDemo(QString *error)
{
    return Connection->StartDemo(error);
}

TDemoInstrument *TFrmMain::DemoInstrument() const
{
    return Connection ? Connection->DemoInstrument() : nullptr;
}

void TFrmMain::SetConnected(bool connected)
{
    Connection->SetConnected(connected);
}

void TFrmMain::ShowLinkState(bool connected)
{
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
}

void TFrmMain::ShowInstrument(bool connected)
{
    // The data plate belongs to the instrument it was read from: none until a session reads it.
    ShowCapacityPlate(false);
    if (Device) {
        const QString picture = Config.ImagePath(QString::fromLatin1(Device->ModelText));
        if (!picture.isEmpty() && QFileInfo(picture).isFile() && Hooks.SetMimicPicture)
            Hooks.SetMimicPicture(picture);
    }
    ShowIdentification();
    OpenChangeJournal(connected);
}

void TFrmMain::ShowStatus(const QString &text, bool red)
{
    // Only the message is red: the panels are labels with their own colours.
    statusBar()->setStyleSheet(red ? "QStatusBar { color: red; }" : "");
    statusBar()->showMessage(text);
}

void TFrmMain::ShowFrame(QLabel *panel, const QByteArray &frame)
{
    panel->setText(PrintableText(frame));
    panel->setEnabled(true);
    panel->setToolTip(panel == StatusPanel0
                          ? LangText("Messages", "FrameSent", "The last frame sent")
                          : LangText("Messages", "FrameReceived", "The last reply received"));
}

void TFrmMain::MarkFramesStale()
{
    for (QLabel *panel : {StatusPanel0, StatusPanel1}) {
        panel->setEnabled(false);
        if (!panel->text().isEmpty())
            panel->setToolTip(panel == StatusPanel0
                                  ? LangText("Messages", "FrameSentStale",
                                             "The last frame sent before the connection closed")
                                  : LangText("Messages", "FrameReceivedStale",
                                             "The last reply received before the connection closed"));
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

// --- tabs and keys ---------------------------------------------------------------------------

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
