// The Data Store tab's printed extraction, into a PDF file in place of a printer.
#include "../datastore/store_fixture.h"
#include "gui_support.h"

#include "datastore/extract.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "link/ui/radiogroup.h"
#include "shell/dmViewer.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
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
