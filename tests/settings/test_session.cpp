// Sessions, the settings-file send sequence, products and the clock, through the real transaction
// engine over a fake link that answers from a register table with passcode-guarded levels.
#include "fake_exchange.h"
#include "fake_link.h"
#include "link/comms.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/products.h"
#include "settings/session.h"
#include "settings/settingssend.h"
#include "settings/settingstree.h"
#include "values/tools.h"

#include <gtest/gtest.h>

namespace
{

// Levels 1 (register 0x001A) and 2 (0x0019) are open after their passcode was written; the unlock
// values sit in 0x00D1 and 0x00D0.
struct SessionTest : ::testing::Test {
    TTransactionEngine engine;
    TFakeLink *link = nullptr;
    TFakeRegisters regs;
    TDevice device;
    TSettingsTreeModel tree{&device};
    TSession session{&engine, &device, &tree};
    TRecordingReporter reporter;
    bool safeOpen = false, fullOpen = false;
    QList<QByteArray> typed; // passcodes the "user" types, in order
    QList<QString> prompts;
    bool mute = false; // the instrument stops answering

    void SetUp() override
    {
        auto l = std::make_unique<TFakeLink>();
        link = l.get();
        link->Responder = [this](const QByteArray &frame) {
            const QByteArray reply = Answer(FrameText(frame));
            if (!reply.isEmpty())
                link->Deliver(CrcFrame(reply));
        };
        engine.SetLink(std::move(l));
        engine.SetTickInterval(2);
        engine.Reporter = &reporter;
        link->Open();
        device.OnExchange = [this](const QByteArray &r) { return engine.TransactText(r); };
        session.Reporter = &reporter;
        session.OnPasscode = [this](int, const QString &prompt) -> std::optional<QByteArray> {
            prompts << prompt;
            if (typed.isEmpty())
                return std::nullopt;
            return typed.takeFirst();
        };
        regs.Add(0x0001, 1, "COMMS", "00");
        regs.Add(0x0003, 6, "MODEL", "V1");
        regs.Add(0x0004, 6, "VER", "1.0");
        regs.Add(0x0005, 1, "SERIAL", "0000007B");
        regs.Add(0x0010, 11, "SAVE");
        regs.Add(0x00D0, 1, "FULLPC", "00000929"); // 2345
        regs.Add(0x00D1, 1, "SAFEPC", "000004D2"); // 1234
        regs.AddMenu(0x001F, "OPER", {{0x0600, 1}, {0x0700, 2}});
        regs.AddMenu(0x0600, "TARE", {{0x0601, 3}});
        regs.AddMenu(0x0700, "CLOCK", {});
        regs.Add(0x0601, 1, "PRESET", "0005", "5");
        regs.AddMenu(0x0011, "SETUP", {{0x0100, 1}});
        regs.AddMenu(0x0100, "SCALE", {{0x0101, 2}, {0x0102, 3}});
        regs.Add(0x0101, 1, "CAP", "0BB8", "30.00").Permission = 0x81;
        regs.Add(0x0102, 1, "SECRET", "0001", "1").Permission = 0x02;
        regs.Add(0x002F, 1, "WT", "0", "0.00kg");
    }

    QByteArray Reply(const QByteArray &request, bool error, const QByteArray &data)
    {
        Tcommsobj m;
        m.Decode(request);
        m.RequestFlag = false;
        m.ErrorFlag = error;
        m.Data = data;
        return m.Encode();
    }

    QByteArray Answer(const QByteArray &request)
    {
        if (mute)
            return {};
        Tcommsobj m;
        if (!m.Decode(request))
            return {};
        const bool full = m.Register == 0x0019, safe = m.Register == 0x001A;
        if (full || safe) {
            regs.Requests.append(request);
            bool &open = full ? fullOpen : safeOpen;
            const uint32_t unlock = HexToInt(regs.Regs[full ? 0x00D0 : 0x00D1].Value);
            if (m.Command == CmdWrite) {
                regs.Writes.append({m.Register, m.Data});
                open = HexToInt(m.Data) == unlock;
                return Reply(request, !open, open ? "" : "1000");
            }
            return Reply(request, !open, open ? "00" : "1000");
        }
        // The passcode sources are only readable while a level is open.
        if ((m.Register == 0x00D0 || m.Register == 0x00D1) && !fullOpen && !safeOpen) {
            regs.Requests.append(request);
            return Reply(request, true, "1000");
        }
        return regs.Exchange(request);
    }
    QList<QPair<int, QByteArray>> WritesTo(int reg) const
    {
        QList<QPair<int, QByteArray>> out;
        for (const auto &w : regs.Writes)
            if (w.first == reg)
                out.append(w);
        return out;
    }
};

} // namespace

TEST_F(SessionTest, RequestAccessAsksUntilTheRightPasscodeOrCancel)
{
    EXPECT_TRUE(session.RequestAccess(0));
    EXPECT_TRUE(regs.Requests.isEmpty());

    typed = {"1 2,3", "1.234", "1234"};
    EXPECT_TRUE(session.RequestAccess(1));
    EXPECT_EQ(prompts, (QList<QString>{"Enter Safe Passcode", "Enter Safe Passcode", "Enter Safe Passcode"}));
    // Only digits are a passcode: the others are refused here with their reason and never sent; the
    // typed digits go out as the hexadecimal of their decimal value.
    EXPECT_EQ(WritesTo(0x001A), (QList<QPair<int, QByteArray>>{{0x001A, "4D2"}}));
    ASSERT_EQ(reporter.Errors.size(), 2); // the instrument's refusals stay quiet
    EXPECT_TRUE(reporter.Errors[0].startsWith("\"1 2,3\" is not a passcode"))
        << reporter.Errors[0].toStdString();

    // Already open: no prompt.
    prompts.clear();
    EXPECT_TRUE(session.RequestAccess(1));
    EXPECT_TRUE(prompts.isEmpty());

    typed = {"1"};
    EXPECT_FALSE(session.RequestAccess(2));
    EXPECT_EQ(prompts, (QList<QString>{"Enter Full Passcode", "Enter Full Passcode"}));
}

TEST_F(SessionTest, LockWritesValuesThatDifferFromTheUnlockValues)
{
    fullOpen = safeOpen = true;
    session.LockInstrument();
    EXPECT_EQ(WritesTo(0x0019).value(0).second, HexText(0x0929 ^ 0xFF, 4));
    EXPECT_EQ(WritesTo(0x001A).value(0).second, HexText(0x04D2 ^ 0xFF, 4));
    EXPECT_FALSE(fullOpen || safeOpen);

    // Sources refused with "Access Denied": nothing written.
    regs.Writes.clear();
    session.LockInstrument();
    EXPECT_TRUE(regs.Writes.isEmpty());

    // No reply at all: nothing guessed, nothing written.
    fullOpen = true;
    mute = true;
    engine.TimeoutTicks = 2;
    session.LockInstrument();
    EXPECT_TRUE(regs.Writes.isEmpty());
}

TEST_F(SessionTest, SaveRestoresPasscodesAndSuppressesNotResponding)
{
    fullOpen = true;
    int confirmed = 0;
    session.OnSettingsConfirmed = [&] { ++confirmed; };
    session.SaveInstrumentSettings(true);
    EXPECT_EQ(confirmed, 1);
    EXPECT_EQ(regs.Executes.value(0), (QPair<int, QByteArray>{0x0010, ""}));
    EXPECT_EQ(regs.Count("20110005:"), 3);
    EXPECT_EQ(WritesTo(0x001A), (QList<QPair<int, QByteArray>>{{0x001A, "4D2"}}));
    EXPECT_EQ(WritesTo(0x0019), (QList<QPair<int, QByteArray>>{{0x0019, "929"}}));
    EXPECT_EQ(regs.Writes.first().first, 0x001A); // safe first, then full
    EXPECT_EQ(reporter.BusyDepth, 0);
}

TEST_F(SessionTest, OperatorMenuSessionAndFullSession)
{
    const QStringList choices = session.MenuChoices();
    EXPECT_EQ(choices, (QStringList{"Safe Setup Menu", "Full Setup Menu", "TARE Menu", "CLOCK Menu"}));
    EXPECT_EQ(session.OperatorMenuRegisters, (QList<int>{0x0600, 0x0700}));

    // Operator menu: safe level, that menu's register as root, the entry text as caption.
    typed = {"1234"};
    ASSERT_TRUE(session.StartSession(2, true));
    EXPECT_EQ(prompts, QList<QString>{"Enter Safe Passcode"});
    EXPECT_EQ(tree.Root()->Text, "TARE Menu");
    EXPECT_EQ(tree.Root()->Data->Register, "0600");
    EXPECT_EQ(tree.Root()->Children[0]->Text, "PRESET   : 5");
    EXPECT_TRUE(session.SessionActive);
    EXPECT_FALSE(device.FullAccess);

    // Full level: items needing it are read, calibration figures too.
    typed = {"2345"};
    session.MenuChoices();
    ASSERT_TRUE(session.StartSession(1, true));
    EXPECT_EQ(tree.Root()->Text, "FULL SETUP");
    EXPECT_TRUE(device.FullAccess);
    EXPECT_TRUE(tree.Root()->Children[0]->Children[1]->Data->Readable);
    EXPECT_EQ(regs.Count("20100115:"), 10);

    // No selection, or one past the list: nothing starts.
    EXPECT_FALSE(session.StartSession(-1, true));
    EXPECT_FALSE(session.StartSession(4, true));
}

TEST_F(SessionTest, ManyOperatorMenusAreAllKept)
{
    QList<QPair<int, int>> menus;
    for (int i = 0; i < 14; ++i) {
        regs.AddMenu(0x0800 + i, "M" + QByteArray::number(i), {});
        menus.append({0x0800 + i, i + 1});
    }
    regs.Regs[0x001F].Menu = menus;
    EXPECT_EQ(session.MenuChoices().size(), 16);
    safeOpen = true;
    ASSERT_TRUE(session.StartSession(15, false));
    EXPECT_EQ(tree.Root()->Data->Register, "080D");
    EXPECT_EQ(tree.Root()->Text, "M13 Menu");
}

TEST_F(SessionTest, UnknownInstrumentStartsNothing)
{
    regs.Regs[0x0001].Value = "01";
    EXPECT_TRUE(session.MenuChoices().isEmpty());
    EXPECT_EQ(reporter.Errors, QStringList{"Unknown Instrument Communications"});
    EXPECT_FALSE(session.StartSession(0, true));
}

TEST_F(SessionTest, EndSessionEndsSavesLocksAndClears)
{
    safeOpen = true;
    QList<bool> controls;
    session.OnSessionControls = [&](bool active, bool) { controls.append(active); };
    ASSERT_TRUE(session.StartSessionAt(0, false));
    session.BlockSave();
    session.EndSession();
    EXPECT_EQ(controls, (QList<bool>{true, false}));
    EXPECT_FALSE(session.SessionActive);
    EXPECT_FALSE(session.SaveBlocked);
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(WritesTo(0x00EF).last().second, "01");
    EXPECT_EQ(regs.Executes.last().first, 0x0010);
}

TEST_F(SessionTest, RenewalIsFlaggedOnlyDuringASession)
{
    session.SetRenewalInterval(1);
    PumpUntil([] { return false; }, 20);
    EXPECT_FALSE(engine.SessionRefreshDue);
    safeOpen = true;
    ASSERT_TRUE(session.StartSessionAt(0, false));
    regs.Requests.clear();
    EXPECT_TRUE(PumpUntil([&] { return regs.Count("201200EF:FF") > 0; }, 2000));
    session.SetSessionControls(false, false);
    EXPECT_FALSE(engine.SessionRefreshDue);
}

TEST_F(SessionTest, EditsSaveUnlessBlockedAndRefresh)
{
    safeOpen = true;
    ASSERT_TRUE(session.StartSessionAt(0, true));
    TMenuNode *cap = tree.Root()->Children[0]->Children[0].get();
    regs.Regs[0x0101].Literal = "31.00";
    regs.Writes.clear();
    TMenuNode *after = tree.ApplyEdit(cap, "0C1C");
    EXPECT_EQ(after, cap); // permission bit 7: only the item is refreshed
    EXPECT_EQ(cap->Text, "CAP      : 31.00");
    EXPECT_TRUE(cap->Data->Modified);
    EXPECT_EQ(regs.Writes.first(), (QPair<int, QByteArray>{0x0101, "0C1C"}));
    EXPECT_EQ(regs.Executes.last().first, 0x0010);

    session.BlockSave();
    regs.Executes.clear();
    tree.ApplyEdit(cap, "0C1D");
    EXPECT_TRUE(regs.Executes.isEmpty());
}

TEST_F(SessionTest, SendSequenceRulesForCalibrationAndTotals)
{
    engine.TimeoutTicks = 5;
    TSettingsSender sender(&engine, &session, &reporter);
    sender.Transfer.SetStepInterval(1);

    // A calibration line asks for the full level and is dropped unless included.
    typed = {"2345"};
    ASSERT_TRUE(sender.Send({"201200F8:CALDATA", "20120101:0BB8"}, false));
    EXPECT_EQ(prompts, QList<QString>{"Enter Full Passcode"});
    EXPECT_EQ(regs.Count("201200F8"), 0);
    EXPECT_EQ(regs.Count("20120101:0BB8"), 1);
    EXPECT_EQ(regs.Count("201000ED:00"), 1);
    EXPECT_TRUE(sender.TransferCompleted);
    EXPECT_FALSE(fullOpen); // locked afterwards

    regs.Requests.clear();
    prompts.clear();
    typed = {"2345"};
    ASSERT_TRUE(sender.Send({"201200F8:CALDATA", "20120101:0BB8"}, true));
    EXPECT_EQ(regs.Count("201200F8:CALDATA"), 1);

    // Product lines ask about the totals first; No sends nothing but still locks.
    regs.Requests.clear();
    prompts.clear();
    typed = {"1234"};
    reporter.Answer = false;
    EXPECT_FALSE(sender.Send({"2010B002:", "20120101:0BB8"}, false));
    EXPECT_EQ(reporter.Questions, QStringList{"Existing Totals will be cleared. Continue?"});
    EXPECT_EQ(prompts, QList<QString>{"Enter Safe Passcode"});
    EXPECT_EQ(regs.Count("2010B002"), 0);
    EXPECT_EQ(regs.Count("201200EF"), 0);
    EXPECT_FALSE(safeOpen);

    // A session still open refuses the send.
    session.SessionActive = true;
    EXPECT_FALSE(sender.Send({"20120101:0BB8"}, false));
    EXPECT_EQ(reporter.Errors.last(), "Instrument Session already active");
    session.SessionActive = false;

    // Without a link: "Instrument not Connected".
    link->Close();
    safeOpen = true;
    EXPECT_FALSE(sender.SendSettingsList({"20120101:0BB8"}));
    EXPECT_EQ(reporter.Errors.last(), "Instrument not Connected");
}

TEST_F(SessionTest, TransferGivesUpOnASilentInstrumentAndStillSaves)
{
    TSettingsSender sender(&engine, &session, &reporter);
    sender.Transfer.SetStepInterval(1);
    engine.TimeoutTicks = 2;
    safeOpen = true;
    int sends = 0;
    link->Responder = [&](const QByteArray &frame) {
        if (FrameText(frame) == "20120101:0BB8") {
            ++sends;
            return;
        }
        const QByteArray reply = Answer(FrameText(frame));
        if (!reply.isEmpty())
            link->Deliver(CrcFrame(reply));
    };
    EXPECT_TRUE(sender.Send({"20120101:0BB8"}, false));
    EXPECT_EQ(sends, 4);
    EXPECT_FALSE(sender.TransferCompleted);
    EXPECT_TRUE(reporter.Errors.contains("Instrument not Responding"));
    EXPECT_EQ(regs.Executes.last().first, 0x0010);
    EXPECT_EQ(engine.ReplyRoute(), RouteNone);
}

TEST_F(SessionTest, ProductsAndClock)
{
    regs.AddMenu(0x0011, "SETUP", {{0xB100, 0}});
    regs.AddMenu(0xB100, "PRODUCTS", {});
    regs.Add(0xB013, 6, "NAME", "APPLES").Maximum = 0x10;
    regs.Add(0xB001, 11, "ADD");
    regs.Add(0xB002, 11, "DEL");
    regs.Add(0xB011, 11, "DEL2");
    regs.Add(0xB012, 11, "REN");
    safeOpen = true;
    ASSERT_TRUE(session.StartSessionAt(0, true));
    TProductOps products(&engine, &device, &tree);
    EXPECT_EQ(products.ReadNameLimit(), 16);
    EXPECT_EQ(ReadProductName(&engine), QByteArray("APPLES"));

    TMenuNode *menu = tree.Root()->Children[0].get();
    menu = products.AddProduct(menu, "PEARS");
    EXPECT_EQ(regs.Executes.last(), (QPair<int, QByteArray>{0xB001, "PEARS"}));
    EXPECT_EQ(products.LastOutcome, TProductOutcome::Confirmed);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->Data->Register, "B100"); // the menu was reloaded and found again
    EXPECT_EQ(regs.Count("201000EE:B100"), 1);

    // Renaming and deleting act on a product's own node: the product menu itself sends nothing
    // and asks nothing (vornsim's tests cover the products).
    regs.Executes.clear();
    const int questions = static_cast<int>(reporter.Questions.size());
    products.RenameProduct(menu, "PLUMS");
    EXPECT_EQ(products.LastOutcome, TProductOutcome::NotSent);
    products.DeleteProduct(menu, &reporter);
    EXPECT_TRUE(regs.Executes.isEmpty());
    EXPECT_EQ(reporter.Questions.size(), questions);
    EXPECT_EQ(TProductOps::DeleteQuestion("PEARS"),
              "Delete the product PEARS?\nDeleting a product will clear all Totals.  Continue?");

    // The clock: five writes in order, then the lock; a refusal stops the sequence.
    regs.Add(0x0150, 6, "CLOCK", "05/03/2024 14:07");
    EXPECT_EQ(ReadInstrumentClock(&engine), QByteArray("05/03/2024 14:07"));
    for (int reg = 0x0152; reg <= 0x0156; ++reg)
        regs.Add(reg, 1, "T");
    regs.Writes.clear();
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 59));
    EXPECT_TRUE(SetInstrumentClock(&engine, &session, when));
    const QList<QPair<int, QByteArray>> clockWrites(regs.Writes.begin(), regs.Writes.begin() + 5);
    EXPECT_EQ(clockWrites, (QList<QPair<int, QByteArray>>{
                               {0x0154, "7E8"}, {0x0153, "3"}, {0x0152, "5"}, {0x0155, "E"}, {0x0156, "7"}}));
    regs.Regs[0x0153].Refused = true;
    regs.Writes.clear();
    EXPECT_FALSE(SetInstrumentClock(&engine, &session, when));
    EXPECT_EQ(regs.Writes.size(), 1);
    EXPECT_EQ(reporter.Errors.last(), "Error :- Register 0153:  Access Denied ");
}
