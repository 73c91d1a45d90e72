#include "running_process.h"

#include <algorithm>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace morvil::test {

namespace {

std::string readWhole(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string tempFile(int& fd)
{
    char path[] = "/tmp/morvil-vpn-out-XXXXXX";
    fd = mkostemp(path, O_CLOEXEC);
    return path;
}

} // namespace

pid_t spawnChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                 const std::string& input, int out, int err, const std::vector<std::string>& environment)
{
    std::vector<char*> argv { const_cast<char*>(program.c_str()) };
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    // The entries given replace inherited ones of the same name.
    std::vector<char*> envp;
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    const auto given = [&environment](const char* inherited) {
        return std::any_of(environment.begin(), environment.end(), [inherited](const std::string& entry) {
            const std::size_t name = entry.find('=') + 1;
            return std::strncmp(entry.c_str(), inherited, name) == 0;
        });
    };
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!given(*entry)) {
            envp.push_back(*entry);
        }
    }
    envp.push_back(nullptr);
    int in[2] = { -1, -1 };
    const pid_t parent = getpid();
    const pid_t pid = out >= 0 && err >= 0 && pipe2(in, O_CLOEXEC) == 0 ? fork() : -1;
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec: the parent has threads.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == parent && chdir(dir.c_str()) == 0 && dup2(in[0], 0) == 0 && dup2(out, 1) == 1
            && dup2(err, 2) == 2) {
            execve(program.c_str(), argv.data(), envp.data());
        }
        _exit(127);
    }
    for (int fd : { in[0], out, err }) {
        if (fd >= 0) {
            close(fd);
        }
    }
    if (in[1] >= 0) {
        [[maybe_unused]] const ssize_t written = write(in[1], input.data(), input.size());
        close(in[1]);
    }
    return pid;
}

RunningProcess::RunningProcess(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                               const std::string& input, const std::vector<std::string>& environment)
{
    int out = -1;
    int err = -1;
    mOutPath = tempFile(out);
    mErrPath = tempFile(err);
    mPid = spawnChild(program, args, dir, input, out, err, environment);
}

RunningProcess::~RunningProcess()
{
    if (running()) {
        kill(mPid, SIGKILL);
        waitForExit(10);
    }
    std::filesystem::remove(mOutPath);
    std::filesystem::remove(mErrPath);
}

std::string RunningProcess::out() const
{
    return readWhole(mOutPath);
}
std::string RunningProcess::err() const
{
    return readWhole(mErrPath);
}

bool RunningProcess::running()
{
    if (mPid <= 0 || mExitStatus >= 0) {
        return false;
    }
    int status = 0;
    const pid_t done = waitpid(mPid, &status, WNOHANG);
    if (done == mPid) {
        mExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return done == 0 || (done < 0 && errno == EINTR);
}

bool RunningProcess::waitForOutput(const std::string& text, double seconds, Channel channel)
{
    auto shown = [&] {
        return (channel != Channel::Error && out().find(text) != std::string::npos)
            || (channel != Channel::Output && err().find(text) != std::string::npos);
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (shown()) {
            return true;
        }
        if (!running() || std::chrono::steady_clock::now() > until) {
            // The last words of a process that just ended count too.
            return shown();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool RunningProcess::waitForExit(double seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (running()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void RunningProcess::signal(int sig) const
{
    if (mPid > 0) {
        kill(mPid, sig);
    }
}

std::vector<pid_t> childrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        // "pid (comm) state ppid ...": comm may hold blanks, so read after the last ')'.
        const std::string stat = readWhole(entry.path() / "stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        if (parent == pid) {
            children.push_back(static_cast<pid_t>(std::stol(name)));
        }
    }
    return children;
}

std::vector<std::string> commandLineOf(pid_t pid)
{
    const std::string text = readWhole("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        args.push_back(text.substr(start, end - start));
    }
    return args;
}

bool alive(pid_t pid)
{
    const std::string stat = readWhole("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

} // namespace morvil::test
