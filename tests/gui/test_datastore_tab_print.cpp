// The Data Store tab's printed extraction, into a PDF file in place of a printer.
#include "../datastore/store_fixture.h"
#include "gui_support.h"

#include "base/dmViewer.h"
#include "datastore/extract.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "link/ui/radiogroup.h"

#include <gtest/gtest.h>

#include <QDateEdit>
#include <QFileInfo>
#include <QLineEdit>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace
{

class DataStoreTabPrintTest : public ::testing::Test
{
protected:
    void Load(uint32_t records)
    {
        Tab.Store.Layout.SetStoreDir(Dir.path());
        ASSERT_TRUE(WriteBytes(Tab.Store.Layout.DsdIsnToDataStoreName("321"), StoreBytes(records, true)));
        Tab.resize(900, 500);
        Tab.show();
        Tab.DsdTabPopup();
        Tab.DsdIsnChange(0);
        Tab.AskPrinter = [this](QPrinter &printer) {
            ++Dialogs;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(Pdf);
            return true;
        };
    }
    TProgramFolder Folder{"[Options]\nFirstRun=0\n[DataStore]\nFontSize=30\nLeftMargin=-5\n"};
    TdatViewer Config{Folder.Ini()};
    TRecordingReporter Reporter;
    TDataStoreTab Tab{nullptr, &Reporter, &Config};
    QTemporaryDir Dir;
    QString Pdf = Dir.filePath("out.pdf");
    int Dialogs = 0;
};

TEST_F(DataStoreTabPrintTest, OneRecordPrintsAndTheSettingsAreWrittenBackWithinLimits)
{
    Load(20);
    Tab.DsdRecordRadioFromTo->SetItemIndex(SelectRecordNumber);
    Tab.DsdFrom->setText("7");
    Tab.DsdTo->setText("7");
    Tab.DsdExtractPrintBitBtn->click();
    EXPECT_EQ(Dialogs, 1);
    ASSERT_EQ(Reporter.Infos.size(), 1) << Reporter.Infos.join('\n').toStdString();
    EXPECT_EQ(Reporter.Infos[0], "Succesfully extracted 1 record.");
    EXPECT_GT(QFileInfo(Pdf).size(), 0);
    EXPECT_EQ(Config.GetFontSize(), 16);
    EXPECT_EQ(Config.GetLeftMargin(), 0);
    EXPECT_FALSE(Tab.Progress->isVisible());
}

TEST_F(DataStoreTabPrintTest, ALongPrintoutIsAskedFirstAndDecliningPrintsNothing)
{
    Load(4000);
    Reporter.Answer = false;
    Tab.DsdExtractPrintBitBtn->click();
    ASSERT_EQ(Reporter.Questions.size(), 1);
    EXPECT_TRUE(Reporter.Questions[0].contains("4000 records")) << Reporter.Questions[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(Pdf));
    ASSERT_EQ(Reporter.Infos.size(), 1);
    EXPECT_EQ(Reporter.Infos[0], DsdPrintRestrictRangeText());

    // Agreeing prints every selected record.
    Reporter.Answer = true;
    Reporter.Infos.clear();
    Tab.DsdExtractPrintBitBtn->click();
    ASSERT_EQ(Reporter.Infos.size(), 1);
    EXPECT_EQ(Reporter.Infos[0], "Succesfully extracted 4000 records.");
    EXPECT_GT(QFileInfo(Pdf).size(), 0);
}

TEST_F(DataStoreTabPrintTest, EveryPrintedLineFitsTheA4PageAndTheTimesHaveNoZoneName)
{
    // The largest font (FontSize 30 is held to 16) and a date/time range: the header is the
    // longest line there is.
    Load(30);
    Tab.DsdRecordRadioFromTo->SetItemIndex(SelectDateTime);
    Tab.DsdDateTo->setDate(QDate(2008, 2, 19));
    Tab.AskPrinter = [this](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        return true;
    };
    Tab.DsdExtractPrintBitBtn->click();
    ASSERT_EQ(Reporter.Infos.size(), 1);
    EXPECT_EQ(Reporter.Infos[0], "Succesfully extracted 30 records.");

    QProcess pdf;
    pdf.start("pdftotext", {"-bbox", Pdf, "-"});
    ASSERT_TRUE(pdf.waitForFinished(30000));
    const QString html = QString::fromUtf8(pdf.readAllStandardOutput());
    const QRegularExpression page("<page width=\"([0-9.]+)\"");
    const auto pageMatch = page.match(html);
    ASSERT_TRUE(pageMatch.hasMatch()) << html.left(300).toStdString();
    const double width = pageMatch.captured(1).toDouble();
    EXPECT_NEAR(width, 595.3, 1.0); // A4
    const QRegularExpression word(
        "<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\"[^>]*>([^<]*)</word>");
    int words = 0;
    QStringList text;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        ++words;
        text << m.captured(3);
        EXPECT_LE(m.captured(2).toDouble(), width) << m.captured(3).toStdString();
    }
    EXPECT_GT(words, 30);
    const QString all = text.join(' ');
    EXPECT_TRUE(all.contains("23:59:59 to") || all.contains("23:59:59")) << all.left(400).toStdString();
    EXPECT_FALSE(all.contains("UTC")) << all.left(400).toStdString();
    EXPECT_TRUE(all.contains("Number:321")) << all.left(400).toStdString();
}

TEST_F(DataStoreTabPrintTest, AnEmptySelectionIsRefusedBeforeThePrintDialog)
{
    Load(10);
    Tab.DsdRecordRadioFromTo->SetItemIndex(SelectRecordNumber);
    Tab.DsdFrom->setText("500");
    Tab.DsdExtractPrintBitBtn->click();
    EXPECT_EQ(Dialogs, 0);
    ASSERT_EQ(Reporter.Infos.size(), 1);
    EXPECT_EQ(Reporter.Infos[0], NoRecordsMatchText);
}

} // namespace
