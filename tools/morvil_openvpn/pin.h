// The user PIN in one heap buffer, wiped when it goes. Moving a Pin hands the buffer over, so no
// copy of its octets is left behind anywhere (a short std::string would copy them on every move).
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace morvil::openvpn_tool {

class Pin
{
public:
    Pin() = default;
    ~Pin() { wipe(); }
    Pin(Pin&& other) noexcept = default;
    Pin& operator=(Pin&& other) noexcept;
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    const char* c_str() const { return mOctets.empty() ? "" : mOctets.data(); }
    std::size_t size() const { return mOctets.empty() ? 0 : mOctets.size() - 1; }
    bool empty() const { return size() == 0; }

    // The PIN from a file descriptor: everything up to the first line feed or the end, at most
    // maxOctets; an empty line is the empty PIN. Nothing when reading fails, when the input ends
    // before anything comes, or when more octets come.
    static std::optional<Pin> read(int fd, std::size_t maxOctets);

private:
    void wipe();

    std::vector<char> mOctets; // the PIN and a closing NUL
};

} // namespace morvil::openvpn_tool
