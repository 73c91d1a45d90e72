// One worker per library call. Pointer arguments (PINs, names, digests, objects) are borrowed:
// the caller waits in execWithCursor, so they outlive the call. No worker copies a PIN.
#pragma once

#include "dev_zr40nn_thread.h"

#include <QByteArray>

// Enumerates the tokens and reads their state; the status is that of the last call made.
class DEV_ZR40NN_thread_lib_refresh : public DEV_ZR40NN_thread
{
    Q_OBJECT
public:
    DEV_ZR40NN_thread_lib_refresh();

protected:
    void run() override;
};

// Workers whose call takes the device record alone.
#define MORVIL_DEVICE_WORKER(Name)                                                                                     \
    class Name : public DEV_ZR40NN_thread                                                                              \
    {                                                                                                                  \
    public:                                                                                                            \
        explicit Name(DEV_ZR40NN_t* ut)                                                                                \
            : DEV_ZR40NN_thread(ut)                                                                                    \
        {                                                                                                              \
        }                                                                                                              \
                                                                                                                       \
    protected:                                                                                                         \
        void run() override;                                                                                           \
    };

MORVIL_DEVICE_WORKER(DEV_ZR40NN_thread_cmd_dev_init)
MORVIL_DEVICE_WORKER(DEV_ZR40NN_thread_cmd_dev_conf) // sends the record's conf, which the library wipes
MORVIL_DEVICE_WORKER(DEV_ZR40NN_thread_cmd_read_dev_info)
MORVIL_DEVICE_WORKER(DEV_ZR40NN_thread_fs_get_file_list)
#undef MORVIL_DEVICE_WORKER

class DEV_ZR40NN_thread_cmd_read_key_info : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_read_key_info(DEV_ZR40NN_t* ut, int keyNum);

protected:
    void run() override;

private:
    int mKeyNum;
};

class DEV_ZR40NN_thread_cmd_read_public_obj : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_read_public_obj(DEV_ZR40NN_t* ut, int objNum);
    QByteArray obj() const { return mObj; }

protected:
    void run() override;

private:
    int mObjNum;
    QByteArray mObj;
};

class DEV_ZR40NN_thread_cmd_rbg_generate_bits : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_rbg_generate_bits(DEV_ZR40NN_t* ut, int octets);
    QByteArray buffer() const { return mBuffer; }
    void copyBuffer(char* buffer) const;

protected:
    void run() override;

private:
    int mOctets;
    QByteArray mBuffer;
};

// Commands authorised by the administrator PIN alone: unlock and erase.
class DEV_ZR40NN_thread_cmd_dev_unlock : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_dev_unlock(DEV_ZR40NN_t* ut, const char* pin);

protected:
    void run() override;

private:
    const char* mPin;
};

class DEV_ZR40NN_thread_cmd_dev_erase : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_dev_erase(DEV_ZR40NN_t* ut, const char* pin);

protected:
    void run() override;

private:
    const char* mPin;
};

class DEV_ZR40NN_thread_cmd_change_so_pin : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_change_so_pin(DEV_ZR40NN_t* ut, const char* pin, const char* newPin);

protected:
    void run() override;

private:
    const char* mPin;
    const char* mNewPin;
};

class DEV_ZR40NN_thread_cmd_ecdsa_sign : public DEV_ZR40NN_thread
{
public:
    static constexpr int kSignatureCapacity = 1024;
    DEV_ZR40NN_thread_cmd_ecdsa_sign(DEV_ZR40NN_t* ut, const char* pin, int keyNum, const char* digest, int digestLen);
    QByteArray signature() const { return mSignature; }

protected:
    void run() override;

private:
    int mKeyNum;
    int mDigestLen;
    const char* mPin;
    const char* mDigest;
    QByteArray mSignature;
};

class DEV_ZR40NN_thread_cmd_change_user_pin : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_change_user_pin(DEV_ZR40NN_t* ut, const char* pin, int pinId, const char* newPin);

protected:
    void run() override;

private:
    int mPinId;
    const char* mPin;
    const char* mNewPin;
};

class DEV_ZR40NN_thread_cmd_generate_key : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_generate_key(DEV_ZR40NN_t* ut, const char* pin, int pinId, const char* keyName, int keyNum);

protected:
    void run() override;

private:
    int mPinId;
    int mKeyNum;
    const char* mPin;
    const char* mKeyName;
};

class DEV_ZR40NN_thread_cmd_delete_key : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_delete_key(DEV_ZR40NN_t* ut, const char* pin, int pinId, int keyNum);

protected:
    void run() override;

private:
    int mPinId;
    int mKeyNum;
    const char* mPin;
};

class DEV_ZR40NN_thread_cmd_write_public_obj : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_write_public_obj(DEV_ZR40NN_t* ut, const char* pin, int pinId, int objNum, const char* obj);

protected:
    void run() override;

private:
    int mPinId;
    int mObjNum;
    const char* mPin;
    const char* mObj;
};

class DEV_ZR40NN_thread_cmd_try_pin : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_cmd_try_pin(DEV_ZR40NN_t* ut, const char* pin, int pinId);

protected:
    void run() override;

private:
    int mPinId;
    const char* mPin;
};

// Status 0 with a handle, -1 (and the device's error stack) without one.
class DEV_ZR40NN_thread_file_open : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_file_open(DEV_ZR40NN_t* ut, const char* fileName);
    DEV_ZR40NN_file_t* fileHandle() const { return mFileHandle; }

protected:
    void run() override;

private:
    const char* mFileName;
    DEV_ZR40NN_file_t* mFileHandle = nullptr;
};

// Writes an open file back to the token (made only with a record and a handle).
class DEV_ZR40NN_thread_file_flush : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_file_flush(DEV_ZR40NN_t* ut, DEV_ZR40NN_file_t* fd, const char* pin, int pinId);

protected:
    void run() override;

private:
    int mPinId;
    const char* mPin;
    DEV_ZR40NN_file_t* mFileHandle;
};

// Deletes an open file from the token, releasing the handle (made only with a record and a handle).
class DEV_ZR40NN_thread_file_delete : public DEV_ZR40NN_thread
{
public:
    DEV_ZR40NN_thread_file_delete(DEV_ZR40NN_t* ut, DEV_ZR40NN_file_t* fd, const char* pin, int pinId);

protected:
    void run() override;

private:
    int mPinId;
    const char* mPin;
    DEV_ZR40NN_file_t* mFileHandle;
};
