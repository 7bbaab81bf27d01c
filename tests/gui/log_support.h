// The Log tab's test fixture: the main window on the Log tab with its dialogs answered here, its
// per-user data folder in a temporary directory, and, when asked, the simulator on loopback.
#pragma once

#include "gui_support.h"

#include "base/dmViewer.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "logging/ui/ChartSetup.h"
#include "logging/ui/logchart.h"
#include "logging/ui/logdialog.h"
#include "logging/ui/logtab.h"
#include "logging/ui/logui.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

class LogTabTest : public SimWindowTest
{
protected:
    LogTabTest() : SimWindowTest(ReadAllIni) {}

    void SetUp() override
    {
        // The recovery file goes to the per-user data folder: a temporary one here (the recovery
        // test's child keeps the one its parent gave it).
        SavedDataHome = qgetenv("XDG_DATA_HOME");
        if (qEnvironmentVariableIsEmpty("BRELLIN_LOG_CHILD"))
            qputenv("XDG_DATA_HOME", DataHome.path().toLocal8Bit());
        OpenWindow();
        Ui = W->findChild<TLogUi *>();
        ASSERT_TRUE(Ui);
        W->Hooks.ExecModal = [this](QDialog *dialog) {
            if (auto *log = qobject_cast<TFrmLogDialog *>(dialog)) {
                log->CBLogRate->setCurrentIndex(Rate);
                for (int n = 0; n < 4; ++n)
                    log->CBxDig[n]->setCurrentIndex(Channels[static_cast<size_t>(n)]);
                return int(QDialog::Accepted);
            }
            if (auto *setup = qobject_cast<TFrmChartSetup *>(dialog))
                return SetupAnswer ? SetupAnswer(setup) : int(QDialog::Rejected);
            return Other ? Other(dialog) : int(QDialog::Rejected);
        };
        Ui->AskPrinter = [this](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(Pdf);
            return true;
        };
        W->resize(1000, 640);
        W->show();
        W->PgCMain->setCurrentWidget(W->TSLog);
    }

    void TearDown() override
    {
        W.reset();
        Sim.reset();
        qputenv("XDG_DATA_HOME", SavedDataHome);
    }

    void ConnectSim()
    {
        Sim = MakeSim();
        ConnectTo(*Sim);
        PumpUntil([] { return false; }, 50); // the identification read at connect
        W->Engine->TimeoutTicks = 100;
    }

    // Start runs the recording inside the click, as the program does. While it records, the test's
    // step runs once `until` holds (checked every few ms from the recording's own event loop; it
    // must not wait itself); the recording is then stopped unless the step returns false. It is
    // stopped anyway after limitMs.
    void RecordUntil(const std::function<bool()> &until, const std::function<bool()> &step,
                     int limitMs = 10000)
    {
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done || Ui->Log.LogState != 1)
                return;
            const bool reached = until();
            if (!reached && clock.elapsed() < limitMs)
                return;
            done = true;
            poll.stop();
            if ((!reached || step()) && Ui->Log.LogState == 1)
                Ui->BtnStopClick();
        });
        poll.start();
        Ui->BtnStartClick();
        poll.stop();
    }

    int64_t Points() const { return Ui->Log.Weight().Count(); }

    // A log file in the temporary folder.
    QString WriteFile(const QString &name, const QList<QByteArray> &lines)
    {
        const QString path = Folder.File(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(lines.join("\r\n") + "\r\n");
        return path;
    }

    void Open(const QString &path)
    {
        Ui->AskOpenFile = [path](const QString &, const QString &) { return path; };
        Ui->OpenLogClick();
    }

    QByteArray FileText(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // The text of the printed PDF as pdftotext lays it out.
    QString PdfText() const
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), Pdf, QStringLiteral("-")});
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QTemporaryDir DataHome;
    QByteArray SavedDataHome;
    QString Pdf = Folder.File("out.pdf");
    TLogUi *Ui = nullptr;
    int Rate = 0;
    std::array<int, 4> Channels = {};
    std::function<int(TFrmChartSetup *)> SetupAnswer;
    std::function<int(QDialog *)> Other;
};
