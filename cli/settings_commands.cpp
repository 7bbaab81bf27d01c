// brellin-cli: the settings tree (dump), settings files (save, show, send) and the instrument clock.
#include "cli.h"
#include "journal/lastvisit.h"
#include "settings/SendSettings.h"
#include "settings/compare.h"
#include "settings/device.h"
#include "settings/menucache.h"
#include "settings/offline.h"
#include "settings/products.h"
#include "settings/session.h"
#include "settings/settingssave.h"
#include "settings/settingssend.h"
#include "settings/settingstree.h"

#include <QDateTime>
#include <QFileInfo>
#include <utility>

namespace
{

// Options shared by the settings commands.
struct TSettingsArgs {
    QString Menu = QStringLiteral("safe");
    std::optional<QByteArray> Passcode;
    bool Lazy = false;
    bool WithCalibration = false;
    bool Yes = false;
    bool NoSnapshot = false;
    bool Last = false;
    QString With;
    QStringList Sets; // settings edit: "MENU > ITEM=VALUE"
    QStringList Words;
};

// Reads the options; false (with the usage message printed) on a bad one. `allowed` lists the
// options the subcommand takes.
bool ParseSettingsArgs(const QStringList &args, const QStringList &allowed, TSettingsArgs &out, int &exit)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (!a.startsWith("--")) {
            out.Words << a;
            continue;
        }
        if (!allowed.contains(a)) {
            exit = UsageError("unknown option '" + a + "'");
            return false;
        }
        if (a == "--menu" || a == "--passcode" || a == "--with" || a == "--set") {
            if (i + 1 >= args.size()) {
                exit = UsageError(a + " needs a value");
                return false;
            }
            const QString v = args.at(++i);
            if (a == "--set") {
                out.Sets << v;
            } else if (a == "--menu") {
                out.Menu = v;
            } else if (a == "--with") {
                out.With = v;
            } else {
                out.Passcode = v.toLatin1();
            }
        } else if (a == "--lazy") {
            out.Lazy = true;
        } else if (a == "--with-calibration") {
            out.WithCalibration = true;
        } else if (a == "--yes") {
            out.Yes = true;
        } else if (a == "--no-snapshot") {
            out.NoSnapshot = true;
        } else if (a == "--last") {
            out.Last = true;
        }
    }
    // A passcode that is no passcode is refused before anything is sent.
    if (QString error; allowed.contains("--passcode") && !CheckGivenPasscode(out.Passcode, error)) {
        exit = UsageError(error);
        return false;
    }
    return true;
}

// The catalogue, tree and session of one command run, over the context's engine.
struct TCliSession {
    TMenuStructureCache MenuCache;
    TDevice Device;
    TSettingsTreeModel Tree{&Device};
    TSession Session;
    TCliPasscode Passcode;

    TCliSession(TCliContext &ctx, const TSettingsArgs &opts)
        : Session(ctx.Engine.get(), &Device, &Tree), Passcode{opts.Passcode}
    {
        Device.OnExchange = [&ctx](const QByteArray &request) {
            // An unanswered read is retried, and the command says in the end what it could not
            // read: a time-out on the way is no news of its own.
            ctx.Engine->NotRespondingShown = true;
            return ctx.Engine->TransactText(request);
        };
        // Reads are retried; once one stays unanswered the others are not waited for too: a silent
        // instrument ends the command in a few time-outs instead of a few per query.
        Device.ReadAttempts = SaveReadAttempts;
        Device.GiveUpWhenUnanswered = true;
        Session.Attempts = SaveReadAttempts;
        Session.Reporter = &ctx.Reporter;
        Passcode.AnswerFor(Session);
        MenuCache.Enabled = !ctx.Options.NoCache;
        MenuCache.NotKept = [told = false](const QString &why) mutable {
            if (!std::exchange(told, true))
                std::fprintf(stderr,
                             "brellin-cli: note: the menu structure was not kept for next time (%s); "
                             "the next read of this model reads its menus in full\n",
                             why.toLocal8Bit().constData());
        };
        Device.StructureCache = &MenuCache;
    }

    static int NoAnswer()
    {
        std::fprintf(stderr, "brellin-cli: the instrument did not answer\n");
        return ExitNoReply;
    }

    int AccessFailure(const TCliContext &ctx, const char *what) const
    {
        if (!ctx.Engine->LinkOpen() || ctx.Engine->LastWaitTimedOut())
            return NoAnswer();
        if (Passcode.Used)
            std::fprintf(stderr, "brellin-cli: the instrument refused the passcode for %s\n", what);
        else if (Passcode.Asked)
            std::fprintf(stderr,
                         "brellin-cli: %s is locked: give its passcode in BRELLIN_PASSCODE or with "
                         "--passcode N\n",
                         what);
        return ExitRefused;
    }

    // Starts a session on the menu the option names; the exit code on failure, else -1.
    int Start(TCliContext &ctx, const TSettingsArgs &opts, bool readAll)
    {
        const QStringList choices = Session.MenuChoices();
        if (choices.isEmpty())
            return ctx.Engine->LinkOpen() && !Device.GaveUp ? ExitRefused : NoAnswer();
        int entry = -1;
        if (opts.Menu.compare("safe", Qt::CaseInsensitive) == 0) {
            entry = 0;
        } else if (opts.Menu.compare("full", Qt::CaseInsensitive) == 0) {
            entry = 1;
        } else {
            const QStringList &names = Session.OperatorMenuNames;
            for (int i = 0; i < names.size(); ++i)
                if (names[i].compare(opts.Menu, Qt::CaseInsensitive) == 0)
                    entry = i + 2;
            if (entry < 0) {
                QStringList names;
                for (int i = 2; i < choices.size(); ++i)
                    names << choices.at(i).section(' ', 0, -2);
                return UsageError("no operator menu '" + opts.Menu + "' (the instrument has: safe, full" +
                                  (names.isEmpty() ? QString() : ", " + names.join(", ")) + ")");
            }
        }
        // An unanswered access check is said once, below.
        ctx.Engine->NotRespondingShown = true;
        if (!Session.StartSession(entry, readAll))
            return AccessFailure(ctx, entry == 1 ? "the full level" : "the safe level");
        return -1;
    }

    // Ends the session as the instrument expects, and locks it again.
    void End(TCliContext &ctx)
    {
        if (!Session.SessionActive)
            return;
        ctx.Engine->Transact(CmdWrite, 0x00EF, "01", true, false);
        Session.JournalSession(false);
        Session.SetSessionControls(false, false);
        Session.LockInstrument();
    }
};

bool NeedConnection(TCliContext &ctx, int &exit)
{
    return ctx.EnsureConnected(exit);
}

int Dump(TCliContext &ctx, const TSettingsArgs &opts)
{
    int exit = ExitDone;
    if (!opts.Words.isEmpty())
        return UsageError("usage: settings dump [--menu safe|full|NAME] [--passcode N] [--lazy]");
    if (!NeedConnection(ctx, exit))
        return exit;
    TCliSession s(ctx, opts);
    if ((exit = s.Start(ctx, opts, !opts.Lazy)) >= 0)
        return exit;
    if (!opts.Lazy) {
        const TSettingsReadResult read = CompleteSettingsTree(s.Tree, s.Device);
        if (!read.Complete()) {
            s.End(ctx);
            std::fprintf(stderr, "brellin-cli: %s%s\n", read.Message().toLocal8Bit().constData(),
                         ctx.Engine->LinkOpen() ? "" : "; the link to the instrument was closed");
            return read.LimitText.isEmpty() ? ExitNoReply : ExitLimit;
        }
    }
    for (const QByteArray &line : IndentedTreeLines(s.Tree.Tree()))
        PrintLine(line);
    s.End(ctx);
    return ExitDone;
}

int Save(TCliContext &ctx, const TSettingsArgs &opts)
{
    int exit = ExitDone;
    if (opts.Words.size() != 1)
        return UsageError("usage: settings save FILE [--menu safe|full|NAME] [--passcode N]");
    // The file is written only after everything was read: a folder it cannot go to is known first.
    if (QString error; !CheckOutputFolder(SettingsFileName(opts.Words.first()), error))
        return UsageError(error);
    if (!NeedConnection(ctx, exit) || !ctx.OpenJournal(exit))
        return exit;
    TCliSession s(ctx, opts);
    if ((exit = s.Start(ctx, opts, true)) >= 0)
        return exit;
    const QString path = SettingsFileName(opts.Words.first());
    const TSettingsSaveResult saved = SaveSettings(s.Tree, s.Device, path);
    s.End(ctx);
    if (!saved.Ok()) {
        std::fprintf(stderr, "brellin-cli: %s%s\n", saved.Message.toLocal8Bit().constData(),
                     ctx.Engine->LinkOpen() ? "" : "; the link to the instrument was closed");
        return saved.Status == TSettingsSaveResult::FileError ? ExitFile
               : saved.Status == TSettingsSaveResult::Limited ? ExitLimit
                                                              : ExitNoReply;
    }
    // The instrument's latest known state, for "what changed since my last visit".
    if (QString error; !KeepLastVisit(path, ctx.Journal->Folder(), &error)) {
        std::fprintf(stderr, "brellin-cli: %s was written, but the last visit was not kept: %s\n",
                     path.toLocal8Bit().constData(), error.toLocal8Bit().constData());
        PrintLine(path.toLocal8Bit());
        return ExitFile;
    }
    PrintLine(path.toLocal8Bit());
    return ExitDone;
}

bool ReadFile(const QString &path, QList<QByteArray> &lines, int &exit)
{
    QString error;
    if (!ReadSettingsFile(path, lines, &error)) {
        std::fprintf(stderr, "brellin-cli: %s\n", error.toLocal8Bit().constData());
        exit = ExitFile;
        return false;
    }
    return true;
}

int Show(TCliContext &, const TSettingsArgs &opts)
{
    if (opts.Words.size() != 1)
        return UsageError("usage: settings show FILE");
    QList<QByteArray> lines;
    int exit = ExitDone;
    if (!ReadFile(opts.Words.first(), lines, exit))
        return exit;
    const TMenuTree tree = PreviewSettings(lines);
    for (const QByteArray &line : IndentedTreeLines(tree))
        PrintLine(line);
    PrintLine("request lines: " + QByteArray::number(lines.size()));
    if (HasCalibrationLine(lines))
        PrintLine("calibration line: yes (sent with --with-calibration)");
    return ExitDone;
}

// Every refused line and what was not done, on stderr; the exit code: 0 all sent and accepted, 1 a
// line refused or the session lapsed, 3 the instrument stopped answering, the link went or a line's
// effect is unknown.
int SendOutcome(const TSettingsSendResult &sent)
{
    if (sent.Status == TSettingsSendResult::Cancelled && TCliStopSignals::Stopped()) {
        // Stopped by a signal after the line in flight: what the instrument took is told, and the
        // session was ended as at the end of every send.
        const qsizetype refused = sent.Refused.size();
        std::fprintf(stderr,
                     "brellin-cli: stopped by %s after %d of %d lines: %lld applied, %lld refused, %lld not "
                     "confirmed; the rest was not sent. The instrument was locked and told to save its "
                     "settings.\n",
                     TCliStopSignals::SignalName().constData(), sent.Answered + int(sent.Unconfirmed.size()),
                     sent.Lines, static_cast<long long>(sent.Answered - refused),
                     static_cast<long long>(refused), static_cast<long long>(sent.Unconfirmed.size()));
        for (const TRefusedLine &r : sent.Refused)
            std::fprintf(stderr, "brellin-cli: refused: %s  %s\n", r.Line.constData(), r.Text().constData());
        return ExitNoReply;
    }
    for (const TRefusedLine &r : sent.Refused)
        std::fprintf(stderr, "brellin-cli: refused: %s  %s\n", r.Line.constData(), r.Text().constData());
    for (const QByteArray &line : sent.Unconfirmed)
        std::fprintf(stderr,
                     "brellin-cli: no reply to %s; not sent again, so whether it took effect is not known\n",
                     line.constData());
    const QByteArray counts = sent.Counts().toLocal8Bit();
    if (sent.Status == TSettingsSendResult::NoReply) {
        std::fprintf(stderr, "brellin-cli: the instrument stopped answering: %s\n", counts.constData());
        return ExitNoReply;
    }
    if (sent.Status == TSettingsSendResult::LinkLost) {
        std::fprintf(stderr, "brellin-cli: %s: %s\n", sent.Message.toLocal8Bit().constData(),
                     counts.constData());
        return ExitNoReply;
    }
    if (sent.Status != TSettingsSendResult::Sent) {
        std::fprintf(stderr, "brellin-cli: %s: %s\n", sent.Message.toLocal8Bit().constData(),
                     counts.constData());
        return ExitRefused;
    }
    if (!sent.Refused.isEmpty() || !sent.Unconfirmed.isEmpty())
        std::fprintf(stderr, "brellin-cli: %s\n", counts.constData());
    if (!sent.Refused.isEmpty())
        return ExitRefused;
    return sent.Unconfirmed.isEmpty() ? ExitDone : ExitNoReply;
}

// Saves the instrument's settings into the journal's folder before a send ("snapshot-<time>.WSD",
// on the full level when the file carries calibration); -1 when done, else the exit code.
int TakeSnapshot(TCliContext &ctx, const TSettingsArgs &opts, bool full, QString &path,
                 QList<QByteArray> &lines)
{
    TSettingsArgs snapshotOpts = opts;
    snapshotOpts.Menu = full ? QStringLiteral("full") : QStringLiteral("safe");
    TCliSession s(ctx, snapshotOpts);
    if (const int failed = s.Start(ctx, snapshotOpts, true); failed >= 0) {
        std::fprintf(stderr, "brellin-cli: no snapshot of the instrument's settings could be made; nothing "
                             "was sent (--no-snapshot sends without one)\n");
        return failed;
    }
    path = ctx.Journal->Folder() + QStringLiteral("/snapshot-") +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".WSD");
    const TSettingsSaveResult saved = SaveSettings(s.Tree, s.Device, path);
    s.End(ctx);
    QString error;
    if (!saved.Ok() || !ReadSettingsFile(path, lines, &error)) {
        std::fprintf(stderr,
                     "brellin-cli: no snapshot of the instrument's settings could be made (%s); nothing was "
                     "sent (--no-snapshot sends without one)\n",
                     (saved.Ok() ? error : saved.Message).toLocal8Bit().constData());
        return saved.Status == TSettingsSaveResult::FileError || saved.Ok() ? ExitFile : ExitNoReply;
    }
    PreviewSettings(lines);
    TChangeEvent event;
    event.Kind = "snapshot";
    event.Note = QStringLiteral("the settings before the send: ") + path;
    ctx.Journal->Event(event, QStringLiteral("saved"));
    std::fprintf(stderr, "brellin-cli: the settings before the send were saved in %s\n",
                 path.toLocal8Bit().constData());
    return -1;
}

int Send(TCliContext &ctx, const TSettingsArgs &opts)
{
    if (opts.Words.size() != 1)
        return UsageError(
            "usage: settings send FILE [--with-calibration] [--yes] [--passcode N] [--no-snapshot]");
    QList<QByteArray> lines;
    int exit = ExitDone;
    if (!ReadFile(opts.Words.first(), lines, exit))
        return exit;
    // Every line is checked before anything is sent: a file may carry only what a save writes.
    QString error;
    if (!CheckSettingsFile(lines, &error)) {
        std::fprintf(stderr, "brellin-cli: %s: %s; nothing was sent\n",
                     opts.Words.first().toLocal8Bit().constData(), error.toLocal8Bit().constData());
        return ExitFile;
    }
    PreviewSettings(lines);
    if (lines.isEmpty()) {
        std::fprintf(stderr, "brellin-cli: %s holds no settings to send\n",
                     opts.Words.first().toLocal8Bit().constData());
        return ExitFile;
    }
    if (!NeedConnection(ctx, exit) || !ctx.OpenJournal(exit))
        return exit;
    const bool calibration = HasCalibrationLine(lines);
    const bool products = HasProductReset(lines);
    // The instrument's settings before they are overwritten: saved complete into the journal's
    // folder and named on every line of the send. Restoring them is sending that file.
    QString snapshot;
    QList<QByteArray> snapshotLines;
    if (!opts.NoSnapshot) {
        const int failed = TakeSnapshot(ctx, opts, calibration, snapshot, snapshotLines);
        if (failed >= 0)
            return failed;
    }
    TCliSession s(ctx, opts);
    ctx.Reporter.AnswerYes = opts.Yes;
    TSettingsSender sender(ctx.Engine.get(), &s.Session, &ctx.Reporter);
    if (!snapshot.isEmpty())
        sender.SetSnapshot(snapshot, snapshotLines);
    // A line's lost reply is given up on after the reply time-out, as every other request.
    sender.Transfer.SetReplyWait(ctx.ReplyTimeoutMs());
    // INT, TERM and HUP stop the transfer after the line in flight; the session is then ended.
    TCliStopSignals stopSignals([&sender] { sender.Transfer.StopAfterLine(); });
    ctx.Engine->NotRespondingShown = true; // an unanswered access check is said once, below
    const TSettingsSendResult sent = sender.SendFile(lines, opts.WithCalibration);
    if (sent.Status != TSettingsSendResult::NotStarted)
        return SendOutcome(sent);
    if (products && !opts.Yes && (s.Passcode.Used || !s.Passcode.Asked) && ctx.Engine->LinkOpen()) {
        std::fprintf(stderr, "brellin-cli: nothing sent (the file replaces the products: give --yes)\n");
        return ExitRefused;
    }
    return s.AccessFailure(ctx, calibration ? "the full level" : "the safe level");
}

bool ReadEntries(const QString &path, QList<QByteArray> &lines, QList<TSettingsEntry> &entries, int &exit)
{
    if (!ReadFile(path, lines, exit))
        return false;
    QString error;
    if (!SettingsEntries(lines, entries, &error)) {
        std::fprintf(stderr, "brellin-cli: %s: %s\n", path.toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        exit = ExitFile;
        return false;
    }
    return true;
}

QByteArray Quoted(const QByteArray &text)
{
    return '"' + text + '"';
}

int Compare(TCliContext &ctx, const TSettingsArgs &opts, const QString &lastVisit = {});
int CompareFile(TCliContext &ctx, const TSettingsArgs &opts, bool lastVisit);

// The instrument against the settings kept at its last visit (the journal folder's last-visit.WSD):
// every item changed since, through its keypad or another program, with both values.
int CompareLast(TCliContext &ctx, const TSettingsArgs &opts)
{
    int exit = ExitDone;
    if (!NeedConnection(ctx, exit) || !ctx.OpenJournal(exit))
        return exit;
    const QString path = LastVisitPath(ctx.Journal->Folder());
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr,
                     "brellin-cli: no last visit is kept for instrument %s (settings save or the end of a "
                     "session in the window keeps one in %s)\n",
                     ctx.Journal->Identity().Serial.constData(),
                     ctx.Journal->Folder().toLocal8Bit().constData());
        return ExitFile;
    }
    return Compare(ctx, opts, path);
}

int Compare(TCliContext &ctx, const TSettingsArgs &opts, const QString &lastVisit)
{
    TSettingsArgs given = opts;
    if (!lastVisit.isEmpty())
        given.Words = QStringList{lastVisit};
    return CompareFile(ctx, given, !lastVisit.isEmpty());
}

int CompareFile(TCliContext &ctx, const TSettingsArgs &opts, bool lastVisit)
{
    if (opts.Words.size() != 1)
        return UsageError("usage: settings compare FILE [--passcode N] | settings compare FILE --with OTHER");
    QList<QByteArray> lines, otherLines;
    QList<TSettingsEntry> entries, others;
    int exit = ExitDone;
    const QString path = opts.Words.first();
    if (!ReadEntries(path, lines, entries, exit))
        return exit;
    TCompareResult result;
    QByteArray left = "instrument", right = lastVisit ? "last visit" : "file";
    if (!opts.With.isEmpty()) {
        if (!ReadEntries(opts.With, otherLines, others, exit))
            return exit;
        result = CompareSettingsFiles(entries, others);
        left = path.toLocal8Bit();
        right = opts.With.toLocal8Bit();
    } else {
        if (!NeedConnection(ctx, exit))
            return exit;
        // The file's level: full when it carries the calibration block.
        QList<QByteArray> requests = lines;
        PreviewSettings(requests);
        const bool full = HasCalibrationLine(requests);
        TCliSession s(ctx, opts);
        result = CompareWithInstrument(ctx.Engine.get(), &s.Session, entries, full);
        if (result.AccessRefused)
            return s.AccessFailure(ctx, full ? "the full level" : "the safe level");
    }
    for (const TSettingsDifference &d : result.Differences)
        PrintLine(PathText(d.Path) + ": " + left + " " + Quoted(d.Left) + ", " + right + " " +
                  Quoted(d.Right));
    for (const auto &[where, why] : result.Unread)
        std::fprintf(stderr, "brellin-cli: %s could not be read: %s\n", PathText(where).constData(),
                     why.toLocal8Bit().constData());
    PrintLine(result.Summary());
    if (!result.Complete || !result.Unread.isEmpty() || result.ProductNotRestored)
        return ExitNoReply;
    return result.Differences.isEmpty() ? ExitDone : ExitDiffer;
}

// A settings file edited without an instrument: each --set checked as the Settings tab checks an
// entry, against the remembered structure of the file's model; the file is rewritten only when
// every value was taken.
int Edit(TCliContext &, const TSettingsArgs &opts)
{
    if (opts.Words.size() != 1 || opts.Sets.isEmpty())
        return UsageError("usage: settings edit FILE --set \"MENU > ITEM=VALUE\" [--set ...]");
    const QString path = opts.Words.first();
    QList<QByteArray> lines;
    int exit = ExitDone;
    if (!ReadFile(path, lines, exit))
        return exit;
    TMenuStructureCache cache;
    TOfflineSettings offline;
    TDevice device;
    TSettingsTreeModel tree(&device);
    if (!offline.Open(lines, cache) || !offline.Show(device, tree)) {
        std::fprintf(stderr, "brellin-cli: %s: nothing changed. %s\n", path.toLocal8Bit().constData(),
                     offline.Message.toLocal8Bit().constData());
        return ExitFile;
    }
    for (const QString &set : opts.Sets) {
        const qsizetype equals = set.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return UsageError("--set needs \"MENU > ITEM=VALUE\", not '" + set + "'");
        const QString where = set.left(equals), typed = set.mid(equals + 1);
        TMenuNode *node = NodeAtPath(tree.Tree(), where);
        if (!node || !node->Data || !node->Data->HasValue) {
            std::fprintf(stderr, "brellin-cli: %s: no item '%s' with a value; nothing changed\n",
                         path.toLocal8Bit().constData(), where.trimmed().toLocal8Bit().constData());
            return ExitUsage;
        }
        const TValueRead<QByteArray> value = TypedItemValue(device, *node, typed);
        const int edits = offline.Edits;
        offline.LastRefusal.clear();
        if (value)
            tree.ApplyEdit(node, *value);
        if (!value || offline.Edits == edits) {
            std::fprintf(stderr, "brellin-cli: %s: %s: %s; nothing changed\n", path.toLocal8Bit().constData(),
                         where.trimmed().toLocal8Bit().constData(),
                         (value ? offline.LastRefusal : value.Refusal).toLocal8Bit().constData());
            return ExitRefused;
        }
    }
    const TSettingsSaveResult saved = SaveSettings(tree, device, path);
    if (!saved.Ok()) {
        std::fprintf(stderr, "brellin-cli: %s\n", saved.Message.toLocal8Bit().constData());
        return ExitFile;
    }
    PrintLine(path.toLocal8Bit() + ": " + QByteArray::number(opts.Sets.size()) + " value(s) set (" +
              offline.Model() + " " + offline.Version() + ")");
    return ExitDone;
}

int Settings(TCliContext &ctx, const QStringList &args)
{
    if (args.isEmpty())
        return UsageError("usage: settings dump|save|show|send|compare|edit ...");
    const QString sub = args.first();
    const QStringList rest = args.mid(1);
    TSettingsArgs opts;
    int exit = ExitDone;
    if (sub == "dump") {
        if (!ParseSettingsArgs(rest, {"--menu", "--passcode", "--lazy"}, opts, exit))
            return exit;
        return Dump(ctx, opts);
    }
    if (sub == "save") {
        if (!ParseSettingsArgs(rest, {"--menu", "--passcode"}, opts, exit))
            return exit;
        return Save(ctx, opts);
    }
    if (sub == "show") {
        if (!ParseSettingsArgs(rest, {}, opts, exit))
            return exit;
        return Show(ctx, opts);
    }
    if (sub == "send") {
        if (!ParseSettingsArgs(rest, {"--with-calibration", "--yes", "--passcode", "--no-snapshot"}, opts,
                               exit))
            return exit;
        return Send(ctx, opts);
    }
    if (sub == "edit") {
        if (!ParseSettingsArgs(rest, {"--set"}, opts, exit))
            return exit;
        return Edit(ctx, opts);
    }
    if (sub == "compare") {
        if (!ParseSettingsArgs(rest, {"--passcode", "--with", "--last"}, opts, exit))
            return exit;
        if (opts.Last && (!opts.Words.isEmpty() || !opts.With.isEmpty()))
            return UsageError("--last compares the instrument with its last visit: no FILE, no --with");
        if (opts.Last)
            return CompareLast(ctx, opts);
        if (!opts.With.isEmpty() && opts.Passcode)
            return UsageError("--with compares two files: no --passcode");
        return Compare(ctx, opts);
    }
    return UsageError("unknown settings command '" + sub + "'");
}

int Clock(TCliContext &ctx, const QStringList &args)
{
    if (args.isEmpty())
        return UsageError("usage: clock show | clock set [--now | \"YYYY-MM-DD HH:MM\"]");
    int exit = ExitDone;
    if (args.first() == "show" && args.size() == 1) {
        if (!ctx.EnsureConnected(exit))
            return exit;
        const std::optional<QByteArray> text = ReadInstrumentClock(ctx.Engine.get());
        if (!text) {
            // The clock read does not report refusals itself.
            if (ctx.Engine->LinkOpen() && !ctx.Engine->LastWaitTimedOut() && ctx.Engine->LastReply.ErrorFlag)
                ctx.Engine->ReportRegisterError(ctx.Engine->LastReply);
            return ctx.FailureExit();
        }
        PrintLine(*text);
        return ExitDone;
    }
    if (args.first() != "set" || args.size() > 2)
        return UsageError("usage: clock show | clock set [--now | \"YYYY-MM-DD HH:MM\"]");
    QDateTime when = QDateTime::currentDateTime();
    if (args.size() == 2 && args.at(1) != "--now") {
        when = QDateTime::fromString(args.at(1), QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!when.isValid())
            return UsageError("'" + args.at(1) + "' is not a date and time (YYYY-MM-DD HH:MM)");
    }
    if (!ctx.EnsureConnected(exit) || !ctx.OpenJournal(exit))
        return exit;
    TDevice device;
    TSettingsTreeModel tree(&device);
    TSession session(ctx.Engine.get(), &device, &tree);
    session.Reporter = &ctx.Reporter;
    TClockSetResult set;
    if (!SetInstrumentClock(ctx.Engine.get(), &session, when, &set)) {
        ctx.Reporter.Error(set.Text());
        if (!set.JournalError.isEmpty())
            return ExitFile;
        return set.Refused ? ExitRefused : ExitNoReply;
    }
    PrintLine(when.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toLatin1());
    return ExitDone;
}

TCliRegistrar settingsCommand{
    {"settings",
     "            settings dump [--menu safe|full|NAME] [--passcode N] [--lazy]\n"
     "                                  print the menu tree as the Settings tab shows it, indented\n"
     "            settings save FILE [--menu ...] [--passcode N]\n"
     "                                  write a settings file (.WSD appended when FILE has no extension)\n"
     "            settings show FILE    print the preview tree and the number of request lines\n"
     "            settings send FILE [--with-calibration] [--yes] [--passcode N] [--no-snapshot]\n"
     "                                  send it; without --yes the totals question is answered No.\n"
     "                                  The settings are first saved into the journal's folder\n"
     "                                  (snapshot-<time>.WSD; restoring is sending it); without a\n"
     "                                  snapshot nothing is sent, unless --no-snapshot\n"
     "            settings compare FILE [--passcode N] | settings compare FILE --with OTHER |\n"
     "            settings compare --last [--passcode N]\n"
     "                                  one line per item that differs (menu path, then both values),\n"
     "                                  then the count; reads every item (the products' too, selecting\n"
     "                                  each and the active one again after), an unanswered read again;\n"
     "                                  --last: against the settings kept at the instrument's last visit\n"
     "                                  (its last settings save), which lists what changed on site since\n"
     "            settings edit FILE --set \"MENU > ITEM=VALUE\" [--set ...]\n"
     "                                  change values of a settings file without an instrument, checked\n"
     "                                  as the Settings tab checks them (numbers with the decimals shown,\n"
     "                                  options by their text), from the menu structure remembered for\n"
     "                                  the file's model; needs one full read of that model first\n"
     "                                  A locked level's passcode: --passcode N (which any user's ps\n"
     "                                  shows), else the environment variable BRELLIN_PASSCODE, else\n"
     "                                  it is asked on the terminal, without echo, when stdin is one",
     false, Settings}};
TCliRegistrar clockCommand{
    {"clock", "            clock show | clock set [--now | \"YYYY-MM-DD HH:MM\"]", true, Clock}};

} // namespace
