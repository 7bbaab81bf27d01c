// Byte transports: a null link, a serial port and a TCP client. They pass characters through
// unchanged and tell their owner when the link opens, closes and when characters arrive.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSerialPort;
class QTcpSocket;

class TIOIface : public QObject
{
    Q_OBJECT
public:
    virtual bool IsOpen() const = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual void Send(const QByteArray &text) = 0;
    // A readable description of the link for messages ("/dev/ttyUSB0", "10.0.0.5:2222").
    virtual QString Description() const = 0;

    std::function<void(const QByteArray &)> OnReceive;
    std::function<void(TIOIface *)> OnOpened;
    std::function<void(TIOIface *)> OnClosed;
    // A link that could not be opened or failed while open: the reason, in words.
    std::function<void(TIOIface *, const QString &)> OnError;
    int32_t IdleTicks = 0;
    // Why the link last closed by itself (the peer hung up, the device went away), in words.
    QString LossReason;

protected:
    void FireOpened();
    void FireClosed();
    void FireError(const QString &reason);
};

class TIOIfaceNull : public TIOIface
{
    Q_OBJECT
public:
    bool IsOpen() const override { return false; }
    void Open() override { FireOpened(); }
    void Close() override { FireClosed(); }
    void Send(const QByteArray &) override { IdleTicks = 0; }
    QString Description() const override { return QStringLiteral("none"); }
};

// The number of a port name such as "COM12": the digits from the 4th character on (others are
// skipped), at most the largest int; 0 becomes 1.
int PortNumberFromName(const QString &name);
// Four decimal numbers 0..255 separated by ".".
bool IsDottedIPv4(const QString &text);

class TIOIfaceSerial : public TIOIface
{
    Q_OBJECT
public:
    TIOIfaceSerial();
    ~TIOIfaceSerial() override;
    bool IsOpen() const override;
    void Open() override;
    void Close() override;
    void Send(const QByteArray &text) override;
    QString Description() const override;

    // The device name the platform lists ("/dev/ttyUSB0", "COM3") or a link to it such as a
    // /dev/serial/by-id name; PortNumber keeps the COMn reading.
    void SetPortName(const QString &name);
    // Where the platform keeps a stable link per adapter. An adapter that comes back under another
    // device name (unplugged and plugged in again) is opened through the link that pointed at the
    // device when it was last opened; the link is looked up again at every opening.
    void SetByIdFolder(const QString &folder) { ByIdFolder = folder; }
    QString ByIdLink() const { return ByIdName; }
    int Baud() const;
    void SetBaud(int baud);
    void SetDataBits(int bits);
    void SetStopBits(int bits);
    void SetParity(int parity);
    void SetCable(int cable);
    int Cable() const { return CableValue; }
    int PortNumber() const { return PortNumberValue; }
    QSerialPort *Port() const { return SerialPort.get(); }

private:
    void ApplyLines();
    void Lost(const QString &reason);
    QString FindByIdLink(const QString &device) const;
    std::unique_ptr<QSerialPort> SerialPort;
    QString ChosenName; // as the user gave it
    QString ByIdFolder = QStringLiteral("/dev/serial/by-id");
    QString ByIdName; // the stable link found at the last opening
    int CableValue = 0;
    int PortNumberValue = 1;
};

class TIOIfaceSocket : public TIOIface
{
    Q_OBJECT
public:
    TIOIfaceSocket();
    ~TIOIfaceSocket() override;
    bool IsOpen() const override;
    void Open() override;
    void Close() override;
    void Send(const QByteArray &text) override;
    QString Description() const override;

    void SetHostText(const QString &text);
    void SetPort(int port);
    bool HostIsAddress() const { return HostAddressGiven; }
    QString Host() const { return HostText; }
    int Port() const { return PortValue; }

private:
    std::unique_ptr<QTcpSocket> Socket;
    QString HostText;
    bool HostAddressGiven = false;
    int PortValue = 2222;
    bool WasConnected = false;
};
