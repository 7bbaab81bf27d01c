// The settings transfer's pacing.
#include "transfer.h"

#include "link/reporter.h"

#include <QEventLoop>

TSettingsTransfer::TSettingsTransfer(QObject *parent) : QObject(parent)
{
    StepTimer.setInterval(20);
    connect(&StepTimer, &QTimer::timeout, this, &TSettingsTransfer::Step);
}

TSettingsTransfer::~TSettingsTransfer() = default;

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
    ReportProgress();
}

void TSettingsTransfer::Start()
{
    AwaitingReply = false;
    WaitLeft = 2;
    Attempts = 0;
    Running = true;
    StepTimer.start();
}

void TSettingsTransfer::Step()
{
    if (!Running)
        return;
    if (WaitLeft > 0) {
        --WaitLeft;
        return;
    }
    if (Position >= Messages.size()) {
        Finish(true);
        return;
    }
    // The state is set before sending so that a reply delivered from inside the send counts.
    WaitLeft = StepsPerAttempt;
    ++Attempts;
    AwaitingReply = true;
    const bool lastSend = Attempts > MaxSends;
    const QByteArray message = Messages[Position];
    if (SendFrame)
        SendFrame(message);
    if (lastSend) {
        Messages.clear();
        if (Reporter)
            Reporter->Error(QStringLiteral("Instrument not Responding"));
        Finish(false);
    }
}

void TSettingsTransfer::ReplyArrived(const QByteArray &text)
{
    ReplyMessage.Decode(text);
    if (AwaitingReply) {
        // A refusal counts as an answer too: the line is done and the next one goes out.
        AwaitingReply = false;
        Attempts = 0;
        ++Position;
    }
    ++Progress;
    WaitLeft = 0;
    ReportProgress();
}

void TSettingsTransfer::Cancel()
{
    Messages.clear();
    WaitLeft = 0;
    AwaitingReply = false;
    Finish(false);
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
