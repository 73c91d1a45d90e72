// Just enough of OpenSSL's configuration format to read plain "key = value" settings.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace morvil::openssl_tool {

class OpenSslConfig
{
public:
    // Reads a file; empty (every lookup misses) when it cannot be read.
    static OpenSslConfig load(const std::string& path);
    static OpenSslConfig parse(const std::string& text);

    // The value of key in section (the unnamed section is "default"); later lines win.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;

private:
    std::map<std::string, std::map<std::string, std::string>> mSections;
};

} // namespace morvil::openssl_tool
