#include "tool_runner.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

ToolRun runTool(const QString& program, const QStringList& args, const QString& workDir, QByteArrayView input,
                std::chrono::milliseconds limit)
{
    ToolRun run;
    QProcess process;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            loop.quit();
        }
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        run.timedOut = true;
        loop.quit();
    });
    process.setWorkingDirectory(workDir);
    process.start(program, args, QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        return run;
    }
    run.started = true;
    if (!input.isEmpty()) {
        process.write(input.data(), input.size());
    }
    process.closeWriteChannel();
    timer.start(limit);
    if (process.state() != QProcess::NotRunning) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
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
