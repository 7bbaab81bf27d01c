// The main window: start-up and its fatal messages, switches, tab routes, the connected and
// disconnected looks with the identification panel, the Test tab and the first-run options.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "display/ui/VornLCD.h"
#include "link/transact.h"
#include "link/ui/Debug.h"
#include "link/ui/option.h"
#include "link/ui/testtab.h"
#include "shell/ui/connection.h"
#include "shell/ui/help.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "shell/ui/statusbar.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QWindow>

namespace
{

class MainWindowTest : public ::testing::Test
{
protected:
    std::unique_ptr<TFrmMain> Start(const TStartOptions &options = {})
    {
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        auto window = CreateMainWindow(*Config, options, &Reporter);
        if (window)
            window->Engine->SetTickInterval(2);
        return window;
    }
    // Connects the window to a fake link with a scripted instrument that identifies itself.
    TFakeLink *ConnectFake(TFrmMain &window, int cable = 0)
    {
        auto link = std::make_unique<TFakeLink>();
        TFakeLink *fake = link.get();
        Instrument = std::make_unique<TScriptedInstrument>(fake);
        Instrument->Registers = {{0x0005, "000004D2"}, {0x0003, "VX200"}, {0x0004, "1.05"}, {0x0001, "00"}};
        window.ConnectWith(TConnectionChoice{std::move(link), 0, cable});
        return fake;
    }

    TProgramFolder Folder;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
    std::unique_ptr<TScriptedInstrument> Instrument;
};

TEST_F(MainWindowTest, StartUpEndsWithTheExactMessageWithoutIniOrPicture)
{
    QFile::remove(Folder.Ini());
    EXPECT_EQ(Start(), nullptr);
    ASSERT_EQ(Reporter.Errors.size(), 1);
    EXPECT_EQ(Reporter.Errors[0],
              "The Ini file for this Viewer is corrupt.\r\nThe Application will terminate now");

    Reporter.Errors.clear();
    Folder.Write("brellin.ini", TProgramFolder::DefaultIni);
    QFile::remove(Folder.File("panel.jpg"));
    EXPECT_EQ(Start(), nullptr);
    ASSERT_EQ(Reporter.Errors.size(), 1);
    EXPECT_EQ(Reporter.Errors[0],
              "The Instrument image file for this Viewer is missing.\r\nThe Application will terminate now");

    // The picture is the one the ini file names, not any panel.jpg.
    Reporter.Errors.clear();
    Folder.Write("brellin.ini", "[Images]\nInstrument=front.jpg\n[Options]\nFirstRun=0\n");
    Folder.Write("panel.jpg", "x");
    EXPECT_EQ(Start(), nullptr);
    Folder.Write("front.jpg", "x");
    EXPECT_NE(Start(), nullptr);
}

TEST_F(MainWindowTest, TheDebugWindowShowsOnlyWithLowerCaseD)
{
    auto upper = Start(ParseCommandLine({"-D", "-m"}));
    ASSERT_TRUE(upper);
    EXPECT_FALSE(upper->FrmDebug->isVisible());
    EXPECT_FALSE(upper->DebugMode);
    EXPECT_EQ(upper->MaxStoreFileSize, 500000000u);
    upper->FrmDebug->Add("not kept while hidden");
    EXPECT_TRUE(upper->FrmDebug->Memo->toPlainText().isEmpty());

    auto lower = Start(ParseCommandLine({"-d", "-z"}));
    ASSERT_TRUE(lower);
    EXPECT_TRUE(lower->FrmDebug->isVisible());
    EXPECT_FALSE(lower->ScrambleLines);
    lower->DebugLog("record box 412");
    EXPECT_EQ(lower->FrmDebug->Memo->toPlainText(), "record box 412");
    lower->FrmDebug->close();
}

TEST_F(MainWindowTest, MenusCarryTheirShortcutsAndUnbuiltEntriesStayDisabled)
{
    auto w = Start();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Open1->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_EQ(w->Save1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(w->Exit1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
    EXPECT_EQ(w->muHelp->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(w->ToolButton1->toolTip(), "Load settings from file");
    EXPECT_TRUE(w->Connect2->isEnabled());
    EXPECT_TRUE(w->Open1->isEnabled()); // the settings files'

    // A later part provides the session entry: enabled only while connected.
    bool started = false;
    w->Provide(w->StartSession, [&] { started = true; });
    w->SetConnected(false);
    EXPECT_FALSE(w->StartSession->isEnabled());
    EXPECT_FALSE(w->SetDateTime1->isEnabled());
    ConnectFake(*w);
    EXPECT_TRUE(w->StartSession->isEnabled());
    EXPECT_TRUE(w->SetDateTime1->isEnabled()); // the clock dialog's, while connected
    w->StartSession->trigger();
    EXPECT_TRUE(started);
}

TEST_F(MainWindowTest, TabChangesSetTheReplyRoute)
{
    auto w = Start();
    ASSERT_TRUE(w);
    int storeRefreshes = 0, logShown = 0;
    w->Hooks.DsdTabPopup = [&] { ++storeRefreshes; };
    w->Hooks.LogTabShown = [&] { ++logShown; };
    ConnectFake(*w);
    const QList<QPair<QWidget *, TReplyRoute>> expected{{w->TSCalibration, RouteCalibration},
                                                        {w->TSSettings, RouteNone},
                                                        {w->TSLog, RouteLog},
                                                        {w->TSTest, RouteTest},
                                                        {w->TSDataStore, RouteDataStore},
                                                        {w->TSDisplay, RouteDisplay},
                                                        {w->TSDataStore, RouteDataStore}};
    for (const auto &[page, route] : expected) {
        w->PgCMain->setCurrentWidget(page);
        EXPECT_EQ(w->Engine->ReplyRoute(), route) << page->objectName().toStdString();
    }
    EXPECT_EQ(storeRefreshes, 2); // refreshed each time the tab is shown
    EXPECT_EQ(logShown, 1);
}

TEST_F(MainWindowTest, TheLogTabCannotBeLeftWhileLogging)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->PgCMain->setCurrentWidget(w->TSLog);
    w->SetLoggingActive(true);
    EXPECT_TRUE(w->PgCMain->isEnabled());
    EXPECT_FALSE(w->Exit1->isEnabled());
    EXPECT_FALSE(w->About1->isEnabled());
    w->PgCMain->setCurrentWidget(w->TSDisplay);
    EXPECT_EQ(w->PgCMain->currentWidget(), w->TSLog);
    EXPECT_EQ(w->Engine->ReplyRoute(), RouteLog);

    // Connecting meanwhile changes what is restored, not what is shown.
    ConnectFake(*w);
    EXPECT_FALSE(w->Connect2->isEnabled());
    w->SetLoggingActive(false);
    EXPECT_TRUE(w->Exit1->isEnabled());
    EXPECT_TRUE(w->Connect2->isEnabled());
    w->PgCMain->setCurrentWidget(w->TSDisplay);
    EXPECT_EQ(w->PgCMain->currentWidget(), w->TSDisplay);
}

TEST_F(MainWindowTest, ArrowKeysScrollTheChartOnlyOnTheLogTab)
{
    auto w = Start();
    ASSERT_TRUE(w);
    QList<QPair<int, int>> moves;
    w->Hooks.LogScroll = [&](int dx, int dy) { moves << qMakePair(dx, dy); };
    QTest::keyClick(w.get(), Qt::Key_Left);
    EXPECT_TRUE(moves.isEmpty());
    w->PgCMain->setCurrentWidget(w->TSLog);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(w.get(), key);
    EXPECT_EQ(moves, (QList<QPair<int, int>>{{-1, 0}, {1, 0}, {0, 1}, {0, -1}}));
}

TEST_F(MainWindowTest, ConnectingShowsTheIdentificationAndDisconnectingClearsIt)
{
    auto w = Start();
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->PgCMain->isTabVisible(w->PgCMain->indexOf(w->TSTest)));
    QStringList pictures;
    w->Hooks.SetMimicPicture = [&](const QString &p) { pictures << p; };
    TFakeLink *link = ConnectFake(*w);
    EXPECT_EQ(w->IdentPanel->Text(), "SN: 1234, VX200 1.05");
    EXPECT_EQ(w->IdentPanel->Background(), w->IdentPanel->palette().color(QPalette::Button));
    EXPECT_EQ(w->ToolButton4->text(), "&Disconnect");
    EXPECT_EQ(w->Connect2->text(), "&Disconnect");
    EXPECT_EQ(w->ToolButton4->toolTip(), "Disconnect from instrument");
    EXPECT_TRUE(w->PgCMain->isTabVisible(w->PgCMain->indexOf(w->TSTest)));
    EXPECT_EQ(w->Engine->ReplyRoute(), RouteDisplay);
    // The panels leave the bar's left part to its short messages.
    w->resize(900, 600);
    w->show();
    w->statusBar()->showMessage("The instrument refused the ZERO key");
    EXPECT_EVENTUALLY(w->StatusPanel0->x() > w->statusBar()->width() / 3);
    // No Images key for the model: the default picture, which exists.
    EXPECT_EQ(pictures, QStringList{Folder.File("panel.jpg")});

    // The peer hangs up: back to the disconnected look.
    link->DropConnection();
    ASSERT_TRUE(PumpUntil([&] { return w->ToolButton4->text() == "&Connect"; }));
    EXPECT_EQ(w->IdentPanel->Text(), "");
    EXPECT_FALSE(w->PgCMain->isTabVisible(w->PgCMain->indexOf(w->TSTest)));
    EXPECT_EQ(w->ToolButton4->toolTip(), "Connect to instrument");
}

TEST_F(MainWindowTest, AnInstrumentWithoutSerialNumberLeavesThePanelEmpty)
{
    auto w = Start();
    ASSERT_TRUE(w);
    auto link = std::make_unique<TFakeLink>();
    TScriptedInstrument instrument(link.get());
    instrument.Registers = {{0x0003, "VX200"}, {0x0004, "1.05"}};
    w->ConnectWith(TConnectionChoice{std::move(link), 0, 0});
    EXPECT_EQ(w->IdentPanel->Text(), "");
    w->SettingsConfirmed = false;
    w->ShowIdentification();
    EXPECT_EQ(w->IdentPanel->Background(), w->IdentPanel->palette().color(QPalette::Button));
}

TEST_F(MainWindowTest, TheTestTabSendsEchoesAndTurnsThePanelRedOnlyFromTheButton)
{
    auto w = Start();
    ASSERT_TRUE(w);
    TFakeLink *link = ConnectFake(*w);
    w->PgCMain->setCurrentWidget(w->TSTest);
    TTestTab *tab = w->TestTab;
    tab->EdtSendStr->setText("20110005");
    QTest::keyClick(tab->EdtSendStr, Qt::Key_Return);
    EXPECT_EQ(FrameText(link->Sent.last()), QByteArray("20110005"));
    EXPECT_EQ(w->IdentPanel->Background(), w->IdentPanel->palette().color(QPalette::Button));

    tab->cbCRC->setChecked(false);
    tab->EdtSendStr->setText("20110003;");
    tab->BtnSend->click();
    EXPECT_EQ(link->Sent.last(), QByteArray("20110003;")); // ends in ";": no CR LF
    EXPECT_FALSE(w->SettingsConfirmed);
    EXPECT_EQ(w->IdentPanel->Background(), QColor(Qt::red));
    EXPECT_EQ(w->IdentPanel->Foreground(), QColor(Qt::yellow));
    ASSERT_TRUE(PumpUntil([&] { return tab->MemoRx->toPlainText().contains("VX200"); }));
    const QStringList lines = tab->MemoRx->toPlainText().split('\n');
    EXPECT_TRUE(lines.contains(">>>20110003;")) << tab->MemoRx->toPlainText().toStdString();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QString &l) { return l.startsWith(">>>20110005"); }));

    tab->MemoRx->clear();
    for (int i = 0; i < 700; ++i)
        tab->AddEcho(">>>" + QByteArray::number(i) + ";");
    EXPECT_EQ(tab->MemoRx->blockCount(), TTestTab::MaxLines);
    EXPECT_TRUE(tab->MemoRx->toPlainText().endsWith(">>>699;"));
    EXPECT_TRUE(tab->MemoRx->toPlainText().startsWith(">>>200;"));
    tab->BtnClear->click();
    EXPECT_TRUE(tab->MemoRx->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, FirstRunShowsTheOptionsOnceAndTheDemoLeavesItForLater)
{
    Folder.Write("brellin.ini", "[Options]\nFirstRun=1\n");
    {
        auto demo = Start(ParseCommandLine({"--demo"}));
        ASSERT_TRUE(demo);
        int dialogs = 0;
        demo->Hooks.ExecModal = [&](QDialog *) { return ++dialogs, 0; };
        demo->show();
        QTest::qWait(20);
        EXPECT_EQ(dialogs, 0);
        EXPECT_TRUE(Config->GetFirstRun());
    }
    auto w = Start();
    ASSERT_TRUE(w);
    QStringList captions;
    w->Hooks.ExecModal = [&](QDialog *d) {
        captions << d->windowTitle();
        d->reject(); // even a cancelled first-run dialog counts
        return 0;
    };
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return !captions.isEmpty(); }));
    EXPECT_EQ(captions, QStringList{"New install: Please check the options below"});
    EXPECT_FALSE(Config->GetFirstRun());
    EXPECT_EQ(w->Engine->TimeoutTicks, 20);
}

TEST_F(MainWindowTest, TheWindowKeepsItsMinimumSizeAndThePanelItsAspect)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    w->resize(500, 300);
    QTest::qWait(20);
    EXPECT_GE(w->minimumWidth(), 640);
    EXPECT_EQ(w->width(), w->minimumWidth());
    EXPECT_GE(w->height(), 480);
    w->resize(1000, 800);
    EXPECT_EVENTUALLY_EQ(w->DisplayMimic->height(), w->TSDisplay->width() * 491 / 1000);
}

TEST_F(MainWindowTest, AStatusMessageTooLongForItsRoomIsCutVisiblyAndWholeInItsTooltip)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    QTest::qWait(20);
    auto *bar = qobject_cast<TStatusBar *>(w->statusBar());
    ASSERT_TRUE(bar);
    // The room ends before the first panel, whatever the font.
    EXPECT_LE(bar->MessageRect().right(), w->StatusPanel0->x());
    const QString shortText = QStringLiteral("OK");
    const QString longText = QStringLiteral("Connection lost: ") + QString(400, QLatin1Char('x'));
    struct {
        QString text;
        bool cut;
    } const cases[] = {{shortText, false}, {longText, true}, {QString(), false}};
    for (const auto &c : cases) {
        bar->showMessage(c.text);
        EXPECT_EQ(bar->currentMessage(), c.text) << "the message itself is never shortened";
        if (c.cut) {
            EXPECT_TRUE(bar->ShownMessage().endsWith(QChar(0x2026))) << bar->ShownMessage().toStdString();
            EXPECT_LE(bar->fontMetrics().horizontalAdvance(bar->ShownMessage()), bar->MessageRect().width());
            EXPECT_EQ(bar->MessageToolTip(), c.text);
        } else {
            EXPECT_EQ(bar->ShownMessage(), c.text);
            EXPECT_EQ(bar->MessageToolTip(), QString());
        }
        bar->repaint(); // draws without complaint either way
    }
}

// The controls of a page that are cut (smaller than they need) or overlap a sibling.
QStringList CutOrOverlapping(QWidget *page)
{
    QStringList found;
    QList<QWidget *> controls;
    for (QWidget *w : page->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(page) || w->isWindow())
            continue;
        // Parts of a composite control (a spin box's edit, a scroll area's bars) are its own business.
        bool part = false;
        for (QWidget *p = w->parentWidget(); p && p != page; p = p->parentWidget())
            part = part || qobject_cast<QAbstractSpinBox *>(p) || qobject_cast<QComboBox *>(p) ||
                   qobject_cast<QAbstractScrollArea *>(p);
        if (part || !(qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w) ||
                      qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) ||
                      qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QGroupBox *>(w) ||
                      qobject_cast<QAbstractScrollArea *>(w)))
            continue;
        controls << w;
        const QSize need = w->minimumSizeHint();
        if (auto *edit = qobject_cast<QLineEdit *>(w); edit && !edit->text().isEmpty()) {
            // The text area is what the style leaves inside the frame, less the edit's own margins.
            QStyleOptionFrame option;
            option.initFrom(edit);
            option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
            const QRect area = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
            const int room = area.width() - edit->textMargins().left() - edit->textMargins().right() - 2 * 2;
            if (edit->fontMetrics().horizontalAdvance(edit->text()) > room)
                found << QStringLiteral("%1 shows \"%2\" cut").arg(edit->objectName(), edit->text());
        }
        if (need.isValid() && (w->width() < need.width() || w->height() < need.height()))
            found << QStringLiteral("%1 cut: %2x%3 of %4x%5")
                         .arg(w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName())
                         .arg(w->width())
                         .arg(w->height())
                         .arg(need.width())
                         .arg(need.height());
    }
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j)
            if (controls[i]->parentWidget() == controls[j]->parentWidget() &&
                controls[i]->geometry().intersects(controls[j]->geometry()))
                found << QStringLiteral("%1 overlaps %2")
                             .arg(controls[i]->objectName(), controls[j]->objectName());
    return found;
}

TEST_F(MainWindowTest, AtItsMinimumSizeEveryTabShowsItsControlsWhole)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    QTest::qWait(20);
    EXPECT_GE(w->minimumWidth(), 640);
    EXPECT_GE(w->minimumHeight(), 480);
    // The largest record number is shown whole.
    for (const char *name : {"DsdFrom", "DsdTo"})
        w->TSDataStore->findChild<QLineEdit *>(name)->setText("4294967295");
    for (int i = 0; i < w->PgCMain->count(); ++i) {
        w->PgCMain->setTabVisible(i, true);
        w->PgCMain->setCurrentIndex(i);
        w->resize(1, 1); // held at the minimum
        QTest::qWait(20);
        EXPECT_EQ(w->size(), w->minimumSize());
        QWidget *page = w->PgCMain->widget(i);
        EXPECT_TRUE(CutOrOverlapping(page).isEmpty())
            << page->objectName().toStdString() << ": " << CutOrOverlapping(page).join("; ").toStdString();
    }
}

TEST_F(MainWindowTest, AWindowSystemThatIgnoresTheMinimumSeesTheWindowGrowBack)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const QSize least = w->minimumSize();
    // As an X server without a window manager does when told to resize the window.
    w->windowHandle()->setMinimumSize(QSize(1, 1));
    w->windowHandle()->resize(500, 350);
    EXPECT_EVENTUALLY_EQ(w->size(), least);
    w->windowHandle()->resize(250, 180);
    EXPECT_EVENTUALLY_EQ(w->size(), least);
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    EXPECT_TRUE(CutOrOverlapping(w->TSDataStore).isEmpty())
        << CutOrOverlapping(w->TSDataStore).join("; ").toStdString();
}

TEST_F(MainWindowTest, TheConnectedModelNamesItsPicture)
{
    Folder.Write("brellin.ini", "[Images]\nVX200=vx200.jpg\nVX300=missing.jpg\n[Options]\nFirstRun=0\n");
    Folder.Write("vx200.jpg", "x");
    auto w = Start();
    ASSERT_TRUE(w);
    QStringList pictures;
    w->Hooks.SetMimicPicture = [&](const QString &p) { pictures << p; };
    ConnectFake(*w);
    EXPECT_EQ(pictures, QStringList{Folder.File("vx200.jpg")});
    // A model whose picture is missing keeps the one shown.
    Instrument->Registers[0x0003] = "VX300";
    pictures.clear();
    w->SetConnected(true);
    EXPECT_TRUE(pictures.isEmpty());
}

TEST_F(MainWindowTest, AnOpenSessionIsRenewedByTheViewerTimer)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->tmrViewerMode.setInterval(5);
    QTest::qWait(30);
    EXPECT_FALSE(w->Engine->SessionRefreshDue);
    w->SessionActive = true;
    EXPECT_EVENTUALLY(w->Engine->SessionRefreshDue);
}

TEST_F(MainWindowTest, HelpShowsThePageBesideTheProgramOrSaysItIsMissing)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->muHelp->trigger();
    EXPECT_EQ(Reporter.Errors, QStringList{"The help file " + Folder.File("brellin.html") + " is missing."});
    Folder.Write("brellin.html", "<html><body><h1>Brellin</h1><p>How to connect</p></body></html>");
    w->muHelp->trigger();
    ASSERT_TRUE(w->FrmHelp);
    EXPECT_TRUE(w->FrmHelp->isVisible());
    EXPECT_TRUE(w->FrmHelp->Browser->toPlainText().contains("How to connect"));
    w->FrmHelp->close();
}

TEST_F(MainWindowTest, TheAboutBoxShowsTheIniTexts)
{
    Folder.Write("brellin.ini", "[About]\nViewerName=Brellin\nComment2=second line\nCopyright=(c) Us\n"
                                "[Options]\nFirstRun=0\n");
    auto w = Start();
    ASSERT_TRUE(w);
    QStringList texts;
    w->Hooks.ExecModal = [&](QDialog *d) {
        texts << d->windowTitle();
        for (QLabel *l : d->findChildren<QLabel *>())
            if (l->isVisibleTo(d) && !l->text().isEmpty())
                texts << l->text();
        return 0;
    };
    w->About1->trigger();
    EXPECT_EQ(texts, (QStringList{"About Brellin", "Brellin", "Version 1.51", "second line", "(c) Us"}));
}

} // namespace

TEST_F(MainWindowTest, ALostLinkIsRetriedUntilTheSameInstrumentAnswers)
{
    struct Case {
        const char *name;
        QByteArray serialAfter; // what the instrument answers with when it is back ("" : stopped by the user)
        QString status;
        bool connected;
    };
    const Case cases[] = {
        {"same instrument", "000004D2", "Connection restored: fake", true},
        {"another instrument", "00000929",
         "Another instrument answers on fake (SN: 2345, not SN: 1234): not reconnected", false},
        {"stopped", "", "Connection lost: fake (no longer retrying)", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto w = Start();
        ASSERT_TRUE(w);
        int blanks = 0;
        w->Hooks.BlankDisplayMimic = [&] { ++blanks; };
        TFakeLink *link = ConnectFake(*w);
        ASSERT_EQ(w->IdentPanel->Text(), "SN: 1234, VX200 1.05");
        // No attempt before the instrument is back.
        w->Connection->RetryTimer->setInterval(60000);
        blanks = 0;
        link->DropConnection();
        ASSERT_TRUE(PumpUntil([&] { return w->Connection->Retrying(); }));
        EXPECT_EQ(w->statusBar()->currentMessage(), "Connection lost: fake");
        EXPECT_TRUE(w->Connection->StopRetryButton->isVisibleTo(w.get()));
        EXPECT_GT(blanks, 0);
        EXPECT_EQ(w->ToolButton4->text(), "&Connect");
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join("\n").toStdString();
        if (c.serialAfter.isEmpty()) {
            w->Connection->StopRetryButton->click();
            EXPECT_FALSE(w->Connection->Retrying());
        } else {
            Instrument->Registers[0x0005] = c.serialAfter;
            w->Connection->RetryTimer->start(20);
            ASSERT_TRUE(PumpUntil([&] { return !w->Connection->Retrying(); }));
        }
        EXPECT_EQ(w->statusBar()->currentMessage(), c.status);
        EXPECT_EQ(w->Engine->LinkOpen(), c.connected);
        EXPECT_EQ(w->ToolButton4->text(), c.connected ? "&Disconnect" : "&Connect");
        EXPECT_FALSE(w->Connection->StopRetryButton->isVisibleTo(w.get()));
    }
}

TEST_F(MainWindowTest, TheIdentificationReadCanBeEndedByDisconnectAndALossDuringItIsRetried)
{
    struct Case {
        const char *name;
        bool userDisconnects; // else the peer hangs up at the first identification read
    };
    for (const Case &c : {Case{"Disconnect pressed", true}, Case{"the link drops", false}}) {
        SCOPED_TRACE(c.name);
        auto w = Start();
        ASSERT_TRUE(w);
        w->Connection->RetryTimer->setInterval(60000);
        w->ShowStatus("Connection restored: an earlier port", false);
        auto link = std::make_unique<TFakeLink>();
        TFakeLink *fake = link.get();
        bool liveDuringRead = false;
        // A silent instrument: nothing ever answers.
        fake->Responder = [&](const QByteArray &) {
            if (fake->Sent.size() != 1)
                return;
            liveDuringRead = w->ToolButton4->isEnabled() && w->Connect2->isEnabled() &&
                             w->ToolButton4->text() == "&Disconnect";
            if (c.userDisconnects)
                QTimer::singleShot(0, w.get(), [&] { w->ToolButton4->trigger(); });
            else
                fake->DropConnection();
        };
        w->ConnectWith(TConnectionChoice{std::move(link), 0, 0});
        EXPECT_TRUE(liveDuringRead);
        // The identification stopped at once: no resend, no further read.
        EXPECT_EQ(fake->Sent.size(), 1);
        EXPECT_FALSE(w->Engine->LinkOpen());
        EXPECT_EQ(w->IdentPanel->Text(), "");
        EXPECT_EQ(w->Connection->Retrying(), !c.userDisconnects);
        EXPECT_EQ(w->statusBar()->currentMessage(), c.userDisconnects ? "" : "Connection lost: fake");
        EXPECT_TRUE(w->ToolButton4->isEnabled());
        EXPECT_EQ(w->ToolButton4->text(), "&Connect");
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
        w->Connection->StopRetry(QString());
    }
}

TEST_F(MainWindowTest, DisconnectingByHandIsNotALoss)
{
    auto w = Start();
    ASSERT_TRUE(w);
    ConnectFake(*w);
    w->ToolButton4->trigger();
    EXPECT_FALSE(w->Engine->LinkOpen());
    EXPECT_FALSE(w->Connection->Retrying());
    EXPECT_NE(w->statusBar()->currentMessage(), "Connection lost: fake");
}
