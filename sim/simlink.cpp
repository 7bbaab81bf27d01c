// Request splitting, reply framing, faults, the logging stream and the pty's line speed.
#include "simlink.h"

#include "precisetimer.h"

#include "link/CRC.h"
#include "vornsim.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace
{
// The instrument's own reply latency on a paced line: its serial handler runs in a main loop of
// about a millisecond and answers on the pass after the request's last character, i.e. within
// about two character times at 9600 baud.
constexpr int DefaultTurnaroundMs = 2;

const struct {
    int Baud;
    speed_t Speed;
} LineSpeeds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                  {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

speed_t SpeedOf(int baud)
{
    for (const auto &s : LineSpeeds)
        if (s.Baud == baud)
            return s.Speed;
    return B0;
}

int BaudOf(speed_t speed)
{
    for (const auto &s : LineSpeeds)
        if (s.Speed == speed)
            return s.Baud;
    return 0;
}
} // namespace

TSimLink::TSimLink(TVornSim *sim, QTcpSocket *socket) : QObject(sim), Sim(sim), Socket(socket)
{
    WireSplitter();
    if (Paced()) {
        CurrentBaud = Sim->Config().Baud;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); // each character as it goes
    }
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (Socket)
            Feed(Socket->readAll());
    });
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

TSimLink::TSimLink(TVornSim *sim, int ptyMaster) : QObject(sim), Sim(sim), Master(ptyMaster)
{
    WireSplitter();
    ReadNotifier = new QSocketNotifier(Master, QSocketNotifier::Read, this);
    connect(ReadNotifier, &QSocketNotifier::activated, this, &TSimLink::ReadPty);
    WriteNotifier = new QSocketNotifier(Master, QSocketNotifier::Write, this);
    WriteNotifier->setEnabled(false);
    connect(WriteNotifier, &QSocketNotifier::activated, this, &TSimLink::FlushPty);
    SetBaud(Paced() ? Sim->Config().Baud : 9600);
}

void TSimLink::WireSplitter()
{
    Clock.start();
    Splitter.OnRequest = [this](const QByteArray &text, bool framed, bool oversized) {
        if (!Paced()) {
            Answer(text, framed, oversized);
            return;
        }
        const int turn = Sim->Config().TurnaroundMs;
        const int64_t turnNs = (turn < 0 ? DefaultTurnaroundMs : turn) * int64_t(1000000);
        DueRequests.push_back({FeedCharNs + turnNs, text, framed, oversized});
    };
    // A request whose CRC does not match is not trusted at all: no reply.
    Splitter.OnBadCrc = [this](const QByteArray &text) {
        Sim->Log(QStringLiteral("<<< bad CRC: %1").arg(QString::fromLatin1(text)));
    };
}

TSimLink::~TSimLink()
{
    if (Master >= 0)
        ::close(Master);
}

void TSimLink::ReadPty()
{
    char chunk[1024];
    const ssize_t n = ::read(Master, chunk, sizeof chunk);
    if (n <= 0)
        return;
    // The two ends of a pty share one line setting. Characters sent at another bit rate than the
    // instrument's are noise to its receiver: it understands nothing and answers nothing.
    termios t{};
    const int heard = ::tcgetattr(Master, &t) == 0 ? BaudOf(::cfgetospeed(&t)) : 0;
    if (heard > 0 && SpeedOf(CurrentBaud) != B0 && heard != CurrentBaud) {
        Sim->Log(QStringLiteral("--- %1 characters at %2 baud on a %3 baud line: not understood")
                     .arg(n)
                     .arg(heard)
                     .arg(CurrentBaud));
        return;
    }
    Feed(QByteArray(chunk, static_cast<int>(n)));
}

void TSimLink::Feed(const QByteArray &bytes)
{
    Sim->BytesReceived += bytes.size();
    if (Paced())
        FeedPaced(bytes);
    else
        Splitter.Feed(bytes);
}

bool TSimLink::Paced() const
{
    return Sim->Config().Baud > 0;
}

int64_t TSimLink::CharNs() const
{
    const int bits = Sim->Config().FrameBits > 0 ? Sim->Config().FrameBits : 10;
    const int baud = CurrentBaud > 0 ? CurrentBaud : 9600;
    return int64_t(1000000000) * bits / baud;
}

void TSimLink::FeedPaced(const QByteArray &bytes)
{
    // The sender put the characters on the line just now, behind any still arriving; each one
    // counts as received one character time after the one before it.
    int64_t at = std::max(NowNs(), RxLineFreeNs);
    const int64_t step = CharNs();
    for (const char ch : bytes) {
        at += step;
        FeedCharNs = at;
        Splitter.Feed(QByteArray(1, ch));
    }
    RxLineFreeNs = at;
    HandleDue();
}

void TSimLink::HandleDue()
{
    while (!DueRequests.empty() && DueRequests.front().DueNs <= NowNs()) {
        const TDueRequest r = std::move(DueRequests.front());
        DueRequests.pop_front();
        Sim->PacingLateNs += NowNs() - r.DueNs;
        Answer(r.Text, r.Framed, r.Oversized);
    }
    if (DueRequests.empty())
        return;
    if (!RxTimer)
        RxTimer = new TPreciseTimer([this] { HandleDue(); }, this);
    ArmTimer(RxTimer, DueRequests.front().DueNs);
}

void TSimLink::ArmTimer(TPreciseTimer *timer, int64_t dueNs)
{
    timer->Start(dueNs - NowNs());
}

void TSimLink::PaceOut()
{
    // Writes every character whose last bit has gone out by now; the rest waits for its time.
    const int64_t now = NowNs();
    const int64_t step = CharNs();
    int n = 0;
    while (n < TxPending.size() && TxNextNs + step <= now) {
        TxNextNs += step;
        ++n;
    }
    if (n > 0) {
        const QByteArray part = TxPending.left(n);
        TxPending.remove(0, n);
        if (Socket) {
            Socket->write(part);
        } else if (Master >= 0) {
            PtyPending += part;
            FlushPty();
        }
    }
    if (TxPending.isEmpty()) {
        if (n > 0)
            Sim->PacingLateNs += now - TxNextNs;
        if (BaudAfterReply) {
            // The reply that switched the speed went out at the old one.
            const int baud = BaudAfterReply;
            BaudAfterReply = 0;
            SetBaud(baud);
        }
        return;
    }
    if (!TxTimer)
        TxTimer = new TPreciseTimer([this] { PaceOut(); }, this);
    if (!TxTimer->IsActive())
        ArmTimer(TxTimer, TxNextNs + step);
}

void TSimLink::Answer(const QByteArray &text, bool framed, bool oversized)
{
    Sim->Log(QStringLiteral("<<< %1%2").arg(QString::fromLatin1(text), oversized ? " ..." : ""));
    ++Sim->RequestsHandled;
    TVornInstrument &dev = Sim->Instrument();
    const TSimAnswer answer = oversized ? dev.TooLong(text) : dev.Handle(text);
    if (!answer.HasReply) {
        if (answer.NewBaud)
            SetBaud(answer.NewBaud);
        return;
    }
    ++RequestCount;
    const int limit = Sim->Config().DisconnectAfter;
    if (limit > 0 && RequestCount > limit && Socket) {
        Sim->Log(QStringLiteral("--- dropping the client after %1 requests").arg(limit));
        Socket->disconnectFromHost();
        return;
    }
    if (answer.LogSamples > 0) {
        // The samples stream first; the write's own reply closes the burst.
        StreamLeft = answer.LogSamples;
        StreamFramed = framed;
        StreamReply = answer;
        StreamReply.LogSamples = 0;
        if (!Stream) {
            Stream = new QTimer(this);
            Stream->setInterval(40);
            connect(Stream, &QTimer::timeout, this, [this] {
                if (StreamLeft > 0) {
                    --StreamLeft;
                    Send(Frame(Sim->Instrument().LogSample(), StreamFramed, false));
                    return;
                }
                Stream->stop();
                Deliver(StreamReply, StreamFramed);
            });
        }
        Stream->start();
        return;
    }
    Deliver(answer, framed);
}

void TSimLink::Deliver(const TSimAnswer &answer, bool framed)
{
    if (Sim->Chance(Sim->Config().DropReply) || Sim->DropOn(answer.Reply.Register)) {
        Sim->Log(QStringLiteral("--- reply dropped"));
        return;
    }
    QByteArray frame = Frame(answer.Reply, framed, true);
    if (Sim->Chance(Sim->Config().DuplicateReply))
        frame += frame;
    if (Sim->Chance(Sim->Config().Garbage)) {
        // Noise on the line between frames: printable characters and a few controls, never an
        // end of message.
        static const char noise[] = "#~?\x07\x03\x1b\x7f\xff\x80Zq9 \r";
        QByteArray junk;
        const int n = 3 + static_cast<int>(Sim->RandomNumber() % 20);
        for (int i = 0; i < n; ++i)
            junk += noise[Sim->RandomNumber() % (sizeof noise - 1)];
        frame.prepend(junk);
    }
    const int late = answer.Reply.Register == Sim->Config().DelayOnRegister ? Sim->Config().DelayOnMs : 0;
    Send(frame, late);
    if (!answer.Printer.isEmpty())
        Send(answer.Printer);
    if (answer.NewBaud && Paced() && !TxPending.isEmpty())
        BaudAfterReply = answer.NewBaud;
    else if (answer.NewBaud)
        SetBaud(answer.NewBaud);
}

QByteArray TSimLink::Frame(const Tcommsobj &message, bool framed, bool faults)
{
    const TVornSimConfig &cfg = Sim->Config();
    Tcommsobj m = message;
    if (faults && Sim->Chance(cfg.WrongRegister))
        m.Register = (m.Register + 1) & 0xFFFF;
    QByteArray text = m.Encode();
    if (faults && Sim->Chance(cfg.OversizedFrame))
        text += QByteArray(320, 'X');
    Sim->Log(QStringLiteral(">>> %1").arg(QString::fromLatin1(text.left(120))));
    if (!framed)
        return text + "\r\n";
    QByteArray crc = FrameCrcHex(text);
    if (faults && Sim->Chance(cfg.CorruptCrc))
        crc[3] = crc[3] == '0' ? '1' : '0';
    else if (faults && Sim->Chance(cfg.LowerCaseCrc))
        crc = crc.toLower();
    return SOH + text + crc + EOT;
}

void TSimLink::Send(const QByteArray &bytes, int lateMs)
{
    // The instrument answers in order: a reply held back holds back the ones after it.
    const int64_t now = NowNs() / 1000000;
    const int64_t due = std::max(now + Sim->Config().DelayMs + lateMs, HeldUntilMs);
    if (due <= now && HeldOut.empty()) {
        WriteNow(bytes);
        return;
    }
    HeldUntilMs = due;
    HeldOut.push_back({due, bytes});
    if (!HeldTimer) {
        HeldTimer = new QTimer(this);
        HeldTimer->setSingleShot(true);
        HeldTimer->setTimerType(Qt::PreciseTimer);
        connect(HeldTimer, &QTimer::timeout, this, &TSimLink::SendHeld);
    }
    if (!HeldTimer->isActive())
        HeldTimer->start(static_cast<int>(std::max<int64_t>(0, HeldOut.front().first - now)));
}

void TSimLink::SendHeld()
{
    const int64_t now = NowNs() / 1000000;
    while (!HeldOut.empty() && HeldOut.front().first <= now) {
        const QByteArray bytes = std::move(HeldOut.front().second);
        HeldOut.pop_front();
        WriteNow(bytes);
    }
    if (!HeldOut.empty())
        HeldTimer->start(static_cast<int>(HeldOut.front().first - now));
}

void TSimLink::WriteNow(const QByteArray &bytes)
{
    Sim->BytesSent += bytes.size();
    if (Paced()) {
        if (TxPending.isEmpty())
            TxNextNs = std::max(TxNextNs, NowNs()); // an idle line: the first character starts now
        TxPending += bytes;
        PaceOut();
        return;
    }
    if (Socket) {
        Socket->write(bytes);
        return;
    }
    if (Master < 0)
        return;
    PtyPending += bytes;
    FlushPty();
}

void TSimLink::FlushPty()
{
    while (!PtyPending.isEmpty()) {
        const ssize_t n = ::write(Master, PtyPending.constData(), static_cast<size_t>(PtyPending.size()));
        if (n > 0) {
            PtyPending.remove(0, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // full (EAGAIN): the write notifier calls again
    }
    if (WriteNotifier)
        WriteNotifier->setEnabled(!PtyPending.isEmpty());
}

void TSimLink::SetBaud(int baud)
{
    CurrentBaud = baud;
    if (Master < 0)
        return;
    termios t{};
    if (::tcgetattr(Master, &t) != 0)
        return;
    // A rate the pty cannot show (--baud 300) leaves the line at 9600, and nothing is checked.
    ::cfsetspeed(&t, SpeedOf(baud) != B0 ? SpeedOf(baud) : B9600);
    ::tcsetattr(Master, TCSANOW, &t);
    Sim->Log(QStringLiteral("--- line speed %1").arg(baud));
}
