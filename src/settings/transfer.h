// Paces a settings transfer: sends a list of message texts one by one, each after the reply to the
// previous one, giving up when the fourth send of one is not answered within the wait either. A lost reply is
// followed by a resend only when sending the line twice is harmless (or its effect was read back and is
// missing); refusals are listed, and a lapsed session can be reopened. The transfer dialog shows its
// progress; the command line and tests run it on their own.
#pragma once

#include "link/changerecorder.h"
#include "link/comms.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>

class TReporter;

// A line the instrument refused, with its reason.
struct TRefusedLine {
    int Index = 0; // position among the lines sent (from 0)
    QByteArray Line;
    int Register = 0;
    uint32_t Status = 0;
    QByteArray Reason; // the instrument's text, blanks included (" Over Range ")
    // "Error :- Register B010:  Over Range "
    QByteArray Text() const;
};

// What to do about a line whose reply was lost.
enum TLostReply {
    ResendLine,      // not done (or harmless to repeat): send it again
    LineDone,        // its effect was read back: it took effect, go on
    CheckAgain,      // the read-back got no answer either: wait one more period and look again
    LineUnconfirmed, // not known whether it took effect, and not harmless to repeat: go on without it
};

class TSettingsTransfer : public QObject
{
    Q_OBJECT
public:
    explicit TSettingsTransfer(QObject *parent = nullptr);
    ~TSettingsTransfer() override;

    // Sends one message text CRC-framed (the engine's SendFrame with CRC on).
    std::function<void(const QByteArray &text)> SendFrame;
    // Progress changed (value, maximum).
    std::function<void(int value, int maximum)> OnProgress;
    // The transfer ended: true when every message went out, false on giving up or Cancel.
    std::function<void(bool completed)> OnFinished;
    // Receives "Instrument not Responding".
    TReporter *Reporter = nullptr;
    // Whether the link is still there. A transfer whose link went ends at its next step: nothing
    // is resent into a closed link, and the line in flight counts as unconfirmed.
    std::function<bool()> LinkOpen;

    // --- what a lost reply or a refusal leads to -----------------------------------------------
    // Asked before a line goes out the first time (to note the state a read-back compares with);
    // false ends the transfer (the instrument does not answer).
    std::function<bool(const QByteArray &line)> OnBeforeLine;
    // Asked when a line's reply was lost, before anything is sent again. The hook may talk to the
    // instrument (the transfer holds still meanwhile). Without it: LostReplyDefault.
    std::function<TLostReply(const QByteArray &line)> OnReplyLost;
    // A line was refused because the instrument's session lapsed: true when it was reopened and the
    // line is to go out again; false ends the transfer, StopReason saying so.
    std::function<bool(const QByteArray &line, QString *why)> OnSessionLapsed;
    // A line is settled: answered (refused or not), its effect read back, or left unconfirmed (its
    // reply lost, the link gone). `text` is the instrument's refusal or why it is not confirmed.
    std::function<void(const QByteArray &line, TChangeOutcome outcome, const QString &text)> OnLineSettled;
    // Without OnReplyLost: a write of a value (or a read) is sent again; anything else is not.
    static TLostReply LostReplyDefault(const QByteArray &line);

    void Load(const QList<QByteArray> &messages, const QByteArray &header = {});
    void Add(const QByteArray &message);
    void Clear();
    // Starts the 20 ms steps (the dialog's activation).
    void Start();
    // One 20 ms step; the timer calls it, tests may too.
    void Step();
    // A reply of the instrument (the transfer's reply route).
    void ReplyArrived(const QByteArray &text);
    void Cancel();
    // Ends the transfer once the line in flight is answered or settled (a signal to the command
    // line): no further line goes out, and the outcome counts as cancelled.
    void StopAfterLine();
    // Starts and waits in an event loop until the transfer ends; true when it completed.
    bool Run();

    // 20 ms in the program; tests shorten it.
    void SetStepInterval(int ms) { StepTimer.setInterval(ms); }
    // How long a line's reply is waited for before it counts as lost: 2 s in the program; the
    // command line takes its reply time-out. In steps of the present interval, at least one.
    void SetReplyWait(int ms);

    QList<QByteArray> Messages;
    int Position = 0;
    int Attempts = 0;
    int WaitLeft = 0;
    bool AwaitingReply = false;
    bool Running = false;
    int Progress = 0;
    int ProgressMax = 0;
    Tcommsobj ReplyMessage;

    // --- the outcome ------------------------------------------------------------------------
    QList<TRefusedLine> Refused;
    // Lines whose reply was lost and which were not sent again: whether they took effect is unknown.
    QList<QByteArray> Unconfirmed;
    // Lines answered (or confirmed by reading back), refusals included.
    int Done = 0;
    // Replies that came for a line the transfer had already left (a resend's second answer).
    int LateReplies = 0;
    // Why the transfer ended early: "Instrument not Responding", the lapsed session, Cancel.
    QString StopReason;
    bool Cancelled = false;
    bool StopAsked = false;   // StopAfterLine was called (kept across Load)
    bool SessionLost = false; // ended by a lapsed session that could not be reopened
    bool LinkLost = false;    // ended by the link going away

    static constexpr int StepsPerAttempt = 100; // 2 s of 20 ms steps
    int ReplyWaitSteps = StepsPerAttempt;
    static constexpr int MaxSends = 3; // the fourth send of one message gives up

private:
    void Finish(bool completed);
    void Stop(const QString &reason);
    void Settled(const QByteArray &line, TChangeOutcome outcome, const QString &text);
    void ReportProgress();
    // Moves on; `answered` of the line's sends were answered (the rest may still be).
    void NextLine(int answered);
    void GiveUp();
    static uint32_t Key(const Tcommsobj &msg);
    bool IsReplyToCurrent(const Tcommsobj &reply) const;
    void Answered(const Tcommsobj &reply);
    // The line's reply was lost; true when it is to be sent again now.
    bool LineLost();
    void ReopenAfterLapse();
    void LinkGone();
    QTimer StepTimer;
    // The line being sent, decoded (when it is a message text at all).
    Tcommsobj Current;
    bool CurrentDecoded = false;
    // A hook is talking to the instrument: the steps hold, and a reply to the current line is kept.
    bool Busy = false;
    bool KeptReplyValid = false;
    Tcommsobj KeptReply;
    bool LapsePending = false;
    bool ReopenedForCurrent = false;
    // Periods waited, without sending again, for the reply to a line that is not sent twice.
    int QuietWaits = 0;
    // Unanswered sends of lines already left, by command and register.
    QHash<uint32_t, int> Outstanding;
};
