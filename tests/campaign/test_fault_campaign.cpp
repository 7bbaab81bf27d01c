// The fault campaign, short version: every vornsim fault mode against the real engine, upload,
// settings save and send, each compared with the instrument's truth (bench_faults runs it long).
#include "fault_campaign.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FaultCampaign, EveryModeEndsEveryCallAndNothingFailsSilently)
{
    TCampaignPlan plan;
    plan.Records = 100;
    plan.StormCalls = 200;
    plan.UploadAttempts = 30;
    const QList<QByteArray> reference = ReferenceSave(plan);
    ASSERT_GT(reference.size(), 100);
    QTemporaryDir work;
    for (const TFaultMode &mode : FaultModes(plan.TickMs * plan.TimeoutTicks)) {
        const TCampaignCounts c = RunCampaignMode(&mode, plan, reference, work.path());
        SCOPED_TRACE(c.ToLine().toStdString());
        std::printf("%s\n  save: %s\n  send: %s\n  upload: %s\n", qPrintable(c.ToLine()),
                    qPrintable(c.SaveDetail), qPrintable(c.SendDetail), qPrintable(c.UploadLastMessage));
        EXPECT_EQ(c.Transactions, plan.StormCalls);
        EXPECT_EQ(c.Hangs, 0);
        // Matching is by register alone: the only wrong replies are an earlier request's reply to
        // the same register, arriving after its time-out and resend (late or duplicated).
        EXPECT_EQ(c.WrongReplies, c.WrongReplyKinds.value("earlier-request-same-register"));
        // Upload: repeated until complete, exactly the instrument's records; never "done" early.
        EXPECT_EQ(c.UploadFalseSuccesses, 0);
        if (c.UploadClaimedComplete) {
            EXPECT_EQ(c.RecordsLost, 0);
            EXPECT_EQ(c.RecordsDuplicated + c.RecordsAltered + c.RecordsOutOfOrder, 0);
            EXPECT_TRUE(c.StoreVerdictClean);
        }
        // Replies later than the time-out let nothing complete, and nothing says it did.
        if (mode.Name != "delay") {
            EXPECT_TRUE(c.UploadClaimedComplete);
        }
    }
}
