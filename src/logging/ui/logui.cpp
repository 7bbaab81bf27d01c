// Weight logging in the main window: recording, samples, recovery file and chart setup (see logui.h;
// files, printing and pictures are in logprint.cpp).
#include "logging/ui/logui.h"

#include "i18n/ui/LumsLangComp.h"
#include "link/reporter.h"
#include "logging/chartrules.h"
#include "logging/ui/ChartSetup.h"
#include "logging/ui/logchart.h"
#include "logging/ui/logdialog.h"
#include "logging/ui/logtab.h"
#include "shell/ui/main.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

TLogUi::TLogUi(TFrmMain &window) : QObject(&window), Window(window)
{
    setObjectName(QStringLiteral("LogUi"));
    Tab = new TLogTab(Log, Window.TSLog);
    if (!Window.TSLog->layout())
        new QVBoxLayout(Window.TSLog);
    Window.TSLog->layout()->addWidget(Tab);
    Dialog = new TFrmLogDialog(&Window);
    RecoveryFile = DefaultRecoveryFile();

    connect(Tab, &TLogTab::StartClicked, this, &TLogUi::BtnStartClick);
    connect(Tab, &TLogTab::StopClicked, this, &TLogUi::BtnStopClick);
    Tab->OnSavePicture = [this] { SaveChartPicture(); };
    Window.Engine->SetRouteConsumer(RouteLog, this);
    Window.Hooks.LogTabShown = [this] { LogTabShown(); };
    Window.Hooks.LogScroll = [this](int dx, int dy) { Tab->ScrollByKey(dx, dy); };
    Window.Provide(Window.ChartSetup, [this] { ChartSetupClick(); });
    // File > Open and Save act on the log while the Log tab is shown; Print prints the log page
    // there and the settings tree on every other tab.
    Window.SetFileActions(
        Window.TSLog, {[this] { OpenLogClick(); }, [this] { SaveLogClick(); }, [this] { Print1Click(); }});
    Window.SetFileActions(nullptr, {{}, {}, [this] { Print1Click(); }});
    Window.installEventFilter(this);
}

TLogUi::~TLogUi()
{
    Window.Engine->SetRouteConsumer(RouteLog, nullptr);
    // The program ends cleanly: ending it is the user's choice, and the unsaved recording goes
    // with it. A killed program never gets here and leaves the file for its next start, and so
    // does a run that never offered an earlier recording nor recorded one of its own.
    if (RecoveryTaken)
        DropRecovery();
    else
        Recovery.Close();
}

int TLogUi::Exec(QDialog *dialog)
{
    // Each dialog takes the language file's words when it is shown.
    if (Window.Language)
        Window.Language->ApplyLanguage(dialog);
    return Window.Hooks.ExecModal ? Window.Hooks.ExecModal(dialog) : dialog->exec();
}

bool TLogUi::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &Window) {
        if (event->type() == QEvent::Show && !Offered) {
            Offered = true;
            if (OfferRecoveryAtShow)
                QTimer::singleShot(0, this, [this] { OfferRecovery(); });
        } else if (event->type() == QEvent::Close) {
            // Closing the window ends a recording (the window waits for no Stop); the link's
            // closing that follows needs no message then.
            Closing = true;
            if (Log.LogState == 1)
                StopLogging();
        }
    }
    return QObject::eventFilter(watched, event);
}

// --- recording -----------------------------------------------------------------------------------------

void TLogUi::BtnStartClick()
{
    if (Running)
        return;
    TTransactionEngine &engine = *Window.Engine;
    if (!engine.LinkOpen()) {
        Window.Reporter->Error(NotConnectedText);
        return;
    }
    Log.Zoomed = false;
    Dialog->Preset(Log.LogInterval, Log.DigitalChannel);
    if (Exec(Dialog) != QDialog::Accepted)
        return;

    Running = true;
    Tab->BtnStart->setEnabled(false);
    Tab->EraseCursors();
    Log.BeginRecording();
    {
        TBusyGuard busy(Window.Reporter);
        if (engine.Transact(CmdReadFormatted, 0x0025, {}, true, true))
            Log.TakeFormattedWeight(engine.LastReply.Data);
    }
    Log.ResetLogChart(true, Dialog->Choices());
    for (size_t n = 0; n < 4; ++n)
        Log.Labels[n] = Log.DigitalChannel[n] > 0 ? LogChannelName(Log.DigitalChannel[n]) : QByteArray();
    Tab->ShowLabels();
    Tab->ShowLog();
    Tab->Chart->setFocus();
    Window.SetLoggingActive(true);
    StartRecovery();

    // The instrument streams samples while it answers each of these writes; the replies, the
    // samples and the Stop button are served while each write waits.
    Log.LogState = 1;
    while (Log.LogState == 1) {
        QElapsedTimer waited;
        waited.start();
        const bool answered = engine.Transact(CmdWrite, 0x004F, MsgStartLogging, true, false);
        if (Log.LogState != 1)
            break;
        if (!engine.LinkOpen()) {
            StopLogging();
            if (!Closing)
                Window.Reporter->Error(LinkClosedText);
            break;
        }
        // A write refused at once (another exchange running) must not spin the loop.
        if (!answered && waited.elapsed() < 5)
            engine.WaitTicks(1);
    }
    Running = false;
    Tab->BtnStart->setEnabled(Log.LogState == 0);
    if (OnLoopEnded)
        OnLoopEnded();
}

void TLogUi::BtnStopClick()
{
    if (Log.LogState == 0)
        return;
    StopLogging();
    Tab->Chart->setFocus();
}

void TLogUi::StopLogging()
{
    Log.LogState = 0;
    Window.SetLoggingActive(false);
    Recovery.Close();
    Tab->ShowLog();
    // Start comes back once the write that is waiting has had its answer.
    Tab->BtnStart->setEnabled(!Running);
}

void TLogUi::RoutedReply(const Tcommsobj &reply, const QByteArray &)
{
    if (Log.LogState == 0)
        return;
    const TLogSampleResult r = Log.AddLogSample(reply.Data);
    if (!r.Accepted)
        return;
    if (Recovery.IsOpen() && !Recovery.AppendLast(Log)) {
        const QString reason = Recovery.ErrorText();
        Recovery.Close();
        Window.Reporter->Error(
            QStringLiteral("The recovery file %1 cannot be written (%2); the recording goes on without it.")
                .arg(Recovery.Path(), reason));
    }
    if (r.LeftChanged || r.BottomChanged)
        Tab->Chart->ShowRanges(Log);
    Tab->Chart->Refresh();
}

void TLogUi::LogTabShown()
{
    Log.ResetLogChart(true, Dialog->Choices());
    Tab->ShowLog();
}

// --- chart setup ---------------------------------------------------------------------------------------

void TLogUi::ChartSetupClick()
{
    TFrmChartSetup dialog(Log, Window.Reporter, &Window);
    dialog.Decimals = Log.LogDecimals;
    dialog.Fill(ChartSetupFill(Log, dialog.Decimals), Log.LogUnits, Log.Comment);
    if (Exec(&dialog) != QDialog::Accepted)
        return;
    Log.Comment = dialog.EdtComment->text().toLatin1();
    Tab->ShowLabels();
    QString error;
    if (!ApplyChartSetup(Log, dialog.Fields(), &error))
        Window.Reporter->Error(error);
    Tab->ShowLog();
}

// --- the recovery file ---------------------------------------------------------------------------------

QString TLogUi::DefaultRecoveryFile()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return QDir(dir).filePath(QStringLiteral("unsaved-log.CSV"));
}

void TLogUi::StartRecovery()
{
    RecoveryHoldsChart = true;
    const bool earlierKept = !RecoveryTaken && !RecoveryFile.isEmpty() && QFileInfo(RecoveryFile).isFile();
    if (RecoveryFile.isEmpty())
        return;
    QDir().mkpath(QFileInfo(RecoveryFile).absolutePath());
    // An earlier recording this run never offered (nobody could answer) is moved aside, not
    // overwritten.
    if (earlierKept) {
        const QFileInfo info(RecoveryFile);
        const QString aside = info.dir().filePath(
            QStringLiteral("%1-%2.%3")
                .arg(info.completeBaseName(),
                     info.lastModified().toString(QStringLiteral("yyyyMMdd-hhmmsszzz")), info.suffix()));
        if (QFile::rename(RecoveryFile, aside)) {
            Window.Reporter->Info(QStringLiteral("The earlier unsaved recording was moved to %1.")
                                      .arg(QDir::toNativeSeparators(aside)));
        } else {
            Window.Reporter->Error(QStringLiteral("The earlier unsaved recording in %1 could not be moved "
                                                  "aside; the recording goes on without a recovery file.")
                                       .arg(QDir::toNativeSeparators(RecoveryFile)));
            return; // and the end of the program leaves that file alone
        }
    }
    RecoveryTaken = true;
    QString error;
    if (!Recovery.Open(RecoveryFile, Log, &error))
        Window.Reporter->Error(error + QStringLiteral("\nThe recording goes on without a recovery file."));
}

void TLogUi::DropRecovery()
{
    Recovery.Close();
    RecoveryHoldsChart = false;
    if (!RecoveryFile.isEmpty())
        QFile::remove(RecoveryFile);
}

bool TLogUi::OfferRecovery()
{
    if (RecoveryFile.isEmpty() || !QFileInfo(RecoveryFile).isFile() || Log.LogState == 1)
        return false;
    QList<QByteArray> lines;
    QString error;
    if (!LoadLogLines(RecoveryFile, &lines, &error)) {
        Window.Reporter->Error(error + QStringLiteral("\nThe unsaved recording is left where it is."));
        return false;
    }
    if (lines.size() < 3) {
        QFile::remove(RecoveryFile); // nothing was recorded
        return false;
    }
    if (!Window.Reporter->Attended()) {
        // Nobody could answer: the file stays for a start that has a user.
        Window.Reporter->Info(QStringLiteral("An unsaved recording of %1 samples is kept in %2; it is "
                                             "offered when the program next starts on a screen.")
                                  .arg(lines.size() - 2)
                                  .arg(QDir::toNativeSeparators(RecoveryFile)));
        return false;
    }
    RecoveryTaken = true;
    const QString when = QLocale().toString(QFileInfo(RecoveryFile).lastModified(), QLocale::ShortFormat);
    const QString question =
        QStringLiteral(
            "A recording of %1 samples (last sample at %2) was not saved before the program ended.\n"
            "Open it on the Log tab?")
            .arg(lines.size() - 2)
            .arg(when);
    if (!Window.Reporter->Ask(question)) {
        QFile::remove(RecoveryFile);
        return false;
    }
    LoadLog(lines, true);
    return true;
}

void TLogUi::LoadLog(const QList<QByteArray> &lines, bool fromRecovery)
{
    Tab->EraseCursors();
    ReadLogCsv(Log, lines);
    RecoveryHoldsChart = fromRecovery;
    Tab->ShowLabels();
    // Showing the tab resets its ranges; the fit comes after.
    if (Window.PgCMain->currentWidget() != Window.TSLog)
        Window.PgCMain->setCurrentWidget(Window.TSLog);
    Log.ResetLogChart(true, Dialog->Choices());
    QString error;
    if (Log.HasWeights() && !Log.FitLogChart(&error))
        Window.Reporter->Error(error);
    Tab->ShowLog();
}
