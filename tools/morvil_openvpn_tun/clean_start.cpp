#include "clean_start.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvil::openvpn_tun {

namespace {

constexpr rlim_t kNone = RLIM_INFINITY;
constexpr rlim_t kMiB = 1 << 20;

struct Limit
{
    int resource;
    const char* name;
    rlim_t soft;
    rlim_t hard;
    // Where we may not raise a hard limit that the caller lowered (no CAP_SYS_RESOURCE, as in many
    // containers): the least that openvpn can work with.
    rlim_t least;
};

const Limit kLimits[] = {
    { RLIMIT_CORE, "core file size", 0, 0, 0 },
    { RLIMIT_FSIZE, "file size", kNone, kNone, 64 * kMiB },
    { RLIMIT_CPU, "processor time", kNone, kNone, kNone },
    { RLIMIT_DATA, "data size", kNone, kNone, 256 * kMiB },
    { RLIMIT_AS, "address space", kNone, kNone, 256 * kMiB },
    { RLIMIT_STACK, "stack size", 8 * kMiB, kNone, kMiB },
    { RLIMIT_NOFILE, "open files", 1024, 4096, 64 },
};

bool setLimit(const Limit& limit, std::string& error)
{
    const rlimit wanted { limit.soft, limit.hard };
    rlimit caller {};
    if (setrlimit(limit.resource, &wanted) == 0) {
        return true;
    }
    if (getrlimit(limit.resource, &caller) != 0 || caller.rlim_max < limit.least) {
        error = std::string("the limit of ") + limit.name + " that the caller set is too low for openvpn";
        return false;
    }
    const rlimit highest { std::min(limit.soft, caller.rlim_max), caller.rlim_max };
    if (setrlimit(limit.resource, &highest) != 0) {
        error = std::string("cannot set the limit of ") + limit.name + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

bool cleanStart(std::string& error)
{
    close_range(3, ~0U, 0);
    return std::all_of(std::begin(kLimits), std::end(kLimits),
                       [&error](const Limit& limit) { return setLimit(limit, error); });
}

} // namespace morvil::openvpn_tun
