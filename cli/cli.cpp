// brellin-cli: connecting, reporting and the command table.
#include "cli.h"

#include "link/IOIface.h"
#include "settings/session.h"
#include "values/valuetext.h"

#include <QDir>
#include <QFileInfo>

#include <QCoreApplication>
#include <QTimer>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

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
    // QString::toInt takes a sign ("+12", "-0"), which is no register.
    for (QChar c : t)
        if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())) || c.unicode() > 0x7F)
            return false;
    reg = t.toInt(nullptr, 16);
    return true;
}

bool CheckMessageText(const QString &text, const QString &what, QString &error)
{
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F) {
            error = QStringLiteral("%1 holds the control character %2, which the link cannot carry")
                        .arg(what, QString::fromLatin1(ControlCharText(static_cast<unsigned char>(u), true)));
            return false;
        }
        if (u > 0xFF) {
            error =
                QStringLiteral("%1 holds '%2', which the instrument's 8-bit text cannot carry").arg(what, c);
            return false;
        }
    }
    return true;
}

void TCliPasscode::AnswerFor(TSession &session)
{
    session.OnPasscode = [this](int, const QString &prompt) -> std::optional<QByteArray> {
        Asked = true;
        if (Used)
            return std::nullopt;
        std::optional<QByteArray> code = Given ? Given : PasscodeFromEnvironment();
        if (!code)
            code = AskPasscodeOnTerminal(prompt);
        if (code && !ReadPasscode(QString::fromLatin1(*code))) {
            // Typed on the terminal: said here, and nothing goes to the instrument.
            std::fprintf(stderr, "brellin-cli: %s\n",
                         ReadPasscode(QString::fromLatin1(*code)).Refusal.toLocal8Bit().constData());
            code.reset();
        }
        Used = code.has_value();
        return code;
    };
}

bool CheckGivenPasscode(const std::optional<QByteArray> &given, QString &error)
{
    const std::optional<QByteArray> code = given ? given : PasscodeFromEnvironment();
    if (!code)
        return true;
    const TValueRead<QByteArray> read = ReadPasscode(QString::fromLatin1(*code));
    if (!read)
        error =
            (given ? QStringLiteral("--passcode: ") : QStringLiteral("BRELLIN_PASSCODE: ")) + read.Refusal;
    return read.Ok();
}

bool CheckOutputFolder(const QString &file, QString &error)
{
    const QFileInfo info(file);
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists())
        error =
            QStringLiteral("cannot write '%1': the folder '%2' does not exist").arg(file, folder.filePath());
    else if (!folder.isDir())
        error = QStringLiteral("cannot write '%1': '%2' is not a folder").arg(file, folder.filePath());
    else if (!folder.isWritable())
        error = QStringLiteral("cannot write '%1': the folder '%2' cannot be written")
                    .arg(file, folder.filePath());
    else if (info.isDir())
        error = QStringLiteral("cannot write '%1': it is a folder").arg(file);
    return error.isEmpty();
}

std::optional<QByteArray> PasscodeFromEnvironment()
{
    const QByteArray value = qgetenv("BRELLIN_PASSCODE").trimmed();
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

std::optional<QByteArray> AskPasscodeOnTerminal(const QString &prompt)
{
    if (::isatty(0) != 1)
        return std::nullopt;
    termios saved{};
    const bool terminal = ::tcgetattr(0, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(0, TCSAFLUSH, &quiet);
    }
    // The prompt comes once the echo is off, so nothing typed after it shows.
    std::fprintf(stderr, "%s: ", prompt.toLocal8Bit().constData());
    std::fflush(stderr);
    QByteArray typed;
    for (;;) {
        char ch = 0;
        const ssize_t got = ::read(0, &ch, 1);
        if (got <= 0 || ch == '\n')
            break;
        if (ch != '\r')
            typed += ch;
    }
    if (terminal)
        ::tcsetattr(0, TCSAFLUSH, &saved);
    typed = typed.trimmed();
    if (typed.isEmpty())
        return std::nullopt;
    return typed;
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

int TCliContext::ReplyTimeoutMs() const
{
    const double seconds =
        Options.TimeoutSeconds > 0 ? Options.TimeoutSeconds : (Options.TcpHost.isEmpty() ? 2.0 : 7.0);
    return static_cast<int>(std::lround(seconds * 1000));
}

bool TCliContext::Connect()
{
    Engine = std::make_unique<TTransactionEngine>();
    Engine->Reporter = &Reporter;
    Engine->UnitAddress = Options.Address;
    Engine->CableType = Options.Cable;
    const bool tcp = !Options.TcpHost.isEmpty();
    Engine->TimeoutTicks = std::max(1, static_cast<int>(std::lround(ReplyTimeoutMs() / 100.0)));

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
    Where = link->Description();
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

    const int limitMs = std::max(5000, ReplyTimeoutMs());
    Engine->WaitUntil([&] { return opened || !failure.isEmpty(); }, limitMs);
    Engine->OnConnectedChanged = nullptr;
    Engine->OnLinkError = nullptr;
    if (!opened) {
        if (failure.isEmpty())
            failure = QStringLiteral("no answer within %1 s").arg(limitMs / 1000);
        std::fprintf(stderr, "brellin-cli: cannot connect to %s: %s\n", Where.toLocal8Bit().constData(),
                     failure.toLocal8Bit().constData());
        return false;
    }
    // From here on a link that closes by itself is a lost link, which the command's end reports.
    Engine->OnConnectedChanged = [this](bool connected) {
        if (!connected)
            LinkLost = true;
    };
    Engine->SpeedUpLink();
    return true;
}

bool TCliContext::EnsureConnected(int &exit)
{
    if (Engine && Engine->LinkOpen())
        return true;
    if (!Options.HasConnection()) {
        exit = UsageError("this command needs a connection: --tcp HOST[:PORT] or --serial DEVICE");
        return false;
    }
    if (!Connect()) {
        exit = ExitNoReply;
        return false;
    }
    return true;
}

void TCliContext::Disconnect()
{
    if (!Engine)
        return;
    Engine->OnConnectedChanged = nullptr;
    Engine->Changes = nullptr;
    if (Engine->LinkOpen())
        Engine->Link()->Close();
}

namespace
{

volatile std::sig_atomic_t StopSignal = 0;
int StopGuards = 0;
constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction PreviousActions[3];

void OnStopSignal(int signal)
{
    if (StopSignal == 0)
        StopSignal = signal;
}

} // namespace

TCliStopSignals::TCliStopSignals(std::function<void()> onStop) : OnStop(std::move(onStop))
{
    if (StopGuards++ == 0) {
        StopSignal = 0;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (size_t i = 0; i < std::size(StopSignals); ++i)
            sigaction(StopSignals[i], &action, &PreviousActions[i]);
    }
    if (OnStop) {
        Poll = std::make_unique<QTimer>();
        Poll->setInterval(20);
        // Called again at every poll: work that starts after the signal (a search, a transfer) still
        // hears of it.
        QObject::connect(Poll.get(), &QTimer::timeout, [this] {
            if (StopSignal)
                OnStop();
        });
        Poll->start();
    }
}

TCliStopSignals::~TCliStopSignals()
{
    Poll.reset();
    if (--StopGuards == 0)
        for (size_t i = 0; i < std::size(StopSignals); ++i)
            sigaction(StopSignals[i], &PreviousActions[i], nullptr);
}

bool TCliStopSignals::Stopped()
{
    return StopSignal != 0;
}

QByteArray TCliStopSignals::SignalName()
{
    switch (StopSignal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return {};
    }
}
