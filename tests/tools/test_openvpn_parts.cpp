// morvil_openvpn's parts on their own: the client's command line, the connection configuration
// as openvpn gets it, the management dialogue with a real signing key, the private directory, and
// the PIN on a pipe.
#include "command_line.h"
#include "connection_config.h"
#include "management_dialogue.h"
#include "openssl_owner.h"
#include "pin.h"
#include "private_dir.h"
#include "tun_starter.h"

#include <gtest/gtest.h>

#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/obj_mac.h>

#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace morvil::openvpn_tool;

namespace {

// While a test watches: every range that OpenSSL's cleanse was asked to wipe. This program's own
// OPENSSL_cleanse takes the place of the library's, wipes as it does and notes where.
struct Cleansed
{
    bool watching = false;
    std::vector<std::pair<const char*, std::size_t>> ranges;
};

Cleansed& cleansed()
{
    static Cleansed record;
    return record;
}

class WipeWatch
{
public:
    WipeWatch() { cleansed().watching = true; }
    ~WipeWatch()
    {
        cleansed().watching = false;
        cleansed().ranges.clear();
    }
    WipeWatch(const WipeWatch&) = delete;
    WipeWatch& operator=(const WipeWatch&) = delete;

    bool wiped(const char* where, std::size_t size) const
    {
        for (const auto& [start, length] : cleansed().ranges) {
            if (start <= where && where + size <= start + length) {
                return true;
            }
        }
        return false;
    }
};

} // namespace

extern "C" void OPENSSL_cleanse(void* ptr, size_t len)
{
    explicit_bzero(ptr, len);
    if (cleansed().watching) {
        cleansed().ranges.emplace_back(static_cast<const char*>(ptr), len);
    }
}
using Args = std::vector<std::string>;

TEST(OpenVpnCommandLine, SplitsTheClientsArguments)
{
    const Invocation run = parseArguments({ "--config", "conf", "--dev", "tun", "--float", "--pull", "--tls-client",
                                            "--engkey", "--engine", "dev_zr40nn:log_file:log" });
    ASSERT_EQ(run.error, "");
    EXPECT_EQ(run.configPath, "conf");
    EXPECT_TRUE(run.engineKey);
    EXPECT_EQ(run.engine.id, "dev_zr40nn");
    ASSERT_EQ(run.engine.controls.size(), 1u);
    EXPECT_EQ(run.engine.controls[0], std::make_pair(std::string("log_file"), std::string("log")));
    EXPECT_EQ(run.openVpnArgs, (Args { "--dev", "tun", "--float", "--pull", "--tls-client" }));

    Args args = run.openVpnArgs;
    replaceDevice(args, "null");
    EXPECT_EQ(args, (Args { "--dev", "null", "--float", "--pull", "--tls-client" }));
}

TEST(OpenVpnCommandLine, RefusesAPinOtherEnginesAndMissingValues)
{
    EXPECT_EQ(
        parseArguments({ "--config", "conf", "--engkey", "--engine", "dev_zr40nn:log_file:log:user_pin:1234" }).error,
        "the PIN is not taken from the command line: give it on standard input");
    EXPECT_NE(parseArguments({ "--config", "c", "--engine", "other:log_file:log" }).error.find("unknown engine"),
              std::string::npos);
    EXPECT_EQ(parseArguments({ "--config", "c", "--engine", "dev_zr40nn:log_file" }).error,
              "the engine argument needs a value for each control command");
    EXPECT_EQ(parseArguments({ "--config" }).error, "--config needs a value");
    EXPECT_EQ(parseArguments({ "--dev", "tun" }).error, "--config is required");
    EXPECT_EQ(parseArguments({ "--config", "c", "--engkey" }).error, "--engkey needs --engine");
}

TEST(OpenVpnConfig, TakesTheKeyLineOutAndKeepsTheRest)
{
    const std::string text
        = "#\n# MorvilVpnName key TOK/other\n#\nremote 10.0.0.1\nkey TOK/first\n"
          "; key TOK/commented\nkey-direction 1\ntls-auth ta.key 1\n  --key  TOK/klucz 2 \nup ./x.sh\n";
    const ConnectionConfig config = prepareConfig(text);
    // The last key directive wins; comments are not directives. Lines keep their numbers, so that
    // what openvpn says of a line is said of the user's.
    EXPECT_EQ(config.keyReference, "TOK/klucz 2");
    EXPECT_EQ(config.text,
              "#\n# MorvilVpnName key TOK/other\n#\nremote 10.0.0.1\n\n; key TOK/commented\nkey-direction 1\n"
              "tls-auth ta.key 1\n\nup ./x.sh\n");
    EXPECT_EQ(prepareConfig("remote x\n").keyReference, "");
    EXPECT_EQ(prepareConfig("key\n").keyReference, "");
}

TEST(OpenVpnTunStarter, RefusesBeforehandWhatTheStarterWouldRefuse)
{
    const Args clientArgs { "--dev", "tun", "--float", "--pull", "--tls-client" };
    EXPECT_EQ(tunStarterRefusal("conf", "remote x\n\nnobind\nverb 3\n", clientArgs), "");
    EXPECT_EQ(tunStarterRefusal("conf", "remote x\n'up' /x.sh\n", clientArgs),
              "conf: line 2: \"up\" is not accepted: openvpn with privileges takes only the options that a connection"
              " needs");
    EXPECT_EQ(tunStarterRefusal("conf", "remote x\n", { "--dev", "tun", "--up", "/x.sh" }),
              "\"--up\" is not accepted: openvpn with privileges takes only the options that a connection needs");
    EXPECT_EQ(tunStarterRefusal("conf", "remote x\n", { "tun" }), "argument 1: \"tun\" is no option (no leading --)");
    EXPECT_EQ(tunStarterRefusal("conf", "remote x\n", { "--dev", "tun", "--pull" }),
              "openvpn with privileges runs only as a client: the options must hold \"client\", or \"pull\" and"
              " \"tls-client\"");
    // Root, and a null device, need no starter; and the build tree's, not set-user-ID root, is none.
    std::string error;
    EXPECT_EQ(tunStarter({ "--dev", "null" }, error), "");
    EXPECT_EQ(tunStarter(clientArgs, error), "");
    EXPECT_EQ(error, "");
    EXPECT_EQ(throughTunStarter("/p/morvil_openvpn_tun", { "/usr/sbin/openvpn", "--config", "c" }),
              (Args { "/p/morvil_openvpn_tun", std::to_string(getpid()), "--config", "c" }));
}

namespace {

// A software P-256 key standing in for the token: its signatures are checked like openvpn would.
class SoftwareKey
{
public:
    SoftwareKey()
        : mOwner(EC_KEY_new_by_curve_name(NID_X9_62_prime256v1))
        , mKey(mOwner.get())
    {
        EC_KEY_generate_key(mKey);
    }

    std::optional<Octets> sign(const Octets& digest) const
    {
        Octets signature(static_cast<std::size_t>(ECDSA_size(mKey)));
        unsigned int length = 0;
        ECDSA_sign(0, digest.data(), static_cast<int>(digest.size()), signature.data(), &length, mKey);
        signature.resize(length);
        return signature;
    }
    bool verifies(const Octets& digest, const Octets& signature) const
    {
        return ECDSA_verify(0, digest.data(), static_cast<int>(digest.size()), signature.data(),
                            static_cast<int>(signature.size()), mKey)
            == 1;
    }

private:
    morvil::OpenSslOwner<EC_KEY, EC_KEY_free> mOwner;
    EC_KEY* mKey; // borrowed from mOwner
};

// The base64 between "pk-sig\n" and "END\n" of an answer, decoded.
std::optional<Octets> signatureOf(const std::string& answer)
{
    if (!answer.starts_with("pk-sig\n") || !answer.ends_with("END\n")) {
        return std::nullopt;
    }
    std::string text = answer.substr(7, answer.size() - 11);
    std::erase(text, '\n');
    return fromBase64(text);
}

} // namespace

// A dialogue whose announcements the test reads.
struct Dialogue
{
    explicit Dialogue(DigestSigner signer)
        : talk(std::move(signer), [this](const std::string& line) { announced.push_back(line); })
    {
    }
    std::vector<std::string> announced;
    ManagementDialogue talk;
};

TEST(OpenVpnManagement, SignsEachRequest)
{
    SoftwareKey key;
    Dialogue dialogue([&key](const Octets& digest) { return key.sign(digest); });
    ManagementDialogue& talk = dialogue.talk;
    EXPECT_EQ(ManagementDialogue::greeting(), "version 3\nstate on\n");
    EXPECT_EQ(talk.take(">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n", 0), "");
    // Lines arrive in pieces.
    EXPECT_EQ(talk.take(">HOLD:Waiting for hold ", 0), "");
    EXPECT_EQ(talk.take("release:0\r\nSUCCESS: version set to 3\r\n", 0), "hold release\n");

    const Octets digest(32, 0x5a);
    const std::string request = ">PK_SIGN:" + toBase64(digest) + ",ECDSA\r\n";
    std::string answer = talk.take(request.substr(0, 20), 1);
    EXPECT_EQ(answer, "");
    answer = talk.take(request.substr(20), 1);
    const std::optional<Octets> signature = signatureOf(answer);
    ASSERT_TRUE(signature) << answer;
    EXPECT_TRUE(key.verifies(digest, *signature));
    // Renegotiation asks again; the answer is signed anew.
    const Octets other(48, 0x11);
    ASSERT_TRUE(signatureOf(talk.take(">PK_SIGN:" + toBase64(other) + ",ECDSA\n", 2)));
    EXPECT_EQ(talk.signatures(), 2);
    EXPECT_EQ(talk.failures(), 0);
    EXPECT_TRUE(dialogue.announced.empty());
}

// openvpn says in each hold notice how long it would pause on its own before the next try; the
// release waits as long. At start the wait is 0.
TEST(OpenVpnManagement, ReleasesAHoldOnlyWhenOpenVpnAloneWouldGoOn)
{
    Dialogue dialogue([](const Octets&) { return std::nullopt; });
    ManagementDialogue& talk = dialogue.talk;
    EXPECT_EQ(talk.take(">HOLD:Waiting for hold release:0\r\n", 100), "hold release\n");
    EXPECT_EQ(talk.nextDue(), std::nullopt);
    EXPECT_EQ(talk.due(1000), "");

    EXPECT_EQ(talk.take(">HOLD:Waiting for hold release:16\r\n", 200), "");
    EXPECT_EQ(talk.nextDue(), 216.0);
    EXPECT_EQ(talk.due(215.9), "");
    EXPECT_EQ(talk.take(">STATE:1796823055,WAIT,,,,,,\r\n", 215.95), "");
    EXPECT_EQ(talk.take(">STATE:1796823055,WAIT,,,,,,\r\n", 216), "hold release\n");
    EXPECT_EQ(talk.due(300), "");

    // A notice that does not say, or says it oddly: openvpn's default pause of a second.
    for (const char* notice : { ">HOLD:Waiting for hold release", ">HOLD:Waiting for hold release:-3",
                                ">HOLD:Waiting for hold release:2x", ">HOLD:Waiting for hold release:" }) {
        SCOPED_TRACE(notice);
        EXPECT_EQ(talk.take(std::string(notice) + "\n", 400), "");
        EXPECT_EQ(talk.nextDue(), 401.0);
        EXPECT_EQ(talk.due(401), "hold release\n");
    }

    // The last notice counts; a new connection drops a release still waiting and half a line.
    talk.take(">HOLD:Waiting for hold release:8\n", 500);
    talk.take(">HOLD:Waiting for hold release:2\n>HOLD:Waiting", 500);
    EXPECT_EQ(talk.nextDue(), 502.0);
    talk.restart();
    EXPECT_EQ(talk.nextDue(), std::nullopt);
    EXPECT_EQ(talk.take(" for hold release:0\n", 600), "");
    EXPECT_EQ(talk.due(700), "");
}

// Only openvpn's report of its state says the tunnel is up; a line of its log that quotes a
// server, or a pushed echo, never does.
TEST(OpenVpnManagement, AnnouncesTheTunnelWhenOpenVpnReportsItUp)
{
    Dialogue dialogue([](const Octets&) { return std::nullopt; });
    ManagementDialogue& talk = dialogue.talk;
    for (const char* line :
         { ">STATE:1796823055,WAIT,,,,,,", ">STATE:1796823055,AUTH,,,,,,",
           ">STATE:1796823055,RECONNECTING,tls-error,,,,,",
           ">LOG:1796823055,,VERIFY ERROR: depth=0, error=self-signed certificate: CN=Initialization Sequence "
           "Completed",
           ">ECHO:1796823055,Initialization Sequence Completed", "Initialization Sequence Completed",
           ">STATE:1796823055,CONNECTING,SUCCESS", ">STATE:1796823055,CONNECTED", ">STATE:CONNECTED,SUCCESS",
           ">STATE:1796823055,CONNECTED,Initialization Sequence Completed" }) {
        EXPECT_EQ(talk.take(std::string(line) + "\r\n", 0), "");
    }
    EXPECT_TRUE(dialogue.announced.empty());
    talk.take(">STATE:1796823060,CONNECTED,SUCCESS,10.8.0.2,127.0.0.1,1194,,\r\n", 0);
    EXPECT_EQ(dialogue.announced, (Args { "Initialization Sequence Completed" }));
    talk.take(">STATE:1796823070,RECONNECTING,ping-restart,,,,,\r\n>STATE:1796823075,CONNECTED,ERROR,10.8.0.2\n", 0);
    EXPECT_EQ(dialogue.announced,
              (Args { "Initialization Sequence Completed", "Initialization Sequence Completed With Errors" }));
}

TEST(OpenVpnManagement, AnswersWhatItCannotSignWithAnEmptySignature)
{
    bool asked = false;
    Dialogue dialogue([&asked](const Octets&) {
        asked = true;
        return std::optional<Octets>();
    });
    ManagementDialogue& talk = dialogue.talk;
    // Not ECDSA, not base64, not a digest's size, or base64 that is not the one way to write it.
    testing::internal::CaptureStderr();
    for (const std::string& request :
         { toBase64(Octets(32, 1)) + ",RSA_PKCS1_PADDING", std::string("not base64!,ECDSA"), std::string("====,ECDSA"),
           std::string(",ECDSA"), toBase64(Octets(31, 1)) + ",ECDSA", toBase64(Octets(33, 1)) + ",ECDSA",
           toBase64(Octets(0, 1)) + ",ECDSA", " " + toBase64(Octets(32, 1)) + ",ECDSA",
           toBase64(Octets(32, 1)).replace(4, 1, "=") + ",ECDSA", toBase64(Octets(30, 1)) + "====,ECDSA" }) {
        SCOPED_TRACE(request);
        EXPECT_EQ(talk.take(">PK_SIGN:" + request + "\n", 0), "pk-sig\nEND\n");
    }
    EXPECT_FALSE(asked);
    EXPECT_EQ(talk.take(">PK_SIGN:" + toBase64(Octets(32, 1)) + ",ECDSA\n", 0), "pk-sig\nEND\n");
    EXPECT_TRUE(asked);
    EXPECT_EQ(talk.failures(), 11);
    EXPECT_EQ(talk.signatures(), 0);
    // Each refusal says why, in the pane.
    std::string notDigest;
    for (int i = 0; i < 9; ++i) {
        notDigest += "morvil_openvpn: openvpn asked to sign something that is not a digest in base64\n";
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvil_openvpn: the token key cannot make a \"RSA_PKCS1_PADDING\" signature\n" + notDigest
                  + "morvil_openvpn: the token did not sign (see the engine log)\n");
}

TEST(OpenVpnManagement, Base64IsReadOnlyAsWritten)
{
    for (std::size_t size : { 1, 2, 3, 20, 32, 64 }) {
        Octets octets(size);
        for (std::size_t i = 0; i < size; ++i) {
            octets[i] = static_cast<unsigned char>(0xf0 + i * 37);
        }
        EXPECT_EQ(fromBase64(toBase64(octets)), octets) << size;
    }
    EXPECT_EQ(fromBase64("QUJD"), (Octets { 'A', 'B', 'C' }));
    EXPECT_EQ(fromBase64("QQ=="), (Octets { 'A' }));
    // Bits that the last character may not carry, padding inside or too much of it, blanks, a
    // character outside the alphabet.
    for (const char* text : { "", "QR==", "QUI=QUI=", "Q===", "====", "QUJD    ", "  QUJD  ", "QUJ", "QU=D", "QU!D" }) {
        EXPECT_EQ(fromBase64(text), std::nullopt) << text;
    }
}

namespace {

std::optional<Pin> pinFromPipe(const std::string& input)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    std::optional<Pin> pin = Pin::read(fds[0], 8);
    close(fds[0]);
    return pin;
}

} // namespace

TEST(OpenVpnPin, ReadsOneLineOfAtMostEightOctets)
{
    auto fromPipe = [](const std::string& input) {
        std::optional<Pin> pin = pinFromPipe(input);
        return pin ? std::optional<std::string>(std::string(pin->c_str(), pin->size())) : std::nullopt;
    };
    EXPECT_EQ(fromPipe("12:34:56\nrest"), "12:34:56");
    EXPECT_EQ(fromPipe("1234"), "1234");
    // The empty PIN is a PIN; no line at all is none.
    EXPECT_EQ(fromPipe("\n"), "");
    EXPECT_EQ(fromPipe("\nrest"), "");
    EXPECT_EQ(fromPipe(""), std::nullopt);
    EXPECT_EQ(fromPipe("123456789\n"), std::nullopt);
    EXPECT_EQ(Pin::read(-1, 8), std::nullopt); // a descriptor that cannot be read
}

// Moving hands the buffer over: the PIN octets stay where they were read, once, and are wiped
// there when the PIN goes, by assignment or at its end.
TEST(OpenVpnPin, StaysInOneBufferAndIsWipedThere)
{
    std::optional<Pin> read = pinFromPipe("7:31\n");
    ASSERT_TRUE(read);
    const char* where = read->c_str();
    Pin moved = std::move(*read);
    EXPECT_EQ(moved.c_str(), where);
    EXPECT_STREQ(moved.c_str(), "7:31");
    EXPECT_TRUE(read->empty());
    {
        const WipeWatch watch;
        read.reset();
        EXPECT_FALSE(watch.wiped(where, 5)); // the emptied one held nothing
        moved = Pin();
        EXPECT_TRUE(watch.wiped(where, 5));
    }

    std::optional<Pin> other = pinFromPipe("9:99\n");
    ASSERT_TRUE(other);
    where = other->c_str();
    const WipeWatch watch;
    other.reset();
    EXPECT_TRUE(watch.wiped(where, 5));
}

// The private directory: for us alone, each file written whole and once, all of it gone with it.
TEST(OpenVpnPrivateDir, WritesWholeFilesOrSaysWhyAndLeavesNothing)
{
    std::string error;
    std::string path;
    {
        PrivateDir dir;
        ASSERT_TRUE(dir.make(error)) << error;
        path = dir.path();
        struct stat info
        {
        };
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_TRUE(dir.writeFile("conf", "remote x\nverb 3\n", error)) << error;
        std::ostringstream text;
        text << std::ifstream(path + "/conf").rdbuf();
        EXPECT_EQ(text.str(), "remote x\nverb 3\n");
        EXPECT_FALSE(dir.writeFile("conf", "other\n", error));
        EXPECT_EQ(error, "cannot write " + path + "/conf: File exists");

        // A file that cannot be written whole (here: larger than the process may write).
        rlimit before {};
        getrlimit(RLIMIT_FSIZE, &before);
        const rlimit small { 4, before.rlim_max };
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool written = dir.writeFile("big", "more than four octets", error);
        setrlimit(RLIMIT_FSIZE, &before);
        signal(SIGXFSZ, SIG_DFL);
        EXPECT_FALSE(written);
        EXPECT_EQ(error, "cannot write " + path + "/big: File too large");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}
