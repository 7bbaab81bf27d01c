// The progress window: its lines, its bar over the whole range of record numbers, Cancel, and its
// texts from the language file.
#include "base/dmViewer.h"
#include "datastore/ui/DataStoreTab.h"
#include "datastore/ui/Progress.h"
#include "gui_support.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

TEST(ProgressWindow, ShowsItsLinesStepsTheBarAndHides)
{
    TFrmProgress progress;
    EXPECT_EQ(progress.windowTitle(), "Progress...");
    EXPECT_EQ(progress.ProgressCancelButton->text(), "Cancel");
    progress.SetProgressRange(10, 60, 1);
    EXPECT_EQ(progress.ProgressBar->minimum(), 10);
    EXPECT_EQ(progress.ProgressBar->maximum(), 60);
    EXPECT_EQ(progress.ProgressBar->value(), 10);
    progress.ShowProgress("Instrument Serial Number: 123", "Uploading Records from 20 to 120", "");
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.ProgressLine1->text(), "Instrument Serial Number: 123");
    EXPECT_EQ(progress.ProgressLine2->text(), "Uploading Records from 20 to 120");
    progress.StepProgress("25,20080218,...", 25);
    EXPECT_EQ(progress.ProgressLine3->text(), "25,20080218,...");
    EXPECT_EQ(progress.ProgressBar->value(), 25);
    // A position outside the range pins the bar to its end rather than leaving it behind.
    progress.StepProgress("x", 1000);
    EXPECT_EQ(progress.ProgressBar->value(), 60);
    progress.HideProgress();
    EXPECT_FALSE(progress.isVisible());
}

TEST(ProgressWindow, RecordNumbersBeyondTheBarsRangeStillMoveIt)
{
    TFrmProgress progress;
    // The newest record unknown: the upload runs up to 0xFFFFFFFF / 2 and beyond when not halved.
    progress.SetProgressRange(0, 0xFFFFFFFFu, 1);
    EXPECT_GT(progress.ProgressBar->maximum(), 0);
    progress.StepProgress("", 0xFFFFFFFFu);
    EXPECT_EQ(progress.ProgressBar->value(), progress.ProgressBar->maximum());
    progress.StepProgress("", 0x80000000u);
    EXPECT_GT(progress.ProgressBar->value(), 0);
    EXPECT_LT(progress.ProgressBar->value(), progress.ProgressBar->maximum());
    // A reversed range does not leave the bar empty.
    progress.SetProgressRange(50, 5, 1);
    EXPECT_EQ(progress.ProgressBar->minimum(), 5);
    EXPECT_EQ(progress.ProgressBar->maximum(), 50);
}

TEST(ProgressWindow, CancelIsRememberedUntilTheNextShow)
{
    TFrmProgress progress;
    progress.ShowProgress("a", "b", "c");
    EXPECT_FALSE(progress.CancelRequested());
    progress.ProgressCancelButton->click();
    EXPECT_TRUE(progress.CancelRequested());
    // Escape asks the same and leaves the window up for the work to end.
    progress.StepProgress("d", 0);
    EXPECT_TRUE(progress.CancelRequested());
    progress.ShowProgress("a", "b", "c");
    EXPECT_FALSE(progress.CancelRequested());
    progress.reject();
    EXPECT_TRUE(progress.CancelRequested());
    EXPECT_TRUE(progress.isVisible());
}

TEST(ProgressWindow, ItsTextsComeFromTheLanguageFileWhenShown)
{
    TProgramFolder folder(
        TProgramFolder::DefaultIni, true,
        "[TFrmProgress]\nTFrmProgressGerman=Fortschritt...\nProgressCancelButtonGerman=Abbrechen\n"
        "ProgressCancelButtonEnglish=Cancel\nTFrmProgressEnglish=Progress...\n");
    TdatViewer config(folder.Ini());
    TRecordingReporter reporter;
    auto w = CreateMainWindow(config, {}, &reporter);
    ASSERT_TRUE(w);
    TFrmProgress *progress = w->DataStoreTab->Progress;
    w->tbLangClick(); // German
    progress->ShowProgress("Initialising...", "", "");
    EXPECT_EQ(progress->windowTitle(), "Fortschritt...");
    EXPECT_EQ(progress->ProgressCancelButton->text(), "Abbrechen");
    progress->HideProgress();
    w->tbLangClick(); // English again, at the next show
    progress->ShowProgress("Initialising...", "", "");
    EXPECT_EQ(progress->windowTitle(), "Progress...");
    EXPECT_EQ(progress->ProgressCancelButton->text(), "Cancel");
    EXPECT_EQ(progress->ProgressLine1->text(), "Initialising...");
}
