// Settings files in the desktop program.
#include "settings/ui/settingsfiles.h"

#include "journal/journal.h"
#include "journal/lastvisit.h"

#include "base/ui/maincontrols.h"
#include "i18n/ui/LumsLangComp.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "link/ui/trafficdlg.h"
#include "settings/SendSettings.h"
#include "settings/compare.h"
#include "settings/session.h"
#include "settings/settingssave.h"
#include "settings/settingssend.h"
#include "settings/settingstree.h"
#include "settings/ui/SendSettings.h"
#include "settings/ui/comparewin.h"
#include "settings/ui/offlineview.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <optional>
#include <utility>

namespace
{

int Exec(TFrmMain &w, QDialog *dialog)
{
    if (w.Language)
        w.Language->ApplyLanguage(dialog);
    return w.Hooks.ExecModal ? w.Hooks.ExecModal(dialog) : dialog->exec();
}

} // namespace

TSettingsFiles::TSettingsFiles(TSettingsUi &ui) : QObject(&ui), Ui(ui)
{
    TFrmMain &w = Ui.Window;
    AskFileName = [&w](bool save, const QString &title) {
        const QString filter = LangText("Messages", "SettingsFilter", Filter);
        return save ? QFileDialog::getSaveFileName(&w, title, {}, filter)
                    : QFileDialog::getOpenFileName(&w, title, {}, filter);
    };
    w.SetFileActions(nullptr, {[this] { Open1Click(); }, [this] { Save1Click(); }, {}});
    CompareWithFile1 = new QAction(QStringLiteral("Compare with File..."), &w);
    CompareWithFile1->setObjectName("CompareWithFile1");
    CompareWithFile1->setToolTip(QStringLiteral("Compare the instrument with a settings file"));
    w.File1->insertAction(w.Connect2, CompareWithFile1);
    w.Provide(CompareWithFile1, [this] { CompareWithFileClick(); });
    CompareWithLastVisit1 = new QAction(QStringLiteral("Compare with Last Visit"), &w);
    CompareWithLastVisit1->setObjectName("CompareWithLastVisit1");
    CompareWithLastVisit1->setToolTip(QStringLiteral(
        "List what changed on the instrument since its settings were last saved or read whole"));
    w.File1->insertAction(w.Connect2, CompareWithLastVisit1);
    w.Provide(CompareWithLastVisit1, [this] { CompareWithLastVisitClick(); });
}

void TSettingsFiles::Save1Click()
{
    TFrmMain &w = Ui.Window;
    if (Ui.Model->IsEmpty()) {
        // Nothing read, nothing to keep: an empty file would only look like a saved setup.
        w.Reporter->Info(
            LangText("Messages", "NoSettingsToSave", "No settings to save: start a session first."));
        return;
    }
    const QString chosen =
        AskFileName(true, LangText("Messages", "SaveSettingsCaption", "Save Settings to File"));
    if (chosen.isEmpty())
        return;
    const QString path = SettingsFileName(chosen);
    TMainControlsGuard lock(&w);
    TBusyGuard busy(w.Reporter);
    // Menus not read yet are read first; a file is written only when every item could be read.
    const TSettingsSaveResult result = SaveSettings(*Ui.Model, *w.Device, path);
    if (!result.Ok()) {
        w.Reporter->Error(result.Message);
        return;
    }
    // The instrument's latest known state, for "Compare with Last Visit".
    if (QString error; w.ChangeJournal() && !KeepLastVisit(path, w.ChangeJournal()->Folder(), &error))
        w.Reporter->Error(LangText("Messages", "LastVisitNotKept",
                                   "The settings were saved, but not kept as the last visit: %1")
                              .arg(error));
}

void TSettingsFiles::Open1Click()
{
    TFrmMain &w = Ui.Window;
    const QString path =
        AskFileName(false, LangText("Messages", "OpenSettingsCaption", "Open Settings File"));
    if (path.isEmpty())
        return;
    // The file is read and checked first: a file that cannot be sent ends no session.
    QList<QByteArray> lines;
    QString error;
    if (!ReadSettingsFile(path, lines, &error)) {
        w.Reporter->Error(error);
        return;
    }
    if (!CheckSettingsFile(lines, &error)) {
        w.Reporter->Error(LangText("Messages", "NothingSent", "%1: %2. Nothing was sent.").arg(path, error));
        return;
    }
    // Without an instrument the file is shown in the Settings tab to be edited and saved, when the
    // structure of its model is remembered; otherwise it is shown read-only in the preview.
    if (!w.Engine->LinkOpen() && Ui.Offline->Open(path, lines))
        return;
    const bool hadTree = !Ui.Model->IsEmpty() && !Ui.Offline->IsOpen();
    if (hadTree)
        Ui.EndSessionClick();
    {
        TFrmSendSettings preview(&w);
        preview.PreviewSettings(lines);
        preview.SetTarget(w.Engine->LinkOpen(), w.Device->SerialNumber, w.Device->ModelText);
        if (Exec(w, &preview) == QDialog::Accepted)
            SendPreviewed(lines, !preview.CBxCal->isHidden() && preview.CBxCal->isChecked());
    }
    if (hadTree)
        Ui.StartSessionClick();
}

bool TSettingsFiles::RunTransfer(TSettingsTransfer &transfer)
{
    transfer.SetStepInterval(TransferStepMs);
    return Ui.Window.FrmTraffic->Show(
        transfer, LangText("TFrmTraffic", "CaptionWrite", "Write Settings to Instrument"));
}

void TSettingsFiles::SendPreviewed(const QList<QByteArray> &requests, bool includeCalibration)
{
    TFrmMain &w = Ui.Window;
    // Checked before any passcode is asked for: without a link nothing can be sent.
    if (!w.Engine->LinkOpen()) {
        w.Reporter->Error(LangText("Messages", "NotConnected", "Instrument not Connected"));
        return;
    }
    TMainControlsGuard lock(&w);
    // The settings before they are overwritten, saved into the journal's folder: restoring them is
    // sending that file. The passcode typed for it opens the send too.
    QString snapshot;
    QList<QByteArray> snapshotLines;
    std::optional<QByteArray> typed;
    const auto ask = Ui.Session->OnPasscode;
    // (A session still open refuses the send before anything is read or sent.)
    if (w.ChangeJournal() && !Ui.Session->SessionActive) {
        Ui.Session->OnPasscode = [&typed, ask](int level, const QString &prompt) {
            typed = ask ? ask(level, prompt) : std::nullopt;
            return typed;
        };
        QString why;
        const bool taken = TakeSnapshot(HasCalibrationLine(requests), snapshot, snapshotLines, &why);
        Ui.Session->OnPasscode = ask;
        if (!taken &&
            !(w.Reporter && w.Reporter->Ask(LangText("Messages", "SendWithoutSnapshot",
                                                     "The instrument's settings could not be saved before "
                                                     "the send (%1). Send without a snapshot?")
                                                .arg(why))))
            return;
        if (!taken)
            snapshot.clear();
    }
    // The send asks for its passcode once more: the one typed for the snapshot answers that, any
    // later question goes to the user. (Declared here: the send calls it after this block.)
    bool given = false;
    if (typed) {
        Ui.Session->OnPasscode = [&given, &typed, ask](int level, const QString &prompt) {
            if (!std::exchange(given, true))
                return typed;
            return ask ? ask(level, prompt) : std::nullopt;
        };
    }
    TSettingsSender sender(w.Engine, Ui.Session, w.Reporter);
    if (!snapshot.isEmpty())
        sender.SetSnapshot(snapshot, snapshotLines);
    sender.RunTransfer = [this](TSettingsTransfer &transfer) { return RunTransfer(transfer); };
    sender.OnBlankMimics = [&w] {
        if (w.Hooks.BlankDisplayMimic)
            w.Hooks.BlankDisplayMimic();
    };
    LastSend = sender.SendFile(requests, includeCalibration);
    Ui.Session->OnPasscode = ask;
    // Nothing sent was already said (access refused, totals declined, session open); a transfer
    // that did not go through whole says what was refused and what was not sent, in one message.
    if (LastSend.Status != TSettingsSendResult::NotStarted && !LastSend.Complete())
        w.Reporter->Error(LastSend.Summary());
}

bool TSettingsFiles::TakeSnapshot(bool full, QString &path, QList<QByteArray> &lines, QString *why)
{
    TFrmMain &w = Ui.Window;
    if (!Ui.Session->StartSessionAt(full ? 1 : 0, true)) {
        *why = QStringLiteral("no session could be started to read them");
        return false;
    }
    path = w.ChangeJournal()->Folder() + QStringLiteral("/snapshot-") +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".WSD");
    TSettingsSaveResult saved;
    {
        TBusyGuard busy(w.Reporter);
        saved = SaveSettings(*Ui.Model, *w.Device, path);
    }
    Ui.EndSessionClick();
    QString error;
    if (!saved.Ok() || !ReadSettingsFile(path, lines, &error)) {
        *why = saved.Ok() ? error : saved.Message;
        return false;
    }
    PreviewSettings(lines);
    TChangeEvent event;
    event.Kind = "snapshot";
    event.Note = QStringLiteral("the settings before the send: ") + path;
    w.ChangeJournal()->Event(event, QStringLiteral("saved"));
    return true;
}

void TSettingsFiles::CompareWithFileClick()
{
    const QString path =
        AskFileName(false, LangText("Messages", "CompareCaption", "Compare with Settings File"));
    if (path.isEmpty())
        return;
    CompareWith(path);
}

void TSettingsFiles::CompareWithLastVisitClick()
{
    TFrmMain &w = Ui.Window;
    if (!w.Engine->LinkOpen())
        return;
    const QString path = w.ChangeJournal() ? LastVisitPath(w.ChangeJournal()->Folder()) : QString();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        w.Reporter->Info(LangText("Messages", "NoLastVisit",
                                  "No last visit is kept for this instrument yet: saving its settings, or "
                                  "ending a session that read every menu, keeps one."));
        return;
    }
    CompareWith(path);
}

void TSettingsFiles::CompareWith(const QString &path)
{
    TFrmMain &w = Ui.Window;
    if (!w.Engine->LinkOpen())
        return;
    QList<QByteArray> lines;
    QList<TSettingsEntry> entries;
    QString error;
    if (!ReadSettingsFile(path, lines, &error) || !SettingsEntries(lines, entries, &error)) {
        w.Reporter->Error(error);
        return;
    }
    QList<QByteArray> requests = lines;
    PreviewSettings(requests);
    TCompareResult result;
    {
        TMainControlsGuard lock(&w);
        TBusyGuard busy(w.Reporter);
        result = CompareWithInstrument(w.Engine, Ui.Session, entries, HasCalibrationLine(requests));
    }
    if (result.AccessRefused)
        return;
    TFrmCompare window(&w);
    window.Show(result, path);
    Exec(w, &window);
}
