#include "dev_zr40nn_threads.h"

#include <cstring>

namespace {

unsigned char pinIdOctet(int pinId)
{
    return static_cast<unsigned char>(pinId);
}

} // namespace

DEV_ZR40NN_thread_lib_refresh::DEV_ZR40NN_thread_lib_refresh()
    : DEV_ZR40NN_thread(nullptr)
{
}

void DEV_ZR40NN_thread_lib_refresh::run()
{
    // A failed search leaves the list as it was; reading state would then mean nothing.
    const int found = DEV_ZR40NN_lib_find_devices();
    setStatus(found < 0 ? found : DEV_ZR40NN_lib_actualize_devices());
}

// The device-command workers call the library only with a device record.
#define MORVIL_RUN_ON_DEVICE(call)                                                                                     \
    if (mUt == nullptr) {                                                                                              \
        setStatus(DEV_ZR40NN_ERR_UNDEFINED);                                                                           \
        return;                                                                                                        \
    }                                                                                                                  \
    setStatus(call)

void DEV_ZR40NN_thread_cmd_dev_init::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_dev_init(mUt));
}
void DEV_ZR40NN_thread_cmd_dev_conf::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_dev_conf(mUt));
}
void DEV_ZR40NN_thread_cmd_read_dev_info::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_read_dev_info(mUt));
}
void DEV_ZR40NN_thread_fs_get_file_list::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_fs_get_file_list(mUt));
}

DEV_ZR40NN_thread_cmd_read_key_info::DEV_ZR40NN_thread_cmd_read_key_info(DEV_ZR40NN_t* ut, int keyNum)
    : DEV_ZR40NN_thread(ut)
    , mKeyNum(keyNum)
{
}

void DEV_ZR40NN_thread_cmd_read_key_info::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_read_key_info(mUt, mKeyNum));
}

DEV_ZR40NN_thread_cmd_read_public_obj::DEV_ZR40NN_thread_cmd_read_public_obj(DEV_ZR40NN_t* ut, int objNum)
    : DEV_ZR40NN_thread(ut)
    , mObjNum(objNum)
    , mObj(DEV_ZR40NN_OBJ_SIZE, '\0')
{
}

void DEV_ZR40NN_thread_cmd_read_public_obj::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_read_public_obj(mUt, mObjNum, reinterpret_cast<unsigned char*>(mObj.data())));
}

DEV_ZR40NN_thread_cmd_rbg_generate_bits::DEV_ZR40NN_thread_cmd_rbg_generate_bits(DEV_ZR40NN_t* ut, int octets)
    : DEV_ZR40NN_thread(ut)
    , mOctets(octets)
    , mBuffer(octets, '\0')
{
}

void DEV_ZR40NN_thread_cmd_rbg_generate_bits::copyBuffer(char* buffer) const
{
    std::memcpy(buffer, mBuffer.constData(), static_cast<std::size_t>(mOctets));
}

void DEV_ZR40NN_thread_cmd_rbg_generate_bits::run()
{
    MORVIL_RUN_ON_DEVICE(
        DEV_ZR40NN_cmd_rbg_generate_bits(mUt, reinterpret_cast<unsigned char*>(mBuffer.data()), mOctets));
}

DEV_ZR40NN_thread_cmd_dev_unlock::DEV_ZR40NN_thread_cmd_dev_unlock(DEV_ZR40NN_t* ut, const char* pin)
    : DEV_ZR40NN_thread(ut)
    , mPin(pin)
{
}

void DEV_ZR40NN_thread_cmd_dev_unlock::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_dev_unlock(mUt, mPin));
}

DEV_ZR40NN_thread_cmd_dev_erase::DEV_ZR40NN_thread_cmd_dev_erase(DEV_ZR40NN_t* ut, const char* pin)
    : DEV_ZR40NN_thread(ut)
    , mPin(pin)
{
}

void DEV_ZR40NN_thread_cmd_dev_erase::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_dev_erase(mUt, mPin));
}

DEV_ZR40NN_thread_cmd_change_so_pin::DEV_ZR40NN_thread_cmd_change_so_pin(DEV_ZR40NN_t* ut, const char* pin,
                                                                         const char* newPin)
    : DEV_ZR40NN_thread(ut)
    , mPin(pin)
    , mNewPin(newPin)
{
}

void DEV_ZR40NN_thread_cmd_change_so_pin::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_change_so_pin(mUt, mPin, mNewPin));
}

DEV_ZR40NN_thread_cmd_ecdsa_sign::DEV_ZR40NN_thread_cmd_ecdsa_sign(DEV_ZR40NN_t* ut, const char* pin, int keyNum,
                                                                   const char* digest, int digestLen)
    : DEV_ZR40NN_thread(ut)
    , mKeyNum(keyNum)
    , mDigestLen(digestLen)
    , mPin(pin)
    , mDigest(digest)
    , mSignature(kSignatureCapacity, '\0')
{
}

void DEV_ZR40NN_thread_cmd_ecdsa_sign::run()
{
    MORVIL_RUN_ON_DEVICE(
        DEV_ZR40NN_cmd_ecdsa_sign(mUt, mPin, mKeyNum, reinterpret_cast<unsigned char*>(mSignature.data()),
                                  kSignatureCapacity, reinterpret_cast<const unsigned char*>(mDigest), mDigestLen));
    if (mStatus > 0) {
        mSignature.truncate(mStatus);
    }
}

DEV_ZR40NN_thread_cmd_change_user_pin::DEV_ZR40NN_thread_cmd_change_user_pin(DEV_ZR40NN_t* ut, const char* pin,
                                                                             int pinId, const char* newPin)
    : DEV_ZR40NN_thread(ut)
    , mPinId(pinId)
    , mPin(pin)
    , mNewPin(newPin)
{
}

void DEV_ZR40NN_thread_cmd_change_user_pin::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_change_user_pin(mUt, mPin, pinIdOctet(mPinId), mNewPin));
}

DEV_ZR40NN_thread_cmd_generate_key::DEV_ZR40NN_thread_cmd_generate_key(DEV_ZR40NN_t* ut, const char* pin, int pinId,
                                                                       const char* keyName, int keyNum)
    : DEV_ZR40NN_thread(ut)
    , mPinId(pinId)
    , mKeyNum(keyNum)
    , mPin(pin)
    , mKeyName(keyName)
{
}

void DEV_ZR40NN_thread_cmd_generate_key::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_generate_key(mUt, mPin, pinIdOctet(mPinId), mKeyName, mKeyNum));
}

DEV_ZR40NN_thread_cmd_delete_key::DEV_ZR40NN_thread_cmd_delete_key(DEV_ZR40NN_t* ut, const char* pin, int pinId,
                                                                   int keyNum)
    : DEV_ZR40NN_thread(ut)
    , mPinId(pinId)
    , mKeyNum(keyNum)
    , mPin(pin)
{
}

void DEV_ZR40NN_thread_cmd_delete_key::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_delete_key(mUt, mPin, pinIdOctet(mPinId), mKeyNum));
}

DEV_ZR40NN_thread_cmd_write_public_obj::DEV_ZR40NN_thread_cmd_write_public_obj(DEV_ZR40NN_t* ut, const char* pin,
                                                                               int pinId, int objNum, const char* obj)
    : DEV_ZR40NN_thread(ut)
    , mPinId(pinId)
    , mObjNum(objNum)
    , mPin(pin)
    , mObj(obj)
{
}

void DEV_ZR40NN_thread_cmd_write_public_obj::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_write_public_obj(mUt, mPin, pinIdOctet(mPinId), mObjNum,
                                                         reinterpret_cast<const unsigned char*>(mObj)));
}

DEV_ZR40NN_thread_cmd_try_pin::DEV_ZR40NN_thread_cmd_try_pin(DEV_ZR40NN_t* ut, const char* pin, int pinId)
    : DEV_ZR40NN_thread(ut)
    , mPinId(pinId)
    , mPin(pin)
{
}

void DEV_ZR40NN_thread_cmd_try_pin::run()
{
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_cmd_try_pin(mUt, mPin, pinIdOctet(mPinId)));
}

DEV_ZR40NN_thread_file_open::DEV_ZR40NN_thread_file_open(DEV_ZR40NN_t* ut, const char* fileName)
    : DEV_ZR40NN_thread(ut)
    , mFileName(fileName)
{
}

void DEV_ZR40NN_thread_file_open::run()
{
    if (mUt != nullptr) {
        mFileHandle = DEV_ZR40NN_file_open(mUt, mFileName);
    }
    setStatus(mFileHandle != nullptr ? 0 : DEV_ZR40NN_ERR_UNDEFINED);
}

DEV_ZR40NN_thread_file_flush::DEV_ZR40NN_thread_file_flush(DEV_ZR40NN_t* ut, DEV_ZR40NN_file_t* fd, const char* pin,
                                                           int pinId)
    : DEV_ZR40NN_thread(ut)
    , mPinId(pinId)
    , mPin(pin)
    , mFileHandle(fd)
{
}

void DEV_ZR40NN_thread_file_flush::run()
{
    if (mFileHandle == nullptr) {
        setStatus(DEV_ZR40NN_ERR_UNDEFINED);
        return;
    }
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_file_flush(mFileHandle, mPin, pinIdOctet(mPinId)));
}

DEV_ZR40NN_thread_file_delete::DEV_ZR40NN_thread_file_delete(DEV_ZR40NN_t* ut, DEV_ZR40NN_file_t* fd, const char* pin,
                                                             int pinId)
    : DEV_ZR40NN_thread(ut)
    , mPinId(pinId)
    , mPin(pin)
    , mFileHandle(fd)
{
}

void DEV_ZR40NN_thread_file_delete::run()
{
    if (mFileHandle == nullptr) {
        setStatus(DEV_ZR40NN_ERR_UNDEFINED);
        return;
    }
    MORVIL_RUN_ON_DEVICE(DEV_ZR40NN_file_delete(mFileHandle, mPin, pinIdOctet(mPinId)));
}
