// brellin-cli: identification and single register access (read, write, execute, raw text).
#include "cli.h"
#include "display/VornTables.h"
#include "display/keypress.h"
#include "journal/journalscope.h"
#include "link/comms.h"
#include "settings/device.h"

namespace
{

int JournalRefused(TCliContext &ctx, const TJournalScope &journal)
{
    ctx.Reporter.Error(QStringLiteral("The change journal could not be written (%1): nothing was sent.")
                           .arg(journal.Error()));
    return ExitFile;
}

// A register's value as the instrument reads it, without a message when it does not.
std::optional<QByteArray> ReadQuietly(TCliContext &ctx, int reg)
{
    if (!ctx.Engine->Transact(CmdRead, reg, {}, true, false))
        return std::nullopt;
    return ctx.Engine->LastReply.Data;
}

// A value write, recorded with the value before and the value read back after. A lost reply is
// settled by the read-back: the value asked for is there, or it is not confirmed.
int CheckedWrite(TCliContext &ctx, int reg, const QByteArray &data)
{
    TChangeEvent event;
    event.Kind = "write";
    event.Command = CmdWrite;
    event.Register = reg;
    event.Asked = data;
    event.Before = ReadQuietly(ctx, reg).value_or(QByteArray());
    TJournalScope journal(ctx.Engine.get(), event);
    if (!journal.Allowed())
        return JournalRefused(ctx, journal);
    const bool written = ctx.Engine->TransactAs(TRequestKind::ValueWrite, CmdWrite, reg, data, true);
    const bool answered = written || (ctx.Engine->LinkOpen() && !ctx.Engine->LastWaitTimedOut());
    const QByteArray replyData = written ? ctx.Engine->LastReply.Data : QByteArray();
    const QString refusal =
        answered && !written ? QString::fromLatin1(ctx.Engine->LastReply.ErrorText()).trimmed() : QString();
    const int failure = written ? ExitDone : ctx.FailureExit();
    const std::optional<QByteArray> readBack =
        ctx.Engine->LinkOpen() ? ReadQuietly(ctx, reg) : std::optional<QByteArray>();
    TChangeResult result;
    result.ReadBack = readBack.value_or(QByteArray());
    if (written) {
        result.Outcome = TChangeOutcome::Confirmed;
        if (!readBack)
            result.Note = QStringLiteral("acknowledged; the value could not be read back");
    } else if (answered) {
        result.Outcome = TChangeOutcome::Refused;
        result.Text = refusal;
    } else if (readBack && *readBack == data) {
        result.Outcome = TChangeOutcome::Confirmed;
        result.Note = QStringLiteral("no reply; the value read back is the one asked for");
    } else {
        result.Text = readBack ? QStringLiteral("no reply, and the value read back differs")
                               : QStringLiteral("no reply, and the value could not be read back");
    }
    journal.Finish(result);
    if (!written)
        return failure;
    if (!replyData.isEmpty())
        PrintLine(replyData);
    return ExitDone;
}

// A key (register 8): sent once, PRINT checked against the newest record after a lost reply.
int KeyCommand(TCliContext &ctx, const QByteArray &data)
{
    bool ok = false;
    const int code = data.toInt(&ok, 16);
    if (!ok) {
        // Not a key code: the instrument says why.
        if (!ctx.Engine->TransactAs(TRequestKind::Command, CmdWrite, VornKeyRegister, data, true))
            return ctx.FailureExit();
        return ExitDone;
    }
    QString journalError;
    const TKeyResult result = PressKeyJournalled(*ctx.Engine, code, journalError);
    if (!journalError.isEmpty()) {
        ctx.Reporter.Error(QStringLiteral("The change journal could not be written (%1): nothing was sent.")
                               .arg(journalError));
        return ExitFile;
    }
    switch (result.Outcome) {
    case TKeyOutcome::Confirmed:
        return ExitDone;
    case TKeyOutcome::Refused:
        ctx.Reporter.Error(result.Message);
        return ExitRefused;
    case TKeyOutcome::NotConfirmed:
    case TKeyOutcome::LinkLost:
        ctx.Reporter.Error(result.Message);
        return ExitNoReply;
    }
    return ExitNoReply;
}

int RegisterCommand(TCliContext &ctx, const QStringList &args, int command, int minArgs, int maxArgs,
                    const char *what)
{
    if (args.size() < minArgs || args.size() > maxArgs)
        return UsageError(QStringLiteral("usage: %1").arg(what));
    int reg = 0;
    if (!ParseRegister(args.at(0), reg))
        return UsageError("'" + args.at(0) + "' is not a register (hexadecimal, 0000..FFFF)");
    QString error;
    if (args.size() > 1 && !CheckMessageText(args.at(1), command == CmdWrite ? "DATA" : "ARG", error))
        return UsageError(error);
    const QByteArray data = args.size() > 1 ? args.at(1).toLatin1() : QByteArray();
    int exit = ExitDone;
    if (!ctx.EnsureConnected(exit))
        return exit;
    // Commands and cursor reads go out once; their lost reply is said here, not as a time-out.
    const TRequestKind kind = ClassifyRequest(command, reg);
    // Whatever changes the instrument goes into its journal first.
    if ((kind == TRequestKind::ValueWrite || kind == TRequestKind::Command) && !ctx.OpenJournal(exit))
        return exit;
    if (command == CmdWrite && reg == VornKeyRegister)
        return KeyCommand(ctx, data);
    if (command == CmdWrite && kind == TRequestKind::ValueWrite)
        return CheckedWrite(ctx, reg, data);
    if (!ctx.Engine->TransactAs(kind, command, reg, data, true, !RequestResendable(kind))) {
        if (!ctx.Engine->LinkOpen() || !ctx.Engine->LastRequestUnconfirmed())
            return ctx.FailureExit();
        const QString regText = QStringLiteral("%1").arg(reg, 4, 16, QLatin1Char('0')).toUpper();
        if (kind == TRequestKind::Cursor)
            ctx.Reporter.Error(
                QStringLiteral("The instrument did not answer the request to register %1; it may "
                               "have moved on past what it would have shown: read by number "
                               "(exec 8291 N for a record) to see where it stands.")
                    .arg(regText));
        else
            ctx.Reporter.Error(
                QStringLiteral("The request to register %1 was not confirmed by the instrument: "
                               "look at its display before sending it again.")
                    .arg(regText));
        return ExitNoReply;
    }
    if (command == CmdRead || !ctx.Engine->LastReply.Data.isEmpty())
        PrintLine(ctx.Engine->LastReply.Data);
    return ExitDone;
}

int Ident(TCliContext &ctx, const QStringList &args)
{
    if (!args.isEmpty())
        return UsageError("usage: ident");
    int exit = ExitDone;
    if (!ctx.EnsureConnected(exit))
        return exit;
    TDevice device;
    // After one read has gone unanswered (sent twice), do not wait for the others too.
    bool silent = false;
    bool refused = false;
    device.OnExchange = [&ctx, &silent, &refused](const QByteArray &request) {
        if (silent)
            return QByteArray();
        const QByteArray reply = ctx.Engine->TransactText(request);
        silent = reply.isEmpty() && ctx.Engine->LastWaitTimedOut();
        // A refusal has been reported with its register and text.
        refused = refused || (!reply.isEmpty() && ctx.Engine->LastReply.ErrorFlag);
        return reply;
    };
    device.ReadIdentity();
    if (silent || !ctx.Engine->LinkOpen())
        return ExitNoReply;
    if (refused)
        return ExitRefused;
    if (device.SerialNumber.isEmpty() && device.ModelText.isEmpty() && device.CommsType.isEmpty())
        return ExitNoReply;
    PrintLine("serial number: " + device.SerialNumber);
    PrintLine("model: " + device.ModelText);
    PrintLine("version: " + device.VersionText);
    PrintLine("comms type: " + device.CommsType);
    return ExitDone;
}

// Whether a received text answers the request sent: a reply (not a request) on its register with
// its command. A text that is not a message answers nothing. Empty when it does, else why not.
QString NotTheReply(const QByteArray &sent, const QByteArray &received)
{
    Tcommsobj reply;
    if (!reply.Decode(received))
        return QStringLiteral("the reply is not a message of the instrument's protocol");
    Tcommsobj request;
    // A text that is no request message cannot be matched: whatever answers it is shown as it is.
    if (!request.Decode(sent))
        return {};
    if (reply.RequestFlag)
        return QStringLiteral("the text received is a request, not a reply");
    if (reply.Register != request.Register || reply.Command != request.Command)
        return QStringLiteral("the reply is for register %1 (command %2), not for the request sent "
                              "(register %3, command %4)")
            .arg(QString::asprintf("%04X", unsigned(reply.Register)),
                 QString::asprintf("%02X", unsigned(reply.Command)),
                 QString::asprintf("%04X", unsigned(request.Register)),
                 QString::asprintf("%02X", unsigned(request.Command)));
    return {};
}

// A raw request as the journal names it: the text asked, with its register when it is a message.
TChangeEvent RawEvent(const QByteArray &text)
{
    TChangeEvent event;
    event.Kind = "raw";
    event.Asked = text;
    Tcommsobj decoded;
    if (decoded.Decode(text)) {
        event.Command = decoded.Command;
        event.Register = decoded.Register; // a passcode register's text is kept out of the journal
    }
    return event;
}

int Raw(TCliContext &ctx, const QStringList &args)
{
    QStringList words = args;
    const bool noCrc = words.removeAll("--no-crc") > 0;
    if (words.size() != 1 || words.at(0).isEmpty())
        return UsageError("usage: raw TEXT [--no-crc]");
    QString error;
    if (!CheckMessageText(words.at(0), "TEXT", error))
        return UsageError(error);
    int exit = ExitDone;
    if (!ctx.EnsureConnected(exit))
        return exit;
    // A raw text that is not a read may change anything: it is journalled as a raw request.
    Tcommsobj asked;
    const bool read = asked.Decode(words.at(0).toLatin1()) && asked.RequestFlag &&
                      ClassifyRequest(asked.Command, asked.Register) == TRequestKind::Read;
    if (!read && !ctx.OpenJournal(exit))
        return exit;
    TTransactionEngine &engine = *ctx.Engine;
    const QByteArray sent = words.at(0).toLatin1();
    TChangeEvent event = RawEvent(sent);
    TJournalScope journal(&engine, event);
    if (!journal.Allowed())
        return JournalRefused(ctx, journal);
    TChangeResult outcome;
    QByteArray reply;
    engine.OnReplyText = [&reply](const QByteArray &text) {
        if (reply.isEmpty())
            reply = text;
    };
    engine.SendFrame(sent, !noCrc);
    engine.WaitUntil([&] { return !reply.isEmpty() || !engine.LinkOpen(); }, engine.TimeoutTicks * 100);
    engine.OnReplyText = nullptr;
    if (reply.isEmpty()) {
        outcome.Text = QStringLiteral("no reply");
        journal.Finish(outcome);
        if (engine.LinkOpen())
            ctx.Reporter.Error(QStringLiteral("Instrument not responding"));
        return ExitNoReply;
    }
    PrintLine(reply);
    // What arrived is shown as it is; whether it answers the request is said, not assumed.
    if (const QString why = NotTheReply(sent, reply); !why.isEmpty()) {
        outcome.Text = QStringLiteral("no reply to it arrived (") + why + QLatin1Char(')');
        journal.Finish(outcome);
        ctx.Reporter.Error(QStringLiteral("brellin-cli: ") + why +
                           QStringLiteral("; no reply to it arrived"));
        return ExitNoReply;
    }
    Tcommsobj decoded;
    if (decoded.Decode(reply) && decoded.ErrorFlag) {
        outcome.Outcome = TChangeOutcome::Refused;
        outcome.Text = QString::fromLatin1(decoded.ErrorText()).trimmed();
        journal.Finish(outcome);
        engine.ReportRegisterError(decoded);
        return ExitRefused;
    }
    outcome.Outcome = TChangeOutcome::Confirmed;
    outcome.ReadBack = reply;
    outcome.Note = QStringLiteral("the reply is the whole text received");
    journal.Finish(outcome);
    return ExitDone;
}

TCliRegistrar identCommand{{"ident",
                            "            ident                 serial number, model, version, comms type, "
                            "one \"name: value\" per line",
                            true, Ident}};
TCliRegistrar readCommand{
    {"read", "            read REG              print the reply's data", true,
     [](TCliContext &c, const QStringList &a) { return RegisterCommand(c, a, CmdRead, 1, 1, "read REG"); }}};
TCliRegistrar writeCommand{
    {"write", "            write REG DATA", true, [](TCliContext &c, const QStringList &a) {
         return RegisterCommand(c, a, CmdWrite, 2, 2, "write REG DATA");
     }}};
TCliRegistrar execCommand{
    {"exec", "            exec REG [ARG]", true, [](TCliContext &c, const QStringList &a) {
         return RegisterCommand(c, a, CmdExecute, 1, 2, "exec REG [ARG]");
     }}};
TCliRegistrar rawCommand{
    {"raw",
     "            raw TEXT [--no-crc]   send one message text, print the reply text; exit 3 when what\n"
     "                                  arrives is no reply to it (another register or command, garbage)",
     true, Raw}};

} // namespace
