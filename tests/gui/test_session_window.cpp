// The main window during a session against the simulated instrument: what a click can do while a
// menu read waits on a slow instrument, a cancelled restart, passcodes, and the session's end by
// Reset and Exit.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "base/ui/maincontrols.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

namespace
{

class SessionWindowTest : public SimWindowTest
{
protected:
    SessionWindowTest() { Entry = 1; }

    // The simulated instrument answers every request delayMs late.
    void Start(int delayMs = 0)
    {
        Cfg.DelayMs = delayMs;
        Sim = MakeSim();
        OpenWindow();
        Ui = W->findChild<TSettingsUi *>();
        ASSERT_TRUE(Ui);
        W->Hooks.ExecModal = [this](QDialog *dialog) {
            // What the user sees: the caption, the prompt inside, a refusal note.
            dialog->show();
            QString seen = dialog->windowTitle();
            if (auto *prompt = dialog->findChild<QLabel *>("LblPrompt"); prompt && prompt->isVisible())
                seen += " | " + prompt->text();
            if (auto *note = dialog->findChild<QLabel *>("LblRefused"); note && note->isVisible())
                seen += " | " + note->text();
            dialog->hide();
            Dialogs << seen;
            return AnswerDialog(dialog);
        };
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
    }

    void StartFull() { StartSession(1, "5678"); }

    // The first menu below the root that has not been read yet.
    TMenuNode *UnreadMenu()
    {
        for (auto &child : Ui->Model->Root()->Children)
            if (child->HasPlaceholder())
                return child.get();
        return nullptr;
    }

    QWidget *ToolButton(QAction *action) { return W->ToolBar1->widgetForAction(action); }

    TSettingsUi *Ui = nullptr;
    QStringList Dialogs;
};

TEST_F(SessionWindowTest, ClicksWhileAMenuReadWaitsChangeNothingAndTheReadEnds)
{
    Start(15);
    StartFull();
    TMenuNode *menu = UnreadMenu();
    ASSERT_TRUE(menu);
    const QModelIndex index = Ui->Model->IndexOf(menu);

    // During the read: everything that could start another operation is disabled, and clicks on
    // End Session (button, menu entry, shortcut-less trigger) do nothing.
    bool sawRead = false;
    QTimer::singleShot(0, W.get(), [&] {
        sawRead = W->Engine->Busy();
        EXPECT_FALSE(W->PgCMain->isEnabled());
        for (QAction *a :
             {W->EndSession, W->ToolButtonEnd, W->StartSession, W->Connect2, W->Exit1, W->About1})
            EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
        QTest::mouseClick(ToolButton(W->ToolButtonEnd), Qt::LeftButton);
        W->EndSession->trigger();
        QTest::mouseClick(Ui->Tab->tvMenuItems->viewport(), Qt::RightButton);
    });
    Ui->Tab->tvMenuItems->expand(index);
    EXPECT_TRUE(sawRead);
    EXPECT_TRUE(Ui->Session->SessionActive);
    ASSERT_EQ(Ui->Model->Root()->Children.size() > 0, true);
    EXPECT_FALSE(UnreadMenu() == menu) << "the menu was read";
    EXPECT_TRUE(W->PgCMain->isEnabled());
    EXPECT_TRUE(W->EndSession->isEnabled());
    EXPECT_TRUE(W->ToolButtonEnd->isEnabled());
    EXPECT_FALSE(W->StartSession->isEnabled() && W->Lock1->isEnabled()) << "the session entries as before";
    EXPECT_TRUE(W->Exit1->isEnabled());
}

TEST_F(SessionWindowTest, ASessionEndedWhileTheTreeIsReadLeavesNoStaleNodes)
{
    Start(15);
    StartFull();
    // Whatever still reaches the end of the session during a read: the read notices that its tree
    // went and stops without touching it (the sanitizer build sees any stale access).
    struct Case {
        const char *name;
        std::function<void()> read;
    };
    const Case cases[] = {
        {"menu opened", [&] { Ui->Tab->tvMenuItems->expand(Ui->Model->IndexOf(UnreadMenu())); }},
        {"Expand All",
         [&] {
             Ui->Tab->Select(Ui->Model->Root());
             Ui->Tab->tvMenupopupExpandClick();
         }},
        {"Refresh",
         [&] {
             Ui->Tab->Select(Ui->Model->Root());
             Ui->Tab->tvMenuPopupRefreshClick();
         }},
        {"session start", [&] { W->StartSession->trigger(); }},
    };
    for (const Case &c : cases) {
        if (!Ui->Session->SessionActive)
            StartFull();
        // The session ends at the first wait after the tree was emptied for the new menu, or at
        // the first wait of the read.
        bool ended = false;
        auto end = [&] {
            if (ended)
                return;
            ended = W->Engine->Busy();
            Ui->EndSessionClick();
        };
        QMetaObject::Connection onReset;
        if (QByteArray(c.name) == "session start") {
            Passcodes = {"5678"};
            onReset = QObject::connect(Ui->Model, &QAbstractItemModel::modelReset, W.get(),
                                       [&] { QTimer::singleShot(0, W.get(), end); });
        } else {
            QTimer::singleShot(0, W.get(), end);
        }
        c.read();
        QObject::disconnect(onReset);
        EXPECT_TRUE(ended) << c.name;
        EXPECT_TRUE(Ui->Model->IsEmpty()) << c.name;
        EXPECT_FALSE(Ui->Session->SessionActive) << c.name;
        EXPECT_FALSE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSSettings))) << c.name;
        EXPECT_TRUE(W->PgCMain->isEnabled()) << c.name;
    }
}

// What a session looks like in the window.
QStringList SessionLook(TFrmMain &w, TSettingsUi &ui)
{
    QStringList look;
    for (const QByteArray &line : IndentedTreeLines(ui.Model->Tree()))
        look << QString::fromLatin1(line);
    look << QString("active %1 full %2").arg(ui.Session->SessionActive).arg(ui.Session->FullSession);
    look << QString("tabs %1 %2 shown %3")
                .arg(w.PgCMain->isTabVisible(w.PgCMain->indexOf(w.TSSettings)))
                .arg(w.PgCMain->isTabVisible(w.PgCMain->indexOf(w.TSCalibration)))
                .arg(w.PgCMain->currentWidget()->objectName());
    look << QString("end %1 lock %2").arg(w.EndSession->isEnabled()).arg(w.Lock1->isEnabled());
    return look;
}

TEST_F(SessionWindowTest, ACancelledRestartLeavesTheRunningSessionAsItWas)
{
    Start();
    // An operator menu at the safe level; the full level stays locked.
    Entry = 2;
    Passcodes = {"1234"};
    W->StartSession->trigger();
    ASSERT_TRUE(Ui->Session->SessionActive);
    const QStringList before = SessionLook(*W, *Ui);
    ASSERT_GT(before.size(), 5);

    struct Case {
        const char *name;
        bool cancelMenu;
        QString lastDialog;
    };
    const Case cases[] = {
        {"session dialog cancelled", true, "Read Instrument Settings | Read Instrument Settings"},
        {"passcode cancelled", false, "Enter Full Passcode | Enter Full Passcode"},
    };
    for (const Case &c : cases) {
        CancelMenu = c.cancelMenu;
        Entry = 1;
        Passcodes.clear();
        Dialogs.clear();
        W->StartSession->trigger();
        EXPECT_EQ(Dialogs.value(Dialogs.size() - 1), c.lastDialog) << c.name;
        EXPECT_EQ(SessionLook(*W, *Ui), before) << c.name;
    }
}

TEST_F(SessionWindowTest, ASessionStartedFromTheLogTabShowsTheSettingsTab)
{
    Start();
    W->PgCMain->setCurrentWidget(W->TSLog);
    StartFull();
    EXPECT_EQ(W->PgCMain->currentWidget(), W->TSSettings);
    // While an operation runs the Log tab is still not left by a click.
    W->PgCMain->setCurrentWidget(W->TSLog);
    TMainControlsGuard lock(W.get());
    W->PgCMain->setCurrentWidget(W->TSDisplay);
    EXPECT_EQ(W->PgCMain->currentWidget(), W->TSLog);
}

TEST_F(SessionWindowTest, AWrongPasscodeIsSaidAndTheLevelOpenedIsNamed)
{
    Start();
    // The session start: the prompt inside the dialogs, and the refusal on the second showing.
    Entry = 1;
    Passcodes = {"9999", "5678"};
    W->StartSession->trigger();
    EXPECT_EQ(Dialogs, (QStringList{"Read Instrument Settings | Read Instrument Settings",
                                    "Enter Full Passcode | Enter Full Passcode",
                                    QString("Enter Full Passcode | Enter Full Passcode | ") +
                                        TFrmPasscode::RefusedText}));
    ASSERT_TRUE(Ui->Session->SessionActive);
    W->EndSession->trigger();
    ASSERT_FALSE(Ui->Session->SessionActive);
    EXPECT_FALSE(Sim->Instrument().FullOpen);

    // The passcode entries say which level is open; a cancelled one says nothing.
    struct Case {
        QAction *entry;
        QStringList typed;
        QStringList infos;
    };
    const Case cases[] = {
        {W->SafePasscode1, {"1234"}, {TSettingsUi::LevelOpenSafe}},
        {W->FullPasscode1, {}, {}},
        {W->FullPasscode1, {"1"}, {}},
        {W->FullPasscode1, {"5678"}, {TSettingsUi::LevelOpenFull}},
    };
    for (const Case &c : cases) {
        Reporter.Infos.clear();
        Passcodes = c.typed;
        c.entry->trigger();
        EXPECT_EQ(Reporter.Infos, c.infos) << c.entry->objectName().toStdString() << c.typed.size();
    }
    EXPECT_TRUE(Sim->Instrument().FullOpen);
    EXPECT_TRUE(Sim->Instrument().SafeOpen);
}

TEST_F(SessionWindowTest, ResetAsksFirstAndEndsTheSessionInTheWindow)
{
    Start();
    StartFull();
    const QStringList before = SessionLook(*W, *Ui);
    Reporter.Answer = false;
    W->menuIndicatorReset->trigger();
    EXPECT_EQ(Reporter.Questions, QStringList{TSettingsUi::ResetQuestion});
    EXPECT_EQ(SessionLook(*W, *Ui), before);
    EXPECT_TRUE(Sim->Instrument().SessionOpen);

    Reporter.Answer = true;
    W->menuIndicatorReset->trigger();
    EXPECT_EQ(Reporter.Questions.size(), 2);
    EXPECT_TRUE(PumpUntil([&] { return !Sim->Instrument().SessionOpen; }));
    EXPECT_FALSE(Ui->Session->SessionActive);
    EXPECT_TRUE(Ui->Model->IsEmpty());
    EXPECT_FALSE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSSettings)));
    EXPECT_FALSE(W->EndSession->isEnabled());
    EXPECT_TRUE(W->Lock1->isEnabled());
}

TEST_F(SessionWindowTest, ExitDuringASessionEndsItLockedAndSaved)
{
    Start();
    StartFull();
    W->show();
    const int saves = Sim->Instrument().SavesDone;
    W->Exit1->trigger();
    EXPECT_FALSE(W->isVisible());
    EXPECT_FALSE(W->Engine->LinkOpen());
    EXPECT_GT(Sim->Instrument().SavesDone, saves);
    EXPECT_FALSE(Sim->Instrument().FullOpen);
    EXPECT_FALSE(Sim->Instrument().SafeOpen);
}

TEST_F(SessionWindowTest, NestedLocksGiveTheControlsBackWithTheLastOne)
{
    Start();
    ASSERT_TRUE(W->Connect2->isEnabled());
    {
        TMainControlsGuard outer(W.get());
        {
            TMainControlsGuard inner(Ui->Tab->tvMenuItems);
            // An entry enabled meanwhile takes that state when the lock ends.
            W->SetEnabledIfProvided(W->Lock1, false);
            EXPECT_FALSE(W->Lock1->isEnabled());
        }
        EXPECT_FALSE(W->PgCMain->isEnabled());
        EXPECT_FALSE(W->Connect2->isEnabled());
        EXPECT_FALSE(W->ToolButtonStart->isEnabled());
    }
    EXPECT_TRUE(W->PgCMain->isEnabled());
    EXPECT_TRUE(W->Connect2->isEnabled());
    EXPECT_TRUE(W->ToolButtonStart->isEnabled());
    EXPECT_FALSE(W->Lock1->isEnabled());
    // A widget outside any main window locks nothing.
    QWidget alone;
    TMainControlsGuard none(&alone);
    EXPECT_TRUE(W->PgCMain->isEnabled());
}

} // namespace
