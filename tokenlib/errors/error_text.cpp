// Fixed texts of the library error codes.
#include "dev_zr40nn.h"

extern "C" const char* DEV_ZR40NN_lib_error_desc(int code)
{
    switch (code) {
    case -1:
        return "undefined error (error specification is not compleat)";
    case -2:
        return "session could not be open (perhaps device was locked by other thread or application)";
    case -3:
        return "session could not be close because it is not open";
    case -4:
        return "session is closed";
    case -5:
        return "message receiving error";
    case -6:
        return "message transmition error";
    case -7:
        return "buffer is too small (can not write everything)";
    case -8:
        return "buffer is too large (can not read everything)";
    case -9:
        return "unable to configure device interface";
    case -10:
        return "key number is not supported by device";
    case -11:
        return "device is not supported by this software";
    case -12:
        return "arguments are out of range";
    case -13:
        return "not initialized parameter";
    // Statuses the token reports in an error answer (0x80, s) arrive as -100 - s.
    case -100:
        return "wrong command sended to device";
    case -101:
        return "command is not allowed in this state of device";
    case -102:
        return "wrong PIN, command not allowed";
    case -103:
        return "point passed to ECDH shared info primitive is not on curve";
    case -104:
        return "key you are trying to use is not generated";
    case -105:
        return "arguments sended to device are out of range";
    case -106:
        return "wrong communication frame syntax";
    case -107:
        return "wrong size of communication frame";
    default:
        return "unknown error";
    }
}
