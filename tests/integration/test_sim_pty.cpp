// vornsim over a pseudo-terminal with the engine's serial transport: the same conversation as
// over TCP, and the fast optical link's speed switch and keep-alive.
#include "display/VornTables.h"
#include "sim_fixture.h"

#include <QFileInfo>
#include <QSerialPort>

TEST_F(SimLinkTest, PtyIdentificationMenuAndRecords)
{
    Cfg.Records = 30;
    Connect(true);
    EXPECT_TRUE(QFileInfo(Sim->PtyPath()).isSymLink());
    EXPECT_EQ(Sim->ReadyLines(), QStringList{"pty " + Sim->PtyPath()});
    Device.ReadIdentity();
    EXPECT_EQ(Device.SerialNumber, "1234567");
    EXPECT_EQ(Device.CommsType, "00");
    ASSERT_TRUE(Write(0x001A, "4D2"));
    TMenuTree tree;
    Device.BuildMenuTree(tree, 0x0011, false, "SAFE SETUP");
    QList<QByteArray> top;
    for (const auto &n : tree[0]->Children)
        top << n->Text;
    EXPECT_EQ(top, (QList<QByteArray>{"BUILD", "OPTIONS", "SERIAL", "SETPTS", "PRINT", "CLOCK", "PRODUCTS",
                                      "SPECIAL"}));
    QByteArray record;
    int count = Device.ReadOldestRecord(record) ? 1 : 0;
    Engine->SuppressUnknownErrors = true;
    while (Device.ReadNextRecord(record))
        ++count;
    EXPECT_EQ(count, 30);
    TLcdStates states{};
    EXPECT_TRUE(DecodeDisplayValue(Read(VornDisplayRegister), states));
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('|').toStdString();
}

TEST_F(SimLinkTest, FastOpticalLinkSwitchesBothEndsAndKeepsAlive)
{
    // Also on a line paced at its real speed, where characters sent at the other end's rate are
    // not understood: the switch message takes its character times at 9600 before the
    // instrument changes, and the program's port must not change before that. The tick is then
    // in the program's proportion to the line (its two-tick wait outlasts the message).
    for (const int baud : {0, 9600}) {
        SCOPED_TRACE(baud);
        Cfg.Baud = baud;
        Connect(true);
        if (baud)
            Engine->SetTickInterval(20);
        Engine->CableType = CableFastOptical;
        const int64_t sent = Engine->FramesSent;
        Engine->SpeedUpLink();
        EXPECT_EQ(Serial->Baud(), 57600);
        // At once, as the program goes on after the switch.
        EXPECT_EQ(Read(0x0003), "V500");
        // The factory test record: a long reply, all of it at the new speed.
        EXPECT_GT(Read(0x0068).size(), 100);
        EXPECT_EQ(Sim->PtyBaud(), 57600);
        // An idle fast link sends the keep-alive, which the instrument takes without a reply.
        Engine->Link()->IdleTicks = 110;
        EXPECT_TRUE(PumpUntil([this] { return Instrument().KeepAlives > 0; }, 5000));
        EXPECT_EQ(Read(0x0004), "V1.04");
        Engine->FallBackToSlowBaud();
        EXPECT_TRUE(PumpUntil([this] { return Sim->PtyBaud() == 9600 && Serial->Baud() == 9600; }, 3000));
        EXPECT_EQ(Read(0x0001), "00");
        // Every request was understood when first sent: none needed its resend.
        EXPECT_EQ(Engine->FramesSent - sent, 4);
        EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('|').toStdString();
        Engine.reset();
        Sim.reset();
    }
}
