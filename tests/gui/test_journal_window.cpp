// The window's change journal: opened for the connected instrument; the Test tab's typed messages
// and a session go into it; Instrument > Change Journal shows it newest first, filters by kind and
// exports and prints what it shows.
#include "datastore/storelayout.h"
#include "gui_support.h"
#include "journal/ui/journalwindow.h"
#include "link/ui/testtab.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>

namespace
{

class JournalWindowTest : public SimWindowTest
{
protected:
    void SetUp() override
    {
        MakeSimWithOwnJournal(7005001);
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
    EXPECT_EQ(Events().first().Line.Serial, "7005001");

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

    TJournalWindow window(TDsdStoreLayout().StoreDir(), "7005001", nullptr);
    ASSERT_EQ(window.Serials->currentText(), "7005001");
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
    EXPECT_TRUE(printed.contains("Change journal of instrument 7005001")) << printed.constData();
    EXPECT_TRUE(printed.contains("20120008:000E")) << printed.constData();
}
