// Fixed texts of the library error codes.
#include "dev_zr40nn.h"
#include "protocol.h"

extern "C" const char* DEV_ZR40NN_lib_error_desc(int code)
{
    using namespace zr40nn::protocol;
    switch (code) {
    case DEV_ZR40NN_ERR_UNDEFINED:
        return "undefined error (error specification is not compleat)";
    case DEV_ZR40NN_ERR_SESSION_OPEN:
        return "session could not be open (perhaps device was locked by other thread or application)";
    case DEV_ZR40NN_ERR_SESSION_NOT_OPEN:
        return "session could not be close because it is not open";
    case DEV_ZR40NN_ERR_SESSION_CLOSED:
        return "session is closed";
    case DEV_ZR40NN_ERR_RECEIVE:
        return "message receiving error";
    case DEV_ZR40NN_ERR_TRANSMIT:
        return "message transmition error";
    case DEV_ZR40NN_ERR_BUFFER_TOO_SMALL:
        return "buffer is too small (can not write everything)";
    case DEV_ZR40NN_ERR_BUFFER_TOO_LARGE:
        return "buffer is too large (can not read everything)";
    case DEV_ZR40NN_ERR_CONFIGURE:
        return "unable to configure device interface";
    case DEV_ZR40NN_ERR_KEY_NUMBER:
        return "key number is not supported by device";
    case DEV_ZR40NN_ERR_NOT_SUPPORTED:
        return "device is not supported by this software";
    case DEV_ZR40NN_ERR_RANGE:
        return "arguments are out of range";
    case DEV_ZR40NN_ERR_NOT_INITIALIZED:
        return "not initialized parameter";
    // Statuses the token reports in an error answer (0x80, s) arrive as -100 - s.
    case deviceError(kStatusWrongCommand):
        return "wrong command sended to device";
    case deviceError(kStatusNotAllowed):
        return "command is not allowed in this state of device";
    case deviceError(kStatusWrongPin):
        return "wrong PIN, command not allowed";
    case deviceError(kStatusPointNotOnCurve):
        return "point passed to ECDH shared info primitive is not on curve";
    case deviceError(kStatusKeyNotGenerated):
        return "key you are trying to use is not generated";
    case deviceError(kStatusOutOfRange):
        return "arguments sended to device are out of range";
    case deviceError(kStatusFrameSyntax):
        return "wrong communication frame syntax";
    case deviceError(kStatusFrameSize):
        return "wrong size of communication frame";
    default:
        return "unknown error";
    }
}
