// What the token file tests share: one listed token with a session open, and the file helpers
// that read what a listing and an open would give back.
#pragma once

#include "command_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace zr40nn::test {

using Data = std::vector<unsigned char>;
using Sectors = std::vector<int>;

inline constexpr unsigned char kUser = 1;
inline constexpr int kText = 0x40;

inline Sectors sectorsOf(const DEV_ZR40NN_file_t* file)
{
    return Sectors(file->sectors, std::find(file->sectors, file->sectors + 32, 0));
}

class FileFixture : public CommandTest
{
protected:
    // Plugs and lists a token and opens a session. The command log is never cleared here: its
    // length is the number of frames the token has taken, which the unplug fault counts too.
    void start(emu::TokenConfig config = configuredToken("FILES"))
    {
        mUt = plugAndRefresh(config, &mId);
        ASSERT_NE(mUt, nullptr);
        ASSERT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
    }

    int freeSectors() const { return 128 - int(std::count(mUt->free_sectors, mUt->free_sectors + 128, 0)); }
    std::string lastEntry() const { return entries(mUt).empty() ? std::string() : entries(mUt).back(); }

    // Opens the file and reads it to the end in 100-octet pieces.
    Data readBack(const char* name)
    {
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_open(mUt, name);
        EXPECT_NE(file, nullptr) << mUt->err;
        Data data;
        unsigned char chunk[100];
        int n = 0;
        while (file != nullptr && (n = DEV_ZR40NN_file_read(file, chunk, sizeof(chunk))) > 0) {
            data.insert(data.end(), chunk, chunk + n);
        }
        EXPECT_EQ(n, 0);
        EXPECT_EQ(DEV_ZR40NN_file_close(file), 0);
        return data;
    }
};

} // namespace zr40nn::test
