// The transaction engine: the only way the program talks to the instrument. One request at a
// time; a caller waits in a nested event loop until the reply or the time-out, so timers and
// the window keep running. It also assembles replies, routes unsolicited ones, echoes the
// traffic and looks after the link (display/clock polls, session refresh, fast-optical upkeep).
#pragma once

#include "IOIface.h"
#include "changerecorder.h"
#include "comms.h"
#include "framing.h"

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <deque>
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

// What a request does to the instrument. It decides whether the request may go out again after
// its reply went missing: only a read or a value write leaves the instrument as one send would.
enum class TRequestKind {
    Read,       // asks for something and changes nothing (a value, a record by its number)
    ValueWrite, // sets a value; sent twice it leaves the same value
    Command,    // acts: a key, print, a calibration start, a product command, save, reset
    Cursor,     // answers and moves the instrument on (the next record)
};

// The register read to check the line: every instrument answers it (its comms type).
inline constexpr int LineCheckRegister = 0x0001;

// The kind of a request from its command and register; the program's callers rely on this one
// rule rather than saying it each time.
TRequestKind ClassifyRequest(int command, int reg);
inline bool RequestResendable(TRequestKind kind)
{
    return kind == TRequestKind::Read || kind == TRequestKind::ValueWrite;
}

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
    // A request of the kind ClassifyRequest gives. Reads and value writes go out once more when
    // the first reply does not come; commands and cursor reads go out once.
    bool Transact(int command, int reg, const QByteArray &data, bool wait, bool report);
    // Says once per silence that the instrument does not answer (for a caller whose unanswered
    // requests were not reported).
    void ReportNotResponding();
    QByteArray TransactText(const QByteArray &request);
    // The same with the kind given by the caller (a register whose effect depends on its data).
    // quietTimeout: a missing reply is not reported; the caller says what it means.
    bool TransactAs(TRequestKind kind, int command, int reg, const QByteArray &data, bool report,
                    bool quietTimeout = false);
    QByteArray TransactTextAs(TRequestKind kind, const QByteArray &request, bool quietTimeout = false);
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

    // --- the change journal -----------------------------------------------------------------
    // Told of every value write and command before it goes out and of its outcome (none: nothing
    // is recorded). Session upkeep and passcode entry are the session's own events, not changes.
    TChangeRecorder *Changes = nullptr;
    // Held above 0 by an operation that records its change itself (with the value before and the
    // value read back): the engine then records none of the requests it asks for.
    int ChangeCover = 0;

    // --- what the window shows --------------------------------------------------------------
    std::function<void(const QByteArray &frame)> OnFrameSent;     // status bar panel 0
    std::function<void(const QByteArray &text)> OnReplyText;      // status bar panel 1
    std::function<void(const QByteArray &text)> OnTrafficEcho;    // the Test tab's receive box
    std::function<void(const QByteArray &text)> OnStringTestEcho; // the string-test box
    std::function<void()> OnPollTimeout;                          // blank both mimics
    std::function<void(const QString &text)> OnNotResponding;     // the status bar too
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
    // The kind of the last request, and whether it was one that acts and went unanswered: the
    // instrument may or may not have done it.
    TRequestKind LastRequestKind() const { return LastKind; }
    bool LastRequestUnconfirmed() const { return TimedOut && !RequestResendable(LastKind); }
    // Replies that came for a request already given up (late, or a second copy): dropped, never
    // handed to a later request of the same register and command.
    int64_t SurplusReplies = 0;
    // Reads sent to make sure no earlier reply is still on its way (for tests and benchmarks).
    int64_t LineChecks = 0;
    // Requests sent whose replies have not come yet (for tests).
    int Unanswered() const { return static_cast<int>(Outstanding.size()); }

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
    QByteArray TransactTextWith(const QByteArray &request, int resends, int ticks, bool quiet);
    bool TransactWith(int command, int reg, const QByteArray &data, bool wait, bool report, TRequestKind kind,
                      bool quiet);
    // Which request a reply answers: the owner of the oldest unanswered send of its register and
    // command (0: none of the program's waits), or -1 when no such send is out.
    int64_t AttributeReply(const Tcommsobj &reply);
    // Before a request goes out while the instrument still owes a reply to an earlier one of the
    // same register and command: a read of another register, whose reply shows that the earlier
    // ones are answered or lost. False when the line stays unclear.
    bool ClearLineFor(int command, int reg);
    // The journal's intent for a request about to go out: 0 when none is recorded; false when one
    // was due but could not be written (the request then does not go out).
    bool RecordIntent(TRequestKind kind, int command, int reg, const QByteArray &data, int64_t &intent);
    void RecordOutcome(int64_t intent, bool answered);

    // A request on the line whose reply has not come. The instrument answers in order, so the
    // oldest send of a register and command gets the next reply of that register and command,
    // and a reply to a later send means the earlier ones will not be answered any more.
    struct TSent {
        int Command;
        int Register;
        QByteArray Data;
        int64_t Owner; // the wait it belongs to; 0 for a poll or a frame sent without a wait
        bool LineCheck;
        bool Read; // a read: one like it asked again may take its reply
    };
    std::deque<TSent> Outstanding;
    int64_t CurrentOwner = 0; // the wait running now (each Transact call has its own)
    int64_t NextOwner = 1;
    int64_t ReplyOwner = -1;     // the owner of the reply being dispatched
    int64_t SendOwner = 0;       // the owner of the frame being sent
    int64_t LineCheckOwner = -1; // the check of the line sent last
    bool LineCheckAnswered = false;
    TRequestKind LastKind = TRequestKind::Read;

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
