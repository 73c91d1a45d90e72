// The connection's configuration file as openvpn gets it: the token key reference taken out of
// its "key" line, which openvpn cannot read (the key signs through us).
#pragma once

#include <string>

namespace morvil::openvpn_tool {

struct ConnectionConfig
{
    std::string text; // the configuration with an empty line for each key line, so lines keep their numbers
    std::string keyReference; // "token/key" from the last key line; empty when there is none
};

ConnectionConfig prepareConfig(const std::string& text);

} // namespace morvil::openvpn_tool
