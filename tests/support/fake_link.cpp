// Test doubles for the link.
#include "fake_link.h"

#include "link/CRC.h"

#include <QCoreApplication>
#include <QTimer>

void TFakeLink::Open()
{
    OpenState = true;
    FireOpened();
}

void TFakeLink::Close()
{
    OpenState = false;
    FireClosed();
}

void TFakeLink::Send(const QByteArray &text)
{
    IdleBeforeSend.append(IdleTicks);
    IdleTicks = 0;
    Sent.append(text);
    if (Responder)
        Responder(text);
}

void TFakeLink::Deliver(const QByteArray &chars)
{
    QTimer::singleShot(0, this, [this, chars] { DeliverNow(chars); });
}

void TFakeLink::DeliverNow(const QByteArray &chars)
{
    if (OnReceive)
        OnReceive(chars);
}

void TFakeLink::DropConnection()
{
    QTimer::singleShot(0, this, [this] {
        OpenState = false;
        FireClosed();
    });
}

QByteArray CrcFrame(const QByteArray &text)
{
    return QByteArray(1, '\x01') + text + FrameCrcHex(text) + QByteArray(1, '\x04');
}

QByteArray FrameText(const QByteArray &frame)
{
    if (frame.size() >= 6 && frame.front() == '\x01' && frame.back() == '\x04')
        return frame.mid(1, frame.size() - 6);
    return frame;
}

bool PumpUntil(const std::function<bool()> &pred, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
