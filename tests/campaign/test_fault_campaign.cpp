// The fault campaign, short version: each vornsim fault mode against the real engine, upload,
// settings save and send, each compared with the instrument's truth (bench_faults runs it long).
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
