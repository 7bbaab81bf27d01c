// brellin-cli log: records the weight and up to four digital traces to a log file, as the Log tab
// does, until a time has passed or Ctrl-C (TERM, HUP); every accepted sample is in the file at once.
#include "cli.h"
#include "logging/logfile.h"
#include "logging/logmodel.h"
#include "values/tools.h"
#include "values/valuetext.h"

#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

namespace
{

const char LogUsage[] =
    "usage: log [--rate 10|1|0.1] [--duration SEC] [--channels NAME,NAME,...] [--comment TEXT] -o FILE";

// Gives every received message to the log while it records, and writes what it accepts.
class TLogRecorder : public TReplyConsumer
{
public:
    TLogRecorder(TLogModel &log, TLogFileWriter &writer) : Log(log), Writer(writer) {}
    void RoutedReply(const Tcommsobj &reply, const QByteArray &) override
    {
        ++Received;
        if (Log.LogState == 0)
            return;
        if (Log.AddLogSample(reply.Data).Accepted && !Writer.AppendLast(Log))
            WriteFailed = true;
    }
    TLogModel &Log;
    TLogFileWriter &Writer;
    int64_t Received = 0;
    bool WriteFailed = false;
};

struct TLogArgs {
    int Rate = 0;
    double Seconds = 0; // 0: until Ctrl-C
    std::array<int, 4> Channels = {};
    QByteArray Comment;
    QString Output;
};

// Reads the words after "log"; an empty text when they are good, else the usage error.
QString ParseLogArgs(const QStringList &args, TLogArgs &out)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (i + 1 >= args.size())
            return a.startsWith('-') ? a + " needs a value" : "unexpected '" + a + "'";
        const QString v = args[++i];
        if (a == "--rate") {
            static const QStringList rates{"10", "1", "0.1"};
            out.Rate = static_cast<int>(rates.indexOf(v));
            if (out.Rate < 0)
                return "--rate is 10, 1 or 0.1 (samples per second)";
        } else if (a == "--duration") {
            // Read strictly, to the millisecond: "nan" would never end.
            const TNumberRead seconds = ReadNumber(v, 3, false, QStringLiteral("a number of seconds"));
            if (!seconds)
                return "--duration: " + seconds.Refusal;
            if (*seconds <= 0 || *seconds > 31000000000LL)
                return "--duration is more than 0 and at most 31000000 seconds (for example 60)";
            out.Seconds = static_cast<double>(*seconds) / 1000.0;
        } else if (a == "--channels") {
            const QStringList names = v.split(',');
            if (names.size() > 4)
                return "--channels takes at most four names";
            for (qsizetype n = 0; n < names.size(); ++n) {
                const int index = LogChannelIndex(names[n].trimmed().toLatin1());
                if (index < 0)
                    return "unknown channel '" + names[n] + "' (None, CofZ, Zero, Motion, Net, IO1 .. IO32)";
                out.Channels[static_cast<size_t>(n)] = index;
            }
        } else if (a == "--comment") {
            if (v.contains('\r') || v.contains('\n'))
                return "--comment is one line";
            out.Comment = v.toUtf8(); // log files are UTF-8, whatever the terminal's locale
        } else if (a == "-o") {
            out.Output = v;
        } else {
            return "unexpected '" + a + "'";
        }
    }
    if (out.Output.isEmpty())
        return "log needs -o FILE";
    if (QString error; !CheckOutputFolder(out.Output, error))
        return error;
    return {};
}

int Log(TCliContext &ctx, const QStringList &args)
{
    TLogArgs a;
    if (const QString bad = ParseLogArgs(args, a); !bad.isEmpty())
        return UsageError(bad + "\n" + LogUsage);
    // Connected only once the words are known to be good.
    if (!ctx.Options.HasConnection())
        return UsageError("'log' needs a connection: --tcp HOST[:PORT] or --serial DEVICE");
    if (!ctx.Connect())
        return ExitNoReply;
    TTransactionEngine &engine = *ctx.Engine;

    TLogModel log;
    log.Comment = a.Comment;
    TLogChoices choices;
    choices.RateIndex = a.Rate;
    choices.Channels = a.Channels;
    log.BeginRecording();
    // The decimals and units of the weight; a refusal leaves 0 decimals and no units.
    if (engine.Transact(CmdReadFormatted, 0x0025, {}, true, true))
        log.TakeFormattedWeight(engine.LastReply.Data);
    const bool silent = !engine.LinkOpen() || engine.LastWaitTimedOut();
    log.ResetLogChart(true, choices);

    TLogFileWriter writer;
    QString error;
    if (!writer.OpenBeside(a.Output, log, &error)) {
        ctx.Reporter.Error(error);
        return ExitFile;
    }

    TLogRecorder recorder(log, writer);
    engine.SetRouteConsumer(RouteLog, &recorder);
    engine.SetReplyRoute(RouteLog);
    // Ctrl-C, TERM and HUP end the recording; the file keeps every sample that arrived.
    TCliStopSignals stopSignals;
    QElapsedTimer clock;
    clock.start();
    // Samples stop counting the moment the time is up or Ctrl-C comes; the write that is waiting
    // then ends with its reply.
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (TCliStopSignals::Stopped() ||
            (a.Seconds > 0 && clock.elapsed() >= static_cast<qint64>(a.Seconds * 1000)))
            log.LogState = 0;
    });
    watch.start();

    int exit = ExitDone;
    log.LogState = silent ? 0 : 1;
    if (silent)
        exit = ExitNoReply;
    while (log.LogState == 1) {
        const int64_t before = recorder.Received;
        const bool answered = engine.Transact(CmdWrite, 0x004F, MsgStartLogging, true, false);
        if (recorder.WriteFailed) {
            exit = ExitFile; // said when the file is committed
            break;
        }
        if (!engine.LinkOpen()) {
            ctx.Reporter.Error(QStringLiteral("The link to the instrument closed while logging."));
            exit = ExitNoReply;
            break;
        }
        if (answered)
            continue;
        if (!engine.LastWaitTimedOut() && engine.LastReply.ErrorFlag) {
            engine.ReportRegisterError(engine.LastReply);
            exit = ExitRefused;
            break;
        }
        // A lost reply while samples still come is no reason to stop; silence is.
        if (recorder.Received == before) {
            ctx.Reporter.Error(
                QStringLiteral("The instrument stopped answering; the log holds what arrived."));
            exit = ExitNoReply;
            break;
        }
    }
    log.LogState = 0;
    watch.stop();
    engine.SetRouteConsumer(RouteLog, nullptr);
    // The recording takes the file's name only when all of it is on disk.
    if (!writer.Commit(&error)) {
        ctx.Reporter.Error(error);
        return ExitFile;
    }
    PrintLine("samples: " + QByteArray::number(writer.Lines()));
    // Without --duration a signal is the way to end the recording; with it, a signal before the
    // time was up leaves the recording shorter than asked for.
    if (TCliStopSignals::Stopped() && exit == ExitDone && a.Seconds > 0 &&
        clock.elapsed() < static_cast<qint64>(a.Seconds * 1000)) {
        std::fprintf(stderr,
                     "brellin-cli: stopped by %s after %.1f of %g s; the log holds the samples that "
                     "arrived\n",
                     TCliStopSignals::SignalName().constData(), clock.elapsed() / 1000.0, a.Seconds);
        exit = ExitNoReply;
    }
    return exit;
}

TCliRegistrar logCommand{
    {"log",
     "            log [--rate 10|1|0.1] [--duration SEC] [--channels NAME,NAME,...] [--comment TEXT] -o "
     "FILE\n"
     "                                  record weight and traces (None, CofZ, Zero, Motion, Net, IO1..IO32)\n"
     "                                  to a log file as the Log tab saves it, until SEC or Ctrl-C (or "
     "TERM,\n"
     "                                  HUP); prints \"samples: N\"; exit 3 when the instrument stops\n"
     "                                  answering, or a signal came before SEC was up",
     false, Log}};

} // namespace
