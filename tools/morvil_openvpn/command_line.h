// The command line that morvil_vpn gives morvil_openvpn, split into what this program handles
// itself (the configuration file, the token engine and its settings) and what openvpn receives.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace morvil::openvpn_tool {

// "--engine id:name:value:name:value...": the engine and the control commands it receives before
// the key is loaded.
struct EngineSetting
{
    std::string id;
    std::vector<std::pair<std::string, std::string>> controls;
};

struct Invocation
{
    std::string configPath;
    bool engineKey = false; // "--engkey": the key comes from the engine
    EngineSetting engine;
    std::vector<std::string> openVpnArgs; // everything else, in order, for openvpn
    std::string error; // set when the command line cannot be used
};

Invocation parseArguments(const std::vector<std::string>& args);

// The engine argument's parts; error is set and the result empty when it cannot be used. The PIN
// is refused here: it travels on standard input only.
EngineSetting parseEngineArgument(const std::string& argument, std::string& error);

// Replaces the value of every "--dev" among openvpn's arguments.
void replaceDevice(std::vector<std::string>& openVpnArgs, const std::string& device);

// Options that the program handles itself and the control command it keeps off the command line.
inline constexpr const char* kEngineId = "dev_zr40nn";
inline constexpr const char* kPinControl = "user_pin";

} // namespace morvil::openvpn_tool
