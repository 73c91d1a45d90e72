// No C++ exception crosses the C interface: where the library allocates, a failed allocation comes
// back as an error code with an entry. The token is the emulator's model, answered in-process.
#include "in_process_token.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

// Allocations of at least this many octets fail while set.
std::size_t gFailFrom = 0;

} // namespace

void* operator new(std::size_t size)
{
    if (gFailFrom != 0 && size >= gFailFrom) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}

// Kept out of line: inlined into a caller, the free of memory from operator new reads as a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    std::free(p);
}

[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace zr40nn::test {
namespace {

std::vector<std::string> entryLines(const DEV_ZR40NN_t* ut)
{
    std::vector<std::string> lines;
    const std::string stack = ut->err;
    for (std::size_t start = 0, end; (end = stack.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = stack.substr(start, end - start);
        lines.push_back(line.substr(line.find("):") + 2));
    }
    return lines;
}

TEST(Boundaries, FailedAllocationsBecomeCodesWithEntries)
{
    emu::TokenConfig config;
    config.state = emu::kInitialised | emu::kConfigured;
    emu::TokenModel model(config);
    InProcessToken token(model);
    DEV_ZR40NN_t* ut = token.record();
    ASSERT_EQ(DEV_ZR40NN_session_open(ut), 0);

    // The dump is built in one piece of about 55 KB; nothing else here asks for as much.
    std::vector<char> out(DEV_ZR40NN_FS_SCAN_SIZE, 'x');
    gFailFrom = 50000;
    const int scanned = DEV_ZR40NN_fs_scan(ut, out.data());
    gFailFrom = 0;
    EXPECT_EQ(scanned, DEV_ZR40NN_ERR_UNDEFINED);
    EXPECT_EQ(entryLines(ut), std::vector<std::string> { "DEV_ZR40NN_fs_scan:could not allocate memory" });
    EXPECT_EQ(out[0], 'x') << "nothing is written";
    ASSERT_EQ(DEV_ZR40NN_fs_scan(ut, out.data()), 0);
    EXPECT_EQ(std::string(out.data()).rfind("[0] FILE INFO\n", 0), 0u);

    // A handle that cannot be made is a null handle with its entry.
    ut->err[0] = '\0';
    gFailFrom = 1;
    DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(ut, "a", 0x40);
    gFailFrom = 0;
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(entryLines(ut), std::vector<std::string> { "DEV_ZR40NN_file_create:could not allocate memory" });
    EXPECT_EQ(DEV_ZR40NN_session_close(ut), 0);
}

} // namespace
} // namespace zr40nn::test
