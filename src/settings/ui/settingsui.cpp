// Session start and end from the main window, and the passcode dialog behind the session.
#include "settings/ui/settingsui.h"

#include "journal/journal.h"
#include "journal/lastvisit.h"
#include "settings/settingssave.h"

#include "base/dmViewer.h"
#include "base/ui/maincontrols.h"
#include "i18n/ui/LumsLangComp.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "link/ui/testtab.h"
#include "settings/device.h"
#include "settings/products.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "settings/ui/offlineview.h"
#include "settings/ui/passcode.h"
#include "settings/ui/productpage.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/setclock.h"
#include "settings/ui/settingsfiles.h"
#include "settings/ui/settingstab.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace
{

int Exec(TFrmMain &w, QDialog *dialog, bool translate = true)
{
    if (translate && w.Language)
        w.Language->ApplyLanguage(dialog);
    return w.Hooks.ExecModal ? w.Hooks.ExecModal(dialog) : dialog->exec();
}

} // namespace

TSettingsUi::TSettingsUi(TFrmMain &window) : QObject(&window), Window(window)
{
    Model = new TSettingsTreeModel(Window.Device, this);
    Offline = new TOfflineView(*this);
    Session = new TSession(Window.Engine, Window.Device, Model, this);
    Session->Reporter = Window.Reporter;
    Tab = new TSettingsTab(Window.Engine, Window.Device, Model, Session, Window.Reporter, Window.TSSettings);
    if (!Window.TSSettings->layout())
        new QVBoxLayout(Window.TSSettings);
    Window.TSSettings->layout()->addWidget(Tab);

    Session->OnPasscode = [this](int, const QString &prompt) -> std::optional<QByteArray> {
        TFrmPasscode dialog(prompt, &Window);
        // Translated first: the prompt, not the dialog's own caption, is the title.
        if (Window.Language)
            Window.Language->ApplyLanguage(&dialog);
        dialog.setWindowTitle(prompt);
        dialog.SetRefused(Session->PasscodeRefused);
        if (Exec(Window, &dialog, false) != QDialog::Accepted)
            return std::nullopt;
        return dialog.EdtPasscode->text().toLatin1();
    };
    Session->OnSessionControls = [this](bool active, bool full) { SetSessionControls(active, full); };
    Session->OnSettingsConfirmed = [this] {
        Window.SettingsConfirmed = true;
        Window.IdentPanel->SetSettingsConfirmed(true);
    };
    Session->OnIdentityChanged = [this] { Window.ShowIdentification(); };

    Window.Hooks.SetSessionControls = [this](bool active, bool full) {
        Session->SetSessionControls(active, full);
    };
    Window.Hooks.ClearSessionTree = [this] { Model->Clear(); };
    Window.Hooks.ShowSaveBlockButtons = [this](bool visible) { Tab->ShowSaveBlockButtons(visible); };
    Window.Hooks.AllowIndicatorSave = [this] {
        Tab->btnSaveSettingsClick();
        Window.SaveBlocked = false;
    };
    Window.Hooks.DropSaveBlock = [this] {
        const bool blocked = Session->SaveBlocked || Window.SaveBlocked;
        Session->SaveBlocked = false;
        Window.SaveBlocked = false;
        Tab->btnBlockSaveSettings->setEnabled(true);
        Tab->btnSaveSettings->setEnabled(false);
        return blocked;
    };
    // The window asks its own flag before it lets go of the instrument: keep it in step.
    auto follow = [this] { Window.SaveBlocked = Session->SaveBlocked; };
    connect(Tab->btnBlockSaveSettings, &QPushButton::clicked, this, follow);
    connect(Tab->btnSaveSettings, &QPushButton::clicked, this, follow);

    Tab->PgProd->ExecModal = [this](QDialog *dialog) { return Exec(Window, dialog); };
    Clock = new TFrmSetClock(&Window);
    Files = new TSettingsFiles(*this);
    Window.SetDateTime1->setToolTip(QStringLiteral("Change Instrument Date and Time"));
    Window.SetDateTime1->setStatusTip(Window.SetDateTime1->toolTip());
    Window.Provide(Window.SetDateTime1, [this] { SetDateTime1Click(); });

    // Each entry talks to the instrument with the main controls disabled meanwhile.
    auto connected = [this] { return Window.Engine->LinkOpen(); };
    Window.Provide(Window.StartSession, [this] { StartSessionClick(); });
    Window.Provide(Window.ToolButtonStart, [this] { StartSessionClick(); });
    Window.Provide(Window.EndSession, [this] { EndSessionClick(); });
    Window.Provide(Window.ToolButtonEnd, [this] { EndSessionClick(); });
    Window.Provide(Window.N4, [this, connected] {
        TMainControlsGuard lock(&Window);
        if (connected())
            Window.Device->ExtendSession();
    });
    // A passcode entry says which level is open afterwards.
    for (int level : {1, 2})
        Window.Provide(level == 1 ? Window.SafePasscode1 : Window.FullPasscode1, [this, connected, level] {
            TMainControlsGuard lock(&Window);
            if (connected() && Session->RequestAccess(level))
                Window.Reporter->Info(level == 1 ? LangText("Messages", "LevelOpenSafe", LevelOpenSafe)
                                                 : LangText("Messages", "LevelOpenFull", LevelOpenFull));
        });
    Window.Provide(Window.Lock1, [this, connected] {
        TMainControlsGuard lock(&Window);
        if (connected())
            Session->LockInstrument();
    });
    Window.Provide(Window.menuIndicatorReset, [this] { menuIndicatorResetClick(); });
    Window.Hooks.EndSession = [this] { EndSessionClick(); };
    SetSessionControls(false, false);
    // The tips in the language just chosen.
    connect(&Window, &TFrmMain::LanguageApplied, this, [this] { ShowSessionTips(Window.SessionActive); });
    if (!Window.Engine->LinkOpen()) {
        for (QAction *a : Window.Instrument1->actions())
            a->setEnabled(false);
        Window.ToolButtonStart->setEnabled(false);
    }
    Tab->ShowSaveBlockButtons(Window.Config.GetAllowSaveBlock());
}

void TSettingsUi::StartSessionClick()
{
    if (!Window.Engine->LinkOpen() || !StartSessionLocked())
        return;
    // After the controls are free again: the Log tab, where a session may be started too, refuses
    // to be left while an operation runs.
    Tab->ShowNone();
    Window.PgCMain->setCurrentWidget(Window.TSSettings);
    Window.Engine->SetReplyRoute(RouteNone);
    Tab->ExpandRoot();
}

bool TSettingsUi::StartSessionLocked()
{
    TMainControlsGuard lock(&Window);
    TFrmReadSettings dialog(&Window);
    QString safe = "Safe Setup Menu", full = "Full Setup Menu", oper = "Menu";
    if (Window.Language && QFileInfo(Window.Config.ProgramFile("lang")).isFile()) {
        auto word = [&](const char *key, QString &into) {
            const QString text = Window.Language->GetText(&dialog, key);
            if (!text.isEmpty())
                into = text;
        };
        word("SafeMenu", safe);
        word("FullMenu", full);
        word("OperMenu", oper);
    }
    const QStringList choices = Session->MenuChoices(safe, full, oper);
    if (choices.isEmpty())
        return false;
    dialog.SetChoices(choices);
    dialog.CbxReadEntire->setChecked(Window.Config.GetReadAllSettings());
    if (Exec(Window, &dialog) != QDialog::Accepted)
        return false;
    const bool readEntire = dialog.CbxReadEntire->isChecked();
    Window.Config.SetReadAllSettings(readEntire);
    return Session->StartSession(dialog.Choice(), readEntire);
}

void TSettingsUi::EndSessionClick()
{
    if (!Window.Engine->LinkOpen())
        return;
    TMainControlsGuard lock(&Window);
    // The instrument's latest known state: a session that read every menu keeps it as the last
    // visit, which "Compare with Last Visit" compares the instrument with next time.
    if (Window.ChangeJournal() && Session->SessionActive && Session->ReadEntireMenu && !Model->IsEmpty())
        SaveSettings(*Model, *Window.Device, LastVisitPath(Window.ChangeJournal()->Folder()));
    Session->EndSession();
    // The session's end lifted any save block.
    Tab->btnBlockSaveSettings->setEnabled(true);
    Tab->btnSaveSettings->setEnabled(false);
    Window.SaveBlocked = false;
}

void TSettingsUi::SetDateTime1Click()
{
    TTransactionEngine *engine = Window.Engine;
    if (!engine->LinkOpen())
        return;
    Clock->LblDateTime->clear();
    // The clock route: the link timer polls 0x0150 and the dialog shows the replies.
    const TReplyRoute previous = engine->ReplyRoute();
    engine->SetRouteConsumer(RouteSetClock, Clock);
    engine->SetReplyRoute(RouteSetClock);
    const int result = Exec(Window, Clock);
    engine->SetReplyRoute(previous);
    engine->SetRouteConsumer(RouteSetClock, nullptr);
    if (result != QDialog::Accepted || !Window.Reporter ||
        !Window.Reporter->Ask(LangText("TFrmSetClock", "SendQuestion", TFrmSetClock::SendQuestion)))
        return;
    TMainControlsGuard lock(&Window);
    TClockSetResult set;
    {
        TBusyGuard busy(Window.Reporter);
        SetInstrumentClock(engine, Session, Now(), &set);
    }
    // A clock set only in part says which of its parts the instrument holds.
    if (!set.Complete())
        Window.Reporter->Error(set.Text());
}

void TSettingsUi::menuIndicatorResetClick()
{
    if (!Window.Engine->LinkOpen() ||
        !Window.Reporter->Ask(LangText("Messages", "ResetQuestion", ResetQuestion)))
        return;
    TMainControlsGuard lock(&Window);
    if (Session->SaveBlocked) {
        Tab->btnSaveSettingsClick();
        Window.SaveBlocked = false;
        Window.Engine->WaitTicks(20);
    }
    Window.Engine->Transact(CmdExecute, 0x0016, {}, false, false);
    // The instrument starts afresh with its session closed: the window shows none either.
    if (Session->SessionActive) {
        Model->Clear();
        Session->SetSessionControls(false, false);
    }
}

void TSettingsUi::ShowSessionTips(bool active)
{
    Window.TestTab->SetSendAllowed(!active);
    const QString extend =
        active
            ? LangText("Messages", "ExtendSessionTip", "Renew the session now (it is also renewed every 5 s)")
            : LangText("Messages", "NoSessionTip", "No session is open: start one first");
    Window.N4->setToolTip(extend);
    Window.N4->setStatusTip(extend);
}

void TSettingsUi::SetSessionControls(bool active, bool fullAccess)
{
    // A file shown without an instrument gives way to the instrument.
    if (Offline->IsOpen() && (active || Window.Engine->LinkOpen()))
        Offline->Close();
    QTabWidget *pages = Window.PgCMain;
    if (!active) {
        QWidget *current = pages->currentWidget();
        if (current == Window.TSSettings || current == Window.TSCalibration) {
            pages->setCurrentWidget(Window.TSDisplay);
            Window.Engine->SetReplyRoute(RouteDisplay);
        }
        Tab->ShowNone();
    }
    pages->setTabVisible(pages->indexOf(Window.TSSettings), active);
    pages->setTabVisible(pages->indexOf(Window.TSCalibration), active && fullAccess);
    // A session that opens reads the data plate the panel picture shows.
    if (active && !Window.SessionActive)
        Window.ShowCapacityPlate(true);
    // Extend Session renews an open session; without one there is nothing to renew.
    Window.SetEnabledIfProvided(Window.N4, active);
    ShowSessionTips(active);
    Window.SetEnabledIfProvided(Window.ToolButtonEnd, active);
    Window.SetEnabledIfProvided(Window.EndSession, active);
    for (QAction *a : {Window.Lock1, Window.FullPasscode1, Window.SafePasscode1})
        Window.SetEnabledIfProvided(a, !active && Window.Engine->LinkOpen());
    Window.SessionActive = active;
    Window.UpdatePrintEntry();
    Files->CompareWithFile1->setEnabled(Window.Engine->LinkOpen());
}
