// A program running beside a test: its standard input fed once and closed, its output collected
// in files the test reads while it runs, and its end waited for with a time limit.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace morvil::test {

// Forks and runs program (argv[0] is program) in dir with "NAME=value" entries added to the
// environment, its standard output and error on out and err (which it closes here), writes input
// to its standard input and closes it. The child gets SIGKILL when the calling process dies.
// Gives the child's id, or -1 when it cannot be started.
pid_t spawnChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                 const std::string& input, int out, int err, const std::vector<std::string>& environment = {});

class RunningProcess
{
public:
    // Starts program with args (argv[0] is program) in dir, with extra "NAME=value" entries added
    // to the environment, writes input to its standard input and closes it. The process gets
    // SIGKILL when the test process dies.
    RunningProcess(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                   const std::string& input, const std::vector<std::string>& environment = {});
    // Kills the process if it still runs, and removes the output files.
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    pid_t pid() const { return mPid; }
    std::string out() const;
    std::string err() const;

    enum class Channel
    {
        Either,
        Output,
        Error
    };
    // Waits until text shows on standard output or error (or the one channel asked for); false when
    // the process ended first or the time ran out.
    bool waitForOutput(const std::string& text, double seconds, Channel channel = Channel::Either);
    // Waits for the end; false when it is still running after that long.
    bool waitForExit(double seconds);
    bool running();
    // The exit code, 128 + the signal for a killed process, -1 while it runs.
    int exitStatus() const { return mExitStatus; }
    void signal(int sig) const;

private:
    pid_t mPid = -1;
    int mExitStatus = -1;
    std::string mOutPath;
    std::string mErrPath;
};

// The processes whose parent is pid, from /proc.
std::vector<pid_t> childrenOf(pid_t pid);
// The command line of a process as its arguments; empty when it is gone.
std::vector<std::string> commandLineOf(pid_t pid);
// Whether a process exists and is not a zombie.
bool alive(pid_t pid);

} // namespace morvil::test
