// brellin-cli: connecting, reporting and the command table.
#include "cli.h"

#include "link/IOIface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>

void TCliReporter::Error(const QString &text)
{
    Errors << text;
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void TCliReporter::Info(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

bool TCliReporter::Ask(const QString &text)
{
    std::fprintf(stderr, "%s %s\n", text.toLocal8Bit().constData(), AnswerYes ? "Yes" : "No");
    return AnswerYes;
}

QList<TCliCommand> &CliCommands()
{
    static QList<TCliCommand> commands;
    return commands;
}

bool ParseRegister(const QString &text, int &reg)
{
    QString t = text.trimmed();
    if (t.startsWith("0x", Qt::CaseInsensitive))
        t = t.mid(2);
    if (t.isEmpty() || t.size() > 4)
        return false;
    bool ok = false;
    const int value = t.toInt(&ok, 16);
    if (!ok || value < 0)
        return false;
    reg = value;
    return true;
}

int UsageError(const QString &text)
{
    std::fprintf(stderr, "brellin-cli: %s\nTry 'brellin-cli --help'.\n", text.toLocal8Bit().constData());
    return ExitUsage;
}

void PrintLine(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int TCliContext::FailureExit() const
{
    return Engine && !Engine->LastWaitTimedOut() && Engine->LastReply.ErrorFlag ? ExitRefused : ExitNoReply;
}

bool TCliContext::Connect()
{
    Engine = std::make_unique<TTransactionEngine>();
    Engine->Reporter = &Reporter;
    Engine->UnitAddress = Options.Address;
    Engine->CableType = Options.Cable;
    const bool tcp = !Options.TcpHost.isEmpty();
    const double seconds = Options.TimeoutSeconds > 0 ? Options.TimeoutSeconds : (tcp ? 7.0 : 2.0);
    Engine->TimeoutTicks = std::max(1, static_cast<int>(std::lround(seconds * 10)));

    std::unique_ptr<TIOIface> link;
    if (tcp) {
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText(Options.TcpHost);
        socket->SetPort(Options.TcpPort);
        link = std::move(socket);
    } else {
        auto serial = std::make_unique<TIOIfaceSerial>();
        serial->SetPortName(Options.SerialDevice);
        serial->SetBaud(Options.Baud);
        serial->SetDataBits(Options.DataBits);
        serial->SetStopBits(Options.StopBits);
        serial->SetParity(Options.Parity);
        serial->SetCable(Options.Cable);
        link = std::move(serial);
    }
    const QString where = link->Description();
    QString failure;
    bool opened = false;
    Engine->OnLinkError = [&failure](const QString &reason) {
        if (failure.isEmpty())
            failure = reason;
    };
    Engine->OnConnectedChanged = [&opened](bool connected) { opened = connected; };
    if (Options.Verbose) {
        Engine->EchoAlways = true;
        Engine->OnTrafficEcho = [](const QByteArray &text) {
            for (const QByteArray &line : TrafficEchoLines(text, true))
                std::fprintf(stderr, "%s\n", line.constData());
        };
    }
    Engine->SetLink(std::move(link));
    Engine->Link()->Open();

    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = std::max<qint64>(5000, static_cast<qint64>(seconds * 1000));
    while (!opened && failure.isEmpty() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    Engine->OnConnectedChanged = nullptr;
    Engine->OnLinkError = nullptr;
    if (!opened) {
        if (failure.isEmpty())
            failure = QStringLiteral("no answer within %1 s").arg(limitMs / 1000);
        std::fprintf(stderr, "brellin-cli: cannot connect to %s: %s\n", where.toLocal8Bit().constData(),
                     failure.toLocal8Bit().constData());
        return false;
    }
    Engine->SpeedUpLink();
    return true;
}
