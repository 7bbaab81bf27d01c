// One line to the simulated instrument (a TCP client or the pty): splits the incoming bytes into
// requests, answers them through the instrument, and applies the faults on demand.
#pragma once

#include "instrument.h"
#include "splitter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <deque>

class QSocketNotifier;
class QTcpSocket;
class QTimer;
class TPreciseTimer;
class TVornSim;

class TSimLink : public QObject
{
    Q_OBJECT
public:
    TSimLink(TVornSim *sim, QTcpSocket *socket);
    TSimLink(TVornSim *sim, int ptyMaster);
    ~TSimLink() override;

    void Feed(const QByteArray &bytes);
    int Baud() const { return CurrentBaud; }
    int Requests() const { return RequestCount; }

private:
    void WireSplitter();
    void Answer(const QByteArray &text, bool framed, bool oversized);
    void Deliver(const TSimAnswer &answer, bool framed);
    QByteArray Frame(const Tcommsobj &message, bool framed, bool faults);
    void Send(const QByteArray &bytes, int lateMs = 0);
    void WriteNow(const QByteArray &bytes);
    void SendHeld();
    void FlushPty();
    void ReadPty();
    void SetBaud(int baud);
    // The line's timing (only when the configuration gives a baud rate).
    bool Paced() const;
    int64_t CharNs() const;
    int64_t NowNs() const { return Clock.nsecsElapsed(); }
    void FeedPaced(const QByteArray &bytes);
    void HandleDue();
    void PaceOut();
    void ArmTimer(TPreciseTimer *timer, int64_t dueNs);

    TVornSim *Sim;
    QPointer<QTcpSocket> Socket;
    int Master = -1;
    QSocketNotifier *ReadNotifier = nullptr;
    QSocketNotifier *WriteNotifier = nullptr;
    QByteArray PtyPending;
    TSimRequestSplitter Splitter;
    int RequestCount = 0;
    int CurrentBaud = 9600;
    QTimer *Stream = nullptr;
    int StreamLeft = 0;
    bool StreamFramed = true;
    TSimAnswer StreamReply;

    // Paced line: requests wait for their last character's arrival (plus the turnaround), and
    // characters go out one character time apart.
    struct TDueRequest {
        int64_t DueNs;
        QByteArray Text;
        bool Framed;
        bool Oversized;
    };
    QElapsedTimer Clock;
    int64_t RxLineFreeNs = 0; // when the last character received so far has fully arrived
    int64_t FeedCharNs = 0;   // while splitting: arrival of the character being fed
    std::deque<TDueRequest> DueRequests;
    TPreciseTimer *RxTimer = nullptr;
    QByteArray TxPending;
    int64_t TxNextNs = 0; // when the last character let out has fully gone out
    TPreciseTimer *TxTimer = nullptr;
    int BaudAfterReply = 0;  // a speed switch waiting for its reply to go out
    int64_t HeldUntilMs = 0; // a reply held back (a delay) goes out then; later ones wait for it
    std::deque<std::pair<int64_t, QByteArray>> HeldOut; // replies held back, in order, with their time
    QTimer *HeldTimer = nullptr;
};
