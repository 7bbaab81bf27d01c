// The fault campaign, short version: each vornsim fault mode against the real engine, upload,
// settings save and send, each compared with the instrument's truth (bench_faults runs it long).
#include "command_campaign.h"
#include "fault_campaign.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class FaultCampaign : public ::testing::TestWithParam<QString>
{
};

TCampaignPlan ShortPlan()
{
    TCampaignPlan plan;
    plan.Records = 50;
    plan.StormCalls = 100;
    plan.UploadAttempts = 20;
    return plan;
}

} // namespace

TEST_P(FaultCampaign, EveryCallEndsAndNothingFailsSilently)
{
    const TCampaignPlan plan = ShortPlan();
    const QList<QByteArray> reference = ReferenceSave(plan);
    ASSERT_GT(reference.size(), 100);
    TFaultMode mode;
    for (const TFaultMode &m : FaultModes(plan.TickMs * plan.TimeoutTicks))
        if (m.Name == GetParam())
            mode = m;
    ASSERT_EQ(mode.Name, GetParam());
    QTemporaryDir work;
    QElapsedTimer clock;
    clock.start();
    const TCampaignCounts c = RunCampaignMode(&mode, plan, reference, work.path());
    SCOPED_TRACE(c.ToLine().toStdString());
    std::printf("%s (%lld ms)\n  save: %s\n  send: %s\n  upload: %s\n", qPrintable(c.ToLine()),
                static_cast<long long>(clock.elapsed()), qPrintable(c.SaveDetail), qPrintable(c.SendDetail),
                qPrintable(c.UploadLastMessage));

    EXPECT_EQ(c.Transactions, plan.StormCalls);
    EXPECT_EQ(c.Hangs, 0);
    // Matching is by register and command alone: the only wrong replies are an earlier request's
    // reply to the same register, arriving after its time-out and resend (late or duplicated).
    EXPECT_EQ(c.WrongReplies, c.WrongReplyKinds.value("earlier-request-same-register"));
    // Upload, repeated until complete: exactly the instrument's records; never "done" early.
    EXPECT_EQ(c.UploadFalseSuccesses, 0);
    EXPECT_TRUE(c.UploadClaimedComplete);
    EXPECT_EQ(c.RecordsLost, 0);
    EXPECT_EQ(c.RecordsDuplicated + c.RecordsAltered + c.RecordsOutOfOrder, 0);
    EXPECT_TRUE(c.StoreVerdictClean);
    // settings save: the file equals a fault-free save, or no file and a failure.
    EXPECT_EQ(c.SaveFalse, 0) << c.SaveDetail.toStdString();
    // settings send, then everything read back without faults: the instrument holds the file, or
    // the send said it did not finish.
    EXPECT_EQ(c.SendFalse, 0) << c.SendDetail.toStdString();
    // A link dropped every 150 requests cannot carry a whole save: it must say so.
    if (mode.Name != "disconnect-after") {
        EXPECT_EQ(c.SaveRight, c.SaveRuns) << c.SaveDetail.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FaultCampaign,
                         ::testing::Values("drop", "delay", "corrupt", "lowercase", "wrong-register",
                                           "oversize", "duplicate", "garbage", "disconnect-after",
                                           "session-timeout"),
                         [](const ::testing::TestParamInfo<QString> &info) {
                             QString name = info.param;
                             return name.remove('-').toStdString();
                         });

// The command campaign, short version: the rows that run in a second or less, each counted against
// the instrument (bench_faults runs every row).
TEST(CommandCampaign, CommandsActOnceAndRowByRowReadsAreRightOrReported)
{
    const TCampaignPlan plan = ShortPlan();
    const QStringList quick{"PRINT key",
                            "TARE key",
                            "product add",
                            "product rename",
                            "product delete",
                            "next record",
                            "direct zero",
                            "product added (settings send)",
                            "end of a settings send",
                            "store upload"};
    int ran = 0;
    for (const TCommandRow &row : CommandCampaignRows(plan)) {
        if (!quick.contains(row.Name) || (row.Name == "store upload" && !row.Fault.startsWith("--delay-on")))
            continue;
        const TRowCounts c = RunCommandRow(row, plan);
        SCOPED_TRACE((row.Name + " " + row.Fault + ": " + c.Detail).toStdString());
        ++ran;
        EXPECT_EQ(c.Runs, 1);
        EXPECT_EQ(c.Duplicated, 0);
        EXPECT_EQ(c.WrongRows, 0);
        EXPECT_EQ(c.FalseSuccesses, 0);
        EXPECT_EQ(c.Silent, 0); // not done is said
        // Every command acted once: a lost or late reply is no reason to act twice or not at all.
        if (row.Effects) {
            EXPECT_EQ(c.Effects, 1);
        }
    }
    EXPECT_EQ(ran, 22);
}
