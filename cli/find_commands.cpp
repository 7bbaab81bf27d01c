// brellin-cli: the serial ports present (ports) and the search for instruments on them (find).
#include "cli.h"
#include "link/finder.h"

#include <QTimer>
#include <cmath>
#include <cstdio>
#include <optional>

namespace
{

const QStringList CableNames{"rs232", "optical", "fast-optical"};

int Ports(TCliContext &, const QStringList &args)
{
    if (!args.isEmpty())
        return UsageError("usage: ports");
    const QList<TSerialPortDetails> ports = ListSerialPorts();
    if (ports.isEmpty())
        std::fprintf(stderr, "brellin-cli: no serial ports are present\n");
    for (const TSerialPortDetails &p : ports) {
        const QString details = p.Details();
        PrintLine((details.isEmpty() ? p.Name : p.Name + "  (" + details + ")").toLocal8Bit());
    }
    return ExitDone;
}

QString RatesText(int cable)
{
    QStringList rates;
    for (int r : CableBaudRates(cable))
        rates << QString::number(r);
    QStringList addresses;
    for (int a : CableSearchAddresses(cable))
        addresses << QString::number(a);
    return QStringLiteral("%1 baud, address %2").arg(rates.join(", "), addresses.join(" and "));
}

int Find(TCliContext &ctx, const QStringList &args)
{
    const TCliOptions &o = ctx.Options;
    int cable = o.Cable;
    QStringList devices;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == "--cable") {
            cable = i + 1 < args.size() ? static_cast<int>(CableNames.indexOf(args.at(i + 1))) : -1;
            if (cable < 0)
                return UsageError("--cable is rs232, optical or fast-optical");
            ++i;
        } else if (a.startsWith('-') && a.size() > 1) {
            return UsageError("find: unknown option '" + a + "'");
        } else if (a.isEmpty()) {
            return UsageError("find: an empty device name");
        } else {
            devices << a;
        }
    }
    if (o.RateOrAddressGiven)
        return UsageError(
            "find tries every bit rate and unit address of the cable: leave out --baud and --address");
    if (!o.TcpHost.isEmpty())
        return UsageError("find searches serial ports: leave out --tcp");
    if (!o.SerialDevice.isEmpty() && !devices.contains(o.SerialDevice))
        devices.prepend(o.SerialDevice);
    if (devices.isEmpty()) {
        for (const TSerialPortDetails &p : ListSerialPorts())
            devices << p.Name;
        if (devices.isEmpty()) {
            std::fprintf(stderr, "brellin-cli: no serial ports are present: no instrument found\n");
            return ExitNoReply;
        }
    }

    TInstrumentFinder finder;
    if (o.TimeoutSeconds > 0)
        finder.AttemptMs = std::max(1, static_cast<int>(std::lround(o.TimeoutSeconds * 1000)));
    finder.Line.DataBits = o.DataBits;
    finder.Line.StopBits = o.StopBits;
    finder.Line.Parity = o.Parity;
    QStringList searched = devices;
    finder.OnPortSkipped = [&searched](const QString &port, const QString &reason) {
        searched.removeAll(port);
        std::fprintf(stderr, "brellin-cli: %s skipped: %s\n", port.toLocal8Bit().constData(),
                     reason.toLocal8Bit().constData());
    };
    if (o.Verbose)
        finder.OnProgress = [](const TSearchStep &s) {
            std::fprintf(stderr, "trying %s at %d baud, address %d (%d of %d)\n",
                         s.Port.toLocal8Bit().constData(), s.Baud, s.Address, s.Index + 1, s.Count);
        };
    finder.OnFound = [](const TFoundInstrument &f) {
        PrintLine(
            QStringLiteral("%1: %2 baud, address %3, ").arg(f.Port).arg(f.Baud).arg(f.Address).toLocal8Bit() +
            f.Identification());
    };
    // Ctrl-C, TERM and HUP end the search; what was found is printed already.
    std::optional<TCliStopSignals> stopSignals(std::in_place, [&finder] { finder.Cancel(); });
    const QList<TFoundInstrument> found = finder.Find(devices, cable);
    stopSignals.reset();

    if (finder.Cancelled())
        std::fprintf(stderr, "brellin-cli: the search was cancelled\n");
    if (!found.isEmpty())
        return ExitDone;
    if (!finder.Cancelled() && searched.isEmpty())
        std::fprintf(stderr, "brellin-cli: no port could be searched: no instrument found\n");
    else if (!finder.Cancelled())
        std::fprintf(stderr,
                     "brellin-cli: no instrument answered on %s (%s cable: %s). Check the cable type, the "
                     "instrument's bit rate and unit address, and that it is switched on.\n",
                     searched.join(", ").toLocal8Bit().constData(),
                     CableNames.at(cable).toLocal8Bit().constData(),
                     RatesText(cable).toLocal8Bit().constData());
    return ExitNoReply;
}

TCliRegistrar portsCommand{
    {"ports",
     "            ports                 the serial ports present, each with its description, "
     "manufacturer,\n"
     "                                  serial number and /dev/serial/by-id name",
     false, Ports}};
TCliRegistrar findCommand{
    {"find",
     "            find [--cable rs232|optical|fast-optical] [DEVICE...]\n"
     "                                  ask each DEVICE (default: every port 'ports' lists) at each bit "
     "rate\n"
     "                                  of the cable (rs232: 9600, 57600, 19200, 4800, 2400, 1200; optical:\n"
     "                                  9600; fast-optical: 9600, 57600) and unit addresses 0 and 1 (the\n"
     "                                  optical cables: 0) for its serial number; prints one line per\n"
     "                                  instrument that answers: \"PORT: BAUD baud, address N, SN: S, MODEL\n"
     "                                  VERSION\"; changes nothing on it; --timeout SEC is the wait per\n"
     "                                  attempt (default 0.3); exit 3 when none answers",
     false, Find}};

} // namespace
