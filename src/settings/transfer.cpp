// The settings transfer's pacing, its lost replies and its refusals.
#include "transfer.h"

#include "i18n/LumsLang.h"
#include "link/reporter.h"

#include <QEventLoop>
#include <algorithm>

QByteArray TRefusedLine::Text() const
{
    return "Error :- Register " + QByteArray::number(Register, 16).toUpper().rightJustified(4, '0') + ": " +
           Reason;
}

TSettingsTransfer::TSettingsTransfer(QObject *parent) : QObject(parent)
{
    StepTimer.setInterval(20);
    connect(&StepTimer, &QTimer::timeout, this, &TSettingsTransfer::Step);
}

TSettingsTransfer::~TSettingsTransfer() = default;

void TSettingsTransfer::SetReplyWait(int ms)
{
    const int step = std::max(1, StepTimer.interval());
    ReplyWaitSteps = std::max(1, (ms + step - 1) / step);
}

TLostReply TSettingsTransfer::LostReplyDefault(const QByteArray &line)
{
    Tcommsobj msg;
    if (!msg.Decode(line))
        return ResendLine; // not a message: the instrument cannot have acted on it
    return msg.Command == CmdExecute ? LineUnconfirmed : ResendLine;
}

void TSettingsTransfer::Load(const QList<QByteArray> &messages, const QByteArray &header)
{
    Clear();
    if (!header.isEmpty())
        Add(header);
    for (const QByteArray &m : messages)
        Add(m);
}

void TSettingsTransfer::Add(const QByteArray &message)
{
    Messages.append(message);
    ++ProgressMax;
    ReportProgress();
}

void TSettingsTransfer::Clear()
{
    Messages.clear();
    ProgressMax = 0;
    Progress = 0;
    Position = 0;
    Refused.clear();
    Unconfirmed.clear();
    Outstanding.clear();
    LateReplies = 0;
    Done = 0;
    StopReason.clear();
    Cancelled = false;
    SessionLost = false;
    LinkLost = false;
    ReportProgress();
}

void TSettingsTransfer::Start()
{
    AwaitingReply = false;
    WaitLeft = 2;
    Attempts = 0;
    QuietWaits = 0;
    Running = true;
    Busy = false;
    KeptReplyValid = false;
    LapsePending = false;
    ReopenedForCurrent = false;
    StepTimer.start();
}

void TSettingsTransfer::Step()
{
    if (!Running || Busy)
        return;
    if (LinkOpen && !LinkOpen()) {
        LinkGone();
        return;
    }
    if (LapsePending) {
        ReopenAfterLapse();
        return;
    }
    if (WaitLeft > 0) {
        --WaitLeft;
        return;
    }
    if (Position >= Messages.size()) {
        Finish(true);
        return;
    }
    // Asked to stop: the line in flight has been settled, no new one goes out.
    if (StopAsked && !AwaitingReply && Attempts == 0) {
        Cancelled = true;
        StopReason = QStringLiteral("Stopped");
        Finish(false);
        return;
    }
    // The wait for the reply ran out: the line goes out again only when that is harmless.
    if (AwaitingReply && !LineLost())
        return;
    const QByteArray message = Messages[Position];
    if (Attempts == 0) {
        CurrentDecoded = Current.Decode(message);
        // After a reopened session the line goes out again as it was: it had been refused.
        if (OnBeforeLine && !ReopenedForCurrent) {
            Busy = true;
            const bool ok = OnBeforeLine(message);
            Busy = false;
            if (!Running)
                return;
            if (!ok) {
                Stop(LangText("Messages", "TransferNotResponding", "Instrument not Responding"));
                return;
            }
        }
    }
    // The state is set before sending so that a reply delivered from inside the send counts. The
    // last send is waited for like any: a reply within the wait still counts.
    WaitLeft = ReplyWaitSteps;
    ++Attempts;
    AwaitingReply = true;
    if (SendFrame)
        SendFrame(message);
}

void TSettingsTransfer::Settled(const QByteArray &line, TChangeOutcome outcome, const QString &text)
{
    if (OnLineSettled)
        OnLineSettled(line, outcome, text);
}

void TSettingsTransfer::GiveUp()
{
    // The line went out and was never answered: whether it took effect is not known.
    if (Position < Messages.size()) {
        Unconfirmed.append(Messages[Position]);
        Settled(Messages[Position], TChangeOutcome::NotConfirmed,
                QStringLiteral("no reply to its last send"));
    }
    AwaitingReply = false;
    Stop(LangText("Messages", "TransferNotResponding", "Instrument not Responding"));
}

bool TSettingsTransfer::LineLost()
{
    const QByteArray line = Messages[Position];
    Busy = true;
    const TLostReply decision = OnReplyLost ? OnReplyLost(line) : LostReplyDefault(line);
    Busy = false;
    if (!Running)
        return false;
    if (KeptReplyValid) {
        // The reply came after all, while the instrument was being asked: it decides.
        KeptReplyValid = false;
        Answered(KeptReply);
        return false;
    }
    switch (decision) {
    case ResendLine:
        if (Attempts > MaxSends) {
            GiveUp(); // the fourth send had no reply either
            return false;
        }
        return true; // sent again at once (Attempts counts the sends)
    case LineDone:
        Settled(line, TChangeOutcome::Confirmed, QStringLiteral("reply lost; its effect was read back"));
        ++Done;
        ++Progress;
        NextLine(0);
        ReportProgress();
        return false;
    case LineUnconfirmed:
        // Not sent again: its reply is waited for as long as a line that may go again would be
        // (over all its sends), and only then is the line given up as not confirmed.
        if (QuietWaits < MaxSends) {
            ++QuietWaits;
            WaitLeft = ReplyWaitSteps;
            return false;
        }
        Settled(line, TChangeOutcome::NotConfirmed, QStringLiteral("reply lost; not sent again"));
        Unconfirmed.append(line);
        ++Progress;
        NextLine(0);
        ReportProgress();
        return false;
    case CheckAgain:
        // Nothing sent: one more period of waiting counts like a send.
        WaitLeft = ReplyWaitSteps;
        if (++Attempts > MaxSends + 1)
            GiveUp();
        return false;
    }
    return false;
}

void TSettingsTransfer::NextLine(int answered)
{
    // Sends of this line still unanswered may yet be answered: such a reply is not the next
    // line's, also when that line names the same register and command.
    if (CurrentDecoded && Attempts > answered)
        Outstanding[Key(Current)] += Attempts - answered;
    AwaitingReply = false;
    Attempts = 0;
    QuietWaits = 0;
    ReopenedForCurrent = false;
    ++Position;
    WaitLeft = 0;
}

uint32_t TSettingsTransfer::Key(const Tcommsobj &msg)
{
    return (static_cast<uint32_t>(msg.Command & 0xFF) << 16) | static_cast<uint32_t>(msg.Register & 0xFFFF);
}

bool TSettingsTransfer::IsReplyToCurrent(const Tcommsobj &reply) const
{
    // A text that is not a message is paired with whatever reply comes.
    return !CurrentDecoded || (reply.Register == Current.Register && reply.Command == Current.Command);
}

void TSettingsTransfer::ReplyArrived(const QByteArray &text)
{
    Tcommsobj reply;
    const bool decoded = reply.Decode(text);
    ReplyMessage.Decode(text);
    if (decoded) {
        // A late reply to an earlier line's send: counted and dropped.
        auto late = Outstanding.find(Key(reply));
        if (late != Outstanding.end() && late.value() > 0) {
            if (--late.value() == 0)
                Outstanding.erase(late);
            ++LateReplies;
            return;
        }
    }
    if (Busy) {
        // A hook is asking the instrument: its replies are its own; a late one to the line is kept.
        if (AwaitingReply && decoded && CurrentDecoded && IsReplyToCurrent(reply)) {
            KeptReply = reply;
            KeptReplyValid = true;
        }
        return;
    }
    if (AwaitingReply && (!CurrentDecoded || (decoded && IsReplyToCurrent(reply)))) {
        Answered(reply);
    } else {
        // An extra reply (a duplicate, or one to an earlier send): progress only.
        ++Progress;
        ReportProgress();
    }
}

void TSettingsTransfer::Answered(const Tcommsobj &reply)
{
    AwaitingReply = false;
    if (reply.HasStatus(StatusSessionTimedOut)) {
        // Not done: the session is reopened (next step) and the line sent again.
        LapsePending = true;
        WaitLeft = 0;
        return;
    }
    if (reply.ErrorFlag)
        Refused.append({Position, Messages[Position], reply.Register, reply.Status, reply.ErrorText()});
    Settled(Messages[Position], reply.ErrorFlag ? TChangeOutcome::Refused : TChangeOutcome::Confirmed,
            reply.ErrorFlag ? QString::fromLatin1(reply.ErrorText()).trimmed() : QString());
    ++Done;
    ++Progress;
    NextLine(1);
    ReportProgress();
}

void TSettingsTransfer::ReopenAfterLapse()
{
    LapsePending = false;
    const QByteArray line = Messages[Position];
    QString why;
    bool reopened = false;
    if (!ReopenedForCurrent && OnSessionLapsed) {
        Busy = true;
        reopened = OnSessionLapsed(line, &why);
        Busy = false;
        if (!Running)
            return;
    } else if (ReopenedForCurrent) {
        why =
            LangText("Messages", "WhyLapsedAgain", "the session lapsed again at once after it was reopened");
    }
    if (!reopened) {
        SessionLost = true;
        Stop((why.isEmpty()
                  ? LangText("Messages", "TransferLapsed",
                             "The instrument's session lapsed after %1 of %2 lines; the rest was not sent")
                  : LangText("Messages", "TransferLapsedWhy",
                             "The instrument's session lapsed after %1 of %2 lines (%3); the rest was not "
                             "sent"))
                 .arg(Position)
                 .arg(Messages.size())
                 .arg(why));
        return;
    }
    ReopenedForCurrent = true;
    KeptReplyValid = false;
    Attempts = 0;
    QuietWaits = 0;
    AwaitingReply = false;
    WaitLeft = 0;
}

void TSettingsTransfer::LinkGone()
{
    // The line sent last may or may not have reached the instrument.
    if (AwaitingReply && Position < Messages.size()) {
        Unconfirmed.append(Messages[Position]);
        Settled(Messages[Position], TChangeOutcome::NotConfirmed, QStringLiteral("the link was lost"));
    }
    LinkLost = true;
    Stop(LangText("Messages", "TransferLost",
                  "The connection was lost after %1 of %2 lines; the rest was not sent")
             .arg(Position)
             .arg(Messages.size()));
}

void TSettingsTransfer::Cancel()
{
    Messages.clear();
    WaitLeft = 0;
    AwaitingReply = false;
    if (Running) {
        Cancelled = true;
        StopReason = QStringLiteral("Cancelled");
    }
    Finish(false);
}

void TSettingsTransfer::StopAfterLine()
{
    StopAsked = true;
}

bool TSettingsTransfer::Run()
{
    bool result = false;
    QEventLoop loop;
    auto previous = OnFinished;
    OnFinished = [&](bool completed) {
        result = completed;
        loop.quit();
    };
    Start();
    if (Running)
        loop.exec();
    OnFinished = previous;
    if (OnFinished)
        OnFinished(result);
    return result;
}

void TSettingsTransfer::Stop(const QString &reason)
{
    StopReason = reason;
    Messages.clear();
    if (Reporter && reason == QLatin1String("Instrument not Responding"))
        Reporter->Error(reason);
    Finish(false);
}

void TSettingsTransfer::Finish(bool completed)
{
    const bool wasRunning = Running;
    Running = false;
    StepTimer.stop();
    if (wasRunning && OnFinished)
        OnFinished(completed);
}

void TSettingsTransfer::ReportProgress()
{
    if (OnProgress)
        OnProgress(Progress, ProgressMax);
}
