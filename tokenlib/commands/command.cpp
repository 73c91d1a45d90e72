#include "commands/command.h"

#include "errors/error_entry.h"

#include <algorithm>
#include <cstring>

namespace zr40nn {

bool pinTooLong(const char* pin)
{
    return pin != nullptr && strnlen(pin, DEV_ZR40NN_PIN_LEN + 1) > DEV_ZR40NN_PIN_LEN;
}

Command::Command(DEV_ZR40NN_t* ut, const char* function, std::uint8_t code)
    : mUt(ut)
    , mFunction(function)
{
    octet(protocol::kRequestLead).octet(code);
}

Command& Command::octet(unsigned value)
{
    if (mLength < mPayload.size()) {
        mPayload[mLength++] = static_cast<unsigned char>(value & 0xFF);
    }
    return *this;
}

Command& Command::be16(unsigned value)
{
    return octet(value >> 8).octet(value);
}

Command& Command::pin(const char* pin)
{
    // The PIN's first 8 octets, zero octets behind: no terminator when the PIN has 8 octets.
    return text(pin, DEV_ZR40NN_PIN_LEN);
}

Command& Command::text(const char* text, std::size_t width)
{
    width = std::min(width, mPayload.size() - mLength);
    const std::size_t n = text != nullptr ? strnlen(text, width) : 0;
    if (n > 0) {
        std::memcpy(mPayload.data() + mLength, text, n);
    }
    std::memset(mPayload.data() + mLength + n, 0, width - n);
    mLength += width;
    return *this;
}

Command& Command::bytes(const unsigned char* data, std::size_t n)
{
    n = std::min(n, mPayload.size() - mLength);
    if (n > 0) {
        std::memcpy(mPayload.data() + mLength, data, n);
        mLength += n;
    }
    return *this;
}

int Command::exchange(unsigned char* answer, int max, std::source_location where)
{
    const int result = DEV_ZR40NN_single_pass(mUt, mPayload.data(), static_cast<int>(mLength), answer, max);
    // The request may carry PINs and is not needed any more; the destructor wipes it again.
    OPENSSL_cleanse(mPayload.data(), mPayload.size());
    if (result < 0) {
        pushError(mUt, mFunction, static_cast<int>(where.line()), DEV_ZR40NN_lib_error_desc(result));
    }
    return result;
}

int Command::run(std::source_location where)
{
    std::array<unsigned char, 2> answer {};
    const int result = exchange(answer.data(), static_cast<int>(answer.size()), where);
    return result < 0 ? result : 0;
}

int Command::exchangeExact(FrameBuffer& answer, int length, std::source_location where)
{
    const int n = exchange(answer.data(), static_cast<int>(answer.size()), where);
    if (n >= 0 && n != length) {
        return fail(DEV_ZR40NN_ERR_RECEIVE, protocol::kMsgFrameSyntax, where);
    }
    return n < 0 ? n : 0;
}

int Command::fail(int code, const char* message, std::source_location where) const
{
    pushError(mUt, mFunction, static_cast<int>(where.line()), message);
    return code;
}

} // namespace zr40nn
