#include "child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace morvil::test {

namespace {

std::string readWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

bool processesShow(const std::string& secret)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        for (const char* file : { "cmdline", "environ" }) {
            if (readWhole(entry.path() / file).find(secret) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

Child startChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir)
{
    Child child;
    char outTemplate[] = "/tmp/morvil-child-out-XXXXXX";
    char errTemplate[] = "/tmp/morvil-child-err-XXXXXX";
    child.outFd = mkostemp(outTemplate, O_CLOEXEC);
    child.errFd = mkostemp(errTemplate, O_CLOEXEC);
    child.outPath = outTemplate;
    child.errPath = errTemplate;
    int inPipe[2];
    if (child.outFd < 0 || child.errFd < 0 || pipe2(inPipe, O_CLOEXEC) != 0) {
        return child;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec: the parent has threads.
        if (chdir(dir.c_str()) != 0 || dup2(inPipe[0], 0) < 0 || dup2(child.outFd, 1) < 0 || dup2(child.errFd, 2) < 0) {
            _exit(126);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(inPipe[0]);
    child.pid = pid;
    child.input = inPipe[1];
    return child;
}

ChildResult finishChild(Child& child, const std::string& input, const std::string& secret)
{
    ChildResult result;
    if (child.input >= 0) {
        if (child.pid > 0 && !input.empty()) {
            [[maybe_unused]] const ssize_t written = write(child.input, input.data(), input.size());
        }
        close(child.input);
        child.input = -1;
    }
    int status = 0;
    while (child.pid > 0) {
        result.secretSeen = processesShow(secret) || result.secretSeen;
        ++result.scans;
        const pid_t done = waitpid(child.pid, &status, WNOHANG);
        if (done == child.pid || (done < 0 && errno != EINTR)) {
            break;
        }
        usleep(2000);
    }
    if (child.pid > 0 && WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    }
    for (int* fd : { &child.outFd, &child.errFd }) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    result.out = readWhole(child.outPath);
    result.err = readWhole(child.errPath);
    std::filesystem::remove(child.outPath);
    std::filesystem::remove(child.errPath);
    child.pid = -1;
    return result;
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                     const std::string& input, const std::string& secret)
{
    Child child = startChild(program, args, dir);
    return finishChild(child, input, secret);
}

} // namespace morvil::test
