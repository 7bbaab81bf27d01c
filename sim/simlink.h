// One line to the simulated instrument (a TCP client or the pty): splits the incoming bytes into
// requests, answers them through the instrument, and applies the faults on demand.
#pragma once

#include "instrument.h"
#include "splitter.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QTcpSocket;
class QTimer;
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
    void Send(const QByteArray &bytes);
    void WriteNow(const QByteArray &bytes);
    void FlushPty();
    void ReadPty();
    void SetBaud(int baud);

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
};
