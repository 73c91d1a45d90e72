#include "allowed_options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <string_view>

namespace morvil::openvpn_tun {

namespace {

using ValueCheck = bool (*)(const std::string&);

bool digits(const std::string& value, std::size_t most)
{
    return !value.empty() && value.size() <= most
        && std::all_of(value.begin(), value.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool oneOf(const std::string& value, std::initializer_list<std::string_view> words)
{
    return std::find(words.begin(), words.end(), value) != words.end();
}

bool number(const std::string& v)
{
    return digits(v, 9);
}
bool port(const std::string& v)
{
    return digits(v, 5);
}
bool verbosity(const std::string& v)
{
    return digits(v, 2) && std::stoi(v) <= 11;
}
bool retries(const std::string& v)
{
    return number(v) || v == "infinite";
}
bool protocol(const std::string& v)
{
    return oneOf(v, { "udp", "udp4", "udp6", "tcp", "tcp4", "tcp6", "tcp-client", "tcp4-client", "tcp6-client" });
}
bool tun(const std::string& v)
{
    return v == "tun";
}
bool direction(const std::string& v)
{
    return oneOf(v, { "0", "1" });
}
bool peer(const std::string& v)
{
    return oneOf(v, { "server", "client" });
}
bool nameType(const std::string& v)
{
    return oneOf(v, { "subject", "name", "name-prefix" });
}
bool orHighest(const std::string& v)
{
    return v == "or-highest";
}
bool mssfixKind(const std::string& v)
{
    return oneOf(v, { "mtu", "fixed" });
}
bool fragmentKind(const std::string& v)
{
    return v == "mtu";
}
bool pathMtu(const std::string& v)
{
    return oneOf(v, { "no", "maybe", "yes" });
}
bool lzo(const std::string& v)
{
    return oneOf(v, { "yes", "no", "adaptive" });
}
bool compression(const std::string& v)
{
    return oneOf(v, { "lzo", "lz4", "lz4-v2", "stub", "stub-v2", "migrate" });
}
bool compressionAllowed(const std::string& v)
{
    return oneOf(v, { "yes", "no", "asym" });
}

bool sameLetter(char a, char b)
{
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool sameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameLetter);
}

// The data channel encrypted and authenticated: openvpn's "none" leaves it in clear text.
constexpr std::string_view kClearText = "none";

bool notNone(const std::string& v)
{
    return !sameWord(v, kClearText);
}
// A list of ciphers joined by ':', each possibly marked optional with a leading '?'.
bool cipherList(const std::string& v)
{
    for (std::size_t start = 0; start <= v.size();) {
        const std::size_t end = std::min(v.find(':', start), v.size());
        std::string_view cipher = std::string_view(v).substr(start, end - start);
        if (cipher.starts_with('?')) {
            cipher.remove_prefix(1);
        }
        if (sameWord(cipher, kClearText)) {
            return false;
        }
        start = end + 1;
    }
    return true;
}
// The control channel's TLS cipher list may not name OpenSSL's ciphers without encryption or
// without authentication (eNULL, aNULL, NULL).
bool tlsCiphers(const std::string& v)
{
    constexpr std::string_view kNull = "null";
    return std::search(v.begin(), v.end(), kNull.begin(), kNull.end(), sameLetter) == v.end();
}

struct Rule
{
    std::string_view name;
    std::size_t least;
    std::size_t most;
    std::array<ValueCheck, 3> values {}; // by position; none: any text
    bool file = false; // the first value names a file, or the option comes inline
};

constexpr bool kFile = true;

// The connection header and command line of the VPN client first, then what a client
// connection's template plainly needs.
const Rule kRules[] = {
    { "remote", 1, 3, { nullptr, port, protocol } },
    { "rport", 1, 1, { port } },
    { "ca", 1, 1, {}, kFile },
    { "cert", 1, 1, {}, kFile },
    { "dev", 1, 1, { tun } },
    { "float", 0, 0 },
    { "pull", 0, 0 },
    { "tls-client", 0, 0 },
    { "client", 0, 0 },
    { "nobind", 0, 0 },
    { "proto", 1, 1, { protocol } },
    { "connect-retry", 1, 2, { number, number } },
    { "connect-retry-max", 1, 1, { number } },
    { "connect-timeout", 1, 1, { number } },
    { "server-poll-timeout", 1, 1, { number } },
    { "resolv-retry", 1, 1, { retries } },
    { "remote-random", 0, 0 },
    { "explicit-exit-notify", 0, 1, { number } },
    { "keepalive", 2, 2, { number, number } },
    { "ping", 1, 1, { number } },
    { "ping-restart", 1, 1, { number } },
    { "ping-exit", 1, 1, { number } },
    { "persist-key", 0, 0 },
    { "persist-tun", 0, 0 },
    { "hand-window", 1, 1, { number } },
    { "tran-window", 1, 1, { number } },
    { "tls-timeout", 1, 1, { number } },
    { "tls-exit", 0, 0 },
    { "reneg-sec", 1, 2, { number, number } },
    { "reneg-bytes", 1, 1, { number } },
    { "reneg-pkts", 1, 1, { number } },
    { "remote-cert-tls", 1, 1, { peer } },
    { "verify-x509-name", 1, 2, { nullptr, nameType } },
    { "remote-cert-eku", 1, 1 },
    { "tls-version-min", 1, 2, { nullptr, orHighest } },
    { "tls-version-max", 1, 1 },
    { "tls-cipher", 1, 1, { tlsCiphers } },
    { "tls-ciphersuites", 1, 1 },
    { "tls-groups", 1, 1 },
    { "ecdh-curve", 1, 1 },
    { "cipher", 1, 1, { notNone } },
    { "data-ciphers", 1, 1, { cipherList } },
    { "data-ciphers-fallback", 1, 1, { notNone } },
    { "auth", 1, 1, { notNone } },
    { "auth-nocache", 0, 0 },
    { "tls-auth", 1, 2, { nullptr, direction }, kFile },
    { "key-direction", 1, 1, { direction } },
    { "tls-crypt", 1, 1, {}, kFile },
    { "tls-crypt-v2", 1, 1, {}, kFile },
    { "extra-certs", 1, 1, {}, kFile },
    { "crl-verify", 1, 1, {}, kFile },
    { "tun-mtu", 1, 1, { number } },
    { "mssfix", 0, 2, { number, mssfixKind } },
    { "fragment", 1, 2, { number, fragmentKind } },
    { "mtu-disc", 1, 1, { pathMtu } },
    { "comp-lzo", 0, 1, { lzo } },
    { "compress", 0, 1, { compression } },
    { "allow-compression", 1, 1, { compressionAllowed } },
    { "verb", 1, 1, { verbosity } },
    { "mute", 1, 1, { number } },
    { "mute-replay-warnings", 0, 0 },
};

const Rule* ruleFor(const std::string& name)
{
    const auto it
        = std::find_if(std::begin(kRules), std::end(kRules), [&name](const Rule& r) { return r.name == name; });
    return it != std::end(kRules) ? it : nullptr;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string valueCount(std::size_t n)
{
    return n == 1 ? "1 value" : std::to_string(n) + " values";
}

std::string countRefusal(const Rule& rule, const Option& option)
{
    const std::string name = quoted(option.spelled());
    const std::size_t given = option.params.size();
    if (rule.most == 0) {
        return name + " takes no value";
    }
    const std::string takes
        = rule.least == rule.most ? valueCount(rule.most) : std::to_string(rule.least) + " to " + valueCount(rule.most);
    return name + " takes " + takes + ", not " + std::to_string(given);
}

bool hasControl(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return std::iscntrl(static_cast<unsigned char>(c)); });
}

} // namespace

std::string notAClient(const std::vector<Option>& config, const std::vector<Option>& commandLine)
{
    const auto given = [&config, &commandLine](std::string_view name) {
        const auto named = [name](const Option& option) { return option.name == name; };
        return std::any_of(config.begin(), config.end(), named)
            || std::any_of(commandLine.begin(), commandLine.end(), named);
    };
    if (given("client") || (given("pull") && given("tls-client"))) {
        return {};
    }
    return "openvpn with privileges runs only as a client: the options must hold \"client\", or \"pull\" and"
           " \"tls-client\"";
}

bool namesFile(const std::string& name)
{
    const Rule* rule = ruleFor(name);
    return rule != nullptr && rule->file;
}

std::string refusal(const Option& option)
{
    const Rule* rule = ruleFor(option.name);
    if (rule == nullptr) {
        return quoted(option.spelled())
            + " is not accepted: openvpn with privileges takes only the options that a connection needs";
    }
    if (option.isInline) {
        return rule->file ? std::string() : quoted(option.spelled()) + " cannot come as an inline block";
    }
    const std::size_t given = option.params.size();
    if (given < rule->least || given > rule->most) {
        return countRefusal(*rule, option);
    }
    for (std::size_t i = 0; i < given; ++i) {
        const std::string& value = option.params[i];
        // openvpn would read a value that begins with "--" on its command line as an option.
        if (hasControl(value) || value.starts_with("--") || (rule->values[i] != nullptr && !rule->values[i](value))) {
            return quoted(option.spelled()) + " does not take the value " + quoted(value);
        }
    }
    return {};
}

} // namespace morvil::openvpn_tun
