// Test fixture for the token library against emulated tokens on the umockdev test bed.
//
// Every test starts with the library initialised once and no token plugged in; it plugs what it
// needs, searches and refreshes through the library's own calls, and the tear-down closes open
// sessions, finishes the library as often as the test left it started and unplugs every token.
#pragma once

#include "dev_zr40nn.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zr40nn::test {

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

    // Library users started by this test; the tear-down finishes them all.
    void libInit()
    {
        ASSERT_EQ(DEV_ZR40NN_lib_init(), 0);
        ++mLibUsers;
    }

    void libFinish()
    {
        ASSERT_GT(mLibUsers, 0);
        EXPECT_EQ(DEV_ZR40NN_lib_finish(), 0);
        --mLibUsers;
    }

    int plug(const emu::TokenConfig& config)
    {
        const int id = bus().plug(config);
        mPlugged.push_back(id);
        return id;
    }

    void unplug(int id)
    {
        bus().unplug(id);
        std::erase(mPlugged, id);
    }

    // Search and refresh as every program does; both must succeed.
    void findAndRefresh(int expectedCount)
    {
        ASSERT_EQ(DEV_ZR40NN_lib_find_devices(), expectedCount);
        ASSERT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0) << errorsOfAll();
    }

    // The record of a plugged token, told by its USB serial number; null when not listed.
    DEV_ZR40NN_t* recordOf(int id)
    {
        const std::string serial = bus().token(id).snapshot().serial;
        for (DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first(); ut != nullptr; ut = ut->next) {
            if (serial == ut->serial_number) {
                return ut;
            }
        }
        return nullptr;
    }

    // Plugs one token, finds and refreshes it, and returns its record.
    DEV_ZR40NN_t* plugAndRefresh(const emu::TokenConfig& config, int* id = nullptr)
    {
        const int plugged = plug(config);
        if (id != nullptr) {
            *id = plugged;
        }
        const int count = static_cast<int>(mPlugged.size());
        EXPECT_EQ(DEV_ZR40NN_lib_find_devices(), count);
        EXPECT_EQ(DEV_ZR40NN_lib_actualize_devices(), 0) << errorsOfAll();
        DEV_ZR40NN_t* ut = recordOf(plugged);
        EXPECT_NE(ut, nullptr);
        return ut;
    }

    // Command codes the token received, in order, since its log was last cleared.
    std::vector<std::uint8_t> commandCodes(int id)
    {
        std::vector<std::uint8_t> codes;
        for (const emu::LogEntry& entry : bus().token(id).log()) {
            codes.push_back(entry.code);
        }
        return codes;
    }

    // The device's error stack as "function:message" lines, oldest first (source and line dropped).
    static std::vector<std::string> stackEntries(const DEV_ZR40NN_t* ut)
    {
        std::vector<std::string> entries;
        const std::string stack = ut->err;
        std::size_t start = 0;
        while (start < stack.size()) {
            std::size_t end = stack.find('\n', start);
            if (end == std::string::npos) {
                end = stack.size();
            }
            const std::string line = stack.substr(start, end - start);
            const std::size_t afterLine = line.find("):");
            entries.push_back(afterLine == std::string::npos ? line : line.substr(afterLine + 2));
            start = end + 1;
        }
        return entries;
    }

    // Every listed device's error stack, for failure messages.
    static std::string errorsOfAll()
    {
        std::string text;
        for (DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first(); ut != nullptr; ut = ut->next) {
            text += std::string("[") + ut->serial_number + "]\n" + ut->err;
        }
        return text;
    }

    std::vector<int> mPlugged;
    int mLibUsers = 0;
};

} // namespace zr40nn::test
