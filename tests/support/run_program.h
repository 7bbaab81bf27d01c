// Runs one of the built programs (brellin-cli, vornsim) as a process while this process's event
// loop keeps serving whatever the test runs in-process (simulators, peers).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct TProgramRun {
    int Exit = -1; // -2 when the program crashed, -1 when it did not start
    QByteArray Out, Err;
};

// `env`: "NAME=VALUE" entries added to the program's environment.
TProgramRun RunProgram(const QString &program, const QStringList &args, const QString &workDir = QString(),
                       int limitMs = 60000, const QStringList &env = {});
inline TProgramRun RunCli(const QStringList &args, const QString &workDir = QString())
{
    return RunProgram(QStringLiteral("brellin-cli"), args, workDir);
}
// brellin-cli with the I/O error library loaded (LD_PRELOAD) and its settings in `env`.
inline TProgramRun RunCliWithIoErrors(const QStringList &args, const QString &workDir, const QStringList &env)
{
    return RunProgram(QStringLiteral("brellin-cli"), args, workDir, 60000,
                      env + QStringList{QStringLiteral("LD_PRELOAD=" BRELLIN_IO_ERROR_SHIM)});
}
