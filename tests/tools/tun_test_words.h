// What the tests of morvil_openvpn_tun's parts share: options written out as words, and the
// starter's command line as morvil_openvpn gives it.
#pragma once

#include "openvpn_options.h"

#include <string>
#include <vector>

namespace morvil::test {

using Words = std::vector<std::string>;

// Each option as "name|param|param", an inline one as "<name>|text".
inline Words shown(const openvpn_tun::Options& options)
{
    Words result;
    for (const openvpn_tun::Option& option : options.list) {
        std::string text = option.isInline ? "<" + option.name + ">" : option.name;
        for (const std::string& param : option.params) {
            text += "|" + param;
        }
        result.push_back(text);
    }
    return result;
}

inline const Words kClientArgs { "--dev", "tun", "--float", "--pull", "--tls-client" };

// What morvil_openvpn gives the starter, with the options of its caller.
inline Words tunArgs(const Words& extra = kClientArgs, const std::string& socket = "/tmp/p/sock")
{
    Words args { "4242", "--config", "/tmp/p/conf" };
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(
        args.end(),
        { "--management", socket, "unix", "--management-client", "--management-hold", "--management-external-key" });
    return args;
}

} // namespace morvil::test
