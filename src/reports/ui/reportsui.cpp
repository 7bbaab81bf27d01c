// The reports' menu entries: reading the allocation table and the factory test record.
#include "reports/ui/reportsui.h"

#include "base/ui/maincontrols.h"
#include "i18n/ui/LumsLangComp.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "reports/ui/AllocationReport.h"
#include "reports/ui/factory.h"
#include "settings/device.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"

#include <QAction>
#include <QMenu>

namespace
{

int Exec(TFrmMain &w, QDialog *dialog, bool translate)
{
    if (translate && w.Language)
        w.Language->ApplyLanguage(dialog);
    return w.Hooks.ExecModal ? w.Hooks.ExecModal(dialog) : dialog->exec();
}

} // namespace

TReportsUi::TReportsUi(TFrmMain &window) : QObject(&window), Window(window)
{
    // Right under the allocation report ("F" belongs to Full Passcode in this menu).
    FactoryTestResults1 = new QAction(QStringLiteral("Fa&ctory Test Results"), &Window);
    FactoryTestResults1->setObjectName(QStringLiteral("FactoryTestResults1"));
    const QList<QAction *> items = Window.Instrument1->actions();
    const qsizetype at = items.indexOf(Window.AllocationReport1);
    Window.Instrument1->insertAction(at >= 0 && at + 1 < items.size() ? items.at(at + 1) : nullptr,
                                     FactoryTestResults1);
    Window.Provide(Window.AllocationReport1, [this] { AllocationReport1Click(); });
    Window.Provide(FactoryTestResults1, [this] { FactoryTestResults1Click(); });
    const bool connected = Window.Engine->LinkOpen();
    Window.SetEnabledIfProvided(Window.AllocationReport1, connected);
    Window.SetEnabledIfProvided(FactoryTestResults1, connected);
}

void TReportsUi::AllocationReport1Click()
{
    if (!Window.Engine->LinkOpen())
        return;
    TFrmAllocationReport form(&Window);
    form.setWindowTitle(LangText("TFrmAllocationReport", "CaptionFor", "Allocation Report for %1")
                            .arg(Window.IdentPanel->Text()));
    form.AskPrinter = AskPrinter;
    form.OnError = [this](const QString &text) { Window.Reporter->Error(text); };
    TAllocationReport report;
    {
        TMainControlsGuard lock(&Window);
        TBusyGuard busy(Window.Reporter);
        report = ReadAllocationReport(*Window.Engine);
    }
    if (!report.Complete) {
        // A report with rows missing is not shown or printed as if it were the instrument's table.
        Window.Reporter->Error(
            LangText("Messages", "AllocationUnread", "The allocation report could not be read: %1.")
                .arg(QString::fromLatin1(report.Error)));
        return;
    }
    form.SetRows(report.Rows);
    Exec(Window, &form, true);
}

void TReportsUi::FactoryTestResults1Click()
{
    if (!Window.Engine->LinkOpen())
        return;
    TFrmFactory form(&Window);
    bool read = false;
    {
        TMainControlsGuard lock(&Window);
        TBusyGuard busy(Window.Reporter);
        read = Window.Engine->Transact(CmdRead, FactoryRegister, {}, true, true);
    }
    // No reply or a refusal: the transaction layer has said so.
    if (!read || Window.Engine->LastReply.ErrorFlag)
        return;
    bool notAvailable = false;
    const QByteArray serial = Window.Device ? Window.Device->SerialNumber : QByteArray();
    if (!form.ShowFactoryTest(Window.Engine->LastReply.Data, serial, &notAvailable)) {
        if (notAvailable)
            Window.Reporter->Message(LangText("Messages", "FactoryNotAvailable", FactoryNotAvailableText));
        return;
    }
    Exec(Window, &form, true);
}
