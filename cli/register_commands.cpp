// brellin-cli: identification and single register access (read, write, execute, raw text).
#include "cli.h"
#include "settings/device.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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
    const QByteArray data = args.size() > 1 ? args.at(1).toLatin1() : QByteArray();
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
    TDevice device;
    // After one read has gone unanswered (sent twice), do not wait for the others too.
    bool silent = false;
    device.OnExchange = [&ctx, &silent](const QByteArray &request) {
        if (silent)
            return QByteArray();
        const QByteArray reply = ctx.Engine->TransactText(request);
        silent = reply.isEmpty() && ctx.Engine->LastWaitTimedOut();
        return reply;
    };
    device.ReadIdentity();
    if (silent || (device.SerialNumber.isEmpty() && device.ModelText.isEmpty() && device.CommsType.isEmpty()))
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
    TTransactionEngine &engine = *ctx.Engine;
    QByteArray reply;
    engine.OnReplyText = [&reply](const QByteArray &text) {
        if (reply.isEmpty())
            reply = text;
    };
    engine.SendFrame(words.at(0).toLatin1(), !noCrc);
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = static_cast<qint64>(engine.TimeoutTicks) * 100;
    while (reply.isEmpty() && engine.LinkOpen() && clock.elapsed() < limit)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    engine.OnReplyText = nullptr;
    if (reply.isEmpty()) {
        ctx.Reporter.Error(QStringLiteral("Instrument not responding"));
        return ExitNoReply;
    }
    PrintLine(reply);
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
