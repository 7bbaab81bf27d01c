// TLogUi: weight logging in the main window. It owns the log model, the Log tab and the logging
// dialog; starts and stops recordings (the write loop that keeps the instrument streaming), takes
// the samples the engine routes to the log, keeps every accepted sample in the window's own
// recovery file, offers an unsaved recording for saving before it could be lost, and serves
// File > Open, Save and Print on the Log tab, the settings printout, Edit > Setup Chart and saving
// the chart as a picture.
#pragma once

#include "link/transact.h"
#include "logging/logfile.h"
#include "logging/logmodel.h"
#include "logging/logrecovery.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QPrinter;
class TFrmLogDialog;
class TFrmMain;
class TLogTab;

class TLogUi : public QObject, public TReplyConsumer
{
    Q_OBJECT
public:
    explicit TLogUi(TFrmMain &window);
    ~TLogUi() override;

    static constexpr const char *NotConnectedText = "Instrument not Connected";
    static constexpr const char *LinkClosedText = "Logging has stopped: the connection to the instrument was "
                                                  "lost. The points recorded so far are kept.";

    // --- recording ----------------------------------------------------------------------------------
    void BtnStartClick();
    void BtnStopClick();
    // The engine's log route: every decoded message while the Log tab is shown.
    void RoutedReply(const Tcommsobj &reply, const QByteArray &text) override;
    // The Log tab became the active page: the chart shows what it showed when it was left.
    void LogTabShown();
    // True from Start until the write loop has returned.
    bool LoopRunning() const { return Running; }

    // --- files and printing --------------------------------------------------------------------------
    void OpenLogClick();
    // True when the log was written.
    bool SaveLogClick();
    // File > Print: the log page on the Log tab, the settings tree as text elsewhere.
    void Print1Click();
    void PrintLog(QPrinter &printer);
    void PrintSettings(QPrinter &printer);
    void ChartSetupClick();
    void SaveChartPicture();

    // --- the recovery file ---------------------------------------------------------------------------
    // The window's recovery files: its own recording's, or an orphan it took over. The folder is the
    // per-user data folder; tests set their own before the window is shown.
    std::unique_ptr<TLogRecovery> Recovery;
    // The file that holds the chart's unsaved recording (empty when none).
    QString RecoveryFile() const { return Recovery->Path(); }
    // Offers each recording left by a window that ended without saving it (killed, crashed) and
    // that no running window holds; true when one was opened.
    bool OfferRecovery();
    // False for a run nobody answers (a picture taken, then the end): the recording is kept.
    bool OfferRecoveryAtShow = true;
    // The chart holds a recording that is in no log file yet.
    bool HasUnsavedRecording() const;
    // Before an action that replaces or ends the chart's unsaved recording: Save, Discard or
    // Cancel. True when the action may go on. `action` ends the question ("the program ends").
    bool AskUnsaved(const QString &action);

    // --- what tests answer -----------------------------------------------------------------------------
    std::function<QString(const QString &title, const QString &filter)> AskOpenFile;
    std::function<QString(const QString &title, const QString &filter)> AskSaveFile;
    std::function<bool(QPrinter &printer)> AskPrinter;
    // Called when a recording's write loop has returned.
    std::function<void()> OnLoopEnded;

    TFrmMain &Window;
    TLogModel Log;
    TLogTab *Tab;
    TFrmLogDialog *Dialog;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void StopLogging();
    // False (with the message shown) when the file is refused; the chart is then unchanged.
    bool LoadLog(const QList<QByteArray> &lines, bool fromRecovery);
    void StartRecovery();
    int Exec(class QDialog *dialog);

    bool Unsaved = false; // the chart's recording is in no log file
    bool Running = false;
    bool Closing = false;
    bool Offered = false;
};
