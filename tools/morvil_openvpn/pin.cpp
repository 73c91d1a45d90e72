#include "pin.h"

#include <openssl/crypto.h>

#include <unistd.h>

#include <cerrno>

namespace morvil::openvpn_tool {

Pin& Pin::operator=(Pin&& other) noexcept
{
    wipe();
    mOctets = std::move(other.mOctets);
    return *this;
}

void Pin::wipe()
{
    if (mOctets.capacity() > 0) {
        OPENSSL_cleanse(mOctets.data(), mOctets.capacity());
    }
}

std::optional<Pin> Pin::read(int fd, std::size_t maxOctets)
{
    Pin pin;
    // One buffer for the whole PIN: it never grows, so it is never copied.
    pin.mOctets.reserve(maxOctets + 1);
    char octet = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &octet, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0 && pin.mOctets.empty()) {
            return std::nullopt; // no line at all, not even an empty one
        }
        if (n == 0 || octet == '\n') {
            break;
        }
        if (pin.mOctets.size() == maxOctets) {
            OPENSSL_cleanse(&octet, 1);
            return std::nullopt;
        }
        pin.mOctets.push_back(octet);
    }
    OPENSSL_cleanse(&octet, 1);
    pin.mOctets.push_back('\0');
    return pin;
}

} // namespace morvil::openvpn_tool
