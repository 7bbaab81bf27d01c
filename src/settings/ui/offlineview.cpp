// The Settings tab on a settings file without an instrument.
#include "settings/ui/offlineview.h"

#include "base/ui/maincontrols.h"
#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/offline.h"
#include "settings/settingstree.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"

#include <QFileInfo>
#include <QTabWidget>

TOfflineView::TOfflineView(TSettingsUi &ui) : QObject(&ui), Ui(ui) {}

TOfflineView::~TOfflineView() = default;

bool TOfflineView::Open(const QString &path, const QList<QByteArray> &lines)
{
    Close();
    TFrmMain &w = Ui.Window;
    if (!w.MenuStructures())
        return false;
    auto offline = std::make_unique<TOfflineSettings>();
    if (!offline->Open(lines, *w.MenuStructures())) {
        w.Reporter->Info(LangText("Messages", "OfflineReadOnly", "%1 opens read-only. %2")
                             .arg(QFileInfo(path).fileName(), offline->Message));
        return false;
    }
    // A file teaches no structure, and an edit has no instrument to save it.
    SavedCache = w.Device->StructureCache;
    w.Device->StructureCache = nullptr;
    SavedSaveAfterEdit = Ui.Model->OnSaveAfterEdit;
    Ui.Model->OnSaveAfterEdit = nullptr;
    Offline = std::move(offline);
    // A write the file's model refuses is said at once, as the instrument's refusals are.
    w.OfflineExchange = [this](const QByteArray &request) {
        Offline->LastRefusal.clear();
        const QByteArray reply = Offline->Answer(request);
        if (request.mid(2, 2) == "12" && !Offline->LastRefusal.isEmpty())
            Ui.Window.Reporter->Error(Offline->LastRefusal);
        return reply;
    };
    bool shown = false;
    {
        TMainControlsGuard lock(&w);
        TBusyGuard busy(w.Reporter);
        shown = Offline->Show(*w.Device, *Ui.Model, false);
    }
    if (!shown) {
        const QString why = Offline->Message;
        Close();
        w.Reporter->Info(LangText("Messages", "OfflineReadOnly", "%1 opens read-only. %2")
                             .arg(QFileInfo(path).fileName(), why));
        return false;
    }
    Path = path;
    // The title says that the tree is a file's, not an instrument's.
    SavedTitle = w.windowTitle();
    w.setWindowTitle(LangText("Messages", "OfflineTitle", "%1 - %2 (no instrument: %3 %4)")
                         .arg(SavedTitle, QFileInfo(path).fileName(), QString::fromLatin1(Offline->Model()),
                              QString::fromLatin1(Offline->Version())));
    QTabWidget *pages = w.PgCMain;
    pages->setTabVisible(pages->indexOf(w.TSSettings), true);
    Ui.Tab->ShowNone();
    pages->setCurrentWidget(w.TSSettings);
    Ui.Tab->ExpandRoot();
    w.ShowStatus(LangText("Messages", "OfflineStatus", "Offline: %1 (%2 %3); File > Save writes it")
                     .arg(QFileInfo(path).fileName(), QString::fromLatin1(Offline->Model()),
                          QString::fromLatin1(Offline->Version())),
                 false);
    return true;
}

void TOfflineView::Close()
{
    if (!Offline)
        return;
    TFrmMain &w = Ui.Window;
    Ui.Tab->ShowNone();
    Ui.Model->Clear();
    w.OfflineExchange = nullptr;
    w.Device->StructureCache = SavedCache;
    w.Device->FullAccess = false;
    if (!w.Engine->LinkOpen())
        w.Device->ResetFacts();
    Ui.Model->OnSaveAfterEdit = SavedSaveAfterEdit;
    Offline.reset();
    Path.clear();
    if (!SavedTitle.isEmpty())
        w.setWindowTitle(SavedTitle);
    SavedTitle.clear();
    QTabWidget *pages = w.PgCMain;
    if (!w.SessionActive) {
        if (pages->currentWidget() == w.TSSettings)
            pages->setCurrentWidget(w.TSDisplay);
        pages->setTabVisible(pages->indexOf(w.TSSettings), false);
    }
}
