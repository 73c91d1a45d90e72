#include "child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace morvil::test {

namespace {

std::string readWhole(const std::filesystem::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

} // namespace

bool processesShow(const std::string& secret)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        if (entry.path().filename().string().find_first_not_of("0123456789") != std::string::npos) {
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

ChildResult runChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                     const std::string& input, const std::string& secret)
{
    ChildResult result;
    char outPath[] = "/tmp/morvil-child-out-XXXXXX";
    char errPath[] = "/tmp/morvil-child-err-XXXXXX";
    const int out = mkostemp(outPath, O_CLOEXEC);
    const int err = mkostemp(errPath, O_CLOEXEC);
    int in[2] = { -1, -1 };
    std::vector<char*> argv { const_cast<char*>(program.c_str()) };
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = out >= 0 && err >= 0 && pipe2(in, O_CLOEXEC) == 0 ? fork() : -1;
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec: the parent has threads.
        if (chdir(dir.c_str()) == 0 && dup2(in[0], 0) == 0 && dup2(out, 1) == 1 && dup2(err, 2) == 2) {
            execv(program.c_str(), argv.data());
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
    int status = 0;
    while (pid > 0) {
        result.secretSeen = processesShow(secret) || result.secretSeen;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            result.exitStatus = done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        usleep(2000);
    }
    result.out = readWhole(outPath);
    result.err = readWhole(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

} // namespace morvil::test
