// Helpers of the widget tests (see gui_support.h).
#include "gui_support.h"

#include "datastore/storelayout.h"
#include "journal/journal.h"
#include "link/IOIface.h"
#include "link/comms.h"
#include "link/transact.h"
#include "settings/session.h"
#include "settings/ui/comparewin.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/settingsui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include <QDir>
#include <QFile>

TProgramFolder::TProgramFolder(const QByteArray &ini, bool picture, const QByteArray &lang)
{
    if (!ini.isNull())
        Write("brellin.ini", ini);
    if (picture)
        Write("panel.jpg", "not decoded by the window itself");
    if (!lang.isNull())
        Write("brellin.lang", lang);
}

void TProgramFolder::Write(const QString &name, const QByteArray &text) const
{
    QFile f(Dir.filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

void TProgramFolder::CopyShippedPanel() const
{
    const QDir bin(QStringLiteral(BRELLIN_BIN_DIR));
    QDir(Dir.path()).mkpath("segs");
    for (const QString &name : QDir(bin.filePath("segs")).entryList({"*.bmp"}, QDir::Files))
        QFile::copy(bin.filePath("segs/" + name), File("segs/" + name));
    QFile::remove(File("panel.jpg"));
    QFile::copy(bin.filePath("panel.jpg"), File("panel.jpg"));
}

TScriptedInstrument::TScriptedInstrument(TFakeLink *link) : Link(link)
{
    link->Responder = [this](const QByteArray &frame) {
        Tcommsobj request;
        if (!request.Decode(FrameText(frame)))
            return;
        ++Requests;
        if (!Registers.contains(request.Register))
            return;
        Tcommsobj reply = request;
        reply.RequestFlag = false;
        reply.Data = Registers.value(request.Register);
        Link->Deliver(CrcFrame(reply.Encode()));
    };
}

void SimWindowTest::MakeSimWithOwnJournal()
{
    Cfg.SerialNumber = 7000000 + static_cast<int>(QCoreApplication::applicationPid() % 1000000);
    JournalSerial = QByteArray::number(Cfg.SerialNumber);
    Sim = MakeSim();
    JournalFolder = TChangeJournal::FolderFor(TDsdStoreLayout().StoreDir(), JournalSerial);
    QDir(JournalFolder).removeRecursively();
}

SimWindowTest::~SimWindowTest()
{
    if (!JournalFolder.isEmpty())
        QDir(JournalFolder).removeRecursively();
}

void SimWindowTest::ReadCompareWindow(QStringList &leaves, QString &summary)
{
    OnDialog = [&leaves, &summary](QDialog *dialog) {
        auto *window = qobject_cast<TFrmCompare *>(dialog);
        if (!window)
            return int(QDialog::Rejected);
        summary = window->lblCompared->text();
        for (QTreeWidgetItemIterator it(window->tvDifferences); *it; ++it)
            if ((*it)->childCount() == 0)
                leaves << (*it)->text(0) + "|" + (*it)->text(1) + "|" + (*it)->text(2);
        return int(QDialog::Rejected);
    };
}

void SimWindowTest::OpenWindow()
{
    Config = std::make_unique<TdatViewer>(Folder.Ini());
    W = CreateMainWindow(*Config, {}, &Reporter);
    ASSERT_TRUE(W);
    W->Engine->SetTickInterval(5);
    W->Hooks.ExecModal = [this](QDialog *dialog) { return AnswerDialog(dialog); };
}

std::unique_ptr<TVornSim> SimWindowTest::MakeSim() const
{
    TVornSimConfig cfg = Cfg;
    cfg.TcpPort = 0;
    auto sim = std::make_unique<TVornSim>(cfg);
    QString error;
    EXPECT_TRUE(sim->Start(&error)) << error.toStdString();
    return sim;
}

void SimWindowTest::ConnectTo(const TVornSim &sim)
{
    auto socket = std::make_unique<TIOIfaceSocket>();
    socket->SetHostText("127.0.0.1");
    socket->SetPort(sim.Port());
    W->ConnectWith(TConnectionChoice{std::move(socket), 0, 0});
    ASSERT_TRUE(PumpUntil([&] { return W->Engine->LinkOpen(); }));
}

void SimWindowTest::StartSession(int entry, const QString &passcode)
{
    Entry = entry;
    Passcodes = {passcode};
    W->StartSession->trigger();
    ASSERT_TRUE(W->findChild<TSettingsUi *>()->Session->SessionActive)
        << Reporter.Errors.join('\n').toStdString();
}

int SimWindowTest::AnswerDialog(QDialog *dialog)
{
    if (auto *menu = qobject_cast<TFrmReadSettings *>(dialog)) {
        ++SessionDialogs;
        MenuChoices.clear();
        for (int i = 0; i < menu->CBxMenu->count(); ++i)
            MenuChoices << menu->CBxMenu->itemText(i);
        if (CancelMenu)
            return QDialog::Rejected;
        menu->CBxMenu->setCurrentIndex(Entry);
        menu->CbxReadEntire->setChecked(ReadEntire);
        return QDialog::Accepted;
    }
    if (auto *pass = qobject_cast<TFrmPasscode *>(dialog)) {
        Prompts << pass->windowTitle();
        if (Passcodes.isEmpty())
            return QDialog::Rejected;
        pass->EdtPasscode->setText(Passcodes.takeFirst());
        return QDialog::Accepted;
    }
    return OnDialog ? OnDialog(dialog) : int(QDialog::Rejected);
}
