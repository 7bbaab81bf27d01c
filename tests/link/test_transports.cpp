// Transports: the pure readings of port names and host texts, the null link, and real links
// over a loopback TCP server and a pseudo-terminal pair.
#include "fake_link.h"
#include "link/IOIface.h"

#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

TEST(Transports, PortNumbersAndHostTexts)
{
    const struct {
        const char *name;
        int number;
    } ports[] = {
        {"COM1", 1},
        {"COM12", 12},
        {"COM", 1},
        {"COM0", 1},
        {"COM2147483647", 2147483647},
        // Past the largest int the figure stops there instead of wrapping negative.
        {"COM2147483648", 2147483647},
        {"COM99999999999999999999", 2147483647},
        // Characters that are no digits count for nothing.
        {"ttyS3", 3},
        {"ttyUSB0", 1},
        {"COMx", 1},
        {"COM-5", 5},
    };
    for (const auto &port : ports)
        EXPECT_EQ(PortNumberFromName(QString::fromUtf8(port.name)), port.number) << port.name;

    EXPECT_TRUE(IsDottedIPv4("10.0.0.1"));
    EXPECT_TRUE(IsDottedIPv4("255.255.255.255"));
    EXPECT_FALSE(IsDottedIPv4("10.0.0.256"));
    EXPECT_FALSE(IsDottedIPv4("10.0.1"));
    EXPECT_FALSE(IsDottedIPv4("10.0.0.1.5"));
    EXPECT_FALSE(IsDottedIPv4("scale.local"));
    EXPECT_FALSE(IsDottedIPv4("10.0.x.1"));
    EXPECT_FALSE(IsDottedIPv4("10..0.1"));

    TIOIfaceSocket socket;
    socket.SetHostText("10.0.0.1");
    EXPECT_TRUE(socket.HostIsAddress());
    socket.SetHostText("10.0.0.300");
    EXPECT_FALSE(socket.HostIsAddress());
}

TEST(Transports, NullLinkIsNeverOpenButStillReportsItsEvents)
{
    TIOIfaceNull null;
    int opened = 0, closed = 0;
    null.OnOpened = [&](TIOIface *) { ++opened; };
    null.OnClosed = [&](TIOIface *) { ++closed; };
    null.Open();
    EXPECT_FALSE(null.IsOpen());
    null.Close();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    null.IdleTicks = 50;
    null.Send("x");
    EXPECT_EQ(null.IdleTicks, 0);

    TIOIfaceNull bare; // events without handlers are simply not called
    bare.Open();
    bare.Close();
}

TEST(Transports, TcpLinkTalksToALoopbackPeerAndNoticesItHangingUp)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    TIOIfaceSocket link;
    link.SetHostText("127.0.0.1");
    link.SetPort(server.serverPort());
    bool opened = false, closed = false;
    QByteArray received;
    link.OnOpened = [&](TIOIface *) { opened = true; };
    link.OnClosed = [&](TIOIface *) { closed = true; };
    link.OnReceive = [&](const QByteArray &b) { received += b; };
    link.Open();
    ASSERT_TRUE(PumpUntil([&] { return opened && server.hasPendingConnections(); }));
    EXPECT_TRUE(link.IsOpen());
    QTcpSocket *peer = server.nextPendingConnection();

    link.IdleTicks = 9;
    link.Send("\x01"
              "20110005:ABCD\x04");
    EXPECT_EQ(link.IdleTicks, 0);
    ASSERT_TRUE(PumpUntil([&] { return peer->bytesAvailable() >= 15; }));
    EXPECT_EQ(peer->readAll(), QByteArray("\x01"
                                          "20110005:ABCD\x04"));
    peer->write("00110005:1\r\n");
    ASSERT_TRUE(PumpUntil([&] { return received == "00110005:1\r\n"; }));

    peer->disconnectFromHost();
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    EXPECT_FALSE(link.IsOpen());
}

TEST(Transports, TcpLinkToAClosedPortReportsWhy)
{
    QTcpServer server; // take a free port, then give it back so nothing listens there
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    server.close();
    TIOIfaceSocket link;
    link.SetHostText("127.0.0.1");
    link.SetPort(port);
    QString error;
    bool opened = false;
    link.OnError = [&](TIOIface *, const QString &why) { error = why; };
    link.OnOpened = [&](TIOIface *) { opened = true; };
    link.Open();
    ASSERT_TRUE(PumpUntil([&] { return !error.isEmpty(); }));
    EXPECT_FALSE(opened);
    EXPECT_FALSE(link.IsOpen());
}

namespace
{

struct TPty {
    TPty()
    {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            termios t;
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
    }
    ~TPty()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    speed_t Speed() const
    {
        termios t;
        tcgetattr(slave, &t);
        return cfgetospeed(&t);
    }
    QByteArray ReadMaster(int want)
    {
        QByteArray got;
        PumpUntil([&] {
            char buf[256];
            fd_set set;
            FD_ZERO(&set);
            FD_SET(master, &set);
            timeval tv{0, 1000};
            if (select(master + 1, &set, nullptr, nullptr, &tv) > 0) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, n);
            }
            return got.size() >= want;
        });
        return got;
    }
    int master = -1, slave = -1;
    QString path;
};

} // namespace

TEST(Transports, SerialLinkOverAPseudoTerminal)
{
    TPty pty;
    ASSERT_FALSE(pty.path.isEmpty());
    TIOIfaceSerial link;
    link.SetPortName(pty.path);
    link.SetBaud(9600);
    link.SetDataBits(8);
    link.SetStopBits(1);
    link.SetParity(0);
    link.SetCable(2); // DTR/RTS requests fail on a pty: not an error of the link
    bool opened = false;
    QString error;
    QByteArray received;
    link.OnOpened = [&](TIOIface *) { opened = true; };
    link.OnError = [&](TIOIface *, const QString &why) { error = why; };
    link.OnReceive = [&](const QByteArray &b) { received += b; };
    link.Open();
    ASSERT_TRUE(opened) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(link.Cable(), 2);
    EXPECT_EQ(pty.Speed(), B9600);

    link.Send("\x01"
              "20110005:ABCD\x04");
    EXPECT_EQ(pty.ReadMaster(15), QByteArray("\x01"
                                             "20110005:ABCD\x04"));
    const QByteArray reply = "00110005:12345\r\n";
    ASSERT_EQ(::write(pty.master, reply.constData(), reply.size()), reply.size());
    ASSERT_TRUE(PumpUntil([&] { return received == reply; }));

    // The bit rate changes on the open port, and the other side sees it.
    link.SetBaud(57600);
    EXPECT_EQ(link.Baud(), 57600);
    EXPECT_EQ(pty.Speed(), B57600);
    link.SetBaud(9600);
    EXPECT_EQ(pty.Speed(), B9600);

    bool closed = false;
    link.OnClosed = [&](TIOIface *) { closed = true; };
    link.Close();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(link.IsOpen());
}

TEST(Transports, SerialPortThatDoesNotExistReportsWhy)
{
    TIOIfaceSerial link;
    link.SetPortName("/dev/brellin-no-such-port");
    QString error;
    bool opened = false;
    link.OnError = [&](TIOIface *, const QString &why) { error = why; };
    link.OnOpened = [&](TIOIface *) { opened = true; };
    link.Open();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(error.isEmpty());
}
