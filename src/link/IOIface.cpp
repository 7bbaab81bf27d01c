// Byte transports over QSerialPort and QTcpSocket.
#include "IOIface.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QSerialPort>
#include <QStringList>
#include <QTcpSocket>

#include <algorithm>
#include <limits>

void TIOIface::FireOpened()
{
    if (OnOpened)
        OnOpened(this);
}

void TIOIface::FireClosed()
{
    if (OnClosed)
        OnClosed(this);
}

void TIOIface::FireError(const QString &reason)
{
    if (OnError)
        OnError(this, reason);
}

int PortNumberFromName(const QString &name)
{
    // Only digits count (a character outside 0-9 would give a meaningless or negative figure),
    // and a long name stops growing at the largest int instead of overflowing.
    constexpr qint64 Largest = std::numeric_limits<int>::max();
    qint64 value = 0;
    for (qsizetype i = 3; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c < u'0' || c > u'9')
            continue;
        value = std::min(Largest, value * 10 + (c - u'0'));
    }
    return value == 0 ? 1 : int(value);
}

bool IsDottedIPv4(const QString &text)
{
    const QStringList parts = text.split('.');
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (QChar c : part)
            if (c < '0' || c > '9')
                return false;
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

// --- serial ---------------------------------------------------------------------------------

TIOIfaceSerial::TIOIfaceSerial() : SerialPort(std::make_unique<QSerialPort>())
{
    SerialPort->setFlowControl(QSerialPort::NoFlowControl);
    SerialPort->setReadBufferSize(0);
    connect(SerialPort.get(), &QSerialPort::readyRead, this, [this] {
        const QByteArray chars = SerialPort->readAll();
        if (!chars.isEmpty() && OnReceive)
            OnReceive(chars);
    });
    connect(SerialPort.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // A port that vanishes (a USB adapter pulled out) closes the link.
        if (error == QSerialPort::ResourceError && SerialPort->isOpen())
            Lost(SerialPort->errorString());
    });
}

TIOIfaceSerial::~TIOIfaceSerial()
{
    if (SerialPort->isOpen())
        SerialPort->close();
}

bool TIOIfaceSerial::IsOpen() const
{
    return SerialPort->isOpen();
}

void TIOIfaceSerial::Lost(const QString &reason)
{
    // A loss is no failure to open: the owner hears of the closing only (and may ask why).
    SerialPort->close();
    LossReason = reason;
    FireClosed();
}

QString TIOIfaceSerial::FindByIdLink(const QString &device) const
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty() || ByIdFolder.isEmpty())
        return {};
    const QFileInfoList entries =
        QDir(ByIdFolder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries)
        if (entry.isSymLink() && entry.canonicalFilePath() == target)
            return entry.absoluteFilePath();
    return {};
}

void TIOIfaceSerial::Open()
{
    if (SerialPort->isOpen())
        return;
    // A known adapter is opened through its stable link, whatever device name it has now: another
    // device may have taken the old name meanwhile. Without the link it is not plugged in.
    if (!ByIdName.isEmpty()) {
        if (!QFileInfo::exists(ByIdName)) {
            FireError(QStringLiteral("the adapter is not there (%1 is missing)").arg(ByIdName));
            return;
        }
        SerialPort->setPortName(ByIdName);
    }
    if (!SerialPort->open(QIODevice::ReadWrite)) {
        QString reason = SerialPort->errorString();
        if (SerialPort->error() == QSerialPort::PermissionError)
            reason = QStringLiteral("no permission to open %1 (%2)").arg(Description(), reason);
        FireError(reason);
        return;
    }
    if (ByIdName.isEmpty())
        ByIdName = FindByIdLink(ChosenName);
    ApplyLines();
    FireOpened();
}

void TIOIfaceSerial::Close()
{
    if (SerialPort->isOpen())
        SerialPort->close();
    FireClosed();
}

void TIOIfaceSerial::Send(const QByteArray &text)
{
    IdleTicks = 0;
    if (SerialPort->isOpen())
        SerialPort->write(text);
}

QString TIOIfaceSerial::Description() const
{
    // Messages name the port the user chose by its full path (QSerialPort keeps only the name under
    // /dev), even when it is reached through its stable link.
    const QString name = ChosenName.isEmpty() ? SerialPort->portName() : ChosenName;
#ifdef Q_OS_UNIX
    if (!name.isEmpty() && !name.startsWith(QLatin1Char('/')))
        return QStringLiteral("/dev/") + name;
#endif
    return name;
}

void TIOIfaceSerial::SetPortName(const QString &name)
{
    ChosenName = name;
    ByIdName.clear();
    SerialPort->setPortName(name);
    PortNumberValue = PortNumberFromName(name);
}

int TIOIfaceSerial::Baud() const
{
    return SerialPort->baudRate();
}

void TIOIfaceSerial::SetBaud(int baud)
{
    SerialPort->setBaudRate(baud);
}

void TIOIfaceSerial::SetDataBits(int bits)
{
    SerialPort->setDataBits(bits == 7 ? QSerialPort::Data7 : QSerialPort::Data8);
}

void TIOIfaceSerial::SetStopBits(int bits)
{
    SerialPort->setStopBits(bits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
}

void TIOIfaceSerial::SetParity(int parity)
{
    SerialPort->setParity(parity == 1   ? QSerialPort::OddParity
                          : parity == 2 ? QSerialPort::EvenParity
                                        : QSerialPort::NoParity);
}

void TIOIfaceSerial::SetCable(int cable)
{
    CableValue = cable;
    ApplyLines();
}

void TIOIfaceSerial::ApplyLines()
{
    // The optical heads draw their power from DTR. A pseudo-terminal refuses these requests
    // ("Inappropriate ioctl for device"); that is not an error of the link.
    if (!SerialPort->isOpen())
        return;
    SerialPort->setRequestToSend(false);
    SerialPort->setDataTerminalReady(CableValue == 1 || CableValue == 2);
    SerialPort->clearError();
}

// --- TCP ------------------------------------------------------------------------------------

TIOIfaceSocket::TIOIfaceSocket() : Socket(std::make_unique<QTcpSocket>())
{
    connect(Socket.get(), &QTcpSocket::readyRead, this, [this] {
        const QByteArray chars = Socket->readAll();
        if (!chars.isEmpty() && OnReceive)
            OnReceive(chars);
    });
    connect(Socket.get(), &QTcpSocket::connected, this, [this] {
        WasConnected = true;
        Socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        FireOpened();
    });
    connect(Socket.get(), &QTcpSocket::disconnected, this, [this] {
        if (WasConnected) {
            WasConnected = false;
            FireClosed();
        }
    });
    connect(Socket.get(), &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (WasConnected) {
            // A connection that breaks is a loss, not a failure to connect: the disconnect
            // notification follows and reports it.
            LossReason = Socket->errorString();
            return;
        }
        FireError(Socket->errorString());
    });
}

TIOIfaceSocket::~TIOIfaceSocket()
{
    Socket->disconnect(this);
    Socket->abort();
}

bool TIOIfaceSocket::IsOpen() const
{
    return Socket->state() == QAbstractSocket::ConnectedState;
}

void TIOIfaceSocket::Open()
{
    if (Socket->state() != QAbstractSocket::UnconnectedState)
        return;
    if (HostAddressGiven)
        Socket->connectToHost(QHostAddress(HostText), static_cast<quint16>(PortValue));
    else
        Socket->connectToHost(HostText, static_cast<quint16>(PortValue));
}

void TIOIfaceSocket::Close()
{
    WasConnected = false; // the disconnect notification must not report the close a second time
    if (Socket->state() != QAbstractSocket::UnconnectedState) {
        Socket->flush();
        Socket->disconnectFromHost();
        if (Socket->state() != QAbstractSocket::UnconnectedState)
            Socket->abort();
    }
    FireClosed();
}

void TIOIfaceSocket::Send(const QByteArray &text)
{
    IdleTicks = 0;
    if (IsOpen())
        Socket->write(text);
}

QString TIOIfaceSocket::Description() const
{
    return QStringLiteral("%1:%2").arg(HostText).arg(PortValue);
}

void TIOIfaceSocket::SetHostText(const QString &text)
{
    HostText = text.trimmed();
    HostAddressGiven = IsDottedIPv4(HostText);
}

void TIOIfaceSocket::SetPort(int port)
{
    PortValue = port;
}
