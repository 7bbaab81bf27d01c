// The Calibration tab against the simulated instrument, by flow: the zero step's watch, result
// codes, linearisation points, direct entries, the locked controls and a dropped link; and the
// value dialog's four uses, key filter and range check.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "calibration/calibration.h"
#include "calibration/ui/AbsCal.h"
#include "calibration/ui/CalibrationTab.h"
#include "display/VornTables.h"
#include "display/ui/VornLCD.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
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
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace
{

// What the window looked like when the instrument was first asked for the step's status.
struct TWatchSnapshot {
    bool Taken = false;
    bool PagesEnabled = true;
    bool ExitEnabled = true;
    bool StartSessionEnabled = true;
    bool PanelEnabled = true;
    int Busy = 0;
    QString Status;
};

class CalibrationTabTest : public SimWindowTest
{
protected:
    void Start()
    {
        Cfg.Verbose = true;
        Sim = MakeSim();
        Sim->OnLog = [this](const QString &line) { Log(line); };
        OpenWindow();
        Ui = W->findChild<TCalibrationUi *>();
        ASSERT_TRUE(Ui);
        Tab = Ui->Tab;
        OnDialog = [this](QDialog *dialog) {
            if (auto *abs = qobject_cast<TFrmAbsCal *>(dialog)) {
                Captions << abs->windowTitle();
                if (Value.isNull())
                    return int(QDialog::Rejected);
                (abs->EdtAbsMV->isHidden() ? abs->EdtCalWeight : abs->EdtAbsMV)->setText(Value);
                abs->accept();
                return abs->result();
            }
            return int(QDialog::Rejected);
        };
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return W->StartSession->isEnabled(); }));
        StartSession(1, "5678");
        W->Engine->TimeoutTicks = 20;
        W->PgCMain->setCurrentWidget(W->TSCalibration);
        Requests.clear();
        Replies.clear();
        StepStarted = false;
        Prompts.clear();
        Reporter.Errors.clear();
    }

    void Log(const QString &line)
    {
        const QByteArray text = line.mid(4).toLatin1();
        if (line.startsWith("<<< ")) {
            Requests << text;
            // The step's start: the status reads after it are the watch.
            StepStarted = StepStarted || text.startsWith("2010010");
            if (text.mid(4, 4) == "0021" && StepStarted && !Snapshot.Taken) {
                Snapshot.Taken = true;
                Snapshot.PagesEnabled = W->PgCMain->isEnabled();
                Snapshot.ExitEnabled = W->Exit1->isEnabled();
                Snapshot.StartSessionEnabled = W->ToolButtonStart->isEnabled();
                Snapshot.PanelEnabled = W->CalMimic->isEnabled();
                Snapshot.Busy = Reporter.BusyDepth;
                Snapshot.Status = Ui->WatchLine->isVisibleTo(W.get()) ? Ui->WatchLine->text() : QString();
                if (DropAtWatch)
                    QTimer::singleShot(0, Sim.get(), [this] { Sim->Stop(); });
                if (PressDuringWatch)
                    Presser.start();
            }
        } else if (line.startsWith(">>> ") && text.mid(4, 4) == "0021" && StepStarted) {
            Replies << text.mid(9);
        }
    }

    int Sent(const QByteArray &prefix) const
    {
        return static_cast<int>(std::count_if(Requests.begin(), Requests.end(),
                                              [&](const QByteArray &r) { return r.startsWith(prefix); }));
    }

    void ExpectRestored()
    {
        EXPECT_TRUE(W->PgCMain->isEnabled());
        EXPECT_TRUE(W->Exit1->isEnabled());
        EXPECT_EQ(Reporter.BusyDepth, 0);
        EXPECT_FALSE(Ui->WatchLine->isVisibleTo(W.get()));
    }

    TCalibrationUi *Ui = nullptr;
    TCalibrationTab *Tab = nullptr;
    QStringList Captions;
    QString Value;
    // The TARE key's place on the panel (its index in the key table).
    static constexpr int VornKeyIndexTare = 2;
    // A click on key k of the Calibration tab's panel, through the window system as a user's.
    void PressCalKey(int k)
    {
        TVornLCD *mimic = W->CalMimic;
        const TLcdKey &r = VornKeys()[size_t(k)].Rect;
        const QPoint p((r.Left + r.Right) / 2 * mimic->width() / 1000,
                       (r.Top + r.Bottom) / 2 * mimic->height() / 1000);
        QTest::mouseClick(W->windowHandle(), Qt::LeftButton, {}, mimic->mapTo(W.get(), p));
    }

    bool DropAtWatch = false;
    // Clicks TARE every few milliseconds while the step is watched: between the status reads too.
    bool PressDuringWatch = false;
    QTimer Presser;
    bool StepStarted = false;
    TWatchSnapshot Snapshot;
    QList<QByteArray> Requests, Replies;
};

TEST_F(CalibrationTabTest, ZeroStepIsWatchedUntilQuietThenSavedAndReadBack)
{
    Cfg.CalibrationStepMs = 300;
    Start();
    EXPECT_EQ(Tab->LblZeroCal->text(), "0.1000");
    EXPECT_EQ(Tab->LblSpanCal->text(), "2.0000");
    const int saves = Sim->Instrument().SavesDone;
    Tab->BtnZero->click();

    EXPECT_EQ(Sent("20100102:"), 1);
    // While the step was watched: hourglass, the seconds in the status bar, controls locked.
    ASSERT_TRUE(Snapshot.Taken);
    EXPECT_FALSE(Snapshot.PagesEnabled);
    EXPECT_FALSE(Snapshot.ExitEnabled);
    EXPECT_FALSE(Snapshot.StartSessionEnabled);
    EXPECT_GT(Snapshot.Busy, 0);
    EXPECT_EQ(Snapshot.Status, "Calibration in progress: 0 s");
    // The watch ended 20 / 5 = 4 quiet readings after the last one in progress, without a message.
    const int last = static_cast<int>(Replies.lastIndexOf("2000"));
    ASSERT_GE(last, 1) << "the step stayed in progress for several readings";
    EXPECT_EQ(Replies.size() - 1 - last, 4);
    EXPECT_EQ(Replies.mid(last + 1), QList<QByteArray>(4, "0000"));
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    // Saved and read back: the zero now is the signal of the 12.50 kg on the cell.
    EXPECT_EQ(Sim->Instrument().SavesDone, saves + 1);
    EXPECT_EQ(Tab->LblZeroCal->text(), "0.1083");
    ExpectRestored();
    EXPECT_TRUE(W->ToolButtonStart->isEnabled());
}

TEST_F(CalibrationTabTest, ResultCodesEndTheWatchWithTheirMessage)
{
    const struct {
        int Code;
        bool Early;
        const char *Message;
    } cases[] = {{6, true, "Error: 6 - Stability not achieved"}, {11, false, "Error: 11 - "}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Code);
        Cfg.CalibrationResult = c.Code;
        Cfg.CalibrationResultEarly = c.Early;
        Cfg.CalibrationStepMs = c.Early ? 60000 : 100;
        Snapshot = {};
        Start();
        const int saves = Sim->Instrument().SavesDone;
        Tab->BtnZero->click();
        EXPECT_EQ(Reporter.Errors, QStringList{c.Message});
        // A code shown beside the in-progress bit ends the watch at the first reading.
        if (c.Early) {
            EXPECT_EQ(Replies, QList<QByteArray>{"2006"});
        } else {
            ASSERT_FALSE(Replies.isEmpty());
            EXPECT_EQ(Replies.last(), "000B");
        }
        EXPECT_EQ(Sim->Instrument().SavesDone, saves + 1);
        EXPECT_EQ(Tab->LblZeroCal->text(), "0.1000");
        ExpectRestored();
        W.reset();
    }
}

TEST_F(CalibrationTabTest, LinearisationPointsAreSetAndClearedByTheirLine)
{
    Cfg.CalibrationStepMs = 50;
    Start();
    W->Engine->TimeoutTicks = 10;
    Tab->LBxLCal->setCurrentRow(2);
    Value = "12.5";
    Tab->BtnLSet->click();
    EXPECT_EQ(Captions, QStringList{"Linearisation"});
    // 12.5 with two decimals is 1250: 4E2; point 3 is index 2.
    EXPECT_EQ(Sent("20120100:4E2"), 1);
    EXPECT_EQ(Sent("20100104:2"), 1);
    EXPECT_EQ(Tab->LBxLCal->item(2)->text(), " 3:   1%");
    EXPECT_EQ(Tab->LBxLCal->currentRow(), 2) << "the chosen line stays chosen";

    Tab->LBxLCal->setCurrentRow(4);
    Value = "1500";
    Tab->BtnLSet->click();
    EXPECT_EQ(Tab->LBxLCal->item(4)->text(), " 5:  50%");
    Tab->LBxLCal->setCurrentRow(2);
    Tab->BtnLClear->click();
    EXPECT_EQ(Sent("20100105:2"), 1);
    EXPECT_EQ(Tab->LBxLCal->item(2)->text(), " 3:");
    EXPECT_EQ(Tab->LBxLCal->item(4)->text(), " 5:  50%");
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    ExpectRestored();
}

TEST_F(CalibrationTabTest, DirectEntriesSendTheSignalAndAreNotWatched)
{
    Start();
    Tab->CBxDirectMVV->setChecked(true);
    Value = "-0.015";
    Tab->BtnZero->click();
    EXPECT_EQ(Sent("20100106:FFFFFF6A"), 1);
    EXPECT_EQ(Tab->LblZeroCal->text(), "-0.0150");
    Value = "1.5";
    Tab->BTnSpan->click();
    EXPECT_EQ(Sent("20100107:3A98"), 1);
    EXPECT_EQ(Tab->LblSpanCal->text(), "1.5000");
    EXPECT_EQ(Captions, (QStringList{"Absolute mV/V Calibration", "Absolute mV/V Calibration"}));
    EXPECT_EQ(Sent("20110021:"), 0);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    ExpectRestored();
}

TEST_F(CalibrationTabTest, AShortTimeOutStillWatchesTheStepToItsEnd)
{
    // Four ticks of time-out once meant no status read at all: the step was left running unsaved.
    Cfg.CalibrationStepMs = 1200;
    Start();
    W->Engine->TimeoutTicks = 4;
    const int saves = Sim->Instrument().SavesDone;
    const int64_t count = Sim->Instrument().Model().Find(0x1702)->Value;
    Tab->BtnZero->click();
    EXPECT_EQ(Sent("20100102:"), 1);
    EXPECT_EQ(Replies.value(0), "2000");
    EXPECT_EQ(Replies.mid(Replies.lastIndexOf("2000") + 1), QList<QByteArray>(2, "0000"));
    EXPECT_EQ(Sim->Instrument().Model().Find(0x1702)->Value, count + 1);
    EXPECT_EQ(Sim->Instrument().SavesDone, saves + 1);
    EXPECT_EQ(Tab->LblZeroCal->text(), "0.1083");
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    ExpectRestored();
}

TEST_F(CalibrationTabTest, ThePanelTakesNoKeysWhileAStepRunsAndTakesThemAgainAfter)
{
    Cfg.CalibrationStepMs = 1500;
    PressDuringWatch = true;
    Folder.CopyShippedPanel();
    Start();
    W->resize(1000, 700);
    W->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(W.get()));
    W->PgCMain->setTabVisible(W->PgCMain->indexOf(W->TSCalibration), true);
    W->PgCMain->setCurrentWidget(W->TSCalibration);
    QTest::qWait(50);
    // A click beside the keys first: the window system's idea of the button is then up.
    QTest::mouseClick(W->windowHandle(), Qt::LeftButton, {}, W->CalMimic->mapTo(W.get(), QPoint(2, 2)));
    // The panel takes keys before the step (the press is the same as the one during it).
    PressCalKey(VornKeyIndexTare);
    ASSERT_TRUE(PumpUntil([&] { return Sent("20120008:") == 1; }));
    Requests.clear();
    const int lastKey = Sim->Instrument().LastKey;
    int clicks = 0;
    Presser.setInterval(3);
    QObject::connect(&Presser, &QTimer::timeout, W.get(), [&] {
        ++clicks;
        PressCalKey(VornKeyIndexTare);
    });
    Tab->BtnZero->click();
    Presser.stop();
    ASSERT_TRUE(Snapshot.Taken);
    EXPECT_FALSE(Snapshot.PanelEnabled) << "the panel looks usable during the step";
    EXPECT_GT(clicks, 10);
    EXPECT_FALSE(Snapshot.PagesEnabled);
    EXPECT_EQ(Sent("20120008:"), 0) << "a TARE pressed during the step went out";
    EXPECT_EQ(Sim->Instrument().LastKey, lastKey);
    ExpectRestored();
    // Once the step is over the panel works again.
    PressCalKey(VornKeyIndexTare);
    EXPECT_TRUE(PumpUntil([&] { return Sent("20120008:") == 1; })) << Sent("20120008:");
}

TEST_F(CalibrationTabTest, ADroppedLinkEndsTheWatchAtOnceAndGivesTheControlsBack)
{
    Cfg.CalibrationStepMs = 600000;
    DropAtWatch = true;
    Start();
    Tab->BtnZero->click();
    ASSERT_TRUE(Snapshot.Taken);
    EXPECT_FALSE(Snapshot.PagesEnabled);
    EXPECT_LE(Sent("20110021:"), 2);
    ASSERT_FALSE(Reporter.Errors.isEmpty());
    EXPECT_TRUE(
        Reporter.Errors.last().startsWith("The connection to the instrument was lost during calibration"))
        << Reporter.Errors.join('\n').toStdString();
    ExpectRestored();
    EXPECT_FALSE(W->PgCMain->isTabVisible(W->PgCMain->indexOf(W->TSCalibration)));
}

TEST_F(CalibrationTabTest, CancelInTheDialogOrThePasscodePromptSendsNothing)
{
    Start();
    const int saves = Sim->Instrument().SavesDone;
    Tab->BTnSpan->click(); // the dialog, preset with the span weight, cancelled
    EXPECT_EQ(Captions, QStringList{"Span Calibration"});
    Tab->CBxDirectMVV->setChecked(true);
    Tab->BtnZero->click();
    Tab->CBxDirectMVV->setChecked(false);
    Tab->BtnLSet->click();
    // The full level closed: the prompt comes, and is cancelled.
    Sim->Instrument().FullOpen = false;
    Value = "10";
    Tab->BtnLClear->click();
    Tab->BtnZero->click();
    Tab->BtnLSet->click();
    EXPECT_EQ(Prompts.size(), 3);
    for (const QByteArray &r : Requests)
        EXPECT_TRUE(r.mid(4, 4) == "0009" || r.mid(4, 4) == "0112" || r.mid(4, 4) == "0019" ||
                    r.mid(4, 4) == "00EF")
            << r.constData();
    EXPECT_EQ(Sim->Instrument().SavesDone, saves);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    ExpectRestored();
}

// --- the value dialog ------------------------------------------------------------------------------

TEST(CalibrationDialog, FourUsesShowTheirCaptionPromptAndPresets)
{
    const struct {
        TCalUse Use;
        const char *Caption, *Prompt;
        bool Signal, Weight, ReadOnly;
        const char *Value;
    } cases[] = {
        {TCalUse::DirectZero, "Absolute mV/V Calibration", "Enter Zero Signal", true, false, false, "0.1000"},
        {TCalUse::DirectSpan, "Absolute mV/V Calibration", "Enter Span Signal", true, true, true, "2.0000"},
        {TCalUse::Span, "Span Calibration", nullptr, false, true, false, "3000.00"},
        {TCalUse::Linearisation, "Linearisation", nullptr, false, true, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Caption);
        TRecordingReporter reporter;
        TFrmAbsCal dialog(&reporter);
        dialog.Setup({c.Use, c.Use == TCalUse::DirectZero ? "0.1000" : "2.0000", "3000.00", "kg"});
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), c.Caption);
        EXPECT_EQ(dialog.lblAbsPrompt->isVisible(), c.Prompt != nullptr);
        if (c.Prompt) {
            EXPECT_EQ(dialog.lblAbsPrompt->text(), c.Prompt);
        }
        EXPECT_EQ(dialog.EdtAbsMV->isVisible(), c.Signal);
        EXPECT_EQ(dialog.lblMVV->isVisible(), c.Signal);
        EXPECT_EQ(dialog.EdtCalWeight->isVisible(), c.Weight);
        EXPECT_EQ(dialog.lblCalWeightUnits->isVisible(), c.Weight);
        if (c.Weight) {
            EXPECT_EQ(dialog.EdtCalWeight->isReadOnly(), c.ReadOnly);
            EXPECT_EQ(dialog.lblCalWeightUnits->text(), "kg");
        }
        EXPECT_EQ(dialog.Value(), c.Value);
        EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    }
}

TEST(CalibrationDialog, SignalKeysAreFilteredAndTheRangeIsCheckedOnLeaving)
{
    TRecordingReporter reporter;
    TFrmAbsCal dialog(&reporter);
    dialog.Setup({TCalUse::DirectZero, "", "", ""});
    dialog.show();
    QTest::keyClicks(dialog.EdtAbsMV, "a-0,x01b5");
    EXPECT_EQ(dialog.EdtAbsMV->text(), "-0,015");
    dialog.EdtAbsMV->setText("-0.015");
    QTest::keyClick(dialog.EdtAbsMV, Qt::Key_Return);
    EXPECT_EQ(dialog.EdtAbsMV->text(), "-0.0150");
    EXPECT_EQ(dialog.result(), 0) << "Enter does not close the dialog";
    EXPECT_TRUE(dialog.EdtAbsMVExit());

    // Outside +-3.0000 mV/V: the error, and Ok does not close the dialog.
    for (const char *text : {"3.0001", "-3.5"}) {
        dialog.EdtAbsMV->setText(text);
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible()) << text;
    }
    EXPECT_EQ(reporter.Errors, QStringList(2, "Out of Range: (-3.0000 to 3.0000)"));
    EXPECT_EQ(dialog.EdtAbsMV->text(), "-3.5000");
    dialog.EdtAbsMV->setText("3");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Value(), "3.0000");
}

TEST(CalibrationDialog, SignalsAndWeightsAreReadStrictlyAndARefusalKeepsTheDialogOpen)
{
    TRecordingReporter reporter;
    TFrmAbsCal dialog(&reporter);
    const struct {
        TCalUse Use;
        const char *Typed;
        const char *Refusal; // empty: taken, and the field then shows Shown
        const char *Shown;
    } rows[] = {
        {TCalUse::DirectZero, "1.2.3", "\"1.2.3\" is not a signal in mV/V", ""},
        {TCalUse::DirectZero, "0.00001", "\"0.00001\" has more decimals than this entry shows: at most 4",
         ""},
        {TCalUse::DirectSpan, "1.5mV", "\"1.5mV\" is not a signal in mV/V", ""},
        {TCalUse::DirectZero, "0,01", "", "0.0100"},
        {TCalUse::Span, "1e3", "\"1e3\" is not a weight", ""},
        {TCalUse::Span, "1.500,00", "holds both", ""},
        {TCalUse::Span, "1500.505", "has more decimals than this entry shows: at most 2", ""},
        {TCalUse::Linearisation, "12,5", "", "12.50"},
        {TCalUse::Span, "1500", "", "1500.00"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.Typed);
        TCalAsk ask;
        ask.Use = r.Use;
        ask.Weight = "3000.00";
        ask.WeightDecimals = 2;
        dialog.Setup(ask);
        dialog.setResult(0);
        dialog.show();
        reporter.Errors.clear();
        QLineEdit *field = r.Use == TCalUse::DirectZero || r.Use == TCalUse::DirectSpan ? dialog.EdtAbsMV
                                                                                        : dialog.EdtCalWeight;
        field->setText(QString::fromLatin1(r.Typed));
        dialog.accept();
        if (*r.Refusal) {
            ASSERT_EQ(reporter.Errors.size(), 1);
            EXPECT_TRUE(reporter.Errors[0].contains(QString::fromLatin1(r.Refusal)))
                << reporter.Errors[0].toStdString();
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.result(), 0);
            EXPECT_EQ(field->text(), QString::fromLatin1(r.Typed));
        } else {
            EXPECT_TRUE(reporter.Errors.isEmpty()) << reporter.Errors.join('\n').toStdString();
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(dialog.Value(), r.Shown);
        }
    }
}

} // namespace
