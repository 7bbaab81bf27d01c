// The Data Store tab in the main window: the list rebuilt when the tab is shown, an upload from
// the simulated instrument, a selection by record number and a tampered store file.
#include "../datastore/store_fixture.h"
#include "gui_support.h"

#include "base/dmViewer.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "link/ui/radiogroup.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

namespace
{

class DataStoreTabTest : public ::testing::Test
{
protected:
    std::unique_ptr<TFrmMain> Start()
    {
        Config = std::make_unique<TdatViewer>(Folder.Ini());
        auto w = CreateMainWindow(*Config, {}, &Reporter);
        if (w) {
            w->Engine->SetTickInterval(5);
            w->DataStoreTab->Store.Layout.SetStoreDir(StoreDir.path());
            w->resize(1000, 640);
        }
        return w;
    }
    QString StorePath(const QString &serial) const
    {
        TDsdStoreLayout layout;
        layout.SetStoreDir(StoreDir.path());
        return layout.DsdIsnToDataStoreName(serial);
    }
    // Links the window to sim and waits for its identity.
    static bool Connect(TFrmMain &w, const TVornSim &sim)
    {
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText("127.0.0.1");
        socket->SetPort(sim.Port());
        w.ConnectWith(TConnectionChoice{std::move(socket), 0, 0});
        return PumpUntil([&] { return w.IdentPanel->Text() == "SN: 1234567, V500 V1.04"; });
    }
    // Eight records of which the fourth was altered after it was written.
    static QByteArray TamperedStore()
    {
        QList<QByteArray> plain = StoreLines(8, false);
        plain[3].replace("GROSS", "GRASS");
        QByteArray bytes;
        for (const QByteArray &line : plain)
            bytes += ScrambleLine(line.chopped(1)) + '\n';
        return bytes;
    }
    // The record window's lines, each with whether it is drawn red.
    static QList<QPair<QString, bool>> WindowLines(QTextEdit *box)
    {
        QList<QPair<QString, bool>> lines;
        for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) {
            if (b.text().isEmpty())
                continue;
            const QColor colour = b.begin().fragment().charFormat().foreground().color();
            lines.append({b.text(), colour == QColor(Qt::red)});
        }
        return lines;
    }
    TProgramFolder Folder{"[Options]\nFirstRun=0\n[Connection]\nConnectionType=0\nSerialPort=COM1\n"};
    QTemporaryDir StoreDir;
    std::unique_ptr<TdatViewer> Config;
    TRecordingReporter Reporter;
};

TEST_F(DataStoreTabTest, ShowingTheTabListsTheStoredInstrumentsLowestFirst)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    TDataStoreTab *tab = w->DataStoreTab;
    EXPECT_EQ(tab->parentWidget(), w->TSDataStore);
    ASSERT_TRUE(WriteBytes(StorePath("4711"), StoreBytes(5, true)));
    ASSERT_TRUE(WriteBytes(StorePath("123"), StoreBytes(3, true)));
    // Companions of a store file are not instruments.
    ASSERT_TRUE(WriteBytes(StorePath("123") + ".bak", StoreBytes(2, true)));
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    ASSERT_EQ(tab->DsdIsn->count(), 2);
    EXPECT_EQ(tab->DsdIsn->itemText(0), "       123");
    EXPECT_EQ(tab->DsdIsn->itemText(1), "      4711");

    // A new file appears the next time the tab is shown.
    ASSERT_TRUE(WriteBytes(StorePath("9"), StoreBytes(1, true)));
    w->PgCMain->setCurrentWidget(w->TSDisplay);
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    ASSERT_EQ(tab->DsdIsn->count(), 3);
    EXPECT_EQ(tab->DsdIsn->itemText(0), "         9");

    // Choosing an entry loads it: oldest and newest records, the window and the controls.
    tab->DsdIsnChange(2);
    EXPECT_TRUE(tab->DsdView->isEnabled());
    EXPECT_TRUE(tab->DsdOldestUploadedRec->text().startsWith("1,"));
    EXPECT_TRUE(tab->DsdNewestUploadedRec->text().startsWith("5,"));
    const auto lines = WindowLines(tab->DsdWitnessBox);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].first.startsWith("1,"));
    EXPECT_FALSE(lines[0].second);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
}

TEST_F(DataStoreTabTest, ShowingTheTabLoadsTheStoreToLookAtOrSaysWhatToDo)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    TVornSim sim(cfg); // serial number 1234567
    ASSERT_TRUE(sim.Start());
    // The stores (the n-th holds 40 + n records from number 101), a link, the entry loaded.
    const QList<std::tuple<QStringList, bool, QString>> cases = {
        {{}, false, ""},
        {{"4711"}, false, "      4711"},
        {{"123", "4711"}, false, ""},
        {{"4711"}, true, "      4711"},
        {{"123", "4711"}, true, ""},
        {{"123", "1234567", "4711"}, true, "   1234567"}};
    for (const auto &[stores, link, loaded] : cases) {
        SCOPED_TRACE(stores.join(',').toStdString() + (link ? " connected" : ""));
        for (const QString &f : QDir(StoreDir.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(StoreDir.filePath(f));
        for (int i = 0; i < stores.size(); ++i)
            ASSERT_TRUE(WriteBytes(StorePath(stores[i]), StoreBytes(40 + i, true, 101)));
        auto w = Start();
        ASSERT_TRUE(w);
        w->show();
        ASSERT_TRUE(!link || Connect(*w, sim));
        Reporter.Errors.clear(); // the test folder's panel picture is a stand-in
        w->PgCMain->setCurrentWidget(w->TSDataStore);
        TDataStoreTab *tab = w->DataStoreTab;
        EXPECT_EQ(tab->DsdIsn->currentText(), loaded);
        EXPECT_EQ(tab->DsdView->isEnabled(), !loaded.isEmpty());
        const QString top = WindowLines(tab->DsdWitnessBox).value(0).first;
        if (loaded.isEmpty()) {
            EXPECT_EQ(top,
                      stores.isEmpty() ? TDataStoreTab::NothingUploadedHint : TDataStoreTab::PickSerialHint);
        } else {
            // As a pick from the list loads it: from the oldest record, with its count.
            EXPECT_TRUE(top.startsWith("101,")) << top.toStdString();
            const int records = 40 + stores.indexOf(loaded.trimmed());
            EXPECT_EQ(w->statusBar()->currentMessage(), QStringLiteral("Found %1 records").arg(records));
        }
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    }
}

TEST_F(DataStoreTabTest, ComingBackToTheTabKeepsTheStoreBeingBrowsed)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(WriteBytes(StorePath("55"), StoreBytes(200, true, 1001)));
    ASSERT_TRUE(WriteBytes(StorePath("77"), TamperedStore()));
    TDataStoreTab *tab = w->DataStoreTab;
    auto pick = [&](int index) {
        tab->DsdIsn->setCurrentIndex(index);
        emit tab->DsdIsn->activated(index);
    };
    auto backAndForth = [&] {
        w->PgCMain->setCurrentWidget(w->TSDisplay);
        w->PgCMain->setCurrentWidget(w->TSDataStore);
    };
    auto top = [&] { return WindowLines(tab->DsdWitnessBox).value(0).first; };
    backAndForth();

    // The tampered store warns when it is loaded, not each time the tab comes back.
    pick(1);
    ASSERT_EQ(Reporter.Errors.size(), 1);
    backAndForth();
    EXPECT_EQ(Reporter.Errors.size(), 1);
    EXPECT_EQ(tab->DsdIsn->currentText(), "        77");

    // The other store, scrolled down a window and a line, stays where the user left it...
    pick(0);
    tab->DsdScrollNextBitBtn->click();
    QTest::keyClick(tab->DsdWitnessBox, Qt::Key_Down);
    const QString shown = top();
    ASSERT_TRUE(shown.startsWith(QString::number(1002 + tab->Store.Selection.WindowLines) + ","));
    backAndForth();
    EXPECT_EQ(tab->DsdIsn->currentText(), "        55");
    EXPECT_EQ(top(), shown);
    // ...until an upload elsewhere replaces its file: then it is loaded afresh.
    ASSERT_TRUE(QFile::remove(StorePath("55")));
    ASSERT_TRUE(WriteBytes(StorePath("55"), StoreBytes(210, true, 1001)));
    backAndForth();
    EXPECT_EQ(tab->DsdIsn->currentText(), "        55");
    EXPECT_TRUE(top().startsWith("1001,"));
    EXPECT_TRUE(tab->DsdNewestUploadedRec->text().startsWith("1210,"));
    // Another instrument listed, so none chosen: the count of the store gone goes with it.
    ASSERT_TRUE(WriteBytes(StorePath("9"), StoreBytes(1, true)));
    backAndForth();
    EXPECT_EQ(top(), TDataStoreTab::PickSerialHint);
    EXPECT_TRUE(w->statusBar()->currentMessage().isEmpty());
}

TEST_F(DataStoreTabTest, ARecordNumberRangeShowsExactlyThoseRecordsAndScrolls)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(WriteBytes(StorePath("55"), StoreBytes(200, true, 1001)));
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    TDataStoreTab *tab = w->DataStoreTab;
    tab->DsdIsnChange(0);
    ASSERT_TRUE(tab->DsdView->isEnabled());
    // "All": the number fields stay shut.
    EXPECT_FALSE(tab->DsdFrom->isEnabled());
    const int n = tab->Store.Selection.WindowLines;
    ASSERT_GE(n, 5);
    EXPECT_EQ(WindowLines(tab->DsdWitnessBox).size(), n);

    tab->DsdRecordRadioFromTo->SetItemIndex(SelectRecordNumber);
    EXPECT_TRUE(tab->DsdFrom->isEnabled());
    EXPECT_FALSE(tab->DsdDateFrom->isEnabled());
    tab->DsdFrom->setText("1050");
    tab->DsdTo->setText("1053");
    tab->DsdView->click();
    auto lines = WindowLines(tab->DsdWitnessBox);
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(lines[i].first.startsWith(QString::number(1050 + i) + ","))
            << lines[i].first.toStdString();

    // A wider range scrolls by whole windows and stops at its end.
    tab->DsdFrom->setText("1010");
    tab->DsdTo->setText("1100");
    tab->DsdView->click();
    EXPECT_TRUE(WindowLines(tab->DsdWitnessBox)[0].first.startsWith("1010,"));
    tab->DsdScrollNextBitBtn->click();
    EXPECT_TRUE(WindowLines(tab->DsdWitnessBox)[0].first.startsWith(QString::number(1010 + n) + ","));
    tab->DsdScrollNewestBitBtn->click();
    lines = WindowLines(tab->DsdWitnessBox);
    EXPECT_TRUE(lines.last().first.startsWith("1100,")) << lines.last().first.toStdString();
    tab->DsdScrollOldestBitBtn->click();
    EXPECT_TRUE(WindowLines(tab->DsdWitnessBox)[0].first.startsWith("1010,"));
}

TEST_F(DataStoreTabTest, TheNumberFieldsStartAtTheStoredRangeAndTheWheelAndPageKeysScroll)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(WriteBytes(StorePath("56"), StoreBytes(200, true, 3001)));
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    TDataStoreTab *tab = w->DataStoreTab;
    tab->DsdIsnChange(0);
    EXPECT_EQ(tab->DsdFrom->text(), "3001");
    EXPECT_EQ(tab->DsdTo->text(), "3200");
    const int n = tab->Store.Selection.WindowLines;
    ASSERT_GE(n, 5);
    auto top = [&] { return WindowLines(tab->DsdWitnessBox).value(0).first.section(',', 0, 0).toInt(); };
    EXPECT_EQ(top(), 3001);

    // Three lines a notch, up and down; half notches add up.
    auto wheel = [&](int delta) {
        QWidget *view = tab->DsdWitnessBox->viewport();
        const QPointF at(view->width() / 2, view->height() / 2);
        QWheelEvent e(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &e);
    };
    wheel(-120);
    EXPECT_EQ(top(), 3004);
    wheel(-60);
    EXPECT_EQ(top(), 3004);
    wheel(-60);
    EXPECT_EQ(top(), 3007);
    wheel(240);
    EXPECT_EQ(top(), 3001);
    wheel(120); // never above the oldest
    EXPECT_EQ(top(), 3001);

    // Page Down and Page Up move by whole windows, End and Home to the ends, the arrows by a line.
    QTest::keyClick(tab->DsdWitnessBox, Qt::Key_PageDown);
    EXPECT_EQ(top(), 3001 + n);
    QTest::keyClick(tab->DsdWitnessBox, Qt::Key_Down);
    EXPECT_EQ(top(), 3002 + n);
    QTest::keyClick(tab->DsdWitnessBox, Qt::Key_PageUp);
    EXPECT_EQ(top(), 3002);
    QTest::keyClick(tab->DsdWitnessBox, Qt::Key_End);
    EXPECT_TRUE(WindowLines(tab->DsdWitnessBox).last().first.startsWith("3200,"));
    QTest::keyClick(tab->DsdWitnessBox, Qt::Key_Home);
    EXPECT_EQ(top(), 3001);

    // A narrowed range keeps the wheel inside it.
    tab->DsdRecordRadioFromTo->SetItemIndex(SelectRecordNumber);
    tab->DsdFrom->setText("3100");
    tab->DsdView->click();
    EXPECT_EQ(top(), 3100);
    wheel(120);
    EXPECT_EQ(top(), 3100);
}

TEST_F(DataStoreTabTest, ATamperedRecordIsRedAndTheStatusWarns)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(StoreLines(8, false)[3].contains("GROSS"));
    ASSERT_TRUE(WriteBytes(StorePath("77"), TamperedStore()));
    QString status;
    bool red = false;
    TDataStoreTab *tab = w->DataStoreTab;
    tab->OnStatusText = [&](const QString &text, bool tamper) {
        status = text;
        red = tamper;
    };
    // The only store is loaded when the tab is shown, with the one warning box of a load.
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    EXPECT_EQ(Reporter.Errors.size(), 1);
    const auto lines = WindowLines(tab->DsdWitnessBox);
    ASSERT_GE(lines.size(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(lines[i].second, i == 3) << i << ": " << lines[i].first.toStdString();
    EXPECT_TRUE(lines[3].first.startsWith("*****,")) << lines[3].first.toStdString();
    EXPECT_TRUE(red);
    EXPECT_FALSE(status.isEmpty());
}

TEST_F(DataStoreTabTest, AnIncompleteFileEndsWithTheRedMarker)
{
    auto w = Start();
    ASSERT_TRUE(w);
    QList<QByteArray> lines = StoreLines(3, true);
    lines.removeLast(); // no trailer
    ASSERT_TRUE(WriteBytes(StorePath("78"), lines.join()));
    w->show();
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    TDataStoreTab *tab = w->DataStoreTab;
    tab->DsdIsnChange(0);
    const auto shown = WindowLines(tab->DsdWitnessBox);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.last().first, FileIncompleteLine);
    EXPECT_TRUE(shown.last().second);
    // The window's status bar warns, in red.
    EXPECT_EQ(w->statusBar()->currentMessage(), TamperEvidenceText);
    EXPECT_TRUE(w->statusBar()->styleSheet().contains("red"));
}

TEST_F(DataStoreTabTest, AStoreFileCutByAnotherProgramIsShownAsChanged)
{
    auto w = Start();
    ASSERT_TRUE(w);
    ASSERT_TRUE(WriteBytes(StorePath("79"), StoreBytes(2000, true)));
    w->show();
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    TDataStoreTab *tab = w->DataStoreTab;
    tab->DsdIsnChange(0);
    ASSERT_FALSE(WindowLines(tab->DsdWitnessBox).first().second);
    ASSERT_TRUE(QFile::resize(StorePath("79"), 0));
    tab->DsdScrollBitBtnClick(ScrollNewest);
    const auto shown = WindowLines(tab->DsdWitnessBox);
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.first(), qMakePair(QString::fromLatin1(StoreChangedText), true));
    for (const auto &line : shown.mid(1))
        EXPECT_TRUE(line.second && line.first.startsWith("*****,FILE TAMPER,")) << line.first.toStdString();
    EXPECT_EQ(w->statusBar()->currentMessage(), StoreChangedText);
    EXPECT_TRUE(w->statusBar()->styleSheet().contains("red"));
}

TEST_F(DataStoreTabTest, UploadFromTheSimulatorFillsTheWindowAndExtractsToCsv)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Records = 30;
    TVornSim sim(cfg);
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(Connect(*w, sim));
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    TDataStoreTab *tab = w->DataStoreTab;
    EXPECT_EQ(tab->DsdIsn->count(), 0);
    Reporter.Errors.clear(); // the test folder's panel picture is a stand-in

    tab->DsdUploadOrRefresh->click();
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    ASSERT_TRUE(Reporter.Infos.contains("Uploaded 30 new records."))
        << Reporter.Infos.join('\n').toStdString();
    EXPECT_FALSE(tab->Progress->isVisible());
    ASSERT_EQ(tab->DsdIsn->count(), 1);
    EXPECT_EQ(tab->DsdIsn->currentText(), "   1234567");
    EXPECT_TRUE(tab->DsdView->isEnabled());
    EXPECT_TRUE(tab->DsdOldestUploadedRec->text().startsWith("1,"));
    EXPECT_TRUE(tab->DsdNewestUploadedRec->text().startsWith("30,"));
    auto lines = WindowLines(tab->DsdWitnessBox);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].first.startsWith("1,"));
    for (const auto &line : lines)
        EXPECT_FALSE(line.second) << line.first.toStdString();

    // Nothing new the second time; the store stays loaded.
    Reporter.Infos.clear();
    tab->DsdUploadOrRefresh->click();
    EXPECT_TRUE(Reporter.Infos.contains("No new records to upload from instrument."))
        << Reporter.Infos.join('\n').toStdString();
    EXPECT_EQ(tab->DsdIsn->count(), 1);

    // The selection goes to a CSV file named after the instrument, in the folder chosen.
    QString proposed;
    const QString csv = StoreDir.filePath("out.csv");
    tab->AskSaveFile = [&](const QString &, const QString &name) {
        proposed = name;
        return csv;
    };
    tab->DsdRecordRadioFromTo->SetItemIndex(SelectRecordNumber);
    tab->DsdFrom->setText("3");
    tab->DsdTo->setText("7");
    Reporter.Infos.clear();
    tab->DsdExtractCsvBitBtn->click();
    EXPECT_EQ(proposed, "Instrument_1234567.csv");
    const QList<QByteArray> written = ReadBytes(csv).split('\n');
    ASSERT_EQ(written.size(), 6); // five lines and the empty text after the last LF
    EXPECT_TRUE(written[0].startsWith("3,"));
    EXPECT_TRUE(written[4].startsWith("7,"));
    EXPECT_TRUE(written[4].endsWith('\r'));
    EXPECT_EQ(Config->GetCsvDir(), QFileInfo(csv).absolutePath());
    ASSERT_EQ(Reporter.Infos.size(), 1);
    EXPECT_TRUE(Reporter.Infos[0].startsWith("Succesfully extracted 5 records"))
        << Reporter.Infos[0].toStdString();
}

TEST_F(DataStoreTabTest, CancelDuringTheUploadKeepsTheRecordsReceivedSoFar)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Records = 500;
    TVornSim sim(cfg);
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(Connect(*w, sim));
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    TDataStoreTab *tab = w->DataStoreTab;
    // The user presses Cancel once record 20 shows in the progress window.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (tab->Progress->isVisible() && tab->Progress->ProgressLine3->text().startsWith("20,"))
            tab->Progress->ProgressCancelButton->click();
    });
    watcher.start(0);
    tab->DsdUploadOrRefresh->click();
    watcher.stop();
    ASSERT_EQ(Reporter.Infos.size(), 1) << Reporter.Infos.join('\n').toStdString();
    // The store is sealed with its trailer and ends at the record the cancel caught; the message
    // says the upload is incomplete, after which record, and how to go on.
    const uint32_t count = tab->Store.Records.RecordCount();
    EXPECT_GE(count, 20u);
    EXPECT_LT(count, 500u);
    const QString message = QStringLiteral("Upload incomplete after record %1 (%1 new records stored): "
                                           "cancelled by request. Upload again to continue.")
                                .arg(count);
    EXPECT_EQ(Reporter.Infos[0], message);
    EXPECT_EQ(w->statusBar()->currentMessage(), message);
    EXPECT_EQ(tab->Store.Records.FileVerdict(), 0);
    EXPECT_TRUE(tab->DsdNewestUploadedRec->text().startsWith(QString::number(count) + ","));
}

TEST_F(DataStoreTabTest, AnInstrumentWhoseRecordsStartedAgainIsOfferedANewStoreFile)
{
    // The store holds 20 records of the instrument before its data store was reset and refilled.
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.Records = 20;
    QByteArray old;
    {
        TVornSim before(cfg);
        ASSERT_TRUE(before.Start());
        const TSimRecords &r = before.Instrument().Records();
        for (uint32_t n = 1; n <= 20; ++n)
            old += ScrambleLine(DsdRecordLine(n, DsdRecordFixFormatting(r.Text(n)))) + '\n';
        old += ScrambleLine(DsdRecordLine(20, DsdTrailerRecord(20))) + '\n';
    }
    ASSERT_TRUE(WriteBytes(StorePath("1234567"), old));
    cfg.Records = 30;
    cfg.Seed = 99;
    TVornSim sim(cfg);
    ASSERT_TRUE(sim.Start());
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    ASSERT_TRUE(Connect(*w, sim));
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    TDataStoreTab *tab = w->DataStoreTab;
    Reporter.Errors.clear();
    Reporter.Infos.clear();

    // Declined: nothing stored, the file as it was, the reason in the status bar.
    Reporter.Answer = false;
    tab->DsdUploadOrRefresh->click();
    ASSERT_EQ(Reporter.Questions.size(), 1);
    EXPECT_TRUE(Reporter.Questions[0].contains("no longer continue its Data Store file"))
        << Reporter.Questions[0].toStdString();
    EXPECT_TRUE(Reporter.Questions[0].contains("record 20 is not the record 20 stored"));
    EXPECT_TRUE(
        Reporter.Questions[0].endsWith("Start a new Data Store file for the instrument's new sequence of "
                                       "records? The current file is kept unchanged beside it, named "
                                       "with the time it was closed."));
    EXPECT_EQ(ReadBytes(StorePath("1234567")), old);
    EXPECT_TRUE(w->statusBar()->currentMessage().startsWith("The instrument's records no longer continue"));
    EXPECT_EQ(tab->DsdIsn->count(), 1);
    EXPECT_EQ(tab->Store.Records.RecordCount(), 20u);

    // Accepted: the old file beside the new one, both in the list, the new one loaded.
    Reporter.Answer = true;
    tab->DsdUploadOrRefresh->click();
    ASSERT_EQ(Reporter.Questions.size(), 2);
    ASSERT_EQ(tab->DsdIsn->count(), 2);
    EXPECT_EQ(tab->DsdIsn->itemText(0), "   1234567");
    EXPECT_TRUE(tab->DsdIsn->itemText(1).startsWith("   1234567 closed "))
        << tab->DsdIsn->itemText(1).toStdString();
    EXPECT_EQ(tab->DsdIsn->currentIndex(), 0);
    EXPECT_EQ(tab->Store.Records.RecordCount(), 30u);
    EXPECT_EQ(tab->Store.Records.FileVerdict(), 0);
    EXPECT_TRUE(Reporter.Infos.last().endsWith("a new one was started. Uploaded 30 new records."))
        << Reporter.Infos.last().toStdString();
    EXPECT_TRUE(tab->DsdNewestUploadedRec->text().startsWith("30,"));
    tab->DsdIsnChange(1);
    EXPECT_EQ(tab->Store.Records.RecordCount(), 20u);
    EXPECT_EQ(tab->Store.Records.FileVerdict(), 0);
    EXPECT_EQ(ReadBytes(tab->Store.Layout.ListedPath(tab->DsdIsn->itemText(1))), old);
    // Its extraction is named after the closed file, in a form every file system takes.
    QString proposed;
    tab->AskSaveFile = [&](const QString &, const QString &name) {
        proposed = name;
        return QString();
    };
    tab->DsdExtractCsvBitBtn->click();
    EXPECT_TRUE(
        QRegularExpression("^Instrument_1234567_closed-\\d{8}T\\d{6}Z\\.csv$").match(proposed).hasMatch())
        << proposed.toStdString();
}

TEST_F(DataStoreTabTest, UploadWithoutALinkSaysSoAndChangesNothing)
{
    auto w = Start();
    ASSERT_TRUE(w);
    w->show();
    w->PgCMain->setCurrentWidget(w->TSDataStore);
    w->DataStoreTab->DsdUploadOrRefresh->click();
    ASSERT_EQ(Reporter.Errors.size(), 1);
    EXPECT_EQ(Reporter.Errors[0], "Com Port not open or instrument not connected");
    EXPECT_FALSE(w->DataStoreTab->Progress->isVisible());
    EXPECT_TRUE(QDir(StoreDir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

} // namespace
