// Every token command against answers taken from the fuzz input: whatever the "token" answers, the
// library must not crash, must return 0, a count within the caller's buffer or one of its codes,
// must write nothing past the caller's buffers, and must leave the record consistent.
//
// Input: a stream of octets. Each command step takes one octet that picks the command and its
// arguments; each exchange takes an answer: a length octet L and L % 130 octets. L = 255 makes the
// read fail, L = 254 (seen when the request is written) makes the write fail.
#include "byte_stream.h"
#include "dev_zr40nn.h"
#include "hooked_record.h"
#include "protocol.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint8_t kReadFails = 255;
constexpr std::uint8_t kWriteFails = 254;
constexpr unsigned char kGuard = 0xA5;

using Stream = zr40nn::test::ByteStream;

Stream* gStream = nullptr;

int writeHook(DEV_ZR40NN_t*, const unsigned char* buf, int n)
{
    if (buf == nullptr || n < 2 || n > zr40nn::protocol::kMaxPayload) {
        std::abort(); // the library never sends a request without its code, nor an oversized one
    }
    if (gStream->peek() == kWriteFails) {
        gStream->next();
        return DEV_ZR40NN_ERR_TRANSMIT;
    }
    return n;
}

int readHook(DEV_ZR40NN_t*, unsigned char* buf, int max, int)
{
    if (gStream->done()) {
        return DEV_ZR40NN_ERR_RECEIVE;
    }
    const int length = gStream->next();
    if (length == kReadFails) {
        return DEV_ZR40NN_ERR_RECEIVE;
    }
    std::array<unsigned char, zr40nn::protocol::kMaxPayload> answer {};
    const int n = static_cast<int>(gStream->take(answer.data(), static_cast<std::size_t>(length % 130)));
    // The transport refuses an answer that does not fit the caller's buffer.
    if (n > max) {
        return DEV_ZR40NN_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buf, answer.data(), static_cast<std::size_t>(n));
    return n;
}

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool knownCurve(const DEV_ZR40NN_ecc_params_t* params)
{
    return params == nullptr
        || (params >= DEV_ZR40NN_ecc_params && params < DEV_ZR40NN_ecc_params + std::size(DEV_ZR40NN_ecc_params));
}

// 0, a count, or one of the library's codes: -1..-13, or -100 - s for a status octet s.
void checkResult(int result, int maxCount)
{
    const bool libraryCode = result >= DEV_ZR40NN_ERR_NOT_INITIALIZED && result < 0;
    const bool tokenCode = result <= DEV_ZR40NN_ERR_DEV_BASE && result >= DEV_ZR40NN_ERR_DEV_BASE - 255;
    check((result >= 0 && result <= maxCount) || libraryCode || tokenCode);
}

void checkRecord(const DEV_ZR40NN_t& ut)
{
    check(ut.session_is_open == 1);
    check(strnlen(ut.err, sizeof(ut.err)) < sizeof(ut.err));
    check(ut.info.name[DEV_ZR40NN_NAME_LEN] == '\0');
    check(knownCurve(ut.info.ecc_params));
    check(ut.info.public_objs == ut.info.public_mem / DEV_ZR40NN_OBJ_SIZE);
    for (const DEV_ZR40NN_key_info_t& key : ut.keys) {
        check(knownCurve(key.ecc_params));
        check(key.name[DEV_ZR40NN_KEY_NAME_LEN] == '\0');
    }
}

template <std::size_t N> void checkGuard(const std::array<unsigned char, N>& buf, std::size_t used)
{
    check(std::all_of(buf.begin() + static_cast<std::ptrdiff_t>(used), buf.end(),
                      [](unsigned char c) { return c == kGuard; }));
}

// One command, picked and parameterised by `op`.
void runCommand(DEV_ZR40NN_t* ut, int op, Stream& in)
{
    std::array<unsigned char, 400> buf;
    buf.fill(kGuard);
    const int slot = (op >> 4) % 6 - 1; // -1..4: out of range on both sides too
    const char* pin = (op & 0x80) != 0 ? "123456789" : "1234";
    switch (op % 16) {
    case 0:
        checkResult(DEV_ZR40NN_cmd_dev_init(ut), 0);
        break;
    case 1:
        ut->conf.info = op;
        std::strcpy(ut->conf.name, "FUZZ");
        checkResult(DEV_ZR40NN_cmd_dev_conf(ut), 0);
        check(ut->conf.name[0] == '\0'); // the configuration is wiped whatever the outcome
        break;
    case 2:
        checkResult(DEV_ZR40NN_cmd_read_dev_info(ut), 0);
        break;
    case 3:
        checkResult(DEV_ZR40NN_cmd_try_pin(ut, pin, static_cast<unsigned char>(op >> 6)), 0);
        break;
    case 4:
        checkResult(DEV_ZR40NN_cmd_change_user_pin(ut, pin, 1, "5678"), 0);
        break;
    case 5:
        checkResult(DEV_ZR40NN_cmd_change_so_pin(ut, pin, "87654321"), 0);
        break;
    case 6:
        checkResult(DEV_ZR40NN_cmd_dev_unlock(ut, pin), 0);
        break;
    case 7:
        checkResult(DEV_ZR40NN_cmd_dev_erase(ut, pin), 0);
        break;
    case 8:
        checkResult(DEV_ZR40NN_cmd_read_key_info(ut, slot), 0);
        break;
    case 9:
        checkResult(DEV_ZR40NN_cmd_generate_key(ut, pin, static_cast<unsigned char>(op >> 7), "key", slot), 0);
        break;
    case 10:
        checkResult(DEV_ZR40NN_cmd_delete_key(ut, pin, 1, slot), 0);
        break;
    case 11: {
        const int sigSize = in.next() % 140;
        const int digestLength = in.next() % 80;
        const int result
            = DEV_ZR40NN_cmd_ecdsa_sign(ut, pin, slot, buf.data(), sigSize, buf.data() + 200, digestLength);
        checkResult(result, sigSize);
        checkGuard(buf, static_cast<std::size_t>(sigSize));
        break;
    }
    case 12: {
        const int obj = in.next() << 8 | in.next();
        checkResult(DEV_ZR40NN_cmd_read_public_obj(ut, obj, buf.data()), 0);
        checkGuard(buf, DEV_ZR40NN_OBJ_SIZE);
        break;
    }
    case 13:
        checkResult(DEV_ZR40NN_cmd_write_public_obj(ut, pin, 1, in.next(), buf.data()), 0);
        break;
    case 14: {
        const int octets = in.next() + in.next() - 10; // -10..500
        if (octets <= static_cast<int>(buf.size())) {
            checkResult(DEV_ZR40NN_cmd_rbg_generate_bits(ut, buf.data(), octets), 0);
            checkGuard(buf, static_cast<std::size_t>(std::max(octets, 0)));
        }
        break;
    }
    default: {
        // What the programs read from a refreshed record: the keys it lists.
        DEV_ZR40NN_find_free_key(ut);
        for (const DEV_ZR40NN_key_info_t& key : ut->keys) {
            const int n = DEV_ZR40NN_subject_public_key_info(&key, buf.data(), 200);
            checkResult(n, 200);
            checkGuard(buf, 200);
        }
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Stream in(data, size);
    gStream = &in;
    DEV_ZR40NN_t ut {};
    zr40nn::test::attachHooks(ut, readHook, writeHook);
    ut.info.keys_num = DEV_ZR40NN_KEY_SLOTS;
    if (DEV_ZR40NN_session_open(&ut) != 0) {
        std::abort();
    }
    while (!in.done()) {
        runCommand(&ut, in.next(), in);
        checkRecord(ut);
    }
    DEV_ZR40NN_session_close(&ut);
    gStream = nullptr;
    return 0;
}
