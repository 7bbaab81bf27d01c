// brellin-cli: identification and single register access (read, write, execute, raw text).
#include "cli.h"
#include "settings/device.h"

namespace
{

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
    if (!ctx.Engine->Transact(command, reg, data, true, true))
        return ctx.FailureExit();
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
    QByteArray reply;
    engine.OnReplyText = [&reply](const QByteArray &text) {
        if (reply.isEmpty())
            reply = text;
    };
    engine.SendFrame(words.at(0).toLatin1(), !noCrc);
    engine.WaitUntil([&] { return !reply.isEmpty() || !engine.LinkOpen(); }, engine.TimeoutTicks * 100);
    engine.OnReplyText = nullptr;
    if (reply.isEmpty()) {
        if (engine.LinkOpen())
            ctx.Reporter.Error(QStringLiteral("Instrument not responding"));
        return ExitNoReply;
    }
    PrintLine(reply);
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
    {"raw", "            raw TEXT [--no-crc]   send one message text, print the reply text", true, Raw}};

} // namespace
