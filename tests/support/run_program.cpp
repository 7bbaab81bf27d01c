// Runs a built program as a process.
#include "run_program.h"

#include "fake_link.h"

#include <QProcess>

TProgramRun RunProgram(const QString &program, const QStringList &args, const QString &workDir, int limitMs,
                       const QStringList &env)
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString &entry : env)
            e.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        // A sanitizer build accepts a preloaded library ahead of its runtime.
        e.insert(QStringLiteral("ASAN_OPTIONS"),
                 e.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        p.setProcessEnvironment(e);
    }
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
