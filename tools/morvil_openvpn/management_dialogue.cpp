#include "management_dialogue.h"

#include <openssl/evp.h>

#include <cstdio>

namespace morvil::openvpn_tool {

namespace {

// Version 3 makes openvpn name the signature algorithm in each request.
constexpr std::string_view kGreeting = "version 3\n";
constexpr std::string_view kHoldNotice = ">HOLD:";
constexpr std::string_view kHoldRelease = "hold release\n";
constexpr std::string_view kSignRequest = ">PK_SIGN:";
constexpr std::string_view kEcdsa = "ECDSA";
// openvpn reads the answer's base64 in lines; 64 characters each, like PEM.
constexpr std::size_t kLineWidth = 64;

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
    if (text.empty() || text.size() % 4 != 0) {
        return std::nullopt;
    }
    Octets octets(text.size() / 4 * 3);
    const int length = EVP_DecodeBlock(octets.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock counts the padding as zero octets.
    std::size_t padding = 0;
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) {
        ++padding;
    }
    octets.resize(static_cast<std::size_t>(length) - padding);
    return octets;
}

ManagementDialogue::ManagementDialogue(DigestSigner signer)
    : mSigner(std::move(signer))
{
}

std::string ManagementDialogue::greeting()
{
    return std::string(kGreeting);
}

std::string ManagementDialogue::take(std::string_view received)
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
        answer += answerLine(line);
    }
    return answer;
}

std::string ManagementDialogue::answerLine(const std::string& line)
{
    // openvpn holds at start and again after a restart: release it each time.
    if (line.starts_with(kHoldNotice)) {
        return std::string(kHoldRelease);
    }
    if (line.starts_with(kSignRequest)) {
        return answerSignRequest(line.substr(kSignRequest.size()));
    }
    return {};
}

std::string ManagementDialogue::answerSignRequest(const std::string& request)
{
    // "<base64 digest>,<algorithm>"; the token makes ECDSA signatures only.
    const std::size_t comma = request.find(',');
    const std::string algorithm = comma == std::string::npos ? std::string() : request.substr(comma + 1);
    const std::optional<Octets> digest = fromBase64(std::string_view(request).substr(0, comma));
    std::optional<Octets> signature;
    if (!digest) {
        std::fprintf(stderr, "morvil_openvpn: openvpn asked to sign something that is not base64\n");
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
