// Key slot commands: reading a slot, generating and deleting a key, ECDSA signing.
#include "commands/command.h"
#include "protocol.h"

#include <algorithm>
#include <cstring>

using zr40nn::Command;
using namespace zr40nn::protocol;

namespace {

// Answer of a slot read before the point: status, state, curve (2), name (21).
constexpr int kKeyAnswerHead = 25;

bool validSlot(const DEV_ZR40NN_t* ut, int slot)
{
    return slot >= 0 && slot < ut->info.keys_num && slot < DEV_ZR40NN_KEY_SLOTS;
}

bool nameTooLong(const char* name)
{
    return name != nullptr && strnlen(name, DEV_ZR40NN_KEY_NAME_LEN + 1) > DEV_ZR40NN_KEY_NAME_LEN;
}

} // namespace

extern "C" {

int DEV_ZR40NN_cmd_read_key_info(DEV_ZR40NN_t* ut, int slot)
{
    Command cmd(ut, __func__, kCmdReadKeyInfo);
    if (!validSlot(ut, slot)) {
        return cmd.fail(DEV_ZR40NN_ERR_KEY_NUMBER, kMsgSlotOutOfRange);
    }
    // The point's length is the device curve's: without it the answer cannot be taken apart.
    const DEV_ZR40NN_ecc_params_t* curve = ut->info.ecc_params;
    if (curve == nullptr) {
        return cmd.fail(DEV_ZR40NN_ERR_NOT_INITIALIZED, kMsgNoCurve);
    }
    cmd.octet(static_cast<unsigned>(slot));

    zr40nn::FrameBuffer answer {};
    const int n = cmd.exchange(answer.data(), static_cast<int>(answer.size()));
    if (n < 0) {
        return n;
    }
    DEV_ZR40NN_key_info_t& key = ut->keys[slot];
    // A short answer leaves these octets zero: state 0, no curve.
    key.info = answer[1];
    key.ecc_params = DEV_ZR40NN_get_ecc_params(answer[2] << 8 | answer[3]);

    const int field = curve->field_octets;
    if (n != kKeyAnswerHead + 2 * field) {
        key.info = 0;
        return cmd.fail(DEV_ZR40NN_ERR_RECEIVE, "host received wrong number of key octets");
    }
    std::memcpy(key.name, answer.data() + 4, DEV_ZR40NN_KEY_NAME_LEN);
    key.name[DEV_ZR40NN_KEY_NAME_LEN] = '\0';
    std::memset(key.pub_x, 0, sizeof(key.pub_x));
    std::memset(key.pub_y, 0, sizeof(key.pub_y));
    std::memcpy(key.pub_x, answer.data() + kKeyAnswerHead, field);
    std::memcpy(key.pub_y, answer.data() + kKeyAnswerHead + field, field);
    return 0;
}

int DEV_ZR40NN_cmd_generate_key(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, const char* keyName, int slot)
{
    Command cmd(ut, __func__, kCmdGenerateKey);
    if (zr40nn::pinTooLong(pin) || pinId > kUserPinId || nameTooLong(keyName)) {
        return cmd.fail(DEV_ZR40NN_ERR_RANGE, "PIN is too long or its id is wrong or key name is too long");
    }
    if (!validSlot(ut, slot)) {
        return cmd.fail(DEV_ZR40NN_ERR_KEY_NUMBER, kMsgSlotOutOfRange);
    }
    if (ut->info.ecc_params == nullptr) {
        return cmd.fail(DEV_ZR40NN_ERR_NOT_INITIALIZED, kMsgNoCurve);
    }
    cmd.octet(pinId).pin(pin).octet(static_cast<unsigned>(slot)).octet(kReserved);
    cmd.be16(static_cast<unsigned>(ut->info.ecc_params->id)).text(keyName, DEV_ZR40NN_KEY_NAME_LEN);
    return cmd.run();
}

int DEV_ZR40NN_cmd_delete_key(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, int slot)
{
    Command cmd(ut, __func__, kCmdDeleteKey);
    if (zr40nn::pinTooLong(pin) || pinId > kUserPinId) {
        return cmd.fail(DEV_ZR40NN_ERR_RANGE, "PIN is too long or its id is wrong");
    }
    if (!validSlot(ut, slot)) {
        return cmd.fail(DEV_ZR40NN_ERR_KEY_NUMBER, "key of this number is out of range for this device");
    }
    cmd.octet(pinId).pin(pin).octet(static_cast<unsigned>(slot));
    return cmd.run();
}

int DEV_ZR40NN_cmd_ecdsa_sign(DEV_ZR40NN_t* ut, const char* pin, int slot, unsigned char* sig, int sigSize,
                              const unsigned char* digest, int digestLen)
{
    Command cmd(ut, __func__, kCmdEcdsaSign);
    if (zr40nn::pinTooLong(pin)) {
        return cmd.fail(DEV_ZR40NN_ERR_RANGE, kMsgPinTooLong);
    }
    if (!validSlot(ut, slot)) {
        return cmd.fail(DEV_ZR40NN_ERR_KEY_NUMBER, kMsgSlotOutOfRange);
    }
    if (digestLen < 0 || (digest == nullptr && digestLen > 0)) {
        return cmd.fail(DEV_ZR40NN_ERR_RANGE, "digest length is out of range");
    }
    // A longer digest is signed as its first 64 octets.
    cmd.octet(kUserPinId).pin(pin).octet(static_cast<unsigned>(slot));
    cmd.bytes(digest, static_cast<std::size_t>(std::min(digestLen, kMaxDigestOctets)));

    zr40nn::FrameBuffer answer {};
    const int n = cmd.exchange(answer.data(), static_cast<int>(answer.size()));
    if (n < 0) {
        return n;
    }
    const int sigLen = n - 1;
    if (sigLen < 1) {
        return cmd.fail(DEV_ZR40NN_ERR_RECEIVE, kMsgFrameSyntax);
    }
    if (sig == nullptr || sigLen > sigSize) {
        return cmd.fail(DEV_ZR40NN_ERR_BUFFER_TOO_SMALL, "buffer for signature is too small");
    }
    std::memcpy(sig, answer.data() + 1, static_cast<std::size_t>(sigLen));
    return sigLen;
}

} // extern "C"
