// Link benchmarks at a real line's speed: the engine (on its program tick of 100 ms) against an
// in-process vornsim that paces its line at the given baud rate. Each figure is the measured time
// over the wire limit: the characters that actually went each way times the character time, plus
// the instrument's turnaround per request. The display mimic's refresh is the updates per second
// against what the line allows for one poll and its reply, and against the tick; its target is
// the lower of the two. The ratios come last, one line each ("ratio NAME VALUE"); a NAME ending
// in "-simlate" leaves out the time the simulator's timers came late (the machine's wake-up latency).
// The menu read with remembered structures is measured as the second read against the first (and
// against a read without them), and models changed behind the structure must be noticed.
// Usage: bench_wire [--records N] [--mimic-seconds S] (2000 records and 5 s by default)
#include "datastore/storelayout.h"
#include "datastore/upload.h"
#include "link/IOIface.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/menucache.h"
#include "simmodel.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace
{

constexpr int FrameBits = 10; // 8N1
constexpr int TurnaroundMs = 2;

struct TFigure {
    QByteArray Name; // the ratio's name
    double Seconds = 0;
    double LimitSeconds = 0;
    double SimLateSeconds = 0;
};

struct TRatio {
    QByteArray Name;
    double Value;
};

// Keeps the upload's closing words ("Uploaded 2000 new records.") off the figures; errors still show.
struct TQuietReporter : TStderrReporter {
    void Info(const QString &) override {}
};

// A paced instrument and the engine connected to it over loopback TCP, as the program runs it.
struct TPacedLink {
    explicit TPacedLink(int baud, uint32_t records, const QByteArray &model = {})
    {
        Cfg.ModelJson = model;
        Cfg.TcpPort = 0;
        Cfg.Baud = baud;
        Cfg.FrameBits = FrameBits;
        Cfg.TurnaroundMs = TurnaroundMs;
        Cfg.Records = records;
        Cfg.SafePasscode = 0;
        Cfg.FullPasscode = 0;
        Sim = std::make_unique<TVornSim>(Cfg);
        Started = Sim->Start();
        if (!Started)
            return;
        Engine.Reporter = &Reporter;
        auto link = std::make_unique<TIOIfaceSocket>();
        link->SetHostText(QStringLiteral("127.0.0.1"));
        link->SetPort(Sim->Port());
        Engine.SetLink(std::move(link));
        Engine.Link()->Open();
        while (!Engine.LinkOpen())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Device.OnExchange = [this](const QByteArray &r) { return Engine.TransactText(r); };
        Device.FullAccess = true;
    }
    // Runs `work` and measures it against the wire limit of the traffic it caused.
    TFigure Measure(const QByteArray &ratioName, const QString &name, const std::function<bool()> &work)
    {
        const int64_t in0 = Sim->BytesReceived, out0 = Sim->BytesSent, req0 = Sim->RequestsHandled;
        const int64_t late0 = Sim->PacingLateNs;
        QElapsedTimer clock;
        clock.start();
        const bool ok = work();
        TFigure f;
        f.Name = ratioName;
        f.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const int64_t in = Sim->BytesReceived - in0, out = Sim->BytesSent - out0;
        const int64_t requests = Sim->RequestsHandled - req0;
        f.LimitSeconds = static_cast<double>(in + out) * FrameBits / Cfg.Baud +
                         static_cast<double>(requests) * TurnaroundMs / 1000.0;
        f.SimLateSeconds = static_cast<double>(Sim->PacingLateNs - late0) / 1e9;
        std::printf("%s: %s, %lld requests, %lld characters to the instrument, %lld back, %.3f s, wire "
                    "limit %.3f s; the simulator's timers came %.3f s late in all\n",
                    qPrintable(name), ok ? "done" : "FAILED", static_cast<long long>(requests),
                    static_cast<long long>(in), static_cast<long long>(out), f.Seconds, f.LimitSeconds,
                    f.SimLateSeconds);
        std::fflush(stdout);
        if (!ok)
            f.Seconds = -1;
        return f;
    }

    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    bool Started = false;
    TQuietReporter Reporter;
    TTransactionEngine Engine;
    TDevice Device;
};

TFigure Upload(int baud, uint32_t records)
{
    TPacedLink link(baud, records);
    QTemporaryDir dir;
    TDsdStoreLayout layout;
    layout.SetStoreDir(dir.filePath(QStringLiteral("store")));
    TDsdUpload upload(link.Engine, link.Device, layout);
    upload.Reporter = &link.Reporter;
    return link.Measure("upload" + QByteArray::number(records) + "@" + QByteArray::number(baud) + "/wire",
                        QStringLiteral("upload of %1 records at %2 baud").arg(records).arg(baud), [&] {
                            return link.Started && upload.DsdUploadOrRefreshClick() == TDsdUpload::Uploaded &&
                                   upload.Count == records;
                        });
}

TFigure MenuRead(int baud)
{
    TPacedLink link(baud, 10);
    return link.Measure("menu@" + QByteArray::number(baud) + "/wire",
                        QStringLiteral("full menu read at %1 baud").arg(baud), [&] {
                            TMenuTree tree;
                            link.Device.BuildMenuTree(tree, 0x0011, true, "FULL SETUP");
                            return link.Started && !tree.empty() && !tree.front()->Children.empty();
                        });
}

// Every node of a tree as one line (path, register, type, permission, flags, value, display text).
void TreeLines(const TMenuNode &node, const QByteArray &path, QList<QByteArray> &out)
{
    const QByteArray here = path + '>' + node.Text;
    if (const TMenuItemData *d = node.Data.get())
        out << here + '|' + d->Register + '|' + d->MenuKey + '|' + d->TypeCode + '|' +
                   QByteArray::number(d->Permission) + '|' + (d->Readable ? 'r' : '-') +
                   (d->HasValue ? 'v' : '-') + '|' + d->Value + '|' + d->Literal;
    for (const auto &child : node.Children)
        TreeLines(*child, here, out);
}

// A full read of the link's instrument; its tree as lines.
QList<QByteArray> ReadTree(TPacedLink &link)
{
    TMenuTree tree;
    link.Device.BuildMenuTree(tree, 0x0011, true, "FULL SETUP");
    QList<QByteArray> lines;
    for (const auto &root : tree)
        TreeLines(*root, {}, lines);
    return lines;
}

// The built-in model with one item of the menus changed by `edit`.
QByteArray ChangedModel(const char *reg, const std::function<void(QJsonObject &)> &edit)
{
    QJsonObject model = QJsonDocument::fromJson(TSimModel::DefaultJson()).object();
    std::function<bool(QJsonArray &)> walk = [&](QJsonArray &items) {
        for (qsizetype i = 0; i < items.size(); ++i) {
            QJsonObject o = items[i].toObject();
            QJsonArray children = o.value("items").toArray();
            const bool here = o.value("reg").toString() == QLatin1String(reg);
            if (here)
                edit(o);
            else if (!walk(children))
                continue;
            if (!here)
                o["items"] = children;
            items[i] = o;
            return true;
        }
        return false;
    };
    QJsonArray menus = model.value("menus").toArray();
    walk(menus);
    model["menus"] = menus;
    return QJsonDocument(model).toJson();
}

// The menu read with remembered structures: a read without them, the first read with them (which
// learns the structure, ranges and option texts included) and the second one, at `baud`; then
// instruments of the same model and version changed behind the structure.
std::vector<TRatio> MenuCache(int baud)
{
    const QByteArray at = "@" + QByteArray::number(baud);
    std::vector<TRatio> ratios;
    QTemporaryDir dir;
    TMenuStructureCache cache(dir.filePath(QStringLiteral("menus")));
    TPacedLink link(baud, 10);
    if (!link.Started)
        return {{"menu-cache" + at + "/second-requests", -1}};
    link.Device.ReadIdentity();
    QList<QByteArray> plain, first, second;
    const int64_t rStart = link.Sim->RequestsHandled;
    const TFigure fPlain =
        link.Measure("", QStringLiteral("full menu read at %1 baud, no structure kept").arg(baud),
                     [&] { return !(plain = ReadTree(link)).isEmpty(); });
    const int64_t r0 = link.Sim->RequestsHandled;
    link.Device.StructureCache = &cache;
    const TFigure fFirst =
        link.Measure("", QStringLiteral("first full read at %1 baud, learning the structure").arg(baud),
                     [&] { return !(first = ReadTree(link)).isEmpty(); });
    const int64_t r1 = link.Sim->RequestsHandled;
    const TFigure fSecond =
        link.Measure("", QStringLiteral("second full read at %1 baud, from the structure").arg(baud),
                     [&] { return !(second = ReadTree(link)).isEmpty(); });
    const int64_t r2 = link.Sim->RequestsHandled;
    const bool same = first == plain && second == plain && cache.Drops == 0;
    std::printf("trees: the first and second reads with the structure %s the read without it (%lld "
                "lines)\n",
                same ? "equal" : "DIFFER FROM", static_cast<long long>(plain.size()));
    const double firstRequests = static_cast<double>(r1 - r0), secondRequests = static_cast<double>(r2 - r1);
    ratios.push_back(
        {"menu-cache" + at + "/second-requests-of-first", same ? secondRequests / firstRequests : -1});
    ratios.push_back({"menu-cache" + at + "/second-requests-of-uncached",
                      same ? secondRequests / static_cast<double>(r0 - rStart) : -1});
    ratios.push_back({"menu-cache" + at + "/second-time-of-first",
                      same && fFirst.Seconds > 0 ? fSecond.Seconds / fFirst.Seconds : -1});
    ratios.push_back({"menu-cache" + at + "/second-time-of-uncached",
                      same && fPlain.Seconds > 0 ? fSecond.Seconds / fPlain.Seconds : -1});
    ratios.push_back({"menu-cache" + at + "/first-time-of-uncached",
                      fPlain.Seconds > 0 ? fFirst.Seconds / fPlain.Seconds : -1});

    // The same model and version, changed: each read must notice, drop the structure and give the
    // tree of a read without it.
    const struct {
        const char *name;
        QByteArray model;
    } changes[] = {
        {"range", ChangedModel("1104",
                               [](QJsonObject &o) {
                                   o["max"] = 1000;
                                   o["value"] = 500;
                               })},
        {"options", ChangedModel("1106",
                                 [](QJsonObject &o) {
                                     o["options"] = QJsonArray{"4-WIRE", "6-WIRE", "8-WIRE"};
                                     o["value"] = 2;
                                 })},
        {"added",
         ChangedModel(
             "1100",
             [](QJsonObject &o) {
                 QJsonArray items = o.value("items").toArray();
                 items.append(QJsonObject{{"reg", "1107"}, {"type", 1}, {"name", "EXTRA"}, {"value", 5}});
                 o["items"] = items;
             })},
    };
    for (const auto &change : changes) {
        QTemporaryDir changedDir;
        TMenuStructureCache changedCache(changedDir.filePath(QStringLiteral("menus")));
        QDir().mkpath(changedCache.Folder);
        QFile::copy(cache.FileFor("V500", "V1.04"), changedCache.FileFor("V500", "V1.04"));
        TPacedLink changed(baud, 10, change.model);
        changed.Device.ReadIdentity();
        const QList<QByteArray> truth = ReadTree(changed);
        changed.Device.StructureCache = &changedCache;
        QList<QByteArray> read;
        changed.Measure("",
                        QStringLiteral("full read at %1 baud of a model changed behind the structure (%2)")
                            .arg(baud)
                            .arg(QLatin1String(change.name)),
                        [&] { return !(read = ReadTree(changed)).isEmpty(); });
        const bool noticed = changedCache.Drops == 1;
        std::printf("changed model (%s): %s (%s); the tree %s the read without a structure\n", change.name,
                    noticed ? "noticed, structure dropped" : "NOT NOTICED",
                    qPrintable(changedCache.LastDropReason), read == truth ? "equals" : "DIFFERS FROM");
        ratios.push_back({"menu-cache" + at + "/changed-" + change.name + "-noticed-and-equal",
                          noticed && read == truth ? 1.0 : 0.0});
    }
    std::fflush(stdout);
    return ratios;
}

// Counts the display replies the engine hands to the mimic, and takes the line's counters with each.
struct TUpdateCounter : TReplyConsumer {
    struct TLine {
        int64_t In = 0, Out = 0, Requests = 0, LateNs = 0;
    };
    explicit TUpdateCounter(const TVornSim *sim) : Sim(sim) {}
    void RoutedReply(const Tcommsobj &, const QByteArray &) override
    {
        if (Count++ == 0)
            Clock.start();
        LastNs = Clock.nsecsElapsed();
        if (Sim)
            Last = {Sim->BytesReceived, Sim->BytesSent, Sim->RequestsHandled, Sim->PacingLateNs};
    }
    const TVornSim *Sim;
    int Count = 0;
    QElapsedTimer Clock;
    int64_t LastNs = 0;
    TLine Last;
};

// The Display tab's polling as the program runs it, for `seconds` after the first update.
std::vector<TRatio> MimicRefresh(int baud, double seconds)
{
    TPacedLink link(baud, 10);
    TUpdateCounter updates(link.Sim.get());
    link.Engine.SetRouteConsumer(RouteDisplay, &updates);
    link.Engine.SetReplyRoute(RouteDisplay);
    QElapsedTimer limit;
    limit.start();
    while (link.Started && updates.Count == 0 && limit.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const TUpdateCounter::TLine first = updates.Last; // at the update that started the clock
    while (updates.Count > 0 && updates.Clock.nsecsElapsed() < static_cast<int64_t>(seconds * 1e9))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    link.Engine.SetReplyRoute(RouteNone);
    const int n = updates.Count - 1;
    const TUpdateCounter::TLine last = updates.Last;
    const int64_t requests = last.Requests - first.Requests;
    if (n < 2 || requests < 1) {
        std::printf("display mimic at %d baud: FAILED, %d updates\n", baud, n);
        return {{"mimic@" + QByteArray::number(baud) + "/target", -1}};
    }
    // Each poll and its reply on the line, and the instrument's turnaround.
    const double chars =
        static_cast<double>((last.In - first.In) + (last.Out - first.Out)) / static_cast<double>(requests);
    const double lineRate = 1.0 / (chars * FrameBits / baud + TurnaroundMs / 1000.0);
    const double tickRate = 1000.0 / link.Engine.TickInterval();
    const double target = std::min(lineRate, tickRate);
    const double span = static_cast<double>(updates.LastNs) / 1e9;
    const double late = static_cast<double>(last.LateNs - first.LateNs) / 1e9;
    // n updates after the first one, which started the clock.
    const double rate = n / span, rateNet = n / (span - late);
    std::printf(
        "display mimic at %d baud: %d updates in %.3f s, %.2f a second; the line allows %.2f (%.0f "
        "characters and %d ms a poll), the tick %.0f; the simulator's timers came %.3f s late in all\n",
        baud, n, span, rate, lineRate, chars, TurnaroundMs, tickRate, late);
    std::fflush(stdout);
    // The simulator's lateness slows only a line-bound refresh; a tick-bound one does not gain it back.
    const QByteArray name = "mimic@" + QByteArray::number(baud);
    std::vector<TRatio> ratios{{name + "/target", rate / target}};
    if (lineRate < tickRate)
        ratios.push_back({name + "-simlate/target", rateNet / target});
    ratios.push_back({name + "/line", rate / lineRate});
    ratios.push_back({name + "/tick", rate / tickRate});
    return ratios;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    uint32_t records = 2000;
    double mimicSeconds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0)
            records = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        if (std::strcmp(argv[i], "--mimic-seconds") == 0)
            mimicSeconds = std::strtod(argv[i + 1], nullptr);
    }
    std::vector<TRatio> ratios;
    for (const int baud : {9600, 57600})
        for (const TRatio &r : MimicRefresh(baud, mimicSeconds))
            ratios.push_back(r);
    for (const TRatio &r : MenuCache(9600))
        ratios.push_back(r);
    std::vector<TFigure> figures;
    figures.push_back(MenuRead(9600));
    figures.push_back(Upload(57600, records));
    figures.push_back(Upload(9600, records));
    for (const TFigure &f : figures) {
        // A failed run prints -1.
        const QByteArray net =
            f.Name.left(f.Name.indexOf('/')) + "-simlate" + f.Name.mid(f.Name.indexOf('/'));
        ratios.push_back({f.Name, f.Seconds < 0 ? -1.0 : f.Seconds / f.LimitSeconds});
        ratios.push_back({net, f.Seconds < 0 ? -1.0 : (f.Seconds - f.SimLateSeconds) / f.LimitSeconds});
    }
    for (const TRatio &r : ratios)
        std::printf("ratio %s %.3f\n", r.Name.constData(), r.Value);
    return 0;
}
