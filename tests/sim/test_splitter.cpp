// The instrument's request splitting: framed and plain requests, bad CRCs, oversized requests.
#include "link/CRC.h"
#include "link/comms.h"
#include "splitter.h"

#include <QList>

#include <gtest/gtest.h>

namespace
{

struct TGot {
    QByteArray Text;
    bool Framed;
    bool Oversized;
    bool operator==(const TGot &o) const = default;
};

QList<TGot> Split(const QByteArray &stream, QList<QByteArray> *bad = nullptr)
{
    TSimRequestSplitter s;
    QList<TGot> got;
    s.OnRequest = [&](const QByteArray &t, bool f, bool o) { got << TGot{t, f, o}; };
    s.OnBadCrc = [&](const QByteArray &t) {
        if (bad)
            *bad << t;
    };
    // One character at a time: nothing may depend on how the bytes arrive.
    for (char ch : stream)
        s.Feed(QByteArray(1, ch));
    return got;
}

QByteArray Framed(const QByteArray &text)
{
    return SOH + text + FrameCrcHex(text) + EOT;
}

} // namespace

TEST(SimSplitter, FramedAndPlainRequests)
{
    const QList<TGot> got =
        Split(Framed("20110003:") + "20110004:\r\n" + MsgFastBaud + MsgKeepAlive + Framed("20120100:A;B"));
    ASSERT_EQ(got.size(), 5);
    EXPECT_EQ(got[0], (TGot{"20110003:", true, false}));
    EXPECT_EQ(got[1], (TGot{"20110004:", false, false}));
    EXPECT_EQ(got[2], (TGot{"00100078:E100", false, false}));
    EXPECT_EQ(got[3], (TGot{"00110005", false, false}));
    EXPECT_EQ(got[4], (TGot{"20120100:A;B", true, false})); // ";" is data inside a frame
}

TEST(SimSplitter, BadCrcAndRestartsDropTheRequest)
{
    QList<QByteArray> bad;
    QByteArray lower = Framed("20110003:");
    lower = lower.left(10) + lower.mid(10, 4).toLower() + lower.mid(14);
    const QList<TGot> got = Split("junk" + Framed("20110003:").replace("C576", "C577") + lower + "2011" +
                                      STX + "" + Framed("20110001:"),
                                  &bad);
    EXPECT_EQ(bad.size(), 2);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].Text, "20110001:");
}

TEST(SimSplitter, OversizedRequestsKeepTheirStart)
{
    const QByteArray longText = "20121336:" + QByteArray(1000, 'A');
    const QList<TGot> got = Split(Framed(longText) + longText + "\n" + Framed("20110003:"));
    ASSERT_EQ(got.size(), 3);
    EXPECT_TRUE(got[0].Oversized && got[0].Framed);
    EXPECT_EQ(got[0].Text.size(), TSimRequestSplitter::MaxRequestLength);
    EXPECT_TRUE(got[0].Text.startsWith("20121336:"));
    EXPECT_TRUE(got[1].Oversized && !got[1].Framed);
    EXPECT_EQ(got[2], (TGot{"20110003:", true, false}));
}
