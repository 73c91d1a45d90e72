// Request payloads of the token's commands, built octet by octet from the frame layout: what the
// tests send to the token.
#pragma once

#include "token_model.h"

#include <string>

namespace zr40nn::emu::test {

// Appends the parts in order: a text is NUL-padded (or cut) to `width`, a number of width 2 is
// big-endian, of width 1 one octet.
struct Field
{
    std::string text;
    int number = 0;
    std::size_t width = 1;
    bool isText = false;
    Field(int n, std::size_t w = 1) : number(n), width(w) { }
    Field(std::string t, std::size_t w) : text(std::move(t)), width(w), isText(true) { }
};

inline Bytes request(std::initializer_list<Field> parts)
{
    Bytes r;
    for (const Field& f : parts) {
        if (f.isText) {
            for (std::size_t i = 0; i < f.width; ++i) {
                r.push_back(i < f.text.size() ? static_cast<std::uint8_t>(f.text[i]) : 0);
            }
        } else if (f.width == 2) {
            r.push_back(static_cast<std::uint8_t>(f.number >> 8));
            r.push_back(static_cast<std::uint8_t>(f.number));
        } else {
            r.push_back(static_cast<std::uint8_t>(f.number));
        }
    }
    return r;
}

inline Field pin(const std::string& text)
{
    return { text, 8 };
}

inline Bytes initRequest() { return { 0x00, 0x00 }; }
inline Bytes infoRequest() { return { 0x00, 0x02 }; }
inline Bytes keySlotRequest(int slot) { return request({ 0, 0x03, slot }); }
inline Bytes readObjectRequest(int object) { return request({ 0, 0x04, { object, 2 } }); }
inline Bytes randomRequest(int count) { return request({ 0, 0x05, count }); }
inline Bytes tryPinRequest(int pinId, const std::string& p) { return request({ 0, 0x2F, pinId, pin(p) }); }
inline Bytes unlockRequest(const std::string& so) { return request({ 0, 0x86, 0, pin(so) }); }
inline Bytes eraseRequest(const std::string& so) { return request({ 0, 0x87, 0, pin(so) }); }

inline Bytes configureRequest(int flags, const std::string& name, int soLimit, int userLimit, const std::string& so,
                              const std::string& user)
{
    return request({ 0, 0x01, flags, 0, { name, 10 }, 0, 0, soLimit, userLimit, pin(so), pin(user) });
}

inline Bytes changeUserPinRequest(int pinId, const std::string& p, const std::string& newPin)
{
    return request({ 0, 0x2B, pinId, pin(p), pin(newPin) });
}

inline Bytes changeSoPinRequest(const std::string& so, const std::string& newSo)
{
    return request({ 0, 0x88, 0, pin(so), pin(newSo) });
}

inline Bytes generateKeyRequest(int pinId, const std::string& p, int slot, int curveId, const std::string& name)
{
    return request({ 0, 0x2C, pinId, pin(p), slot, 0, { curveId, 2 }, { name, 21 } });
}

inline Bytes deleteKeyRequest(int pinId, const std::string& p, int slot)
{
    return request({ 0, 0x2D, pinId, pin(p), slot });
}

inline Bytes writeObjectRequest(int pinId, const std::string& p, int object, Bytes data)
{
    data.resize(64, 0);
    Bytes r = request({ 0, 0x2E, pinId, pin(p), { object, 2 } });
    r.insert(r.end(), data.begin(), data.end());
    return r;
}

inline Bytes signRequest(const std::string& p, int slot, const Bytes& digest, int pinId = 1)
{
    Bytes r = request({ 0, 0x49, pinId, pin(p), slot });
    r.insert(r.end(), digest.begin(), digest.end());
    return r;
}

inline Bytes errorAnswerOf(int status)
{
    return { 0x80, static_cast<std::uint8_t>(status) };
}
inline const Bytes kOk { 0x00 };

} // namespace zr40nn::emu::test
