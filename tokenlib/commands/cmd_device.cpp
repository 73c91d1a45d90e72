// Commands that manage the token itself: initialisation, configuration, information, PINs,
// unlocking and erasing.
#include "commands/command.h"
#include "protocol.h"

#include <cstring>

using zr40nn::Command;
using namespace zr40nn::protocol;

namespace {

// Octets of the information answer, status octet included.
constexpr int kInfoAnswerLength = 25;

void storeDeviceInfo(DEV_ZR40NN_info_t& info, const unsigned char* a)
{
    info.info = a[1];
    std::memcpy(info.name, a + 3, DEV_ZR40NN_NAME_LEN);
    info.name[DEV_ZR40NN_NAME_LEN] = '\0';
    info.so_pin_trys = a[13];
    info.user_pin_trys = a[14];
    info.so_pin_limit = a[15];
    info.user_pin_limit = a[16];
    info.main_ver = a[17];
    info.sub_ver = a[18];
    info.public_mem = a[19] << 8 | a[20];
    info.public_objs = info.public_mem / DEV_ZR40NN_OBJ_SIZE;
    info.keys_num = a[21];
    info.ecc_num = a[22];
    info.ecc_params = DEV_ZR40NN_get_ecc_params(a[23] << 8 | a[24]);
}

// A command whose only argument is the SO PIN (unlocking, erasing).
int runWithSoPin(DEV_ZR40NN_t* ut, const char* function, std::uint8_t code, const char* soPin)
{
    Command cmd(ut, function, code);
    if (zr40nn::pinTooLong(soPin)) {
        return cmd.fail(DEV_ZR40NN_ERR_RANGE, kMsgPinTooLong);
    }
    cmd.octet(kSoPinId).pin(soPin);
    return cmd.run();
}

} // namespace

extern "C" {

int DEV_ZR40NN_cmd_dev_init(DEV_ZR40NN_t* ut)
{
    Command cmd(ut, __func__, kCmdDevInit);
    return cmd.run();
}

int DEV_ZR40NN_cmd_dev_conf(DEV_ZR40NN_t* ut)
{
    // The configuration carries both new PINs: it is wiped whatever the outcome.
    zr40nn::ScopedWipe wipeConf(&ut->conf, sizeof(ut->conf));
    const DEV_ZR40NN_conf_t& conf = ut->conf;

    Command cmd(ut, __func__, kCmdDevConf);
    cmd.octet(conf.info & kStateSoMayNotChangeUserPin).octet(kReserved);
    cmd.text(conf.name, DEV_ZR40NN_NAME_LEN).octet(kReserved).octet(kReserved);
    cmd.octet(conf.so_pin_limit).octet(conf.user_pin_limit);
    // The PIN fields of the record are already in wire form (8 octets, NUL-padded).
    cmd.bytes(reinterpret_cast<const unsigned char*>(conf.so_pin), DEV_ZR40NN_PIN_LEN);
    cmd.bytes(reinterpret_cast<const unsigned char*>(conf.user_pin), DEV_ZR40NN_PIN_LEN);
    return cmd.run();
}

int DEV_ZR40NN_cmd_read_dev_info(DEV_ZR40NN_t* ut)
{
    Command cmd(ut, __func__, kCmdReadDevInfo);
    zr40nn::FrameBuffer answer {};
    if (const int result = cmd.exchangeExact(answer, kInfoAnswerLength); result < 0) {
        return result; // the record keeps what it had
    }
    storeDeviceInfo(ut->info, answer.data());
    if (ut->info.ecc_params == nullptr) {
        return cmd.fail(DEV_ZR40NN_ERR_NOT_SUPPORTED, "received ECC domain paramethers are not supported");
    }
    return 0;
}

int DEV_ZR40NN_cmd_try_pin(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId)
{
    // No length check here: a longer PIN is cut to its first 8 octets.
    Command cmd(ut, __func__, kCmdTryPin);
    cmd.octet(pinId).pin(pin);
    return cmd.run();
}

int DEV_ZR40NN_cmd_change_user_pin(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, const char* newPin)
{
    Command cmd(ut, __func__, kCmdChangeUserPin);
    if (zr40nn::pinTooLong(pin) || zr40nn::pinTooLong(newPin)) {
        return cmd.fail(DEV_ZR40NN_ERR_RANGE, kMsgPinTooLong);
    }
    cmd.octet(pinId).pin(pin).pin(newPin);
    return cmd.run();
}

int DEV_ZR40NN_cmd_change_so_pin(DEV_ZR40NN_t* ut, const char* soPin, const char* newSoPin)
{
    Command cmd(ut, __func__, kCmdChangeSoPin);
    if (zr40nn::pinTooLong(soPin) || zr40nn::pinTooLong(newSoPin)) {
        return cmd.fail(DEV_ZR40NN_ERR_RANGE, kMsgPinTooLong);
    }
    cmd.octet(kSoPinId).pin(soPin).pin(newSoPin);
    return cmd.run();
}

int DEV_ZR40NN_cmd_dev_unlock(DEV_ZR40NN_t* ut, const char* soPin)
{
    return runWithSoPin(ut, __func__, kCmdDevUnlock, soPin);
}

int DEV_ZR40NN_cmd_dev_erase(DEV_ZR40NN_t* ut, const char* soPin)
{
    const int result = runWithSoPin(ut, __func__, kCmdDevErase, soPin);
    if (result == 0) {
        // The token has no keys any more; the file table lives in public memory and stays.
        std::memset(ut->keys, 0, sizeof(ut->keys));
    }
    return result;
}

} // extern "C"
