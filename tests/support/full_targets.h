// Targets that do not take what a program writes: a device that is always full, and a limit on
// the size of every file the process (and its children) write.
#pragma once

#include <QString>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <csignal>

namespace morvil::test {

// A node of the character device major:minor in dir, named name; empty when the test may not
// make one. A program that replaces its target by renaming a file over it would replace a device
// of /dev if it could: tests give it nodes of their own.
inline QString deviceNode(const QString& dir, const QString& name, unsigned minor)
{
    const QString node = dir + QLatin1Char('/') + name;
    return mknod(node.toLocal8Bit().constData(), S_IFCHR | 0600, makedev(1, minor)) == 0 ? node : QString();
}

// A device that takes no octet (writes fail with ENOSPC): a node of /dev/full's kind in dir, or
// /dev/full itself when the test may not make one (nor then replace /dev/full).
inline QString fullDevice(const QString& dir)
{
    const QString node = deviceNode(dir, QStringLiteral("full"), 7);
    return node.isEmpty() ? QStringLiteral("/dev/full") : node;
}

// While it lives, no file of the process grows beyond `octets`: a write past that fails with
// EFBIG (SIGXFSZ is ignored), as on a full disk. Children inherit the limit and may lift it.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t octets)
    {
        getrlimit(RLIMIT_FSIZE, &mOld);
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = mOld;
        limit.rlim_cur = octets;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mOldHandler);
    }

private:
    rlimit mOld {};
    void (*mOldHandler)(int) = SIG_DFL;
};

} // namespace morvil::test
