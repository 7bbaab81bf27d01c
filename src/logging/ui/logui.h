// TLogUi: weight logging in the main window. It owns the log model, the Log tab and the logging
// dialog; starts and stops recordings (the write loop that keeps the instrument streaming), takes
// the samples the engine routes to the log, keeps every accepted sample in a recovery file, and
// serves File > Open, Save and Print on the Log tab, the settings printout, Edit > Setup Chart and
// saving the chart as a picture.
#pragma once

#include "link/transact.h"
#include "logging/logfile.h"
#include "logging/logmodel.h"

#include <QObject>
#include <QString>
#include <functional>

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
    // The Log tab became the active page: the chart's ranges are reset, its points kept.
    void LogTabShown();
    // True from Start until the write loop has returned.
    bool LoopRunning() const { return Running; }

    // --- files and printing --------------------------------------------------------------------------
    void OpenLogClick();
    void SaveLogClick();
    // File > Print: the log page on the Log tab, the settings tree as text elsewhere.
    void Print1Click();
    void PrintLog(QPrinter &printer);
    void PrintSettings(QPrinter &printer);
    void ChartSetupClick();
    void SaveChartPicture();

    // --- the recovery file ---------------------------------------------------------------------------
    // Where an unsaved recording is kept (the per-user data folder).
    static QString DefaultRecoveryFile();
    QString RecoveryFile;
    // Offers a recording left by a program that did not end cleanly; true when one was opened.
    bool OfferRecovery();
    // False for a run nobody answers (a picture taken, then the end): the recording is kept.
    bool OfferRecoveryAtShow = true;

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
    void LoadLog(const QList<QByteArray> &lines, bool fromRecovery);
    void StartRecovery();
    void DropRecovery();
    int Exec(class QDialog *dialog);

    TLogFileWriter Recovery;
    bool RecoveryHoldsChart = false; // the chart shows the recording kept in the recovery file
    bool Running = false;
    bool Closing = false;
    bool Offered = false;
    bool RecoveryTaken = false; // this run offered the file or recorded into it
};
