// openvpn's options read as openvpn reads them, from a configuration text and from a command line.
#include "openvpn_options.h"
#include "tun_test_words.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace morvil::openvpn_tun;
using namespace morvil::test;
using namespace std::string_literals;

TEST(OpenVpnOptions, ReadsQuotesEscapesCommentsAndDashesAsOpenVpnDoes)
{
    const std::pair<std::string, Words> cases[] = {
        { "remote 10.0.0.1 1194\n", { "remote|10.0.0.1|1194" } },
        // Quoted names are names; "--" goes, a single "-" stays.
        { "\"up\" /x.sh\n'script-security' \"2\"\n--down y\n-verb 3\n",
          { "up|/x.sh", "script-security|2", "down|y", "-verb|3" } },
        // Escapes: \\ \" and \<blank> outside single quotes; within them, none.
        { "a \"b c\" 'd\\e' f\\ g \\\"h \"i\\\"j\\\\\"\n", { "a|b c|d\\e|f g|\"h|i\"j\\" } },
        // A closing quote ends the word; a quote inside a plain word is plain.
        { "a \"b\"c d\"e\n", { "a|b|c|d\"e" } },
        { "a '' \"\" b\n", { "a|||b" } },
        // A word that starts with '#' or ';' ends the line, even escaped; inside a word it is text.
        { "  verb\t3 ; a comment\nverb x#y #z\n\\#up x\n;up\n#up\n", { "verb|3", "verb|x#y" } },
        // A backslash before a blank between words is a blank; before the line feed, it keeps it.
        { "a \\ b\nc d\\\n", { "a|b", "c|d\n" } },
        // A byte order mark on the first line only; CR LF line ends.
        { "\xEF\xBB\xBFverb 3\r\n\xEF\xBB\xBFup x\r\n", { "verb|3", "\xEF\xBB\xBFup|x" } },
        // Inline blocks, however the tag is written; their lines are text, up to the first line
        // that starts (after blanks) with the closing tag, whatever follows it.
        { "<ca>\nup /x\n\t</ca>\n\"<tls-auth>\"\nA\n  </tls-auth> junk\n--<cert>\nB\n</cert>\nverb 3\n",
          { "<ca>|up /x\n", "<tls-auth>|A\n", "<cert>|B\n", "verb|3" } },
        // Not a block: a tag with a word after it, or a lone "<>".
        { "<ca> x\n<>\n", { "<ca>|x", "<>" } },
        { "", {} },
    };
    for (const auto& [text, expected] : cases) {
        const Options read = readConfigText(text);
        EXPECT_EQ(read.error, "") << text;
        EXPECT_EQ(shown(read), expected) << text;
    }
    const Options numbered = readConfigText("# one\n<ca>\nx\n</ca>\n\nverb 3\n");
    ASSERT_EQ(numbered.list.size(), 2u);
    EXPECT_EQ(numbered.list[0].line, 2);
    EXPECT_EQ(numbered.list[1].line, 6);
}

TEST(OpenVpnOptions, RefusesTextThatOpenVpnWouldReadOtherwise)
{
    const std::string longLine = "verb 3" + std::string(kLongestLine - 5, ' ') + "\n";
    const std::pair<std::string, std::string> cases[] = {
        { "verb 3\nup \"x\n", "line 2: no closing quotation mark (\")" },
        { "up 'x\n", "line 1: no closing quotation mark (')" },
        { "u\\p x\n", "line 1: a backslash before 'p' (openvpn takes only \\\\, \\\" and \\ with a blank)" },
        { "up \"a\\b\"\n", "line 1: a backslash before 'b' (openvpn takes only \\\\, \\\" and \\ with a blank)" },
        { "verb 3\\", "line 1: the line ends after a backslash" },
        // openvpn stops a line at a NUL, and refuses a line longer than it reads in one piece; in a
        // block it would cut the line in two, and a piece could close the block.
        { "verb 3\nverb 3\0 up /x\n"s, "line 2: a NUL byte, where openvpn stops reading the line" },
        { "verb 3\n" + longLine, "line 2: longer than the 254 octets that openvpn reads as one line" },
        { "<ca>\n" + longLine + "</ca>\n", "line 2: longer than the 254 octets that openvpn reads as one line" },
        { "<ca>\nx\n</cert>\n", "line 1: no </ca> closes the block" },
        // openvpn drops the words after the 16th unread.
        { "remote a b c d e f g h i j k l m n o p\n", "line 1: more words than openvpn reads on a line" },
    };
    for (const auto& [text, error] : cases) {
        const Options read = readConfigText(text);
        EXPECT_EQ(read.error, error) << text;
    }
    EXPECT_EQ(readConfigText(std::string(kLongestLine, 'x') + "\n").error, "");
}

TEST(OpenVpnOptions, ReadsACommandLine)
{
    const Options read = readCommandLine({ "--dev", "tun", "--float", "--remote", "a", "1", "udp", "--", "x y" });
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(shown(read), (Words { "dev|tun", "float", "remote|a|1|udp", "|x y" }));
    EXPECT_EQ(read.list[0].spelled(), "--dev");
    EXPECT_EQ(read.list[2].line, 4);
    EXPECT_EQ(readCommandLine({ "-dev", "tun" }).error, "argument 1: \"-dev\" is no option (no leading --)");
    Words many { "--remote" };
    many.resize(17, "p");
    EXPECT_EQ(readCommandLine(many).error, "argument 1: more parameters than openvpn takes");
    many.pop_back();
    EXPECT_EQ(readCommandLine(many).error, "");
}
