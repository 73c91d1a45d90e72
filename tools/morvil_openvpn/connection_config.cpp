#include "connection_config.h"

#include <array>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace morvil::openvpn_tool {

namespace {

// Directives that make openvpn run a program or load code, read further configuration, or write
// files where the caller names: with our privileges, each would act for the caller as us.
constexpr std::array<std::string_view, 22> kPrivilegedRefusals = {
    "up",
    "down",
    "route-up",
    "route-pre-down",
    "ipchange",
    "tls-verify",
    "client-connect",
    "client-disconnect",
    "learn-address",
    "auth-user-pass-verify",
    "tls-crypt-v2-verify",
    "plugin",
    "iproute",
    "config",
    "log",
    "log-append",
    "writepid",
    "status",
    "management",
    "cd",
    "chroot",
    "tmp-dir",
};

constexpr std::string_view kSpace = " \t\r\v\f";

// The first word of a directive line and the rest after it; both empty for comments and blank
// lines. A leading "--" is allowed in files too.
struct Directive
{
    std::string name;
    std::string rest;
};

Directive directiveOf(const std::string& line)
{
    const std::size_t first = line.find_first_not_of(kSpace);
    if (first == std::string::npos || line[first] == '#' || line[first] == ';') {
        return {};
    }
    std::size_t end = line.find_first_of(kSpace, first);
    std::string name = line.substr(first, end == std::string::npos ? std::string::npos : end - first);
    if (name.starts_with("--")) {
        name.erase(0, 2);
    }
    std::string rest;
    const std::size_t valueStart = end == std::string::npos ? end : line.find_first_not_of(kSpace, end);
    if (valueStart != std::string::npos) {
        rest = line.substr(valueStart);
        rest.erase(rest.find_last_not_of(kSpace) + 1);
    }
    return { name, rest };
}

std::string firstWord(const std::string& text)
{
    return text.substr(0, text.find_first_of(kSpace));
}

} // namespace

std::string privilegedRefusal(const std::string& option, const std::string& value)
{
    for (std::string_view refused : kPrivilegedRefusals) {
        if (option == refused) {
            return "\"" + option + "\" is not accepted while morvil_openvpn runs with more privileges than its caller";
        }
    }
    if (option == "script-security" && std::atoi(value.c_str()) > 1) {
        return "\"script-security " + value
            + "\" is not accepted while morvil_openvpn runs with more privileges than its caller";
    }
    return {};
}

std::string refusedArgument(const std::vector<std::string>& openVpnArgs)
{
    for (std::size_t i = 0; i < openVpnArgs.size(); ++i) {
        if (!openVpnArgs[i].starts_with("--")) {
            continue;
        }
        const std::string value = i + 1 < openVpnArgs.size() ? openVpnArgs[i + 1] : std::string();
        std::string reason = privilegedRefusal(openVpnArgs[i].substr(2), value);
        if (!reason.empty()) {
            return reason;
        }
    }
    return {};
}

ConnectionConfig prepareConfig(const std::string& text, bool privileged)
{
    ConnectionConfig result;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const Directive directive = directiveOf(line);
        // The key line names the token key, which openvpn cannot read: it signs through us.
        if (directive.name == "key") {
            result.keyReference = directive.rest;
            continue;
        }
        if (privileged) {
            const std::string reason = privilegedRefusal(directive.name, firstWord(directive.rest));
            if (!reason.empty()) {
                result.error = "line " + std::to_string(number) + ": " + reason;
                return result;
            }
        }
        result.text += line + '\n';
    }
    return result;
}

} // namespace morvil::openvpn_tool
