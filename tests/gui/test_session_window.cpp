// The main window during a session against a slow simulated instrument: what a click can do while a
// menu read waits, and the session's end by Reset and Exit.
#include "gui_support.h"

#include "link/IOIface.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/settingstab.h"
#include "settings/ui/settingsui.h"
#include "shell/dmViewer.h"
#include "shell/ui/main.h"
#include "shell/ui/maincontrols.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

namespace
{

class SessionWindowTest : public ::testing::Test
{
protected:
    // The simulated instrument answers every request delayMs late.
    void Start(int delayMs = 0)
    {
        TVornSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.DelayMs = delayMs;
        Sim = std::make_unique<TVornSim>(cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        W = CreateMainWindow(*Config, {}, &Reporter);
        ASSERT_TRUE(W);
        W->Engine->SetTickInterval(5);
        Ui = W->findChild<TSettingsUi *>();
        ASSERT_TRUE(Ui);
        W->Hooks.ExecModal = [this](QDialog *dialog) {
            Dialogs << dialog->windowTitle();
            if (auto *menu = qobject_cast<TFrmReadSettings *>(dialog)) {
                if (CancelMenu)
                    return int(QDialog::Rejected);
                menu->CBxMenu->setCurrentIndex(Entry);
                menu->CbxReadEntire->setChecked(false);
                return int(QDialog::Accepted);
            }
            if (auto *pass = qobject_cast<TFrmPasscode *>(dialog)) {
                if (Passcodes.isEmpty())
                    return int(QDialog::Rejected);
                pass->EdtPasscode->setText(Passcodes.takeFirst());
                return int(QDialog::Accepted);
            }
            return int(QDialog::Rejected);
        };
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText("127.0.0.1");
        socket->SetPort(Sim->Port());
        W->ConnectWith(TConnectionChoice{std::move(socket), 0, 0});
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
    }

    void StartFull()
    {
        Entry = 1;
        Passcodes = {"5678"};
        W->StartSession->trigger();
        ASSERT_TRUE(Ui->Session->SessionActive) << Reporter.Errors.join('\n').toStdString();
    }

    // The first menu below the root that has not been read yet.
    TMenuNode *UnreadMenu()
    {
        for (auto &child : Ui->Model->Root()->Children)
            if (child->HasPlaceholder())
                return child.get();
        return nullptr;
    }

    QWidget *ToolButton(QAction *action) { return W->ToolBar1->widgetForAction(action); }

    TProgramFolder Folder{"[Options]\nFirstRun=0\n[Connection]\nConnectionType=0\n"};
    std::unique_ptr<TVornSim> Sim;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
    std::unique_ptr<TFrmMain> W;
    TSettingsUi *Ui = nullptr;
    int Entry = 1;
    bool CancelMenu = false;
    QStringList Passcodes, Dialogs;
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
