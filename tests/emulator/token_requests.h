// Request payloads of the token's commands, built octet by octet from the frame layout, and a
// reader for the information answer: what the tests send to the token model.
#pragma once

#include "token_model.h"

#include <string>

namespace zr40nn::emu::test {

inline void putField(Bytes& out, const std::string& text, std::size_t octets)
{
    for (std::size_t i = 0; i < octets; ++i) {
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

inline void put16(Bytes& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// 00, code, PIN id, PIN (8)
inline Bytes withPin(std::uint8_t code, int pinId, const std::string& pin)
{
    Bytes r { 0x00, code, static_cast<std::uint8_t>(pinId) };
    putField(r, pin, 8);
    return r;
}

inline Bytes initRequest()
{
    return { 0x00, 0x00 };
}
inline Bytes infoRequest()
{
    return { 0x00, 0x02 };
}
inline Bytes keySlotRequest(int slot)
{
    return { 0x00, 0x03, static_cast<std::uint8_t>(slot) };
}
inline Bytes randomRequest(int count)
{
    return { 0x00, 0x05, static_cast<std::uint8_t>(count) };
}

inline Bytes configureRequest(std::uint8_t flags, const std::string& name, int soLimit, int userLimit,
                              const std::string& soPin, const std::string& userPin)
{
    Bytes r { 0x00, 0x01, flags, 0x00 };
    putField(r, name, 10);
    r.push_back(0x00);
    r.push_back(0x00);
    r.push_back(static_cast<std::uint8_t>(soLimit));
    r.push_back(static_cast<std::uint8_t>(userLimit));
    putField(r, soPin, 8);
    putField(r, userPin, 8);
    return r;
}

inline Bytes readObjectRequest(int object)
{
    Bytes r { 0x00, 0x04 };
    put16(r, object);
    return r;
}

inline Bytes changeUserPinRequest(int pinId, const std::string& pin, const std::string& newPin)
{
    Bytes r = withPin(0x2B, pinId, pin);
    putField(r, newPin, 8);
    return r;
}

inline Bytes generateKeyRequest(int pinId, const std::string& pin, int slot, int curveId, const std::string& name)
{
    Bytes r = withPin(0x2C, pinId, pin);
    r.push_back(static_cast<std::uint8_t>(slot));
    r.push_back(0x00);
    put16(r, curveId);
    putField(r, name, 21);
    return r;
}

inline Bytes deleteKeyRequest(int pinId, const std::string& pin, int slot)
{
    Bytes r = withPin(0x2D, pinId, pin);
    r.push_back(static_cast<std::uint8_t>(slot));
    return r;
}

inline Bytes writeObjectRequest(int pinId, const std::string& pin, int object, const Bytes& data)
{
    Bytes r = withPin(0x2E, pinId, pin);
    put16(r, object);
    Bytes padded = data;
    padded.resize(64, 0);
    r.insert(r.end(), padded.begin(), padded.end());
    return r;
}

inline Bytes tryPinRequest(int pinId, const std::string& pin)
{
    return withPin(0x2F, pinId, pin);
}

inline Bytes signRequest(const std::string& pin, int slot, const Bytes& digest, int pinId = 1)
{
    Bytes r = withPin(0x49, pinId, pin);
    r.push_back(static_cast<std::uint8_t>(slot));
    r.insert(r.end(), digest.begin(), digest.end());
    return r;
}

inline Bytes unlockRequest(const std::string& soPin)
{
    return withPin(0x86, 0, soPin);
}
inline Bytes eraseRequest(const std::string& soPin)
{
    return withPin(0x87, 0, soPin);
}

inline Bytes changeSoPinRequest(const std::string& soPin, const std::string& newSoPin)
{
    Bytes r = withPin(0x88, 0, soPin);
    putField(r, newSoPin, 8);
    return r;
}

inline Bytes errorAnswerOf(Status status)
{
    return { 0x80, status };
}
inline const Bytes kOk { 0x00 };

// The information answer, field by field.
struct Info
{
    int state, soTries, userTries, soLimit, userLimit, mainVer, subVer, publicMem, keysNum, eccNum, curveId;
    std::string name;
};

inline Info parseInfo(const Bytes& a)
{
    Info i {};
    i.state = a.at(1);
    i.name = std::string(a.begin() + 3, a.begin() + 13);
    i.name.resize(i.name.find('\0') == std::string::npos ? 10 : i.name.find('\0'));
    i.soTries = a.at(13);
    i.userTries = a.at(14);
    i.soLimit = a.at(15);
    i.userLimit = a.at(16);
    i.mainVer = a.at(17);
    i.subVer = a.at(18);
    i.publicMem = a.at(19) << 8 | a.at(20);
    i.keysNum = a.at(21);
    i.eccNum = a.at(22);
    i.curveId = a.at(23) << 8 | a.at(24);
    return i;
}

} // namespace zr40nn::emu::test
