// Our side of openvpn's management interface (openvpn connects to us as a client): release its
// hold and answer each signing request with a signature that the token makes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvil::openvpn_tool {

using Octets = std::vector<unsigned char>;
// Signs a digest and gives the DER ECDSA-Sig-Value, or nothing when it cannot.
using DigestSigner = std::function<std::optional<Octets>(const Octets& digest)>;

class ManagementDialogue
{
public:
    explicit ManagementDialogue(DigestSigner signer);

    // What to send as soon as openvpn has connected.
    static std::string greeting();

    // Takes octets that openvpn wrote and gives what to write back (possibly nothing). Lines may
    // arrive in pieces; an incomplete line waits for the rest.
    std::string take(std::string_view received);

    // A new connection: a line left incomplete by the old one is dropped.
    void restart() { mPending.clear(); }

    // Signing requests answered so far, and those that got no signature.
    int signatures() const { return mSignatures; }
    int failures() const { return mFailures; }

private:
    std::string answerLine(const std::string& line);
    std::string answerSignRequest(const std::string& request);

    DigestSigner mSigner;
    std::string mPending;
    int mSignatures = 0;
    int mFailures = 0;
};

// Base64 without line breaks, and its inverse (nothing for text that is not base64).
std::string toBase64(const Octets& octets);
std::optional<Octets> fromBase64(std::string_view text);

} // namespace morvil::openvpn_tool
