// vornsim's line timing: with a baud rate the characters of a request count as arriving one
// character time apart and the reply goes out at the same rate, over TCP and over the pty.
#include "link/CRC.h"
#include "link/comms.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace
{

QByteArray Framed(const QByteArray &text)
{
    return QByteArray(1, SOH) + text + FrameCrcHex(text) + QByteArray(1, EOT);
}

// A raw end of the line: a loopback socket or the pty's slave side, read without any engine.
int OpenEnd(TVornSim &sim, bool pty)
{
    if (pty) {
        const int fd = ::open(sim.PtyPath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd >= 0 && ::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        return fd;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(sim.Port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

// Runs the simulator's event loop until `count` frames have come back (or 10 s pass).
QByteArray ReadFrames(int fd, int count)
{
    QByteArray in;
    QElapsedTimer t;
    t.start();
    while (in.count(EOT) < count && t.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1) > 0) {
            char buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                in.append(buf, static_cast<int>(n));
        }
    }
    return in;
}

} // namespace

TEST(SimPacing, RequestsAndRepliesTakeTheirCharacterTimes)
{
    const struct {
        const char *name;
        bool pty;
        int baud;
        int frameBits;
        int turnaroundMs;
        int requests; // written in one go
    } cases[] = {
        {"tcp 9600 8N1", false, 9600, 10, -1, 1},
        {"pty 9600 8N1", true, 9600, 10, -1, 1},
        {"tcp 9600 8N1, two requests at once", false, 9600, 10, 0, 2},
        {"tcp 57600 11 bits, 20 ms turnaround", false, 57600, 11, 20, 1},
        {"pty 57600 11 bits, two requests", true, 57600, 11, 5, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        TVornSimConfig cfg;
        cfg.Baud = c.baud;
        cfg.FrameBits = c.frameBits;
        cfg.TurnaroundMs = c.turnaroundMs;
        if (c.pty) {
            cfg.UsePty = true;
            cfg.PtyLink = dir.filePath(QStringLiteral("vorn"));
        } else {
            cfg.TcpPort = 0;
        }
        TVornSim sim(cfg);
        QString error;
        ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
        const int fd = OpenEnd(sim, c.pty);
        ASSERT_GE(fd, 0);
        QCoreApplication::processEvents(); // the simulator takes the connection

        // The factory test report: a long reply (over 120 characters).
        QByteArray request;
        for (int i = 0; i < c.requests; ++i)
            request += Framed("20110068:");
        QElapsedTimer t;
        t.start();
        ASSERT_EQ(::write(fd, request.constData(), static_cast<size_t>(request.size())), request.size());
        const QByteArray reply = ReadFrames(fd, c.requests);
        const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        ::close(fd);
        ASSERT_EQ(reply.count(EOT), c.requests) << reply.constData();
        EXPECT_GT(reply.size(), 120 * c.requests);

        // The first request's characters arrive, the instrument turns round, then every reply goes
        // out character by character (a second request is in long before the first reply is
        // out). Lower bounds only: a loaded machine can only make it slower.
        const double charS = static_cast<double>(c.frameBits) / c.baud;
        const double turnS = (c.turnaroundMs < 0 ? 2 : c.turnaroundMs) / 1000.0;
        const double replyWire = static_cast<double>(reply.size()) * charS;
        const double requestWire = static_cast<double>(request.size() / c.requests) * charS;
        EXPECT_GE(seconds, 0.9 * reply.size() * charS) << "reply of " << reply.size() << " characters";
        EXPECT_GE(seconds, 0.9 * (requestWire + turnS + replyWire)) << seconds << " s";
        std::printf("[pacing] %s: %d+%d characters in %.4f s, wire %.4f s\n", c.name,
                    static_cast<int>(request.size()), static_cast<int>(reply.size()), seconds,
                    requestWire + turnS + replyWire);
    }
}
