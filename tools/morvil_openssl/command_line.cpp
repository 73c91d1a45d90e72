#include "command_line.h"

#include "openssl_config.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <set>
#include <string_view>

namespace morvil::openssl_tool {

namespace {

// Options of req, ca, x509 and crl that take a value; everything else is a flag. Knowing them
// keeps a value such as a subject from being read as an option.
// clang-format off
const std::set<std::string, std::less<>> kValueOptions = {
    "-CA", "-CAfile", "-CAform", "-CAkey", "-CAkeyform", "-CApath", "-CAserial", "-CAstore",
    "-addext", "-addreject", "-addtrust", "-cert", "-certform", "-certopt", "-checkemail", "-checkend",
    "-checkhost", "-checkip", "-config", "-copy_extensions", "-crl_CA_compromise", "-crl_compromise", "-crl_hold",
    "-crl_lastupdate", "-crl_nextupdate", "-crl_reason", "-crldays", "-crlexts", "-crlhours", "-crlsec", "-days",
    "-enddate", "-engine", "-ext", "-extensions", "-extfile", "-force_pubkey", "-gendelta", "-in", "-inform", "-key",
    "-keyfile", "-keyform", "-keyout", "-md", "-name", "-nameopt", "-newkey", "-not_after", "-not_before", "-out",
    "-outdir", "-outform", "-passin", "-passout", "-pkeyopt", "-policy", "-propquery", "-provider",
    "-provider-path", "-rand", "-reqexts", "-reqopt", "-revoke", "-section", "-set_serial", "-setalias",
    "-sigopt", "-signkey", "-spkac", "-ss_cert", "-startdate", "-status", "-subj", "-valid", "-vfyopt",
    "-writerand",
};
// clang-format on

const std::array<std::string_view, 5> kHashes = { "sha1", "sha224", "sha256", "sha384", "sha512" };

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool isHashOption(const std::string& arg)
{
    return arg.size() > 1 && arg[0] == '-'
        && std::find(kHashes.begin(), kHashes.end(), std::string_view(arg).substr(1)) != kHashes.end();
}

// "-engctrl" as openssl would read it: one or two dashes, and perhaps "=value" behind.
bool isEngineControl(const std::string& arg)
{
    std::string_view name(arg);
    name = name.substr(0, name.find('='));
    if (name.starts_with("--")) {
        name.remove_prefix(1);
    }
    return name == "-engctrl";
}

// The options before "-infiles" as (name, value) pairs; a flag has an empty value.
struct Option
{
    std::size_t index;
    std::string name;
    std::optional<std::string> value;
};

std::vector<Option> scanOptions(const std::vector<std::string>& args)
{
    std::vector<Option> options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-infiles") {
            break;
        }
        Option option { i, arg, std::nullopt };
        if (kValueOptions.count(arg) != 0 && i + 1 < args.size()) {
            option.value = args[++i];
        }
        options.push_back(std::move(option));
    }
    return options;
}

const Option* findOption(const std::vector<Option>& options, std::string_view name)
{
    for (const Option& option : options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

// The configuration section that the command reads its settings from.
std::optional<std::string> commandSection(const std::vector<Option>& options, const std::string& command,
                                          const OpenSslConfig& conf)
{
    if (command == "ca") {
        const Option* name = findOption(options, "-name");
        return name != nullptr && name->value ? name->value : conf.value("ca", "default_ca");
    }
    const Option* section = findOption(options, "-section");
    return section != nullptr && section->value ? *section->value : command;
}

// The configured digest when it is one of the ecdsa-with names that stock openssl cannot fetch.
std::optional<std::string> configuredHash(const std::vector<Option>& options, const std::string& command,
                                          const OpenSslConfig& conf)
{
    const std::optional<std::string> section = commandSection(options, command, conf);
    const std::optional<std::string> digest = section ? conf.value(*section, "default_md") : std::nullopt;
    if (!digest || hashOfDigestName(*digest) == *digest) {
        return std::nullopt;
    }
    return hashOfDigestName(*digest);
}

} // namespace

std::string hashOfDigestName(const std::string& name)
{
    static constexpr std::string_view kPrefix = "ecdsa-with-";
    const std::string folded = lower(name);
    if (folded.size() > kPrefix.size() && folded.compare(0, kPrefix.size(), kPrefix) == 0) {
        const std::string hash = folded.substr(kPrefix.size());
        if (std::find(kHashes.begin(), kHashes.end(), hash) != kHashes.end()) {
            return hash;
        }
    }
    return name;
}

Translation translate(const std::vector<std::string>& args)
{
    return translate(args, readConfigText);
}

Translation translate(const std::vector<std::string>& args, const ConfigReader& readConfig)
{
    Translation result;
    if (args.empty()) {
        return result;
    }
    const std::string& command = args[0];
    if (std::any_of(args.begin(), args.end(), isEngineControl)) {
        result.error = "-engctrl is not supported: give the user PIN on standard input with -passin stdin";
        return result;
    }
    const std::vector<Option> options = scanOptions(args);
    const Option* config = findOption(options, "-config");
    const std::optional<std::string> configText
        = config != nullptr && config->value ? readConfig(*config->value) : std::nullopt;
    const OpenSslConfig conf = OpenSslConfig::parse(configText.value_or(""));

    // Options added right behind the command.
    std::vector<std::string> added;
    const Option* md = findOption(options, "-md");
    if (command == "req") {
        const bool hasDigest = md != nullptr
            || std::any_of(options.begin(), options.end(), [](const Option& o) { return isHashOption(o.name); });
        if (!hasDigest) {
            if (const auto hash = configuredHash(options, command, conf)) {
                added.push_back("-" + *hash);
            }
        }
        // A UTF-8 subject needs UTF8String: the authority's "nombstr" mask refuses letters beyond Latin-1.
        if (configText && findOption(options, "-utf8") != nullptr) {
            result.config = withUtf8StringMask(*configText);
        }
    } else if (command == "ca" && md == nullptr) {
        if (const auto hash = configuredHash(options, command, conf)) {
            added.insert(added.end(), { "-md", *hash });
        }
    }
    if ((command == "req" || command == "x509") && findOption(options, "-subject") != nullptr
        && findOption(options, "-nameopt") == nullptr) {
        added.insert(added.end(), { "-nameopt", "compat" });
    }

    result.args.push_back(command);
    result.args.insert(result.args.end(), added.begin(), added.end());
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (md != nullptr && i == md->index && md->value) {
            // req has no -md: a digest is an option of its own name there.
            if (command == "req") {
                result.args.push_back("-" + hashOfDigestName(*md->value));
            } else {
                result.args.insert(result.args.end(), { "-md", hashOfDigestName(*md->value) });
            }
            ++i;
            continue;
        }
        if (result.config && config != nullptr && i == config->index + 1) {
            result.configArg = result.args.size();
        }
        result.args.push_back(args[i]);
    }
    return result;
}

} // namespace morvil::openssl_tool
