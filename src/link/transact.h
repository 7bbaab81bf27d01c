// The transaction engine: the only way the program talks to the instrument. One request at a
// time; a caller waits in a nested event loop until the reply or the time-out, so timers and
// the window keep running. It also assembles replies, routes unsolicited ones, echoes the
// traffic and looks after the link (display/clock polls, session refresh, fast-optical upkeep).
#pragma once

#include "IOIface.h"
#include "comms.h"
#include "framing.h"

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class TReporter;

enum TReplyRoute : int {
    RouteNone = 0,
    RouteDisplay = 1,
    RouteLog = 2,
    RouteTest = 3,
    RouteSendSettings = 5,
    RouteCalibration = 6,
    RouteSetClock = 7,
    RouteStringTest = 8,
    RouteDataStore = 9,
};

enum TCableType : int { CableRs232 = 0, CableOptical = 1, CableFastOptical = 2 };

// Receives the replies of one route. The engine has already filtered: the display and
// calibration routes get register 0x0009 only; the others get every decoded reply.
class TReplyConsumer
{
public:
    virtual ~TReplyConsumer() = default;
    virtual void RoutedReply(const Tcommsobj &reply, const QByteArray &text) = 0;
};

class TTransactionEngine : public QObject
{
    Q_OBJECT
public:
    explicit TTransactionEngine(QObject *parent = nullptr);
    ~TTransactionEngine() override;

    // --- the link ---------------------------------------------------------------------------
    // Takes ownership of a new transport (the old one is freed later, safely) and wires its events.
    // The transport is not opened here.
    void SetLink(std::unique_ptr<TIOIface> link);
    TIOIface *Link() const { return LinkPtr.get(); }
    bool LinkOpen() const { return LinkPtr && LinkPtr->IsOpen(); }
    // Called by the transport's events (after the engine's own handling).
    std::function<void(bool connected)> OnConnectedChanged;
    std::function<void(const QString &reason)> OnLinkError;

    // --- transactions -----------------------------------------------------------------------
    bool Transact(int command, int reg, const QByteArray &data, bool wait, bool report);
    QByteArray TransactText(const QByteArray &request);
    // The same request sent once: no resend after a time-out, and the time-out not reported (the
    // caller says what it means). For requests that change the instrument's state,
    // such as reading the next record. `ticks` > 0 waits that long instead of TimeoutTicks.
    QByteArray TransactTextOnce(const QByteArray &request, int ticks = 0);
    void SendFrame(const QByteArray &text, bool useCrc);
    void WaitTicks(int n);
    // Runs the event loop until done() holds or limitMs have passed; true when done() held. The
    // wait sleeps until an event arrives (a reply, a tick, the link opening or closing).
    bool WaitUntil(const std::function<bool()> &done, int limitMs);
    void ReportRegisterError(const Tcommsobj &reply);
    // Feed received characters (the transport's OnReceive goes here).
    void ReceiveChars(const QByteArray &text);
    void FlushEcho();
    // Forget a half-received reply and unshown echo (connect and disconnect).
    void ClearBuffers();
    void Reset();

    // --- state that callers read and set ----------------------------------------------------
    Tcommsobj PollReply;
    Tcommsobj Request;
    Tcommsobj LastReply;
    int TransactionState = 0;
    int TimeoutTicks = 20;
    int TimeoutLeft = 0;
    int RetriesLeft = 0;
    bool ReportErrors = false;
    bool NotRespondingShown = false;
    bool SuppressUnknownErrors = false;
    int PollHold = 0;
    int DelayLeft = 0;
    int UnitAddress = 0;
    int CableType = CableRs232;
    bool SessionRefreshDue = false;

    TReplyRoute ReplyRoute() const { return Route; }
    void SetReplyRoute(TReplyRoute route) { Route = route; }
    void SetRouteConsumer(TReplyRoute route, TReplyConsumer *consumer);
    // A transaction is running (waiting, or about to send); a second one is refused meanwhile.
    bool Busy() const { return InTransaction; }

    TReporter *Reporter = nullptr;

    // --- what the window shows --------------------------------------------------------------
    std::function<void(const QByteArray &frame)> OnFrameSent;     // status bar panel 0
    std::function<void(const QByteArray &text)> OnReplyText;      // status bar panel 1
    std::function<void(const QByteArray &text)> OnTrafficEcho;    // the Test tab's receive box
    std::function<void(const QByteArray &text)> OnStringTestEcho; // the string-test box
    std::function<void()> OnPollTimeout;                          // blank both mimics
    // Echo every sent and received character, not only while waiting or on the Test tab (CLI -v).
    bool EchoAlways = false;

    // --- link upkeep ------------------------------------------------------------------------
    // Fast optical link: switch instrument and port to 57600 (after connecting) and back to 9600.
    void SpeedUpLink();
    void FallBackToSlowBaud();

    // --- the tick ---------------------------------------------------------------------------
    // 100 ms in the program; tests shorten it so that a 2 s time-out takes milliseconds.
    void SetTickInterval(int ms);
    int TickInterval() const;
    void Tick();
    // Counters for tests and benchmarks.
    int64_t FramesSent = 0;
    // The last wait ended without a matching reply (time-out or closed link), not by a refusal.
    bool LastWaitTimedOut() const { return TimedOut; }

private:
    void MatchReply(const QByteArray &text);
    void DispatchReply(const QByteArray &text);
    void LinkOpened();
    void LinkClosed();
    void EchoTraffic(const QByteArray &text);
    // Runs the event loop until the predicate is false, sleeping between events.
    template <typename Pred> void PumpWhile(Pred pred);
    // Ends the innermost wait's event loop so that it looks at its predicate again.
    void Wake();
    bool SendAndWait(int ticks);
    // Sends the route's poll (or a due session refresh) when nothing else is on the line.
    void PollIfFree();
    QByteArray TransactTextWith(const QByteArray &request, int resends, int ticks);

    std::unique_ptr<TIOIface> LinkPtr;
    TFrameAssembler Assembler;
    TReplyRoute Route = RouteNone;
    TReplyConsumer *Consumers[10] = {};
    bool Matching = false; // ReplyHandler: MatchReply when set, ReleaseReply otherwise
    bool InTransaction = false;
    QByteArray EchoBuffer;
    QTimer LinkTimer;
    QTimer EchoTimer;
    int BaudSwitchLeft = 0;    // ticks until the port follows the instrument to 9600
    bool PollLate = false;     // a tick passed while a poll's reply was still out
    bool TimedOut = false;     // the last wait ended without a reply
    bool QuietTimeout = false; // the caller of this wait reports its time-out itself
    QEventLoop *WaitLoop = nullptr;
};

// Text of one received character in the traffic echo: printable as is, control characters as
// "[SOH]" and bytes from 0x7F as "[%02X]" when shown, else nothing.
QByteArray ControlCharText(unsigned char ch, bool show);
// The lines the traffic echo adds for a block of text: a line ends after ETX, EOT, LF and ";",
// and what is left at the end is a line too.
QList<QByteArray> TrafficEchoLines(const QByteArray &text, bool showControl);
// The lines of the string-test echo: CR and LF not shown, LF ends a line.
QList<QByteArray> StringTestEchoLines(const QByteArray &text);
