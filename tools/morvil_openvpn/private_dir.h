// A directory that only this user can enter (mode 0700), made fresh and removed with everything
// in it when the owner goes: it holds the management socket and openvpn's configuration.
#pragma once

#include <string>

namespace morvil::openvpn_tool {

class PrivateDir
{
public:
    PrivateDir() = default;
    ~PrivateDir();
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;

    // Makes the directory under the temporary directory; false with error set when it cannot.
    bool make(std::string& error);
    const std::string& path() const { return mPath; }
    // Writes a file of this directory readable by us only; false with error set when it cannot.
    bool writeFile(const std::string& name, const std::string& text, std::string& error) const;

private:
    std::string mPath;
};

} // namespace morvil::openvpn_tool
