// The transaction engine: requests and replies, routing, echo and the link tick.
#include "transact.h"

#include "CRC.h"
#include "reporter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <utility>

namespace
{

constexpr int TickMs = 100;
constexpr int EchoMs = 250;
constexpr int KeepAliveIdleTicks = 120;

} // namespace

TTransactionEngine::TTransactionEngine(QObject *parent) : QObject(parent)
{
    Assembler.OnLineEnd = [this] { FlushEcho(); };
    Assembler.OnMessage = [this](const QByteArray &text) { DispatchReply(text); };
    SetLink(std::make_unique<TIOIfaceNull>());
    LinkTimer.setInterval(TickMs);
    // A coarse timer may run up to 5% late, and every display poll waits for a tick.
    LinkTimer.setTimerType(Qt::PreciseTimer);
    connect(&LinkTimer, &QTimer::timeout, this, &TTransactionEngine::Tick);
    LinkTimer.start();
    EchoTimer.setInterval(EchoMs);
    connect(&EchoTimer, &QTimer::timeout, this, &TTransactionEngine::FlushEcho);
    EchoTimer.start();
}

TTransactionEngine::~TTransactionEngine()
{
    if (LinkPtr) {
        LinkPtr->OnReceive = nullptr;
        LinkPtr->OnOpened = nullptr;
        LinkPtr->OnClosed = nullptr;
        LinkPtr->OnError = nullptr;
    }
}

void TTransactionEngine::SetLink(std::unique_ptr<TIOIface> link)
{
    if (LinkPtr) {
        LinkPtr->OnReceive = nullptr;
        LinkPtr->OnOpened = nullptr;
        LinkPtr->OnClosed = nullptr;
        LinkPtr->OnError = nullptr;
        // The old transport may be the one whose notification we are inside of.
        LinkPtr.release()->deleteLater();
    }
    LinkPtr = std::move(link);
    if (!LinkPtr)
        LinkPtr = std::make_unique<TIOIfaceNull>();
    LinkPtr->OnReceive = [this](const QByteArray &chars) { ReceiveChars(chars); };
    LinkPtr->OnOpened = [this](TIOIface *) { LinkOpened(); };
    LinkPtr->OnClosed = [this](TIOIface *) { LinkClosed(); };
    LinkPtr->OnError = [this](TIOIface *, const QString &reason) {
        if (OnLinkError)
            OnLinkError(reason);
        Wake();
    };
}

void TTransactionEngine::SetRouteConsumer(TReplyRoute route, TReplyConsumer *consumer)
{
    if (route >= 0 && route < 10)
        Consumers[route] = consumer;
}

void TTransactionEngine::Reset()
{
    NotRespondingShown = false;
    TransactionState = 0;
    Route = RouteNone;
    Matching = false;
    PollReply = Tcommsobj();
    Request = Tcommsobj();
    LastReply = Tcommsobj();
}

void TTransactionEngine::LinkOpened()
{
    ClearBuffers();
    if (OnConnectedChanged)
        OnConnectedChanged(true);
    Wake();
}

void TTransactionEngine::LinkClosed()
{
    // A wait cannot end by a reply on a closed link: end it like a time-out, without a resend.
    if (TransactionState == 1) {
        TimedOut = true;
        RetriesLeft = 0;
        TransactionState = 2;
    }
    PollHold = 0;
    BaudSwitchLeft = 0;
    ClearBuffers();
    if (OnConnectedChanged)
        OnConnectedChanged(false);
    Wake();
}

void TTransactionEngine::ClearBuffers()
{
    Assembler.Clear();
    EchoBuffer.clear();
}

// A wait sleeps in its own event loop until something the engine handles (a reply, a tick, the
// link opening, closing or failing) wakes it, then looks at its predicate again. Pumping with
// processEvents instead spins: with an event pending that this loop level may not deliver (a
// deleteLater from outside any loop), it returns at once instead of sleeping, and a 1.5 s wait
// burns 1.5 s of CPU.
template <typename Pred> void TTransactionEngine::PumpWhile(Pred pred)
{
    while (pred()) {
        QEventLoop loop;
        QEventLoop *outer = std::exchange(WaitLoop, &loop);
        const int code = loop.exec();
        WaitLoop = outer;
        // An application on its way out refuses new event loops; then serve events one by one.
        if (code < 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void TTransactionEngine::Wake()
{
    if (WaitLoop)
        WaitLoop->quit();
}

bool TTransactionEngine::WaitUntil(const std::function<bool()> &done, int limitMs)
{
    QTimer limit;
    limit.setSingleShot(true);
    bool expired = false;
    connect(&limit, &QTimer::timeout, this, [this, &expired] {
        expired = true;
        Wake();
    });
    limit.start(std::max(0, limitMs));
    PumpWhile([&] { return !expired && !done(); });
    return done();
}

void TTransactionEngine::SendFrame(const QByteArray &text, bool useCrc)
{
    if (!LinkOpen() || text.isEmpty())
        return;
    QByteArray frame;
    if (useCrc) {
        frame.reserve(text.size() + 6);
        frame += SOH;
        frame += text;
        frame += FrameCrcHex(text);
        frame += EOT;
    } else {
        frame = text;
        if (!text.endsWith(';'))
            frame += "\r\n";
    }
    LinkPtr->Send(frame);
    ++FramesSent;
    if (OnFrameSent)
        OnFrameSent(frame);
    EchoTraffic(">>>" + frame);
}

bool TTransactionEngine::SendAndWait(int ticks)
{
    if (TimeoutTicks < 1)
        TimeoutTicks = 1; // a zero time-out would wait for ever
    for (;;) {
        TimeoutLeft = ticks > 0 ? ticks : TimeoutTicks;
        TimedOut = false;
        TransactionState = 1;
        SendFrame(Request.Encode(), true);
        PumpWhile([this] { return TransactionState == 1; });
        if (!TimedOut)
            return true;
        if (RetriesLeft > 0 && LinkOpen()) {
            --RetriesLeft;
            continue;
        }
        return false;
    }
}

bool TTransactionEngine::Transact(int command, int reg, const QByteArray &data, bool wait, bool report)
{
    // One request at a time: a second one asked for during a wait (a timer, a click) is refused
    // and leaves the waiting one alone.
    if (InTransaction)
        return false;
    InTransaction = true;
    TransactionState = 2;
    ReportErrors = report;
    bool result = false;
    if (LinkOpen()) {
        PumpWhile([this] { return PollHold > 0 && LinkOpen(); });
        if (LinkOpen()) {
            Matching = wait;
            Request = Tcommsobj();
            Request.RequestFlag = true;
            Request.Address = UnitAddress;
            Request.Data = data;
            Request.Command = command & 0xFF;
            Request.Register = reg & 0xFFFF;
            RetriesLeft = 1;
            if (!wait) {
                SendFrame(Request.Encode(), true);
                result = true;
            } else if (SendAndWait(0)) {
                NotRespondingShown = false;
                result = !LastReply.ErrorFlag;
            }
        }
    }
    TransactionState = 0;
    Matching = false;
    InTransaction = false;
    return result;
}

QByteArray TTransactionEngine::TransactText(const QByteArray &request)
{
    return TransactTextWith(request, 1, 0);
}

QByteArray TTransactionEngine::TransactTextOnce(const QByteArray &request, int ticks)
{
    return TransactTextWith(request, 0, ticks);
}

QByteArray TTransactionEngine::TransactTextWith(const QByteArray &request, int resends, int ticks)
{
    if (InTransaction)
        return {};
    InTransaction = true;
    TransactionState = 2;
    ReportErrors = true;
    QByteArray result;
    if (LinkOpen()) {
        PumpWhile([this] { return PollHold > 0 && LinkOpen(); });
        if (LinkOpen()) {
            Matching = true;
            Request.Decode(request);
            Request.Address = UnitAddress;
            RetriesLeft = resends;
            QuietTimeout = resends == 0;
            if (SendAndWait(ticks)) {
                result = LastReply.Encode();
                if (!LastReply.ErrorFlag)
                    NotRespondingShown = false;
            }
        }
    }
    TransactionState = 0;
    Matching = false;
    InTransaction = false;
    QuietTimeout = false;
    return result;
}

void TTransactionEngine::WaitTicks(int n)
{
    DelayLeft = n;
    PumpWhile([this] { return DelayLeft > 0; });
}

void TTransactionEngine::ReportRegisterError(const Tcommsobj &reply)
{
    if (Reporter)
        Reporter->Error(QString::fromLatin1(RegisterErrorText(reply)));
}

void TTransactionEngine::ReceiveChars(const QByteArray &text)
{
    for (char ch : text) {
        EchoBuffer.append(ch);
        Assembler.Feed(ch);
    }
    Wake();
}

void TTransactionEngine::MatchReply(const QByteArray &text)
{
    // A text that is not a message (too short, bad digits) cannot be the awaited reply.
    Tcommsobj reply;
    if (!reply.Decode(text))
        return;
    // The instrument echoes the command: a late reply to another command on the same register (a
    // read after a write of it, say) is not this request's reply.
    if (reply.Register != Request.Register || reply.Command != Request.Command || TransactionState != 1)
        return;
    LastReply = reply;
    TransactionState = 2;
    if (ReportErrors && LastReply.ErrorFlag &&
        !(SuppressUnknownErrors && (LastReply.Status & StatusUnknownError)))
        ReportRegisterError(LastReply);
}

void TTransactionEngine::DispatchReply(const QByteArray &text)
{
    Tcommsobj reply;
    if (reply.Decode(text)) {
        PollReply = reply;
        PollHold = 0;
        // A reply that came after the tick it should have been polled again on: the next poll
        // goes now, not a whole tick later (at 9600 baud the display's exchange takes longer than
        // a tick, and waiting for the next one would halve the refresh rate). It goes before the
        // reply is shown, so that drawing the mimic overlaps the line.
        if (std::exchange(PollLate, false))
            PollIfFree();
        TReplyConsumer *consumer = Consumers[Route];
        switch (Route) {
        case RouteDisplay:
        case RouteCalibration:
            if (PollReply.Register == 0x0009 && consumer)
                consumer->RoutedReply(PollReply, text);
            break;
        case RouteTest:
            if (TransactionState == 0 && PollReply.ErrorFlag)
                ReportRegisterError(PollReply);
            if (consumer)
                consumer->RoutedReply(PollReply, text);
            break;
        default:
            if (consumer)
                consumer->RoutedReply(PollReply, text);
            break;
        }
    }
    if (OnReplyText)
        OnReplyText(text);
    if (Matching)
        MatchReply(text);
    else if (!InTransaction)
        TransactionState = 0;
}

void TTransactionEngine::EchoTraffic(const QByteArray &text)
{
    if (text.isEmpty())
        return;
    if (EchoAlways || TransactionState == 1 || Route == RouteTest) {
        if (OnTrafficEcho)
            OnTrafficEcho(text);
    }
}

void TTransactionEngine::FlushEcho()
{
    if (EchoBuffer.isEmpty())
        return;
    QByteArray text;
    text.swap(EchoBuffer);
    if (Route == RouteStringTest) {
        if (OnStringTestEcho)
            OnStringTestEcho(text);
    } else {
        EchoTraffic(text);
    }
}

void TTransactionEngine::SpeedUpLink()
{
    auto *serial = dynamic_cast<TIOIfaceSerial *>(LinkPtr.get());
    if (!serial || !serial->IsOpen() || CableType != CableFastOptical || serial->Baud() != 9600)
        return;
    serial->Send(MsgFastBaud);
    WaitTicks(2);
    serial->SetBaud(57600);
    WaitTicks(2);
}

void TTransactionEngine::FallBackToSlowBaud()
{
    auto *serial = dynamic_cast<TIOIfaceSerial *>(LinkPtr.get());
    if (!serial || !serial->IsOpen() || CableType != CableFastOptical || serial->Baud() != 57600)
        return;
    serial->Send(MsgSlowBaud);
    // The port follows two ticks later, once the message has left at the old speed. This runs
    // inside the tick, which cannot wait for its own ticks.
    BaudSwitchLeft = 2;
}

void TTransactionEngine::SetTickInterval(int ms)
{
    LinkTimer.setInterval(ms);
    EchoTimer.setInterval(ms * EchoMs / TickMs);
}

int TTransactionEngine::TickInterval() const
{
    return LinkTimer.interval();
}

void TTransactionEngine::Tick()
{
    // Whatever this tick changes, the wait looks again (also at state changed from outside).
    Wake();
    if (DelayLeft > 0)
        --DelayLeft;
    if (BaudSwitchLeft > 0 && --BaudSwitchLeft == 0) {
        if (auto *serial = dynamic_cast<TIOIfaceSerial *>(LinkPtr.get()))
            serial->SetBaud(9600);
    }
    if (!LinkOpen())
        return;

    if (PollHold > 0)
        PollLate = true;
    PollIfFree();

    if (PollHold > 0) {
        --PollHold;
        if (PollHold == 0 && OnPollTimeout)
            OnPollTimeout();
    }

    if (TimeoutLeft > 0) {
        --TimeoutLeft;
        if (TimeoutLeft == 0 && TransactionState == 1) {
            const bool final = RetriesLeft == 0;
            TimedOut = true;
            TransactionState = 2;
            // A caller that reports its own time-outs also decides whether the link is lost.
            if (final && !QuietTimeout) {
                FallBackToSlowBaud();
                if (!NotRespondingShown) {
                    NotRespondingShown = true;
                    if (Reporter)
                        Reporter->Error(QStringLiteral("Instrument not responding"));
                }
            }
        }
    }

    if (LinkOpen()) {
        ++LinkPtr->IdleTicks;
        if (CableType == CableFastOptical && LinkPtr->IdleTicks > KeepAliveIdleTicks)
            LinkPtr->Send(MsgKeepAlive);
    }
}

void TTransactionEngine::PollIfFree()
{
    if (TransactionState != 0 || PollHold != 0 || InTransaction || !LinkOpen())
        return;
    PollLate = false;
    if (SessionRefreshDue && Route != RouteTest && Route != RouteStringTest) {
        Transact(CmdWrite, 0x00EF, "FF", false, false);
        SessionRefreshDue = false;
        PollHold = TimeoutTicks;
    } else if (Route == RouteDisplay || Route == RouteCalibration) {
        Transact(CmdRead, 0x0009, {}, false, false);
        PollHold = TimeoutTicks;
    } else if (Route == RouteSetClock) {
        Transact(CmdRead, 0x0150, {}, false, false);
        PollHold = TimeoutTicks;
    }
}

// --- echo texts -----------------------------------------------------------------------------

QByteArray ControlCharText(unsigned char ch, bool show)
{
    static const char *const names[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                          "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                          "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                          "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (ch >= 0x20 && ch <= 0x7E)
        return QByteArray(1, static_cast<char>(ch));
    if (!show)
        return {};
    if (ch < 0x20)
        return QByteArray("[") + names[ch] + "]";
    static const char digits[] = "0123456789ABCDEF";
    QByteArray text("[00]");
    text[1] = digits[ch >> 4];
    text[2] = digits[ch & 0xF];
    return text;
}

QList<QByteArray> TrafficEchoLines(const QByteArray &text, bool showControl)
{
    QList<QByteArray> lines;
    QByteArray line;
    for (char c : text) {
        const auto ch = static_cast<unsigned char>(c);
        line += ControlCharText(ch, showControl);
        if (ch == 0x03 || ch == 0x04 || ch == '\n' || ch == ';') {
            lines.append(line);
            line.clear();
        }
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

QList<QByteArray> StringTestEchoLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    QByteArray line;
    bool open = false;
    for (char c : text) {
        const auto ch = static_cast<unsigned char>(c);
        if (ch == '\n') {
            lines.append(line);
            line.clear();
            open = false;
        } else if (ch != '\r') {
            line += ControlCharText(ch, true);
            open = true;
        }
    }
    if (open)
        lines.append(line);
    return lines;
}
