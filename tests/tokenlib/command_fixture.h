// Fixture for the token command tests: one emulated token, refreshed, with a session open and its
// command log cleared, plus readers for the error stack and the log.
#pragma once

#include "fixture.h"

#include <sstream>
#include <string>
#include <vector>

namespace zr40nn::test {

class CommandTest : public TokenTest
{
protected:
    // Plugs the token, searches and refreshes, opens a session and starts a clean command log.
    DEV_ZR40NN_t* openToken(const emu::TokenConfig& config)
    {
        mUt = plugAndRefresh(config, &mId);
        if (mUt == nullptr) {
            return nullptr;
        }
        EXPECT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
        token().clearLog();
        return mUt;
    }

    // Plugs the token and opens a session without the refresh: the record knows nothing yet.
    DEV_ZR40NN_t* openUnrefreshed(const emu::TokenConfig& config)
    {
        mId = plug(config);
        EXPECT_EQ(DEV_ZR40NN_lib_find_devices(), static_cast<int>(mPlugged.size()));
        mUt = recordOf(mId);
        if (mUt != nullptr) {
            EXPECT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
        }
        return mUt;
    }

    emu::TokenModel& token() { return bus().token(mId); }
    std::vector<emu::LogEntry> log() { return token().log(); }

    // The error stack as "function:message" lines, oldest first; the file and line prefix of each
    // entry is checked and dropped.
    static std::vector<std::string> entries(const DEV_ZR40NN_t* ut)
    {
        std::vector<std::string> lines;
        std::istringstream in(ut->err);
        std::string line;
        while (std::getline(in, line)) {
            const std::string prefix = "e_dev_zr40nn.cpp(";
            const std::size_t close = line.find("):");
            EXPECT_TRUE(line.starts_with(prefix) && close != std::string::npos) << line;
            lines.push_back(close == std::string::npos ? line : line.substr(close + 2));
        }
        return lines;
    }

    // Opens a session anew: clears the stack and gives a fresh transport.
    void reopenSession()
    {
        EXPECT_EQ(DEV_ZR40NN_session_close(mUt), 0);
        EXPECT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
        token().clearLog();
    }

    int mId = -1;
    DEV_ZR40NN_t* mUt = nullptr;
};

using Lines = std::vector<std::string>;

} // namespace zr40nn::test
