// Turning the command lines that morvil_ca gives into ones the stock openssl 3.0 accepts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvil::openssl_tool {

struct Translation
{
    std::vector<std::string> args; // the arguments for openssl, without the program name
    std::string error; // non-empty when the command line is refused
    // When set, openssl is to read this configuration instead of the file named by args[configArg].
    std::optional<std::string> config;
    std::size_t configArg = 0;
};

// "ecdsa-with-shaN" (any case) -> "shaN"; other names are returned unchanged.
std::string hashOfDigestName(const std::string& name);

// Rewrites args (the openssl command and its options, without the program name):
//   req  -md ecdsa-with-shaN            -> -shaN
//   req  with a configuration whose [req] default_md is ecdsa-with-shaN and no digest given
//                                       -> -shaN
//   ca   -md ecdsa-with-shaN            -> -md shaN
//   ca   with no -md, whose authority section's default_md is ecdsa-with-shaN -> -md shaN
//   req, x509 with -subject and no -nameopt -> -nameopt compat (subject=/C=PL/CN=...)
//   req -utf8 with a configuration whose string_mask is nombstr -> that configuration with utf8only
// Added options go right behind the command, ahead of "ca -infiles", which takes every later
// argument as a file. Configuration files are read relative to the working directory.
// "-engctrl", in any spelling openssl would take, is refused wherever it stands: the PIN must not
// travel on a command line (use -passin stdin).
Translation translate(const std::vector<std::string>& args);

// The same with the configuration files read by readConfig (the path as given; nullopt when
// there is no such file).
using ConfigReader = std::function<std::optional<std::string>(const std::string& path)>;
Translation translate(const std::vector<std::string>& args, const ConfigReader& readConfig);

} // namespace morvil::openssl_tool
