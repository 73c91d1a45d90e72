#include "openssl_config.h"

#include <fstream>
#include <sstream>

namespace morvil::openssl_tool {

namespace {

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// A value may be quoted ("..." or '...'); otherwise it ends at a comment.
std::string parseValue(const std::string& raw)
{
    const std::string value = trim(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
        const auto close = value.find(value.front(), 1);
        if (close != std::string::npos) {
            return value.substr(1, close - 1);
        }
    }
    return trim(value.substr(0, value.find('#')));
}

// A trimmed "key = value" line as its key and value; comments and other lines give nothing.
std::optional<std::pair<std::string, std::string>> parseSetting(const std::string& content)
{
    const auto equals = content.find('=');
    if (equals == std::string::npos || content.front() == '#' || content.front() == '[') {
        return std::nullopt;
    }
    return std::make_pair(trim(content.substr(0, equals)), parseValue(content.substr(equals + 1)));
}

} // namespace

OpenSslConfig OpenSslConfig::parse(const std::string& text)
{
    OpenSslConfig config;
    std::string section = "default";
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string content = trim(line);
        if (content.empty()) {
            continue;
        }
        if (content.front() == '[') {
            const auto close = content.find(']');
            if (close != std::string::npos) {
                section = trim(content.substr(1, close - 1));
            }
            continue;
        }
        if (const auto setting = parseSetting(content)) {
            config.mSections[section][setting->first] = setting->second;
        }
    }
    return config;
}

std::optional<std::string> OpenSslConfig::value(const std::string& section, const std::string& key) const
{
    const auto found = mSections.find(section);
    if (found == mSections.end()) {
        return std::nullopt;
    }
    const auto entry = found->second.find(key);
    if (entry == found->second.end()) {
        return std::nullopt;
    }
    return entry->second;
}

std::optional<std::string> readConfigText(const std::string& path)
{
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::string> withUtf8StringMask(const std::string& text)
{
    std::istringstream lines(text);
    std::string result;
    bool changed = false;
    std::string line;
    while (std::getline(lines, line)) {
        const auto setting = parseSetting(trim(line));
        if (setting && setting->first == "string_mask" && setting->second == "nombstr") {
            line = "string_mask = utf8only";
            changed = true;
        }
        result += line + '\n';
    }
    if (!changed) {
        return std::nullopt;
    }
    return result;
}

} // namespace morvil::openssl_tool
