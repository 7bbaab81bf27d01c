// brellin-cli: identification and single register access (read, write, execute, raw text).
#include "cli.h"
#include "display/VornTables.h"
#include "display/keypress.h"
#include "link/comms.h"
#include "settings/device.h"

namespace
{

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
    const TKeyResult result = PressKey(*ctx.Engine, code);
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
    if (command == CmdWrite && reg == VornKeyRegister)
        return KeyCommand(ctx, data);
    // Commands and cursor reads go out once; their lost reply is said here, not as a time-out.
    const TRequestKind kind = ClassifyRequest(command, reg);
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
    TTransactionEngine &engine = *ctx.Engine;
    const QByteArray sent = words.at(0).toLatin1();
    QByteArray reply;
    engine.OnReplyText = [&reply](const QByteArray &text) {
        if (reply.isEmpty())
            reply = text;
    };
    engine.SendFrame(sent, !noCrc);
    engine.WaitUntil([&] { return !reply.isEmpty() || !engine.LinkOpen(); }, engine.TimeoutTicks * 100);
    engine.OnReplyText = nullptr;
    if (reply.isEmpty()) {
        if (engine.LinkOpen())
            ctx.Reporter.Error(QStringLiteral("Instrument not responding"));
        return ExitNoReply;
    }
    PrintLine(reply);
    // What arrived is shown as it is; whether it answers the request is said, not assumed.
    if (const QString why = NotTheReply(sent, reply); !why.isEmpty()) {
        ctx.Reporter.Error(QStringLiteral("brellin-cli: ") + why +
                           QStringLiteral("; no reply to it arrived"));
        return ExitNoReply;
    }
    Tcommsobj decoded;
    if (decoded.Decode(reply) && decoded.ErrorFlag) {
        engine.ReportRegisterError(decoded);
        return ExitRefused;
    }
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
