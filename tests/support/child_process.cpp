#include "child_process.h"

#include "running_process.h"

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
    const pid_t pid = spawnChild(program, args, dir, input, out, err);
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
