// Asking for the user PIN through OpenSSL's UI.
#pragma once

#include <openssl/ui.h>

namespace zr40nn::engine {

// Prompts "User PIN:" without echo through method, passing the caller's data on, so that a
// program's "-passin" answers it. True when the prompt succeeded; pin then holds at most 8
// octets, terminated. On failure or cancel pin is wiped. A caller that gives no method has no one
// to ask: OpenSSL's default UI would ask on the console, where a program started from a terminal
// waits for an answer nobody sees the question for, so that is false at once.
bool promptUserPin(UI_METHOD* method, void* callbackData, char (&pin)[9]) noexcept;

} // namespace zr40nn::engine
