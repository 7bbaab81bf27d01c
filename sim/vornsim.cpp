// The simulator's transports: a loopback TCP server and a pseudo-terminal, both answered by one
// instrument on the caller's event loop.
#include "vornsim.h"

#include "simlink.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

TVornSim::TVornSim(const TVornSimConfig &config, QObject *parent)
    : QObject(parent), Cfg(config), Device(std::make_unique<TVornInstrument>(config)), Random(config.Seed)
{
}

TVornSim::~TVornSim()
{
    Stop();
}

bool TVornSim::Chance(const double &rate)
{
    if (rate <= 0)
        return false;
    if (rate >= 1) {
        // A count: every Nth time this fault is asked about, it happens.
        const int every = static_cast<int>(rate);
        return ++FaultCounts[&rate] % every == 0;
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(Random) < rate;
}

bool TVornSim::DropOn(int reg)
{
    if (reg != Cfg.DropOnRegister || DroppedOn >= Cfg.DropOnTimes)
        return false;
    ++DroppedOn;
    return true;
}

void TVornSim::SetFaults(const TVornSimConfig &faults)
{
    Cfg.DropReply = faults.DropReply;
    Cfg.CorruptCrc = faults.CorruptCrc;
    Cfg.LowerCaseCrc = faults.LowerCaseCrc;
    Cfg.Garbage = faults.Garbage;
    Cfg.WrongRegister = faults.WrongRegister;
    Cfg.DuplicateReply = faults.DuplicateReply;
    Cfg.OversizedFrame = faults.OversizedFrame;
    Cfg.DelayMs = faults.DelayMs;
    Cfg.DisconnectAfter = faults.DisconnectAfter;
    Cfg.DropOnRegister = faults.DropOnRegister;
    Cfg.DropOnTimes = faults.DropOnTimes;
    Cfg.DelayOnRegister = faults.DelayOnRegister;
    Cfg.DelayOnMs = faults.DelayOnMs;
    FaultCounts.clear();
    DroppedOn = 0;
}

void TVornSim::Log(const QString &text)
{
    if (Cfg.Verbose && OnLog)
        OnLog(text);
}

bool TVornSim::Start(QString *error)
{
    QString reason;
    if (!Device->Setup(&reason)) {
        if (error)
            *error = reason;
        return false;
    }
    if (Cfg.TcpPort >= 0) {
        const QHostAddress host(Cfg.TcpHost);
        if (host.isNull()) {
            if (error)
                *error = QStringLiteral("not an IP address: %1").arg(Cfg.TcpHost);
            return false;
        }
        Server = std::make_unique<QTcpServer>();
        if (!Server->listen(host, static_cast<quint16>(Cfg.TcpPort))) {
            if (error)
                *error = QStringLiteral("cannot listen on %1:%2: %3")
                             .arg(Cfg.TcpHost)
                             .arg(Cfg.TcpPort)
                             .arg(Server->errorString());
            return false;
        }
        connect(Server.get(), &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = Server->nextPendingConnection()) {
                Log(QStringLiteral("--- client %1:%2")
                        .arg(socket->peerAddress().toString())
                        .arg(socket->peerPort()));
                new TSimLink(this, socket);
            }
        });
    }
    if (Cfg.UsePty && !StartPty(error))
        return false;
    return true;
}

bool TVornSim::StartPty(QString *error)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Raw bytes both ways: no echo, no CR/LF translation, no line editing.
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B9600);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // The slave side stays open here, so the master never sees a hang-up when a client closes.
    PtySlave = slave;
    PtyName = QString::fromLocal8Bit(name);
    if (!Cfg.PtyLink.isEmpty()) {
        const QFileInfo link(Cfg.PtyLink);
        if (link.isSymLink())
            QFile::remove(Cfg.PtyLink);
        if (::symlink(name, QFile::encodeName(Cfg.PtyLink).constData()) != 0) {
            if (error)
                *error = QStringLiteral("cannot make the link %1: %2")
                             .arg(Cfg.PtyLink, QString::fromLocal8Bit(std::strerror(errno)));
            ::close(master);
            return false;
        }
    }
    PtyLink = new TSimLink(this, master);
    return true;
}

void TVornSim::Stop()
{
    Server.reset();
    // Links are children: they go with this object, or at the next event loop turn.
    const auto links = findChildren<TSimLink *>(Qt::FindDirectChildrenOnly);
    for (TSimLink *link : links)
        link->deleteLater();
    PtyLink = nullptr;
    if (PtySlave >= 0) {
        ::close(PtySlave);
        PtySlave = -1;
    }
    if (!Cfg.PtyLink.isEmpty() && QFileInfo(Cfg.PtyLink).isSymLink())
        QFile::remove(Cfg.PtyLink);
}

int TVornSim::Port() const
{
    return Server ? Server->serverPort() : -1;
}

QString TVornSim::PtyPath() const
{
    if (PtyName.isEmpty())
        return {};
    return Cfg.PtyLink.isEmpty() ? PtyName : Cfg.PtyLink;
}

QStringList TVornSim::ReadyLines() const
{
    QStringList lines;
    if (Server)
        lines << QStringLiteral("listening on %1:%2").arg(Server->serverAddress().toString()).arg(Port());
    if (!PtyName.isEmpty())
        lines << QStringLiteral("pty %1").arg(PtyPath());
    return lines;
}

int TVornSim::Connections() const
{
    return static_cast<int>(findChildren<TSimLink *>(Qt::FindDirectChildrenOnly).size()) - (PtyLink ? 1 : 0);
}

int TVornSim::PtyBaud() const
{
    return PtyLink ? PtyLink->Baud() : 0;
}
