// Request splitting, reply framing, faults, the logging stream and the pty's line speed.
#include "simlink.h"

#include "link/CRC.h"
#include "vornsim.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <termios.h>
#include <unistd.h>

TSimLink::TSimLink(TVornSim *sim, QTcpSocket *socket) : QObject(sim), Sim(sim), Socket(socket)
{
    WireSplitter();
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
    SetBaud(9600);
}

void TSimLink::WireSplitter()
{
    Splitter.OnRequest = [this](const QByteArray &text, bool framed, bool oversized) {
        Answer(text, framed, oversized);
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
    if (n > 0)
        Feed(QByteArray(chunk, static_cast<int>(n)));
}

void TSimLink::Feed(const QByteArray &bytes)
{
    Splitter.Feed(bytes);
}

void TSimLink::Answer(const QByteArray &text, bool framed, bool oversized)
{
    Sim->Log(QStringLiteral("<<< %1%2").arg(QString::fromLatin1(text), oversized ? " ..." : ""));
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
    Send(frame);
    if (!answer.Printer.isEmpty())
        Send(answer.Printer);
    if (answer.NewBaud)
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

void TSimLink::Send(const QByteArray &bytes)
{
    const int delay = Sim->Config().DelayMs;
    if (delay > 0)
        QTimer::singleShot(delay, this, [this, bytes] { WriteNow(bytes); });
    else
        WriteNow(bytes);
}

void TSimLink::WriteNow(const QByteArray &bytes)
{
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
    const speed_t speed = baud == 57600 ? B57600 : B9600;
    ::cfsetspeed(&t, speed);
    ::tcsetattr(Master, TCSANOW, &t);
    Sim->Log(QStringLiteral("--- line speed %1").arg(baud));
}
