// The transaction engine: requests and replies, routing, echo and the link tick.
#include "transact.h"

#include "CRC.h"
#include "reporter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <utility>

namespace
{

constexpr int TickMs = 100;
constexpr int EchoMs = 250;
constexpr int KeepAliveIdleTicks = 120;
// Unanswered sends remembered at most; an instrument that stays silent for this many requests
// has long been reported as not responding.
constexpr size_t MaxOutstanding = 64;

} // namespace

TRequestKind ClassifyRequest(int command, int reg)
{
    reg &= 0xFFFF;
    switch (command & 0xFF) {
    case CmdWrite:
        switch (reg) {
        case 0x0008: // a key press (print, tare, zero, gross/net, ...)
        case 0x004D: // the string test: the text goes out to the printer
        case 0x004F: // starts a burst of logging samples
            return TRequestKind::Command;
        default:
            return TRequestKind::ValueWrite;
        }
    case CmdExecute:
        switch (reg) {
        case 0x00EE: // the instrument rebuilds a menu's list
        case 0x0115: // a linearisation point by its number
        case 0x8291: // a record by its number
        case 0x8294: // the oldest record
        case 0x8295: // the newest record
            return TRequestKind::Read;
        case 0x0106: // the zero in mV/V, given as a value
        case 0x0107: // the span in mV/V, given as a value
        case 0xB002: // clears the product totals: twice leaves them cleared
            return TRequestKind::ValueWrite;
        case 0x8292: // the next record
            return TRequestKind::Cursor;
        default: // save, reset, calibration starts, product add/delete/rename, end of transfer
            return TRequestKind::Command;
        }
    default:
        return TRequestKind::Read;
    }
}

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
    Outstanding.clear();
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
    Outstanding.clear();
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
    // Remembered before it goes: a transport may answer from inside Send.
    if (useCrc) {
        Tcommsobj sent;
        if (sent.Decode(text) && sent.RequestFlag) {
            const bool read = SendOwner == CurrentOwner && LastKind == TRequestKind::Read;
            Outstanding.push_back(
                {sent.Command, sent.Register, sent.Data, SendOwner, SendOwner == LineCheckOwner, read});
            if (Outstanding.size() > MaxOutstanding)
                Outstanding.pop_front();
        }
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
    // Every send of this request belongs to one wait: a reply to any of them answers it, a reply to
    // an earlier request's send does not.
    CurrentOwner = NextOwner++;
    if (!ClearLineFor(Request.Command, Request.Register)) {
        // The instrument still owes a reply to an earlier request like this one and did not answer
        // a check of the line either: this request is not sent, its reply could not be told apart.
        TimedOut = true;
        TransactionState = 2;
        CurrentOwner = 0;
        if (!QuietTimeout)
            ReportNotResponding();
        return false;
    }
    for (;;) {
        TimeoutLeft = ticks > 0 ? ticks : TimeoutTicks;
        TimedOut = false;
        TransactionState = 1;
        SendOwner = CurrentOwner;
        SendFrame(Request.Encode(), true);
        SendOwner = 0;
        PumpWhile([this] { return TransactionState == 1; });
        if (!TimedOut) {
            CurrentOwner = 0;
            return true;
        }
        if (RetriesLeft > 0 && LinkOpen()) {
            --RetriesLeft;
            continue;
        }
        CurrentOwner = 0;
        return false;
    }
}

bool TTransactionEngine::ClearLineFor(int command, int reg)
{
    const auto owed = [&](const TSent &s) {
        return s.Command == command && s.Register == reg && s.Owner != CurrentOwner;
    };
    const auto first = std::find_if(Outstanding.begin(), Outstanding.end(), owed);
    if (first == Outstanding.end())
        return true;
    // The same read asked again (a caller's second attempt): its earlier sends' replies answer it
    // as well as its own, unless something else was sent to the register since.
    if (LastKind == TRequestKind::Read && std::all_of(first, Outstanding.end(), [&](const TSent &s) {
            return s.Register != reg || (s.Command == command && s.Data == Request.Data && s.Read);
        })) {
        for (auto it = first; it != Outstanding.end(); ++it)
            if (owed(*it))
                it->Owner = CurrentOwner;
        return true;
    }
    // The instrument answers in order: once it has answered a read of another register sent now,
    // every earlier request has had its reply or will not get one.
    Tcommsobj check;
    check.RequestFlag = true;
    check.Address = UnitAddress;
    check.Command = CmdRead;
    check.Register = command == CmdRead && reg == LineCheckRegister ? 0x0003 : LineCheckRegister;
    ++LineChecks;
    // An earlier check that went unanswered is forgotten: its reply, should it still come, answers
    // this one just as well (the requests it was to clear for were not sent).
    std::erase_if(Outstanding, [](const TSent &s) { return s.LineCheck; });
    LineCheckOwner = NextOwner++;
    LineCheckAnswered = false;
    // A read like any other: sent once more when its reply does not come. Either reply shows the
    // line clear; the other, should it come too, is dropped with the next check.
    for (int send = 0; send < 2 && LinkOpen() && !LineCheckAnswered; ++send) {
        SendOwner = LineCheckOwner;
        SendFrame(check.Encode(), true);
        SendOwner = 0;
        WaitUntil([&] { return LineCheckAnswered || !LinkOpen(); }, TimeoutTicks * TickInterval() * 3 / 2);
    }
    return LinkOpen() && LineCheckAnswered && std::none_of(Outstanding.begin(), Outstanding.end(), owed);
}

void TTransactionEngine::ReportNotResponding()
{
    FallBackToSlowBaud();
    if (!NotRespondingShown) {
        NotRespondingShown = true;
        // Once per silence: the next good reply clears it. What runs goes on behind the message. The
        // window says it in the program's language (the key "NotResponding").
        const QString text = QStringLiteral("Instrument not responding");
        if (Reporter)
            Reporter->NotResponding(text);
        if (OnNotResponding)
            OnNotResponding(text);
    }
}

bool TTransactionEngine::Transact(int command, int reg, const QByteArray &data, bool wait, bool report)
{
    return TransactWith(command, reg, data, wait, report, ClassifyRequest(command, reg), false);
}

bool TTransactionEngine::TransactAs(TRequestKind kind, int command, int reg, const QByteArray &data,
                                    bool report, bool quietTimeout)
{
    return TransactWith(command, reg, data, true, report, kind, quietTimeout);
}

bool TTransactionEngine::TransactWith(int command, int reg, const QByteArray &data, bool wait, bool report,
                                      TRequestKind kind, bool quiet)
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
            int64_t intent = 0;
            if (!wait) {
                SendFrame(Request.Encode(), true);
                result = true;
            } else if (RecordIntent(kind, command, reg, data, intent)) {
                LastKind = kind;
                RetriesLeft = RequestResendable(kind) ? 1 : 0;
                QuietTimeout = quiet;
                const bool answered = SendAndWait(0);
                if (answered) {
                    NotRespondingShown = false;
                    result = !LastReply.ErrorFlag;
                }
                RecordOutcome(intent, answered);
            }
        }
    }
    TransactionState = 0;
    Matching = false;
    InTransaction = false;
    QuietTimeout = false;
    return result;
}

bool TTransactionEngine::RecordIntent(TRequestKind kind, int command, int reg, const QByteArray &data,
                                      int64_t &intent)
{
    intent = 0;
    if (!Changes || ChangeCover > 0 || kind == TRequestKind::Read || kind == TRequestKind::Cursor)
        return true;
    // The session's upkeep and end, and the passcodes that open a level, are no changes; nor is the
    // active product put back after reads of another product's menu selected it (a write of it
    // asked for by the user is recorded by its operation).
    if (reg == 0x00EF || (command == CmdWrite && (reg == 0x0019 || reg == 0x001A || reg == 0xB010)))
        return true;
    TChangeEvent event;
    event.Kind = kind == TRequestKind::ValueWrite ? "write" : "command";
    event.Command = command;
    event.Register = reg;
    event.Asked = data;
    intent = Changes->Intent(event);
    if (intent != 0)
        return true;
    TimedOut = false;
    LastReply = Tcommsobj();
    if (Reporter)
        Reporter->Error(QStringLiteral("The change journal could not be written (%1): the request to "
                                       "register %2 was not sent.")
                            .arg(Changes->LastError(), QString::asprintf("%04X", unsigned(reg & 0xFFFF))));
    return false;
}

void TTransactionEngine::RecordOutcome(int64_t intent, bool answered)
{
    if (!Changes || intent == 0)
        return;
    TChangeResult result;
    if (!answered) {
        result.Outcome = TChangeOutcome::NotConfirmed;
        result.Text = LinkOpen() ? QStringLiteral("no reply") : QStringLiteral("the link was closed");
    } else if (LastReply.ErrorFlag) {
        result.Outcome = TChangeOutcome::Refused;
        result.Text = QString::fromLatin1(LastReply.ErrorText()).trimmed();
    } else {
        result.Outcome = TChangeOutcome::Confirmed;
    }
    Changes->Outcome(intent, result);
}

QByteArray TTransactionEngine::TransactText(const QByteArray &request)
{
    Tcommsobj decoded;
    const TRequestKind kind =
        decoded.Decode(request) ? ClassifyRequest(decoded.Command, decoded.Register) : TRequestKind::Read;
    return TransactTextAs(kind, request, false);
}

QByteArray TTransactionEngine::TransactTextAs(TRequestKind kind, const QByteArray &request, bool quietTimeout)
{
    LastKind = kind;
    return TransactTextWith(request, RequestResendable(kind) ? 1 : 0, 0, quietTimeout);
}

QByteArray TTransactionEngine::TransactTextOnce(const QByteArray &request, int ticks)
{
    LastKind = TRequestKind::Command;
    return TransactTextWith(request, 0, ticks, true);
}

QByteArray TTransactionEngine::TransactTextWith(const QByteArray &request, int resends, int ticks, bool quiet)
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
            QuietTimeout = quiet;
            int64_t intent = 0;
            if (RecordIntent(ClassifyRequest(Request.Command, Request.Register), Request.Command,
                             Request.Register, Request.Data, intent)) {
                const bool answered = SendAndWait(ticks);
                if (answered) {
                    result = LastReply.Encode();
                    if (!LastReply.ErrorFlag)
                        NotRespondingShown = false;
                }
                RecordOutcome(intent, answered);
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
    // Nor is a reply to an earlier request of the same register and command, one given up after
    // its time-out (the previous row of a table, say), or a second copy of one already taken.
    if (ReplyOwner != CurrentOwner)
        return;
    LastReply = reply;
    TransactionState = 2;
    if (ReportErrors && LastReply.ErrorFlag &&
        !(SuppressUnknownErrors && (LastReply.Status & StatusUnknownError)))
        ReportRegisterError(LastReply);
}

int64_t TTransactionEngine::AttributeReply(const Tcommsobj &reply)
{
    for (auto it = Outstanding.begin(); it != Outstanding.end(); ++it) {
        if (it->Command != reply.Command || it->Register != reply.Register)
            continue;
        const int64_t owner = it->Owner;
        // The sends before it will not be answered any more: their replies were lost.
        Outstanding.erase(Outstanding.begin(), it + 1);
        return owner;
    }
    return -1;
}

void TTransactionEngine::DispatchReply(const QByteArray &text)
{
    Tcommsobj reply;
    ReplyOwner = -1;
    if (reply.Decode(text)) {
        ReplyOwner = AttributeReply(reply);
        if (ReplyOwner == LineCheckOwner)
            LineCheckAnswered = true;
        // A reply to a wait that has ended, or a second copy of the reply being waited for.
        const bool waiting = Matching && TransactionState == 1;
        if (ReplyOwner > 0
                ? ReplyOwner != LineCheckOwner && !(waiting && ReplyOwner == CurrentOwner)
                : ReplyOwner < 0 && reply.Register == Request.Register && reply.Command == Request.Command)
            ++SurplusReplies;
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
            // The instrument is silent: the mimics must not go on showing a display it no longer
            // sends, whatever this wait was for (a key press, a read of the settings).
            if (OnPollTimeout)
                OnPollTimeout();
            // A caller that reports its own time-outs also decides whether the link is lost.
            if (final && !QuietTimeout)
                ReportNotResponding();
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
