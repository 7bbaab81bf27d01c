// brellin-cli's shared pieces: the connection options, the connected engine, exit codes, and the
// table of commands (each command file registers its own commands).
#pragma once

#include "link/reporter.h"
#include "link/transact.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

enum TCliExit : int {
    ExitDone = 0,
    ExitRefused = 1,
    ExitUsage = 2,
    ExitNoReply = 3,
    ExitTamper = 4,
    ExitFile = 5,
    ExitDiffer = 6,
    ExitNothingSelected = 7,
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
    double TimeoutSeconds = -1; // not given: 2.0 on serial, 7.0 on TCP
    bool Verbose = false;
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
    // Exit code for a failed Transact: refused (1) or no reply (3).
    int FailureExit() const;
};

struct TCliCommand {
    QString Name;     // first word on the command line ("read", "store")
    QString Synopsis; // lines for --help
    bool NeedsConnection = true;
    // Runs with the words after the command name; returns the exit code.
    std::function<int(TCliContext &, const QStringList &args)> Run;
};

// Commands register themselves from their own files with a static TCliRegistrar.
QList<TCliCommand> &CliCommands();
struct TCliRegistrar {
    explicit TCliRegistrar(TCliCommand command) { CliCommands().append(std::move(command)); }
};

// Reads a register number: hexadecimal, with or without "0x"; false when it is not one.
bool ParseRegister(const QString &text, int &reg);
// Prints a usage error to stderr and returns ExitUsage.
int UsageError(const QString &text);
// Writes one line to stdout.
void PrintLine(const QByteArray &text);
