// morvil_openssl: the OpenSSL command-line program that morvil_ca drives. It runs the system's
// openssl with the token engine's directory in OPENSSL_ENGINES, after translating what the
// stock program lacks (see command_line.h). Standard input, output and error and the exit status
// are openssl's own: the program replaces itself with it.
#include "command_line.h"
#include "engine_dir.h"
#include "write_all.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kOpenSsl = "/usr/bin/openssl";

// Hands openssl a changed configuration without touching the authority's file: an anonymous
// file that openssl inherits and opens by its /proc name. Empty when it cannot be made.
std::string inheritedConfigPath(const std::string& text)
{
    const int fd = memfd_create("morvil_openssl.conf", 0);
    if (fd < 0) {
        return {};
    }
    if (!morvil::tools::writeAll(fd, text)) {
        close(fd);
        return {};
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace morvil::openssl_tool;

    Translation translation = translate(std::vector<std::string>(argv + 1, argv + argc));
    if (!translation.error.empty()) {
        std::fprintf(stderr, "morvil_openssl: %s\n", translation.error.c_str());
        return 1;
    }
    if (translation.config) {
        const std::string path = inheritedConfigPath(*translation.config);
        if (path.empty()) {
            std::perror("morvil_openssl: configuration");
            return 1;
        }
        translation.args[translation.configArg] = path;
    }
    const std::string engines = engineDirectory();
    if (setenv("OPENSSL_ENGINES", engines.c_str(), 1) != 0) {
        std::perror("morvil_openssl: OPENSSL_ENGINES");
        return 1;
    }

    std::vector<char*> openSslArgv;
    openSslArgv.push_back(const_cast<char*>("openssl"));
    for (const std::string& arg : translation.args) {
        openSslArgv.push_back(const_cast<char*>(arg.c_str()));
    }
    openSslArgv.push_back(nullptr);
    execv(kOpenSsl, openSslArgv.data());
    std::fprintf(stderr, "morvil_openssl: cannot run %s: %s\n", kOpenSsl, std::strerror(errno));
    return 127;
}
