// Finding the instrument: the serial ports present with what the system knows of each, and a
// search that asks every port, bit rate and unit address for the instrument's serial number.
#pragma once

#include "cable.h"
#include "comms.h"
#include "framing.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QEventLoop;
class TIOIfaceSerial;

// One serial port as the system lists it.
struct TSerialPortDetails {
    QString Name; // what opens it: the device path ("/dev/ttyUSB0"), or "COM3" on Windows
    QString Description;
    QString Manufacturer;
    QString SerialNumber;
    QString ById; // the /dev/serial/by-id link that names it (stays the same when the name moves)
    // "Description, Manufacturer, SN 123, by-id usb-FTDI_..." (only the parts that are known).
    QString Details() const;
};

// The ports present. byIdDir holds the stable links (tests point it elsewhere).
QList<TSerialPortDetails> ListSerialPorts(const QString &byIdDir = QStringLiteral("/dev/serial/by-id"));
// The name of the link in byIdDir that leads to the device, or empty.
QString ByIdNameOf(const QString &device, const QString &byIdDir = QStringLiteral("/dev/serial/by-id"));

// An instrument that answered.
struct TFoundInstrument {
    QString Port;
    int Baud = 0;
    int Address = 0; // the address it gave in its reply (or was asked at, when it gave 0)
    QByteArray SerialNumber;
    QByteArray ModelText;
    QByteArray VersionText;
    // "SN: 4242, V500 V1.04", as the status bar shows a connected instrument.
    QByteArray Identification() const;
};

// Where the search is: attempt Index (0-based) of Count.
struct TSearchStep {
    QString Port;
    int Baud = 0;
    int Address = 0;
    int Index = 0;
    int Count = 0;
};

// Asks each port in turn, at each bit rate of the cable and at each search address, for the
// serial number (a CRC-framed read of register 0x0005) and takes the first well-formed answer on
// a port, then reads its model and version there. The instrument's state is not changed: nothing
// but reads is sent, and no speed switch. Each port is opened only while it is searched and closed
// again on every way out. The wait runs the event loop, so a Cancel button keeps working.
class TInstrumentFinder : public QObject
{
    Q_OBJECT
public:
    explicit TInstrumentFinder(QObject *parent = nullptr);
    ~TInstrumentFinder() override;

    // The longest wait for an answer, beyond the time its characters take on the wire.
    int AttemptMs = 300;
    // Data bits, stop bits and parity on RS232 (the optical cables fix them).
    TSerialLineSettings Line;

    // Before each attempt.
    std::function<void(const TSearchStep &)> OnProgress;
    // A port that could not be opened (busy, no permission, gone) and why; the search goes on.
    std::function<void(const QString &port, const QString &reason)> OnPortSkipped;
    // As soon as an instrument answers.
    std::function<void(const TFoundInstrument &)> OnFound;

    QList<TFoundInstrument> Find(const QStringList &ports, int cable);
    // Ends the search after the current wait (any port is closed); Find returns what it found.
    void Cancel();
    bool Cancelled() const { return CancelAsked; }
    // Attempts the search makes for that many ports.
    static int AttemptCount(int ports, int cable);

private:
    // Sends one read to the address and waits for its well-formed answer; false when none came.
    bool Ask(TIOIfaceSerial &port, int baud, int address, int reg);
    void Received(const QByteArray &text);
    void Wake();

    bool CancelAsked = false;
    bool PortGone = false;
    int FrameBits = 10; // bits per character on the line searched
    QEventLoop *Loop = nullptr;
    TFrameAssembler Assembler;
    // The read being waited for, and its answer.
    int WantAddress = -1;
    int WantRegister = -1;
    bool Answered = false;
    Tcommsobj Reply;
};
