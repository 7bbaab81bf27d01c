// The connection dialog's "Find Instrument": a simulated instrument behind a pty is found and
// chosen, a line where nothing answers is said so, and the progress window's Cancel ends a search.
#include "gui_support.h"

#include "base/dmViewer.h"
#include "link/ui/comdialog.h"
#include "link/ui/radiogroup.h"
#include "vornsim.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

TEST(FindInstrumentDialog, ChoosesWhatAnswersSaysWhenNothingDoesAndCancels)
{
    QTemporaryDir dir;
    TVornSimConfig cfg;
    cfg.UsePty = true;
    cfg.PtyLink = dir.filePath("vorn");
    cfg.Baud = 57600;
    cfg.Address = 7;
    cfg.SerialNumber = 90001;
    TVornSim sim(cfg);
    ASSERT_TRUE(sim.Start());
    // A line with nobody behind it.
    int master = -1, slave = -1;
    char silent[256];
    ASSERT_EQ(::openpty(&master, &slave, silent, nullptr, nullptr), 0);

    TProgramFolder folder("[Options]\nFirstRun=0\n[Connection]\nBaudRate=9600\nSerialAddress=0\n");
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    TFrmComDialog d(config, nullptr, &reporter);
    d.LoadFromConfig();
    d.CBPort->clear(); // only the ports this test made
    d.FindAttemptMs = 100;
    d.show();

    d.CBPort->setEditText(cfg.PtyLink);
    QTest::mouseClick(d.BtnFind, Qt::LeftButton);
    const auto chosen = d.Effective();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->PortName, cfg.PtyLink);
    EXPECT_EQ(chosen->BaudRate, 57600);
    EXPECT_EQ(chosen->UnitAddress, 7);
    EXPECT_TRUE(d.lblFindResult->text().startsWith("Found SN: 90001, V500 V1.04 on "))
        << d.lblFindResult->text().toStdString();
    EXPECT_TRUE(reporter.Errors.isEmpty());
    EXPECT_FALSE(d.lblFindResult->text().contains("cancelled"));
    EXPECT_TRUE(d.BtnOk->isEnabled());

    d.CBPort->setEditText(QString::fromLocal8Bit(silent));
    d.RGPhysical->SetItemIndex(1);
    QTest::mouseClick(d.BtnFind, Qt::LeftButton);
    ASSERT_EQ(reporter.Errors.size(), 1);
    EXPECT_TRUE(reporter.Errors.first().startsWith("No instrument answered on"))
        << reporter.Errors.first().toStdString();
    EXPECT_TRUE(reporter.Errors.first().contains("9600 baud, unit address Any"));

    // The user cancels the progress window of an RS232 search (twelve attempts) as soon as it shows.
    d.RGPhysical->SetItemIndex(0);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *progress = d.findChild<QProgressDialog *>("FrmFindProgress");
        if (progress && progress->isVisible() && progress->value() >= 1)
            QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
    });
    poll.start(5);
    QTest::mouseClick(d.BtnFind, Qt::LeftButton);
    poll.stop();
    EXPECT_TRUE(d.lblFindResult->text().contains("The search was cancelled."))
        << d.lblFindResult->text().toStdString();
    EXPECT_EQ(reporter.Errors.size(), 1); // a cancelled search is no failure to report
    ::close(master);
    ::close(slave);
}

TEST(FindInstrumentDialog, OtherPortsAreAskedOnlyAfterTheUserAgreed)
{
    QTemporaryDir dir;
    TVornSimConfig cfg;
    cfg.UsePty = true;
    cfg.PtyLink = dir.filePath("vorn");
    cfg.Baud = 9600;
    cfg.Address = 1;
    cfg.SerialNumber = 90002;
    cfg.Verbose = true;
    TVornSim sim(cfg);
    ASSERT_TRUE(sim.Start());
    int heard = 0;
    sim.OnLog = [&heard](const QString &line) { heard += line.startsWith(QStringLiteral("<<< ")); };
    int master = -1, slave = -1;
    char silent[256];
    ASSERT_EQ(::openpty(&master, &slave, silent, nullptr, nullptr), 0);

    TProgramFolder folder("[Options]\nFirstRun=0\n[Connection]\nBaudRate=9600\nSerialAddress=0\n");
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    TFrmComDialog d(config, nullptr, &reporter);
    d.LoadFromConfig();
    d.CBPort->clear();
    d.CBPort->addItem("vorn (the instrument's adapter)", cfg.PtyLink);
    d.FindAttemptMs = 100;
    d.RGPhysical->SetItemIndex(1); // optical: 9600 baud, address any
    d.show();

    // Declined: only the named port was asked, and the question named the other one first.
    reporter.Answer = false;
    d.CBPort->setEditText(QString::fromLocal8Bit(silent));
    QTest::mouseClick(d.BtnFind, Qt::LeftButton);
    ASSERT_EQ(reporter.Questions.size(), 1);
    EXPECT_TRUE(reporter.Questions[0].startsWith(QStringLiteral("No instrument answered on ") + silent))
        << reporter.Questions[0].toStdString();
    EXPECT_TRUE(reporter.Questions[0].contains("vorn (the instrument's adapter)"));
    EXPECT_EQ(heard, 0) << "a port nobody agreed to was searched";
    EXPECT_TRUE(reporter.Errors.isEmpty()) << "the question already said that nothing answered";
    EXPECT_TRUE(d.lblFindResult->text().contains("No instrument answered on"))
        << d.lblFindResult->text().toStdString();

    // Agreed: the other port is searched and its instrument chosen.
    reporter.Answer = true;
    d.CBPort->setEditText(QString::fromLocal8Bit(silent));
    QTest::mouseClick(d.BtnFind, Qt::LeftButton);
    ASSERT_EQ(reporter.Questions.size(), 2);
    EXPECT_GT(heard, 0);
    EXPECT_TRUE(d.lblFindResult->text().startsWith("Found SN: 90002"))
        << d.lblFindResult->text().toStdString();
    const auto chosen = d.Effective();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->PortName, cfg.PtyLink);

    // The named port answering: nothing else is asked about.
    QTest::mouseClick(d.BtnFind, Qt::LeftButton);
    EXPECT_EQ(reporter.Questions.size(), 2);
    ::close(master);
    ::close(slave);
}
