// File > Open without an instrument: the settings file in the Settings tab, edited with the tab's own
// editors from the remembered structure of its model, and written by File > Save.
#include "gui_support.h"

#include "link/transact.h"
#include "settings/SendSettings.h"
#include "settings/menucache.h"
#include "settings/offline.h"
#include "settings/settingstree.h"
#include "settings/ui/SendSettings.h"
#include "settings/ui/offlineview.h"
#include "settings/ui/settingsfiles.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>

namespace
{

class OfflineWindowTest : public SimWindowTest
{
protected:
    OfflineWindowTest() : SimWindowTest(ReadAllIni) { ReadEntire = true; }
    void SetUp() override
    {
        Sim = MakeSim();
        OpenWindow();
        Ui = W->findChild<TSettingsUi *>();
        ASSERT_TRUE(Ui);
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
    }
    QList<QByteArray> Lines(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? SettingsFileLines(f.readAll()) : QList<QByteArray>();
    }
    TMenuNode *Show(const char *path)
    {
        TMenuNode *node = NodeAtPath(Ui->Model->Tree(), path);
        Ui->Tab->Select(node);
        Ui->Tab->ShowEditor(node);
        return node;
    }
    TSettingsUi *Ui = nullptr;
};

} // namespace

TEST_F(OfflineWindowTest, FileOpenedWithoutAnInstrumentIsEditedAndSaved)
{
    QTemporaryDir dir;
    QString chosen = dir.filePath("A.WSD");
    Ui->Files->AskFileName = [&](bool, const QString &) { return chosen; };
    StartSession(1, "5678");
    W->Save1->trigger();
    const QList<QByteArray> saved = Lines(chosen);
    ASSERT_FALSE(saved.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    W->Connect2->trigger();
    ASSERT_TRUE(PumpUntil([&] { return !W->Engine->LinkOpen(); }));

    W->Open1->trigger();
    ASSERT_TRUE(Ui->Offline->IsOpen()) << Reporter.Infos.join('\n').toStdString();
    QTabWidget *pages = W->PgCMain;
    EXPECT_TRUE(pages->isTabVisible(pages->indexOf(W->TSSettings)));
    EXPECT_EQ(pages->currentWidget(), W->TSSettings);
    EXPECT_EQ(Ui->Model->Root()->Text, "FULL SETUP");

    // The number page of the tab, with the range of the model and the decimals the file shows.
    TMenuNode *fullScale = Show("BUILD > FULLSCAL");
    ASSERT_EQ(Ui->Tab->pgcConfig->currentWidget(), Ui->Tab->pgNum);
    EXPECT_EQ(Ui->Tab->lblNumRange->text(), "( 0.01 to 9999.99 )");
    const struct {
        const char *typed;
        bool taken;
    } entries[] = {{"2500.555", false}, {"10000", false}, {"2 500", false}, {"2500.5", true}};
    for (const auto &e : entries) {
        SCOPED_TRACE(e.typed);
        const auto expected = TypedItemValue(*W->Device, *fullScale, e.typed);
        Reporter.Errors.clear();
        Ui->Tab->EdtNum->setText(e.typed);
        Ui->Tab->BtnNumOKClick();
        EXPECT_EQ(Reporter.Errors.isEmpty(), e.taken);
        EXPECT_EQ(expected.Ok(), e.taken);
        if (!e.taken) {
            EXPECT_EQ(Reporter.Errors.value(0), expected.Refusal);
        }
    }
    fullScale = NodeAtPath(Ui->Model->Tree(), "BUILD > FULLSCAL");
    EXPECT_EQ(fullScale->Text, "FULLSCAL : 2500.50 kg");

    // The option page lists the model's options.
    Show("BUILD > CABLE");
    ASSERT_EQ(Ui->Tab->pgcConfig->currentWidget(), Ui->Tab->pgOptions);
    ASSERT_EQ(Ui->Tab->CbxOptions->count(), 2);
    Ui->Tab->CbxOptions->setCurrentIndex(0);
    emit Ui->Tab->CbxOptions->activated(0);
    EXPECT_EQ(NodeAtPath(Ui->Model->Tree(), "BUILD > CABLE")->Text, "CABLE    : 4-WIRE");

    // An item that changes the menus is left to the instrument, and says so.
    Show("BUILD > UNITS");
    Reporter.Errors.clear();
    Ui->Tab->CbxOptions->setCurrentIndex(1);
    emit Ui->Tab->CbxOptions->activated(1);
    ASSERT_EQ(Reporter.Errors.size(), 1);
    EXPECT_TRUE(Reporter.Errors[0].contains("changes the instrument's menus"))
        << Reporter.Errors[0].toStdString();
    EXPECT_EQ(NodeAtPath(Ui->Model->Tree(), "BUILD > UNITS")->Text, "UNITS    : kg");
    EXPECT_TRUE(W->windowTitle().contains("A.WSD (no instrument: V500 V1.04)"))
        << W->windowTitle().toStdString();

    chosen = dir.filePath("B.WSD");
    W->Save1->trigger();
    const QList<QByteArray> edited = Lines(chosen);
    ASSERT_EQ(edited.size(), saved.size()) << Reporter.Errors.join('\n').toStdString();
    QList<QByteArray> changed;
    for (qsizetype i = 0; i < edited.size(); ++i)
        if (edited[i] != saved[i])
            changed << edited[i];
    EXPECT_EQ(changed, (QList<QByteArray>{"3: FULLSCAL : 2500.50 kg", "2012002F:3D0C2",
                                          "3: CABLE    : 4-WIRE", "20121106:0000"}));

    // An instrument connected takes the tab back.
    ConnectTo(*Sim);
    ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
    EXPECT_FALSE(Ui->Offline->IsOpen());
    EXPECT_FALSE(pages->isTabVisible(pages->indexOf(W->TSSettings)));
    EXPECT_TRUE(Ui->Model->IsEmpty());
    W->Connect2->trigger();
    ASSERT_TRUE(PumpUntil([&] { return !W->Engine->LinkOpen(); }));

    // Without the model's structure the file opens read-only, in the preview, with what to do.
    W->MenuStructures()->Clear();
    bool previewed = false;
    OnDialog = [&](QDialog *dialog) {
        previewed = qobject_cast<TFrmSendSettings *>(dialog) != nullptr;
        return int(QDialog::Rejected);
    };
    Reporter.Infos.clear();
    W->Open1->trigger();
    EXPECT_FALSE(Ui->Offline->IsOpen());
    EXPECT_TRUE(previewed);
    ASSERT_EQ(Reporter.Infos.size(), 1);
    EXPECT_TRUE(Reporter.Infos[0].contains("opens read-only") &&
                Reporter.Infos[0].contains("read its settings in full once"))
        << Reporter.Infos[0].toStdString();
}
