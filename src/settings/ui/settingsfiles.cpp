// Settings files in the desktop program.
#include "settings/ui/settingsfiles.h"

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
#include "shell/ui/maincontrols.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QMenu>

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
        return save ? QFileDialog::getSaveFileName(&w, title, {}, QString::fromLatin1(Filter))
                    : QFileDialog::getOpenFileName(&w, title, {}, QString::fromLatin1(Filter));
    };
    w.SetFileActions(nullptr, {[this] { Open1Click(); }, [this] { Save1Click(); }, {}});
    CompareWithFile1 = new QAction(QStringLiteral("Compare with File..."), &w);
    CompareWithFile1->setObjectName("CompareWithFile1");
    CompareWithFile1->setToolTip(QStringLiteral("Compare the instrument with a settings file"));
    w.File1->insertAction(w.Connect2, CompareWithFile1);
    w.Provide(CompareWithFile1, [this] { CompareWithFileClick(); });
}

void TSettingsFiles::Save1Click()
{
    TFrmMain &w = Ui.Window;
    if (Ui.Model->IsEmpty()) {
        // Nothing read, nothing to keep: an empty file would only look like a saved setup.
        w.Reporter->Info(QStringLiteral("No settings to save: start a session first."));
        return;
    }
    const QString chosen = AskFileName(true, QStringLiteral("Save Settings to File"));
    if (chosen.isEmpty())
        return;
    const QString path = SettingsFileName(chosen);
    TMainControlsGuard lock(&w);
    TBusyGuard busy(w.Reporter);
    // Menus not read yet are read first; a file is written only when every item could be read.
    const TSettingsSaveResult result = SaveSettings(*Ui.Model, *w.Device, path);
    if (!result.Ok())
        w.Reporter->Error(result.Message);
}

void TSettingsFiles::Open1Click()
{
    TFrmMain &w = Ui.Window;
    const QString path = AskFileName(false, QStringLiteral("Open Settings File"));
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
        w.Reporter->Error(QStringLiteral("%1: %2. Nothing was sent.").arg(path, error));
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
    return Ui.Window.FrmTraffic->Show(transfer, QStringLiteral("Write Settings to Instrument"));
}

void TSettingsFiles::SendPreviewed(const QList<QByteArray> &requests, bool includeCalibration)
{
    TFrmMain &w = Ui.Window;
    // Checked before any passcode is asked for: without a link nothing can be sent.
    if (!w.Engine->LinkOpen()) {
        w.Reporter->Error(QStringLiteral("Instrument not Connected"));
        return;
    }
    TMainControlsGuard lock(&w);
    TSettingsSender sender(w.Engine, Ui.Session, w.Reporter);
    sender.RunTransfer = [this](TSettingsTransfer &transfer) { return RunTransfer(transfer); };
    sender.OnBlankMimics = [&w] {
        if (w.Hooks.BlankDisplayMimic)
            w.Hooks.BlankDisplayMimic();
    };
    LastSend = sender.SendFile(requests, includeCalibration);
    // Nothing sent was already said (access refused, totals declined, session open); a transfer
    // that did not go through whole says what was refused and what was not sent, in one message.
    if (LastSend.Status != TSettingsSendResult::NotStarted && !LastSend.Complete())
        w.Reporter->Error(LastSend.Summary());
}

void TSettingsFiles::CompareWithFileClick()
{
    TFrmMain &w = Ui.Window;
    if (!w.Engine->LinkOpen())
        return;
    const QString path = AskFileName(false, QStringLiteral("Compare with Settings File"));
    if (path.isEmpty())
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
