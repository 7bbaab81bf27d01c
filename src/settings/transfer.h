// Paces a settings transfer: sends a list of message texts one by one, each after the reply to the
// previous one, resending an unanswered one every 2 s and giving up on its fourth send. The
// transfer dialog shows its progress; the command line and tests run it on their own.
#pragma once

#include "link/comms.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>

class TReporter;

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
    // Starts and waits in an event loop until the transfer ends; true when it completed.
    bool Run();

    // 20 ms in the program; tests shorten it.
    void SetStepInterval(int ms) { StepTimer.setInterval(ms); }

    QList<QByteArray> Messages;
    int Position = 0;
    int Attempts = 0;
    int WaitLeft = 0;
    bool AwaitingReply = false;
    bool Running = false;
    int Progress = 0;
    int ProgressMax = 0;
    Tcommsobj ReplyMessage;

    static constexpr int StepsPerAttempt = 100; // 2 s of 20 ms steps
    static constexpr int MaxSends = 3;          // the fourth send of one message gives up

private:
    void Finish(bool completed);
    void ReportProgress();
    QTimer StepTimer;
};
