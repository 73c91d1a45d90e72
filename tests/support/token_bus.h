// Emulated tokens for Qt tests: one umockdev USB bus per process, created before the library's
// first usb_init(), on which a test plugs and unplugs tokens and reads their command logs.
#pragma once

#include "token_configs.h"
#include "usb_testbed.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace morvil::test {

namespace emu = zr40nn::emu;

// The process's bus; made on first use.
emu::EmulatedBus& tokenBus();

using zr40nn::test::blankToken;
using zr40nn::test::configuredToken;
using zr40nn::test::kSoPin;
using zr40nn::test::kSoPinLimit;
using zr40nn::test::kUserPin;
using zr40nn::test::kUserPinLimit;

// Tokens a test plugged, unplugged again when the test ends.
class PluggedTokens
{
public:
    PluggedTokens() = default;
    ~PluggedTokens() { unplugAll(); }
    PluggedTokens(const PluggedTokens&) = delete;
    PluggedTokens& operator=(const PluggedTokens&) = delete;

    int plug(const emu::TokenConfig& config);
    void unplug(int id);
    void unplugAll();

    emu::TokenModel& token(int id) { return tokenBus().token(id); }
    // Command codes the token received since its log was last cleared, as "02 2F 02".
    QString commands(int id);
    void clearLog(int id) { token(id).clearLog(); }

private:
    std::vector<int> mIds;
};

} // namespace morvil::test
