// openvpn's options as openvpn itself reads them, from a configuration file and from a command
// line: what is checked before openvpn runs with privileges must be exactly what openvpn will see,
// whatever quoting, escapes or inline blocks the text uses.
#pragma once

#include <string>
#include <vector>

namespace morvil::openvpn_tun {

struct Option
{
    std::string name; // without a leading "--"
    std::vector<std::string> params; // for an inline block, its text alone
    bool isInline = false; // given as <name> ... </name>
    int line = 0; // where it starts in the file; on a command line, the argument's number
    bool onCommandLine = false;

    // As the user wrote it: "--name" on a command line.
    std::string spelled() const { return onCommandLine ? "--" + name : name; }
};

struct Options
{
    std::vector<Option> list;
    std::string error; // set, with the line, when openvpn would not read the text as given here
};

// A configuration file: a UTF-8 byte order mark at its start is skipped; per line, words split
// at white space, "..." with the escapes \\ \" and \<blank>, '...' without escapes, a comment from
// a word that starts with '#' or ';', and a leading "--"; a line holding only <name> opens an
// inline block that the first line starting (after blanks) with </name> closes. Text that openvpn
// would read otherwise than as written, or cut (a NUL, a line longer than openvpn takes in one
// piece), is an error.
Options readConfigText(const std::string& text);

// A command line (without the program): "--name" followed by its parameters, which are the
// arguments up to the next one that starts with "--".
Options readCommandLine(const std::vector<std::string>& args);

// The longest line, without its line feed, that openvpn reads as one.
inline constexpr std::size_t kLongestLine = 254;

} // namespace morvil::openvpn_tun
