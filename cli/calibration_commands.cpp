// brellin-cli calibration: the figures, and the zero, span, direct mV/V and linearisation steps,
// each watched to its end and followed by the save and read-back of the desktop program.
#include "calibration/calibration.h"
#include "cli.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "values/tools.h"

#include <cstdio>
#include <unistd.h>

namespace
{

const char CalibrationUsage[] =
    "usage: calibration show | zero | span WEIGHT | direct-zero MVV | direct-span MVV | "
    "lin-set INDEX WEIGHT | lin-clear INDEX  [--passcode N]";

struct TCalibrationArgs {
    QString Step;
    QStringList Words;
    std::optional<QByteArray> Passcode;
    int Index = -1; // 0..9
    QByteArray Value;
};

// Checks the words of a step before anything is sent; the usage exit code when they are wrong.
int ParseCalibrationArgs(const QStringList &args, TCalibrationArgs &out)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == "--passcode") {
            if (i + 1 >= args.size())
                return UsageError("--passcode needs a value");
            out.Passcode = args.at(++i).toLatin1();
        } else if (a.startsWith("--")) {
            return UsageError("unknown option '" + a + "'");
        } else if (out.Step.isEmpty()) {
            out.Step = a;
        } else {
            out.Words << a;
        }
    }
    static const QMap<QString, int> wordCounts{{"show", 0},        {"zero", 0},        {"span", 1},
                                               {"direct-zero", 1}, {"direct-span", 1}, {"lin-set", 2},
                                               {"lin-clear", 1}};
    if (!wordCounts.contains(out.Step) || wordCounts.value(out.Step) != out.Words.size())
        return UsageError(CalibrationUsage);
    // Everything that can be checked without the instrument is, before it is connected.
    if (QString error; !CheckGivenPasscode(out.Passcode, error))
        return UsageError(error);
    if (out.Step == "lin-set" || out.Step == "lin-clear") {
        const TNumberRead n = ReadNumber(out.Words.first(), 0, false, QStringLiteral("a line of the list"));
        if (!n || *n < 1 || *n > 10)
            return UsageError("INDEX is the line of the list, 1..10" + (n ? QString() : ": " + n.Refusal));
        out.Index = static_cast<int>(*n) - 1;
    }
    if (!out.Words.isEmpty())
        out.Value = out.Words.last().toLatin1();
    if (out.Step.startsWith("direct-")) {
        if (const TNumberRead signal = TCalibration::ReadSignal(out.Value); !signal)
            return UsageError(signal.Refusal == TCalibration::SignalRangeMessage()
                                  ? signal.Refusal + " for '" + out.Words.last() + "' (mV/V)"
                                  : signal.Refusal);
    }
    // The weight's decimals are the instrument's: its form is checked here, its decimals once the
    // figures are read (a weight with more is refused then, before anything is sent).
    if (out.Step == "span" || out.Step == "lin-set") {
        if (const TNumberRead weight = ReadNumber(out.Words.last(), 9, true, QStringLiteral("a weight"));
            !weight)
            return UsageError(weight.Refusal);
    }
    return -1;
}

// The catalogue, session and calibration of one run over the context's engine.
struct TCliCalibration {
    TDevice Device;
    TSettingsTreeModel Tree{&Device};
    TSession Session;
    TCalibration Calibration;
    TCliPasscode Passcode;
    bool Silent = false;
    bool Progress = false; // the seconds are shown on a terminal only

    TCliCalibration(TCliContext &ctx, const TCalibrationArgs &opts)
        : Session(ctx.Engine.get(), &Device, &Tree),
          Calibration(ctx.Engine.get(), &Device, &Session), Passcode{opts.Passcode}
    {
        // A silent instrument ends the command after one time-out, not one per figure.
        Device.OnExchange = [this, &ctx](const QByteArray &request) {
            if (Silent)
                return QByteArray();
            const QByteArray reply = ctx.Engine->TransactText(request);
            Silent = reply.isEmpty() && ctx.Engine->LastWaitTimedOut();
            return reply;
        };
        Session.Reporter = &ctx.Reporter;
        Passcode.AnswerFor(Session);
        Calibration.Reporter = &ctx.Reporter;
        Calibration.OnAskValue = [opts](const TCalAsk &) { return std::optional<QByteArray>(opts.Value); };
        Progress = ::isatty(STDERR_FILENO) != 0;
        Calibration.OnWatching = [this](int seconds) {
            if (Progress)
                std::fprintf(stderr, "\r%s", TCalibration::WatchText(seconds).toLocal8Bit().constData());
        };
        Calibration.OnWatchEnded = [this] {
            if (Progress)
                std::fputc('\n', stderr);
        };
    }

    int AccessFailure(const TCliContext &ctx) const
    {
        if (!ctx.Engine->LinkOpen() || ctx.Engine->LastWaitTimedOut())
            return ExitNoReply;
        if (Passcode.Used)
            std::fprintf(stderr, "brellin-cli: the instrument refused the passcode for the full level\n");
        else
            std::fprintf(stderr,
                         "brellin-cli: the full level is locked: give its passcode in BRELLIN_PASSCODE "
                         "or with --passcode N\n");
        return ExitRefused;
    }

    // Opens a full session as the Calibration tab has it; the exit code on failure, else -1.
    int Start(TCliContext &ctx)
    {
        if (!Session.CheckInstrumentKnown())
            return ctx.Engine->LinkOpen() && !Silent ? ExitRefused : ExitNoReply;
        Device.ExtendSession();
        if (!Session.RequestAccess(2))
            return AccessFailure(ctx);
        Device.FullAccess = true;
        Session.SetSessionControls(true, true);
        Session.Caption = "CALIBRATION";
        Session.JournalSession(true);
        return -1;
    }

    void End(TCliContext &ctx)
    {
        if (!ctx.Engine->LinkOpen())
            return;
        ctx.Engine->Transact(CmdWrite, 0x00EF, "01", true, false);
        if (Session.SessionActive)
            Session.JournalSession(false);
        Session.SetSessionControls(false, false);
        Session.LockInstrument();
    }

    void PrintFigures() const
    {
        // A figure whose read failed says so rather than showing 0.
        PrintLine("Zero: " + Device.CalZeroText() + (Device.CalZeroKnown ? " mV/V" : ""));
        PrintLine("Fullscale: " + Device.CalSpanText() + (Device.CalSpanKnown ? " mV/V" : ""));
        PrintLine("Calibration Weight: " + Device.CalWeightText());
        PrintLine("Linearisation:");
        for (const QByteArray &line : Device.LinearisationList())
            PrintLine(line);
    }
};

TCalOutcome Perform(TCliCalibration &c, const TCalibrationArgs &opts)
{
    TCalibration &cal = c.Calibration;
    if (opts.Step == "zero")
        return cal.Zero();
    if (opts.Step == "span")
        return cal.Span();
    if (opts.Step == "direct-zero")
        return cal.DirectZero();
    if (opts.Step == "direct-span")
        return cal.DirectSpan();
    if (opts.Step == "lin-set")
        return cal.SetPoint(opts.Index);
    return cal.ClearPoint(opts.Index);
}

// The exit code of a step: 0 only when it is confirmed; messages not yet given go to stderr.
int CalibrationExit(const TCliCalibration &c, const TCliContext &ctx, const TCalOutcome &out)
{
    const bool silent = !ctx.Engine->LinkOpen() || c.Silent;
    switch (out.End) {
    case TCalEnd::Done:
        break;
    case TCalEnd::ResultCode: // "Error: N - text" is on stderr already
    case TCalEnd::Refused:
        return ExitRefused;
    case TCalEnd::NoAccess:
        return c.AccessFailure(ctx);
    case TCalEnd::BadEntry:
        return ExitUsage;
    case TCalEnd::NoReply:
        if (out.Message.isEmpty())
            std::fprintf(stderr,
                         "brellin-cli: the instrument stopped answering: the step's outcome is not known\n");
        return ExitNoReply;
    default: // lost link, an unconfirmed step: the core has said what is known
        return ExitNoReply;
    }
    // After a step, a settings save that was not confirmed or figures that could not be read back
    // are failures of their own (the core has said which).
    if (!out.ReadBack)
        std::fprintf(stderr, "brellin-cli: some calibration figures could not be read back\n");
    if (!out.Saved)
        return silent ? ExitNoReply : ExitRefused;
    if (!out.ReadBack)
        return ExitNoReply;
    return out.Confirmed() ? ExitDone : ExitNoReply;
}

int Calibration(TCliContext &ctx, const QStringList &args)
{
    TCalibrationArgs opts;
    if (const int usage = ParseCalibrationArgs(args, opts); usage >= 0)
        return usage;
    int exit = ExitDone;
    if (!ctx.EnsureConnected(exit) || (opts.Step != "show" && !ctx.OpenJournal(exit)))
        return exit;
    TCliCalibration c(ctx, opts);
    if (const int failed = c.Start(ctx); failed >= 0)
        return failed;

    if (opts.Step == "show") {
        if (!c.Calibration.ReadBack()) {
            std::fprintf(stderr, "brellin-cli: some calibration figures could not be read\n");
            exit = ctx.Engine->LinkOpen() && !c.Silent ? ExitRefused : ExitNoReply;
        }
        c.PrintFigures();
        c.End(ctx);
        return exit;
    }

    // The figures first: the weight's decimals and the dialog's presets come from them.
    if (!c.Calibration.ReadBack()) {
        std::fprintf(stderr, "brellin-cli: the calibration figures could not be read: nothing was sent\n");
        exit = ctx.Engine->LinkOpen() && !c.Silent ? ExitRefused : ExitNoReply;
        c.End(ctx);
        return exit;
    }
    const TCalOutcome out = Perform(c, opts);
    exit = CalibrationExit(c, ctx, out);
    // "Done" only when the instrument finished the step, confirmed the save and the figures were
    // read back; every other ending has said on stderr what was and was not confirmed.
    if (exit == ExitDone)
        PrintLine("Calibration done");
    if (out.Sent && out.End != TCalEnd::LinkLost)
        c.PrintFigures();
    c.End(ctx);
    return exit;
}

TCliRegistrar calibrationCommand{
    {"calibration",
     "            calibration show [--passcode N]\n"
     "                                  zero and fullscale in mV/V, the calibration weight with units, and\n"
     "                                  the ten linearisation lines\n"
     "            calibration zero | span WEIGHT [--passcode N]\n"
     "                                  run the step and watch it to its end; then the instrument saves its\n"
     "                                  settings and the figures are read back and printed; a result code\n"
     "                                  gives \"Error: N - text\" on stderr and exit 1; \"Calibration "
     "done\"\n"
     "                                  only when the instrument's calibration counter moved, the save was\n"
     "                                  confirmed and the figures were read back (a direct entry: read back\n"
     "                                  equal to what was sent)\n"
     "            calibration direct-zero MVV | direct-span MVV [--passcode N]\n"
     "                                  enter the signal directly, e.g. -0.0150 (range -3.0000 to 3.0000)\n"
     "            calibration lin-set INDEX WEIGHT | lin-clear INDEX [--passcode N]\n"
     "                                  set or clear a linearisation point, INDEX 1..10 as the list shows "
     "it\n"
     "                                  (all need the full level; when it is locked the passcode comes from\n"
     "                                  --passcode N, else BRELLIN_PASSCODE, else the terminal)",
     true, Calibration}};

} // namespace
