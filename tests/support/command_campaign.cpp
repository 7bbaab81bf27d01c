// The command campaign (see command_campaign.h).
#include "command_campaign.h"

#include "datastore/storelayout.h"
#include "datastore/upload.h"
#include "run_program.h"
#include "settings/SendSettings.h"
#include "settings/compare.h"
#include "settings/products.h"
#include "settings/settingssend.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <memory>

namespace
{

TSimState StateOf(TVornSim &sim, const QList<QByteArray> &received)
{
    TVornInstrument &in = sim.Instrument();
    TSimState s;
    s.Newest = in.Records().Count() ? in.Records().Newest() : 0;
    s.Position = in.Records().Position;
    if (const TSimItem *count = in.Model().Find(0x1702))
        s.CalCount = count->Value;
    s.CalZero = in.Weight().CalZero;
    s.CalSpan = in.Weight().CalSpan;
    s.Lin = in.LinPoints;
    for (const auto &p : in.Products)
        s.Products << p.Name;
    s.Saves = in.SavesDone;
    s.TransfersEnded = in.TransfersEnded;
    s.Net = in.Weight().NetMode;
    s.Received = received;
    return s;
}

QList<QByteArray> Lines(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TMenuNode *FindNode(TMenuNode *node, const QByteArray &reg)
{
    if (!node)
        return nullptr;
    if (node->Data && node->Data->Register == reg)
        return node;
    for (const auto &child : node->Children)
        if (TMenuNode *found = FindNode(child.get(), reg))
            return found;
    return nullptr;
}

// One run of a row's action against an instrument of its own; before and after hold the truth.
struct TOneRun {
    bool Started = false;
    TRowRun Run;
    TSimState Before, After;
    QList<QByteArray> Expected;
};

TOneRun RunOnce(const TCommandRow &row, const TCampaignPlan &plan, bool withFault)
{
    TOneRun one;
    TVornSimConfig config;
    config.Verbose = true;
    if (row.Instrument)
        row.Instrument(config);
    if (withFault && row.Apply)
        row.Apply(config);
    QList<QByteArray> received;
    auto watch = [&received](TVornSim &sim) {
        sim.OnLog = [&received](const QString &line) {
            if (line.startsWith(QLatin1String("<<< ")))
                received << line.mid(4).toLatin1();
        };
    };
    if (!row.Cli.isEmpty()) {
        config.TcpPort = 0;
        TVornSim sim(config);
        if (!sim.Start())
            return one;
        watch(sim);
        if (row.Prepare)
            row.Prepare(sim.Instrument());
        one.Started = true;
        one.Before = StateOf(sim, received);
        const QStringList args = QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()),
                                             "--timeout", QString::number(row.CliTimeout)} +
                                 row.Cli;
        const TProgramRun r = RunProgram(QStringLiteral("brellin-cli"), args, QString(), 120000);
        one.Run.Done = r.Exit == 0;
        one.Run.Said = !r.Err.trimmed().isEmpty();
        one.Run.Rows = Lines(r.Out);
        one.Run.Note = QStringLiteral("exit %1: %2").arg(r.Exit).arg(QString::fromLocal8Bit(r.Err.trimmed()));
        one.After = StateOf(sim, received);
        if (row.Expected)
            one.Expected = row.Expected(one.Before, sim.Instrument());
        return one;
    }
    TCampaignRig rig(config, plan.TickMs, plan.TimeoutTicks);
    if (!rig.Started())
        return one;
    watch(rig.Sim());
    if (row.Prepare)
        row.Prepare(rig.Sim().Instrument());
    one.Started = true;
    one.Before = StateOf(rig.Sim(), received);
    one.Run = row.InProcess(rig);
    one.After = StateOf(rig.Sim(), received);
    if (row.Expected)
        one.Expected = row.Expected(one.Before, rig.Sim().Instrument());
    return one;
}

QString Clip(const QString &text)
{
    QString t = text;
    t.replace('\n', " / ");
    return t.size() > 160 ? t.left(157) + "..." : t;
}

// --- the program's operations, run in this process ---------------------------------------------

// A session on the full setup menu (its whole tree read, or only its top), then `act` on it.
TRowRun InSession(TCampaignRig &rig, bool readAll, const std::function<TRowRun(TSettingsRun &)> &act)
{
    TSettingsRun run(rig.Engine());
    if (run.Session.MenuChoices().isEmpty() || !run.Session.StartSession(1, readAll)) {
        TRowRun r;
        r.Said = true;
        r.Note = QStringLiteral("no session");
        return r;
    }
    TRowRun r = act(run);
    run.End(rig.Engine());
    return r;
}

TRowRun ProductFunction(TCampaignRig &rig, int reg, const QByteArray &name)
{
    return InSession(rig, true, [&](TSettingsRun &run) {
        TRowRun r;
        TProductOps products(&rig.Engine(), &run.Device, &run.Tree);
        TMenuNode *menu = FindNode(run.Tree.Root(), "B100");
        if (!menu || menu->Children.empty()) {
            r.Said = true;
            r.Note = QStringLiteral("no product menu");
            return r;
        }
        TMenuNode *last = menu->Children.back().get();
        if (reg == 0xB001)
            products.AddProduct(menu, name);
        else if (reg == 0xB012)
            products.RenameProduct(last, name);
        else
            products.DeleteConfirmed(last);
        r.Done = products.LastOutcome == TProductOutcome::Confirmed;
        r.Said = !products.LastMessage.isEmpty();
        r.Note = products.LastMessage;
        return r;
    });
}

TRowRun ProductNames(TCampaignRig &rig)
{
    return InSession(rig, false, [&](TSettingsRun &run) {
        TRowRun r;
        TProductOps products(&rig.Engine(), &run.Device, &run.Tree);
        const std::optional<QList<QByteArray>> names = products.ReadProductNames();
        r.Done = names.has_value();
        r.Said = !r.Done; // the caller of this read says it could not be read
        if (names)
            r.Rows = *names;
        return r;
    });
}

TRowRun SettingsSave(TCampaignRig &rig)
{
    TRowRun r;
    QString why;
    r.Rows = CampaignSave(rig, r.Done, &why);
    r.Said = !r.Done && !why.isEmpty();
    r.Note = why;
    return r;
}

// Notes whether anything was said; answers every question yes.
class TSaysReporter : public TReporter
{
public:
    void Error(const QString &text) override { Said << text; }
    void Info(const QString &) override {}
    bool Ask(const QString &) override { return true; }
    QStringList Said;
};

TRowRun SettingsSendSaved(TCampaignRig &rig, const TCampaignPlan &plan)
{
    // A file with two changed values; the end of the session saves them.
    TRowRun r;
    QList<QByteArray> file = ReferenceSave(plan);
    if (file.isEmpty()) {
        r.Note = QStringLiteral("no file to send");
        return r;
    }
    file = ChangedSettingsFile(file);
    TSettingsRun run(rig.Engine());
    TSaysReporter says;
    TSettingsSender sender(&rig.Engine(), &run.Session, &says);
    sender.Transfer.SetStepInterval(1);
    PreviewSettings(file);
    const TSettingsSendResult result = sender.SendFile(file, false);
    r.Done = result.Complete();
    // The summary is what the CLI prints and the window shows.
    r.Said = !says.Said.isEmpty() || (!r.Done && !result.Summary().isEmpty());
    r.Note = says.Said.join(' ') + ' ' + result.Summary();
    return r;
}

TRowRun CompareWithFile(TCampaignRig &rig, const QList<QByteArray> &file)
{
    TRowRun r;
    QList<TSettingsEntry> entries;
    QString error;
    if (!SettingsEntries(file, entries, &error)) {
        r.Note = error;
        return r;
    }
    TSettingsRun run(rig.Engine());
    const TCompareResult result = CompareWithInstrument(&rig.Engine(), &run.Session, entries, true);
    r.Done = result.Equal();
    r.Said = !result.Unread.isEmpty() || !result.Complete;
    for (const TSettingsDifference &d : result.Differences)
        r.Rows << PathText(d.Path) + ": " + d.Left + " / " + d.Right;
    r.WrongRows = static_cast<int>(result.Differences.size()); // the file is what the instrument holds
    r.Right = result.Differences.isEmpty();
    r.Note = QString::fromLatin1(result.Summary());
    return r;
}

TRowRun Upload(TCampaignRig &rig)
{
    TRowRun r;
    QTemporaryDir dir;
    TDsdStoreLayout layout;
    layout.SetStoreDir(dir.path());
    TDevice device;
    device.OnExchange = [&rig](const QByteArray &request) { return rig.Engine().TransactText(request); };
    TDsdUpload upload(rig.Engine(), device, layout);
    upload.Reporter = &QuietReporter();
    const TDsdUpload::TResult result = upload.DsdUploadOrRefreshClick();
    r.Done = result == TDsdUpload::Uploaded || result == TDsdUpload::NothingNew;
    r.Said = !upload.Message.isEmpty();
    r.Note = upload.Message;
    const QString path = layout.DsdIsnToDataStoreName(QString::number(rig.Sim().Instrument().SerialNumber));
    const TStoreCheck check = CheckStore(path, rig.Sim().Instrument().Records());
    // Records not stored are what an incomplete upload leaves for the next one; records stored
    // wrong, twice or out of order are wrong rows.
    r.WrongRows =
        check.Altered + check.Duplicated + check.OutOfOrder + (check.Stored && !check.Clean ? 1 : 0);
    r.Right = check.Matches();
    r.Rows << QByteArray::number(check.Stored) + " stored";
    return r;
}

} // namespace

QString TRowCounts::ToLine() const
{
    QStringList f{
        "row=" + QString(Row).replace(' ', '_'),
        "fault=" + QString(Fault).replace(' ', '_'),
        QStringLiteral("runs=%1").arg(Runs),
        QStringLiteral("done=%1").arg(Done),
        QStringLiteral("reported=%1").arg(Reported),
        QStringLiteral("silent=%1").arg(Silent),
        QStringLiteral("effects=%1").arg(Effects),
        QStringLiteral("dup=%1").arg(Duplicated),
        QStringLiteral("wrong=%1").arg(WrongRows),
        QStringLiteral("false=%1").arg(FalseSuccesses),
        QStringLiteral("seconds=%1").arg(Seconds, 0, 'f', 2),
        "detail=" + QString(Detail).replace(' ', QChar(0x1F)),
    };
    return f.join(' ');
}

TRowCounts TRowCounts::FromLine(const QString &line)
{
    QMap<QString, QString> v;
    for (const QString &field : line.split(' ', Qt::SkipEmptyParts)) {
        const int eq = field.indexOf('=');
        if (eq > 0)
            v[field.left(eq)] = field.mid(eq + 1);
    }
    TRowCounts c;
    c.Row = v["row"].replace('_', ' ');
    c.Fault = v["fault"].replace('_', ' ');
    c.Runs = v["runs"].toInt();
    c.Done = v["done"].toInt();
    c.Reported = v["reported"].toInt();
    c.Silent = v["silent"].toInt();
    c.Effects = v["effects"].toInt();
    c.Duplicated = v["dup"].toInt();
    c.WrongRows = v["wrong"].toInt();
    c.FalseSuccesses = v["false"].toInt();
    c.Seconds = v["seconds"].toDouble();
    c.Detail = v["detail"].replace(QChar(0x1F), ' ');
    return c;
}

TRowCounts RunCommandRow(const TCommandRow &row, const TCampaignPlan &plan)
{
    TRowCounts c;
    c.Row = row.Name;
    c.Fault = row.Fault;
    QElapsedTimer clock;
    clock.start();
    // A read is compared with the same read without the fault.
    TOneRun truth;
    if (!row.Effects) {
        truth = RunOnce(row, plan, false);
        if (!truth.Started || !truth.Run.Done) {
            c.Detail = QStringLiteral("the run without the fault failed: ") + Clip(truth.Run.Note);
            c.Seconds = clock.elapsed() / 1000.0;
            return c;
        }
    }
    const TOneRun one = RunOnce(row, plan, true);
    c.Seconds = clock.elapsed() / 1000.0;
    if (!one.Started) {
        c.Detail = QStringLiteral("the instrument did not start");
        return c;
    }
    const TRowRun &r = one.Run;
    ++c.Runs;
    c.Done += r.Done ? 1 : 0;
    c.Reported += !r.Done && r.Said ? 1 : 0;
    c.Silent += !r.Done && !r.Said ? 1 : 0;
    int wrong = 0;
    bool right = true;
    if (row.Effects) {
        const int effects = row.Effects(one.Before, one.After);
        c.Effects += effects;
        c.Duplicated += std::max(0, effects - 1);
        right = effects == 1;
        // Rows a command shows (the next record) are the instrument's, or marked as not read.
        if (row.Expected) {
            for (qsizetype i = 0; i < r.Rows.size(); ++i)
                wrong += i < one.Expected.size() && r.Rows[i] == one.Expected[i] ? 0 : 1;
            right = right && r.Rows == one.Expected;
        }
        c.FalseSuccesses += r.Done && (effects == 0 || !right) ? 1 : 0;
    } else {
        const QList<QByteArray> &want = truth.Run.Rows;
        if (r.WrongRows) {
            wrong = *r.WrongRows;
            right = r.Right.value_or(wrong == 0);
        } else if (r.Done) {
            for (qsizetype i = 0; i < std::max(r.Rows.size(), want.size()); ++i)
                wrong += i < r.Rows.size() && i < want.size() && r.Rows[i] == want[i] ? 0 : 1;
            right = wrong == 0;
        } else {
            // A read that failed may show the rows read before it stopped, and mark the others.
            for (const QByteArray &line : r.Rows)
                wrong +=
                    want.contains(line) || line.contains("(not read)") || line.contains("(no reply)") ? 0 : 1;
            right = false;
        }
        c.FalseSuccesses += r.Done && !right ? 1 : 0;
    }
    c.WrongRows += wrong;
    if (c.Duplicated || c.WrongRows || c.FalseSuccesses || c.Silent || !r.Done)
        c.Detail = Clip(r.Note);
    return c;
}

// --- the rows -------------------------------------------------------------------------------------

namespace
{

QString Hex4(int reg)
{
    return QStringLiteral("%1").arg(reg, 4, 16, QLatin1Char('0')).toUpper();
}

// Times the instrument received a request of this command, register and data ("120008:000C"):
// vornsim drops or delays a reply only after the request took effect.
std::function<int(const TSimState &, const TSimState &)> Received(const QByteArray &what)
{
    return [what](const TSimState &before, const TSimState &after) {
        return after.ReceivedCount(what) - before.ReceivedCount(what);
    };
}

void FullOpen(TVornSimConfig &c)
{
    c.FullPasscode = 0;
    c.SafePasscode = 0;
    c.CalibrationStepMs = 300;
}

void TenPoints(TVornInstrument &in)
{
    for (int i = 0; i < 10; ++i)
        in.LinPoints[size_t(i)] = 10 * (i + 1);
}

} // namespace

int TSimState::ReceivedCount(const QByteArray &what) const
{
    // A request text starts with its flags and unit address ("20"), then command and register.
    int n = 0;
    for (const QByteArray &r : Received)
        n += r.mid(2).startsWith(what) ? 1 : 0;
    return n;
}

QList<TCommandRow> CommandCampaignRows(const TCampaignPlan &plan)
{
    QList<TCommandRow> rows;
    const double cliTimeout = 0.3;  // the time-out the command rows give brellin-cli
    const int cliLate = 500;        // a reply later than it
    const double readTimeout = 0.2; // and the read rows
    const int rigLate = plan.TickMs * plan.TimeoutTicks * 5 / 2;
    auto dropOn = [](int reg) {
        return std::function<void(TVornSimConfig &)>([reg](TVornSimConfig &c) { c.DropOnRegister = reg; });
    };
    auto delayOn = [](int reg, int ms) {
        return std::function<void(TVornSimConfig &)>([reg, ms](TVornSimConfig &c) {
            c.DelayOnRegister = reg;
            c.DelayOnMs = ms;
        });
    };
    auto delayAll = [](int ms) {
        return std::function<void(TVornSimConfig &)>([ms](TVornSimConfig &c) { c.DelayMs = ms; });
    };
    // A command, its reply once lost and once late.
    auto command = [&](const QString &name, int reg, TCommandRow row) {
        row.Name = name;
        row.Fault = QStringLiteral("--drop-on %1").arg(Hex4(reg));
        row.Apply = dropOn(reg);
        rows << row;
        row.Fault =
            QStringLiteral("--delay-on %1:%2").arg(Hex4(reg)).arg(row.Cli.isEmpty() ? rigLate : cliLate);
        row.Apply = delayOn(reg, row.Cli.isEmpty() ? rigLate : cliLate);
        rows << row;
    };
    auto cli = [&](QStringList args, std::function<void(TVornSimConfig &)> instrument,
                   std::function<int(const TSimState &, const TSimState &)> effects) {
        TCommandRow row;
        row.Cli = std::move(args);
        row.CliTimeout = cliTimeout;
        row.Instrument = std::move(instrument);
        row.Effects = std::move(effects);
        return row;
    };
    auto fewRecords = [](TVornSimConfig &c) { c.Records = 5; };

    // Front-panel keys (the Display tab's panel and `write 0008 KEY` share them).
    command("PRINT key", 0x0008,
            cli({"write", "0008", "000E"}, fewRecords,
                [](const TSimState &b, const TSimState &a) { return int(a.Newest - b.Newest); }));
    command("TARE key", 0x0008, cli({"write", "0008", "000C"}, fewRecords, Received("120008:000C")));
    command("ZERO key", 0x0008, cli({"write", "0008", "000B"}, fewRecords, Received("120008:000B")));
    command("G/N key", 0x0008, cli({"write", "0008", "000D"}, fewRecords, Received("120008:000D")));

    // Calibration starts: the calibration counter counts the steps the instrument made.
    auto calCount = [](const TSimState &b, const TSimState &a) { return int(a.CalCount - b.CalCount); };
    auto loaded = [](TVornSimConfig &c) {
        FullOpen(c);
        c.WeightLevel = 150000; // 1500.00 kg
    };
    command("calibration zero", 0x0102, cli({"calibration", "zero"}, FullOpen, calCount));
    command("calibration span", 0x0103, cli({"calibration", "span", "1500"}, loaded, calCount));
    command("linearisation point set", 0x0104,
            cli({"calibration", "lin-set", "1", "1500"}, loaded, calCount));
    {
        TCommandRow row = cli({"calibration", "lin-clear", "3"}, FullOpen, calCount);
        row.Prepare = TenPoints;
        command("linearisation point clear", 0x0105, row);
    }
    // Direct entries are values: sent twice they leave the same figure, so the figure is the witness.
    command("direct zero", 0x0106,
            cli({"calibration", "direct-zero", "0.2"}, FullOpen, [](const TSimState &b, const TSimState &a) {
                return a.CalZero == 2000 && b.CalZero != 2000 ? 1 : 0;
            }));
    command("direct span", 0x0107,
            cli({"calibration", "direct-span", "1.5"}, FullOpen, [](const TSimState &b, const TSimState &a) {
                return a.CalSpan == 15000 && b.CalSpan != 15000 ? 1 : 0;
            }));

    // Saving the settings: the instrument counts its saves.
    auto saves = [](const TSimState &b, const TSimState &a) { return a.Saves - b.Saves; };
    command("save after a calibration", 0x0010,
            cli(
                {"calibration", "zero", "--passcode", "5678"},
                [](TVornSimConfig &c) { c.CalibrationStepMs = 300; }, saves));
    // A settings send: the product lines, the end of the transfer and the save that ends it. The
    // file renames the first product and adds PEARS and PLUMS (the first add loses its reply).
    auto sendRow = [&](const QString &name, int reg,
                       std::function<int(const TSimState &, const TSimState &)> effects) {
        TCommandRow row;
        row.InProcess = [plan](TCampaignRig &rig) { return SettingsSendSaved(rig, plan); };
        row.Effects = std::move(effects);
        command(name, reg, row);
    };
    sendRow("save after a settings send", 0x0010, saves);
    sendRow("end of a settings send", 0x00ED,
            [](const TSimState &b, const TSimState &a) { return a.TransfersEnded - b.TransfersEnded; });
    sendRow("products deleted (settings send)", 0xB005, Received("10B005"));
    sendRow("product renamed (settings send)", 0xB012, Received("10B012"));
    sendRow("product added (settings send)", 0xB001,
            [](const TSimState &, const TSimState &a) { return int(a.Products.count("PEARS")); });

    // Product functions, run as the Settings tab runs them.
    {
        TCommandRow row;
        row.InProcess = [](TCampaignRig &rig) { return ProductFunction(rig, 0xB001, "KIWI"); };
        row.Effects = [](const TSimState &b, const TSimState &a) {
            return int(a.Products.size() - b.Products.size());
        };
        command("product add", 0xB001, row);
        row.InProcess = [](TCampaignRig &rig) { return ProductFunction(rig, 0xB012, "MANGO"); };
        row.Effects = [](const TSimState &b, const TSimState &a) {
            return a.Products.value(a.Products.size() - 1) == "MANGO"
                       ? a.ReceivedCount("10B012") - b.ReceivedCount("10B012")
                       : 0;
        };
        command("product rename", 0xB012, row);
        row.InProcess = [](TCampaignRig &rig) { return ProductFunction(rig, 0xB011, {}); };
        row.Effects = [](const TSimState &b, const TSimState &a) {
            return int(b.Products.size() - a.Products.size());
        };
        command("product delete", 0xB011, row);
    }

    // The next record: a cursor; what it shows must be the record the instrument moved past.
    {
        TCommandRow row = cli({"exec", "8292"}, fewRecords, [](const TSimState &b, const TSimState &a) {
            return int(a.Position - b.Position);
        });
        row.Expected = [](const TSimState &b, TVornInstrument &in) {
            return QList<QByteArray>{in.Records().Text(b.Position + 1)};
        };
        command("next record", 0x8292, row);
    }

    // --- reads row by row, every reply (or one register's) later than the time-out ---------------
    const int readTimeoutMs = int(readTimeout * 1000);
    const QList<int> cliDelays{readTimeoutMs * 3 / 2, readTimeoutMs * 5 / 2};
    const QList<int> rigDelays{plan.TickMs * plan.TimeoutTicks * 3 / 2, rigLate};
    auto reads = [&](const QString &name, TCommandRow row, const QList<int> &delayedRegisters) {
        row.Name = name;
        const bool viaCli = !row.Cli.isEmpty();
        row.CliTimeout = readTimeout;
        for (int ms : viaCli ? cliDelays : rigDelays) {
            row.Fault = QStringLiteral("--delay %1").arg(ms);
            row.Apply = delayAll(ms);
            rows << row;
        }
        const int late = viaCli ? cliDelays.last() : rigLate;
        for (int reg : delayedRegisters) {
            row.Fault = QStringLiteral("--delay-on %1:%2").arg(Hex4(reg)).arg(late);
            row.Apply = delayOn(reg, late);
            rows << row;
        }
    };
    {
        TCommandRow row;
        row.Cli = {"report", "allocation"};
        reads("allocation report", row, {0x0052});
        row.Cli = {"calibration", "show"};
        row.Instrument = FullOpen;
        row.Prepare = TenPoints;
        reads("linearisation points", row, {0x0115, 0x00F8});
        row.Prepare = nullptr;
        row.Cli = {"report", "factory"};
        row.Instrument = nullptr;
        reads("factory test", row, {0x0068});
        row.Cli = {"settings", "dump", "--menu", "SETPOINT"};
        row.Instrument = FullOpen;
        reads("operator menu walk", row, {0x1F10});
    }
    {
        TCommandRow row;
        row.InProcess = SettingsSave;
        reads("full menu walk (settings save)", row, {0x0011, 0x1100, 0x1300, 0xB100});
        // The levels open: the comparison asks for no passcode.
        row.InProcess = [plan](TCampaignRig &rig) { return CompareWithFile(rig, ReferenceSave(plan)); };
        row.Instrument = [](TVornSimConfig &c) { c.SafePasscode = c.FullPasscode = 0; };
        reads("settings compare", row, {});
        row.Instrument = nullptr;
        row.InProcess = ProductNames;
        reads("product names", row, {0xB100, 0xB013});
        row.InProcess = Upload;
        row.Instrument = [](TVornSimConfig &c) { c.Records = 60; };
        reads("store upload", row, {0x8291, 0x8292, 0x8294, 0x8295});
    }
    return rows;
}
