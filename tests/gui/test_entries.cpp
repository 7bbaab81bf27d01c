// The main window's entries and panels against the simulated instrument: entries that cannot act
// are greyed and say why (Extend Session, Print, the Test tab's Send), every window opens within a
// 1280 x 900 screen, and the panel picture's data plate follows the connected instrument.
#include "gui_support.h"

#include "display/VornTables.h"
#include "display/ui/VornLCD.h"
#include "link/transact.h"
#include "link/ui/testtab.h"
#include "reports/ui/reportsui.h"
#include "shell/ui/help.h"
#include "simmodel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace
{

class EntriesTest : public SimWindowTest
{
protected:
    void Open()
    {
        OpenWindow();
        Sim = MakeSim();
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return !W->Engine->Busy() && W->StartSession->isEnabled(); }));
    }
    struct TEntryState {
        bool enabled;
        QString tip;
    };
    static TEntryState State(const QAction *a) { return {a->isEnabled(), a->toolTip()}; }
};

} // namespace

TEST_F(EntriesTest, GreyedEntriesSayWhy)
{
    Open();
    const QString noSession = "No session is open: start one first";
    // Without a session: nothing to extend, no settings to print, Send free.
    const struct {
        const char *when;
        QWidget *tab;
        bool extend, print, send;
    } steps[] = {
        {"connected, Display tab", W->TSDisplay, false, false, true},
        {"connected, Log tab", W->TSLog, false, true, true},
        {"in a session, Display tab", W->TSDisplay, true, true, false},
        {"in a session, Log tab", W->TSLog, true, true, false},
        {"after End Session, Display tab", W->TSDisplay, false, false, true},
    };
    for (const auto &s : steps) {
        const QString when = s.when;
        if (when.startsWith("in a session") && !W->SessionActive)
            StartSession(0, "1234");
        if (when.startsWith("after") && W->SessionActive) {
            W->EndSession->trigger();
            ASSERT_TRUE(PumpUntil([&] { return !W->SessionActive; }));
        }
        W->PgCMain->setCurrentWidget(s.tab);
        EXPECT_EQ(W->N4->isEnabled(), s.extend) << s.when;
        EXPECT_EQ(W->N4->toolTip() == noSession, !s.extend) << s.when;
        EXPECT_EQ(W->Print1->isEnabled(), s.print) << s.when;
        EXPECT_EQ(W->Print1->toolTip() == TFrmMain::NothingToPrintText, !s.print) << s.when;
        EXPECT_EQ(W->TestTab->BtnSend->isEnabled(), s.send) << s.when;
        EXPECT_EQ(W->TestTab->LblSendOff->isVisibleTo(W->TestTab), !s.send) << s.when;
        EXPECT_EQ(W->TestTab->BtnSend->toolTip() == TTestTab::SendOffText, !s.send) << s.when;
    }
    // The menus show those tooltips.
    EXPECT_TRUE(W->Instrument1->toolTipsVisible());
    EXPECT_TRUE(W->File1->toolTipsVisible());
}

// Every window and dialog as it opens fits a 1280 x 900 screen, title bar and frame included.
TEST_F(EntriesTest, EveryWindowFitsTheScreen)
{
    QFile::copy(QDir(QStringLiteral(BRELLIN_BIN_DIR)).filePath("brellin.html"), Folder.File("brellin.html"));
    QMap<QString, QSize> sizes;
    auto measure = [&](QWidget *w) {
        w->show();
        QCoreApplication::processEvents();
        const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
        sizes[name] = w->size();
    };
    OnDialog = [&](QDialog *dialog) {
        measure(dialog);
        return int(QDialog::Rejected);
    };
    Open();
    W->Engine->TimeoutTicks = 100;
    sizes["main window"] = W->size();
    // The windows made at start, then those made on demand.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != W.get() && w->isWindow() && w->parentWidget() == W.get() && !w->isVisible()) {
            measure(w);
            w->hide();
        }
    W->About1->trigger();
    W->menuOptions->trigger();
    W->muHelp->trigger();
    TReportsUi *reports = W->findChild<TReportsUi *>();
    ASSERT_TRUE(reports);
    reports->FactoryTestResults1->trigger();
    W->AllocationReport1->trigger();
    if (auto *help = W->findChild<TFrmHelp *>())
        sizes["help"] = help->size();
    for (const char *name : {"help", "FrmFactory", "main window"})
        EXPECT_TRUE(sizes.contains(name)) << name;
    EXPECT_GE(sizes.size(), 8);
    for (auto it = sizes.cbegin(); it != sizes.cend(); ++it) {
        EXPECT_LE(it->width() + 16, 1280) << it.key().toStdString();
        EXPECT_LE(it->height() + 48, 900) << it.key().toStdString() << " " << it->height();
    }
}

// The data plate above the glass states the connected instrument's capacity and division as a
// session reads them, and nothing before a session, after a disconnect, or when the instrument
// names no division register.
TEST_F(EntriesTest, TheDataPlateFollowsTheConnectedInstrument)
{
    const QString none;
    const struct {
        const char *name;
        std::function<void(TSimModel &)> change;
        QString plate;
    } cases[] = {
        {"the built-in instrument", [](TSimModel &) {}, "Max 3000 kg   e = 0.01 kg"},
        {"lb, no decimals, division 5",
         [](TSimModel &m) {
             m.Find(0x0030)->Value = 1;
             m.Find(0x0031)->Value = 0;
             m.Find(0x1104)->Value = 5;
         },
         "Max 300000 lb   e = 5 lb"},
        {"a division register of another name", [](TSimModel &m) { m.Find(0x1104)->Name = "STEP"; }, none},
    };
    for (const auto &c : cases) {
        Open();
        c.change(Sim->Instrument().Model());
        EXPECT_EQ(W->DisplayMimic->PlateText(), none) << c.name << ": no plate before a session";
        StartSession(0, "1234");
        EXPECT_EQ(W->DisplayMimic->PlateText(), c.plate) << c.name;
        EXPECT_EQ(W->CalMimic->PlateText(), c.plate) << c.name;
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << c.name << ": " << Reporter.Errors.join("; ").toStdString();
        // Drawn over the picture above the glass: the plate's place differs from a plateless panel.
        TVornLCD lcd;
        lcd.resize(1000, 491);
        const QRect place(VornPlateLeft / 2, VornPlateTop / 2, VornPlateWidth / 2, VornPlateHeight / 2);
        lcd.Paint();
        const QImage without = lcd.Canvas.copy(place);
        lcd.SetPlateText(W->DisplayMimic->PlateText());
        lcd.Paint();
        EXPECT_EQ(lcd.Canvas.copy(place) != without, !c.plate.isEmpty()) << c.name;
        W->Connect2Click();
        ASSERT_TRUE(PumpUntil([&] { return !W->Engine->LinkOpen() && !W->Engine->Busy(); }));
        EXPECT_EQ(W->DisplayMimic->PlateText(), none) << c.name << ": no plate after a disconnect";
        W.reset();
        Sim.reset();
        Reporter = TRecordingReporter();
    }
}
