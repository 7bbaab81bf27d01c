// The desktop program's product page, clock dialog, settings files and compare window against
// vornsim: what each window writes to the instrument, checked on the instrument itself.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "logging/ui/logui.h"
#include "run_program.h"
#include "settings/device.h"
#include "settings/menucache.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "settings/ui/NewProductDLG.h"
#include "settings/ui/SendSettings.h"
#include "settings/ui/comparewin.h"
#include "settings/ui/passcode.h"
#include "settings/ui/productpage.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/setclock.h"
#include "settings/ui/settingsfiles.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace
{

class SettingsWindowsTest : public SimWindowTest
{
protected:
    SettingsWindowsTest() : SimWindowTest(ReadAllIni) { ReadEntire = true; }

    void SetUp() override
    {
        Sim = MakeSim();
        Other = MakeSim();
        OpenWindow();
        Ui = W->findChild<TSettingsUi *>();
        ASSERT_TRUE(Ui);
        const auto shown = W->Engine->OnFrameSent;
        W->Engine->OnFrameSent = [this, shown](const QByteArray &frame) {
            Sent << FrameText(frame);
            if (shown)
                shown(frame);
        };
        Connect(*Sim);
    }

    void Connect(const TVornSim &sim)
    {
        ConnectTo(sim);
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
    }

    void StartSafe() { StartSession(0, "1234"); }

    TMenuNode *Find(TMenuNode *node, const QByteArray &reg, const QByteArray &text = {})
    {
        if (!node)
            return nullptr;
        if (node->Data && node->Data->Register == reg && (text.isEmpty() || node->Text == text))
            return node;
        for (auto &child : node->Children)
            if (TMenuNode *found = Find(child.get(), reg, text))
                return found;
        return nullptr;
    }
    TMenuNode *Find(const QByteArray &reg, const QByteArray &text = {})
    {
        return Find(Ui->Model->Root(), reg, text);
    }
    QList<QByteArray> ProductNodes()
    {
        QList<QByteArray> out;
        if (TMenuNode *menu = Find("B100"))
            for (auto &p : menu->Children)
                out << p->Text;
        return out;
    }
    QList<QByteArray> SimProducts(TVornSim &sim)
    {
        QList<QByteArray> out;
        for (const auto &p : sim.Instrument().Products)
            out << p.Name;
        return out;
    }
    QList<QByteArray> SentWith(const QByteArray &prefix) const
    {
        QList<QByteArray> out;
        for (const QByteArray &s : Sent)
            if (s.startsWith(prefix))
                out << s;
        return out;
    }

    std::unique_ptr<TVornSim> Other;
    TSettingsUi *Ui = nullptr;
    QList<QByteArray> Sent;
};

TEST_F(SettingsWindowsTest, AProductNameLongerThanTheInstrumentTakesIsRefusedNotCut)
{
    // The dialog itself: Ok with 13 characters where 12 are taken says so and stays open.
    TFrmNewProduct dialog(nullptr, &Reporter);
    dialog.Setup("", 12);
    dialog.show();
    dialog.EdtName->setText("WATERMELONS12"); // a paste is not cut either
    dialog.accept();
    EXPECT_EQ(dialog.EdtName->text(), "WATERMELONS12");
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(Reporter.Errors, QStringList{"The text has 13 characters, but a product name takes at most 12: "
                                           "shorten it; nothing was sent"});

    // From the product page: nothing reaches the instrument.
    StartSafe();
    Ui->Tab->Select(Find("B100"));
    ASSERT_EQ(Ui->Tab->pgcConfig->currentWidget(), Ui->Tab->PgProd);
    Reporter.Errors.clear();
    OnDialog = [&](QDialog *d) {
        if (auto *names = qobject_cast<TFrmNewProduct *>(d))
            names->EdtName->setText("WATERMELONS12");
        return int(QDialog::Accepted);
    };
    Sent.clear();
    Ui->Tab->PgProd->BtnAddProduct->click();
    EXPECT_EQ(Reporter.Errors.size(), 1);
    EXPECT_EQ(SimProducts(*Sim), (QList<QByteArray>{"APPLES", "PEARS", "PLUMS"}));
    EXPECT_TRUE(SentWith("2010B").isEmpty());
}

TEST_F(SettingsWindowsTest, ProductPageAddsRenamesAndDeletesOnTheInstrument)
{
    StartSafe();
    TSettingsTab *tab = Ui->Tab;
    tab->Select(Find("B100"));
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->PgProd);
    const QList<QPushButton *> buttons = tab->PgProd->findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_EQ(buttons[0]->text(), "Edit Product Name");
    EXPECT_EQ(buttons[1]->text(), "Add New Product");
    EXPECT_EQ(buttons[2]->text(), "Delete Product");
    // The product menu itself offers the add only: a rename or delete needs a product chosen.
    EXPECT_TRUE(tab->PgProd->BtnEditProduct->isHidden());
    EXPECT_TRUE(tab->PgProd->BtnDeleteProduct->isHidden());
    EXPECT_FALSE(tab->PgProd->BtnAddProduct->isHidden());

    // Add: the name limit comes from the instrument; the tree shows the new product.
    QString shownName, title, prompt;
    int limit = 0;
    QByteArray typed = "KIWI";
    OnDialog = [&](QDialog *dialog) {
        auto *names = qobject_cast<TFrmNewProduct *>(dialog);
        if (!names)
            return int(QDialog::Rejected);
        title = names->windowTitle();
        prompt = names->Label1->text();
        shownName = names->EdtName->text();
        limit = names->Limit();
        names->EdtName->setText(QString::fromLatin1(typed));
        return int(QDialog::Accepted);
    };
    tab->PgProd->BtnAddProduct->click();
    EXPECT_EQ(shownName, "");
    EXPECT_EQ(title, "New Product");
    EXPECT_EQ(limit, 12);
    EXPECT_EQ(SimProducts(*Sim), (QList<QByteArray>{"APPLES", "PEARS", "PLUMS", "KIWI"}));
    EXPECT_EQ(ProductNodes(), (QList<QByteArray>{"CURRENT", "APPLES", "PEARS", "PLUMS", "KIWI"}));

    // Rename the selected product: the dialog starts with its current name.
    tab->Select(Find("B100", "KIWI"));
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->PgProd);
    typed = "MANGO";
    EXPECT_EQ(tab->PgProd->LblProduct->text(), "Product 4: KIWI");
    tab->PgProd->BtnEditProduct->click();
    EXPECT_EQ(shownName, "KIWI");
    EXPECT_EQ(title, "Rename Product");
    EXPECT_EQ(prompt, "New name for the product KIWI : ");
    EXPECT_EQ(SimProducts(*Sim), (QList<QByteArray>{"APPLES", "PEARS", "PLUMS", "MANGO"}));
    EXPECT_TRUE(ProductNodes().contains("MANGO"));

    // Delete: declined sends nothing; confirmed deletes the selected product and reloads.
    tab->Select(Find("B100", "PEARS"));
    Reporter.Answer = false;
    Sent.clear();
    tab->PgProd->BtnDeleteProduct->click();
    EXPECT_EQ(Reporter.Questions.last(),
              "Delete the product PEARS?\nDeleting a product will clear all Totals.  Continue?");
    EXPECT_TRUE(SentWith("2010B").isEmpty());
    EXPECT_EQ(SimProducts(*Sim).size(), 4);
    Reporter.Answer = true;
    tab->Select(Find("B100", "PEARS"));
    tab->PgProd->BtnDeleteProduct->click();
    EXPECT_EQ(SimProducts(*Sim), (QList<QByteArray>{"APPLES", "PLUMS", "MANGO"}));
    EXPECT_EQ(ProductNodes(), (QList<QByteArray>{"CURRENT", "APPLES", "PLUMS", "MANGO"}));
    // Afterwards the product menu is selected: Delete is not left live on another product.
    EXPECT_EQ(tab->Selected(), Find("B100"));
    EXPECT_TRUE(tab->PgProd->BtnDeleteProduct->isHidden());
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
}

TEST_F(SettingsWindowsTest, ClockShowsTheInstrumentsTimeAndWritesInOrder)
{
    EXPECT_EQ(W->SetDateTime1->toolTip(), "Change Instrument Date and Time");
    ASSERT_TRUE(W->SetDateTime1->isEnabled());
    Ui->Now = [] { return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 59)); };
    const TReplyRoute before = W->Engine->ReplyRoute();
    QString shown;
    int answer = QDialog::Rejected;
    OnDialog = [&](QDialog *dialog) {
        auto *clock = qobject_cast<TFrmSetClock *>(dialog);
        if (!clock)
            return int(QDialog::Rejected);
        EXPECT_EQ(clock->windowTitle(), "Set Date and Time");
        // The instrument's own clock text arrives while the dialog is open.
        EXPECT_TRUE(PumpUntil([&] { return !clock->LblDateTime->text().isEmpty(); }));
        shown = clock->LblDateTime->text();
        return answer;
    };
    auto clockWrites = [this] { return SentWith("2012015"); };

    W->SetDateTime1->trigger(); // Cancel
    EXPECT_EQ(shown.size(), 19) << shown.toStdString();
    EXPECT_TRUE(clockWrites().isEmpty());
    EXPECT_EQ(W->Engine->ReplyRoute(), before);

    answer = QDialog::Accepted;
    Reporter.Answer = false; // "Send PC Date/Time to instrument?" declined
    Sent.clear();
    W->SetDateTime1->trigger();
    EXPECT_EQ(Reporter.Questions.last(), "Send PC Date/Time to instrument?");
    EXPECT_TRUE(clockWrites().isEmpty());
    EXPECT_TRUE(SentWith("201100D").isEmpty()) << "not locked either";

    Reporter.Answer = true;
    W->SetDateTime1->trigger();
    EXPECT_EQ(clockWrites(),
              (QList<QByteArray>{"20120154:7E8", "20120153:3", "20120152:5", "20120155:E", "20120156:7"}));
    EXPECT_TRUE(Sim->Instrument().Request("20110150:").contains("05/03/2024 14:07"));
    EXPECT_EQ(W->Engine->ReplyRoute(), before);
}

// --- settings files ---------------------------------------------------------------------------

TEST_F(SettingsWindowsTest, SavedFileSentThroughThePreviewMakesTheSecondInstrumentEqual)
{
    // The second instrument starts elsewhere: other values, other products, another calibration.
    TSimModel &m2 = Other->Instrument().Model();
    m2.Find(0x1104)->Value = 5;
    m2.Find(0x1205)->Value = 1;
    m2.Find(0x1336)->Text = "OTHER";
    Other->Instrument().Products = {{"BANANAS", 5, 0}};
    Sim->Instrument().Weight().CalZero = 4321;
    Ui->Files->TransferStepMs = 2;
    QTemporaryDir dir;
    QString chosen = dir.filePath("SETUP1");
    Ui->Files->AskFileName = [&](bool, const QString &) { return chosen; };

    // Full level: the file carries the calibration block.
    Entry = 1;
    Passcodes = {"5678"};
    W->StartSession->trigger();
    ASSERT_TRUE(Ui->Session->SessionActive);
    W->Save1->trigger();
    const QString file = dir.filePath("SETUP1.WSD");
    ASSERT_TRUE(QFileInfo(file).isFile()) << Reporter.Errors.join('\n').toStdString();

    Connect(*Other);
    chosen = file;
    bool calShown = false;
    QString root, target;
    bool includeCal = false;
    OnDialog = [&](QDialog *dialog) {
        auto *preview = qobject_cast<TFrmSendSettings *>(dialog);
        if (!preview)
            return int(QDialog::Rejected);
        EXPECT_EQ(preview->windowTitle(), "Settings to Send");
        target = preview->LblTarget->text();
        calShown = !preview->CBxCal->isHidden();
        root = preview->tvSettings->topLevelItem(0)->text(0);
        preview->CBxCal->setChecked(includeCal);
        return int(QDialog::Accepted);
    };
    for (bool withCal : {false, true}) {
        includeCal = withCal;
        Passcodes = {"5678"};
        Sent.clear();
        W->Open1->trigger();
        EXPECT_TRUE(calShown);
        EXPECT_EQ(root, " FULL SETUP");
        // The preview names the instrument it writes to.
        ASSERT_FALSE(W->Device->SerialNumber.isEmpty());
        EXPECT_TRUE(target.contains("serial number " + W->Device->SerialNumber)) << target.toStdString();
        EXPECT_TRUE(Reporter.Questions.contains("Existing Totals will be cleared. Continue?"));
        EXPECT_EQ(SentWith("201200F8").size(), withCal ? 1 : 0);
        EXPECT_EQ(Other->Instrument().Weight().CalZero == 4321, withCal);
        EXPECT_EQ(SentWith("201000ED:00").size(), 1);
    }
    EXPECT_EQ(SimProducts(*Other), SimProducts(*Sim));
    EXPECT_FALSE(Other->Instrument().SafeOpen || Other->Instrument().FullOpen) << "locked afterwards";
    const TProgramRun run = RunCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(Other->Port()), "settings",
                                    "compare", file, "--passcode", "5678"});
    EXPECT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
    EXPECT_EQ(run.Out.count('\n'), 1) << run.Out.toStdString();
}

TEST_F(SettingsWindowsTest, AFileASaveDoesNotWriteIsRefusedBeforeAnythingHappens)
{
    StartSafe();
    QTemporaryDir dir;
    const struct {
        const char *Text;
        const char *Error;
    } cases[] = {
        {"Date,Time,Weight\r\n05/03/2024,14:07:59,12.50\r\n", "not a settings file: line 1 is no menu title"},
        {"1: SAFE SETUP\r\n2: BUILD\r\n3: E        : 7\r\n20121104:0007\r\n20100016:\r\n",
         "line 5 is a second request under one title"},
        {"1: SAFE SETUP\r\n2: RESET\r\n20100016:\r\n", "line 3 executes register 0016"},
    };
    for (const auto &c : cases) {
        const QString file = dir.filePath("BAD.WSD");
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(c.Text);
        out.close();
        Ui->Files->AskFileName = [&](bool, const QString &) { return file; };
        bool previewed = false;
        OnDialog = [&](QDialog *) {
            previewed = true;
            return int(QDialog::Rejected);
        };
        Sent.clear();
        W->Open1->trigger();
        EXPECT_FALSE(previewed) << c.Error;
        ASSERT_FALSE(Reporter.Errors.isEmpty());
        EXPECT_TRUE(Reporter.Errors.last().contains(c.Error) &&
                    Reporter.Errors.last().endsWith("Nothing was sent."))
            << Reporter.Errors.last().toStdString();
        // The session goes on: nothing was ended, written or executed.
        EXPECT_TRUE(Ui->Session->SessionActive) << c.Error;
        EXPECT_TRUE(SentWith("2010").isEmpty() && SentWith("20120").isEmpty()) << c.Error;
        EXPECT_EQ(Sim->Instrument().Model().Find(0x1104)->Value, 1);
    }
}

TEST_F(SettingsWindowsTest, EditsAndClicksLeaveTheActiveProductAsItWas)
{
    Sim->Instrument().CurrentProduct = 1; // PEARS
    Sim->Instrument().Model().Find(0xB010)->Value = 2;
    StartSafe();
    TSettingsTab *tab = Ui->Tab;
    const struct {
        const char *What;
        std::function<void()> Act;
    } steps[] = {
        {"edit FULLSCAL",
         [&] {
             tab->Select(Find("002F"));
             ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
             tab->EdtNum->setText("2500.00");
             tab->btnNumOK->click();
             EXPECT_EQ(Sim->Instrument().Model().Find(0x002F)->Value, 250000);
         }},
        {"click PLUMS", [&] { tab->Select(Find("B100", "PLUMS")); }},
        {"click APPLES's target", [&] { tab->Select(Find(Find("B100", "APPLES"), "B020")); }},
        {"refresh the products",
         [&] {
             tab->Select(Find("B100"));
             tab->tvMenuPopupRefreshClick();
         }},
    };
    for (const auto &step : steps) {
        step.Act();
        EXPECT_EQ(Sim->Instrument().CurrentProduct, 1) << step.What;
        TMenuNode *active = Find("B010");
        ASSERT_NE(active, nullptr) << step.What;
        EXPECT_EQ(active->Text, "ACTIVE   : 2") << step.What;
    }
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
}

TEST_F(SettingsWindowsTest, OpenEndsTheSessionAndStartsItAgainAfterwards)
{
    Ui->Files->TransferStepMs = 2;
    QTemporaryDir dir;
    const QString file = dir.filePath("SMALL.WSD");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    // One value the instrument takes, one it refuses (E is 1 to 100).
    out.write("1: SAFE SETUP\r\n2: BUILD\r\n3: E        : 7\r\n20121104:0007\r\n3: FULLSCAL : 1.00 kg\r\n"
              "2012002F:0000\r\n");
    out.close();
    Ui->Files->AskFileName = [&](bool, const QString &) { return file; };
    bool previewShown = false;
    OnDialog = [&](QDialog *dialog) {
        auto *preview = qobject_cast<TFrmSendSettings *>(dialog);
        if (!preview)
            return int(QDialog::Rejected);
        previewShown = true;
        EXPECT_FALSE(Ui->Session->SessionActive) << "the session ended before the preview";
        EXPECT_TRUE(preview->CBxCal->isHidden());
        return int(QDialog::Accepted);
    };
    StartSafe();
    ASSERT_EQ(SessionDialogs, 1);
    Passcodes = {"1234", "1234"}; // the send's access, then the new session's
    W->Open1->trigger();
    EXPECT_TRUE(previewShown);
    EXPECT_EQ(Sim->Instrument().Model().Find(0x1104)->Value, 7);
    EXPECT_EQ(SessionDialogs, 2) << "the session dialog came again";
    EXPECT_TRUE(Ui->Session->SessionActive);
    // The refused line is listed at the end.
    ASSERT_FALSE(Reporter.Errors.isEmpty());
    EXPECT_TRUE(Reporter.Errors.last().contains("2012002F:0000")) << Reporter.Errors.join('\n').toStdString();

    // A session flag still set without a tree: nothing is sent.
    W->EndSession->trigger();
    Ui->Session->SessionActive = true;
    OnDialog = [](QDialog *dialog) {
        return int(qobject_cast<TFrmSendSettings *>(dialog) ? QDialog::Accepted : QDialog::Rejected);
    };
    Sent.clear();
    W->Open1->trigger();
    EXPECT_TRUE(Reporter.Errors.contains("Instrument Session already active"));
    EXPECT_TRUE(SentWith("2012").isEmpty());
    EXPECT_EQ(SessionDialogs, 2);
}

TEST_F(SettingsWindowsTest, CompareWindowShowsOnlyTheDifferences)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("A.WSD");
    ASSERT_EQ(RunCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->Port()), "settings", "save", file,
                      "--passcode", "1234"})
                  .Exit,
              0);
    TSimModel &m = Sim->Instrument().Model();
    m.Find(0x1104)->Value = 5;
    m.Find(0x1205)->Value = 1;
    m.Find(0x1336)->Text = "VORN 2  ";
    Ui->Files->AskFileName = [&](bool, const QString &) { return file; };
    QStringList leaves;
    QString summary;
    ReadCompareWindow(leaves, summary);
    Passcodes = {"1234"};
    ASSERT_TRUE(W->findChild<QAction *>("CompareWithFile1")->isEnabled());
    W->findChild<QAction *>("CompareWithFile1")->trigger();
    EXPECT_EQ(leaves, (QStringList{"E|5|1", "FILTER|2|8", "NAME|VORN 2  |VORN-1"}));
    // The product values are compared too (they were equal).
    EXPECT_TRUE(summary.startsWith("68 items compared, 3 different")) << summary.toStdString();
    EXPECT_EQ(m.Find(0x1104)->Value, 5);
}

} // namespace

// The menu structure is kept for next time as a speed-up: when it cannot be, the session is read
// all the same and the status line says why the next read is a full one.
TEST_F(SettingsWindowsTest, AMenuStructureThatCannotBeKeptIsSaidOnTheStatusLine)
{
    QTemporaryFile notAFolder;
    ASSERT_TRUE(notAFolder.open());
    W->MenuStructures()->Folder = notAFolder.fileName() + QStringLiteral("/menus");
    StartSafe();
    ASSERT_TRUE(Find("B100")); // the menus were read
    EXPECT_TRUE(W->statusBar()->currentMessage().startsWith("Menu structure not kept for next time: "))
        << W->statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(W->statusBar()->currentMessage().contains(notAFolder.fileName()))
        << W->statusBar()->currentMessage().toStdString();
}

TEST(FileEntries, ActOnTheActiveTabOrTheDefault)
{
    TProgramFolder folder;
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    auto w = CreateMainWindow(config, {}, &reporter);
    ASSERT_TRUE(w);
    QStringList calls;
    // The Log part registered its own entries at start; a later registration adds to them.
    auto *log = w->findChild<TLogUi *>();
    ASSERT_TRUE(log);
    log->AskPrinter = [&](QPrinter &) {
        calls << "printer asked";
        return false;
    };
    log->AskSaveFile = [&](const QString &, const QString &) {
        calls << "log save asked";
        return QString();
    };
    w->SetFileActions(nullptr, {[&] { calls << "open"; }, [&] { calls << "save"; }, {}});
    w->SetFileActions(w->TSLog, {[&] { calls << "log open"; }, {}, [&] { calls << "log print"; }});
    EXPECT_TRUE(w->Open1->isEnabled() && w->ToolButton1->isEnabled());
    EXPECT_TRUE(w->Save1->isEnabled() && w->ToolButton2->isEnabled());
    w->PgCMain->setCurrentWidget(w->TSDisplay);
    // The default prints the settings tree: greyed without a session, which has none.
    EXPECT_FALSE(w->Print1->isEnabled());
    w->SessionActive = true;
    w->UpdatePrintEntry();
    EXPECT_TRUE(w->Print1->isEnabled());
    w->Open1->trigger();
    w->ToolButton2->trigger();
    w->Print1->trigger(); // the settings printout kept by the default
    w->PgCMain->setCurrentWidget(w->TSLog);
    w->ToolButton1->trigger();
    w->Save1->trigger(); // the Log part's save kept
    w->Print1->trigger();
    EXPECT_EQ(calls,
              (QStringList{"open", "save", "printer asked", "log open", "log save asked", "log print"}));
}
