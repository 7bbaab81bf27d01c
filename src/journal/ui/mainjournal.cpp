// The main window's change journal: opened for the connected instrument, shown on request.
#include "datastore/storelayout.h"
#include "i18n/LumsLang.h"
#include "journal/ui/journalwindow.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "shell/ui/main.h"

void TFrmMain::OpenChangeJournal(bool connected)
{
    Engine->Changes = nullptr;
    Journal.reset();
    if (!connected || !Device || Device->SerialNumber.isEmpty())
        return;
    TDsdStoreLayout layout;
    layout.EnsureStoreDir();
    auto journal = std::make_unique<TChangeJournal>();
    QString error;
    if (!journal->Open(
            layout.StoreDir(),
            TJournalIdentity::OfThisProcess(Device->SerialNumber, Device->ModelText, Device->VersionText),
            &error)) {
        if (Reporter)
            Reporter->Error(
                LangText("Messages", "JournalUnwritable",
                         "The change journal of this instrument cannot be written (%1): the changes made "
                         "now are not recorded.")
                    .arg(error));
        return;
    }
    journal->SetAction(QStringLiteral("window"));
    Journal = std::move(journal);
    Engine->Changes = Journal.get();
}

void TFrmMain::ShowChangeJournal()
{
    TDsdStoreLayout layout;
    const QString serial = Journal ? QString::fromLatin1(Journal->Identity().Serial) : QString();
    TJournalWindow window(layout.StoreDir(), serial, Reporter, this);
    ExecModal(&window);
}
