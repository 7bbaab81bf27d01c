// The serial ports present and the search for the instrument on them (see finder.h).
#include "finder.h"

#include "CRC.h"
#include "IOIface.h"
#include "values/tools.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>
#include <algorithm>
#include <cctype>

namespace
{

constexpr int RegSerialNumber = 0x0005;
constexpr int RegModel = 0x0003;
constexpr int RegVersion = 0x0004;

bool AllHex(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

QString TSerialPortDetails::Details() const
{
    QStringList parts;
    if (!Description.isEmpty())
        parts << Description;
    if (!Manufacturer.isEmpty() && Manufacturer != Description)
        parts << Manufacturer;
    if (!SerialNumber.isEmpty())
        parts << QStringLiteral("SN ") + SerialNumber;
    if (!ById.isEmpty())
        parts << QStringLiteral("by-id ") + ById;
    return parts.join(QStringLiteral(", "));
}

QString ByIdNameOf(const QString &device, const QString &byIdDir)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir dir(byIdDir);
    for (const QFileInfo &link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.fileName();
    return {};
}

QList<TSerialPortDetails> ListSerialPorts(const QString &byIdDir)
{
    QList<TSerialPortDetails> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        TSerialPortDetails p;
#ifdef Q_OS_WIN
        p.Name = info.portName();
#else
        p.Name = info.systemLocation();
#endif
        p.Description = info.description();
        p.Manufacturer = info.manufacturer();
        p.SerialNumber = info.serialNumber();
        p.ById = ByIdNameOf(info.systemLocation(), byIdDir);
        ports << p;
    }
    return ports;
}

QByteArray TFoundInstrument::Identification() const
{
    return "SN: " + SerialNumber + ", " + ModelText + " " + VersionText;
}

TInstrumentFinder::TInstrumentFinder(QObject *parent) : QObject(parent)
{
    Assembler.OnMessage = [this](const QByteArray &text) { Received(text); };
}

TInstrumentFinder::~TInstrumentFinder() = default;

int TInstrumentFinder::AttemptCount(int ports, int cable)
{
    return ports * static_cast<int>(CableBaudRates(cable).size() * CableSearchAddresses(cable).size());
}

void TInstrumentFinder::Cancel()
{
    CancelAsked = true;
    Wake();
}

void TInstrumentFinder::Wake()
{
    if (Loop)
        Loop->quit();
}

void TInstrumentFinder::Received(const QByteArray &text)
{
    if (WantRegister < 0 || Answered)
        return;
    Tcommsobj m;
    // Only the instrument's answer to this very read counts: not an echo of the request (a
    // looped-back line), not a refusal, not an answer from another address.
    if (!m.Decode(text) || m.RequestFlag || m.ErrorFlag || m.Command != CmdRead || m.Register != WantRegister)
        return;
    if (WantAddress != 0 && m.Address != WantAddress)
        return;
    if (WantRegister == RegSerialNumber && !AllHex(m.Data))
        return;
    Reply = m;
    Answered = true;
    Wake();
}

bool TInstrumentFinder::Ask(TIOIfaceSerial &port, int baud, int address, int reg)
{
    // What is still on its way from an earlier attempt belongs to that attempt.
    port.Port()->clear(QSerialPort::AllDirections);
    Assembler.Clear();
    Answered = false;
    WantAddress = address;
    WantRegister = reg;

    Tcommsobj request;
    request.RequestFlag = true;
    request.Address = address;
    request.Command = CmdRead;
    request.Register = reg;
    const QByteArray text = request.Encode();
    const QByteArray frame = SOH + text + FrameCrcHex(text) + EOT;
    port.Send(frame);

    // The request and a reply of some 30 characters on the wire, then the instrument's own time.
    const int wireMs = static_cast<int>((frame.size() + 30) * FrameBits * 1000LL / std::max(baud, 1)) + 1;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(wireMs + std::max(AttemptMs, 1));
    QEventLoop *outer = Loop;
    Loop = &loop;
    while (!Answered && !CancelAsked && !PortGone && limit.isActive())
        loop.exec();
    Loop = outer;
    WantRegister = -1;
    return Answered;
}

QList<TFoundInstrument> TInstrumentFinder::Find(const QStringList &ports, int cable)
{
    CancelAsked = false;
    QList<TFoundInstrument> found;
    const QList<int> rates = CableBaudRates(cable);
    const QList<int> addresses = CableSearchAddresses(cable);
    const TSerialLineSettings line = ImposeCableSettings(cable, Line);
    FrameBits = 10 + (line.Parity != 0 ? 1 : 0) + (line.StopBits == 2 ? 1 : 0);
    const int perPort = static_cast<int>(rates.size() * addresses.size());
    TSearchStep step;
    step.Count = static_cast<int>(ports.size()) * perPort;

    for (int p = 0; p < ports.size() && !CancelAsked; ++p) {
        step.Port = ports.at(p);
        step.Index = p * perPort;
        // Opened for this port only; the destructor closes it on every way out of the loop.
        TIOIfaceSerial port;
        QString failure;
        PortGone = false;
        port.OnError = [&failure, this](TIOIface *, const QString &reason) {
            if (failure.isEmpty())
                failure = reason;
            PortGone = true;
            Wake();
        };
        port.OnClosed = [this](TIOIface *) {
            PortGone = true;
            Wake();
        };
        port.OnReceive = [this](const QByteArray &chars) { Assembler.Feed(chars); };
        port.SetPortName(step.Port);
        port.SetBaud(rates.first());
        port.SetDataBits(line.DataBits);
        port.SetStopBits(line.StopBits);
        port.SetParity(line.Parity);
        port.SetCable(cable);
        port.Open();
        if (!port.IsOpen()) {
            if (OnPortSkipped)
                OnPortSkipped(step.Port, failure.isEmpty() ? QStringLiteral("it cannot be opened") : failure);
            continue;
        }
        bool answered = false;
        for (int baud : rates) {
            port.SetBaud(baud);
            for (int address : addresses) {
                if (CancelAsked || PortGone || answered)
                    break;
                step.Baud = baud;
                step.Address = address;
                if (OnProgress)
                    OnProgress(step);
                ++step.Index;
                if (CancelAsked || !Ask(port, baud, address, RegSerialNumber))
                    continue;
                answered = true;
                TFoundInstrument f;
                f.Port = step.Port;
                f.Baud = baud;
                f.Address = Reply.Address != 0 ? Reply.Address : address;
                f.SerialNumber = QByteArray::number(HexToInt(Reply.Data));
                // Model and version at the same place; left empty when they do not come.
                if (!CancelAsked && Ask(port, baud, address, RegModel))
                    f.ModelText = Reply.Data;
                if (!CancelAsked && Ask(port, baud, address, RegVersion))
                    f.VersionText = Reply.Data;
                found << f;
                if (OnFound)
                    OnFound(f);
            }
            if (CancelAsked || PortGone || answered)
                break;
        }
        if (PortGone && !answered && OnPortSkipped && !CancelAsked)
            OnPortSkipped(step.Port,
                          failure.isEmpty() ? QStringLiteral("it closed during the search") : failure);
        port.OnClosed = nullptr;
        port.OnError = nullptr;
        port.Close();
    }
    return found;
}
