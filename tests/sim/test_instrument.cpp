// The simulated instrument fed request texts directly: addressing, refusals, the menu model,
// access levels and sessions, value checks.
#include "instrument.h"
#include "values/tools.h"

#include <QSet>
#include <gtest/gtest.h>

namespace
{

class SimTest : public ::testing::Test
{
protected:
    void SetUp() override { Start(); }
    void Start()
    {
        Sim = std::make_unique<TVornInstrument>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Setup(&error)) << error.toStdString();
    }
    // The decoded reply to a request text; Register -1 when the instrument stayed silent.
    Tcommsobj Ask(const QByteArray &text)
    {
        Tcommsobj reply;
        reply.Register = -1;
        const QByteArray answer = Sim->Request(text);
        if (!answer.isEmpty()) {
            EXPECT_TRUE(reply.Decode(answer)) << answer.constData();
        }
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
    void OpenSafeSession()
    {
        Data("2012001A:4D2"); // 1234
        Data("201200EF:FF");
    }
    TVornSimConfig Cfg;
    std::unique_ptr<TVornInstrument> Sim;
};

struct TWalkedItem {
    int Register;
    int Type;
    QByteArray Name;
    int Depth;
};

} // namespace

TEST_F(SimTest, IdentificationAndAddressing)
{
    EXPECT_EQ(Data("20110001:"), "00");
    EXPECT_EQ(Data("20110003:"), "V500");
    EXPECT_EQ(Data("20110004:"), "V1.04");
    EXPECT_EQ(HexToInt(Data("20110005:")), 1234567u);
    // Address 1 (its own) and 0 (any) are answered; the reply names the request's register.
    const Tcommsobj own = Ask("21110003:");
    EXPECT_EQ(own.Register, 3);
    EXPECT_EQ(own.Command, CmdRead);
    EXPECT_FALSE(own.RequestFlag);
    EXPECT_EQ(Ask("22110003:").Register, -1); // another instrument's address
    EXPECT_EQ(Ask("01110003:").Register, -1); // no request flag: nothing to answer
    EXPECT_EQ(Ask("2011000").Register, -1);   // not a message
    EXPECT_EQ(Ask("00110005").Register, -1);  // the keep-alive
    EXPECT_EQ(Sim->KeepAlives, 1);

    Cfg.SerialNumber = 42;
    Cfg.Address = 7;
    Start();
    EXPECT_EQ(HexToInt(Data("27110005:")), 42u);
    EXPECT_EQ(Ask("21110005:").Register, -1);
}

TEST_F(SimTest, RefusalsCarryTheFittingStatus)
{
    EXPECT_EQ(Refusal("20117777:"), StatusNotImplemented);
    EXPECT_EQ(Refusal("20077777:"), StatusNotImplemented);
    EXPECT_EQ(Refusal("20120005:1"), StatusIllegalOperation);
    EXPECT_EQ(Refusal("20121101:0001"), StatusAccessDenied); // no session
    // A refusal is the request's command and register with the error flag and the bits.
    const QByteArray text = Sim->Request("20110019:");
    EXPECT_EQ(text, "41110019:1000");
    EXPECT_FALSE(Sim->TooLong("2011000" + QByteArray(300, '3')).HasReply);
    EXPECT_EQ(Sim->TooLong("20110003:" + QByteArray(300, 'x')).Reply.Status, StatusBadParameter);

    Cfg.RefuseAll = true;
    Start();
    EXPECT_EQ(Refusal("20110001:"), StatusUnknownError);
}

TEST_F(SimTest, MenuWalkCoversEveryTypeAtThreeLevels)
{
    // Walk the setup menu as the register catalogue does: list, then name each entry.
    QList<TWalkedItem> items;
    std::function<void(int, int, int)> walk = [&](int reg, int key, int depth) {
        const QByteArray list = Data("2014" + HexText(reg, 4) + ":" + HexText(key, 4));
        ASSERT_EQ(list.size() % 8, 0) << list.constData();
        for (int i = 0; i < list.size(); i += 8) {
            const int child = static_cast<int>(HexToInt(list.mid(i, 4)));
            const int childKey = static_cast<int>(HexToInt(list.mid(i + 4, 4)));
            const QByteArray item = Data("2015" + HexText(child, 4) + ":" + HexText(childKey, 4));
            const TWalkedItem w{child, static_cast<int>(HexToInt(item.left(2))), item.mid(4), depth};
            items << w;
            if (w.Type == SimTypeMenu)
                walk(child, childKey, depth + 1);
        }
    };
    walk(0x0011, 0, 1);
    EXPECT_GE(items.size(), 60);
    EXPECT_LE(items.size(), 150);
    QSet<int> types;
    int deepest = 0;
    for (const TWalkedItem &w : items) {
        types.insert(w.Type);
        deepest = qMax(deepest, w.Depth);
        EXPECT_FALSE(w.Name.isEmpty());
        // The type query agrees with the item query.
        EXPECT_EQ(static_cast<int>(HexToInt(Data("2001" + HexText(w.Register, 4) + ":"))), w.Type);
    }
    EXPECT_GE(deepest, 3);
    for (int t : {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 15, 17, 18})
        EXPECT_TRUE(types.contains(t)) << "type " << t;
    EXPECT_TRUE(types.contains(20)) << "an unknown type code";

    // Operator menus under 0x001F.
    EXPECT_GE(Data("2014001F:0000").size(), 16);
}

TEST_F(SimTest, ItemsAnswerRangesOptionsAndLiterals)
{
    // An option item: texts for minimum .. maximum, refusals outside.
    const int lo = static_cast<int>(HexToInt(Data("20021205:")));
    const int hi = static_cast<int>(HexToInt(Data("20031205:")));
    EXPECT_EQ(hi - lo + 1, 6);
    EXPECT_EQ(Data("200D1205:00"), "NONE");
    EXPECT_EQ(Data("200D1205:05"), "32");
    EXPECT_EQ(Refusal("200D1205:06"), StatusOverRange);
    EXPECT_EQ(Data("20051205:"), "8");
    // A signed-16 item sends its minimum in four digits; a negative value in eight.
    EXPECT_EQ(Data("20021207:"), "FF38");
    EXPECT_EQ(Data("20111207:"), "FFFFFFEC");
    EXPECT_EQ(Data("20051207:"), "-2.0 %");
    // Weights carry the weight decimals and the units.
    EXPECT_EQ(Data("2005002F:"), "3000.00 kg");
    EXPECT_EQ(Data("2011002F:"), "493E0");
    EXPECT_EQ(Data("20051331:"), "192.168.1.50");
    EXPECT_EQ(Data("20111331:"), "C0A80132");
    EXPECT_EQ(HexToInt(Data("20031336:")), 16u); // string maximum length
    EXPECT_EQ(Data("20111336:"), "VORN-1");
    // Permission: bit 7 on items that leave the menu alone, bits 0-1 for full-only items.
    EXPECT_EQ(Data("200F1104:"), "80");
    EXPECT_EQ(Data("200F1201:"), "00");
    EXPECT_EQ(HexToInt(Data("200F1712:")) & 3, 2u);
    EXPECT_EQ(Refusal("20111712:"), StatusAccessDenied);
    EXPECT_EQ(Refusal("20051712:"), StatusAccessDenied);
    // Items without value have no range.
    EXPECT_EQ(Refusal("20021210:"), StatusIllegalOperation);
}

TEST_F(SimTest, PasscodesOpenAndLockLevels)
{
    EXPECT_EQ(Refusal("2011001A:"), StatusAccessDenied);
    EXPECT_EQ(Refusal("20110019:"), StatusAccessDenied);
    EXPECT_EQ(Refusal("201100D1:"), StatusAccessDenied);
    EXPECT_EQ(Refusal("2012001A:4D3"), StatusAccessDenied); // wrong
    Data("2012001A:4D2");
    Data("2011001A:");
    EXPECT_EQ(HexToInt(Data("201100D1:")), 1234u);
    EXPECT_EQ(Refusal("20110019:"), StatusAccessDenied); // safe does not open full
    Data("20120019:162E");
    EXPECT_EQ(HexToInt(Data("201100D0:")), 5678u);
    // Locking as the program does: the value read, XOR 0xFF.
    Refusal("20120019:" + HexText(0x162E ^ 0xFF, 4));
    EXPECT_EQ(Refusal("20110019:"), StatusAccessDenied);
    // Saving locks the levels too; the unlock values open them again.
    Data("20100010:");
    EXPECT_EQ(Refusal("2011001A:"), StatusAccessDenied);

    Cfg.SafePasscode = 0;
    Start();
    Data("2011001A:");
    EXPECT_EQ(Refusal("20110019:"), StatusAccessDenied);
}

TEST_F(SimTest, SettingWritesNeedASessionAtTheItemsLevel)
{
    EXPECT_EQ(Refusal("20121104:0005"), StatusAccessDenied);
    Data("201200EF:FF");
    EXPECT_EQ(Refusal("20121104:0005"), StatusAccessDenied); // level still locked
    Data("2012001A:4D2");
    Data("20121104:0005");
    EXPECT_EQ(Data("20111104:"), "0005");
    EXPECT_EQ(Refusal("20121712:0010"), StatusAccessDenied); // full-only item
    Data("20120019:162E");
    Data("20121712:0010");

    // Without renewal the session lapses; the instrument says so.
    Sim->AdvanceTime(29000);
    Data("20121104:0006");
    Sim->AdvanceTime(31000);
    EXPECT_EQ(Refusal("20121104:0007"), StatusSessionTimedOut);
    Data("201200EF:FF");
    Data("20121104:0007");
    Data("201200EF:01");
    EXPECT_EQ(Refusal("20121104:0008"), StatusAccessDenied);
    EXPECT_EQ(Refusal("201200EF:77"), StatusIllegalValue);
}

TEST_F(SimTest, WrittenValuesAreChecked)
{
    OpenSafeSession();
    EXPECT_EQ(Refusal("20121104:0065"), StatusOverRange);  // 101 > 100
    EXPECT_EQ(Refusal("20121104:0000"), StatusUnderRange); // 0 < 1
    EXPECT_EQ(Refusal("20121104:12G4"), StatusIllegalValue);
    EXPECT_EQ(Refusal("20121104:"), StatusIllegalValue);
    EXPECT_EQ(Refusal("20121205:0006"), StatusIllegalValue); // option outside the list
    Data("20121207:FFFFFF38");                               // -200, the minimum
    EXPECT_EQ(Refusal("20121207:FFFFFF37"), StatusUnderRange);
    Data("20121506:FFFFFFFF"); // unsigned up to 4294967295
    EXPECT_EQ(Data("20051506:"), "4294967295");
    Data("20121331:0A000005");
    EXPECT_EQ(Data("20051331:"), "10.0.0.5");
    // Strings: an escape counts as one character.
    Data("20121F31:AB\\0DCDEF");
    EXPECT_EQ(Refusal("20121F31:ABCDEFGHI"), StatusOverRange);
    // A reset goes back to the saved settings.
    Data("20100010:");
    OpenSafeSession();
    Data("20121104:0009");
    Data("20100016:");
    EXPECT_EQ(Data("20111104:"), "0001");
}

TEST_F(SimTest, OptionsThatChangeTheMenuAndTheUnits)
{
    OpenSafeSession();
    const int before = Data("20141200:0000").size() / 8;
    Data("20121201:0001");
    EXPECT_EQ(Data("20141200:0000").size() / 8, before + 3);
    Data("20121201:0000");
    EXPECT_EQ(Data("20141200:0000").size() / 8, before);
    // Units and decimals reach every weight literal, the full-scale register's too.
    Data("20120030:0001");
    EXPECT_EQ(Data("2005002F:"), "3000.00 lb");
    EXPECT_EQ(Data("20051412:"), "100.00 lb");
    Data("20120031:0000");
    EXPECT_EQ(Data("2005002F:"), "300000 lb");
}

TEST(SimModelTest, TheCapacityPlateStatesTheFullScaleAndTheStepTheGlassShows)
{
    // The simulated instrument's own plate: full scale and one displayed digit in its units.
    TSimModel model;
    QString error;
    ASSERT_TRUE(model.Load(TSimModel::DefaultJson(), &error)) << error.toStdString();
    EXPECT_EQ(model.CapacityPlate(), "Max 3000 kg   e = 0.01 kg");
    model.Find(RegDecimals)->Value = 0;
    model.Find(RegUnits)->Value = 1;
    EXPECT_EQ(model.CapacityPlate(), "Max 300000 lb   e = 1 lb");
    model.Find(RegDecimals)->Value = 3;
    model.Find(RegFullScale)->Value = 150;
    EXPECT_EQ(model.CapacityPlate(), "Max 0.15 lb   e = 0.001 lb");
}

TEST(SimModel, DescriptionsAreCheckedWhenLoaded)
{
    TSimModel model;
    QString error;
    EXPECT_FALSE(model.Load("{", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(model.Load(R"({"menus": []})", &error));
    EXPECT_FALSE(model.Load(R"({"menus": [{"reg": "0011", "items": [{"reg": "XYZ"}]}]})", &error));
    EXPECT_FALSE(
        model.Load(R"({"menus": [{"reg": "0011", "items": [{"reg": "10"}, {"reg": "10"}]}]})", &error));
    EXPECT_TRUE(error.contains("twice"));
    EXPECT_FALSE(model.Load(R"({"menus": [{"reg": "0012", "items": []}]})", &error));
    ASSERT_TRUE(model.Load(R"({"serialNumber": 99, "passcodes": {"safe": 1, "full": 2},
        "menus": [{"reg": "0011", "items": [{"reg": "0100", "type": 6, "name": "X", "max": 3, "value": "AB"}]}]})",
                           &error))
        << error.toStdString();
    EXPECT_EQ(model.SerialNumber, 99u);
    EXPECT_EQ(model.MenuEntries(0x0011).size(), 1);

    TVornSimConfig cfg;
    cfg.ModelFile = QStringLiteral("/nonexistent/model.json");
    TVornInstrument sim(cfg);
    EXPECT_FALSE(sim.Setup(&error));
    EXPECT_TRUE(error.contains("model.json"));
}
