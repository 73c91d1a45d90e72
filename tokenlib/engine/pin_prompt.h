// Asking for the user PIN through OpenSSL's UI.
#pragma once

#include <openssl/ui.h>

namespace zr40nn::engine {

// Prompts "User PIN:" without echo through method (OpenSSL's default UI when null), passing the
// caller's data on, so that a program's "-passin" answers it. True when the prompt succeeded;
// pin then holds at most 8 octets, terminated. On failure or cancel pin is wiped.
bool promptUserPin(UI_METHOD* method, void* callbackData, char (&pin)[9]) noexcept;

} // namespace zr40nn::engine
