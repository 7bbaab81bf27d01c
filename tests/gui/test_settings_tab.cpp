// The Settings tab and the session dialogs against the simulated instrument: a session start with
// its passcode, number edits written to the instrument, out-of-range entries refused.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "link/ui/testtab.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "values/tools.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "settings/ui/EditIp.h"

namespace
{

class SettingsTabTest : public SimWindowTest
{
protected:
    SettingsTabTest() : SimWindowTest(ReadAllIni) { ReadEntire = true; }

    void SetUp() override
    {
        Sim = MakeSim();
        OpenWindow();
        Ui = W->findChild<TSettingsUi *>();
        ASSERT_TRUE(Ui);
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
    }

    void StartFull() { StartSession(1, "5678"); }
    // A full session whose menus are read as they open, in the window shown.
    void ShowLazyFullSession()
    {
        Entry = 1;
        ReadEntire = false;
        Passcodes = {"5678"};
        W->StartSession->trigger();
        ASSERT_TRUE(Ui->Session->SessionActive);
        W->resize(800, 600);
        W->show();
        ASSERT_TRUE(PumpUntil([&] { return Ui->Tab->tvMenuItems->isVisible(); }));
    }

    TMenuNode *Find(TMenuNode *node, const QByteArray &reg)
    {
        if (!node)
            return nullptr;
        if (node->Data && node->Data->Register == reg)
            return node;
        for (auto &child : node->Children)
            if (TMenuNode *found = Find(child.get(), reg))
                return found;
        return nullptr;
    }

    int64_t SimValue(int reg) { return Sim->Instrument().Model().Find(reg)->Value; }

    TSettingsUi *Ui = nullptr;
};

TEST_F(SettingsTabTest, StartSessionAsksThePasscodeAndShowsTheInstrumentsMenu)
{
    EXPECT_FALSE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSSettings)));
    EXPECT_FALSE(W->EndSession->isEnabled());
    // A wrong passcode brings the dialog back; the right one opens the safe level.
    Entry = 0;
    Passcodes = {"9999", "1234"};
    W->StartSession->trigger();
    EXPECT_EQ(MenuChoices,
              (QStringList{"Safe Setup Menu", "Full Setup Menu", "SETPOINT Menu", "PRINT Menu", "ID Menu"}));
    EXPECT_EQ(Prompts, (QStringList{"Enter Safe Passcode", "Enter Safe Passcode"}));
    ASSERT_TRUE(Ui->Session->SessionActive);
    TMenuNode *root = Ui->Model->Root();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->Text, "SAFE SETUP");
    EXPECT_TRUE(Find(root, "1104")) << "the whole menu was read";
    EXPECT_EQ(W->PgCMain->currentWidget(), W->TSSettings);
    EXPECT_TRUE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSSettings)));
    EXPECT_FALSE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSCalibration)));
    EXPECT_TRUE(W->EndSession->isEnabled());
    EXPECT_FALSE(W->Lock1->isEnabled());
    EXPECT_TRUE(W->Config.GetReadAllSettings());
    EXPECT_FALSE(W->TestTab->BtnSend->isEnabled());

    // Ending the session clears the tree and gives back the passcode and lock entries.
    W->EndSession->trigger();
    EXPECT_FALSE(Ui->Session->SessionActive);
    EXPECT_TRUE(Ui->Model->IsEmpty());
    EXPECT_EQ(W->PgCMain->currentWidget(), W->TSDisplay);
    EXPECT_TRUE(W->Lock1->isEnabled());
    EXPECT_FALSE(W->EndSession->isEnabled());
    EXPECT_TRUE(W->TestTab->BtnSend->isEnabled());
}

TEST_F(SettingsTabTest, MenuWordsComeFromTheLanguageFileWhenThereIsOne)
{
    Folder.Write("brellin.lang", "[TFrmReadSettings]\nSafeMenuEnglish=Safe (en)\nOperMenuEnglish=Operator\n"
                                 "[TFrmPasscode]\nTFrmPasscodeEnglish=Passcode (en)\n");
    Entry = 0;
    W->StartSession->trigger();
    // A word the file lacks keeps the built-in one; the prompt stays the passcode dialog's title.
    EXPECT_EQ(MenuChoices, (QStringList{"Safe (en)", "Full Setup Menu", "SETPOINT Operator", "PRINT Operator",
                                        "ID Operator"}));
    EXPECT_EQ(Prompts, QStringList{"Enter Safe Passcode"});
}

TEST_F(SettingsTabTest, CancelledPasscodeStartsNoSession)
{
    Entry = 1;
    W->StartSession->trigger();
    EXPECT_EQ(Prompts, QStringList{"Enter Full Passcode"});
    EXPECT_FALSE(Ui->Session->SessionActive);
    EXPECT_FALSE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSSettings)));
}

// The access read tells whether a level is locked: while it goes unanswered nothing is known, so
// no passcode is asked; the silence is said, and the next start asks as usual.
TEST_F(SettingsTabTest, AnUnansweredAccessReadAsksNoPasscodeAndSaysTheInstrumentIsSilent)
{
    TVornSimConfig faults;
    faults.DropOnRegister = 0x001A; // the safe level's access read and its one resend
    faults.DropOnTimes = 2;
    Sim->SetFaults(faults);
    Entry = 0;
    Passcodes = {"1234"};
    W->StartSession->trigger();
    EXPECT_TRUE(Prompts.isEmpty()) << Prompts.join(',').toStdString();
    EXPECT_FALSE(Ui->Session->SessionActive);
    EXPECT_TRUE(Reporter.Errors.join('\n').contains("Instrument not responding"))
        << Reporter.Errors.join('\n').toStdString();

    W->StartSession->trigger();
    EXPECT_EQ(Prompts, QStringList{"Enter Safe Passcode"});
    EXPECT_TRUE(Ui->Session->SessionActive);
}

TEST_F(SettingsTabTest, NumberEditWritesTheRawValueAndTheTreeShowsTheNewText)
{
    StartFull();
    EXPECT_TRUE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSCalibration)));
    TSettingsTab *tab = Ui->Tab;
    TMenuNode *node = Find(Ui->Model->Root(), "002F");
    ASSERT_TRUE(node);
    tab->Select(node);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    EXPECT_EQ(tab->EdtNum->text(), "3000.00");
    EXPECT_EQ(tab->lblNumRange->text(), "( 0.01 to 9999.99 )");
    EXPECT_EQ(tab->lblNumRegID->text(), "(Register: 002F)");

    // 12.5 becomes 12.50, that is 1250 (04E2) at the instrument.
    tab->EdtNum->setText("12.5");
    tab->btnNumOK->click();
    EXPECT_EQ(SimValue(0x002F), 1250);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    node = Find(Ui->Model->Root(), "002F");
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->Text.contains("12.50")) << node->Text.constData();
    EXPECT_EQ(node->Data->Value, "04E2");
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    EXPECT_EQ(tab->LblNumRegName->text(), QString::fromLatin1(node->Text));
}

TEST_F(SettingsTabTest, OutOfRangeEntryShowsTheRangeAndSendsNothing)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    TMenuNode *node = Find(Ui->Model->Root(), "002F");
    ASSERT_TRUE(node);
    tab->Select(node);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    const int64_t before = W->Device->RequestsSent;
    tab->EdtNum->setText("10000");
    tab->btnNumOK->click();
    EXPECT_EQ(Reporter.Errors, QStringList{"Out of Range: (0.01 to 9999.99)"});
    EXPECT_EQ(tab->EdtNum->text(), "10000.00");
    EXPECT_EQ(SimValue(0x002F), 300000);
    EXPECT_EQ(W->Device->RequestsSent, before);
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);

    // A field without any digit is refused too, not written as 0 (which this range holds).
    Reporter.Errors.clear();
    tab->Select(Find(Ui->Model->Root(), "1207"));
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    const int64_t before2 = W->Device->RequestsSent;
    for (const char *text : {"", "-.", " "}) {
        tab->EdtNum->setText(text);
        tab->btnNumOK->click();
    }
    // Refused by the number reader with its reason (no longer as out of range).
    ASSERT_EQ(Reporter.Errors.size(), 3);
    EXPECT_TRUE(Reporter.Errors[0].startsWith("Nothing was entered")) << Reporter.Errors[0].toStdString();
    EXPECT_TRUE(Reporter.Errors[1].startsWith("\"-.\" is not a number")) << Reporter.Errors[1].toStdString();
    EXPECT_TRUE(Reporter.Errors[2].startsWith("Nothing was entered")) << Reporter.Errors[2].toStdString();
    EXPECT_EQ(SimValue(0x1207), -20);
    EXPECT_EQ(W->Device->RequestsSent, before2);
}

TEST_F(SettingsTabTest, NumbersAreReadStrictlyAndARefusalSaysWhyAndSendsNothing)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    tab->Select(Find(Ui->Model->Root(), "1206")); // MOTION, 0.00 to 10.00 kg, holds 0.50
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    ASSERT_EQ(tab->EdtNum->text(), "0.50");
    const struct {
        const char *Typed;
        const char *Refusal; // the start of the message
    } rows[] = {
        {"1.2.3", "\"1.2.3\" is not a number: use digits with at most one decimal mark, such as 12.50"},
        {"2-0", "\"2-0\" is not a number"},
        {"1e3", "\"1e3\" is not a number"},
        {"0x10", "\"0x10\" is not a number"},
        {"1.500,00", "\"1.500,00\" holds both \".\" and \",\""},
        {"0.123", "\"0.123\" has more decimals than this entry shows: at most 2"},
        {"0,125", "\"0,125\" has more decimals"},
        {"kg", "\"kg\" is not a number"},
    };
    const int64_t before = W->Device->RequestsSent;
    for (const auto &r : rows) {
        SCOPED_TRACE(r.Typed);
        Reporter.Errors.clear();
        tab->EdtNum->setText(QString::fromLatin1(r.Typed));
        QTest::keyClick(tab->EdtNum, Qt::Key_Return);
        ASSERT_EQ(Reporter.Errors.size(), 1);
        EXPECT_TRUE(Reporter.Errors[0].startsWith(QString::fromLatin1(r.Refusal)))
            << Reporter.Errors[0].toStdString();
        // The text stays as typed, the field keeps the focus, and nothing went to the instrument.
        EXPECT_EQ(tab->EdtNum->text(), QString::fromLatin1(r.Typed));
        EXPECT_EQ(tab->window()->focusWidget(), tab->EdtNum);
        EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    }
    EXPECT_EQ(W->Device->RequestsSent, before);
    EXPECT_EQ(SimValue(0x1206), 50);

    // A comma alone is the decimal mark: 0,25 is 0.25 kg.
    Reporter.Errors.clear();
    tab->EdtNum->setText("0,25");
    tab->btnNumOK->click();
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    EXPECT_EQ(SimValue(0x1206), 25);
}

TEST_F(SettingsTabTest, AnInvalidIpAddressOrAnOverlongTextIsRefusedWithAMessage)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    W->show();
    W->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(W.get()));
    W->PgCMain->setCurrentWidget(W->TSSettings);
    Reporter.Errors.clear(); // the test folder has no front-panel picture to show
    tab->Select(Find(Ui->Model->Root(), "1331"));
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->TSIpEditor);
    const int64_t ipBefore = SimValue(0x1331);
    int64_t sent = W->Device->RequestsSent;
    tab->EditIpReg->setText("192.168.300.5");
    // Clicked with the mouse in a shown window, as a user does: the field's quiet focus rule must
    // not swallow the click.
    tab->EditIpReg->setFocus();
    QTest::mouseClick(tab->BtnIpEdit, Qt::LeftButton);
    EXPECT_EQ(Reporter.Errors,
              QStringList{"\"192.168.300.5\" is not an IP address: 300 is larger than 255; use "
                          "four numbers 0 to 255 separated by \".\", such as 192.168.1.5"});
    EXPECT_EQ(SimValue(0x1331), ipBefore) << "the old address is not written again";
    EXPECT_EQ(W->Device->RequestsSent, sent);
    EXPECT_EQ(tab->window()->focusWidget(), tab->EditIpReg);

    // HEADER1 takes 24 characters ("\" and two more are one): 25 are refused, not cut.
    TMenuNode *header = Find(Ui->Model->Root(), "1501");
    ASSERT_TRUE(header);
    tab->Select(header);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgString);
    TVornInstrument &instrument = Sim->Instrument();
    const QByteArray text = instrument.Model().ValueText(*instrument.Model().Find(0x1501));
    Reporter.Errors.clear();
    sent = W->Device->RequestsSent;
    const QString longer = QString(23, 'A') + "\\41B"; // 25 at the instrument, 28 typed
    tab->EdtString->setText(longer);
    tab->btnStringOK->click();
    EXPECT_EQ(Reporter.Errors,
              QStringList{
                  "The text has 25 characters, but HEADER1 takes at most 24: shorten it; nothing was sent"});
    EXPECT_EQ(tab->EdtString->text(), longer);
    EXPECT_EQ(W->Device->RequestsSent, sent);
    EXPECT_EQ(instrument.Model().ValueText(*instrument.Model().Find(0x1501)), text);
    Reporter.Errors.clear();
    tab->EdtString->setText(QString(22, 'A') + "\\41B");
    tab->btnStringOK->click();
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    EXPECT_EQ(instrument.Model().ValueText(*instrument.Model().Find(0x1501)), QByteArray(22, 'A') + "\\41B");
}

TEST_F(SettingsTabTest, OptionChoiceWritesItsIndexAndOtherTypesShowTheirPages)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    TMenuNode *cable = Find(Ui->Model->Root(), "1106");
    ASSERT_TRUE(cable);
    tab->Select(cable);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgOptions);
    EXPECT_EQ(tab->CbxOptions->count(), 2);
    EXPECT_EQ(tab->CbxOptions->currentText(), "6-WIRE");
    tab->CbxOptionsChg(0);
    EXPECT_EQ(SimValue(0x1106), 0);

    // An item without editor, and a placeholder-free menu.
    TMenuNode *diag = Find(Ui->Model->Root(), "1212");
    ASSERT_TRUE(diag);
    tab->Select(diag);
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgAccessDenied);
    EXPECT_EQ(tab->lblAccessDenied->text(), "Local Function only");
    tab->Select(Find(Ui->Model->Root(), "1100"));
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgNone);
}

TEST_F(SettingsTabTest, StringEditAndItsPrintTest)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    TMenuNode *name = Find(Ui->Model->Root(), "1336");
    ASSERT_TRUE(name);
    tab->Select(name);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgString);
    tab->EdtString->setText("SCALE2");
    tab->btnStringOK->click();
    EXPECT_EQ(Sim->Instrument().Model().ValueText(*Sim->Instrument().Model().Find(0x1336)), "SCALE2");

    // The instrument prints the text with its escapes decoded; the memo shows it until "OK".
    tab->EdtString->setText("HI\\41");
    tab->BtnStringTest->click();
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgStringTest);
    EXPECT_EQ(W->Engine->ReplyRoute(), RouteStringTest);
    ASSERT_TRUE(PumpUntil([&] { return tab->MemoStringTest->toPlainText().contains("HIA"); }))
        << tab->MemoStringTest->toPlainText().toStdString();
    EXPECT_FALSE(tab->MemoStringTest->toPlainText().contains("[CR]"));
    tab->BtnStringTestOk->click();
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgString);
    EXPECT_EQ(W->Engine->ReplyRoute(), RouteNone);
}

TEST_F(SettingsTabTest, IpAddressIsWrittenAsEightHexDigits)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    TMenuNode *ip = Find(Ui->Model->Root(), "1331");
    ASSERT_TRUE(ip);
    tab->Select(ip);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->TSIpEditor);
    tab->EditIpReg->SetIpAddressInt(0x0A000005);
    tab->BtnIpEdit->click();
    EXPECT_EQ(Sim->Instrument().Model().Find(0x1331)->Value, 0x0A000005);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
}

TEST_F(SettingsTabTest, AChangeThatAltersTheMenuReloadsItAndReopensTheEditor)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    TMenuNode *use = Find(Ui->Model->Root(), "1201");
    ASSERT_TRUE(use);
    EXPECT_FALSE(Find(Ui->Model->Root(), "1202"));
    tab->Select(use);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgOptions);
    tab->CbxOptionsChg(1);
    EXPECT_EQ(Sim->Instrument().Model().Find(0x1201)->Value, 1);
    EXPECT_TRUE(Find(Ui->Model->Root(), "1202")) << "the OPTIONS menu was read again";
    TMenuNode *selected = tab->Selected();
    ASSERT_TRUE(selected && selected->Data);
    EXPECT_EQ(selected->Data->Register, "1201");
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgOptions);
    EXPECT_EQ(tab->CbxOptions->currentText(), "TRAFFIC");
}

TEST_F(SettingsTabTest, BlockedSaveWritesWithoutTheSaveCommand)
{
    Config->SetAllowSaveBlock(true);
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    tab->btnBlockSaveSettings->click();
    EXPECT_TRUE(Ui->Session->SaveBlocked);
    EXPECT_TRUE(tab->btnSaveSettings->isEnabled());
    W->SettingsConfirmed = false;
    TMenuNode *e = Find(Ui->Model->Root(), "1104");
    ASSERT_TRUE(e);
    tab->Select(e);
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    tab->EdtNum->setText("5");
    tab->btnNumOK->click();
    EXPECT_EQ(SimValue(0x1104), 5);
    EXPECT_FALSE(W->SettingsConfirmed) << "no save was executed";
    tab->btnSaveSettings->click();
    EXPECT_TRUE(W->SettingsConfirmed);
    EXPECT_FALSE(Ui->Session->SaveBlocked);
    EXPECT_TRUE(tab->btnBlockSaveSettings->isEnabled());
}

TEST_F(SettingsTabTest, LeavingTheInstrumentWithItsSaveBlockedSavesFirst)
{
    Config->SetAllowSaveBlock(true);
    StartFull();
    Ui->Tab->btnBlockSaveSettings->click();
    EXPECT_TRUE(W->SaveBlocked);
    W->SettingsConfirmed = false;
    W->Connect2->trigger(); // disconnect
    EXPECT_TRUE(W->SettingsConfirmed) << "the save ran before the link closed";
    EXPECT_FALSE(W->SaveBlocked);
    EXPECT_FALSE(Ui->Session->SaveBlocked);
    ASSERT_TRUE(PumpUntil([&] { return !W->Engine->LinkOpen(); }));
    EXPECT_FALSE(Ui->Session->SessionActive);
    EXPECT_FALSE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSSettings)));
}

TEST_F(SettingsTabTest, EndingASessionLiftsTheSaveBlock)
{
    Config->SetAllowSaveBlock(true);
    StartFull();
    Ui->Tab->btnBlockSaveSettings->click();
    W->EndSession->trigger();
    EXPECT_FALSE(Ui->Session->SaveBlocked);
    EXPECT_FALSE(W->SaveBlocked);
    EXPECT_TRUE(Ui->Tab->btnBlockSaveSettings->isEnabled());
    EXPECT_FALSE(Ui->Tab->btnSaveSettings->isEnabled());
}

TEST_F(SettingsTabTest, SignedAndUnsignedNumbersKeepTheirRanges)
{
    StartFull();
    TSettingsTab *tab = Ui->Tab;
    tab->Select(Find(Ui->Model->Root(), "1207"));
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    EXPECT_EQ(tab->EdtNum->text(), "-2.0");
    EXPECT_EQ(tab->lblNumRange->text(), "( -20.0 to 20.0 )");
    tab->EdtNum->setText("-15.5");
    tab->btnNumOK->click();
    EXPECT_EQ(SimValue(0x1207), -155);
    EXPECT_EQ(Find(Ui->Model->Root(), "1207")->Data->Value, "FFFFFF65");

    tab->Select(Find(Ui->Model->Root(), "1334"));
    ASSERT_EQ(tab->pgcConfig->currentWidget(), tab->pgNum);
    EXPECT_EQ(tab->EdtNum->text(), "2222");
    tab->EdtNum->setText("65535");
    tab->btnNumOK->click();
    EXPECT_EQ(SimValue(0x1334), 65535);
    tab->EdtNum->setText("-1");
    tab->btnNumOK->click();
    EXPECT_EQ(Reporter.Errors, QStringList{"Out of Range: (1 to 65535)"});
    EXPECT_EQ(SimValue(0x1334), 65535);
}

TEST_F(SettingsTabTest, OperatorMenuAndMenusReadWhenOpened)
{
    // An operator menu asks for the safe level and shows that menu under the entry's text.
    Entry = 4;
    ReadEntire = false;
    Passcodes = {"1234"};
    W->StartSession->trigger();
    ASSERT_TRUE(Ui->Session->SessionActive);
    EXPECT_EQ(Prompts, QStringList{"Enter Safe Passcode"});
    EXPECT_EQ(Ui->Model->Root()->Text, "ID Menu");
    EXPECT_TRUE(Find(Ui->Model->Root(), "1F31"));
    EXPECT_FALSE(W->Config.GetReadAllSettings());
    W->EndSession->trigger();

    // The full menu without reading it all: a menu is read when the tree opens it.
    Entry = 1;
    Passcodes = {"5678"};
    W->StartSession->trigger();
    ASSERT_TRUE(Ui->Session->SessionActive);
    TMenuNode *build = Find(Ui->Model->Root(), "1100");
    ASSERT_TRUE(build);
    EXPECT_TRUE(build->HasPlaceholder());
    const int64_t before = W->Device->RequestsSent;
    Ui->Tab->Select(build->Children.front().get());
    EXPECT_EQ(Ui->Tab->pgcConfig->currentWidget(), Ui->Tab->pgNone);
    EXPECT_EQ(W->Device->RequestsSent, before) << "a placeholder asks the instrument nothing";
    Ui->Tab->tvMenuItems->expand(Ui->Model->IndexOf(build));
    EXPECT_FALSE(build->HasPlaceholder());
    EXPECT_TRUE(Find(build, "1104"));

    // "Refresh" reads the selected menu again and shows what the instrument holds now.
    Sim->Instrument().Model().Find(0x1104)->Value = 7;
    Ui->Tab->Select(build);
    Ui->Tab->tvMenuPopupRefreshClick();
    TMenuNode *e = Find(Ui->Model->Root(), "1104");
    ASSERT_TRUE(e);
    EXPECT_EQ(HexToInt(e->Data->Value), 7u);
}

TEST_F(SettingsTabTest, PopupMenuSelectsUnderThePointerAndExpandsAll)
{
    ASSERT_NO_FATAL_FAILURE(ShowLazyFullSession());
    TSettingsTab *tab = Ui->Tab;
    QApplication::processEvents();
    // Over empty space nothing stays selected and the empty page shows.
    emit tab->tvMenuItems->customContextMenuRequested(QPoint(5, tab->tvMenuItems->viewport()->height() - 2));
    tab->PopuptvMenu->hide();
    EXPECT_EQ(tab->Selected(), nullptr);
    EXPECT_EQ(tab->pgcConfig->currentWidget(), tab->pgNone);
    tab->tvMenupopupExpandClick(); // nothing selected: nothing happens

    // Over the root it is selected, and "Expand All" reads every menu below it.
    const QRect rootRect = tab->tvMenuItems->visualRect(Ui->Model->IndexOf(Ui->Model->Root()));
    emit tab->tvMenuItems->customContextMenuRequested(rootRect.center());
    tab->PopuptvMenu->hide();
    EXPECT_EQ(tab->Selected(), Ui->Model->Root());
    EXPECT_FALSE(Find(Ui->Model->Root(), "1331"));
    tab->tvMenupopupExpandClick();
    EXPECT_TRUE(Find(Ui->Model->Root(), "1331")) << "NETWORK below SERIAL was read";
    EXPECT_TRUE(tab->tvMenuItems->isExpanded(Ui->Model->IndexOf(Find(Ui->Model->Root(), "1100"))));
    W->hide();
}

TEST_F(SettingsTabTest, TheViewsOwnExpandAllAndStarKeyReadMenusAfterItsLayout)
{
    // The view asks for unread menus while it lays itself out; reading them there removed rows
    // the view was walking (a crash). They are read afterwards, each once.
    ASSERT_NO_FATAL_FAILURE(ShowLazyFullSession());
    TSettingsTab *tab = Ui->Tab;
    QList<QByteArray> sent;
    W->Engine->OnFrameSent = [&sent](const QByteArray &frame) { sent << FrameText(frame); };
    tab->tvMenuItems->expandAll();
    ASSERT_TRUE(PumpUntil([&] { return Find(Ui->Model->Root(), "1101") != nullptr; }));
    QTest::qWait(50);
    for (const char *menu : {"20141100", "20141200"})
        EXPECT_EQ(
            std::count_if(sent.begin(), sent.end(), [&](const QByteArray &s) { return s.startsWith(menu); }),
            1)
            << menu << " " << sent.join(' ').constData();

    // "*" on the root is the tab's Expand All: every menu below is read and opened.
    tab->tvMenuItems->setCurrentIndex(Ui->Model->IndexOf(Ui->Model->Root()));
    QTest::keyClick(tab->tvMenuItems, Qt::Key_Asterisk);
    EXPECT_TRUE(Find(Ui->Model->Root(), "1331")) << "NETWORK below SERIAL was read";
    EXPECT_TRUE(tab->tvMenuItems->isExpanded(Ui->Model->IndexOf(Find(Ui->Model->Root(), "1300"))));
    W->hide();
}

TEST_F(SettingsTabTest, ResetWithTheSaveBlockedSavesFirst)
{
    StartFull();
    Ui->Tab->btnBlockSaveSettings->click();
    W->SettingsConfirmed = false;
    W->menuIndicatorReset->trigger();
    EXPECT_TRUE(W->SettingsConfirmed);
    EXPECT_FALSE(Ui->Session->SaveBlocked);
    EXPECT_FALSE(W->SaveBlocked);
}

TEST(SessionDialogs, EnterAcceptsAndEscapeCancelsFromTheMenuList)
{
    TFrmReadSettings menu;
    menu.SetChoices({"Safe Setup Menu", "Full Setup Menu"});
    menu.show();
    menu.CBxMenu->setFocus();
    QTest::keyClick(menu.CBxMenu, Qt::Key_Return);
    EXPECT_EQ(menu.result(), QDialog::Accepted);
    menu.show();
    menu.CbxReadEntire->setFocus();
    QTest::keyClick(menu.CbxReadEntire, Qt::Key_Escape);
    EXPECT_EQ(menu.result(), QDialog::Rejected);

    TFrmPasscode pass;
    pass.show();
    QTest::keyClicks(pass.EdtPasscode, "1234");
    QTest::keyClick(pass.EdtPasscode, Qt::Key_Enter);
    EXPECT_EQ(pass.result(), QDialog::Accepted);
}

TEST(SessionDialogs, PasscodeFieldTakesSixDigitsOnlyAndTheMenuListSelectsItsFirstEntry)
{
    TFrmPasscode pass("Enter Full Passcode");
    EXPECT_EQ(pass.windowTitle(), "Enter Full Passcode");
    EXPECT_EQ(TFrmPasscode().windowTitle(), "Enter Passcode");
    QTest::keyClicks(pass.EdtPasscode, "12a3.4 5678");
    EXPECT_EQ(pass.EdtPasscode->text(), "123456");
    EXPECT_EQ(pass.EdtPasscode->echoMode(), QLineEdit::Password);

    TFrmReadSettings menu;
    EXPECT_EQ(menu.windowTitle(), "Read Instrument Settings");
    EXPECT_EQ(menu.Choice(), -1);
    menu.SetChoices({"Safe Setup Menu", "Full Setup Menu"});
    EXPECT_EQ(menu.Choice(), 0);
    EXPECT_FALSE(menu.CBxMenu->isEditable());
}

TEST(SettingsTabText, EscapesCountAsOneCharacterWhenCut)
{
    EXPECT_EQ(CutEscapedText("AB\\0DCDE", 4), "AB\\0DC");
    EXPECT_EQ(CutEscapedText("ABCD", 4), "ABCD");
    EXPECT_EQ(CutEscapedText("ABC\\0D", 4), "ABC\\0D");
    EXPECT_EQ(CutEscapedText("ABCDEF", 0), "ABCDEF");
}

} // namespace
