// The main window's menus, toolbar, tabs and status bar (the parts of TFrmMain that only build), and
// what File > Open, Save and Print do on the active tab.
#include "shell/ui/main.h"

#include "i18n/LumsLang.h"
#include "link/transact.h"
#include "link/ui/testtab.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/statusbar.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace
{

QAction *MakeAction(QObject *owner, const char *name, const QString &text, const QKeySequence &shortcut = {})
{
    auto *action = new QAction(text, owner);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

QMenu *MakeMenu(QMenuBar *bar, const char *name, const QString &title)
{
    auto *menu = new QMenu(title, bar);
    menu->setObjectName(name);
    bar->addMenu(menu);
    return menu;
}

} // namespace

void TFrmMain::CreateMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName("MainMenu1");
    File1 = MakeMenu(bar, "File1", "&File");
    Open1 = MakeAction(this, "Open1", "&Open", QKeySequence(Qt::Key_F3));
    Save1 = MakeAction(this, "Save1", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S));
    Connect2 = MakeAction(this, "Connect2", "&Connect");
    Print1 = MakeAction(this, "Print1", "&Print");
    Exit1 = MakeAction(this, "Exit1", "&Exit", QKeySequence(Qt::ALT | Qt::Key_X));
    File1->addActions({Open1, Save1, Connect2, Print1});
    File1->addSeparator();
    File1->addAction(Exit1);
    // A greyed entry says why in its tooltip.
    File1->setToolTipsVisible(true);

    Edit1 = MakeMenu(bar, "Edit1", "&Edit");
    ChartSetup = MakeAction(this, "ChartSetup", "&Setup Chart");
    Edit1->addAction(ChartSetup);

    Instrument1 = MakeMenu(bar, "Instrument1", "&Instrument");
    SetDateTime1 = MakeAction(this, "SetDateTime1", "Set Date/Time");
    AllocationReport1 = MakeAction(this, "AllocationReport1", "&Allocation Report");
    StartSession = MakeAction(this, "StartSession", "S&tart Session");
    N4 = MakeAction(this, "N4", "E&xtend Session");
    EndSession = MakeAction(this, "EndSession", "&End Session");
    menuIndicatorReset = MakeAction(this, "menuIndicatorReset", "Reset");
    menuIndicatorReset->setToolTip("Reset the Instrument");
    SafePasscode1 = MakeAction(this, "SafePasscode1", "&Safe Passcode");
    FullPasscode1 = MakeAction(this, "FullPasscode1", "&Full Passcode");
    Lock1 = MakeAction(this, "Lock1", "&Lock");
    Instrument1->addActions({SetDateTime1, AllocationReport1});
    Instrument1->addSeparator();
    Instrument1->addActions({StartSession, N4, EndSession, menuIndicatorReset});
    Instrument1->addSeparator();
    Instrument1->addActions({SafePasscode1, FullPasscode1, Lock1});
    Instrument1->addSeparator();
    ChangeJournal1 = MakeAction(this, "ChangeJournal1", "Change &Journal");
    ChangeJournal1->setToolTip("Every change this program made to the instrument, newest first");
    connect(ChangeJournal1, &QAction::triggered, this, &TFrmMain::ShowChangeJournal);
    Instrument1->addAction(ChangeJournal1);
    Instrument1->setToolTipsVisible(true);

    Help1 = MakeMenu(bar, "Help1", "&Help");
    muHelp = MakeAction(this, "muHelp", "Help", QKeySequence(Qt::Key_F1));
    menuOptions = MakeAction(this, "menuOptions", "Options");
    About1 = MakeAction(this, "About1", "&About");
    Help1->addActions({muHelp, menuOptions, About1});

    // The toolbar's buttons are actions of their own, named and translated like the menu entries.
    ToolBar1 = addToolBar("Tools");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ToolButton1 = MakeAction(this, "ToolButton1", "&Open");
    ToolButton1->setToolTip("Load settings from file");
    ToolButton2 = MakeAction(this, "ToolButton2", "&Save");
    ToolButton2->setToolTip("Save Settings to File");
    ToolButton4 = MakeAction(this, "ToolButton4", "&Connect");
    ToolButton4->setToolTip("Connect to instrument");
    ToolButtonStart = MakeAction(this, "ToolButtonStart", "S&tart Session");
    ToolButtonStart->setToolTip("Start Setup of Instrument");
    ToolButtonEnd = MakeAction(this, "ToolButtonEnd", "&End Session");
    ToolButtonEnd->setToolTip("End Setup of Instrument");
    tbLang = MakeAction(this, "tbLang", "Language");
    ToolBar1->addActions({ToolButton1, ToolButton2, ToolButton4});
    ToolBar1->addSeparator();
    ToolBar1->addActions({ToolButtonStart, ToolButtonEnd});
    ToolBar1->addSeparator();
    ToolBar1->addAction(tbLang);

    LockedActions = new QActionGroup(this);
    LockedActions->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);

    // Every entry starts disabled; Provide enables what has a handler.
    for (QAction *a : findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly))
        if (!a->objectName().isEmpty())
            a->setEnabled(false);
    Provide(Connect2, [this] { Connect2Click(); });
    Provide(ToolButton4, [this] { Connect2Click(); });
    Provide(Exit1, [this] { close(); });
    Provide(muHelp, [this] { muHelpClick(); });
    Provide(menuOptions, [this] { menuOptionsClick(); });
    Provide(About1, [this] { About1Click(); });
    Provide(tbLang, [this] { tbLangClick(); });
}

QWidget *TFrmMain::AddTab(const char *name, const QString &caption)
{
    auto *page = new QWidget(PgCMain);
    page->setObjectName(name);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    PgCMain->addTab(page, caption);
    return page;
}

void TFrmMain::CreateTabs()
{
    PgCMain = new QTabWidget(this);
    PgCMain->setObjectName("PgCMain");
    TSDisplay = AddTab("TSDisplay", "Display");
    TSCalibration = AddTab("TSCalibration", "Calibration");
    TSSettings = AddTab("TSSettings", "Settings");
    TSLog = AddTab("TSLog", "Log");
    TSTest = AddTab("TSTest", "Test");
    TSDataStore = AddTab("TSDataStore", "Data Store");

    // The mimics' places: the display mimic fills its tab, the calibration mimic sits above the
    // calibration controls.
    DisplayMimicHost = new QWidget(TSDisplay);
    DisplayMimicHost->setObjectName("DisplayMimicHost");
    (new QVBoxLayout(DisplayMimicHost))->setContentsMargins(0, 0, 0, 0);
    TSDisplay->layout()->addWidget(DisplayMimicHost);
    CalMimicHost = new QWidget(TSCalibration);
    CalMimicHost->setObjectName("CalMimicHost");
    (new QVBoxLayout(CalMimicHost))->setContentsMargins(0, 0, 0, 0);
    TSCalibration->layout()->addWidget(CalMimicHost);

    TestTab = new TTestTab(Engine, TSTest);
    TSTest->layout()->addWidget(TestTab);
    PgCMain->setTabVisible(PgCMain->indexOf(TSTest), false);
    setCentralWidget(PgCMain);
}

void TFrmMain::CreateStatusBar()
{
    auto *bar = new TStatusBar(this);
    setStatusBar(bar);
    bar->setObjectName("StatusBar");
    bar->setSizeGripEnabled(true);
    StatusPanel0 = new QLabel(bar);
    StatusPanel0->setObjectName("StatusPanel0");
    StatusPanel0->setFixedWidth(120);
    StatusPanel1 = new QLabel(bar);
    StatusPanel1->setObjectName("StatusPanel1");
    StatusPanel1->setFixedWidth(200);
    IdentPanel = new TIdentPanel(bar);
    bar->addPermanentWidget(StatusPanel0);
    bar->addPermanentWidget(StatusPanel1);
    // The identification panel takes the width of its text, not all of the bar: the bar's
    // left part shows the short messages (a refused key, the data store's warnings).
    bar->addPermanentWidget(IdentPanel);
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
    const QString tip = can ? (log ? LangText("Messages", "PrintChartTip", "Print the chart")
                                   : LangText("Messages", "PrintSettingsTip", "Print the settings"))
                            : LangText("Messages", "NothingToPrint", NothingToPrintText);
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
