// The transaction engine and the register catalogue against vornsim over loopback TCP:
// identification, menu walk, sessions, display, records, calibration, logging.
#include "display/VornTables.h"
#include "sim_fixture.h"
#include "values/tools.h"

#include <QSet>

namespace
{

// The model's menu below a register, as (register, name, depth) in menu order.
void ModelWalk(const TSimModel &model, int reg, int depth, QList<QByteArray> &out)
{
    for (const auto &entry : model.MenuEntries(reg)) {
        const TSimItem *item = model.Find(entry.first);
        out << HexText(static_cast<uint32_t>(item->Register), 4) + ' ' + item->Name + ' ' +
                   QByteArray::number(depth);
        if (item->Type == SimTypeMenu && item->Register != RegProductMenu)
            ModelWalk(model, item->Register, depth + 1, out);
    }
}

void TreeWalk(const TMenuNode &node, int depth, QList<QByteArray> &out)
{
    for (const auto &child : node.Children) {
        ASSERT_TRUE(child->Data);
        out << child->Data->Register + ' ' + child->Data->Name + ' ' + QByteArray::number(depth);
        if (child->Data->Register != "B100")
            TreeWalk(*child, depth + 1, out);
    }
}

const TMenuNode *FindNode(const TMenuNode &node, const QByteArray &reg)
{
    if (node.Data && node.Data->Register == reg)
        return &node;
    for (const auto &child : node.Children)
        if (const TMenuNode *n = FindNode(*child, reg))
            return n;
    return nullptr;
}

} // namespace

TEST_F(SimLinkTest, IdentificationThroughTheCatalogue)
{
    Cfg.SerialNumber = 4242;
    Connect();
    Device.ReadIdentity();
    EXPECT_EQ(Device.SerialNumber, "4242");
    EXPECT_EQ(Device.ModelText, "V500");
    EXPECT_EQ(Device.VersionText, "V1.04");
    EXPECT_EQ(Device.CommsType, "00");
    EXPECT_TRUE(Reporter.Errors.isEmpty());
}

TEST_F(SimLinkTest, FullMenuWalkMatchesTheModel)
{
    Connect();
    OpenFullSession();
    Device.FullAccess = true;
    TMenuTree tree;
    ASSERT_TRUE(Device.BuildMenuTree(tree, 0x0011, true, "FULL SETUP"));
    ASSERT_EQ(tree.size(), 1u);
    QList<QByteArray> seen, expected;
    TreeWalk(*tree[0], 2, seen);
    ModelWalk(Instrument().Model(), 0x0011, 2, expected);
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('|').toStdString();
    // Captions carry the display texts; the product menu holds the current menu and the products.
    const TMenuNode *fullScale = FindNode(*tree[0], "002F");
    ASSERT_TRUE(fullScale);
    EXPECT_EQ(fullScale->Text, "FULLSCAL : 3000.00 kg");
    EXPECT_EQ(fullScale->Data->Value, "493E0");
    const TMenuNode *products = FindNode(*tree[0], "B100");
    ASSERT_TRUE(products);
    QList<QByteArray> names;
    for (const auto &p : products->Children)
        names << p->Data->MenuKey + ' ' + p->Text;
    EXPECT_EQ(names, (QList<QByteArray>{"0001 CURRENT", "0002 APPLES", "0003 PEARS", "0004 PLUMS"}));
    const TMenuNode *ip = FindNode(*tree[0], "1331");
    ASSERT_TRUE(ip);
    EXPECT_EQ(ip->Data->Literal, "192.168.1.50");
}

TEST_F(SimLinkTest, SafeWalkLeavesFullOnlyItemsUnread)
{
    Connect();
    ASSERT_TRUE(Write(0x001A, "4D2"));
    TMenuTree tree;
    Device.BuildMenuTree(tree, 0x0011, true, "SAFE SETUP");
    const TMenuNode *license = FindNode(*tree[0], "1703");
    ASSERT_TRUE(license);
    EXPECT_FALSE(license->Data->Readable);
    EXPECT_TRUE(license->Data->Value.isEmpty());
    EXPECT_TRUE(Reporter.Errors.isEmpty());
    // Operator menus.
    TMenuTree operators;
    Device.BuildMenuTree(operators, 0x001F, false, "");
    QList<QByteArray> menus;
    for (const auto &m : operators[0]->Children)
        menus << m->Text;
    EXPECT_EQ(menus, (QList<QByteArray>{"SETPOINT", "PRINT", "ID"}));
}

TEST_F(SimLinkTest, WritesOutsideASessionAreRefusedAndSessionsLapse)
{
    Connect();
    EXPECT_FALSE(Write(0x1104, "0005"));
    EXPECT_TRUE(Engine->LastReply.HasStatus(StatusAccessDenied));
    EXPECT_EQ(Reporter.Errors.last(), "Error :- Register 1104:  Access Denied ");
    ASSERT_TRUE(Write(0x001A, "4D2"));
    Device.ExtendSession();
    EXPECT_TRUE(Write(0x1104, "0005"));
    Instrument().AdvanceTime(31000);
    EXPECT_FALSE(Write(0x1104, "0006"));
    EXPECT_EQ(Reporter.Errors.last(), "Error :- Register 1104:  Session Timed Out ");
    Device.ExtendSession();
    EXPECT_TRUE(Write(0x1104, "0006"));
    EXPECT_EQ(Read(0x1104), "0006");
}

TEST_F(SimLinkTest, DisplayLightsTheSegmentsOfTheWeight)
{
    Cfg.WeightLevel = 12345;
    Connect();
    const QByteArray value = Read(VornDisplayRegister);
    TLcdStates states{};
    ASSERT_TRUE(DecodeDisplayValue(value, states));
    TLcdStates expected{};
    VornShowText(expected, VornLarge, "123.45");
    for (const TVornCharacter &c : VornCharacters(VornLarge))
        for (int e : c.Entries)
            if (e >= 0) {
                EXPECT_EQ(EntryLit(states, e), EntryLit(expected, e)) << "entry " << e;
            }
    EXPECT_TRUE(EntryLit(states, VornEntryOfMask(VornSymKg)));
    // A key press through the engine changes what the glass shows.
    ASSERT_TRUE(Write(VornKeyRegister, VornKeyData(VornKeyTare)));
    states = {};
    DecodeDisplayValue(Read(VornDisplayRegister), states);
    EXPECT_TRUE(EntryLit(states, VornEntryOfMask(VornSymNet)));
}

TEST_F(SimLinkTest, RecordWalkFromOldestToNewest)
{
    Cfg.Records = 120;
    Cfg.FirstRecord = 500;
    Connect();
    ASSERT_TRUE(Device.ReadDataStoreInfo());
    EXPECT_EQ(Device.SerialNumber, "1234567");
    EXPECT_TRUE(Device.OldestRecordText.startsWith("500,"));
    EXPECT_TRUE(Device.NewestRecordText.startsWith("619,"));
    QByteArray record;
    ASSERT_TRUE(Device.ReadOldestRecord(record));
    QList<QByteArray> numbers{record.split(',').first()};
    Engine->SuppressUnknownErrors = true;
    while (Device.ReadNextRecord(record))
        numbers << record.split(',').first();
    ASSERT_EQ(numbers.size(), 120);
    for (int i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i].toInt(), 500 + i);
    // The refusal past the newest is an Unknown Error, kept quiet during an upload.
    EXPECT_TRUE(Reporter.Errors.isEmpty());
    ASSERT_TRUE(Device.ReadRecordByNumber(600, record));
    ASSERT_TRUE(Device.ReadNextRecord(record));
    EXPECT_TRUE(record.startsWith("601,"));
}

TEST_F(SimLinkTest, CalibrationStepStatusSequence)
{
    Cfg.CalibrationStepMs = 150;
    Connect();
    OpenFullSession();
    ASSERT_TRUE(Engine->Transact(CmdExecute, 0x0102, {}, true, true));
    QList<uint32_t> statuses;
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(Engine->Transact(CmdRead, 0x0021, {}, true, true));
        statuses << Engine->LastReply.Status;
        if (!(Engine->LastReply.Status & 0x2000))
            break;
        Engine->WaitTicks(5);
    }
    ASSERT_GE(statuses.size(), 2);
    EXPECT_EQ(statuses.first(), 0x2000u);
    EXPECT_EQ(statuses.last(), 0u);
    // A step that fails reports its code in the low bits.
    Instrument().FailNextCalibration = 6;
    ASSERT_TRUE(Engine->Transact(CmdExecute, 0x0102, {}, true, true));
    Instrument().AdvanceTime(200);
    ASSERT_TRUE(Engine->Transact(CmdRead, 0x0021, {}, true, true));
    EXPECT_EQ(Engine->LastReply.Status, 6u);
    // The figures read back agree with the step: the catalogue's calibration info.
    Device.ReadCalibrationInfo();
    EXPECT_EQ(Device.CalDecimals, 2);
    // The units sit at the 1-based positions length-3 and length-2 of the weight's display text.
    ASSERT_TRUE(Engine->Transact(CmdReadFormatted, 0x0025, {}, true, true));
    const QByteArray literal = Engine->LastReply.Data.trimmed();
    EXPECT_EQ(literal.mid(literal.size() - 4, 2), "kg");
    EXPECT_EQ(Device.CalUnits, "kg");
    EXPECT_EQ(Device.CalWeight, 300000);
    EXPECT_EQ(Device.CalBlock.size(), 44);
}

TEST_F(SimLinkTest, LoggingStreamsSamplesBeforeTheWriteIsAnswered)
{
    Cfg.LogBurstSamples = 6;
    Connect();
    struct TSamples : TReplyConsumer {
        void RoutedReply(const Tcommsobj &reply, const QByteArray &) override
        {
            if (reply.Data.size() == 32)
                Data << reply.Data;
        }
        QList<QByteArray> Data;
    } samples;
    Engine->SetRouteConsumer(RouteLog, &samples);
    Engine->SetReplyRoute(RouteLog);
    Engine->TimeoutTicks = 250; // the burst takes about a quarter second
    ASSERT_TRUE(Engine->Transact(CmdWrite, 0x004F, MsgStartLogging, true, false));
    ASSERT_EQ(samples.Data.size(), 6);
    uint32_t last = 0;
    for (const QByteArray &s : samples.Data) {
        EXPECT_GE(HexToInt(s.left(8)), last);
        last = HexToInt(s.left(8));
        EXPECT_EQ(HexToInt(s.mid(8, 8)), 1250u);
    }
}

TEST_F(SimLinkTest, StringTestComesBackAsPrinterOutput)
{
    Connect();
    QByteArray echoed;
    Engine->OnStringTestEcho = [&](const QByteArray &text) { echoed += text; };
    Engine->SetReplyRoute(RouteStringTest);
    ASSERT_TRUE(Engine->Transact(CmdWrite, 0x004D, "TICKET\\09NO 1", false, false));
    EXPECT_TRUE(PumpUntil([&] { return echoed.contains("TICKET\tNO 1\r\n"); }, 3000)) << echoed.constData();
}
