#include "tool_runner.h"

#include "child_input.h"
#include "child_start.h"
#include "input_guard.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

ToolRun runTool(const QString& program, const QStringList& args, const QString& workDir, QByteArrayView input,
                std::chrono::milliseconds limit)
{
    ToolRun run;
    QProcess process;
    process.setWorkingDirectory(workDir);
    morvil::ChildInput stdinPipe;
    if (!input.isEmpty()) {
        if (!stdinPipe.fill(input)) {
            return run;
        }
        stdinPipe.handTo(process);
    }
    const bool started = morvil::startChild(process, program, args, limit);
    stdinPipe.close();
    if (!started) {
        // The process object kills a child still starting when it goes.
        return run;
    }
    run.started = true;
    // Without input the tool finds its standard input closed.
    process.closeWriteChannel();

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        run.timedOut = true;
        loop.quit();
    });
    timer.start(limit);
    if (process.state() != QProcess::NotRunning) {
        morvil::InputGuard guard;
        loop.exec();
    }
    if (process.state() != QProcess::NotRunning) {
        // Out of time: the tool is ended and the run counts as failed.
        process.kill();
        process.waitForFinished(-1);
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
