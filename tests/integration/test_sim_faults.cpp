// vornsim's faults on demand and what the transaction engine makes of them: a resend after a
// lost reply, bad frames dropped, garbage ignored, foreign replies not taken, a dropped link.
#include "sim_fixture.h"

namespace
{

int SentCount(const TTransactionEngine &engine)
{
    return static_cast<int>(engine.FramesSent);
}

} // namespace

TEST_F(SimLinkTest, LostRepliesAreResentAndAFinalLossIsReported)
{
    Cfg.DropReply = 1.0;
    Connect();
    EXPECT_FALSE(Engine->Transact(CmdRead, 0x0003, {}, true, true));
    EXPECT_EQ(SentCount(*Engine), 2); // the request and one resend
    EXPECT_EQ(Reporter.Errors, QStringList{"Instrument not responding"});
    EXPECT_TRUE(Engine->TransactText("20110003:").isEmpty());
}

TEST_F(SimLinkTest, ALostReplyIsRecoveredByExactlyOneResend)
{
    Cfg.DropReply = 2; // every second reply is lost
    Connect();
    EXPECT_EQ(Read(0x0003), "V500"); // reply 1
    EXPECT_EQ(SentCount(*Engine), 1);
    EXPECT_EQ(Read(0x0004), "V1.04"); // reply 2 lost, the resend gets reply 3
    EXPECT_EQ(SentCount(*Engine), 3);
    EXPECT_EQ(Read(0x0001), "00"); // reply 4 lost, reply 5
    EXPECT_EQ(SentCount(*Engine), 5);
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(SimLinkTest, SomeLostRepliesAreRecoveredByTheResend)
{
    Cfg.DropReply = 0.4;
    Cfg.Seed = 7;
    Connect();
    Engine->TimeoutTicks = 25;
    int good = 0;
    for (int i = 0; i < 30; ++i) {
        if (Engine->Transact(CmdRead, 0x0003, {}, true, false)) {
            EXPECT_EQ(Engine->LastReply.Data, "V500");
            ++good;
        }
    }
    // Each request gets two chances: most succeed, and resends happened.
    EXPECT_GT(good, 18);
    EXPECT_GT(SentCount(*Engine), 30);
}

TEST_F(SimLinkTest, FramesWithABadCrcAreDropped)
{
    for (const bool lowerCase : {false, true}) {
        Cfg.CorruptCrc = lowerCase ? 0 : 1.0;
        Cfg.LowerCaseCrc = lowerCase ? 1.0 : 0;
        Connect();
        QList<QByteArray> dispatched;
        Engine->OnReplyText = [&](const QByteArray &text) { dispatched << text; };
        // "01110003:V500" has letters in its CRC, so lower-casing changes it.
        EXPECT_FALSE(Engine->Transact(CmdRead, 0x0003, {}, true, false)) << lowerCase;
        EXPECT_EQ(SentCount(*Engine), 2);
        EXPECT_TRUE(dispatched.isEmpty());
    }
}

TEST_F(SimLinkTest, GarbageBetweenFramesIsIgnored)
{
    Cfg.Garbage = 1.0;
    Connect();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(Engine->Transact(CmdRead, 0x0004, {}, true, true));
        EXPECT_EQ(Engine->LastReply.Data, "V1.04");
    }
    EXPECT_EQ(SentCount(*Engine), 10);
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(SimLinkTest, RepliesForAnotherRegisterDoNotEndTheWait)
{
    Cfg.WrongRegister = 1.0;
    Connect();
    EXPECT_FALSE(Engine->Transact(CmdRead, 0x0003, {}, true, false));
    EXPECT_EQ(SentCount(*Engine), 2);
}

TEST_F(SimLinkTest, DuplicatedRepliesDoNotConfuseTheNextRequest)
{
    Cfg.DuplicateReply = 1.0;
    Connect();
    EXPECT_EQ(Read(0x0003), "V500");
    EXPECT_EQ(Read(0x0004), "V1.04");
    EXPECT_EQ(Read(0x0001), "00");
    EXPECT_EQ(SentCount(*Engine), 3);
}

TEST_F(SimLinkTest, OversizedFramesAreDroppedAndOversizedRequestsRefused)
{
    Cfg.OversizedFrame = 1.0;
    Connect();
    EXPECT_FALSE(Engine->Transact(CmdRead, 0x0003, {}, true, false));
    EXPECT_EQ(SentCount(*Engine), 2);

    Cfg.OversizedFrame = 0;
    Connect();
    EXPECT_FALSE(Engine->Transact(CmdWrite, 0x1336, QByteArray(400, 'A'), true, false));
    EXPECT_TRUE(Engine->LastReply.HasStatus(StatusBadParameter));
    // The instrument is still answering afterwards.
    EXPECT_EQ(Read(0x0003), "V500");
}

TEST_F(SimLinkTest, SlowRepliesWithinTheTimeoutArrive)
{
    Cfg.DelayMs = 20; // the engine waits 50 ms
    Connect();
    EXPECT_EQ(Read(0x0003), "V500");
    EXPECT_EQ(SentCount(*Engine), 1);
}

TEST_F(SimLinkTest, TheInstrumentHangsUpAfterNRequests)
{
    Cfg.DisconnectAfter = 3;
    Connect();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Read(0x0001), "00");
    EXPECT_FALSE(Engine->Transact(CmdRead, 0x0001, {}, true, false));
    EXPECT_TRUE(PumpUntil([this] { return !Engine->LinkOpen(); }, 3000));
    EXPECT_FALSE(Connected);
}

TEST_F(SimLinkTest, RefuseAllGivesUnknownErrors)
{
    Cfg.RefuseAll = true;
    Connect();
    EXPECT_FALSE(Engine->Transact(CmdRead, 0x0003, {}, true, true));
    EXPECT_TRUE(Engine->LastReply.HasStatus(StatusUnknownError));
    EXPECT_EQ(Reporter.Errors, QStringList{"Error :- Register 0003:  Unknown Error "});
    // Kept quiet while the upload suppresses them.
    Engine->SuppressUnknownErrors = true;
    EXPECT_FALSE(Engine->Transact(CmdRead, 0x0003, {}, true, true));
    EXPECT_EQ(Reporter.Errors.size(), 1);
}

TEST_F(SimLinkTest, PlainRequestsGetPlainReplies)
{
    Connect();
    QList<QByteArray> replies;
    Engine->OnReplyText = [&](const QByteArray &text) { replies << text; };
    Engine->SendFrame("21110003:", false);
    Engine->SendFrame("21110004:;", false);
    EXPECT_TRUE(PumpUntil([&] { return replies.size() >= 2; }, 3000));
    EXPECT_EQ(replies, (QList<QByteArray>{"01110003:V500", "01110004:V1.04"}));
}
