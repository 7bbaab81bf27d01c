// The transaction engine against a scripted fake transport, on a 2 ms tick.
#include "fake_link.h"
#include "link/framing.h"
#include "link/transact.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace
{

struct TRecordingConsumer : TReplyConsumer {
    void RoutedReply(const Tcommsobj &reply, const QByteArray &text) override
    {
        Registers << reply.Register;
        Texts << text;
    }
    QList<int> Registers;
    QList<QByteArray> Texts;
};

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto link = std::make_unique<TFakeLink>();
        Link = link.get();
        Engine.SetLink(std::move(link));
        Engine.Reporter = &Reporter;
        Engine.SetTickInterval(2);
        Engine.TimeoutTicks = 20;
        Link->Open();
    }
    // Answer every request with `reply` (a message text), CRC-framed; the engine's check of the
    // line (a read of register 1) gets its own reply.
    void AnswerWith(const QByteArray &reply)
    {
        Link->Responder = [this, reply](const QByteArray &frame) {
            if (FrameText(frame) == "20110001:")
                Link->Deliver(CrcFrame("00110001:00"));
            else if (frame.startsWith('\x01'))
                Link->Deliver(CrcFrame(reply));
        };
    }
    int SentCount(const QByteArray &text) const
    {
        int n = 0;
        for (const QByteArray &f : Link->Sent)
            n += FrameText(f) == text;
        return n;
    }
    TTransactionEngine Engine;
    TFakeLink *Link = nullptr;
    TRecordingReporter Reporter;
};

} // namespace

TEST(FrameAssembler, SplitsFramedAndPlainReplies)
{
    TFrameAssembler a;
    QList<QByteArray> got;
    int lineEnds = 0;
    a.OnMessage = [&](const QByteArray &m) { got << m; };
    a.OnLineEnd = [&] { ++lineEnds; };

    a.Feed(CrcFrame("00110005:1234"));
    a.Feed("noise\x01"
           "junk\x02" +
           CrcFrame("00110009:AB").mid(1)); // STX and SOH restart the message
    a.Feed(QByteArray("\x01") + "00110009:AB" + QByteArray("1e2f") + "\x04"); // lower-case CRC: dropped
    a.Feed(QByteArray("\x01") + "00110009:AB" + "0000" + "\x04");             // wrong CRC: dropped
    a.Feed("00110005:77\r\n");                                                // plain, CR not kept
    a.Feed("\r\n");                                                           // empty: nothing
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[0], "00110005:1234");
    EXPECT_EQ(got[1], "00110009:AB");
    EXPECT_EQ(got[2], "00110005:77");
    EXPECT_EQ(lineEnds, 6);
}

TEST(FrameAssembler, DropsRunsLongerThan300Characters)
{
    TFrameAssembler a;
    QList<QByteArray> got;
    a.OnMessage = [&](const QByteArray &m) { got << m; };
    a.Feed(QByteArray(300, 'A') + "\n");
    a.Feed(QByteArray(301, 'B') + "\n");
    a.Feed(QByteArray(301, 'C') + "00110005:1\n"); // the buffer restarts after the overflow
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].size(), 300);
    EXPECT_EQ(got[1], "00110005:1");
}

TEST_F(EngineTest, ReadsAndReturnsTheReply)
{
    AnswerWith("00110005:3039");
    ASSERT_TRUE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(Engine.LastReply.Data, "3039");
    ASSERT_EQ(Link->Sent.size(), 1);
    EXPECT_EQ(Link->Sent[0], CrcFrame("20110005:"));
    EXPECT_EQ(Engine.TransactionState, 0);
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(EngineTest, UnitAddressGoesIntoEveryRequest)
{
    Engine.UnitAddress = 7;
    AnswerWith("07110005:1");
    EXPECT_EQ(Engine.TransactText("20110005:"), "07110005:1");
    EXPECT_EQ(FrameText(Link->Sent[0]), "27110005:");
}

TEST_F(EngineTest, SilentInstrumentGetsOneResendAndOneMessage)
{
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(SentCount("20110005:"), 2);
    EXPECT_EQ(Reporter.Errors, QStringList{"Instrument not responding"});

    // Later failures stay quiet until a good reply has come.
    EXPECT_EQ(Engine.TransactText("20110005:"), "");
    EXPECT_EQ(Reporter.Errors.size(), 1);
    AnswerWith("00110005:1");
    EXPECT_TRUE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    Link->Responder = nullptr;
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(Reporter.Errors.size(), 2);
}

TEST_F(EngineTest, ARequestSentOnceIsNeverResentAndItsSilenceIsTheCallersToReport)
{
    // "Next record" moves the instrument on: a lost reply must not be asked for again.
    EXPECT_EQ(Engine.TransactTextOnce("20108292:"), "");
    EXPECT_EQ(SentCount("20108292:"), 1);
    EXPECT_TRUE(Reporter.Errors.isEmpty());
    EXPECT_TRUE(Engine.LastWaitTimedOut());
    // A longer wait when asked for, and the reply as usual. (The instrument answers the check of
    // the line that goes before a request while an earlier one of its kind is unanswered.)
    AnswerWith("00110001:00");
    Link->Responder = [this, r = Link->Responder](const QByteArray &f) {
        if (FrameText(f) == "20110001:")
            r(f);
    };
    Engine.TimeoutTicks = 5;
    Link->IdleBeforeSend.clear();
    EXPECT_EQ(Engine.TransactTextOnce("20108292:", 15), "");
    EXPECT_EQ(Engine.TransactTextOnce("20108292:", 15), "");
    ASSERT_EQ(Link->IdleBeforeSend.size(), 4); // check, request, check, request
    EXPECT_GE(Link->IdleBeforeSend[2], 15);
    AnswerWith("00108292:1,2008/02/18");
    EXPECT_EQ(Engine.TransactTextOnce("20108292:"), "00108292:1,2008/02/18");
    // The engine's own requests still get their resend and their message.
    Link->Responder = nullptr;
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(SentCount("20110005:"), 2);
    EXPECT_EQ(Reporter.Errors, QStringList{"Instrument not responding"});
}

TEST_F(EngineTest, ResendIsTheTimeoutApart)
{
    Engine.TimeoutTicks = 5;
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, false));
    ASSERT_EQ(Link->IdleBeforeSend.size(), 2);
    EXPECT_EQ(Link->IdleBeforeSend[1], 5);
    EXPECT_TRUE(Reporter.Errors.contains("Instrument not responding"));
}

TEST_F(EngineTest, LateAnswerToTheFirstSendCompletesTheResend)
{
    int sends = 0;
    Link->Responder = [&](const QByteArray &) {
        if (++sends == 2)
            Link->Deliver(CrcFrame("00110005:2"));
    };
    EXPECT_TRUE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(sends, 2);
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(EngineTest, RefusalsAreReportedOnceAndUnknownErrorsCanBeHidden)
{
    AnswerWith("40110021:1000");
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0021, {}, true, true));
    EXPECT_EQ(Reporter.Errors, QStringList{"Error :- Register 0021:  Access Denied "});
    EXPECT_TRUE(Engine.LastReply.ErrorFlag);

    Reporter.Errors.clear();
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0021, {}, true, false));
    EXPECT_TRUE(Reporter.Errors.isEmpty());

    // TransactText reports too, and hands the refusal back encoded.
    EXPECT_EQ(Engine.TransactText("20110021:"), "40110021:1000");
    EXPECT_EQ(Reporter.Errors.size(), 1);

    Reporter.Errors.clear();
    Engine.SuppressUnknownErrors = true;
    AnswerWith("40108292:4000");
    EXPECT_FALSE(Engine.Transact(CmdExecute, 0x8292, {}, true, true));
    EXPECT_TRUE(Reporter.Errors.isEmpty());
    AnswerWith("40108292:1000");
    EXPECT_FALSE(Engine.Transact(CmdExecute, 0x8292, {}, true, true));
    EXPECT_EQ(Reporter.Errors.size(), 1);
}

TEST_F(EngineTest, AReplyForAnotherRegisterDoesNotEndTheWait)
{
    Link->Responder = [this](const QByteArray &) {
        Link->Deliver(CrcFrame("00110009:0000") + CrcFrame("00110005:42"));
    };
    ASSERT_TRUE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(Engine.LastReply.Data, "42");
    EXPECT_EQ(Link->Sent.size(), 1);
}

TEST_F(EngineTest, ASecondTransactionDuringAWaitIsRefusedAndTheFirstGoesOn)
{
    bool inner = true;
    QByteArray innerText = "x";
    Link->Responder = [&](const QByteArray &) {
        // A timer firing during the wait asks for another exchange.
        QTimer::singleShot(0, [&] {
            inner = Engine.Transact(CmdRead, 0x0003, {}, true, true);
            innerText = Engine.TransactText("20110003:");
            Link->Deliver(CrcFrame("00110005:9"));
        });
    };
    ASSERT_TRUE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_FALSE(inner);
    EXPECT_EQ(innerText, "");
    EXPECT_EQ(Engine.LastReply.Data, "9");
    EXPECT_EQ(Link->Sent.size(), 1);
}

TEST_F(EngineTest, OnlyReadsAndValueWritesAreSentAgainAfterALostReply)
{
    const struct {
        int Command, Register;
        TRequestKind Kind;
        int Sends;
    } cases[] = {
        {CmdRead, 0x0005, TRequestKind::Read, 2},
        {CmdReadFormatted, 0x0025, TRequestKind::Read, 2},
        {CmdWrite, 0x0100, TRequestKind::ValueWrite, 2},
        {CmdExecute, 0x0115, TRequestKind::Read, 2},    // a linearisation point by number
        {CmdExecute, 0x8295, TRequestKind::Read, 2},    // the newest record
        {CmdWrite, 0x0008, TRequestKind::Command, 1},   // a key
        {CmdExecute, 0x0010, TRequestKind::Command, 1}, // save
        {CmdExecute, 0x0016, TRequestKind::Command, 1}, // reset
        {CmdExecute, 0x0102, TRequestKind::Command, 1}, // calibration start
        {CmdExecute, 0xB001, TRequestKind::Command, 1}, // add a product
        {CmdExecute, 0xB011, TRequestKind::Command, 1}, // delete a product
        {CmdExecute, 0xB012, TRequestKind::Command, 1}, // rename a product
        {CmdExecute, 0x8292, TRequestKind::Cursor, 1},  // the next record
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QString::number(c.Register, 16).toStdString());
        EXPECT_EQ(ClassifyRequest(c.Command, c.Register), c.Kind);
        Link->Sent.clear();
        EXPECT_FALSE(Engine.Transact(c.Command, c.Register, "1", true, false));
        int sends = 0;
        for (const QByteArray &f : Link->Sent)
            sends += FrameText(f).mid(2, 6) ==
                     QByteArray::number(c.Command, 16).rightJustified(2, '0') +
                         QByteArray::number(c.Register, 16).toUpper().rightJustified(4, '0');
        EXPECT_EQ(sends, c.Sends);
        EXPECT_EQ(Engine.LastRequestUnconfirmed(), c.Sends == 1);
    }
    // The text form follows the same rule, and a caller may name the kind.
    Link->Sent.clear();
    EXPECT_EQ(Engine.TransactText("20100008:000E"), "");
    EXPECT_EQ(Engine.TransactTextAs(TRequestKind::Command, "20110003:"), "");
    EXPECT_EQ(SentCount("20100008:000E") + SentCount("20110003:"), 2);
}

TEST_F(EngineTest, ALateReplyIsNotHandedToTheNextRequestOfTheSameRegisterAndCommand)
{
    // An instrument that answers everything, in order, 30 ticks late (the time-out is 20): a
    // linearisation point by its number, and the check of the line.
    Engine.SetTickInterval(10);
    Link->Responder = [this](const QByteArray &frame) {
        const QByteArray text = FrameText(frame);
        QByteArray reply = "00110001:00";
        if (text.startsWith("20100115:"))
            reply = "00100115:" + QByteArray::number(text.mid(9).toInt() * 10 + 10, 16).toUpper();
        else if (text.startsWith("20100052:"))
            reply = "00100052:" + text.mid(9);
        QTimer::singleShot(300, [this, reply] { Link->Deliver(CrcFrame(reply)); });
    };
    // Point 0 asked once and given up; its reply comes while point 1 is asked for.
    EXPECT_EQ(Engine.TransactTextOnce("20100115:0"), "");
    EXPECT_EQ(Engine.TransactText("20100115:1"), "00100115:14");
    EXPECT_EQ(Engine.SurplusReplies, 1);
    EXPECT_EQ(Engine.LineChecks, 1);
    // A read resent after its time-out takes whichever of its own replies comes first; the other
    // is surplus and the next point waits for the line to be clear.
    EXPECT_EQ(Engine.TransactText("20100115:2"), "00100115:1E");
    EXPECT_EQ(Engine.TransactText("20100115:3"), "00100115:28");
    EXPECT_GE(Engine.SurplusReplies, 2);
    EXPECT_TRUE(PumpUntil([&] { return Engine.Unanswered() == 0; }));
}

TEST_F(EngineTest, ASecondCopyOfAReplyIsDroppedNotHandedOn)
{
    Link->Responder = [this](const QByteArray &frame) {
        const QByteArray reply = "00110052:" + FrameText(frame).mid(9);
        if (FrameText(frame) == "20110001:")
            return Link->Deliver(CrcFrame("00110001:00"));
        Link->Deliver(CrcFrame(reply) + CrcFrame(reply));
    };
    for (const QByteArray arg : {"0000", "0001", "0002"}) {
        ASSERT_TRUE(Engine.Transact(CmdRead, 0x0052, arg, true, true));
        EXPECT_EQ(Engine.LastReply.Data, arg);
    }
    EXPECT_TRUE(PumpUntil([&] { return Engine.SurplusReplies == 3; }, 500));
}

TEST_F(EngineTest, LinkClosingDuringAWaitEndsItWithoutResend)
{
    Link->Responder = [this](const QByteArray &) { Link->DropConnection(); };
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(Link->Sent.size(), 1);
    EXPECT_EQ(Engine.TransactionState, 0);
    // Nothing is sent on a closed link, and the call returns at once.
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(Engine.TransactText("20110005:"), "");
    EXPECT_EQ(Link->Sent.size(), 1);
}

TEST_F(EngineTest, TestRouteReportsOnlyRefusalsOutsideATransaction)
{
    Engine.SetReplyRoute(RouteTest);
    Link->DeliverNow(CrcFrame("40110005:1000")); // a reply to a typed request
    EXPECT_EQ(Reporter.Errors.size(), 1);

    AnswerWith("40110005:1000");
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, false)); // its own setting: quiet
    EXPECT_EQ(Reporter.Errors.size(), 1);
    EXPECT_FALSE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    EXPECT_EQ(Reporter.Errors.size(), 2);
}

TEST_F(EngineTest, DisplayRoutePollsAsFastAsTheInstrumentAnswers)
{
    TRecordingConsumer display;
    Engine.SetRouteConsumer(RouteDisplay, &display);
    Engine.SetReplyRoute(RouteDisplay);
    AnswerWith("00110009:0123");
    ASSERT_TRUE(PumpUntil([&] { return display.Registers.size() >= 5; }));
    for (const QByteArray &f : Link->Sent)
        EXPECT_EQ(FrameText(f), "20110009:");
    // Polls are never sent while one is outstanding.
    EXPECT_LE(Link->Sent.size(), display.Registers.size() + 1);
}

TEST_F(EngineTest, ALatePollReplyIsPolledAgainAtOnceAnEarlyOneOnTheNextTick)
{
    // Ticks by hand: the order of ticks and replies is what matters here.
    Engine.SetTickInterval(3600000);
    TRecordingConsumer display;
    Engine.SetRouteConsumer(RouteDisplay, &display);
    Engine.SetReplyRoute(RouteDisplay);
    const QByteArray reply = CrcFrame("00110009:0123");
    Engine.Tick();
    ASSERT_EQ(Link->Sent.size(), 1);
    Link->DeliverNow(reply); // within the tick: the next poll waits for the next tick
    EXPECT_EQ(Link->Sent.size(), 1);
    Engine.Tick();
    ASSERT_EQ(Link->Sent.size(), 2);
    Engine.Tick(); // the reply is late (a slow line): these ticks find the poll still out
    Engine.Tick();
    EXPECT_EQ(Link->Sent.size(), 2);
    Link->DeliverNow(reply);
    EXPECT_EQ(Link->Sent.size(), 3); // polled again as the reply came, not a tick later
    EXPECT_EQ(display.Registers.size(), 2);
    Link->DeliverNow(reply);
    EXPECT_EQ(Link->Sent.size(), 3);
    Engine.Tick();
    EXPECT_EQ(Link->Sent.size(), 4); // back on the tick
    for (const QByteArray &f : Link->Sent)
        EXPECT_EQ(FrameText(f), "20110009:");
}

TEST_F(EngineTest, UnansweredPollIsRepeatedAfterTheTimeoutAndBlanksTheMimic)
{
    int blanks = 0;
    Engine.OnPollTimeout = [&] { ++blanks; };
    Engine.TimeoutTicks = 10;
    Engine.SetReplyRoute(RouteCalibration);
    ASSERT_TRUE(PumpUntil([&] { return Link->Sent.size() >= 3; }));
    EXPECT_GE(blanks, 2);
    EXPECT_TRUE(Reporter.Errors.isEmpty()); // polls never report
}

TEST_F(EngineTest, TransactWaitsForAPendingPollFirst)
{
    Engine.SetReplyRoute(RouteDisplay);
    ASSERT_TRUE(PumpUntil([&] { return Link->Sent.size() == 1; })); // a poll is out, unanswered
    AnswerWith("00110005:1");
    ASSERT_TRUE(Engine.Transact(CmdRead, 0x0005, {}, true, true));
    // The request went out only after the poll's hold ran out.
    EXPECT_EQ(FrameText(Link->Sent[0]), "20110009:");
    EXPECT_EQ(FrameText(Link->Sent[1]), "20110005:");
}

TEST_F(EngineTest, SessionRefreshIsNotSentOnTheTestPages)
{
    for (TReplyRoute route : {RouteTest, RouteStringTest}) {
        Engine.SetReplyRoute(route);
        Engine.SessionRefreshDue = true;
        Engine.WaitTicks(5);
        EXPECT_EQ(SentCount("201200EF:FF"), 0);
    }
    Engine.SetReplyRoute(RouteNone);
    Engine.WaitTicks(5);
    EXPECT_EQ(SentCount("201200EF:FF"), 1);
    EXPECT_FALSE(Engine.SessionRefreshDue);
}

TEST_F(EngineTest, RoutesHandUnsolicitedRepliesToTheirConsumer)
{
    TRecordingConsumer log, display;
    Engine.SetRouteConsumer(RouteLog, &log);
    Engine.SetRouteConsumer(RouteDisplay, &display);
    Engine.SetReplyRoute(RouteLog);
    Link->DeliverNow(CrcFrame("0011004F:00000123") + "0011004F:456\r\n" + "short\n");
    ASSERT_EQ(log.Registers.size(), 2);
    EXPECT_EQ(log.Texts[1], "0011004F:456");
    EXPECT_TRUE(display.Registers.isEmpty());
}

TEST_F(EngineTest, EchoShowsSentFramesAndReceivedTextWhileWaitingOrOnTheTestTab)
{
    QList<QByteArray> echo;
    Engine.OnTrafficEcho = [&](const QByteArray &t) { echo << t; };
    AnswerWith("00110005:1");
    Engine.Transact(CmdRead, 0x0005, {}, true, true);
    ASSERT_EQ(echo.size(), 2);
    EXPECT_EQ(echo[0], ">>>" + CrcFrame("20110005:"));
    EXPECT_EQ(echo[1], CrcFrame("00110005:1"));

    echo.clear();
    Link->DeliverNow("00110005:2\r\n"); // nobody waits, not on the Test tab: dropped
    EXPECT_TRUE(echo.isEmpty());
    Engine.SetReplyRoute(RouteTest);
    Engine.SendFrame("20110005:", false);
    Engine.SendFrame("00110005;", false);
    ASSERT_EQ(echo.size(), 2);
    EXPECT_EQ(echo[0], ">>>20110005:\r\n");
    EXPECT_EQ(echo[1], ">>>00110005;"); // no CR LF after ";"
}

TEST_F(EngineTest, FastOpticalKeepAliveOnlyOnThatCable)
{
    Engine.CableType = CableRs232;
    Link->IdleTicks = 200;
    Engine.WaitTicks(2);
    EXPECT_EQ(Link->Sent.size(), 0);
    Engine.CableType = CableFastOptical;
    Link->IdleTicks = 119;
    Engine.WaitTicks(3);
    ASSERT_EQ(Link->Sent.size(), 1);
    EXPECT_EQ(Link->Sent[0], "00110005;");
}

TEST(EchoText, ControlCharactersAndLines)
{
    EXPECT_EQ(ControlCharText(0x01, true), "[SOH]");
    EXPECT_EQ(ControlCharText(0x1F, true), "[US]");
    EXPECT_EQ(ControlCharText(0x7F, true), "[7F]");
    EXPECT_EQ(ControlCharText(0xE4, true), "[E4]");
    EXPECT_EQ(ControlCharText(0x04, false), "");
    EXPECT_EQ(ControlCharText('A', false), "A");

    const QByteArray frame = QByteArray("\x01") + "00110005:1ABCD\x04" + "tail";
    EXPECT_EQ(TrafficEchoLines(frame, false), (QList<QByteArray>{"00110005:1ABCD", "tail"}));
    EXPECT_EQ(TrafficEchoLines(frame, true), (QList<QByteArray>{"[SOH]00110005:1ABCD[EOT]", "tail"}));
    EXPECT_EQ(TrafficEchoLines("a;b\r\nc", false), (QList<QByteArray>{"a;", "b", "c"}));
    EXPECT_EQ(StringTestEchoLines("Hello\r\nWorld\x01\r\n"), (QList<QByteArray>{"Hello", "World[SOH]"}));
}
