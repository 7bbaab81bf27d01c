// Sessions and access levels.
#include "session.h"

#include "device.h"
#include "i18n/LumsLang.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settingstree.h"
#include "values/tools.h"
#include "values/valuetext.h"

namespace
{

constexpr int SetupRoot = 0x0011;
constexpr int OperatorRoot = 0x001F;
constexpr int SessionRegister = 0x00EF;

int PasscodeRegister(int level)
{
    return level == 2 ? 0x0019 : 0x001A;
}

} // namespace

QByteArray PasscodeText(const QByteArray &typed)
{
    return ReadPasscode(QString::fromLatin1(typed)).Value.value_or(QByteArray());
}

TSession::TSession(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *tree, QObject *parent)
    : QObject(parent), Engine(engine), Device(device), Tree(tree)
{
    RenewalTimer.setInterval(5000);
    connect(&RenewalTimer, &QTimer::timeout, this, &TSession::Renew);
    RenewalTimer.start();
    if (Tree) {
        Tree->OnSaveAfterEdit = [this] { return SaveAfterEdit(); };
        Tree->JournalEngine = Engine;
    }
}

TSession::~TSession() = default;

bool TSession::ReadQuiet(int reg)
{
    for (int i = 1;; ++i) {
        const bool ok = Engine->Transact(CmdRead, reg, {}, true, false);
        if (ok || i >= Attempts || !Engine->LinkOpen() || !Engine->LastWaitTimedOut())
            return ok;
    }
}

bool TSession::WriteQuiet(int reg, const QByteArray &value)
{
    for (int i = 1;; ++i) {
        const bool ok = Engine->Transact(CmdWrite, reg, value, true, false);
        if (ok || i >= Attempts || !Engine->LinkOpen() || !Engine->LastWaitTimedOut())
            return ok;
    }
}

void TSession::Renew()
{
    if (SessionActive)
        Engine->SessionRefreshDue = true;
}

bool TSession::RequestAccess(int level)
{
    if (level <= 0)
        return true;
    const int reg = PasscodeRegister(level);
    if (ReadQuiet(reg))
        return true;
    // An access read that was never answered says nothing about a lock: nobody is asked for a
    // passcode an open instrument does not need, and the silence is said instead.
    if (!Engine->LinkOpen())
        return false;
    if (Engine->LastWaitTimedOut()) {
        Engine->ReportNotResponding();
        return false;
    }
    const QString prompt = level == 2 ? LangText("TFrmPasscode", "PromptFull", "Enter Full Passcode")
                                      : LangText("TFrmPasscode", "PromptSafe", "Enter Safe Passcode");
    PasscodeRefused = false;
    for (;;) {
        if (!OnPasscode)
            return false;
        const std::optional<QByteArray> typed = OnPasscode(level, prompt);
        if (!typed)
            return false;
        // Only digits are a passcode: anything else is refused here, not sent as a number nobody typed.
        const TValueRead<QByteArray> code = ReadPasscode(QString::fromLatin1(*typed));
        if (!code) {
            if (Reporter)
                Reporter->Error(code.Refusal);
            PasscodeRefused = true;
            continue;
        }
        if (WriteQuiet(reg, *code) && ReadQuiet(reg)) {
            PasscodeRefused = false;
            return true;
        }
        // Without a link there is nobody to ask; without a reply the passcode was not judged.
        if (!Engine->LinkOpen())
            return false;
        PasscodeRefused = !Engine->LastWaitTimedOut();
    }
}

void TSession::LockInstrument()
{
    // Writing anything but the unlock value back closes the level again.
    const std::pair<int, int> levels[] = {{0x00D0, 0x0019}, {0x00D1, 0x001A}};
    for (const auto &[source, passcode] : levels) {
        // A read without any reply leaves nothing to go by: no value is guessed then.
        Engine->LastReply = Tcommsobj();
        ReadQuiet(source);
        const Tcommsobj &reply = Engine->LastReply;
        if (reply.Register != source || reply.HasStatus(StatusAccessDenied))
            continue;
        const uint32_t value = HexToInt(reply.Data) ^ 0xFFu;
        WriteQuiet(passcode, HexText(value, 4));
    }
}

bool TSession::Save(const QByteArray &fullPasscode)
{
    // Saving is a command: it is not sent again blindly. The instrument locks its passcode levels
    // when it saves, so a full level that was open and is locked now witnesses a save whose reply
    // was lost; one still open shows that the save did not happen, and it goes once more.
    const bool witness = !fullPasscode.isEmpty() && HexToInt(fullPasscode) != 0;
    for (int send = 0; send < 2; ++send) {
        if (Engine->TransactAs(TRequestKind::Command, CmdExecute, 0x0010, {}, false, true))
            return true;
        if (!Engine->LastRequestUnconfirmed() || !Engine->LinkOpen())
            return false;
        if (!witness)
            break;
        const bool open = Engine->Transact(CmdRead, 0x0019, {}, true, false);
        if (!open && !Engine->LastWaitTimedOut() && Engine->LastReply.HasStatus(StatusAccessDenied))
            return true;
        if (!open)
            break;
    }
    if (Reporter)
        Reporter->Error(LangText(
            "Messages", "SaveUnconfirmed",
            "The instrument did not confirm saving its settings: look at its display before saving again."));
    return false;
}

bool TSession::SaveInstrumentSettings(bool restorePasscodes)
{
    TBusyGuard busy(Reporter);
    QByteArray fullUnlock, safeUnlock;
    if (restorePasscodes) {
        if (ReadQuiet(0x00D0))
            fullUnlock = QByteArray::number(HexToInt(Engine->LastReply.Data), 16).toUpper();
        if (ReadQuiet(0x00D1))
            safeUnlock = QByteArray::number(HexToInt(Engine->LastReply.Data), 16).toUpper();
    }
    const bool saved = Save(fullUnlock);
    if (saved) {
        if (OnSettingsConfirmed)
            OnSettingsConfirmed();
        // The instrument may be busy saving: the reads that follow must not raise "not responding".
        for (int i = 0; i < 3; ++i) {
            Engine->NotRespondingShown = true;
            ReadQuiet(0x0005);
        }
    }
    if (restorePasscodes) {
        if (!safeUnlock.isEmpty())
            WriteQuiet(0x001A, safeUnlock);
        if (!fullUnlock.isEmpty())
            WriteQuiet(0x0019, fullUnlock);
    }
    if (OnIdentityChanged)
        OnIdentityChanged();
    return saved;
}

bool TSession::CheckInstrumentKnown()
{
    Device->ReadIdentity();
    if (OnIdentityChanged)
        OnIdentityChanged();
    // No answer is no unknown instrument: the engine has said that it is silent.
    if (Device->CommsType.isEmpty())
        return false;
    if (Device->CommsType != "00") {
        if (Reporter)
            Reporter->Error(LangText("Messages", "DsdUnknownComms", "Unknown Instrument Communications"));
        return false;
    }
    return true;
}

QStringList TSession::MenuChoices(const QString &safeWord, const QString &fullWord, const QString &operWord)
{
    Choices.clear();
    OperatorMenuRegisters.clear();
    OperatorMenuNames.clear();
    if (!Engine->LinkOpen() || !CheckInstrumentKnown())
        return {};
    Device->ExtendSession();
    // The operator menus are read aside: the tree keeps a running session's menu until a new
    // session has been granted.
    TMenuTree operatorMenus;
    Device->BuildMenuTree(operatorMenus, OperatorRoot, false, {});
    Choices << safeWord << fullWord;
    if (!operatorMenus.empty()) {
        for (const auto &child : operatorMenus.front()->Children) {
            if (!child->Data)
                continue;
            Choices << QString::fromLatin1(child->Text) + QLatin1Char(' ') + operWord;
            OperatorMenuRegisters.append(child->Data->RegisterNumber());
            OperatorMenuNames.append(QString::fromLatin1(child->Text));
        }
    }
    return Choices;
}

bool TSession::StartSession(int entry, bool readEntireMenu)
{
    if (entry < 0 || entry >= Choices.size())
        return false;
    int level = 1;
    int root = SetupRoot;
    QByteArray caption = "SAFE SETUP";
    if (entry == 1) {
        level = 2;
        caption = "FULL SETUP";
    } else if (entry >= 2) {
        root = OperatorMenuRegisters.value(entry - 2, -1);
        if (root < 0)
            return false;
        caption = Choices[entry].toLatin1();
    }
    if (!RequestAccess(level))
        return false;
    ReadEntireMenu = readEntireMenu;
    TBusyGuard busy(Reporter);
    Device->ExtendSession();
    Device->FullAccess = level == 2;
    Tree->ReadEntireMenu = ReadEntireMenu;
    // A session ended while its menu was read leaves nothing to show.
    if (!Tree->BuildMenuTree(root, ReadEntireMenu, caption))
        return false;
    if (level == 2)
        Device->ReadCalibrationInfo();
    else
        Device->ClearCalibrationInfo();
    if (OnCalibrationInfo)
        OnCalibrationInfo();
    SetSessionControls(true, level == 2);
    Engine->SetReplyRoute(RouteNone);
    Caption = caption;
    JournalSession(true);
    return true;
}

void TSession::JournalSession(bool start)
{
    if (!Engine->Changes)
        return;
    TChangeEvent event;
    event.Kind = "session";
    event.Note =
        QStringLiteral("%1, %2 level: %3")
            .arg(start ? QStringLiteral("start") : QStringLiteral("end"),
                 FullSession ? QStringLiteral("full") : QStringLiteral("safe"), QString::fromLatin1(Caption));
    Engine->Changes->Event(event, start ? QStringLiteral("started") : QStringLiteral("ended"));
}

bool TSession::StartSessionAt(int entry, bool readEntireMenu)
{
    if (MenuChoices().isEmpty())
        return false;
    return StartSession(entry, readEntireMenu);
}

void TSession::EndSession()
{
    if (!Engine->LinkOpen())
        return;
    WriteQuiet(SessionRegister, "01");
    if (SessionActive)
        JournalSession(false);
    AllowSave();
    Tree->Clear();
    SetSessionControls(false, false);
    LockInstrument();
}

void TSession::SetSessionControls(bool active, bool fullAccess)
{
    SessionActive = active;
    FullSession = active && fullAccess;
    if (!active)
        Engine->SessionRefreshDue = false;
    if (OnSessionControls)
        OnSessionControls(active, fullAccess);
}

bool TSession::SaveAfterEdit()
{
    return SaveBlocked || SaveInstrumentSettings(true);
}

void TSession::BlockSave()
{
    SaveBlocked = true;
}

void TSession::AllowSave()
{
    SaveInstrumentSettings(true);
    SaveBlocked = false;
}
