// The fault campaign, long version: each of vornsim's fault modes in a process of its own (a
// crash or a hang of one mode is counted, not fatal), the real engine and core operations
// against the in-process instrument, every result compared with the instrument's truth. Then
// the command rows: each request that acts with its reply lost or late, each row-by-row read
// with its replies late, brellin-cli or the core against the instrument's truth.
//   bench_faults [--calls N] [--records N] [--attempts N] [--limit SEC] [--modes a,b,...]
//                [--part modes|commands|all] [--rows TEXT]
// Not part of ctest (it runs for minutes); tests/campaign runs the short version.
#include "command_campaign.h"
#include "fault_campaign.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace
{

int RunOneMode(const QString &name, const TCampaignPlan &plan)
{
    const QList<TFaultMode> modes = FaultModes(plan.TickMs * plan.TimeoutTicks);
    const TFaultMode *mode = nullptr;
    for (const TFaultMode &m : modes)
        if (m.Name == name)
            mode = &m;
    if (!mode && name != "none") {
        std::fprintf(stderr, "no fault mode '%s'\n", qPrintable(name));
        return 2;
    }
    QTemporaryDir work;
    const QList<QByteArray> reference = ReferenceSave(plan);
    if (reference.isEmpty()) {
        std::fprintf(stderr, "the fault-free reference save failed\n");
        return 1;
    }
    const TCampaignCounts c = RunCampaignMode(mode, plan, reference, work.path());
    std::printf("RESULT %s\n", qPrintable(c.ToLine()));
    if (!c.SaveDetail.isEmpty())
        std::printf("SAVE %s\n", qPrintable(c.SaveDetail));
    if (!c.SendDetail.isEmpty())
        std::printf("SEND %s\n", qPrintable(c.SendDetail));
    std::printf("UPLOAD %s\n", qPrintable(c.UploadLastMessage));
    std::fflush(stdout);
    return 0;
}

const char *YesNo(bool b)
{
    return b ? "yes" : "no";
}

int RunOneRow(int index, const TCampaignPlan &plan)
{
    const QList<TCommandRow> rows = CommandCampaignRows(plan);
    if (index < 0 || index >= rows.size())
        return 2;
    const TRowCounts c = RunCommandRow(rows[index], plan);
    std::printf("ROW %s\n", qPrintable(c.ToLine()));
    std::fflush(stdout);
    return 0;
}

// Each row in a process of its own; a crash or hang counts as a silent failure of the row.
void RunCommandRows(const TCampaignPlan &plan, const QString &match, int limitMs)
{
    const QList<TCommandRow> rows = CommandCampaignRows(plan);
    std::printf(
        "\ncommand campaign: commands with their reply lost or late (brellin-cli --timeout 0.3), reads "
        "row by row with late replies (brellin-cli --timeout 0.2; in process %d ms)\n",
        plan.TickMs * plan.TimeoutTicks);
    std::printf("effects: what the instrument did (commands); dup: effects beyond one; wrong: rows that "
                "answer another request; false: done said, instrument unchanged or rows wrong\n");
    std::printf("%-32s %-22s %4s %6s %6s %6s %7s %4s %6s %6s %6s\n", "row", "fault", "runs", "done", "said",
                "silent", "effects", "dup", "wrong", "false", "secs");
    int runs = 0, dup = 0, wrong = 0, falseSuccess = 0, silent = 0, crashed = 0;
    QStringList details;
    for (int i = 0; i < rows.size(); ++i) {
        if (!match.isEmpty() && !rows[i].Name.contains(match, Qt::CaseInsensitive))
            continue;
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--row", QString::number(i), "--records", QString::number(plan.Records)});
        bool ended = child.waitForFinished(limitMs);
        if (!ended) {
            child.kill();
            child.waitForFinished(5000);
        }
        TRowCounts c;
        c.Row = rows[i].Name;
        c.Fault = rows[i].Fault;
        bool reported = false;
        for (const QString &line : QString::fromLocal8Bit(child.readAllStandardOutput()).split('\n'))
            if (line.startsWith("ROW ")) {
                c = TRowCounts::FromLine(line.mid(4));
                reported = true;
            }
        if (!ended || child.exitStatus() != QProcess::NormalExit || !reported) {
            ++crashed;
            c.Detail = ended ? QStringLiteral("crashed or did not run") : QStringLiteral("hung");
        }
        std::printf("%-32s %-22s %4d %6d %6d %6d %7d %4d %6d %6d %6.1f\n", qPrintable(c.Row),
                    qPrintable(c.Fault), c.Runs, c.Done, c.Reported, c.Silent, c.Effects, c.Duplicated,
                    c.WrongRows, c.FalseSuccesses, c.Seconds);
        std::fflush(stdout);
        runs += c.Runs;
        dup += c.Duplicated;
        wrong += c.WrongRows;
        falseSuccess += c.FalseSuccesses;
        silent += c.Silent;
        if (!c.Detail.isEmpty())
            details << c.Row + " (" + c.Fault + "): " + c.Detail;
    }
    std::printf("\ncommand rows: %d runs, duplicated effects %d, wrong rows %d, false successes %d, failures "
                "without a message %d, rows that crashed or hung %d\n",
                runs, dup, wrong, falseSuccess, silent, crashed);
    for (const QString &d : details)
        std::printf("  %s\n", qPrintable(d));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        {"mode", "Run one mode in this process (used by the campaign itself).", "NAME"},
        {"calls", "Storm calls per mode.", "N", "10000"},
        {"records", "Records on the instrument.", "N", "1000"},
        {"attempts", "Upload attempts at most.", "N", "300"},
        {"saves", "Settings saves per mode.", "N", "3"},
        {"sends", "Settings sends per mode (each read back without faults).", "N", "6"},
        {"limit", "Seconds one mode may run before it counts as hung.", "SEC", "900"},
        {"modes", "Comma-separated modes to run (default: all, and none first).", "LIST"},
        {"part", "modes, commands or all (default).", "PART", "all"},
        {"rows", "Run only the command rows whose name contains TEXT.", "TEXT"},
        {"row", "Run one command row in this process (used by the campaign itself).", "N"},
    });
    parser.process(app);
    TCampaignPlan plan;
    plan.StormCalls = parser.value("calls").toInt();
    plan.Records = parser.value("records").toInt();
    plan.UploadAttempts = parser.value("attempts").toInt();
    plan.Saves = parser.value("saves").toInt();
    plan.Sends = parser.value("sends").toInt();
    if (parser.isSet("mode"))
        return RunOneMode(parser.value("mode"), plan);
    if (parser.isSet("row"))
        return RunOneRow(parser.value("row").toInt(), plan);
    const QString part = parser.value("part");
    const int limitMs = parser.value("limit").toInt() * 1000;
    if (part == "commands") {
        RunCommandRows(plan, parser.value("rows"), std::min(limitMs, 300000));
        return 0;
    }

    QStringList names{"none"};
    for (const TFaultMode &m : FaultModes(plan.TickMs * plan.TimeoutTicks))
        names << m.Name;
    if (parser.isSet("modes"))
        names = parser.value("modes").split(',', Qt::SkipEmptyParts);

    std::printf("fault campaign: %d storm calls per mode, %d records, reply time-out %d ms\n",
                plan.StormCalls, plan.Records, plan.TickMs * plan.TimeoutTicks);
    std::printf("saves and sends: runs/right/false success/failed with a message\n");
    std::printf("%-17s %8s %8s %7s %6s %5s %5s %6s | %4s %5s %5s %5s %4s %6s | %9s | %9s\n", "mode", "frames",
                "calls", "noreply", "wrong", "hang", "crash", "longst", "upld", "lost", "dup", "alter",
                "cmpl", "false", "saves", "sends");
    int64_t frames = 0, calls = 0, wrong = 0, hangs = 0, crashes = 0, lost = 0, falseSuccess = 0;
    QMap<QString, int> kinds;
    QStringList notes;
    for (const QString &name : names) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Every reply of the delay mode comes after the time-out: its calls take 1.5 time-outs each.
        const int modeCalls = name == "delay" ? std::min(plan.StormCalls, 2000) : plan.StormCalls;
        QStringList args{"--mode",     name,
                         "--calls",    QString::number(modeCalls),
                         "--records",  QString::number(plan.Records),
                         "--attempts", QString::number(plan.UploadAttempts),
                         "--saves",    QString::number(plan.Saves),
                         "--sends",    QString::number(plan.Sends)};
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), args);
        bool hung = false;
        if (!child.waitForFinished(limitMs)) {
            hung = true;
            child.kill();
            child.waitForFinished(5000);
        }
        const bool crashed = !hung && child.exitStatus() != QProcess::NormalExit;
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        TCampaignCounts c;
        for (const QString &line : out.split('\n')) {
            if (line.startsWith("RESULT "))
                c = TCampaignCounts::FromLine(line.mid(7));
            else if (line.startsWith("SAVE ") || line.startsWith("SEND ") || line.startsWith("UPLOAD "))
                notes << name + ": " + line;
        }
        c.Hangs += hung ? 1 : 0;
        crashes += crashed ? 1 : 0;
        std::printf("%-17s %8lld %8lld %7lld %6lld %5lld %5s %6.2f | %4d %5d %5d %5d %4s %6d | %d/%d/%d/%d | "
                    "%d/%d/%d/%d"
                    "   (%.0f s)\n",
                    qPrintable(name), static_cast<long long>(c.FramesSent),
                    static_cast<long long>(c.Transactions), static_cast<long long>(c.NoReply),
                    static_cast<long long>(c.WrongReplies), static_cast<long long>(c.Hangs), YesNo(crashed),
                    c.LongestWaitTimeouts, c.UploadAttempts, c.RecordsLost, c.RecordsDuplicated,
                    c.RecordsAltered, YesNo(c.UploadClaimedComplete), c.FalseSuccesses(), c.SaveRuns,
                    c.SaveRight, c.SaveFalse, c.SaveFailed, c.SendRuns, c.SendRight, c.SendFalse,
                    c.SendFailed, clock.elapsed() / 1000.0);
        std::fflush(stdout);
        frames += c.FramesSent;
        calls += c.Transactions;
        wrong += c.WrongReplies;
        hangs += c.Hangs;
        lost += c.RecordsLost;
        falseSuccess += c.FalseSuccesses();
        for (auto it = c.WrongReplyKinds.begin(); it != c.WrongReplyKinds.end(); ++it)
            kinds[name + "/" + it.key()] += it.value();
    }
    std::printf(
        "\ntotal: %lld transactions on the wire (%lld storm calls), hangs %lld, crashes %lld, records lost "
        "%lld, false successes %lld, wrong-request replies %lld\n",
        static_cast<long long>(frames), static_cast<long long>(calls), static_cast<long long>(hangs),
        static_cast<long long>(crashes), static_cast<long long>(lost), static_cast<long long>(falseSuccess),
        static_cast<long long>(wrong));
    for (auto it = kinds.begin(); it != kinds.end(); ++it)
        std::printf("  wrong replies %s: %d\n", qPrintable(it.key()), it.value());
    for (const QString &note : notes)
        std::printf("  %s\n", qPrintable(note));
    if (part == "all")
        RunCommandRows(plan, parser.value("rows"), std::min(limitMs, 300000));
    return 0;
}
