// The window's change journal: opened for the connected instrument; the Test tab's typed messages
// and a session go into it; Instrument > Change Journal shows it newest first, filters by kind and
// exports and prints what it shows.
#include "datastore/storelayout.h"
#include "display/VornTables.h"
#include "display/ui/FrontPanel.h"
#include "gui_support.h"
#include "journal/lastvisit.h"
#include "journal/ui/journalwindow.h"
#include "link/ui/testtab.h"
#include "settings/ui/comparewin.h"
#include "settings/ui/settingsfiles.h"
#include "settings/ui/settingsui.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace
{

class JournalWindowTest : public SimWindowTest
{
protected:
    void SetUp() override
    {
        MakeSimWithOwnJournal();
        OpenWindow();
        ConnectTo(*Sim);
        ASSERT_TRUE(PumpUntil([&] { return W->ChangeJournal() != nullptr; }));
    }
    QList<TJournalEvent> Events() const
    {
        QList<TJournalLine> lines;
        QString error;
        ReadJournalFile(W->ChangeJournal()->FilePath(), lines, &error);
        return JournalEvents(lines);
    }
};

} // namespace

TEST_F(JournalWindowTest, TheTestTabsTypedMessagesAndASessionAreJournalledAndShownNewestFirst)
{
    ASSERT_TRUE(W->ChangeJournal1->isEnabled());
    W->TestTab->EdtSendStr->setText("20120008:000E"); // PRINT, typed
    W->TestTab->BtnSend->click();
    ASSERT_EQ(Events().size(), 1);
    EXPECT_EQ(Events().first().Line.Kind, "raw");
    EXPECT_EQ(Events().first().Line.Asked, "20120008:000E");
    EXPECT_EQ(Events().first().Line.Register, 0x0008);
    EXPECT_EQ(Events().first().Line.Serial, JournalSerial);

    StartSession(0, "1234");
    ASSERT_EQ(Events().size(), 2);
    EXPECT_EQ(Events().last().Line.Kind, "session");
    EXPECT_TRUE(Events().last().Line.Note.contains("safe level")) << Events().last().Line.Note.toStdString();
    // no passcode in the journal, nor anything that is not the instrument's change
    QFile file(W->ChangeJournal()->FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray all = file.readAll();
    EXPECT_FALSE(all.contains("4D2")) << "the safe passcode as the instrument takes it";
    EXPECT_FALSE(all.contains("1234\t"));

    TJournalWindow window(TDsdStoreLayout().StoreDir(), QString::fromLatin1(JournalSerial), nullptr);
    ASSERT_EQ(window.Serials->currentText(), QString::fromLatin1(JournalSerial));
    ASSERT_EQ(window.Table->rowCount(), 2);
    EXPECT_EQ(window.Table->item(0, 1)->text(), "session"); // newest first
    EXPECT_EQ(window.Table->item(1, 1)->text(), "raw");
    EXPECT_TRUE(window.Status->text().contains("the chain holds")) << window.Status->text().toStdString();

    window.Kinds->setCurrentText("raw");
    ASSERT_EQ(window.Table->rowCount(), 1);
    QTemporaryDir out;
    QString error;
    ASSERT_TRUE(window.ExportCsv(out.filePath("j.csv"), &error)) << error.toStdString();
    QFile csv(out.filePath("j.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = csv.readAll().split('\n');
    ASSERT_EQ(rows.size(), 3); // header, one event, the end
    EXPECT_TRUE(rows[1].contains(",raw,12,0008,")) << rows[1].constData();

    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath("j.pdf"));
    window.PrintTo(printer);
    QProcess text;
    text.start("pdftotext", {out.filePath("j.pdf"), "-"});
    ASSERT_TRUE(text.waitForFinished());
    const QByteArray printed = text.readAllStandardOutput();
    EXPECT_TRUE(printed.contains("Change journal of instrument " + JournalSerial)) << printed.constData();
    EXPECT_TRUE(printed.contains("20120008:000E")) << printed.constData();
}

TEST_F(JournalWindowTest, CompareWithLastVisitListsWhatTheKeypadChangedSinceTheSave)
{
    auto *settings = W->findChild<TSettingsUi *>();
    ASSERT_TRUE(settings);
    // No visit kept yet: it says how one is kept, and compares nothing.
    W->findChild<QAction *>("CompareWithLastVisit1")->trigger();
    ASSERT_FALSE(Reporter.Infos.isEmpty());
    EXPECT_TRUE(Reporter.Infos.last().startsWith("No last visit is kept"))
        << Reporter.Infos.last().toStdString();

    // A save keeps the visit; the session ends and the instrument's keypad changes FILTER and a
    // product's TARGET (its own protocol, as the keypad would: not through this program).
    StartSession(1, "5678");
    QTemporaryDir dir;
    settings->Files->AskFileName = [&](bool, const QString &) { return dir.filePath("VISIT.WSD"); };
    W->Save1->trigger();
    ASSERT_TRUE(QFile::exists(LastVisitPath(JournalFolder))) << Reporter.Errors.join('\n').toStdString();
    W->EndSession->trigger();
    auto keypad = [&](const QByteArray &request) { return Sim->Instrument().Request(request); };
    keypad("201200EF:FF");
    keypad("20120019:162E");                               // the full passcode 5678
    ASSERT_FALSE(keypad("20121205:0001").startsWith("4")); // FILTER 8 -> 2
    keypad("2015B100:0003");                               // PEARS
    ASSERT_FALSE(keypad("2012B020:04D2").startsWith("4")); // its TARGET
    keypad("2015B100:0002");                               // APPLES again
    keypad("201200EF:01");

    QStringList leaves;
    QString summary;
    ReadCompareWindow(leaves, summary);
    Passcodes = {"5678"};
    W->findChild<QAction *>("CompareWithLastVisit1")->trigger();
    EXPECT_EQ(leaves, (QStringList{"FILTER|2|8", "TARGET|12.34 kg|0.00 kg"}));
    // Every item of the full-level save is compared (the products' values too), and only these differ.
    EXPECT_TRUE(summary.startsWith("75 items compared, 2 different")) << summary.toStdString();
    EXPECT_FALSE(summary.contains("not")) << summary.toStdString();
}

TEST_F(JournalWindowTest, EachPanelKeyIsOneKeyLineAlsoWhenItsReplyIsLost)
{
    const int print = VornKeyOfCode(VornKeyPrint);
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "reply lost" : "answered");
        TVornSimConfig faults;
        faults.DropOnRegister = lost ? 0x0008 : -1;
        Sim->SetFaults(faults);
        const qsizetype before = Events().size();
        const uint32_t newest = Sim->Instrument().Records().Newest();
        W->FrontPanel->LCDButtonPressed(print, 0);
        ASSERT_TRUE(PumpUntil([&] {
            const QList<TJournalEvent> events = Events();
            return events.size() > before && !events.last().Outcome.startsWith("outcome unknown");
        }));
        QTest::qWait(50);
        const QList<TJournalEvent> events = Events();
        ASSERT_EQ(events.size(), before + 1);
        const TJournalEvent &e = events.last();
        EXPECT_EQ(e.Line.Kind, "key");
        EXPECT_EQ(e.Line.Register, 0x0008);
        EXPECT_EQ(e.Line.Note, "PRINT");
        // One press, one record: the lost reply is settled by the newest record, not by a second press.
        EXPECT_EQ(Sim->Instrument().Records().Newest(), newest + 1);
        EXPECT_TRUE(e.Outcome.startsWith("confirmed")) << e.Outcome.toStdString();
    }
    Sim->SetFaults({});
}
