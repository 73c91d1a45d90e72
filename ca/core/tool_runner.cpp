#include "tool_runner.h"

#include "child_start.h"
#include "input_guard.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace {

// The tool's standard input, filled whole before the tool starts and straight from the caller's
// buffer. QProcess would copy the input into its write buffer and free that later unwiped; the
// input is a PIN.
class InputPipe
{
public:
    InputPipe() = default;
    InputPipe(const InputPipe&) = delete;
    InputPipe& operator=(const InputPipe&) = delete;
    ~InputPipe()
    {
        closeEnd(mRead);
        closeEnd(mWrite);
    }

    // Puts all of input into a new pipe and closes its writing end. Input larger than a pipe
    // holds is refused rather than waited for.
    bool fill(QByteArrayView input)
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        mRead = ends[0];
        mWrite = ends[1];
        if (fcntl(mWrite, F_SETFL, O_NONBLOCK) != 0) {
            return false;
        }
        ssize_t written = 0;
        do {
            written = write(mWrite, input.data(), static_cast<std::size_t>(input.size()));
        } while (written < 0 && errno == EINTR);
        closeEnd(mWrite);
        return written == input.size();
    }

    // Makes the reading end the standard input of the process that starts next: run in the child
    // between fork and exec, where only such calls are safe.
    std::function<void()> asStandardInput() const
    {
        return [fd = mRead] { dup2(fd, STDIN_FILENO); };
    }

    // The child has its own; ours goes, so the pipe ends with the child.
    void closeReadingEnd() { closeEnd(mRead); }

private:
    static void closeEnd(int& fd)
    {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }

    int mRead = -1;
    int mWrite = -1;
};

} // namespace

ToolRun runTool(const QString& program, const QStringList& args, const QString& workDir, QByteArrayView input,
                std::chrono::milliseconds limit)
{
    ToolRun run;
    QProcess process;
    process.setWorkingDirectory(workDir);
    InputPipe pipe;
    if (!input.isEmpty()) {
        if (!pipe.fill(input)) {
            return run;
        }
        process.setChildProcessModifier(pipe.asStandardInput());
    }
    const bool started = morvil::startChild(process, program, args, limit);
    pipe.closeReadingEnd();
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
