// vornsim: the simulated Vorn instrument as a program. Prints one ready line per transport
// ("listening on 127.0.0.1:PORT", "pty PATH") on stdout, then logs to stderr with -v.
#include "simmodel.h"
#include "vornsim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace
{

int SignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(SignalPipe[1], &b, 1);
}

bool ParseNumber(const QString &text, double lo, double hi, double *out)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// The description as JSON, checked by loading it as the instrument would.
int PrintModel(const QString &file)
{
    QByteArray json = TSimModel::DefaultJson();
    if (!file.isEmpty()) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "vornsim: cannot read %s: %s\n", qPrintable(file),
                         qPrintable(in.errorString()));
            return 1;
        }
        json = in.readAll();
    }
    TSimModel model;
    QString error;
    if (!model.Load(json, &error)) {
        std::fprintf(stderr, "vornsim: %s\n", qPrintable(error));
        return 1;
    }
    const QByteArray text = QJsonDocument::fromJson(json).toJson(QJsonDocument::Indented);
    const bool written = std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout) ==
                         static_cast<size_t>(text.size());
    if (std::fflush(stdout) != 0 || !written) {
        std::fprintf(stderr, "vornsim: the description could not be written out\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornsim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated Vorn weighing instrument.\nFault options take a probability P "
                       "below 1, or a whole number N: every Nth reply.\nCounts, rates, addresses and "
                       "times (N, MS, SEC) are whole numbers."));
    parser.addHelpOption();
    const struct {
        const char *name;
        const char *value;
        const char *help;
    } options[] = {
        {"tcp", "[HOST:]PORT", "Listen on TCP (HOST defaults to 127.0.0.1; PORT 0 picks a free port)."},
        {"pty", "LINK", "Answer on a pseudo-terminal; LINK becomes a symlink to its device."},
        {"model", "FILE", "Menu description (JSON) instead of the built-in instrument."},
        {"serial-number", "N", "Serial number."},
        {"address", "N", "Unit address 1..31."},
        {"records", "N", "Records in the data store."},
        {"first-record", "N", "Number of the oldest record."},
        {"seed", "N", "Seed of records and faults."},
        {"passcode-safe", "N", "Safe passcode (0: open)."},
        {"passcode-full", "N", "Full passcode (0: open)."},
        {"session-timeout", "SEC", "Seconds a session lasts without renewal."},
        {"cal-time", "MS", "Milliseconds a calibration step stays in progress."},
        {"cal-result", "CODE", "Result code every calibration step ends with."},
        {"new-record", "MS", "A new record appears this often."},
        {"weight", "COUNTS", "Load on the cell, in counts."},
        {"noise", "COUNTS", "Peak noise of the weight."},
        {"steps", "MS:COUNTS", "Step the load by COUNTS every MS milliseconds."},
        {"log-start", "STAMP", "Time stamp of the first logging sample (0.04 s units)."},
        {"drop", "P", "Drop replies with probability P (below 1), or every Pth reply."},
        {"corrupt", "P", "Corrupt the CRC with probability P."},
        {"lowercase", "P", "Lower-case CRC digits with probability P."},
        {"wrong-register", "P", "Reply for another register with probability P."},
        {"duplicate", "P", "Send replies twice with probability P."},
        {"oversize", "P", "Send an oversized frame instead of the reply with probability P."},
        {"delay", "MS", "Delay every reply."},
        {"garbage", "P", "Garbage before a reply with probability P."},
        {"disconnect-after", "N", "Drop a TCP client after N requests."},
        {"allocation", "CASE", "Allocation table: table (the model's) or empty."},
        {"factory", "CASE",
         "Factory test record: pass, outside, none, same-temp, short, long, format or refused."},
        {"baud", "N",
         "Pace the line at N baud: characters go out and count as arriving at that rate. On the pty, "
         "characters sent at another rate are not understood."},
        {"frame-bits", "10|11", "Bits per character with --baud: 10 (8N1) or 11 (parity or two stop bits)."},
        {"turnaround", "MS", "The instrument's reply latency with --baud (default 2 ms)."},
        {"drop-on", "REG[:N]",
         "Drop the replies to the first N (1) requests on register REG (hex), after they took effect."},
        {"menu-fanout", "N", "Every menu lists N submenus (1..35) instead of its items, without end."},
        {"long-record", "N:LEN", "Record N is sent LEN characters long."},
        {"delay-on", "REG:MS",
         "Answer requests on register REG (hex) MS milliseconds late; the instrument is busy meanwhile, so "
         "the replies to later requests come after it, in order."},
    };
    for (const auto &o : options)
        parser.addOption(QCommandLineOption(QString::fromLatin1(o.name), QString::fromLatin1(o.help),
                                            QString::fromLatin1(o.value)));
    parser.addOption(QCommandLineOption(QStringLiteral("cal-result-early"),
                                        QStringLiteral("A calibration step shows its result code beside the "
                                                       "in-progress bit 0x2000 while it runs.")));
    parser.addOption(
        QCommandLineOption(QStringLiteral("refuse-all"), QStringLiteral("Refuse every request.")));
    parser.addOption(QCommandLineOption(QStringLiteral("endless-store"),
                                        QStringLiteral("A new record appears whenever the one after the "
                                                       "newest is asked for: the store never ends.")));
    parser.addOption(QCommandLineOption(QStringLiteral("lapse-locks"),
                                        QStringLiteral("A lapsed session also locks the passcode levels.")));
    parser.addOption(
        QCommandLineOption(QStringLiteral("v"), QStringLiteral("Log requests and replies to stderr.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("print-model"),
        QStringLiteral("Print the menu description (the built-in one, or the --model file) as JSON and exit; "
                       "the output, edited or not, is a file for --model.")));
    parser.process(app);
    if (parser.isSet("print-model"))
        return PrintModel(parser.value("model"));

    TVornSimConfig cfg;
    QString bad;
    // Counts, rates, times and addresses take whole numbers only: a fraction would otherwise be cut
    // off unseen (10.5 bits per character taken as 10).
    auto read = [&](const char *name, double lo, double hi, bool wholeOnly, auto setter) {
        const QString key = QString::fromLatin1(name);
        if (!parser.isSet(key))
            return;
        double v = 0;
        if (!ParseNumber(parser.value(key), lo, hi, &v) || (wholeOnly && v != std::floor(v)))
            bad = QStringLiteral("--%1: expected a %2 from %3 to %4")
                      .arg(key, wholeOnly ? QStringLiteral("whole number") : QStringLiteral("number"))
                      .arg(lo)
                      .arg(hi);
        else
            setter(v);
    };
    auto number = [&](const char *name, double lo, double hi, auto setter) {
        read(name, lo, hi, false, setter);
    };
    auto whole = [&](const char *name, double lo, double hi, auto setter) {
        read(name, lo, hi, true, setter);
    };
    if (parser.isSet("tcp")) {
        const QString where = parser.value("tcp");
        const int colon = where.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0)
            cfg.TcpHost = where.left(colon);
        bool ok = false;
        cfg.TcpPort = where.mid(colon + 1).toInt(&ok);
        if (!ok || cfg.TcpPort < 0 || cfg.TcpPort > 65535)
            bad = QStringLiteral("--tcp: expected [HOST:]PORT");
    }
    if (parser.isSet("pty")) {
        cfg.UsePty = true;
        cfg.PtyLink = parser.value("pty");
    }
    cfg.ModelFile = parser.value("model");
    whole("serial-number", 0, 4294967295.0, [&](double v) { cfg.SerialNumber = static_cast<int64_t>(v); });
    whole("address", 1, 31, [&](double v) { cfg.Address = static_cast<int>(v); });
    whole("records", 0, 10000000, [&](double v) { cfg.Records = static_cast<uint32_t>(v); });
    whole("first-record", 1, 4000000000.0, [&](double v) { cfg.FirstRecord = static_cast<uint32_t>(v); });
    whole("seed", 0, 4294967295.0, [&](double v) { cfg.Seed = static_cast<uint32_t>(v); });
    whole("passcode-safe", 0, 999999, [&](double v) { cfg.SafePasscode = static_cast<int64_t>(v); });
    whole("passcode-full", 0, 999999, [&](double v) { cfg.FullPasscode = static_cast<int64_t>(v); });
    whole("session-timeout", 1, 86400, [&](double v) { cfg.SessionTimeoutSec = static_cast<int>(v); });
    whole("cal-time", 0, 600000, [&](double v) { cfg.CalibrationStepMs = static_cast<int>(v); });
    whole("cal-result", 0, 15, [&](double v) { cfg.CalibrationResult = static_cast<int>(v); });
    whole("new-record", 0, 86400000, [&](double v) { cfg.NewRecordEveryMs = static_cast<int>(v); });
    number("weight", -1e9, 1e9, [&](double v) { cfg.WeightLevel = v; });
    number("noise", 0, 1e6, [&](double v) { cfg.WeightNoise = v; });
    whole("log-start", 0, 4294967295.0, [&](double v) { cfg.LogFirstStamp = static_cast<uint32_t>(v); });
    number("drop", 0, 1e6, [&](double v) { cfg.DropReply = v; });
    number("corrupt", 0, 1e6, [&](double v) { cfg.CorruptCrc = v; });
    number("lowercase", 0, 1e6, [&](double v) { cfg.LowerCaseCrc = v; });
    number("wrong-register", 0, 1e6, [&](double v) { cfg.WrongRegister = v; });
    number("duplicate", 0, 1e6, [&](double v) { cfg.DuplicateReply = v; });
    number("oversize", 0, 1e6, [&](double v) { cfg.OversizedFrame = v; });
    whole("delay", 0, 60000, [&](double v) { cfg.DelayMs = static_cast<int>(v); });
    number("garbage", 0, 1e6, [&](double v) { cfg.Garbage = v; });
    whole("disconnect-after", 0, 1e9, [&](double v) { cfg.DisconnectAfter = static_cast<int>(v); });
    whole("baud", 300, 1000000, [&](double v) { cfg.Baud = static_cast<int>(v); });
    whole("frame-bits", 10, 11, [&](double v) { cfg.FrameBits = static_cast<int>(v); });
    whole("turnaround", 0, 10000, [&](double v) { cfg.TurnaroundMs = static_cast<int>(v); });
    if ((parser.isSet("frame-bits") || parser.isSet("turnaround")) && !parser.isSet("baud"))
        bad = QStringLiteral("--frame-bits and --turnaround pace the line: give --baud N too");
    if (parser.isSet("steps")) {
        const QStringList parts = parser.value("steps").split(QLatin1Char(':'));
        bool ok1 = false, ok2 = false;
        if (parts.size() == 2) {
            cfg.WeightStepEveryMs = parts[0].toInt(&ok1);
            cfg.WeightStepSize = parts[1].toDouble(&ok2);
        }
        if (!ok1 || !ok2 || cfg.WeightStepEveryMs < 0)
            bad = QStringLiteral("--steps: expected MS:COUNTS");
    }
    cfg.CalibrationResultEarly = parser.isSet("cal-result-early");
    if (parser.isSet("drop-on")) {
        const QStringList parts = parser.value("drop-on").split(QLatin1Char(':'));
        bool ok1 = false, ok2 = parts.size() == 1;
        cfg.DropOnRegister = parts[0].toInt(&ok1, 16);
        if (parts.size() == 2)
            cfg.DropOnTimes = parts[1].toInt(&ok2);
        if (!ok1 || !ok2 || parts.size() > 2 || cfg.DropOnRegister < 0 || cfg.DropOnRegister > 0xFFFF ||
            cfg.DropOnTimes < 1)
            bad = QStringLiteral("--drop-on: expected REG[:N] (register in hex)");
    }
    if (parser.isSet("delay-on")) {
        const QStringList parts = parser.value("delay-on").split(QLatin1Char(':'));
        bool ok1 = false, ok2 = false;
        cfg.DelayOnRegister = parts[0].toInt(&ok1, 16);
        if (parts.size() == 2)
            cfg.DelayOnMs = parts[1].toInt(&ok2);
        if (!ok1 || !ok2 || parts.size() != 2 || cfg.DelayOnRegister < 0 || cfg.DelayOnRegister > 0xFFFF ||
            cfg.DelayOnMs < 0)
            bad = QStringLiteral("--delay-on: expected REG:MS (register in hex)");
    }
    if (parser.isSet("allocation")) {
        cfg.AllocationCase = parser.value("allocation");
        if (cfg.AllocationCase != "table" && cfg.AllocationCase != "empty")
            bad = QStringLiteral("--allocation: expected table or empty");
    }
    if (parser.isSet("factory")) {
        cfg.FactoryCase = parser.value("factory");
        const QStringList cases{"pass", "outside", "none", "same-temp", "short", "long", "format", "refused"};
        if (!cases.contains(cfg.FactoryCase))
            bad = QStringLiteral("--factory: expected one of %1").arg(cases.join(QStringLiteral(", ")));
    }
    cfg.LapseLocksLevels = parser.isSet("lapse-locks");
    cfg.RefuseAll = parser.isSet("refuse-all");
    cfg.EndlessStore = parser.isSet("endless-store");
    whole("menu-fanout", 0, 35, [&](double v) { cfg.MenuFanout = static_cast<int>(v); });
    if (parser.isSet("long-record")) {
        const QStringList parts = parser.value("long-record").split(QLatin1Char(':'));
        double n = 0, length = 0;
        if (parts.size() == 2 && ParseNumber(parts[0], 1, 4000000000.0, &n) && n == std::floor(n) &&
            ParseNumber(parts[1], 1, 1000, &length) && length == std::floor(length)) {
            cfg.LongRecord = static_cast<uint32_t>(n);
            cfg.LongRecordLength = static_cast<int>(length);
        } else {
            bad = QStringLiteral("--long-record: expected N:LEN (whole numbers, LEN up to 1000)");
        }
    }
    cfg.Verbose = parser.isSet("v");
    if (cfg.TcpPort < 0 && !cfg.UsePty)
        bad = QStringLiteral("give --tcp [HOST:]PORT and/or --pty LINK");
    if (!bad.isEmpty()) {
        std::fprintf(stderr, "vornsim: %s\n", qPrintable(bad));
        return 2;
    }

    TVornSim sim(cfg);
    sim.OnLog = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
    QString error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "vornsim: %s\n", qPrintable(error));
        return 1;
    }
    for (const QString &line : sim.ReadyLines())
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);

    // SIGINT/SIGTERM end the event loop, so that the pty link is removed on the way out.
    if (::pipe(SignalPipe) == 0) {
        auto *notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }
    const int rc = app.exec();
    sim.Stop();
    return rc;
}
