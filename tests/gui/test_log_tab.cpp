// The Log tab against the simulator and with loaded logs: a recording's points, traces, locks and
// recovery file; the link closing while logging; cursors, zoom, scroll and undo; chart setup; the
// names logs are saved under.
#include "log_support.h"

#include "logging/logfile.h"
#include "values/tools.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <cmath>

namespace
{

std::vector<double> Times(const TLogModel &log)
{
    std::vector<double> t;
    for (int64_t i = 0; i < log.Weight().Count(); ++i)
        t.push_back(std::round(log.Weight().TimeAt(i) * 100) / 100);
    return t;
}

} // namespace

TEST_F(LogTabTest, RecordsTheSimulatorsStreamWithItsTraces)
{
    Cfg.LogBurstSamples = 10;
    ConnectSim();
    Channels = {3, 7, 0, 0}; // Motion, IO3
    Ui->Log.Comment = "first run";
    bool lockedWhileLogging = false, stayedOnLog = false;
    bool stoppedAtOnce = false;
    RecordUntil([&] { return Points() >= 8; },
                [&] {
                    lockedWhileLogging = !W->Open1->isEnabled() && !W->Connect2->isEnabled() &&
                                         !Ui->Tab->BtnStart->isEnabled();
                    W->PgCMain->setCurrentWidget(W->TSDisplay);
                    stayedOnLog = W->PgCMain->currentWidget() == W->TSLog;
                    Ui->BtnStopClick();
                    // Stop takes effect before the waiting write has its answer.
                    stoppedAtOnce = Ui->Log.LogState == 0 && W->Connect2->isEnabled() && Ui->LoopRunning();
                    return true;
                });
    EXPECT_TRUE(stoppedAtOnce);
    EXPECT_TRUE(lockedWhileLogging);
    EXPECT_TRUE(stayedOnLog);
    EXPECT_FALSE(Ui->LoopRunning());
    EXPECT_TRUE(Ui->Tab->BtnStart->isEnabled());
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();

    // 10 Hz on the instrument's 0.04 s stamps: 0, 0.12, 0.2, 0.32 ...; 12.50 kg; IO3 set on trace 2.
    const TLogModel &log = Ui->Log;
    ASSERT_GE(Points(), 8);
    const std::vector<double> t = Times(log);
    const std::vector<double> expected{0, 0.12, 0.2, 0.32, 0.4, 0.52, 0.6, 0.72};
    EXPECT_EQ(std::vector<double>(t.begin(), t.begin() + 8), expected);
    EXPECT_EQ(log.LogUnits, "kg");
    EXPECT_EQ(log.LogDecimals, 2);
    for (int64_t i = 0; i < Points(); ++i) {
        EXPECT_DOUBLE_EQ(log.Weight().ValueAt(i), 12.5);
        EXPECT_DOUBLE_EQ(log.Digital(1).ValueAt(i), 0.0);
        EXPECT_DOUBLE_EQ(log.Digital(2).ValueAt(i), 2.5);
    }
    EXPECT_EQ(log.Digital(3).Count(), 0);
    EXPECT_EQ(Ui->Tab->LblDig[0]->text(), "Motion");
    EXPECT_EQ(Ui->Tab->LblDig[1]->text(), "IO3");
    EXPECT_EQ(Ui->Tab->LblDig[2]->text(), "");
    EXPECT_EQ(Ui->Tab->Chart->yAxis->label(), "Weight (kg)");

    // The recovery file holds exactly what a save writes.
    QList<QByteArray> saved;
    WriteLogCsv(log, saved);
    EXPECT_EQ(saved[0], "first run");
    EXPECT_EQ(saved[1], "Time,Weight(kg),Motion,IO3,");
    const QString recovery = Ui->RecoveryFile();
    EXPECT_EQ(FileText(recovery), saved.join("\r\n") + "\r\n");

    // Saved as LOG1: written as LOG1.CSV; the recording is safe, so the recovery file goes.
    Ui->AskSaveFile = [&](const QString &title, const QString &) {
        EXPECT_EQ(title, "Save Log to File");
        return Folder.File("LOG1");
    };
    Ui->SaveLogClick();
    EXPECT_EQ(FileText(Folder.File("LOG1.CSV")), saved.join("\r\n") + "\r\n");
    EXPECT_FALSE(QFile::exists(recovery));
    Ui->AskSaveFile = [&](const QString &, const QString &) { return Folder.File("LOG1.TXT"); };
    Ui->SaveLogClick();
    EXPECT_TRUE(QFile::exists(Folder.File("LOG1.TXT")));
    EXPECT_FALSE(QFile::exists(Folder.File("LOG1.TXT.CSV")));
}

TEST_F(LogTabTest, LinkClosingEndsTheRecordingWithAMessage)
{
    // Not connected: the message, and nothing else.
    Ui->BtnStartClick();
    EXPECT_EQ(Reporter.Errors, QStringList{TLogUi::NotConnectedText});
    EXPECT_EQ(Ui->Log.LogState, 0);

    Reporter.Errors.clear();
    Cfg.LogBurstSamples = 10;
    ConnectSim();
    RecordUntil([&] { return Points() >= 5; },
                [&] {
                    Sim->Stop(); // the instrument goes away; nobody presses Stop
                    return false;
                });
    EXPECT_EQ(Ui->Log.LogState, 0);
    EXPECT_FALSE(Ui->LoopRunning());
    EXPECT_TRUE(Reporter.Errors.contains(TLogUi::LinkClosedText)) << Reporter.Errors.join('\n').toStdString();
    EXPECT_GE(Points(), 5); // the recorded points stay
    EXPECT_TRUE(W->PgCMain->isEnabled());
    EXPECT_TRUE(W->Connect2->isEnabled());
}

TEST_F(LogTabTest, CursorsZoomScrollAndUndo)
{
    Open(WriteFile("cursor.CSV", {"cursor test", "Time,Weight(kg),Motion,IO3", "0.00,100.0,0.00,1.00",
                                  "5.00,150.0,1.00,1.00", "10.00,200.0,0.00,0.00"}));
    TLogModel &log = Ui->Log;
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), "cursor test");
    EXPECT_EQ(Ui->Tab->LblDig[1]->text(), "IO3");
    EXPECT_EQ(log.Bottom, (TLogRange{0, 10}));
    EXPECT_EQ(log.Left, (TLogRange{90, 210}));
    TLogChart *chart = Ui->Tab->Chart;
    chart->replot();
    const QRect area = chart->PlotArea();
    // Clicks near 2 s and 8 s, at heights that are not the weights: the cursors take the logged
    // samples nearest in time (0 s, 100 kg and 10 s, 200 kg) and the readout says they are logged.
    const QPoint a = area.topLeft() + QPoint(area.width() / 5, area.height() / 2);
    const QPoint b = area.topLeft() + QPoint(area.width() * 4 / 5, area.height() / 4);
    QLabel *readout = Ui->Tab->LblCsrPos;

    QTest::mouseClick(chart, Qt::LeftButton, Qt::ShiftModifier, a);
    EXPECT_EQ(readout->text(), "Logged weight: 100.0 kg   at   " + LogTimeText(0) + " sec");
    EXPECT_EQ(chart->Cursors[0]->Weight, 100);
    QTest::mouseClick(chart, Qt::RightButton, Qt::ShiftModifier, b);
    EXPECT_TRUE(chart->Cursors[0]->Shown && chart->Cursors[1]->Shown);
    EXPECT_EQ(readout->text(), "Logged change: 100.0 kg   over   " + LogTimeText(10) + " secs");
    // Near 4.6 s: the sample at 5 s, 150 kg.
    QTest::mouseClick(chart, Qt::RightButton, Qt::ShiftModifier,
                      area.topLeft() + QPoint(area.width() * 46 / 100, area.height() / 8));
    EXPECT_EQ(readout->text(), "Logged change: 50.0 kg   over   " + LogTimeText(5) + " secs");
    QTest::mouseClick(chart, Qt::LeftButton, Qt::ShiftModifier, b);
    EXPECT_TRUE(readout->text().contains("   at   "));
    EXPECT_FALSE(chart->Cursors[1]->Shown);
    QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, a);
    EXPECT_EQ(readout->text(), "");
    EXPECT_FALSE(chart->Cursors[0]->Shown);

    // A gesture of the chart (here a scroll of its time axis) marks the chart zoomed.
    chart->xAxis->setRange(2, 4);
    EXPECT_TRUE(log.Zoomed);
    EXPECT_EQ(log.Bottom, (TLogRange{2, 4}));
    QTest::mouseDClick(chart, Qt::LeftButton, Qt::NoModifier, a); // undo
    EXPECT_FALSE(log.Zoomed);
    EXPECT_EQ(log.Bottom, (TLogRange{0, 10}));
    EXPECT_EQ(chart->xAxis->range().upper, 10);
    // Arrow keys move an axis by a tenth of its range.
    QTest::keyClick(W.get(), Qt::Key_Right);
    EXPECT_EQ(log.Bottom, (TLogRange{1, 11}));
    QTest::keyClick(W.get(), Qt::Key_Down);
    EXPECT_EQ(log.Left, (TLogRange{78, 198}));
}

TEST_F(LogTabTest, ChartSetupFieldsAutoAndOk)
{
    Open(WriteFile("setup.CSV", {"", "Time,Weight(kg),", "0.00,150", "20.00,100", "42.60,200"}));
    QTest::keyClick(W.get(), Qt::Key_Left);
    QStringList opened;
    SetupAnswer = [&](TFrmChartSetup *d) {
        d->show();
        opened << d->EdtTstart->text() << d->EdtTend->text() << d->Edtminwgt->text() << d->EdtMaxWgt->text()
               << d->LblMinUnits->text();
        // Letters are discarded as typed; Enter rewrites the field to whole seconds.
        d->EdtTstart->clear();
        QTest::keyClicks(d->EdtTstart, "1k2.7");
        EXPECT_EQ(d->EdtTstart->text(), "12.7");
        QTest::keyClick(d->EdtTstart, Qt::Key_Return);
        EXPECT_EQ(d->EdtTstart->text(), "12");
        d->EdtTend->setText("1001");
        QTest::keyClick(d->EdtTend, Qt::Key_Enter);
        EXPECT_EQ(Reporter.Errors, QStringList{"Out of Range: (0 to 1000)"});
        d->BtnAuto->click();
        EXPECT_EQ(d->EdtTstart->text(), "0");
        EXPECT_EQ(d->EdtTend->text(), "43");
        EXPECT_EQ(d->EdtMaxWgt->text(), "210");
        EXPECT_EQ(d->Edtminwgt->text(), "90");
        d->EdtTstart->setText("5");
        d->EdtComment->setText("set by hand");
        return int(QDialog::Accepted);
    };
    W->ChartSetup->trigger();
    // Opened with the chart's ranges (the fitted log, scrolled left by a tenth).
    EXPECT_EQ(opened, (QStringList{"-4", "38", "90", "210", "kg"}));
    EXPECT_EQ(Ui->Log.Bottom, (TLogRange{5, 43}));
    EXPECT_EQ(Ui->Log.Left, (TLogRange{90, 210}));
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), "set by hand");
    EXPECT_EQ(Ui->Tab->Chart->xAxis->range().lower, 5);

    // Cancel changes nothing; a reversed range is reported and that axis keeps its range.
    SetupAnswer = [](TFrmChartSetup *d) {
        d->EdtComment->setText("cancelled");
        return int(QDialog::Rejected);
    };
    W->ChartSetup->trigger();
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), "set by hand");
    SetupAnswer = [](TFrmChartSetup *d) {
        d->EdtTstart->setText("50");
        return int(QDialog::Accepted);
    };
    W->ChartSetup->trigger();
    EXPECT_EQ(Reporter.Errors.size(), 2);
    EXPECT_EQ(Ui->Log.Bottom, (TLogRange{5, 43}));
}

TEST_F(LogTabTest, TheTabKeepsItsAxesAndARefusedSetupAppliesNothing)
{
    Open(WriteFile("axes.CSV", {"kept", "Time,Weight(kg),", "0.00,150", "42.60,200"}));
    const TLogRange left = Ui->Log.Left, bottom = Ui->Log.Bottom;
    EXPECT_EQ(bottom, (TLogRange{0, 42.6}));
    W->PgCMain->setCurrentWidget(W->TSDisplay);
    W->PgCMain->setCurrentWidget(W->TSLog);
    EXPECT_EQ(Ui->Log.Left, left);
    EXPECT_EQ(Ui->Log.Bottom, bottom);
    EXPECT_EQ(Ui->Tab->Chart->yAxis->range().upper, left.Max);

    // Each refused Ok keeps the dialog open, says why and applies nothing, the comment included.
    const struct {
        const char *Start, *End, *Min, *Max;
        QString Says;
    } refused[] = {
        {"0", "43", "300", "100", "Weight: The axis minimum (300) must be below its maximum (100)."},
        {"40", "20", "100", "200", "Time: The axis minimum (40) must be below its maximum (20)."},
        {"0", "1001", "100", "200", "Out of Range: (0 to 1000)"},
        {"0", "43", "100", "1000000", "Out of Range: (-999999 to 999999)"},
    };
    bool stayedOpen = true;
    SetupAnswer = [&](TFrmChartSetup *d) {
        d->show();
        for (const auto &row : refused) {
            Reporter.Errors.clear();
            d->EdtTstart->setText(row.Start);
            d->EdtTend->setText(row.End);
            d->Edtminwgt->setText(row.Min);
            d->EdtMaxWgt->setText(row.Max);
            d->EdtComment->setText(QStringLiteral(u"Łódź €"));
            d->BtnOk->click();
            stayedOpen = stayedOpen && d->isVisible();
            EXPECT_EQ(Reporter.Errors, QStringList{row.Says}) << row.Start << " " << row.End;
        }
        d->BtnCancel->click();
        return d->result();
    };
    W->ChartSetup->trigger();
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(Ui->Log.Left, left);
    EXPECT_EQ(Ui->Log.Bottom, bottom);
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), "kept");

    // Accepted: all of it, the comment in every character typed, and saved as UTF-8.
    SetupAnswer = [&](TFrmChartSetup *d) {
        d->show();
        d->EdtTend->setText("60");
        d->EdtComment->setText(QStringLiteral(u"Łódź €"));
        d->BtnOk->click();
        return d->result();
    };
    W->ChartSetup->trigger();
    EXPECT_EQ(Ui->Log.Bottom, (TLogRange{0, 60}));
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), QStringLiteral(u"Łódź €"));
    Ui->AskSaveFile = [&](const QString &, const QString &) { return Folder.File("utf8.CSV"); };
    ASSERT_TRUE(Ui->SaveLogClick());
    EXPECT_TRUE(FileText(Folder.File("utf8.CSV"))
                    .startsWith("\xc5\x81\xc3\xb3"
                                "d\xc5\xba \xe2\x82\xac\r\n"));

    // The command line's UTF-8 and an older version's Latin-1 both show as written; a number too
    // large for a log refuses the file and leaves the chart as it was.
    Open(WriteFile("cli.CSV", {"Pr\xc3\xbc"
                               "fung",
                               "Time,Weight(kg),", "0.00,1"}));
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), QStringLiteral(u"Prüfung"));
    Open(WriteFile("old.CSV", {"Pr\xfc"
                               "fung alt",
                               "Time,Weight(kg),", "0.00,1"}));
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), QStringLiteral(u"Prüfung alt"));
    Reporter.Errors.clear();
    Open(WriteFile("big.CSV", {"big", "Time,Weight(kg),", "0.00,1", "1.00,99999999999999999999"}));
    ASSERT_EQ(Reporter.Errors.size(), 1);
    EXPECT_TRUE(Reporter.Errors[0].contains("99999999999999999999 does not fit"))
        << Reporter.Errors[0].toStdString();
    EXPECT_EQ(Ui->Tab->LblLogComment->text(), QStringLiteral(u"Prüfung alt"));
    EXPECT_EQ(Points(), 1);
}
