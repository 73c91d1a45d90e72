// One request/answer exchange with the token, the step every token command is built on.
#include "dev_zr40nn.h"
#include "errors/error_entry.h"
#include "protocol.h"

namespace {

using namespace zr40nn::protocol;

constexpr const char kFunction[] = "DEV_ZR40NN_single_pass";

} // namespace

extern "C" int DEV_ZR40NN_single_pass(DEV_ZR40NN_t* ut, const unsigned char* request, int n, unsigned char* answer,
                                      int max)
{
    // No entry here: the command adds "session is closed" under its own name.
    if (ut == nullptr || ut->session_is_open == 0) {
        return DEV_ZR40NN_ERR_SESSION_CLOSED;
    }

    // After a transport failure the handle is released; the session stays open until the
    // caller closes it, and further exchanges fail in the transport without touching USB.
    const int written = ut->write(ut, request, n);
    if (written < 0) {
        ut->close(ut);
        zr40nn::pushError(ut, kFunction, __LINE__, "could not write to device");
        return written;
    }

    const bool isInit = n > 1 && request[1] == kCmdDevInit;
    const int received = ut->read(ut, answer, max, isInit ? kInitAnswerTimeoutMs : kAnswerTimeoutMs);
    if (received < 0) {
        ut->close(ut);
        zr40nn::pushError(ut, kFunction, __LINE__, "could not read from device");
        return received;
    }

    if (received == kErrorAnswerLength && answer[0] == kErrorAnswer) {
        zr40nn::pushError(ut, kFunction, __LINE__, "host receive error frame from device");
        return deviceError(answer[1]);
    }
    return received;
}
