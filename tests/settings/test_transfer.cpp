// The settings transfer's pacing, stepped by hand: one send per answered line, resends one reply
// wait apart, giving up on the fourth send, refusals and stray replies.
#include "settings/transfer.h"

#include "link/reporter.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace
{

struct TRecorder : TReporter {
    QStringList Errors;
    void Error(const QString &text) override { Errors << text; }
    void Info(const QString &) override {}
    bool Ask(const QString &) override { return false; }
};

struct TransferTest : ::testing::Test {
    TSettingsTransfer transfer;
    TRecorder reporter;
    QList<QByteArray> sent;
    QList<bool> finished;
    void SetUp() override
    {
        transfer.Reporter = &reporter;
        transfer.SendFrame = [this](const QByteArray &t) { sent.append(t); };
        transfer.OnFinished = [this](bool ok) { finished.append(ok); };
    }
    // Steps until something is sent or the transfer ends; returns the number of steps taken.
    int StepUntilSend()
    {
        const auto before = sent.size();
        int steps = 0;
        while (transfer.Running && sent.size() == before && steps < 1000) {
            transfer.Step();
            ++steps;
        }
        return steps;
    }
};

} // namespace

TEST_F(TransferTest, AnsweredLinesGoOutOnceEachOnTheStepAfterTheReply)
{
    transfer.Load({"20120001:1", "20120002:2"}, "HEADER");
    EXPECT_EQ(transfer.ProgressMax, 3);
    transfer.Start();
    EXPECT_EQ(StepUntilSend(), 3); // two steps of grace after activation
    EXPECT_EQ(sent, QList<QByteArray>{"HEADER"});
    transfer.ReplyArrived("00120000:");
    transfer.Step();
    EXPECT_EQ(sent.last(), "20120001:1");
    transfer.ReplyArrived("00120001:");
    transfer.Step();
    transfer.ReplyArrived("00120002:");
    EXPECT_TRUE(finished.isEmpty());
    transfer.Step();
    EXPECT_EQ(sent.size(), 3);
    EXPECT_EQ(finished, QList<bool>{true});
    EXPECT_EQ(transfer.Progress, 3);
    EXPECT_TRUE(reporter.Errors.isEmpty());
}

TEST_F(TransferTest, UnansweredLineIsSentFourTimesThenGivesUp)
{
    transfer.Load({"20120001:1", "20120002:2"});
    transfer.Start();
    StepUntilSend();
    EXPECT_EQ(StepUntilSend(), TSettingsTransfer::StepsPerAttempt + 1);
    StepUntilSend();
    StepUntilSend();
    EXPECT_EQ(sent, QList<QByteArray>(4, "20120001:1"));
    // The fourth send is waited for like the others before the transfer gives up.
    EXPECT_TRUE(finished.isEmpty());
    EXPECT_EQ(StepUntilSend(), TSettingsTransfer::StepsPerAttempt + 1);
    EXPECT_EQ(sent.size(), 4);
    EXPECT_EQ(finished, QList<bool>{false});
    EXPECT_FALSE(transfer.Running);
    EXPECT_TRUE(transfer.Messages.isEmpty());
    EXPECT_EQ(transfer.Unconfirmed, QList<QByteArray>{"20120001:1"});
    EXPECT_EQ(transfer.Done, 0);
    EXPECT_EQ(reporter.Errors, QStringList{"Instrument not Responding"});
}

TEST_F(TransferTest, RepliesWithinTheWaitCountAndLateOnesAnswerNoLaterLine)
{
    // Each row: the send whose reply comes (1-4), and how many steps into its wait.
    const struct {
        int Send, Step;
    } cases[] = {{1, 0},
                 {1, TSettingsTransfer::StepsPerAttempt - 1},
                 {4, 0},
                 {4, TSettingsTransfer::StepsPerAttempt - 1}};
    for (const auto &c : cases) {
        TSettingsTransfer t;
        QList<QByteArray> out;
        QList<bool> done;
        t.SendFrame = [&](const QByteArray &text) { out.append(text); };
        t.OnFinished = [&](bool ok) { done.append(ok); };
        // Two lines on one register and command: a late second answer to the first is not the second's.
        t.Load({"20121201:1", "20121201:2"});
        t.Start();
        while (out.size() < c.Send && t.Running)
            t.Step();
        for (int i = 0; i < c.Step; ++i)
            t.Step();
        ASSERT_TRUE(t.Running) << c.Send << "/" << c.Step;
        t.ReplyArrived("00121201:");
        EXPECT_EQ(t.Position, 1) << c.Send << "/" << c.Step;
        t.Step();
        EXPECT_EQ(out.last(), "20121201:2");
        // Answers to the first line's other sends arrive now: counted and dropped.
        for (int late = 1; late < c.Send; ++late)
            t.ReplyArrived("00121201:");
        EXPECT_EQ(t.Position, 1) << c.Send << "/" << c.Step;
        EXPECT_EQ(t.LateReplies, c.Send - 1);
        t.ReplyArrived("00121201:");
        t.Step();
        EXPECT_EQ(done, QList<bool>{true}) << c.Send << "/" << c.Step;
        EXPECT_TRUE(t.Unconfirmed.isEmpty());
        EXPECT_EQ(t.Done, 2);
    }
}

TEST_F(TransferTest, RefusalCountsAsAnswerAndStrayReplyMovesOnlyProgress)
{
    transfer.Load({"20120001:1", "20120002:2"});
    transfer.Start();
    StepUntilSend();
    transfer.ReplyArrived("40120001:1000"); // refused: still done
    EXPECT_TRUE(transfer.ReplyMessage.ErrorFlag);
    EXPECT_EQ(transfer.Position, 1);
    transfer.Step();
    EXPECT_EQ(sent.last(), "20120002:2");
    transfer.ReplyArrived("00120002:");
    transfer.ReplyArrived("00110009:junk"); // nobody waits for this one
    EXPECT_EQ(transfer.Position, 2);
    EXPECT_EQ(transfer.Progress, 3);
    transfer.Step();
    EXPECT_EQ(finished, QList<bool>{true});
}

TEST_F(TransferTest, CancelEndsWithoutMessageAndRunWaitsOnTheTimer)
{
    transfer.Load({"20120001:1"});
    transfer.Start();
    transfer.Cancel();
    EXPECT_EQ(finished, QList<bool>{false});
    EXPECT_TRUE(reporter.Errors.isEmpty());

    // Run answers every send at once; a 1 ms step keeps the test fast.
    finished.clear();
    sent.clear();
    transfer.SetStepInterval(1);
    transfer.Load({"A", "B", "C"});
    transfer.SendFrame = [this](const QByteArray &t) {
        sent.append(t);
        transfer.ReplyArrived("00120001:");
    };
    EXPECT_TRUE(transfer.Run());
    EXPECT_EQ(sent, (QList<QByteArray>{"A", "B", "C"}));
    EXPECT_EQ(finished, QList<bool>{true});
}

TEST_F(TransferTest, LostReplyIsResentAfterTheReplyWait)
{
    // The program waits 2 s; the command line its reply time-out (here in 20 ms steps).
    const struct {
        int Ms, Steps;
    } cases[] = {{-1, TSettingsTransfer::StepsPerAttempt}, {300, 15}, {7000, 350}, {310, 16}, {1, 1}};
    for (const auto &c : cases) {
        TSettingsTransfer t;
        QList<QByteArray> out;
        t.SendFrame = [&](const QByteArray &text) { out.append(text); };
        if (c.Ms > 0)
            t.SetReplyWait(c.Ms);
        t.Load({"20120001:1"});
        t.Start();
        int steps = 0;
        while (out.size() < 2 && steps < 1000) {
            t.Step();
            if (out.size() == 1)
                ++steps;
        }
        EXPECT_EQ(steps, c.Steps + 1) << c.Ms;
        EXPECT_EQ(out, QList<QByteArray>(2, "20120001:1")) << c.Ms;
    }
}
