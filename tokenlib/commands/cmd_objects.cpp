// Public-object and random-octet commands.
#include "commands/command.h"
#include "protocol.h"

#include <cstring>

using zr40nn::Command;
using namespace zr40nn::protocol;

namespace {

// One exchange of the random-octet command: exactly `count` octets into `out`.
int randomPass(DEV_ZR40NN_t* ut, const char* function, unsigned char* out, int count)
{
    Command cmd(ut, function, kCmdRandom);
    cmd.octet(static_cast<unsigned>(count));
    // Never copy more or fewer octets than were asked for: the caller's buffer holds `count`.
    zr40nn::FrameBuffer answer {};
    if (const int result = cmd.exchangeExact(answer, 1 + count); result < 0) {
        return result;
    }
    if (count > 0) {
        std::memcpy(out, answer.data() + 1, static_cast<std::size_t>(count));
    }
    return 0;
}

} // namespace

extern "C" {

int DEV_ZR40NN_cmd_read_public_obj(DEV_ZR40NN_t* ut, int obj, unsigned char* buf)
{
    Command cmd(ut, __func__, kCmdReadPublicObj);
    cmd.be16(static_cast<unsigned>(obj));
    zr40nn::FrameBuffer answer {};
    if (const int result = cmd.exchangeExact(answer, 1 + DEV_ZR40NN_OBJ_SIZE); result < 0) {
        return result;
    }
    std::memcpy(buf, answer.data() + 1, DEV_ZR40NN_OBJ_SIZE);
    return 0;
}

int DEV_ZR40NN_cmd_write_public_obj(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, int obj,
                                    const unsigned char* data)
{
    // No checks: a longer PIN is cut to 8 octets and any PIN id is sent.
    Command cmd(ut, __func__, kCmdWritePublicObj);
    cmd.octet(pinId).pin(pin).be16(static_cast<unsigned>(obj)).bytes(data, DEV_ZR40NN_OBJ_SIZE);
    return cmd.run();
}

int DEV_ZR40NN_cmd_rbg_generate_bits(DEV_ZR40NN_t* ut, unsigned char* buf, int octets)
{
    if (octets < 0) {
        return Command(ut, __func__, kCmdRandom).fail(DEV_ZR40NN_ERR_RANGE, "number of octets is out of range");
    }
    // Full passes of 120 octets, then one pass with the rest (0 included).
    while (octets > kMaxRandomPerExchange) {
        const int result = randomPass(ut, __func__, buf, kMaxRandomPerExchange);
        if (result < 0) {
            return result;
        }
        buf += kMaxRandomPerExchange;
        octets -= kMaxRandomPerExchange;
    }
    return randomPass(ut, __func__, buf, octets);
}

} // extern "C"
