#include "management_dialogue.h"

#include "openvpn_tool_interface.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace morvil::openvpn_tool {

namespace {

// Version 3 makes openvpn name the signature algorithm in each request; "state on" has it report
// each change of its state, the tunnel coming up among them.
constexpr std::string_view kGreeting = "version 3\nstate on\n";
constexpr std::string_view kHoldNotice = ">HOLD:";
constexpr std::string_view kHoldRelease = "hold release\n";
constexpr std::string_view kSignRequest = ">PK_SIGN:";
constexpr std::string_view kStateNotice = ">STATE:";
constexpr std::string_view kEcdsa = "ECDSA";
// A hold notice that does not say how long openvpn would pause: its default pause before a new try.
constexpr int kDefaultHoldSeconds = 1;
// openvpn reads the answer's base64 in lines; 64 characters each, like PEM.
constexpr std::size_t kLineWidth = 64;
// What openvpn asks the token to sign is a digest: SHA-1, SHA-224, SHA-256, SHA-384 or SHA-512.
constexpr std::array<std::size_t, 5> kDigestSizes = { 20, 28, 32, 48, 64 };

// The comma-separated fields of a line.
std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t comma = line.find(',');
        fields.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(comma + 1);
    }
}

} // namespace

std::string toBase64(const Octets& octets)
{
    std::string text(4 * ((octets.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), octets.data(),
                                       static_cast<int>(octets.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::optional<Octets> fromBase64(std::string_view text)
{
    const std::size_t padding = text.size() - std::min(text.size(), text.find_last_not_of('=') + 1);
    if (text.empty() || text.size() % 4 != 0 || padding > 2) {
        return std::nullopt;
    }
    Octets octets(text.size() / 4 * 3);
    const int length = EVP_DecodeBlock(octets.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock counts the padding as zero octets, and passes over blanks, a padding that is
    // not at the end and bits the last character should not have: only the text that these octets
    // encode to is theirs.
    octets.resize(static_cast<std::size_t>(length) - padding);
    if (toBase64(octets) != text) {
        return std::nullopt;
    }
    return octets;
}

ManagementDialogue::ManagementDialogue(DigestSigner signer, Announcer announce)
    : mSigner(std::move(signer))
    , mAnnounce(std::move(announce))
{
}

std::string ManagementDialogue::greeting()
{
    return std::string(kGreeting);
}

void ManagementDialogue::restart()
{
    mPending.clear();
    mReleaseAt.reset();
}

std::string ManagementDialogue::take(std::string_view received, double now)
{
    mPending.append(received);
    std::string answer;
    std::size_t end;
    while ((end = mPending.find('\n')) != std::string::npos) {
        std::string line = mPending.substr(0, end);
        mPending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        answer += answerLine(line, now);
    }
    return answer + due(now);
}

std::string ManagementDialogue::due(double now)
{
    if (!mReleaseAt || now < *mReleaseAt) {
        return {};
    }
    mReleaseAt.reset();
    return std::string(kHoldRelease);
}

std::string ManagementDialogue::answerLine(const std::string& line, double now)
{
    if (line.starts_with(kHoldNotice)) {
        holdUntil(line, now);
    } else if (line.starts_with(kSignRequest)) {
        return answerSignRequest(line.substr(kSignRequest.size()));
    } else if (line.starts_with(kStateNotice)) {
        announceState(line.substr(kStateNotice.size()));
    }
    return {};
}

// openvpn holds at start and again before each new try, and says how long it would pause on its
// own before that try ("Waiting for hold release:N"): the release waits as long, so a connection
// that keeps failing tries, signs and logs no more often than openvpn alone would.
void ManagementDialogue::holdUntil(const std::string& notice, double now)
{
    const std::size_t colon = notice.rfind(':');
    const char* first = notice.data() + colon + 1;
    const char* last = notice.data() + notice.size();
    int seconds = 0;
    const auto [end, error] = std::from_chars(first, last, seconds);
    if (colon < kHoldNotice.size() || error != std::errc() || end != last || seconds < 0) {
        seconds = kDefaultHoldSeconds;
    }
    mReleaseAt = now + seconds;
}

// "<time>,<state>,<detail>,...": CONNECTED comes once the tunnel is up, with SUCCESS or, when some
// settings failed, ERROR; openvpn prints "Initialization Sequence Completed" then, and " With
// Errors" after it for the second. That line of openvpn's cannot tell us anything: a server can
// have it quoted beside its own text.
void ManagementDialogue::announceState(const std::string& state)
{
    const std::vector<std::string_view> fields = fieldsOf(state);
    if (fields.size() < 3 || fields[1] != "CONNECTED") {
        return;
    }
    if (fields[2] == "SUCCESS") {
        mAnnounce(kUpAnnouncement);
    } else if (fields[2] == "ERROR") {
        mAnnounce(std::string(kUpAnnouncement) + " With Errors");
    }
}

std::string ManagementDialogue::answerSignRequest(const std::string& request)
{
    // "<base64 digest>,<algorithm>"; the token makes ECDSA signatures only.
    const std::size_t comma = request.find(',');
    const std::string algorithm = comma == std::string::npos ? std::string() : request.substr(comma + 1);
    const std::optional<Octets> digest = fromBase64(std::string_view(request).substr(0, comma));
    std::optional<Octets> signature;
    if (!digest || std::find(kDigestSizes.begin(), kDigestSizes.end(), digest->size()) == kDigestSizes.end()) {
        std::fprintf(stderr, "morvil_openvpn: openvpn asked to sign something that is not a digest in base64\n");
    } else if (!algorithm.starts_with(kEcdsa)) {
        std::fprintf(stderr, "morvil_openvpn: the token key cannot make a \"%s\" signature\n", algorithm.c_str());
    } else {
        signature = mSigner(*digest);
        if (!signature) {
            std::fprintf(stderr, "morvil_openvpn: the token did not sign (see the engine log)\n");
        }
    }
    // An empty answer fails this handshake at once instead of leaving openvpn waiting.
    std::string answer = "pk-sig\n";
    if (signature) {
        ++mSignatures;
        const std::string text = toBase64(*signature);
        for (std::size_t at = 0; at < text.size(); at += kLineWidth) {
            answer += text.substr(at, kLineWidth) + '\n';
        }
    } else {
        ++mFailures;
    }
    return answer + "END\n";
}

} // namespace morvil::openvpn_tool
