// brellin-cli: register access, settings and record store from the command line.
#include "cli.h"
#include "link/cable.h"
#include "values/valuetext.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

const char Usage[] = R"(brellin-cli [connection] COMMAND [ARGS]
connection: --tcp HOST[:PORT]   (PORT default 2222)
            --serial DEVICE [--baud N] [--data-bits 7|8] [--stop-bits 1|2] [--parity none|odd|even]
                            [--cable rs232|optical|fast-optical]
                            (the optical cables run 9600 baud 8N1 to address 0; the fast one
                            then raises both ends to 57600)
            --address N     unit address 0..31 (default 0)
            --timeout SEC   reply time-out (default 2.0 on serial, 7.0 on TCP)
            -v, --verbose   echo the traffic to stderr as the Test tab shows it (">>>" for sent frames)
            --no-cache      read every menu in full and remember no menu structure. Otherwise the
                            structure of each model and version read is kept in the user's cache
                            folder (~/.cache/brellin/menus; delete it to clear), a later read asks
                            only each menu's list, its first item's name and the values, and any
                            answer that does not fit drops that model's structure and reads again
REG is hexadecimal, with or without 0x.
exit codes: 0 done; 1 the instrument refused (stderr: the "Error :- Register %.04x: %s" text);
            2 usage error, also a number, passcode or output folder refused before connecting;
            3 no connection or no reply (find: no instrument answered), or an
            upload cut short (what arrived is kept; upload again to continue); 4 tamper evidence
            (store commands);
            5 a file could not be read or written, or is malformed;
            6 settings compare found differences, or a factory test point lies outside the trade limits;
            7 store extract: no record lies in the selected range (no file written);
            8 report factory: the record holds no test points (no pass or fail);
            9 store upload: the instrument's records no longer continue its store file (its
            numbering restarted or its records differ): nothing was stored (--new-sequence);
            10 store upload: the new records were stored, but records before them were no longer
            on the instrument (the message names them);
            11 the instrument's menus or records passed a limit below: nothing past it was read or
            stored (settings dump and save: no file; store upload: the records before it are stored).
            The store commands that read a store (list, upload, verify, extract) give its tamper
            verdict on stderr (verify: stdout) and exit 4 when it shows evidence, the file being
            written all the same; 2, 3, 5, 7, 9 and 11 go before 4, and 4 before 10.
INT, TERM and HUP end an upload, an extraction, a log recording and a settings send as Ctrl-C
does: what arrived is kept, locks are released, a session is ended, exit 3.
limits:     a menu walk (settings dump, save) reads at most 10000 menu items and 32 menu levels
            (a menu lists what one reply holds); an upload reads no record past the newest one the
            instrument reported when it started (later ones wait for the next upload) and stores no
            record longer than 186 characters, the room of a store line (it stops before one, exit
            11); a store file is read until 10000 lines in a row hold no record (then it is no store
            file, exit 5, or a tampered one, exit 4). Every file written (settings, CSV, logs, PNG)
            is complete or not there: one that cannot be written whole keeps the earlier file (exit 5).
)";

void PrintCommandHelp(const TCliCommand &command)
{
    std::fputs("usage: brellin-cli [connection] COMMAND [ARGS]   (brellin-cli --help: the connection "
               "options and exit codes)\n",
               stdout);
    std::printf("%s\n", command.Synopsis.toLocal8Bit().constData());
}

void PrintHelp()
{
    std::fputs(Usage, stdout);
    std::fputs("commands:\n", stdout);
    for (const TCliCommand &c : CliCommands())
        std::printf("%s\n", c.Synopsis.toLocal8Bit().constData());
}

// "report factory --png FILE" draws the chart with the window's widgets: only then is the widget side
// started, on the offscreen platform unless one is chosen, so that it works without a display (in CI,
// under ssh). Every other command stays a plain console program.
std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv)
{
    bool report = false, png = false;
    for (int i = 1; i < argc; ++i) {
        report = report || std::strcmp(argv[i], "report") == 0;
        png = png || (report && std::strcmp(argv[i], "--png") == 0);
    }
    if (!png)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Off a desktop login (cron, ssh, CI) the widget side notes on stderr that it picked a runtime
    // folder itself. That is no news to the user of a command-line tool: only that note is dropped.
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context,
                                         const QString &text) {
        if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
            return;
        if (previous)
            previous(type, context, text);
    });
    return std::make_unique<QApplication>(argc, argv);
}

bool ParseInt(const QString &text, int low, int high, int &out)
{
    const TNumberRead v = ReadNumber(text, 0, low < 0);
    if (!v || *v < low || *v > high)
        return false;
    out = static_cast<int>(*v);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    QCoreApplication::setApplicationName("brellin-cli");
    QCoreApplication::setApplicationVersion("1.51");
    QStringList args = QCoreApplication::arguments().mid(1);

    TCliContext ctx;
    TCliOptions &o = ctx.Options;
    bool baudGiven = false, lineGiven = false, addressGiven = false;
    // Connection options come first; the first other word is the command.
    while (!args.isEmpty()) {
        const QString a = args.first();
        auto value = [&](QString &out) {
            if (args.size() < 2)
                return false;
            out = args.at(1);
            args.remove(0, 2);
            return true;
        };
        QString v;
        if (a == "--help" || a == "-h") {
            PrintHelp();
            return ExitDone;
        } else if (a == "--version") {
            std::printf("brellin-cli 1.51\n");
            return ExitDone;
        } else if (a == "-v" || a == "--verbose") {
            o.Verbose = true;
            args.removeFirst();
        } else if (a == "--no-cache") {
            o.NoCache = true;
            args.removeFirst();
        } else if (a == "--tcp") {
            if (!value(v) || v.isEmpty())
                return UsageError("--tcp needs HOST[:PORT]");
            const int colon = v.lastIndexOf(':');
            if (colon >= 0 && v.count(':') == 1) {
                if (!ParseInt(v.mid(colon + 1), 1, 65535, o.TcpPort))
                    return UsageError("bad TCP port in '" + v + "'");
                v = v.left(colon);
            }
            o.TcpHost = v;
        } else if (a == "--serial") {
            if (!value(o.SerialDevice) || o.SerialDevice.isEmpty())
                return UsageError("--serial needs a device");
        } else if (a == "--baud") {
            if (!value(v) || !ParseInt(v, 50, 4000000, o.Baud))
                return UsageError("--baud needs a bit rate");
            baudGiven = true;
        } else if (a == "--data-bits") {
            if (!value(v) || !ParseInt(v, 7, 8, o.DataBits))
                return UsageError("--data-bits is 7 or 8");
            lineGiven = true;
        } else if (a == "--stop-bits") {
            if (!value(v) || !ParseInt(v, 1, 2, o.StopBits))
                return UsageError("--stop-bits is 1 or 2");
            lineGiven = true;
        } else if (a == "--parity") {
            if (!value(v))
                return UsageError("--parity is none, odd or even");
            static const QStringList names{"none", "odd", "even"};
            o.Parity = static_cast<int>(names.indexOf(v));
            if (o.Parity < 0)
                return UsageError("--parity is none, odd or even");
            lineGiven = true;
        } else if (a == "--cable") {
            if (!value(v))
                return UsageError("--cable is rs232, optical or fast-optical");
            static const QStringList names{"rs232", "optical", "fast-optical"};
            o.Cable = static_cast<int>(names.indexOf(v));
            if (o.Cable < 0)
                return UsageError("--cable is rs232, optical or fast-optical");
        } else if (a == "--address") {
            if (!value(v) || !ParseInt(v, 0, 31, o.Address))
                return UsageError("--address is 0..31");
            addressGiven = true;
        } else if (a == "--timeout") {
            if (!value(v))
                return UsageError("--timeout needs seconds (for example 2.5)");
            // Read strictly, to the millisecond: "nan", "1e3" or "2,5s" are no time-out.
            const TNumberRead seconds = ReadNumber(v, 3, false, QStringLiteral("a number of seconds"));
            if (!seconds)
                return UsageError("--timeout: " + seconds.Refusal);
            if (*seconds <= 0 || *seconds > 600000)
                return UsageError("--timeout is more than 0 and at most 600 seconds (for example 2.5)");
            o.TimeoutSeconds = static_cast<double>(*seconds) / 1000.0;
        } else {
            break;
        }
    }
    o.LineGiven = lineGiven;
    o.RateOrAddressGiven = baudGiven || addressGiven;
    if (!o.TcpHost.isEmpty() && !o.SerialDevice.isEmpty())
        return UsageError("give either --tcp or --serial, not both");
    if (CableFixesLine(o.Cable)) {
        // The optical cables fix the line as the connection dialog does; a different value given
        // with them would be silently ignored there, so it is refused here.
        const TSerialLineSettings fixed = ImposeCableSettings(o.Cable, {});
        if ((baudGiven && o.Baud != fixed.Baud) ||
            (lineGiven &&
             (o.DataBits != fixed.DataBits || o.StopBits != fixed.StopBits || o.Parity != fixed.Parity)) ||
            (addressGiven && o.Address != fixed.UnitAddress))
            return UsageError(
                QStringLiteral("--cable %1 runs at %2 baud, 8 data bits, no parity, 1 stop bit, "
                               "address %3: leave out --baud, --data-bits, --stop-bits, "
                               "--parity and --address")
                    .arg(o.Cable == CableOptical ? "optical" : "fast-optical")
                    .arg(fixed.Baud)
                    .arg(fixed.UnitAddress));
        o.Baud = fixed.Baud;
        o.DataBits = fixed.DataBits;
        o.StopBits = fixed.StopBits;
        o.Parity = fixed.Parity;
        o.Address = fixed.UnitAddress;
    }
    if (args.isEmpty())
        return UsageError("no command given");

    const QString name = args.takeFirst();
    ctx.CommandLine = QStringList{name} + args;
    // Every command that changes the instrument keeps its journal in the store folder: --store
    // DIR names another one (the store and journal commands read it themselves).
    if (name != "store" && name != "journal") {
        const qsizetype at = args.indexOf("--store");
        if (at >= 0) {
            if (at + 1 >= args.size() || args.at(at + 1).isEmpty())
                return UsageError("--store needs a folder");
            ctx.StoreDir = args.at(at + 1);
            args.remove(at, 2);
        }
    }
    for (const TCliCommand &c : CliCommands()) {
        if (c.Name != name)
            continue;
        if (args.contains("--help") || (!args.isEmpty() && args.first() == "-h")) {
            PrintCommandHelp(c);
            return ExitDone;
        }
        // The command checks its arguments and connects itself: a usage error never opens the link.
        if (c.NeedsConnection && !o.HasConnection())
            return UsageError("'" + name + "' needs a connection: --tcp HOST[:PORT] or --serial DEVICE");
        const int code = c.Run(ctx, args);
        if (ctx.LinkLost)
            std::fprintf(stderr, "brellin-cli: the connection to %s was lost\n",
                         ctx.Where.toLocal8Bit().constData());
        ctx.Disconnect();
        return code;
    }
    return UsageError("unknown command '" + name + "'");
}
