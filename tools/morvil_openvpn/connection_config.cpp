#include "connection_config.h"

#include <sstream>
#include <string_view>

namespace morvil::openvpn_tool {

namespace {

constexpr std::string_view kSpace = " \t\r\v\f";

// The key reference when the line is a key line ("key", or "--key", then the reference up to the
// line's end, as the VPN client writes it); nothing otherwise.
bool keyLine(const std::string& line, std::string& reference)
{
    const std::size_t first = line.find_first_not_of(kSpace);
    if (first == std::string::npos) {
        return false;
    }
    const std::size_t end = line.find_first_of(kSpace, first);
    std::string_view name = std::string_view(line).substr(first, end == std::string::npos ? end : end - first);
    if (name.starts_with("--")) {
        name.remove_prefix(2);
    }
    if (name != "key") {
        return false;
    }
    const std::size_t valueStart = end == std::string::npos ? end : line.find_first_not_of(kSpace, end);
    reference = valueStart == std::string::npos ? std::string() : line.substr(valueStart);
    reference.erase(reference.find_last_not_of(kSpace) + 1);
    return true;
}

} // namespace

ConnectionConfig prepareConfig(const std::string& text)
{
    ConnectionConfig result;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        result.text += keyLine(line, result.keyReference) ? "\n" : line + '\n';
    }
    return result;
}

} // namespace morvil::openvpn_tool
