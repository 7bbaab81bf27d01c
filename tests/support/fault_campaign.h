// The fault campaign: the real transaction engine and core operations against an in-process
// vornsim showing one fault at a time, each result compared with the instrument's truth (its
// records, a fault-free settings save). Shared by the CI test (short) and bench_faults (long).
#pragma once

#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "vornsim.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

// One fault mode: its vornsim option and the settings that show it.
struct TFaultMode {
    QString Name;   // the vornsim option ("drop")
    QString Amount; // what it is set to ("10 %")
    std::function<void(TVornSimConfig &)> Apply;
    bool SessionLapses = false; // the instrument's clock jumps past the session time-out
};
// The ten modes, set to the campaign's rates for a reply time-out of timeoutMs.
QList<TFaultMode> FaultModes(int timeoutMs);

// What one mode's run counted.
struct TCampaignCounts {
    QString Mode;
    // Transactions: calls of the engine that waited for a reply (resends not counted again).
    int64_t Transactions = 0;
    int64_t FramesSent = 0;
    int64_t Answered = 0, NoReply = 0, Refused = 0;
    // A call that returned a reply that was not its own (matching is by register alone).
    int64_t WrongReplies = 0;
    QMap<QString, int> WrongReplyKinds;
    // A wait that did not end within twice its time-out after its request went out (counted in
    // the engine's ticks; or a second later than that in wall time).
    int64_t Hangs = 0;
    double LongestWaitTimeouts = 0; // the longest single wait, in time-outs (ticks)
    int Reconnects = 0;
    // Upload of the instrument's records, repeated until it reports nothing new.
    int UploadAttempts = 0;
    bool UploadClaimedComplete = false;
    int RecordsExpected = 0, RecordsStored = 0, RecordsLost = 0, RecordsDuplicated = 0, RecordsAltered = 0;
    int RecordsOutOfOrder = 0;
    bool StoreVerdictClean = true;
    int UploadFalseSuccesses = 0; // an attempt that claimed success with the store not matching
    QString UploadLastMessage;
    // settings save against a fault-free save; settings send then a full read against the file.
    // Runs, and how they ended: done and right, done by their own account but wrong (a false
    // success), or failed with a message.
    int SaveRuns = 0, SaveRight = 0, SaveFalse = 0, SaveFailed = 0;
    int SendRuns = 0, SendRight = 0, SendFalse = 0, SendFailed = 0;
    QString SaveDetail, SendDetail;
    int FalseSuccesses() const { return UploadFalseSuccesses + SaveFalse + SendFalse; }
    // One "key=value" line (bench output) and its reading.
    QString ToLine() const;
    static TCampaignCounts FromLine(const QString &line);
};

// An instrument and the program's link to it.
class TCampaignRig
{
public:
    // tickMs: the engine's tick; timeoutTicks: the reply time-out in ticks.
    TCampaignRig(const TVornSimConfig &instrument, int tickMs, int timeoutTicks);
    ~TCampaignRig();
    bool Started() const { return IsStarted; }
    // Connects the engine (again, after a lost link); false when it cannot.
    bool Connect();
    void SetFaults(const TFaultMode *mode); // null: no faults
    TVornSim &Sim() { return *Simulator; }
    TTransactionEngine &Engine() { return *EnginePtr; }
    int TimeoutMs() const { return Tick * Timeout; }
    TCampaignCounts Counts;

private:
    void WatchWait();
    TVornSimConfig Base;
    int Tick, Timeout;
    std::unique_ptr<TVornSim> Simulator;
    std::unique_ptr<TTransactionEngine> EnginePtr;
    QTimer Watchdog, ClockJumps;
    qint64 LastSendMs = -1;
    int WaitBudget = 1; // ticks the current wait may take
    bool HangCounted = false;
    bool IsStarted = false;
};

// Requests with a known answer (records by number, identification) compared with the reply.
void RunTransactionStorm(TCampaignRig &rig, int count, uint32_t seed);
// Uploads into storeDir until an upload reports nothing new (at most maxAttempts), then
// compares the store file record by record with the instrument's records.
void RunUploadUntilComplete(TCampaignRig &rig, const QString &storeDir, int maxAttempts);
// A full settings save as brellin-cli does it; claimed tells whether it reported success.
QList<QByteArray> CampaignSave(TCampaignRig &rig, bool &claimed, QString *why = nullptr);
void RunSave(TCampaignRig &rig, const QList<QByteArray> &reference);
// Sends the file, then reads everything back without faults and compares with the file.
void RunSend(TCampaignRig &rig, const QList<QByteArray> &file);
// A settings file that differs from the default instrument's in a few values.
QList<QByteArray> ChangedSettingsFile(const QList<QByteArray> &saved);
// The request lines of a settings file (what a comparison looks at).
QList<QByteArray> RequestLines(const QList<QByteArray> &lines);

// Says nothing and answers every question yes (as `--yes`).
TReporter &QuietReporter();

// The catalogue, tree and session of one settings command, as brellin-cli builds them: reads
// retried, and once one stays unanswered the others are not waited for. The full passcode is
// given once when asked.
struct TSettingsRun {
    TDevice Device;
    TSettingsTreeModel Tree{&Device};
    TSession Session;
    bool PasscodeUsed = false;
    explicit TSettingsRun(TTransactionEngine &engine);
    void End(TTransactionEngine &engine); // ends a running session and locks the instrument
};

// A store file against the instrument's records.
struct TStoreCheck {
    int Stored = 0, Lost = 0, Duplicated = 0, Altered = 0, OutOfOrder = 0;
    bool Clean = false;
    bool Matches() const { return Lost == 0 && Duplicated == 0 && Altered == 0 && OutOfOrder == 0 && Clean; }
};
TStoreCheck CheckStore(const QString &path, const TSimRecords &records);

// How much one mode's run does.
struct TCampaignPlan {
    int TickMs = 2;
    int TimeoutTicks = 15; // 30 ms
    int Records = 1000;
    int StormCalls = 10000;
    bool Upload = true;
    int UploadAttempts = 300;
    int Saves = 1; // settings saves under the mode
    int Sends = 1; // settings sends (each read back without faults)
    uint32_t Seed = 1;
};
// A fault-free full save of the default instrument (empty when it failed).
QList<QByteArray> ReferenceSave(const TCampaignPlan &plan);
// Runs the storm, the upload, the save and the send under one mode (null: no faults).
TCampaignCounts RunCampaignMode(const TFaultMode *mode, const TCampaignPlan &plan,
                                const QList<QByteArray> &reference, const QString &workDir);
