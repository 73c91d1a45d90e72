// The connection's key on the token, through the dev_zr40nn engine linked into this program:
// loaded once with the PIN (which the token checks), then signing digests on the token.
#pragma once

#include "command_line.h"
#include "management_dialogue.h"
#include "pin.h"

#include <memory>
#include <optional>
#include <string>

namespace morvil::openvpn_tool {

class TokenKey
{
public:
    ~TokenKey();
    TokenKey(const TokenKey&) = delete;
    TokenKey& operator=(const TokenKey&) = delete;

    // Registers the engine, gives it the control commands, initialises it and loads the key
    // "token/key" with the PIN. Null with error set when any step fails.
    static std::unique_ptr<TokenKey> load(const EngineSetting& engine, const std::string& keyReference, const Pin& pin,
                                          std::string& error);

    // The DER ECDSA-Sig-Value of the digest, made by the token.
    std::optional<Octets> sign(const Octets& digest) const;

private:
    struct Handles;
    explicit TokenKey(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> mHandles;
};

} // namespace morvil::openvpn_tool
