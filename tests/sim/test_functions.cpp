// The simulated instrument's functions fed request texts directly: data store, calibration,
// products, clock, logging, reports, the display register and keys, and link control.
#include "display/VornTables.h"
#include "instrument.h"
#include "values/tools.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace
{

class FuncTest : public ::testing::Test
{
protected:
    void SetUp() override { Start(); }
    void Start()
    {
        Sim = std::make_unique<TVornInstrument>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Setup(&error)) << error.toStdString();
    }
    Tcommsobj Ask(const QByteArray &text)
    {
        Tcommsobj reply;
        reply.Register = -1;
        const QByteArray answer = Sim->Request(text);
        if (!answer.isEmpty())
            reply.Decode(answer);
        return reply;
    }
    QByteArray Data(const QByteArray &text)
    {
        const Tcommsobj r = Ask(text);
        EXPECT_FALSE(r.ErrorFlag) << text.constData() << " -> " << r.Data.constData();
        return r.Data;
    }
    uint32_t Refusal(const QByteArray &text)
    {
        const Tcommsobj r = Ask(text);
        EXPECT_TRUE(r.ErrorFlag) << text.constData() << " -> " << r.Data.constData();
        return r.ErrorFlag ? r.Status : 0;
    }
    void OpenFull()
    {
        Data("20120019:162E");
        Data("201200EF:FF");
    }
    // Status of 0x0021 until the step is over, moving time on by 100 ms per read.
    QList<uint32_t> WatchCalibration()
    {
        QList<uint32_t> seen;
        for (int i = 0; i < 100; ++i) {
            const uint32_t s = HexToInt(Data("20110021:"));
            seen << s;
            if (!(s & 0x2000))
                break;
            Sim->AdvanceTime(100);
        }
        return seen;
    }
    TVornSimConfig Cfg;
    std::unique_ptr<TVornInstrument> Sim;
};

} // namespace

TEST_F(FuncTest, RecordWalkFromOldestToNewest)
{
    Cfg.Records = 50;
    Cfg.FirstRecord = 1000;
    Start();
    const QRegularExpression format(
        R"(^(\d+),(\d{4}/\d\d/\d\d),(\d\d:\d\d:\d\d),(-| )[ \d]{7},kg,GROSS,[ \d]{8},kg,TARE,\d+,p$)");
    QByteArray record = Data("20108294:");
    EXPECT_TRUE(record.startsWith("1000,2008/02/18,15:25:21,")) << record.constData();
    QList<QByteArray> seen{record};
    for (Tcommsobj r = Ask("20108292:"); !r.ErrorFlag; r = Ask("20108292:"))
        seen << r.Data;
    ASSERT_EQ(seen.size(), 50);
    QByteArray previousStamp;
    for (int i = 0; i < seen.size(); ++i) {
        const auto m = format.match(QString::fromLatin1(seen[i]));
        ASSERT_TRUE(m.hasMatch()) << seen[i].constData();
        EXPECT_EQ(m.captured(1).toUInt(), 1000u + i);
        const QByteArray stamp = (m.captured(2) + m.captured(3)).toLatin1();
        EXPECT_GT(stamp, previousStamp);
        previousStamp = stamp;
    }
    EXPECT_EQ(Data("20108295:"), seen.last());
    // Past the newest: an Unknown Error, which the upload keeps quiet.
    EXPECT_EQ(Refusal("20108292:"), StatusUnknownError);
    // By number: that record, and reading goes on after it.
    EXPECT_EQ(Data("20108291:3F2"), seen[10]); // 1010
    EXPECT_EQ(Data("20108292:"), seen[11]);
    EXPECT_EQ(Refusal("20108291:1"), StatusUnknownError);
    EXPECT_EQ(Data("20108292:"), seen[0]);
    // The same seed gives the same records; another seed others.
    Start();
    EXPECT_EQ(Data("20108291:3F2"), seen[10]);
    Cfg.Seed = 2;
    Start();
    EXPECT_NE(Data("20108291:3F2"), seen[10]);
    // New records appear over time and on the print key.
    Cfg.NewRecordEveryMs = 1000;
    Start();
    Sim->AdvanceTime(3500);
    EXPECT_EQ(Data("20108295:").split(',').first(), "1052");
    Data("20120008:000E");
    EXPECT_EQ(Data("20108295:").split(',').first(), "1053");

    Cfg.Records = 0;
    Start();
    EXPECT_EQ(Refusal("20108294:"), StatusUnknownError);
    EXPECT_EQ(Refusal("20108292:"), StatusUnknownError);
}

TEST_F(FuncTest, CalibrationStepsReportProgressThenTheirResult)
{
    Cfg.CalibrationStepMs = 1000;
    Start();
    EXPECT_EQ(Refusal("20100102:"), StatusAccessDenied);
    OpenFull();
    Sim->Weight().SetLoad(0, Sim->NowMs() - 1000);
    Data("20100102:");
    EXPECT_EQ(Refusal("20100102:"), StatusIllegalOperation); // one at a time
    QList<uint32_t> seen = WatchCalibration();
    EXPECT_GE(seen.size(), 10);
    EXPECT_EQ(seen.first(), 0x2000u);
    EXPECT_EQ(seen.last(), 0u);
    // After the zero step the load reads zero.
    EXPECT_EQ(HexToInt(Data("20110025:")), 0u);

    // Span with the weight in 0x0100: a test weight the instrument reads 1 % low.
    Sim->Weight().SetLoad(148500, Sim->NowMs() - 1000);
    Data("20120100:249F0"); // 1500.00 kg
    Data("20100103:");
    EXPECT_EQ(WatchCalibration().last(), 0u);
    EXPECT_EQ(HexToInt(Data("20110112:")), 150000u);
    EXPECT_EQ(Data("20050025:"), " 1500.00 kg G");
    // A span without weight on the cell: the signal is too small.
    Sim->Weight().SetLoad(0, Sim->NowMs() - 1000);
    Data("20100103:");
    EXPECT_EQ(WatchCalibration().last(), 8u);

    // A moving weight: stability not achieved.
    Data("20100102:");
    Sim->Weight().SetLoad(3000, Sim->NowMs() + 900);
    EXPECT_EQ(WatchCalibration().last(), 6u);
    // A forced failure code.
    Sim->FailNextCalibration = 7;
    Data("20100102:");
    EXPECT_EQ(WatchCalibration().last(), 7u);

    // Linearisation: point 2 at 50 % of full scale, read back through 0x0115.
    Data("20120100:249F0"); // 150000 of 300000
    Data("20100104:2");
    EXPECT_EQ(WatchCalibration().last(), 0u);
    EXPECT_EQ(HexToInt(Data("20100115:2")), 50u);
    Data("20100104:3");
    EXPECT_EQ(WatchCalibration().last(), 10u); // too close to point 2
    Data("20100105:2");
    WatchCalibration();
    EXPECT_EQ(HexToInt(Data("20100115:2")), 0u);
    EXPECT_EQ(Refusal("20100104:10"), StatusBadParameter);

    // Direct mV/V entries take effect at once and show in the calibration block.
    Data("20100106:FFFFFF6A"); // -0.0150 mV/V
    EXPECT_EQ(Data("20110111:"), "FFFFFF6A");
    EXPECT_EQ(Refusal("20100107:7531"), StatusOverRange); // 3.0001 mV/V
    Data("20100107:4E20");
    EXPECT_EQ(HexToInt(Data("20110113:")), 20000u);
    EXPECT_EQ(HexToInt(Data("20110112:")), HexToInt(Data("2011002F:")));
    const QByteArray block = Data("201100F8:");
    EXPECT_EQ(block.size(), 44);
    Data("201200F8:" + QByteArray(block).replace(0, 8, "000003E8"));
    EXPECT_EQ(HexToInt(Data("20110111:")), 1000u);
    EXPECT_EQ(Refusal("201200F8:123"), StatusIllegalValue);
}

TEST_F(FuncTest, ProductsFollowTheirOperations)
{
    auto names = [&] {
        QList<QByteArray> out;
        const QByteArray list = Data("2014B100:0000");
        for (int i = 8; i < list.size(); i += 8)
            out << Data("2015B100:" + list.mid(i + 4, 4)).mid(4);
        return out;
    };
    EXPECT_EQ(names(), (QList<QByteArray>{"APPLES", "PEARS", "PLUMS"}));
    EXPECT_EQ(Data("2015B100:0001"), "0800CURRENT");
    EXPECT_EQ(Refusal("2010B001:FIGS"), StatusAccessDenied); // no session
    Data("2012001A:4D2");
    Data("201200EF:FF");
    EXPECT_EQ(HexToInt(Data("2003B013:")), 12u);
    Data("2010B001:FIGS");
    EXPECT_EQ(Data("2011B013:"), "FIGS");
    EXPECT_EQ(Refusal("2010B001:ABCDEFGHIJKLM"), StatusOverRange);
    EXPECT_EQ(Refusal("2010B001:"), StatusIllegalValue);
    // Listing a product's menu selects it; rename and delete act on the selected one.
    Data("2014B100:0003");
    EXPECT_EQ(Data("2011B013:"), "PEARS");
    Data("2015B100:0004"); // naming an entry selects it too
    EXPECT_EQ(Data("2011B013:"), "PLUMS");
    Data("2015B100:0003");
    Data("2010B012:PEACHES");
    Data("2010B002:");
    Data("2010B011:");
    EXPECT_EQ(names(), (QList<QByteArray>{"APPLES", "PLUMS", "FIGS"}));
    EXPECT_EQ(Sim->TotalsCleared, 1);
    // Per-product values.
    Data("2014B100:0002");
    Data("2012B020:03E8");
    Data("2014B100:0003");
    EXPECT_EQ(Data("2011B020:"), "0000");
    Data("2014B100:0002");
    EXPECT_EQ(Data("2011B020:"), "03E8");
    // What a settings file does: reset, select 1, rename, add.
    Data("2010B002:");
    Data("2010B005:");
    Data("2012B010:1");
    Data("2010B012:ONE");
    Data("2010B001:TWO");
    EXPECT_EQ(names(), (QList<QByteArray>{"ONE", "TWO"}));
    Data("2014B100:0002");
    Data("2010B011:");
    EXPECT_EQ(Refusal("2010B011:"), StatusIllegalOperation); // the last one stays
    EXPECT_EQ(Refusal("2012B010:5"), StatusOverRange);
}

TEST_F(FuncTest, ClockPartsAreWrittenAndRead)
{
    Data("20120154:7E8");
    Data("20120153:3");
    Data("20120152:5");
    Data("20120155:E");
    Data("20120156:7");
    EXPECT_EQ(Data("20110150:"), "05/03/2024 14:07:00");
    Sim->AdvanceTime(61000);
    EXPECT_EQ(Data("20110150:"), "05/03/2024 14:08:01");
    EXPECT_EQ(Refusal("20120155:18"), StatusOverRange);
    EXPECT_EQ(Refusal("20120153:0"), StatusUnderRange);
    EXPECT_EQ(Refusal("20120152:X"), StatusIllegalValue);
    Data("20120152:1F"); // 31 March
    Data("20120153:2");  // February keeps the day inside it
    EXPECT_TRUE(Data("20110150:").startsWith("29/02/2024"));
    EXPECT_EQ(Refusal("20120152:1E"), StatusOverRange); // 30 February
}

TEST_F(FuncTest, LoggingSamplesAndTheStringTest)
{
    const TSimAnswer start = Sim->Handle("2012004F:01060210");
    ASSERT_TRUE(start.HasReply);
    EXPECT_EQ(start.LogSamples, Cfg.LogBurstSamples);
    EXPECT_EQ(Refusal("2012004F:01"), StatusIllegalValue);
    const Tcommsobj a = Sim->LogSample();
    Sim->AdvanceTime(400);
    const Tcommsobj b = Sim->LogSample();
    ASSERT_EQ(a.Data.size(), 32);
    EXPECT_EQ(a.Register, LogSampleRegister);
    // The stream's own clock: one count (0.04 s) per sample, whatever time passed in between.
    EXPECT_EQ(HexToInt(a.Data.left(8)), 0u);
    EXPECT_EQ(HexToInt(b.Data.left(8)), 1u);
    EXPECT_EQ(HexToInt(a.Data.mid(8, 8)), 1250u);
    // Tare: net bit, net weight zero.
    Data("20120008:000C");
    const Tcommsobj c = Sim->LogSample();
    EXPECT_EQ(HexToInt(c.Data.mid(8, 8)), 0u);
    EXPECT_TRUE(HexToInt(c.Data.mid(16, 8)) & WeightNetBit);
    EXPECT_TRUE(HexToInt(c.Data.mid(16, 8)) & WeightZeroBit);

    const TSimAnswer test = Sim->Handle("2012004D:HELLO\\0DWORLD");
    ASSERT_TRUE(test.HasReply);
    EXPECT_EQ(test.Printer, "HELLO\rWORLD\r\n");
}

TEST_F(FuncTest, ReportsReadAsTheProgramReadsThem)
{
    EXPECT_EQ(Data("20110052:0000"), "OUT1");
    EXPECT_EQ(Data("20110052:0002"), "SETP1");
    EXPECT_EQ(Data("20110052:0008"), "SETP3");
    EXPECT_EQ(Data("20110052:000B"), "ALSO");
    EXPECT_EQ(Data("20110052:000C"), "");
    EXPECT_EQ(Data("20110052:0106"), "-");
    EXPECT_EQ(Data("20110052:0202"), "");
    EXPECT_EQ(Data("20110052:0400"), ""); // item 0 empty: the end
    EXPECT_EQ(Refusal("20110052:4"), StatusBadParameter);
    const QByteArray factory = Data("20110068:");
    ASSERT_EQ(factory.size(), 122);
    EXPECT_TRUE(factory.startsWith("01080212")); // format 1, 2008-02-18
    EXPECT_EQ(factory.mid(8, 2), "03");
    EXPECT_EQ(factory.mid(12, 2), "A5");
}

TEST_F(FuncTest, DisplayLightsTheWeightAndKeysActOnIt)
{
    auto shows = [&](const QByteArray &weight) {
        TLcdStates states{};
        EXPECT_TRUE(DecodeDisplayValue(Data("20110009:"), states));
        TLcdStates expected{};
        VornShowText(expected, VornLarge, weight);
        for (const TVornCharacter &c : VornCharacters(VornLarge))
            for (int e : c.Entries)
                if (e >= 0 && EntryLit(states, e) != EntryLit(expected, e))
                    return false;
        return true;
    };
    auto symbol = [&](const char *mask) {
        TLcdStates states{};
        DecodeDisplayValue(Data("20110009:"), states);
        return EntryLit(states, VornEntryOfMask(mask));
    };
    EXPECT_EQ(Data("20110009:").size(), VornDisplayValueLength);
    EXPECT_TRUE(shows("12.50"));
    EXPECT_TRUE(symbol(VornSymKg));
    EXPECT_TRUE(symbol(VornSymGross));
    EXPECT_FALSE(symbol(VornSymZero));
    Data("20120008:000B"); // zero
    EXPECT_TRUE(shows("0.00"));
    EXPECT_TRUE(symbol(VornSymZero));
    Sim->Weight().SetLoad(3000, Sim->NowMs());
    EXPECT_TRUE(symbol(VornSymMotion));
    // A moving weight can be neither zeroed nor tared.
    EXPECT_EQ(Refusal("20120008:000B"), StatusIllegalOperation);
    EXPECT_EQ(Refusal("20120008:000C"), StatusIllegalOperation);
    Sim->AdvanceTime(1000);
    EXPECT_TRUE(shows("17.50"));
    Data("20120008:000C"); // tare
    EXPECT_TRUE(shows("0.00"));
    EXPECT_TRUE(symbol(VornSymNet));
    Data("20120008:000D"); // gross/net
    EXPECT_TRUE(shows("17.50"));
    Data("20120008:008C"); // long tare: clear
    Data("20120008:008B"); // long zero: clear
    EXPECT_TRUE(shows("30.00"));
    EXPECT_EQ(Sim->LastKey, 0x8B);
    EXPECT_EQ(Refusal("20120008:0017"), StatusIllegalValue);
    // Negative weights show their sign.
    Sim->Weight().SetLoad(-725, Sim->NowMs() - 1000);
    EXPECT_TRUE(shows("-7.25"));
}

TEST_F(FuncTest, LinkControlSwitchesTheLineWithoutReply)
{
    TSimAnswer a = Sim->Handle("00100078:E100");
    EXPECT_FALSE(a.HasReply);
    EXPECT_EQ(a.NewBaud, 57600);
    a = Sim->Handle("00100078:2580");
    EXPECT_EQ(a.NewBaud, 9600);
    EXPECT_EQ(Sim->Handle("00100078:1234").NewBaud, 0);
    // With the request flag it is an ordinary execute, answered before the switch.
    a = Sim->Handle("20100078:E100");
    EXPECT_TRUE(a.HasReply);
    EXPECT_EQ(a.NewBaud, 57600);
}
