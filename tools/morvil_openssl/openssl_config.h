// Just enough of OpenSSL's configuration format to read plain "key = value" settings.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace morvil::openssl_tool {

class OpenSslConfig
{
public:
    static OpenSslConfig parse(const std::string& text);

    // The value of key in section (the unnamed section is "default"); later lines win.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;

private:
    std::map<std::string, std::map<std::string, std::string>> mSections;
};

// The whole file; nullopt when it cannot be read.
std::optional<std::string> readConfigText(const std::string& path);

// text with every "string_mask = nombstr" setting turned into "string_mask = utf8only"; nullopt
// when text has no such setting.
std::optional<std::string> withUtf8StringMask(const std::string& text);

} // namespace morvil::openssl_tool
