// Saving and loading the emulated tokens, so that a demo token keeps its keys and files between
// runs. The file is plain text: a "[token]" line opens each token, followed by "key=value" lines;
// numbers are decimal, every string and binary field is hex. Lines starting with '#' are comments.
#pragma once

#include "token_model.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace zr40nn::emu {

// Thrown for a file that cannot be read, written or understood; what() names the file and, for a
// malformed file, the line.
class StateFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Writes the tokens to a temporary file beside path, then renames it over path, so an interrupted
// save leaves the old file intact. Throws StateFileError.
void saveStateFile(const std::string& path, const std::vector<TokenConfig>& tokens);

// Reads tokens written by saveStateFile. Throws StateFileError when the file cannot be read or is
// malformed (unknown key, bad number or hex, value out of range, key not matching its curve).
std::vector<TokenConfig> loadStateFile(const std::string& path);

// The same two on text, for callers that keep the state elsewhere. `origin` names the text in
// error messages.
std::string formatState(const std::vector<TokenConfig>& tokens);
std::vector<TokenConfig> parseState(const std::string& text, const std::string& origin = "state");

} // namespace zr40nn::emu
