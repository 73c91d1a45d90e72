// Our side of openvpn's management interface (openvpn connects to us as a client): release its
// hold when openvpn itself would go on, answer each signing request with a signature that the
// token makes, and announce the tunnel when openvpn reports it up.
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
// Tells the program that started us a line (without its line feed).
using Announcer = std::function<void(const std::string& line)>;

class ManagementDialogue
{
public:
    ManagementDialogue(DigestSigner signer, Announcer announce);

    // What to send as soon as openvpn has connected.
    static std::string greeting();

    // Takes octets that openvpn wrote at `now` (seconds on a steady clock) and gives what to write
    // back (possibly nothing). Lines may arrive in pieces; an incomplete line waits for the rest.
    std::string take(std::string_view received, double now);

    // What falls due by `now`: the release of a hold whose wait is over, or nothing.
    std::string due(double now);
    // When the next answer falls due, if one waits.
    std::optional<double> nextDue() const { return mReleaseAt; }

    // A new connection: a line left incomplete by the old one and a release still waiting go.
    void restart();

    // Signing requests answered so far, and those that got no signature.
    int signatures() const { return mSignatures; }
    int failures() const { return mFailures; }

private:
    std::string answerLine(const std::string& line, double now);
    std::string answerSignRequest(const std::string& request);
    void holdUntil(const std::string& notice, double now);
    void announceState(const std::string& state);

    DigestSigner mSigner;
    Announcer mAnnounce;
    std::string mPending;
    std::optional<double> mReleaseAt;
    int mSignatures = 0;
    int mFailures = 0;
};

// Base64 without line breaks, and its inverse: nothing for text that is not canonical base64 (no
// padding, characters or spare bits where the encoding puts none).
std::string toBase64(const Octets& octets);
std::optional<Octets> fromBase64(std::string_view text);

} // namespace morvil::openvpn_tool
