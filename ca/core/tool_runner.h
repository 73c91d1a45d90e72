// Runs the external OpenSSL tool once as a child process and waits for it in a local event loop
// that serves timers and repaints and drops the user's input (morvil::InputGuard).
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <chrono>

struct ToolRun
{
    bool started = false;
    bool timedOut = false; // ended by us after the time limit
    int exitCode = -1; // valid when the tool exited normally
    bool crashed = false;
    QString out; // whole standard output (UTF-8)
    QString err; // whole standard error (UTF-8)

    // The tool ran to its end and reported success.
    bool succeeded() const { return started && !timedOut && !crashed && exitCode == 0; }
};

// A generous limit: signing on the token takes seconds, and a run never legitimately waits on the
// user.
inline constexpr std::chrono::milliseconds kToolTimeLimit = std::chrono::minutes(3);

// Starts program with args (no shell) in workDir. input, when not empty, is all the tool finds on
// its standard input (a few octets, such as a PIN line: at most what a pipe holds), handed over
// without a copy of ours; the input ends there either way, so a tool that asks for more never
// waits. A run whose input cannot be handed over does not start.
ToolRun runTool(const QString& program, const QStringList& args, const QString& workDir, QByteArrayView input,
                std::chrono::milliseconds limit = kToolTimeLimit);
