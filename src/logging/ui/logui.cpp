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
#include <QMessageBox>
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
    Recovery = std::make_unique<TLogRecovery>(TLogRecovery::DefaultFolder());

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
    // A recording that is saved, or that the user threw away, leaves nothing behind. One that is
    // not (nobody could be asked) stays in its file, unlocked, for the next start to offer; so
    // does a killed window's, whose lock dies with it.
    if (Unsaved)
        Recovery->Release();
    else
        Recovery->Discard();
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
            // An unsaved recording (or one still running) is offered for saving first; Cancel
            // keeps the window and the recording as they are.
            if (!Closing && !AskUnsaved(LangText("Messages", "UnsavedBeforeEnd", "the program ends"))) {
                event->ignore();
                return true;
            }
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
        Window.Reporter->Error(LangText("Messages", "NotConnected", NotConnectedText));
        return;
    }
    // A new recording replaces the chart's: an unsaved one is offered for saving first.
    if (!AskUnsaved(LangText("Messages", "UnsavedBeforeNew", "a new recording starts")))
        return;
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
    Recovery->EndWriting();
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
    if (Recovery->Writing() && !Recovery->AppendLast(Log)) {
        const QString reason = Recovery->ErrorText();
        Recovery->EndWriting();
        Window.Reporter->Error(
            LangText("Messages", "RecoveryUnwritable",
                     "The recovery file %1 cannot be written (%2); the recording goes on without it.")
                .arg(QDir::toNativeSeparators(Recovery->Path()), reason));
    }
    if (r.LeftChanged || r.BottomChanged)
        Tab->Chart->ShowRanges(Log);
    Tab->Chart->Refresh();
}

void TLogUi::LogTabShown()
{
    // The axes keep what they showed when the tab was left (a loaded curve stays on scale); only
    // the traces' axis is set again.
    Log.ResetLogChart(false, Dialog->Choices());
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
    // The dialog stays open on a refused entry; should one get here anyway, nothing is applied.
    TLogRange bottom, left;
    QString error;
    if (!ChartSetupRanges(dialog.Fields(), &bottom, &left, &error)) {
        Window.Reporter->Error(error);
        return;
    }
    Log.Comment = dialog.EdtComment->text().toUtf8();
    Log.Bottom = bottom;
    Log.Left = left;
    Tab->ShowLabels();
    Tab->ShowLog();
}

// --- the recovery file ---------------------------------------------------------------------------------

void TLogUi::StartRecovery()
{
    Unsaved = true;
    QString error;
    // The earlier recording is resolved by now (saved, thrown away, or kept for a later start).
    if (!Recovery->Begin(Log, &error))
        Window.Reporter->Error(
            error + "\n" +
            LangText("Messages", "RecoveryNone", "The recording goes on without a recovery file."));
}

bool TLogUi::HasUnsavedRecording() const
{
    return Unsaved && Log.HasWeights();
}

bool TLogUi::AskUnsaved(const QString &action)
{
    if (!HasUnsavedRecording())
        return true;
    // Nobody can answer: the recording stays in its file for the next start to offer.
    if (!Window.Reporter->Attended())
        return true;
    QMessageBox box(
        QMessageBox::Question, LangText("Messages", "UnsavedCaption", "Unsaved recording"),
        LangText("Messages", "UnsavedText", "The recording of %1 samples has not been saved to a log file.")
                .arg(Log.Weight().Count()) +
            "\n" + LangText("Messages", "UnsavedAsk", "Save it before %1?").arg(action),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, &Window);
    box.button(QMessageBox::Save)->setText(LangText("Messages", "ButtonSave", "Save"));
    box.button(QMessageBox::Discard)->setText(LangText("Messages", "ButtonDiscard", "Discard"));
    box.button(QMessageBox::Cancel)->setText(LangText("Messages", "ButtonCancel", "Cancel"));
    box.setObjectName(QStringLiteral("UnsavedRecordingBox"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = Exec(&box);
    if (answer == QMessageBox::Save) {
        if (Log.LogState == 1)
            StopLogging();
        return SaveLogClick();
    }
    if (answer == QMessageBox::Discard) {
        if (Log.LogState == 1)
            StopLogging();
        Recovery->Discard();
        Unsaved = false;
        return true;
    }
    return false;
}

bool TLogUi::OfferRecovery()
{
    if (Log.LogState == 1 || HasUnsavedRecording())
        return false;
    QStringList kept;
    for (const QString &path : Recovery->Candidates()) {
        // A file whose window still runs is that window's: never offered nor deleted here.
        if (!Recovery->TryTake(path))
            continue;
        QList<QByteArray> lines;
        QString error;
        if (!LoadLogLines(path, &lines, &error)) {
            Window.Reporter->Error(
                error + "\n" +
                LangText("Messages", "RecoveryLeft", "The unsaved recording is left where it is."));
            Recovery->Release();
            continue;
        }
        if (lines.size() < 3) {
            Recovery->Discard(); // nothing was recorded
            continue;
        }
        if (!Window.Reporter->Attended()) {
            // Nobody could answer: the file stays for a start that has a user.
            kept << LangText("Messages", "RecoveryKeptOne", "%1 samples in %2")
                        .arg(lines.size() - 2)
                        .arg(QDir::toNativeSeparators(path));
            Recovery->Release();
            continue;
        }
        const QString when = QLocale().toString(QFileInfo(path).lastModified(), QLocale::ShortFormat);
        const QString question =
            LangText("Messages", "RecoveryFound",
                     "A recording of %1 samples (last sample at %2) was not saved before its window ended.")
                .arg(lines.size() - 2)
                .arg(when) +
            "\n" + LangText("Messages", "RecoveryAsk", "Open it on the Log tab? (No deletes it.)");
        if (!Window.Reporter->Ask(question)) {
            Recovery->Discard();
            continue;
        }
        if (!LoadLog(lines, true)) {
            Recovery->Release();
            continue;
        }
        return true; // any further ones wait for the next start
    }
    if (!kept.isEmpty())
        Window.Reporter->Info(
            LangText("Messages", "RecoveryKept",
                     "Unsaved recordings are kept (%1); they are offered when the program next "
                     "starts on a screen.")
                .arg(kept.join(QStringLiteral("; "))));
    return false;
}

bool TLogUi::LoadLog(const QList<QByteArray> &lines, bool fromRecovery)
{
    // A refused file leaves the chart as it was.
    QString error;
    if (!ReadLogCsv(Log, lines, &error)) {
        Window.Reporter->Error(error);
        return false;
    }
    Tab->EraseCursors();
    if (!fromRecovery) {
        // The chart's earlier recording was saved or thrown away (its file goes), or nobody could
        // be asked (its file stays for a later start).
        if (Unsaved)
            Recovery->Release();
        else
            Recovery->Discard();
    }
    Unsaved = fromRecovery;
    Tab->ShowLabels();
    if (Window.PgCMain->currentWidget() != Window.TSLog)
        Window.PgCMain->setCurrentWidget(Window.TSLog);
    Log.ResetLogChart(true, Dialog->Choices());
    // A recovered recording keeps its units and channels when it is saved.
    if (fromRecovery)
        TakeLiveHeader(Log, LogTextToUtf8(lines.value(1)));
    if (Log.HasWeights() && !Log.FitLogChart(&error))
        Window.Reporter->Error(error);
    Tab->ShowLog();
    return true;
}
