#include "openvpn_options.h"

#include <algorithm>
#include <cctype>

namespace morvil::openvpn_tun {

namespace {

// openvpn keeps the name and at most 15 parameters of a line or option and drops the rest unread.
constexpr std::size_t kMostParams = 15;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// openvpn's white space: the C locale's, and the string's end.
bool isBlank(char c)
{
    return c == '\0' || std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string lineError(int line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

// One line (with its line feed, if any) split into words as openvpn splits it; false with error
// set where openvpn refuses the line. A word that begins with '#' or ';' ends the line, even
// after a backslash.
bool splitLine(const std::string& line, std::vector<std::string>& words, std::string& error)
{
    enum class State
    {
        Between,
        Plain,
        Quoted,
        SingleQuoted
    };
    State state = State::Between;
    bool backslash = false;
    std::string word;
    // openvpn goes on to the string's end, so a word that ends the line ends at the NUL.
    for (std::size_t i = 0; i <= line.size(); ++i) {
        const char in = i < line.size() ? line[i] : '\0';
        if (!backslash && in == '\\' && state != State::SingleQuoted) {
            backslash = true;
            continue;
        }
        char out = 0;
        bool wordEnds = false;
        switch (state) {
        case State::Between:
            if (isBlank(in)) {
                break;
            }
            if (in == '#' || in == ';') {
                return true;
            }
            if (!backslash && in == '"') {
                state = State::Quoted;
            } else if (!backslash && in == '\'') {
                state = State::SingleQuoted;
            } else {
                out = in;
                state = State::Plain;
            }
            break;
        case State::Plain:
            wordEnds = !backslash && isBlank(in);
            out = wordEnds ? 0 : in;
            break;
        case State::Quoted:
            wordEnds = !backslash && in == '"';
            out = wordEnds ? 0 : in;
            break;
        case State::SingleQuoted:
            wordEnds = in == '\'';
            out = wordEnds ? 0 : in;
            break;
        }
        if (backslash && out != 0 && out != '\\' && out != '"' && !isBlank(out)) {
            error = std::string("a backslash before '") + out + "' (openvpn takes only \\\\, \\\" and \\ with a blank)";
            return false;
        }
        backslash = false;
        if (out != 0) {
            word += out;
        }
        if (wordEnds) {
            words.push_back(std::move(word));
            word.clear();
            state = State::Between;
        }
    }
    if (state == State::Quoted || state == State::SingleQuoted) {
        error = std::string("no closing quotation mark (") + (state == State::Quoted ? '"' : '\'') + ")";
        return false;
    }
    if (state != State::Between) {
        error = "the line ends after a backslash";
        return false;
    }
    return true;
}

// The text split into lines, each with its line feed (the last one may have none).
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// Whether openvpn would take the line in more than one piece.
bool tooLong(const std::string& line)
{
    return (line.ends_with('\n') ? line.size() - 1 : line.size()) > kLongestLine;
}

const std::string kTooLong
    = "longer than the " + std::to_string(kLongestLine) + " octets that openvpn reads as one line";

// Whether the line closes the inline block whose closing tag is given: openvpn compares the start
// of the line, after blanks, and ignores what follows the tag.
bool closes(const std::string& line, const std::string& closingTag)
{
    std::size_t first = 0;
    while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first])) != 0) {
        ++first;
    }
    return line.compare(first, closingTag.size(), closingTag) == 0;
}

void dropDoubleDash(std::string& name)
{
    if (name.starts_with("--")) {
        name.erase(0, 2);
    }
}

} // namespace

Options readConfigText(const std::string& text)
{
    Options result;
    if (text.find('\0') != std::string::npos) {
        result.error = lineError(1 + static_cast<int>(std::count(text.begin(), text.begin() + text.find('\0'), '\n')),
                                 "a NUL byte, where openvpn stops reading the line");
        return result;
    }
    const std::vector<std::string> lines = linesOf(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        if (tooLong(lines[i])) {
            result.error = lineError(number, kTooLong);
            return result;
        }
        std::string line = lines[i];
        if (i == 0 && line.starts_with(kByteOrderMark)) {
            line.erase(0, kByteOrderMark.size());
        }
        std::vector<std::string> words;
        std::string error;
        if (!splitLine(line, words, error)) {
            result.error = lineError(number, error);
            return result;
        }
        if (words.empty()) {
            continue;
        }
        if (words.size() > kMostParams + 1) {
            result.error = lineError(number, "more words than openvpn reads on a line");
            return result;
        }
        Option option { words[0], { words.begin() + 1, words.end() }, false, number };
        dropDoubleDash(option.name);
        if (words.size() == 1 && option.name.size() > 2 && option.name.front() == '<' && option.name.back() == '>') {
            option.name = option.name.substr(1, option.name.size() - 2);
            option.isInline = true;
            const std::string closingTag = "</" + option.name + ">";
            std::string body;
            for (++i; i < lines.size() && !closes(lines[i], closingTag); ++i) {
                if (tooLong(lines[i])) {
                    result.error = lineError(static_cast<int>(i) + 1, kTooLong);
                    return result;
                }
                body += lines[i];
            }
            if (i == lines.size()) {
                result.error = lineError(number, "no " + closingTag + " closes the block");
                return result;
            }
            option.params = { body };
        }
        result.list.push_back(std::move(option));
    }
    return result;
}

Options readCommandLine(const std::vector<std::string>& args)
{
    Options result;
    for (std::size_t i = 0; i < args.size();) {
        const int number = static_cast<int>(i) + 1;
        if (!args[i].starts_with("--")) {
            result.error = "argument " + std::to_string(number) + ": \"" + args[i] + "\" is no option (no leading --)";
            return result;
        }
        Option option { args[i].substr(2), {}, false, number, true };
        for (++i; i < args.size() && !args[i].starts_with("--"); ++i) {
            option.params.push_back(args[i]);
        }
        if (option.params.size() > kMostParams) {
            result.error = "argument " + std::to_string(number) + ": more parameters than openvpn takes";
            return result;
        }
        result.list.push_back(std::move(option));
    }
    return result;
}

} // namespace morvil::openvpn_tun
