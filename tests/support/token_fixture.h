// Test fixture for the token library against emulated tokens on the umockdev test bed.
//
// Every test starts with the library initialised once and no token plugged in; it plugs what it
// needs, searches and refreshes through the library's own calls, and the tear-down closes open
// sessions, finishes the library as often as the test left it started and unplugs every token.
// Command tests work on one token (mId, mUt) with a session open.
#pragma once

#include "dev_zr40nn.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace zr40nn::test {

using Lines = std::vector<std::string>;

// The library's code for an error answer carrying `status`.
constexpr int deviceError(emu::Status status)
{
    return DEV_ZR40NN_ERR_DEV_BASE - static_cast<int>(status);
}

// A blank token with a serial number of its own, so records can be told apart.
inline emu::TokenConfig blankToken()
{
    static int serial = 0;
    emu::TokenConfig config;
    char text[32];
    std::snprintf(text, sizeof(text), "ZR40NN-T%04d", ++serial);
    config.serial = text;
    return config;
}

// A configured, usable token (state 2) with known PINs.
inline emu::TokenConfig configuredToken(const std::string& name, int curveId = 2560)
{
    emu::TokenConfig config = blankToken();
    config.state = emu::kInitialised | emu::kConfigured;
    config.name = name;
    config.curveId = curveId;
    config.soPin = "87654321";
    config.userPin = "1234";
    config.soPinLimit = 5;
    config.userPinLimit = 3;
    return config;
}

class TokenTest : public ::testing::Test
{
protected:
    // One test bed for the whole test program: libusb keeps its bus list across tests.
    static emu::EmulatedBus& bus()
    {
        static emu::EmulatedBus instance;
        return instance;
    }

    void SetUp() override
    {
        bus();
        libInit();
    }

    void TearDown() override
    {
        for (DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first(); ut != nullptr; ut = ut->next) {
            if (ut->session_is_open != 0) {
                DEV_ZR40NN_session_close(ut);
            }
        }
        while (mLibUsers > 0) {
            libFinish();
        }
        for (int id : mPlugged) {
            bus().unplug(id);
        }
        mPlugged.clear();
    }

    void libInit()
    {
        ASSERT_EQ(DEV_ZR40NN_lib_init(), 0);
        ++mLibUsers;
    }

    void libFinish()
    {
        EXPECT_EQ(DEV_ZR40NN_lib_finish(), 0);
        --mLibUsers;
    }

    int plug(const emu::TokenConfig& config) { return mPlugged.emplace_back(bus().plug(config)); }

    void unplug(int id)
    {
        bus().unplug(id);
        std::erase(mPlugged, id);
    }

    // The record of a plugged token, told by its USB serial number; null when not listed.
    DEV_ZR40NN_t* recordOf(int id)
    {
        const std::string serial = bus().token(id).snapshot().serial;
        DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first();
        while (ut != nullptr && serial != ut->serial_number) {
            ut = ut->next;
        }
        return ut;
    }

    // Plugs one token, searches and refreshes as every program does, and returns its record.
    DEV_ZR40NN_t* plugAndRefresh(const emu::TokenConfig& config, int* id = nullptr)
    {
        const int plugged = plug(config);
        if (id != nullptr) {
            *id = plugged;
        }
        EXPECT_EQ(DEV_ZR40NN_lib_find_devices(), static_cast<int>(mPlugged.size()));
        DEV_ZR40NN_t* ut = recordOf(plugged);
        EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0) << (ut != nullptr ? ut->err : "not listed");
        return ut;
    }

    // Plugs the token, searches and refreshes, opens a session and starts a clean command log.
    DEV_ZR40NN_t* openToken(const emu::TokenConfig& config)
    {
        mUt = plugAndRefresh(config, &mId);
        if (mUt != nullptr) {
            EXPECT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
            token().clearLog();
        }
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

    // Opens the session anew: clears the stack, gives a fresh transport and a clean log.
    void reopenSession()
    {
        EXPECT_EQ(DEV_ZR40NN_session_close(mUt), 0);
        EXPECT_EQ(DEV_ZR40NN_session_open(mUt), 0) << mUt->err;
        token().clearLog();
    }

    emu::TokenModel& token() { return bus().token(mId); }
    std::vector<emu::LogEntry> log() { return token().log(); }
    void setFaults(const emu::BridgeFaults& faults) { bus().setFaults(mId, faults); }

    // Command codes a token received, in order, since its log was last cleared.
    std::vector<std::uint8_t> commandCodes(int id)
    {
        std::vector<std::uint8_t> codes;
        for (const emu::LogEntry& entry : bus().token(id).log()) {
            codes.push_back(entry.code);
        }
        return codes;
    }

    // The frames the token took since its log was cleared, as "code length" and, for frames with a
    // PIN, " pin-id 'PIN'" behind.
    Lines wire()
    {
        Lines lines;
        for (const emu::LogEntry& e : log()) {
            char line[64];
            const int n = std::snprintf(line, sizeof(line), "%02X %d", e.code, e.requestLength);
            if (e.pinId >= 0) {
                std::snprintf(line + n, sizeof(line) - static_cast<std::size_t>(n), " %d '%s'", e.pinId, e.pin.c_str());
            }
            lines.emplace_back(line);
        }
        return lines;
    }

    // The error stack as "function:message" lines, oldest first; the source and line prefix of
    // each entry is checked and dropped.
    static Lines entries(const DEV_ZR40NN_t* ut)
    {
        Lines lines;
        std::istringstream in(ut->err);
        std::string line;
        while (std::getline(in, line)) {
            const std::size_t close = line.find("):");
            EXPECT_TRUE(line.starts_with("e_dev_zr40nn.cpp(") && close != std::string::npos) << line;
            lines.push_back(close == std::string::npos ? line : line.substr(close + 2));
        }
        return lines;
    }

    int mId = -1;
    DEV_ZR40NN_t* mUt = nullptr;
    std::vector<int> mPlugged;
    int mLibUsers = 0;
};

} // namespace zr40nn::test
