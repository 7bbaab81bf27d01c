// The settings-file send sequence, and what a lost reply or a lapsed session leads to.
#include "settingssend.h"

#include <QSet>
#include <QTimer>
#include <utility>

#include "SendSettings.h"
#include "i18n/LumsLang.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "products.h"
#include "session.h"
#include "values/tools.h"

namespace
{

constexpr int ProductAdd = 0xB001;
constexpr int ProductClearTotals = 0xB002;
constexpr int ProductDeleteAll = 0xB005;
constexpr int ProductRename = 0xB012;
constexpr int EndOfTransfer = 0x00ED;
constexpr int SessionRegister = 0x00EF;

// Hands the replies of the transfer route to the transfer.
class TTransferRoute : public TReplyConsumer
{
public:
    explicit TTransferRoute(TSettingsTransfer &transfer) : Transfer(transfer) {}
    void RoutedReply(const Tcommsobj &, const QByteArray &text) override { Transfer.ReplyArrived(text); }

private:
    TSettingsTransfer &Transfer;
};

} // namespace

QString TSettingsSendResult::Counts() const
{
    const int unconfirmed = static_cast<int>(Unconfirmed.size());
    return (unconfirmed == 1 ? LangText("Messages", "SendCountsOne",
                                        "%1 of %2 lines confirmed, %3 refused, %4 without reply (not known "
                                        "whether it took effect), %5 not sent")
                             : LangText("Messages", "SendCounts",
                                        "%1 of %2 lines confirmed, %3 refused, %4 without reply (not known "
                                        "whether they took effect), %5 not sent"))
        .arg(Confirmed())
        .arg(Lines)
        .arg(Refused.size())
        .arg(unconfirmed)
        .arg(NotSent());
}

QString TSettingsSendResult::Summary() const
{
    QStringList parts;
    switch (Status) {
    case NotStarted:
        return Message.isEmpty() ? LangText("Messages", "SendNothing", "Nothing was sent.") : Message;
    case Sent:
        parts << (Refused.isEmpty() && Unconfirmed.isEmpty()
                      ? LangText("Messages", "SendDone", "Settings sent: %1 lines.").arg(Lines)
                      : LangText("Messages", "SendDoneCounts", "Settings sent: %1.").arg(Counts()));
        break;
    case NoReply:
        parts << LangText("Messages", "SendStopped",
                          "The instrument stopped answering: %1. Send the file again.")
                     .arg(Counts());
        break;
    case Lapsed:
    case LinkLost:
        parts << Message + LangText("Messages", "SendLost", ": %1. Send the file again.").arg(Counts());
        break;
    case Cancelled:
        parts << LangText("Messages", "SendCancelled", "Cancelled: %1.").arg(Counts());
        break;
    }
    if (!Refused.isEmpty()) {
        parts << (Refused.size() == 1
                      ? LangText("Messages", "SendRefusedOne", "%1 line was refused by the instrument:")
                      : LangText("Messages", "SendRefused", "%1 lines were refused by the instrument:"))
                     .arg(Refused.size());
        for (const TRefusedLine &r : Refused)
            parts
                << QStringLiteral("  %1  %2").arg(QString::fromLatin1(r.Line), QString::fromLatin1(r.Text()));
    }
    if (!Unconfirmed.isEmpty()) {
        parts << LangText(
            "Messages", "SendUnconfirmed",
            "No reply to these lines; they were not sent again, and whether they took effect is not "
            "known:");
        for (const QByteArray &line : Unconfirmed)
            parts << QStringLiteral("  ") + QString::fromLatin1(line);
    }
    return parts.join(QLatin1Char('\n'));
}

TSettingsSender::TSettingsSender(TTransactionEngine *engine, TSession *session, TReporter *reporter)
    : Engine(engine), Session(session), Reporter(reporter)
{
    Transfer.Reporter = reporter;
    Transfer.SendFrame = [this](const QByteArray &text) {
        Engine->SendFrame(text, true);
        // The next line's intent goes to disk while this one is on the line, so that the next
        // line goes out as soon as this one is answered: the journal does not slow the send.
        if (Engine->Changes && PreIntent == 0)
            QTimer::singleShot(0, &Transfer, [this] { PrepareNextLine(); });
    };
    Transfer.LinkOpen = [this] { return Engine->LinkOpen(); };
    Transfer.OnBeforeLine = [this](const QByteArray &line) { return BeforeLine(line); };
    Transfer.OnReplyLost = [this](const QByteArray &line) { return CheckLostLine(line); };
    Transfer.OnSessionLapsed = [this](const QByteArray &, QString *why) { return Reopen(why); };
    Transfer.OnLineSettled = [this](const QByteArray &, TChangeOutcome outcome, const QString &text) {
        JournalSettled(outcome, text);
    };
}

namespace
{
QByteArray LineKey(const Tcommsobj &msg)
{
    return QByteArray::number(msg.Command) + ':' + QByteArray::number(msg.Register);
}
} // namespace

void TSettingsSender::SetSnapshot(const QString &file, const QList<QByteArray> &lines)
{
    SnapshotFile = file;
    SnapshotValues.clear();
    QSet<QByteArray> twice; // a register the file writes more than once (per product): no one value
    for (const QByteArray &line : lines) {
        Tcommsobj msg;
        if (!msg.Decode(line))
            continue;
        const QByteArray key = LineKey(msg);
        if (SnapshotValues.contains(key))
            twice.insert(key);
        SnapshotValues.insert(key, msg.Data);
    }
    for (const QByteArray &key : twice)
        SnapshotValues.remove(key);
}

bool TSettingsSender::JournalLine(const QByteArray &line)
{
    if (!Engine->Changes)
        return true;
    if (PreIntent != 0 && PreIntentPosition == Transfer.Position) {
        LineIntent = std::exchange(PreIntent, 0);
        if (Engine->Changes->Synced(LineIntent))
            return true;
        JournalSettled(TChangeOutcome::NotConfirmed,
                       QStringLiteral("not sent: its intent could not be synced"));
        if (Reporter)
            Reporter->Error(
                QStringLiteral("The change journal could not be written (%1): the send stops before "
                               "line %2.")
                    .arg(Engine->Changes->LastError())
                    .arg(Transfer.Position + 1));
        return false;
    }
    LineIntent = LineIntentFor(line, Transfer.Position + 1, false);
    if (LineIntent != 0)
        return true;
    if (Reporter)
        Reporter->Error(QStringLiteral("The change journal could not be written (%1): the send stops before "
                                       "line %2.")
                            .arg(Engine->Changes->LastError())
                            .arg(Transfer.Position + 1));
    return false;
}

void TSettingsSender::PrepareNextLine()
{
    const int next = Transfer.Position + 1;
    if (!Engine->Changes || !Transfer.Running || PreIntent != 0 || next >= Transfer.Messages.size())
        return;
    // Written only for a line not yet begun (a reply that came first has moved the transfer on).
    if (!Transfer.AwaitingReply)
        return;
    PreIntent = LineIntentFor(Transfer.Messages.at(next), next + 1, true);
    PreIntentPosition = next;
}

void TSettingsSender::ClosePreparedLine()
{
    if (!Engine->Changes || PreIntent == 0)
        return;
    TChangeResult result;
    result.Text = QStringLiteral("not sent: the transfer ended before this line");
    Engine->Changes->Outcome(std::exchange(PreIntent, 0), result);
}

int64_t TSettingsSender::LineIntentFor(const QByteArray &line, int number, bool ahead)
{
    Tcommsobj msg;
    TChangeEvent event;
    event.Kind = "send";
    if (msg.Decode(line)) {
        event.Command = msg.Command;
        event.Register = msg.Register;
        event.Asked = msg.Data;
        event.Before = SnapshotValues.value(LineKey(msg));
    } else {
        event.Asked = line;
    }
    event.Note = QStringLiteral("line %1 of %2").arg(number).arg(Transfer.Messages.size());
    if (!SnapshotFile.isEmpty())
        event.Note += QStringLiteral("; settings before: ") + SnapshotFile;
    return ahead ? Engine->Changes->IntentAhead(event) : Engine->Changes->Intent(event);
}

void TSettingsSender::JournalSettled(TChangeOutcome outcome, const QString &text)
{
    if (!Engine->Changes || LineIntent == 0)
        return;
    TChangeResult result;
    result.Outcome = outcome;
    if (outcome == TChangeOutcome::Confirmed && text.isEmpty())
        result.Note = QStringLiteral("acknowledged");
    else if (outcome == TChangeOutcome::Confirmed)
        result.Note = text;
    else
        result.Text = text;
    Engine->Changes->Outcome(std::exchange(LineIntent, 0), result);
}

TSettingsSender::~TSettingsSender() = default;

bool TSettingsSender::Send(QList<QByteArray> requests, bool includeCalibration)
{
    return SendFile(std::move(requests), includeCalibration).Status != TSettingsSendResult::NotStarted;
}

TSettingsSendResult TSettingsSender::SendFile(QList<QByteArray> requests, bool includeCalibration)
{
    Result = TSettingsSendResult();
    TransferCompleted = false;
    if (Session->SessionActive) {
        Result.Message = LangText("Messages", "SessionActive", "Instrument Session already active");
        if (Reporter)
            Reporter->Error(Result.Message);
        return Result;
    }
    const bool hasCalibration = HasCalibrationLine(requests);
    Level = hasCalibration ? 2 : 1;
    Passcode.reset();
    if (!OpenLevel()) {
        // Unanswered is not refused: nothing is known of the lock then.
        if (!Engine->LinkOpen() || Engine->LastWaitTimedOut())
            Result.Message = LangText("Messages", "SendAccessUnanswered",
                                      "The instrument did not answer the access check; nothing was sent.");
        else
            Result.Message =
                Level == 2 ? LangText("Messages", "SendFullRefused",
                                      "Access to the instrument's full level was refused; nothing was sent.")
                           : LangText("Messages", "SendSafeRefused",
                                      "Access to the instrument's safe level was refused; nothing was sent.");
        return Result;
    }
    // The access the send runs with, in the change journal (its end follows the lock).
    const auto journalAccess = [this](bool start) {
        if (!Engine->Changes)
            return;
        TChangeEvent event;
        event.Kind = "session";
        event.Note = QStringLiteral("%1, %2 level: settings send")
                         .arg(start ? QStringLiteral("start") : QStringLiteral("end"),
                              Level == 2 ? QStringLiteral("full") : QStringLiteral("safe"));
        Engine->Changes->Event(event, start ? QStringLiteral("started") : QStringLiteral("ended"));
    };
    journalAccess(true);
    if (hasCalibration && !includeCalibration)
        requests.removeFirst();
    if (HasProductReset(requests) &&
        !(Reporter && Reporter->Ask(LangText("Messages", "TotalsCleared",
                                             "Existing Totals will be cleared. Continue?")))) {
        Session->LockInstrument();
        journalAccess(false);
        Result.Message =
            LangText("Messages", "SendTotalsKept", "Nothing was sent: the existing totals would be cleared.");
        return Result;
    }
    requests = OrderForSend(requests);
    requests.append(MsgEndTransfer);
    Result.Lines = static_cast<int>(requests.size());
    SendSettingsList(requests);
    Session->LockInstrument();
    journalAccess(false);
    Passcode.reset();
    return Result;
}

bool TSettingsSender::SendSettingsList(const QList<QByteArray> &lines)
{
    TransferCompleted = false;
    if (!Engine->LinkOpen()) {
        Result.Status = TSettingsSendResult::NotStarted;
        Result.Message = LangText("Messages", "NotConnected", "Instrument not Connected");
        if (Reporter)
            Reporter->Error(Result.Message);
        return false;
    }
    const TReplyRoute previous = Engine->ReplyRoute();
    TTransferRoute route(Transfer);
    Engine->SetRouteConsumer(RouteSendSettings, &route);
    Engine->SetReplyRoute(RouteSendSettings);
    if (OnBlankMimics)
        OnBlankMimics();
    Transfer.Load(lines);
    LineIntent = 0;
    PreIntent = 0;
    TransferCompleted = RunTransfer ? RunTransfer(Transfer) : Transfer.Run();
    // A line still in flight when the transfer ended (cancelled, stopped) is not known to be done;
    // a line whose intent was written ahead was not sent.
    JournalSettled(TChangeOutcome::NotConfirmed, QStringLiteral("the transfer ended before its reply"));
    ClosePreparedLine();
    Result.Lines = static_cast<int>(lines.size());
    Result.Answered = Transfer.Done;
    Result.Refused = Transfer.Refused;
    Result.Unconfirmed = Transfer.Unconfirmed;
    Result.Message = Transfer.StopReason;
    Result.Status = TransferCompleted      ? TSettingsSendResult::Sent
                    : Transfer.Cancelled   ? TSettingsSendResult::Cancelled
                    : Transfer.LinkLost    ? TSettingsSendResult::LinkLost
                    : Transfer.SessionLost ? TSettingsSendResult::Lapsed
                                           : TSettingsSendResult::NoReply;
    {
        TBusyGuard busy(Reporter);
        Session->LockInstrument();
    }
    Session->SaveInstrumentSettings(false);
    Engine->SetRouteConsumer(RouteSendSettings, nullptr);
    Engine->SetReplyRoute(previous);
    return true;
}

// --- reading the instrument's state back ------------------------------------------------------

bool TSettingsSender::ReadBack(int command, int reg, const QByteArray &data)
{
    for (int i = 0; i < std::max(1, ReadBackAttempts); ++i) {
        if (Engine->Transact(command, reg, data, true, false))
            return true;
        if (!Engine->LinkOpen() || !Engine->LastWaitTimedOut())
            return false;
    }
    return false;
}

std::optional<int> TSettingsSender::ReadProductCount()
{
    return ::ReadProductCount(Engine, ReadBackAttempts);
}

std::optional<QByteArray> TSettingsSender::ReadCurrentProductName()
{
    return ReadProductName(Engine, ReadBackAttempts);
}

bool TSettingsSender::BeforeLine(const QByteArray &line)
{
    if (!JournalLine(line))
        return false;
    Tcommsobj msg;
    if (!msg.Decode(line) || msg.Command != CmdExecute || msg.Register != ProductAdd)
        return true;
    // An add cannot be told from its absence afterwards without the count before it.
    ProductsBefore = ReadProductCount();
    return ProductsBefore.has_value();
}

TLostReply TSettingsSender::CheckLostLine(const QByteArray &line)
{
    Tcommsobj msg;
    if (!msg.Decode(line) || msg.Command != CmdExecute)
        return ResendLine; // a write of a value (or a read) is harmless to repeat
    switch (msg.Register) {
    case ProductClearTotals:
        // Clearing cleared totals changes nothing.
        return ResendLine;
    case ProductDeleteAll: {
        // Done when one product is left.
        const std::optional<int> count = ReadProductCount();
        if (!count)
            return CheckAgain;
        return *count == 1 ? LineDone : ResendLine;
    }
    case ProductAdd: {
        const std::optional<int> count = ReadProductCount();
        if (!count)
            return CheckAgain;
        if (!ProductsBefore)
            return LineUnconfirmed;
        if (*count == *ProductsBefore + 1)
            return LineDone;
        return *count == *ProductsBefore ? ResendLine : LineUnconfirmed;
    }
    case ProductRename: {
        const std::optional<QByteArray> name = ReadCurrentProductName();
        if (!name)
            return CheckAgain;
        return *name == msg.Data ? LineDone : ResendLine;
    }
    default:
        // Another execute (the end of the transfer among them): its effect cannot be read back,
        // and it is not sent twice.
        return LineUnconfirmed;
    }
}

bool TSettingsSender::OpenLevel()
{
    // The passcode typed to open the level is kept for this send: a lapsed session is reopened with it.
    const auto ask = Session->OnPasscode;
    Session->OnPasscode = [this, ask](int level, const QString &prompt) -> std::optional<QByteArray> {
        std::optional<QByteArray> typed = ask ? ask(level, prompt) : std::nullopt;
        if (typed)
            Passcode = typed;
        return typed;
    };
    const bool open = Session->RequestAccess(Level);
    Session->OnPasscode = ask;
    return open;
}

bool TSettingsSender::Reopen(QString *why)
{
    const int reg = Level == 2 ? 0x0019 : 0x001A;
    bool open = ReadBack(CmdRead, reg, {});
    if (!open && Passcode)
        open = ReadBack(CmdWrite, reg, PasscodeText(*Passcode)) && ReadBack(CmdRead, reg, {});
    if (!open && !Passcode) {
        // Nothing typed for this send yet: the user is asked.
        open = OpenLevel();
        if (!open && why)
            *why = LangText("Messages", "WhyPasscodeUnknown", "the passcode to reopen it is not known");
    } else if (!open && why) {
        *why = Engine->LastWaitTimedOut()
                   ? LangText("Messages", "WhyNoAnswer", "the instrument did not answer")
                   : LangText("Messages", "WhyPasscodeRefused", "the instrument refused the passcode");
    }
    if (!open)
        return false;
    if (!ReadBack(CmdWrite, SessionRegister, "FF")) {
        if (why)
            *why = LangText("Messages", "WhyNotRenewed", "the instrument did not renew the session");
        return false;
    }
    return true;
}
