// What the token and its bridge agree on: frames, command codes, state bits, PIN ids, time-outs,
// and the entry texts that several commands share. Every part of the library takes these from here.
#pragma once

#include "dev_zr40nn.h"

#include <cstdint>

namespace zr40nn::protocol {

// A frame is one length octet and up to 129 payload octets.
inline constexpr int kFrameSize = 130;
inline constexpr int kMaxPayload = kFrameSize - 1;

// Every request payload starts with this octet, the command code behind it.
inline constexpr std::uint8_t kRequestLead = 0x00;
// Octets the token ignores inside a request (reserved fields).
inline constexpr std::uint8_t kReserved = 0x00;
// An error answer is this octet and the status s; the library reports it as -100 - s.
inline constexpr std::uint8_t kErrorAnswer = 0x80;
inline constexpr int kErrorAnswerLength = 2;

// Statuses of an error answer.
enum Status : std::uint8_t
{
    kStatusWrongCommand = 0,
    kStatusNotAllowed = 1,
    kStatusWrongPin = 2,
    kStatusPointNotOnCurve = 3,
    kStatusKeyNotGenerated = 4,
    kStatusOutOfRange = 5,
    kStatusFrameSyntax = 6,
    kStatusFrameSize = 7,
};

// The library's code for an error answer with status `s`.
constexpr int deviceError(int s)
{
    return DEV_ZR40NN_ERR_DEV_BASE - s;
}

// The token's commands.
enum Code : std::uint8_t
{
    kCmdDevInit = 0x00,
    kCmdDevConf = 0x01,
    kCmdReadDevInfo = 0x02,
    kCmdReadKeyInfo = 0x03,
    kCmdReadPublicObj = 0x04,
    kCmdRandom = 0x05,
    kCmdChangeUserPin = 0x2B,
    kCmdGenerateKey = 0x2C,
    kCmdDeleteKey = 0x2D,
    kCmdWritePublicObj = 0x2E,
    kCmdTryPin = 0x2F,
    kCmdEcdsaSign = 0x49,
    kCmdDevUnlock = 0x86,
    kCmdDevErase = 0x87,
    kCmdChangeSoPin = 0x88,
};

// Bits of the token's state (info of DEV_ZR40NN_info_t and DEV_ZR40NN_conf_t).
inline constexpr int kStateInitialised = DEV_ZR40NN_INFO_INITIALISED;
inline constexpr int kStateConfigured = DEV_ZR40NN_INFO_CONFIGURED;
inline constexpr int kStateLocked = DEV_ZR40NN_INFO_LOCKED;
// Set in the configuration: the SO PIN may not change the user PIN.
inline constexpr int kStateSoMayNotChangeUserPin = DEV_ZR40NN_INFO_SO_MAY_NOT_CHANGE_USER_PIN;

// Bit of a key slot's state: a key is stored.
inline constexpr int kKeySlotUsed = DEV_ZR40NN_KEY_PRESENT;

inline constexpr std::uint8_t kSoPinId = 0x00;
inline constexpr std::uint8_t kUserPinId = 0x01;

// Time-outs in milliseconds: of one USB request, of an answer, and of the answer to the
// initialisation of a blank token, which works a long while first.
inline constexpr int kUsbTimeoutMs = 7000;
inline constexpr int kAnswerTimeoutMs = 7000;
inline constexpr int kInitAnswerTimeoutMs = 40000;

// The largest coordinate of a public point the records hold (secp256r1).
inline constexpr int kMaxFieldOctets = 32;
// The longest digest the sign command takes; a longer one is signed as its first octets.
inline constexpr int kMaxDigestOctets = 64;
// The most random octets one exchange carries.
inline constexpr int kMaxRandomPerExchange = 120;
// Length of a USB string descriptor buffer in the device record.
inline constexpr int kUsbStringSize = 256;
// One file's name buffer in the record's file_names_tb: a 28-octet name, terminated, rounded up.
inline constexpr int kFileNameSlotSize = 32;
// The most sectors one file occupies.
inline constexpr int kMaxFileSectors = DEV_ZR40NN_FILE_MAX / DEV_ZR40NN_SECTOR_SIZE;

// File types: the printable bit the library sets or clears, and the type the programs give
// certificates.
inline constexpr int kFileTypePrintable = 0x01;
inline constexpr int kFileTypeCert = 0x10;

// Entry texts shared by several commands.
inline constexpr const char* kMsgPinTooLong = "PIN is too long (at most 8 characters)";
inline constexpr const char* kMsgFrameSyntax = "received frame syntax error";
inline constexpr const char* kMsgNoCurve = "ecc_params field is not initialized";
inline constexpr const char* kMsgSlotOutOfRange = "key number is out of range for this device";
inline constexpr const char* kMsgNameTaken = "there exist file with that name";
inline constexpr const char* kMsgNameTooLong = "new file name is too long";
inline constexpr const char* kMsgNoMemory = "there is no enought free memory on device";
inline constexpr const char* kMsgNoAllocation = "could not allocate memory";

} // namespace zr40nn::protocol

// The public records are read by the programs and the engine; the library fills them by these
// constants, so the two must agree.
static_assert(sizeof(DEV_ZR40NN_info_t::name) == DEV_ZR40NN_NAME_LEN + 1);
static_assert(sizeof(DEV_ZR40NN_conf_t::name) == DEV_ZR40NN_NAME_LEN + 1);
static_assert(sizeof(DEV_ZR40NN_conf_t::so_pin) == DEV_ZR40NN_PIN_LEN);
static_assert(sizeof(DEV_ZR40NN_conf_t::user_pin) == DEV_ZR40NN_PIN_LEN);
static_assert(sizeof(DEV_ZR40NN_key_info_t::name) == DEV_ZR40NN_KEY_NAME_LEN + 1);
static_assert(sizeof(DEV_ZR40NN_key_info_t::pub_x) == zr40nn::protocol::kMaxFieldOctets);
static_assert(sizeof(DEV_ZR40NN_key_info_t::pub_y) == zr40nn::protocol::kMaxFieldOctets);
static_assert(sizeof(DEV_ZR40NN_t::product_string) == zr40nn::protocol::kUsbStringSize);
static_assert(sizeof(DEV_ZR40NN_t::serial_number) == zr40nn::protocol::kUsbStringSize);
static_assert(sizeof(DEV_ZR40NN_t::keys) == DEV_ZR40NN_KEY_SLOTS * sizeof(DEV_ZR40NN_key_info_t));
static_assert(sizeof(DEV_ZR40NN_t::free_sectors) == DEV_ZR40NN_SECTORS);
static_assert(sizeof(DEV_ZR40NN_t::file_types) == DEV_ZR40NN_FILES * sizeof(int));
static_assert(sizeof(DEV_ZR40NN_t::file_sizes) == DEV_ZR40NN_FILES * sizeof(int));
static_assert(sizeof(DEV_ZR40NN_t::file_names_tb) == DEV_ZR40NN_FILES * zr40nn::protocol::kFileNameSlotSize);
static_assert(sizeof(DEV_ZR40NN_t::file_names) == DEV_ZR40NN_FILES * sizeof(char*));
static_assert(sizeof(DEV_ZR40NN_t::err) == DEV_ZR40NN_ERR_SIZE);
static_assert(sizeof(DEV_ZR40NN_file_t::name) == DEV_ZR40NN_FILE_NAME_LEN + 1);
static_assert(sizeof(DEV_ZR40NN_file_t::sectors) == zr40nn::protocol::kMaxFileSectors * sizeof(int));
static_assert(sizeof(DEV_ZR40NN_file_t::contents) == DEV_ZR40NN_FILE_MAX);
static_assert(zr40nn::protocol::kFileNameSlotSize > DEV_ZR40NN_FILE_NAME_LEN);
static_assert(DEV_ZR40NN_SECTOR_SIZE == 2 * DEV_ZR40NN_OBJ_SIZE);
