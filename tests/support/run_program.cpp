// Runs a built program as a process.
#include "run_program.h"

#include "fake_link.h"

#include <QProcess>

TProgramRun RunProgram(const QString &program, const QStringList &args, const QString &workDir, int limitMs)
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(QStringLiteral(BRELLIN_BIN_DIR "/") + program, args);
    TProgramRun r;
    if (!p.waitForStarted(5000))
        return r;
    if (!PumpUntil([&] { return p.state() == QProcess::NotRunning; }, limitMs)) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.Out = p.readAllStandardOutput();
    r.Err = p.readAllStandardError();
    return r;
}
