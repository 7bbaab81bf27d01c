// File > Print of both branches read back from the PDF, the chart saved as a picture, and the
// recovery file: offered after the program was killed mid-recording, gone after a clean end, kept
// when nobody could be asked.
#include "log_support.h"

#include "logging/printlines.h"
#include "settings/settingstree.h"
#include "settings/ui/passcode.h"
#include "settings/ui/readsettings.h"
#include "settings/ui/settingsui.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <cstdio>

TEST_F(LogTabTest, PrintsTheLogPageAndTheSettingsTree)
{
    Open(WriteFile("print.CSV", {"Printed comment", "Time,Weight(kg),Motion,IO3", "0.00,1.5,0.00,1.00",
                                 "2.00,2.5,1.00,0.00"}));
    Ui->Print1Click();
    const QString log = PdfText();
    EXPECT_TRUE(log.contains("Printed comment")) << log.toStdString();
    // The trace names side by side, apart.
    EXPECT_TRUE(log.contains(QRegularExpression("Motion\\s+IO3"))) << log.toStdString();
    EXPECT_TRUE(log.contains("Time (secs)")); // the chart is on the page
    EXPECT_TRUE(log.contains("Weight (kg)"));

    // The settings tree as text: header, then three blanks per level of depth.
    ConnectSim();
    Other = [](QDialog *dialog) {
        if (auto *menu = qobject_cast<TFrmReadSettings *>(dialog)) {
            menu->CbxReadEntire->setChecked(true);
            return int(QDialog::Accepted);
        }
        if (auto *pass = qobject_cast<TFrmPasscode *>(dialog)) {
            pass->EdtPasscode->setText("1234");
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    };
    W->PgCMain->setCurrentWidget(W->TSDisplay);
    W->StartSession->trigger();
    auto *settings = W->findChild<TSettingsUi *>();
    ASSERT_FALSE(settings->Model->IsEmpty()) << Reporter.Errors.join('\n').toStdString();
    ASSERT_NE(W->PgCMain->currentWidget(), W->TSLog);
    const QList<QByteArray> tree = SettingsTreePrintLines(settings->Model->Tree());
    QByteArray deep;
    for (const QByteArray &line : tree)
        if (line.startsWith("         ") && line.at(9) != ' ') {
            deep = line;
            break;
        }
    ASSERT_FALSE(deep.isEmpty());
    Ui->Print1Click();
    const QString text = PdfText();
    EXPECT_TRUE(text.contains(" SN:1234567 Version V1.04")) << text.left(400).toStdString();
    // pdftotext lays the text out in columns from the leftmost glyph of the page, the header's (one
    // blank in): the root (three blanks) is two columns right of it, an item of depth 3 (nine
    // blanks) eight.
    const QStringList lines = text.split('\n');
    auto columnOf = [&](const QString &start) {
        for (const QString &line : lines)
            if (line.trimmed().startsWith(start))
                return line.indexOf(start);
        return qsizetype(-1);
    };
    const qsizetype header = columnOf("V500 SN:");
    const qsizetype root = columnOf(QString::fromLatin1(tree.first().trimmed()));
    const qsizetype item = columnOf(QString::fromLatin1(deep.trimmed().split(' ').first()));
    ASSERT_GE(header, 0) << text.toStdString();
    EXPECT_EQ(root - header, 2) << text.toStdString();
    EXPECT_EQ(item - header, 8) << text.toStdString();
    // Several pages: the tree does not fit one, and each break is a form feed.
    EXPECT_GE(text.count('\f'), 1);
}

TEST_F(LogTabTest, SavesTheChartAsAPicture)
{
    Open(WriteFile("pic.CSV", {"", "Time,Weight(kg),", "0.00,1.5", "2.00,2.5"}));
    Ui->AskSaveFile = [&](const QString &, const QString &) { return Folder.File("chart"); };
    Ui->SaveChartPicture();
    const QImage png(Folder.File("chart.png"));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), Ui->Tab->Chart->size());
    Ui->AskSaveFile = [&](const QString &, const QString &) { return Folder.File("chart.pdf"); };
    Ui->SaveChartPicture();
    EXPECT_TRUE(FileText(Folder.File("chart.pdf")).startsWith("%PDF"));
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

// Run only as the child of the recovery test: records from the simulator until it is killed.
TEST_F(LogTabTest, RecoveryChildRecordsUntilKilled)
{
    if (qEnvironmentVariableIsEmpty("BRELLIN_LOG_CHILD"))
        GTEST_SKIP() << "the recovery test's child";
    Cfg.LogBurstSamples = 10;
    ConnectSim();
    Channels = {7, 0, 0, 0};
    Ui->Log.Comment = "before the crash";
    RecordUntil([&] { return Points() >= 6; },
                [&] {
                    std::printf("recording %lld\n", static_cast<long long>(Points()));
                    std::fflush(stdout);
                    return false; // records on until killed
                });
}

TEST(LogRecovery, OfferedAfterTheProgramWasKilledMidRecording)
{
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("XDG_DATA_HOME");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BRELLIN_LOG_CHILD", "1");
    env.insert("XDG_DATA_HOME", home.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=LogTabTest.RecoveryChildRecordsUntilKilled"});
    ASSERT_TRUE(child.waitForStarted(5000));
    QByteArray out;
    const bool recording = PumpUntil(
        [&] {
            out += child.readAllStandardOutput();
            return out.contains("recording ") || child.state() == QProcess::NotRunning;
        },
        30000);
    ASSERT_TRUE(recording && out.contains("recording ")) << out.constData();
    child.kill(); // no clean end: SIGKILL
    child.waitForFinished(5000);

    // The next start, in the same per-user folder, offers the recording and opens it on the Log tab.
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    TProgramFolder folder{"[Options]\nFirstRun=0\n"};
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    auto w = CreateMainWindow(config, {}, &reporter);
    ASSERT_TRUE(w);
    auto *ui = w->findChild<TLogUi *>();
    const QString recovery = ui->RecoveryFile;
    EXPECT_TRUE(recovery.startsWith(home.path())) << recovery.toStdString();
    ASSERT_TRUE(QFile::exists(recovery));
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return !reporter.Questions.isEmpty(); }));
    EXPECT_TRUE(reporter.Questions[0].contains("was not saved")) << reporter.Questions[0].toStdString();
    EXPECT_EQ(w->PgCMain->currentWidget(), w->TSLog);
    EXPECT_GE(ui->Log.Weight().Count(), 6);
    EXPECT_EQ(ui->Log.LogUnits, "kg");
    EXPECT_EQ(ui->Tab->LblLogComment->text(), "before the crash");
    EXPECT_EQ(ui->Tab->LblDig[0]->text(), "IO3");
    EXPECT_DOUBLE_EQ(ui->Log.Weight().ValueAt(0), 12.5);
    // Kept until the log is saved (or a recording starts); a clean end of the program discards it.
    EXPECT_TRUE(QFile::exists(recovery));
    w->close();
    w.reset();
    EXPECT_FALSE(QFile::exists(recovery));

    QFile f(recovery);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("c\r\nTime,Weight(kg),\r\n0.00,1\r\n");
    f.close();
    // A run that takes a picture and ends has nobody to answer: it asks nothing and keeps the file.
    TStartOptions unattended;
    unattended.Screenshot = home.filePath("shot.png");
    reporter.Questions.clear();
    w = CreateMainWindow(config, unattended, &reporter);
    w->show();
    QTest::qWait(50);
    EXPECT_TRUE(reporter.Questions.isEmpty());
    w->close();
    w.reset();
    EXPECT_TRUE(QFile::exists(recovery));
    // Nor can anybody answer without a screen: nothing is asked, the file stays, and where it is is said.
    reporter.Unattended = true;
    w = CreateMainWindow(config, {}, &reporter);
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return !reporter.Infos.isEmpty(); }));
    EXPECT_TRUE(reporter.Questions.isEmpty());
    EXPECT_TRUE(reporter.Infos.last().contains(QDir::toNativeSeparators(recovery)));
    w->close();
    w.reset();
    EXPECT_TRUE(QFile::exists(recovery));
    reporter.Unattended = false;

    // Declined: the file goes and the chart stays empty.
    reporter.Answer = false;
    reporter.Questions.clear();
    w = CreateMainWindow(config, {}, &reporter);
    ui = w->findChild<TLogUi *>();
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return !reporter.Questions.isEmpty(); }));
    EXPECT_FALSE(QFile::exists(recovery));
    EXPECT_EQ(ui->Log.Weight().Count(), 0);
    w.reset();
    qputenv("XDG_DATA_HOME", savedHome);
}

TEST_F(LogTabTest, ARecordingMovesAsideAnEarlierOneNobodyWasAskedAbout)
{
    // Left by an earlier run and not offered in this one: nobody could answer.
    Reporter.Unattended = true;
    const QByteArray earlier = "kept\r\nTime,Weight(kg),\r\n0.00,1\r\n";
    QFile f(Ui->RecoveryFile);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(f).absolutePath()) && f.open(QIODevice::WriteOnly));
    f.write(earlier);
    f.close();
    Cfg.LogBurstSamples = 10;
    ConnectSim();
    RecordUntil([&] { return Points() >= 2; }, [] { return true; });
    const QFileInfoList aside =
        QFileInfo(Ui->RecoveryFile).dir().entryInfoList({"unsaved-log-*.CSV"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1) << (Reporter.Errors + Reporter.Infos).join('\n').toStdString();
    EXPECT_EQ(FileText(aside[0].filePath()), earlier);
    const QByteArray now = FileText(Ui->RecoveryFile);
    EXPECT_TRUE(now != earlier && now.contains("Time,Weight(kg)")) << now.constData();
    const QString recovery = Ui->RecoveryFile;
    W.reset(); // a clean end drops this run's recording only
    EXPECT_TRUE(QFile::exists(aside[0].filePath()));
    EXPECT_FALSE(QFile::exists(recovery));
}
