// The token's command set as one table: each code's name, the request lengths it takes, what the
// token must be in to run it, which PIN it asks for and where its operands sit. The checks all
// commands share run from this table (token_commands.cpp); a handler does only what is its own.
#pragma once

#include "token_commands.h"

#include <functional>

namespace zr40nn::emu {

// What the token must be in for a command to run at all; otherwise it answers "not allowed".
enum class Needs : std::uint8_t
{
    Nothing,
    Blank,
    Initialised, // initialised and not yet configured
    Configured, // locked or not
    Unlocked, // configured and not locked
};

// Which PIN a command takes (PIN id at kPinIdAt, the PIN field at kPinAt). A PIN id the rule does
// not know is out of range; one it knows but refuses here is not allowed.
enum class PinRule : std::uint8_t
{
    None,
    Either, // the SO or the user
    UserOnly, // only the user, though the SO's id is in range
    SoOnly, // only the SO; the user's id is out of range
    UserOrPermittedSo, // the user, or the SO unless the token was configured to bar it
};

// Where a request carries its operands, as octet offsets; -1 where it carries none. Slot, object
// and curve are checked against the token before the PIN is.
struct Operands
{
    int slot = -1; // key slot, one octet, below the token's slot count
    int object = -1; // public object, two octets, below the token's object count
    int curve = -1; // curve id, two octets: the token's own curve, which it must compute on
    int keyName = -1; // kKeyNameOctets of NUL-padded key name
    int count = -1; // how many random octets, one octet
    int digest = -1; // the digest, from here to the end of the request
};

struct CommandSpec;

// The token as a handler sees it: its state, the way to spend a slow command's time, and the
// request with its operands already read out (the fields a log line shows).
struct CommandContext
{
    TokenConfig& token;
    const std::function<void(int)>& wait;
    const CommandSpec& command;
    const Bytes& request;
    const LogEntry& operands;

    int slotCount() const;
    int objectCount() const;
};

using CommandHandler = Bytes (*)(CommandContext& context);

struct CommandSpec
{
    std::uint8_t code;
    const char* name;
    int minLength; // whole request, equal to maxLength except for signing
    int maxLength;
    Needs needs;
    PinRule pin;
    Operands at;
    CommandHandler run; // called once every shared check has passed
};

// The command with that code, or null for a code the token does not know.
const CommandSpec* findCommand(std::uint8_t code);

} // namespace zr40nn::emu
