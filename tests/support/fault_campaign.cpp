// The fault campaign (see fault_campaign.h).
#include "fault_campaign.h"

#include "datastore/recordfile.h"
#include "datastore/recordstore.h"
#include "datastore/storelayout.h"
#include "datastore/upload.h"
#include "link/IOIface.h"
#include "link/reporter.h"
#include "settings/SendSettings.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingssave.h"
#include "settings/settingssend.h"
#include "settings/settingstree.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <random>

namespace
{

// Says nothing, answers every question yes (as `--yes`).
class TQuietReporter : public TReporter
{
public:
    void Error(const QString &) override {}
    void Info(const QString &) override {}
    bool Ask(const QString &) override { return true; }
};

const QByteArray FullPasscode = "5678";

QElapsedTimer &Clock()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock;
}

bool Reconnected(TCampaignRig &rig)
{
    return rig.Engine().LinkOpen() || rig.Connect();
}

QString FirstDifference(const QList<QByteArray> &got, const QList<QByteArray> &want)
{
    for (int i = 0; i < std::max(got.size(), want.size()); ++i) {
        const QByteArray a = i < got.size() ? got[i] : QByteArray("<none>");
        const QByteArray b = i < want.size() ? want[i] : QByteArray("<none>");
        if (a != b)
            return QStringLiteral("%1 lines for %2; line %3 is '%4', expected '%5'")
                .arg(got.size())
                .arg(want.size())
                .arg(i + 1)
                .arg(QString::fromLatin1(a), QString::fromLatin1(b));
    }
    return {};
}

} // namespace

// --- shared with the command campaign -----------------------------------------------------------

TReporter &QuietReporter()
{
    static TQuietReporter quiet;
    return quiet;
}

TSettingsRun::TSettingsRun(TTransactionEngine &engine) : Session(&engine, &Device, &Tree)
{
    Device.OnExchange = [&engine](const QByteArray &request) {
        engine.NotRespondingShown = true;
        return engine.TransactText(request);
    };
    Device.ReadAttempts = SaveReadAttempts;
    Device.GiveUpWhenUnanswered = true;
    Session.Attempts = SaveReadAttempts;
    Session.Reporter = &QuietReporter();
    Session.OnPasscode = [this](int, const QString &) -> std::optional<QByteArray> {
        if (PasscodeUsed)
            return std::nullopt;
        PasscodeUsed = true;
        return FullPasscode;
    };
}

void TSettingsRun::End(TTransactionEngine &engine)
{
    if (!Session.SessionActive)
        return;
    engine.Transact(CmdWrite, 0x00EF, "01", true, false);
    Session.SetSessionControls(false, false);
    Session.LockInstrument();
}

TStoreCheck CheckStore(const QString &path, const TSimRecords &records)
{
    TStoreCheck check;
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    QSet<uint32_t> seen;
    uint32_t previous = 0, lastSeq = 0;
    for (const QByteArray &stored : bytes.split('\n')) {
        if (stored.isEmpty())
            continue;
        const QByteArray line = UnscrambleLine(stored);
        const TDsdParsedLine parsed =
            DsdRecordParse(line.constData(), static_cast<std::size_t>(line.size()), lastSeq);
        if (parsed.IsTrailer())
            continue;
        ++check.Stored;
        const uint32_t n = parsed.Number;
        if (seen.contains(n))
            ++check.Duplicated;
        seen.insert(n);
        if (n < previous)
            ++check.OutOfOrder;
        previous = n;
        if (!records.Has(n) || line != DsdRecordLine(parsed.Seq, DsdRecordFixFormatting(records.Text(n))))
            ++check.Altered;
    }
    for (uint32_t n = records.Oldest(); records.Count() > 0 && n <= records.Newest(); ++n)
        check.Lost += seen.contains(n) ? 0 : 1;
    TDsdRecordStore store;
    check.Clean = QFile::exists(path) && store.DsdMemMapFileInit(path, QStringLiteral("campaign")) &&
                  store.FileVerdict() == 0;
    return check;
}

// --- modes ----------------------------------------------------------------------------------

QList<TFaultMode> FaultModes(int timeoutMs)
{
    const int late = timeoutMs * 3 / 2;
    return {
        {"drop", "10 %", [](TVornSimConfig &c) { c.DropReply = 0.10; }},
        {"delay", QStringLiteral("%1 ms, 1.5 time-outs").arg(late),
         [late](TVornSimConfig &c) { c.DelayMs = late; }},
        {"corrupt", "10 %", [](TVornSimConfig &c) { c.CorruptCrc = 0.10; }},
        {"lowercase", "10 %", [](TVornSimConfig &c) { c.LowerCaseCrc = 0.10; }},
        {"wrong-register", "10 %", [](TVornSimConfig &c) { c.WrongRegister = 0.10; }},
        {"oversize", "10 %", [](TVornSimConfig &c) { c.OversizedFrame = 0.10; }},
        {"duplicate", "30 %", [](TVornSimConfig &c) { c.DuplicateReply = 0.30; }},
        {"garbage", "30 %", [](TVornSimConfig &c) { c.Garbage = 0.30; }},
        {"disconnect-after", "150 requests", [](TVornSimConfig &c) { c.DisconnectAfter = 150; }},
        {"session-timeout", "1 s, clock jumps every 150 ms",
         [](TVornSimConfig &c) { c.SessionTimeoutSec = 1; }, true},
    };
}

// --- counts as a line -------------------------------------------------------------------------

QString TCampaignCounts::ToLine() const
{
    QStringList kinds;
    for (auto it = WrongReplyKinds.begin(); it != WrongReplyKinds.end(); ++it)
        kinds << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    QStringList f{
        "mode=" + Mode,
        QStringLiteral("calls=%1").arg(Transactions),
        QStringLiteral("frames=%1").arg(FramesSent),
        QStringLiteral("answered=%1").arg(Answered),
        QStringLiteral("noreply=%1").arg(NoReply),
        QStringLiteral("refused=%1").arg(Refused),
        QStringLiteral("wrong=%1").arg(WrongReplies),
        "wrongkinds=" + kinds.join(','),
        QStringLiteral("hangs=%1").arg(Hangs),
        QStringLiteral("longest=%1").arg(LongestWaitTimeouts, 0, 'f', 2),
        QStringLiteral("reconnects=%1").arg(Reconnects),
        QStringLiteral("uploads=%1").arg(UploadAttempts),
        QStringLiteral("complete=%1").arg(UploadClaimedComplete),
        QStringLiteral("expected=%1").arg(RecordsExpected),
        QStringLiteral("stored=%1").arg(RecordsStored),
        QStringLiteral("lost=%1").arg(RecordsLost),
        QStringLiteral("dup=%1").arg(RecordsDuplicated),
        QStringLiteral("altered=%1").arg(RecordsAltered),
        QStringLiteral("disorder=%1").arg(RecordsOutOfOrder),
        QStringLiteral("clean=%1").arg(StoreVerdictClean),
        QStringLiteral("uploadfalse=%1").arg(UploadFalseSuccesses),
        QStringLiteral("saves=%1/%2/%3/%4").arg(SaveRuns).arg(SaveRight).arg(SaveFalse).arg(SaveFailed),
        QStringLiteral("sends=%1/%2/%3/%4").arg(SendRuns).arg(SendRight).arg(SendFalse).arg(SendFailed),
    };
    return f.join(' ');
}

TCampaignCounts TCampaignCounts::FromLine(const QString &line)
{
    TCampaignCounts c;
    QMap<QString, QString> v;
    for (const QString &field : line.split(' ', Qt::SkipEmptyParts)) {
        const int eq = field.indexOf('=');
        if (eq > 0)
            v[field.left(eq)] = field.mid(eq + 1);
    }
    c.Mode = v["mode"];
    c.Transactions = v["calls"].toLongLong();
    c.FramesSent = v["frames"].toLongLong();
    c.Answered = v["answered"].toLongLong();
    c.NoReply = v["noreply"].toLongLong();
    c.Refused = v["refused"].toLongLong();
    c.WrongReplies = v["wrong"].toLongLong();
    for (const QString &kind : v["wrongkinds"].split(',', Qt::SkipEmptyParts))
        c.WrongReplyKinds[kind.section(':', 0, -2)] = kind.section(':', -1).toInt();
    c.Hangs = v["hangs"].toLongLong();
    c.LongestWaitTimeouts = v["longest"].toDouble();
    c.Reconnects = v["reconnects"].toInt();
    c.UploadAttempts = v["uploads"].toInt();
    c.UploadClaimedComplete = v["complete"].toInt() != 0;
    c.RecordsExpected = v["expected"].toInt();
    c.RecordsStored = v["stored"].toInt();
    c.RecordsLost = v["lost"].toInt();
    c.RecordsDuplicated = v["dup"].toInt();
    c.RecordsAltered = v["altered"].toInt();
    c.RecordsOutOfOrder = v["disorder"].toInt();
    c.StoreVerdictClean = v["clean"].toInt() != 0;
    c.UploadFalseSuccesses = v["uploadfalse"].toInt();
    const QStringList saves = v["saves"].split('/'), sends = v["sends"].split('/');
    if (saves.size() == 4) {
        c.SaveRuns = saves[0].toInt();
        c.SaveRight = saves[1].toInt();
        c.SaveFalse = saves[2].toInt();
        c.SaveFailed = saves[3].toInt();
    }
    if (sends.size() == 4) {
        c.SendRuns = sends[0].toInt();
        c.SendRight = sends[1].toInt();
        c.SendFalse = sends[2].toInt();
        c.SendFailed = sends[3].toInt();
    }
    return c;
}

// --- the rig ----------------------------------------------------------------------------------

TCampaignRig::TCampaignRig(const TVornSimConfig &instrument, int tickMs, int timeoutTicks)
    : Base(instrument), Tick(tickMs), Timeout(timeoutTicks)
{
    Base.TcpPort = 0;
    Simulator = std::make_unique<TVornSim>(Base);
    IsStarted = Simulator->Start();
    EnginePtr = std::make_unique<TTransactionEngine>();
    EnginePtr->Reporter = &QuietReporter();
    EnginePtr->SetTickInterval(Tick);
    EnginePtr->TimeoutTicks = Timeout;
    EnginePtr->OnFrameSent = [this](const QByteArray &) {
        LastSendMs = Clock().elapsed();
        HangCounted = false;
        // The wait's own time-out (the upload gives a late instrument up to three).
        WaitBudget = std::max(1, EnginePtr->TimeoutLeft);
    };
    Watchdog.setInterval(std::max(1, TimeoutMs() / 4));
    QObject::connect(&Watchdog, &QTimer::timeout, [this] { WatchWait(); });
    Watchdog.start();
    ClockJumps.setInterval(150);
    QObject::connect(&ClockJumps, &QTimer::timeout, [this] {
        Simulator->Instrument().AdvanceTime(Simulator->Instrument().Config().SessionTimeoutSec * 1000 + 100);
    });
    if (IsStarted)
        IsStarted = Connect();
}

TCampaignRig::~TCampaignRig()
{
    EnginePtr->OnFrameSent = nullptr;
}

void TCampaignRig::WatchWait()
{
    if (EnginePtr->TransactionState != 1 || LastSendMs < 0 || HangCounted)
        return;
    // The wait is measured in the engine's own ticks (the link's ticks since the request went
    // out), so that a loaded machine delaying every timer does not look like a hang; a wait that
    // also runs a second past twice its time-out in wall time counts too.
    const int ticks = EnginePtr->Link()->IdleTicks;
    const qint64 waited = Clock().elapsed() - LastSendMs;
    Counts.LongestWaitTimeouts = std::max(Counts.LongestWaitTimeouts, double(ticks) / Timeout);
    if (ticks > 2 * WaitBudget || waited > 2 * WaitBudget * Tick + 1000) {
        HangCounted = true;
        ++Counts.Hangs;
    }
}

bool TCampaignRig::Connect()
{
    auto socket = std::make_unique<TIOIfaceSocket>();
    socket->SetHostText(QStringLiteral("127.0.0.1"));
    socket->SetPort(Simulator->Port());
    EnginePtr->SetLink(std::move(socket));
    EnginePtr->Link()->Open();
    ++Counts.Reconnects;
    return EnginePtr->WaitUntil([this] { return EnginePtr->LinkOpen(); }, 5000);
}

void TCampaignRig::SetFaults(const TFaultMode *mode)
{
    TVornSimConfig faults;
    if (mode)
        mode->Apply(faults);
    Simulator->SetFaults(faults);
    if (mode && mode->SessionLapses)
        ClockJumps.start();
    else
        ClockJumps.stop();
}

// --- the operations -----------------------------------------------------------------------------

void RunTransactionStorm(TCampaignRig &rig, int count, uint32_t seed)
{
    std::mt19937 random(seed);
    TTransactionEngine &engine = rig.Engine();
    TVornInstrument &instrument = rig.Sim().Instrument();
    TCampaignCounts &c = rig.Counts;
    const uint32_t oldest = instrument.Records().Oldest();
    const uint32_t span = instrument.Records().Count() + 4;
    static const int identity[] = {0x0001, 0x0003, 0x0004, 0x0005};
    QList<QByteArray> recent; // the true replies of the latest calls
    for (int i = 0; i < count; ++i) {
        if (!Reconnected(rig))
            continue;
        Tcommsobj request;
        request.RequestFlag = true;
        request.Address = engine.UnitAddress;
        const uint32_t kind = random() % 10;
        const bool viaText = kind == 9;
        if (kind < 6) {
            request.Command = CmdExecute;
            request.Register = 0x8291;
            request.Data = QByteArray::number(oldest + random() % span - 2, 16).toUpper();
        } else if (kind == 8) {
            request.Command = CmdExecute;
            request.Register = 0x8295;
        } else {
            request.Command = CmdRead;
            request.Register = identity[random() % 4];
        }
        const QByteArray text = request.Encode();
        const QByteArray truth = instrument.Request(text);

        ++c.Transactions;
        QByteArray got;
        if (viaText) {
            got = engine.TransactText(text);
        } else {
            engine.Transact(request.Command, request.Register, request.Data, true, false);
            if (!engine.LastWaitTimedOut())
                got = engine.LastReply.Encode();
        }
        if (got.isEmpty()) {
            ++c.NoReply;
        } else {
            ++c.Answered;
            Tcommsobj reply;
            reply.Decode(got);
            c.Refused += reply.ErrorFlag ? 1 : 0;
            if (got != truth) {
                ++c.WrongReplies;
                Tcommsobj want;
                want.Decode(truth);
                QString why;
                if (recent.contains(got))
                    why = QStringLiteral("earlier-request-same-register");
                else if (reply.ErrorFlag && !want.ErrorFlag)
                    why = QStringLiteral("refusal-not-given");
                else
                    why = QStringLiteral("other");
                ++c.WrongReplyKinds[why];
            }
        }
        recent.append(truth);
        if (recent.size() > 16)
            recent.removeFirst();
    }
}

void RunUploadUntilComplete(TCampaignRig &rig, const QString &storeDir, int maxAttempts)
{
    TCampaignCounts &c = rig.Counts;
    TTransactionEngine &engine = rig.Engine();
    const TSimRecords &records = rig.Sim().Instrument().Records();
    TDsdStoreLayout layout;
    layout.SetStoreDir(storeDir);
    const QString path = layout.DsdIsnToDataStoreName(QString::number(rig.Sim().Instrument().SerialNumber));
    TStoreCheck check;
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        if (!Reconnected(rig))
            continue;
        TDevice device;
        device.OnExchange = [&engine](const QByteArray &request) { return engine.TransactText(request); };
        TDsdUpload upload(engine, device, layout);
        upload.Reporter = &QuietReporter();
        const TDsdUpload::TResult result = upload.DsdUploadOrRefreshClick();
        ++c.UploadAttempts;
        c.UploadLastMessage = upload.Message;
        check = CheckStore(path, records);
        // Success claimed: every record uploaded, or nothing new to upload.
        const bool claimed = result == TDsdUpload::Uploaded || result == TDsdUpload::NothingNew;
        if (claimed && !check.Matches())
            ++c.UploadFalseSuccesses;
        if (result == TDsdUpload::NothingNew) {
            c.UploadClaimedComplete = true;
            break;
        }
    }
    c.RecordsExpected = static_cast<int>(records.Count());
    c.RecordsStored = check.Stored;
    c.RecordsLost = check.Lost;
    c.RecordsDuplicated = check.Duplicated;
    c.RecordsAltered = check.Altered;
    c.RecordsOutOfOrder = check.OutOfOrder;
    c.StoreVerdictClean = check.Clean;
}

QList<QByteArray> CampaignSave(TCampaignRig &rig, bool &claimed, QString *why)
{
    claimed = false;
    TTransactionEngine &engine = rig.Engine();
    TSettingsRun run(engine);
    if (run.Session.MenuChoices().isEmpty()) {
        if (why)
            *why = QStringLiteral("no session could start");
        return {};
    }
    if (!run.Session.StartSession(1, true)) {
        if (why)
            *why = QStringLiteral("access to the full level failed");
        return {};
    }
    // As `settings save`: the core completes the tree and writes the file, or writes nothing.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("campaign.WSD"));
    const TSettingsSaveResult saved = SaveSettings(run.Tree, run.Device, path);
    run.End(engine);
    QList<QByteArray> lines;
    if (!saved.Ok()) {
        if (why)
            *why = saved.Message;
        if (QFile::exists(path) && why)
            *why += QStringLiteral(" (but a file was written)");
        return {};
    }
    QString error;
    claimed = ReadSettingsFile(path, lines, &error);
    if (!claimed && why)
        *why = error;
    return lines;
}

void RunSave(TCampaignRig &rig, const QList<QByteArray> &reference)
{
    TCampaignCounts &c = rig.Counts;
    if (!Reconnected(rig))
        return;
    QString why;
    bool claimed = false;
    const QList<QByteArray> lines = CampaignSave(rig, claimed, &why);
    ++c.SaveRuns;
    const bool right = claimed && lines == reference;
    c.SaveRight += right ? 1 : 0;
    c.SaveFalse += claimed && !right ? 1 : 0;
    c.SaveFailed += claimed ? 0 : 1;
    if (!right)
        c.SaveDetail = claimed ? FirstDifference(lines, reference) : why;
}

QList<QByteArray> RequestLines(const QList<QByteArray> &lines)
{
    QList<QByteArray> requests;
    for (const QByteArray &line : lines) {
        bool hex = line.size() > 8 && line[8] == ':';
        for (int i = 0; hex && i < 8; ++i)
            hex = std::isxdigit(static_cast<unsigned char>(line[i]));
        if (hex)
            requests << line;
    }
    return requests;
}

QList<QByteArray> ChangedSettingsFile(const QList<QByteArray> &saved)
{
    // FILTER 3 -> 5, MOTION 0.50 -> 1.00 kg.
    QList<QByteArray> lines = saved;
    for (QByteArray &line : lines) {
        if (line.startsWith("20121205:"))
            line = "20121205:0005";
        else if (line.startsWith("20121206:"))
            line = "20121206:0064";
    }
    return lines;
}

void RunSend(TCampaignRig &rig, const QList<QByteArray> &file)
{
    TCampaignCounts &c = rig.Counts;
    TTransactionEngine &engine = rig.Engine();
    if (!Reconnected(rig))
        return;
    bool claimed = false;
    {
        TSettingsRun run(engine);
        TSettingsSender sender(&engine, &run.Session, &QuietReporter());
        sender.Transfer.SetStepInterval(1);
        QList<QByteArray> lines = file;
        PreviewSettings(lines);
        // As `settings send`: done only when every line was sent and accepted, and none is left
        // whose effect is unknown.
        claimed = sender.SendFile(lines, false).Complete();
    }
    // The truth: everything read back without faults.
    rig.SetFaults(nullptr);
    bool read = false;
    QList<QByteArray> back;
    if (Reconnected(rig))
        back = CampaignSave(rig, read);
    const bool right = read && RequestLines(back) == RequestLines(file);
    ++c.SendRuns;
    c.SendRight += claimed && right ? 1 : 0;
    c.SendFalse += claimed && !right ? 1 : 0;
    c.SendFailed += claimed ? 0 : 1;
    if (!right)
        c.SendDetail = read ? FirstDifference(RequestLines(back), RequestLines(file))
                            : QStringLiteral("the read-back failed");
}

// --- one mode ---------------------------------------------------------------------------------

QList<QByteArray> ReferenceSave(const TCampaignPlan &plan)
{
    TVornSimConfig instrument;
    instrument.Records = static_cast<uint32_t>(plan.Records);
    TCampaignRig rig(instrument, plan.TickMs, plan.TimeoutTicks);
    bool claimed = false;
    const QList<QByteArray> lines = rig.Started() ? CampaignSave(rig, claimed) : QList<QByteArray>();
    return claimed ? lines : QList<QByteArray>();
}

TCampaignCounts RunCampaignMode(const TFaultMode *mode, const TCampaignPlan &plan,
                                const QList<QByteArray> &reference, const QString &workDir)
{
    TVornSimConfig instrument;
    instrument.Records = static_cast<uint32_t>(plan.Records);
    // Each mode draws its faults from its own sequence.
    instrument.Seed = plan.Seed + (mode ? static_cast<uint32_t>(qHash(mode->Name) % 1000) : 0);
    if (mode)
        mode->Apply(instrument);
    TCampaignRig rig(instrument, plan.TickMs, plan.TimeoutTicks);
    rig.Counts.Mode = mode ? mode->Name : QStringLiteral("none");
    if (!rig.Started())
        return rig.Counts;
    rig.SetFaults(mode);
    const int64_t sentBefore = rig.Engine().FramesSent;
    RunTransactionStorm(rig, plan.StormCalls, instrument.Seed);
    if (plan.Upload)
        RunUploadUntilComplete(rig, workDir + "/store-" + rig.Counts.Mode, plan.UploadAttempts);
    for (int i = 0; i < plan.Saves; ++i) {
        rig.SetFaults(mode);
        RunSave(rig, reference);
    }
    // Every other send changes the instrument back, so that each one has values to change.
    for (int i = 0; i < plan.Sends; ++i) {
        rig.SetFaults(mode);
        RunSend(rig, i % 2 == 0 ? ChangedSettingsFile(reference) : reference);
    }
    rig.Counts.FramesSent = rig.Engine().FramesSent - sentBefore;
    rig.SetFaults(nullptr);
    return rig.Counts;
}
