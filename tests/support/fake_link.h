// Test doubles for the link: a transport that records what was sent and answers from a script,
// a reporter that records what the user would have been told, and a pump for the event loop.
#pragma once

#include "link/IOIface.h"
#include "link/reporter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <functional>

class TFakeLink : public TIOIface
{
    Q_OBJECT
public:
    bool IsOpen() const override { return OpenState; }
    void Open() override;
    void Close() override;
    void Send(const QByteArray &text) override;
    QString Description() const override { return QStringLiteral("fake"); }

    // Deliver characters as the instrument would (queued, like a real notification).
    void Deliver(const QByteArray &chars);
    // Deliver now, from inside the caller.
    void DeliverNow(const QByteArray &chars);
    // Called for every frame sent; may call Deliver to answer it.
    std::function<void(const QByteArray &frame)> Responder;
    // The peer hangs up (queued).
    void DropConnection();

    QList<QByteArray> Sent;
    // Link ticks that passed between the previous send and each send.
    QList<int> IdleBeforeSend;
    bool OpenState = false;
};

// Frames: SOH text CRC EOT.
QByteArray CrcFrame(const QByteArray &text);
// The message text inside a CRC frame, or the frame itself when not framed.
QByteArray FrameText(const QByteArray &frame);

class TRecordingReporter : public TReporter
{
public:
    void Error(const QString &text) override { Errors << text; }
    void Info(const QString &text) override { Infos << text; }
    bool Ask(const QString &text) override
    {
        Questions << text;
        return Answer;
    }
    bool Attended() const override { return !Unattended; }
    void BeginBusy() override { ++BusyDepth; }
    void EndBusy() override { --BusyDepth; }
    QStringList Errors, Infos, Questions;
    bool Answer = true;
    bool Unattended = false; // as the program without a screen
    int BusyDepth = 0;
};

// Runs the event loop until the predicate holds or the wall-clock limit passes; true if it held.
bool PumpUntil(const std::function<bool()> &pred, int limitMs = 5000);

// Qt's QTRY_ macros report to Qt Test, which a GoogleTest body never reads: these fail the test.
#define EXPECT_EVENTUALLY(cond) EXPECT_TRUE(PumpUntil([&] { return bool(cond); })) << #cond
#define EXPECT_EVENTUALLY_EQ(a, b)                                                                           \
    do {                                                                                                     \
        PumpUntil([&] { return (a) == (b); });                                                               \
        EXPECT_EQ(a, b);                                                                                     \
    } while (0)
