// brellin-cli's shared pieces: the connection options, the connected engine, exit codes, and the
// table of commands (each command file registers its own commands).
#pragma once

#include "journal/journal.h"
#include "link/reporter.h"
#include "link/transact.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

enum TCliExit : int {
    ExitDone = 0,
    ExitRefused = 1,
    ExitUsage = 2,
    ExitNoReply = 3,
    ExitTamper = 4,
    ExitFile = 5,
    ExitDiffer = 6,
    ExitNothingSelected = 7,
    ExitNoTestPoints = 8, // a factory test record without test points: no pass or fail
    // store upload: the instrument's records no longer continue its store file (nothing stored).
    ExitNotContinued = 9,
    // store upload: the new records were stored, but records before them were no longer on the
    // instrument (the message names them).
    ExitRecordsMissing = 10,
    // The instrument's menus or records passed a documented limit: nothing past it was read or stored.
    ExitLimit = 11,
};

struct TCliOptions {
    QString TcpHost;
    int TcpPort = 2222;
    QString SerialDevice;
    int Baud = 9600;
    int DataBits = 8;
    int StopBits = 1;
    int Parity = 0;
    int Cable = CableRs232;
    int Address = 0;
    // Which line settings were given on the command line (a fixed cable refuses other values).
    bool LineGiven = false;
    // --baud or --address given (find tries every rate and address itself).
    bool RateOrAddressGiven = false;
    double TimeoutSeconds = -1; // not given: 2.0 on serial, 7.0 on TCP
    bool Verbose = false;
    bool NoCache = false; // --no-cache: menus are read in full, no structure is remembered
    bool HasConnection() const { return !TcpHost.isEmpty() || !SerialDevice.isEmpty(); }
};

// The reporter of the command line: messages to stderr, the first error kept for the exit code.
class TCliReporter : public TReporter
{
public:
    void Error(const QString &text) override;
    void Info(const QString &text) override;
    bool Ask(const QString &text) override;
    bool AnswerYes = false;
    QStringList Errors;
};

class TCliContext
{
public:
    TCliOptions Options;
    TCliReporter Reporter;
    std::unique_ptr<TTransactionEngine> Engine;

    // Opens the link the options describe; false (with a message on stderr) when it cannot.
    bool Connect();
    // Connects unless connected; false with the exit code (usage without a connection option,
    // no reply when the link cannot be opened).
    bool EnsureConnected(int &exit);
    // Closes the link at the end of the command (not counted as a lost link).
    void Disconnect();
    // Exit code for a failed Transact: refused (1) or no reply (3).
    int FailureExit() const;
    // How long a reply is waited for: --timeout, else 2 s on serial and 7 s on TCP.
    int ReplyTimeoutMs() const;
    // Where the link goes ("127.0.0.1:2222", "/dev/ttyUSB0"), and whether it closed on its own.
    QString Where;
    bool LinkLost = false;

    // The change journal of the connected instrument, in the store folder (--store DIR, else the
    // record store's): opened by the commands that change the instrument, before they send.
    QString StoreDir;
    QStringList CommandLine; // the command's words, for the journal (passcodes left out there)
    std::unique_ptr<TChangeJournal> Journal;
    // Reads the instrument's identity and opens its journal; false with the exit code (no reply,
    // or the journal cannot be written: nothing is sent then).
    bool OpenJournal(int &exit);
};

struct TCliCommand {
    QString Name;                // first word on the command line ("read", "store")
    QString Synopsis;            // lines for --help
    bool NeedsConnection = true; // needs --tcp or --serial (checked before Run, which connects)
    // Runs with the words after the command name; checks them before it connects (a usage error
    // never touches the link); returns the exit code.
    std::function<int(TCliContext &, const QStringList &args)> Run;
};

// Commands register themselves from their own files with a static TCliRegistrar.
QList<TCliCommand> &CliCommands();
struct TCliRegistrar {
    explicit TCliRegistrar(TCliCommand command) { CliCommands().append(std::move(command)); }
};

// Reads a register number: 1 to 4 hexadecimal digits, with or without "0x" (no sign, no blanks
// inside); false when it is not one.
bool ParseRegister(const QString &text, int &reg);
// Text that goes into a message: printable Latin-1 only. Control characters (CR, LF, SOH, STX,
// EOT, ...) would break the framing; false with the reason.
bool CheckMessageText(const QString &text, const QString &what, QString &error);
class TSession;

// The passcode of a locked level for one command run: --passcode N, else the environment variable
// BRELLIN_PASSCODE, else typed on the terminal. It is given once: a second question means it was
// wrong.
struct TCliPasscode {
    std::optional<QByteArray> Given; // --passcode N
    bool Asked = false;              // the instrument asked for one
    bool Used = false;               // one was given
    // Answers the session's passcode questions (the session must not outlive this).
    void AnswerFor(TSession &session);
};

// Checked before connecting: a passcode given with --passcode (or, without one, in
// BRELLIN_PASSCODE) is digits only; the folder a FILE is to be written to exists and can be written.
// False with the reason.
bool CheckGivenPasscode(const std::optional<QByteArray> &given, QString &error);
bool CheckOutputFolder(const QString &file, QString &error);
// The passcode when not given with --passcode: the environment variable BRELLIN_PASSCODE.
std::optional<QByteArray> PasscodeFromEnvironment();
// Asks for a passcode on the terminal without echo when stdin is one; none otherwise (or on an
// empty answer).
std::optional<QByteArray> AskPasscodeOnTerminal(const QString &prompt);
// INT, TERM and HUP during long work (an upload, an extraction, a log recording, a settings send):
// the work ends the way Ctrl-C ends it, keeping what is confirmed, releasing locks and ending
// sessions, instead of the process dying half-way. Installed for the guard's lifetime (the handlers
// before it come back after it). OnStop, when set, is called from the event loop every 20 ms once
// a signal came (so it must be harmless to repeat).
class QTimer;
class TCliStopSignals
{
public:
    explicit TCliStopSignals(std::function<void()> onStop = {});
    ~TCliStopSignals();
    TCliStopSignals(const TCliStopSignals &) = delete;
    TCliStopSignals &operator=(const TCliStopSignals &) = delete;
    // A signal came since the outermost guard was made.
    static bool Stopped();
    // Its name ("SIGTERM"); empty before one came.
    static QByteArray SignalName();

private:
    std::function<void()> OnStop;
    std::unique_ptr<QTimer> Poll;
};

// Prints a usage error to stderr and returns ExitUsage.
int UsageError(const QString &text);
// Writes one line to stdout.
void PrintLine(const QByteArray &text);
