#include "command_line.h"

namespace morvil::openvpn_tool {

EngineSetting parseEngineArgument(const std::string& argument, std::string& error)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = argument.find(':', start);
        parts.push_back(argument.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    EngineSetting setting;
    if (parts[0] != kEngineId) {
        error = "unknown engine \"" + parts[0] + "\": only " + kEngineId + " is built in";
        return {};
    }
    if (parts.size() % 2 == 0) {
        error = "the engine argument needs a value for each control command";
        return {};
    }
    setting.id = parts[0];
    for (std::size_t i = 1; i + 1 < parts.size(); i += 2) {
        if (parts[i] == kPinControl) {
            error = "the PIN is not taken from the command line: give it on standard input";
            return {};
        }
        setting.controls.emplace_back(parts[i], parts[i + 1]);
    }
    return setting;
}

Invocation parseArguments(const std::vector<std::string>& args)
{
    Invocation result;
    for (std::size_t i = 0; i < args.size() && result.error.empty(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--config" || arg == "--engine") {
            if (!hasValue) {
                result.error = arg + " needs a value";
                break;
            }
            if (arg == "--config") {
                result.configPath = args[++i];
            } else {
                result.engine = parseEngineArgument(args[++i], result.error);
            }
        } else if (arg == "--engkey") {
            result.engineKey = true;
        } else {
            result.openVpnArgs.push_back(arg);
        }
    }
    if (result.error.empty() && result.configPath.empty()) {
        result.error = "--config is required";
    }
    if (result.error.empty() && result.engineKey && result.engine.id.empty()) {
        result.error = "--engkey needs --engine";
    }
    return result;
}

void replaceDevice(std::vector<std::string>& openVpnArgs, const std::string& device)
{
    for (std::size_t i = 0; i + 1 < openVpnArgs.size(); ++i) {
        if (openVpnArgs[i] == "--dev") {
            openVpnArgs[++i] = device;
        }
    }
}

} // namespace morvil::openvpn_tool
