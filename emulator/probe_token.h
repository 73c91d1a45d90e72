// The probe's token side: the request frames of the commands it uses and the answers it reads.
#pragma once

#include "probe_link.h"

#include <string>

namespace zr40nn::probe {

// The token answered 0x80, status.
class TokenRefused : public std::runtime_error
{
public:
    explicit TokenRefused(int status);
    int status() const { return mStatus; }

private:
    int mStatus;
};

struct DeviceInfo
{
    int state = 0;
    std::string name;
    int soTries = 0, userTries = 0, soLimit = 0, userLimit = 0;
    int mainVersion = 0, subVersion = 0;
    int publicMemory = 0;
    int keysNum = 0;
    int curves = 0;
    int curveId = 0;
};

struct KeySlot
{
    int state = 0; // bit 0x01: a key is present
    int curveId = 0;
    std::string name;
    Bytes x, y; // the device curve's field size each
};

constexpr int kSoPinId = 0;
constexpr int kUserPinId = 1;

// A curve the token names by id (bit length times ten).
struct Curve
{
    int id;
    int fieldOctets; // length of one public point coordinate
    const char* name; // SEC 2 name
    const char* group; // OpenSSL's name
};

// The curve with that id, or null for one the probe does not know.
const Curve* findCurve(int curveId);

DeviceInfo readInfo(Link& link);
KeySlot readKeySlot(Link& link, int slot, int curveId);
void initialise(Link& link);
void configure(Link& link, const std::string& name, const std::string& soPin, const std::string& userPin, int soLimit,
               int userLimit);
void tryPin(Link& link, int pinId, const std::string& pin);
void generateKey(Link& link, const std::string& userPin, int slot, int curveId, const std::string& keyName);
// The DER ECDSA signature of the digest with the key in `slot`.
Bytes sign(Link& link, const std::string& userPin, int slot, const Bytes& digest);

} // namespace zr40nn::probe
