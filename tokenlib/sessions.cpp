// Sessions: the bracket around every group of commands on one token.
#include "dev_zr40nn.h"
#include "errors/error_entry.h"

#include <cstring>

extern "C" {

int DEV_ZR40NN_session_open(DEV_ZR40NN_t* ut)
{
    if (ut == nullptr) {
        return DEV_ZR40NN_ERR_NOT_INITIALIZED;
    }
    // Refused without an entry: the stack still belongs to the session that is open.
    if (ut->session_is_open != 0) {
        return DEV_ZR40NN_ERR_SESSION_OPEN;
    }
    std::memset(ut->err, 0, sizeof(ut->err));
    const int opened = ut->open(ut);
    if (opened < 0) {
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_session_open", "could not open device");
        return opened;
    }
    ut->session_is_open = 1;
    return 0;
}

int DEV_ZR40NN_session_close(DEV_ZR40NN_t* ut)
{
    if (ut == nullptr || ut->session_is_open == 0) {
        return DEV_ZR40NN_ERR_SESSION_NOT_OPEN;
    }
    const int closed = ut->close(ut);
    if (closed < 0) {
        DEV_ZR40NN_PUSH(ut, "DEV_ZR40NN_session_close", "could not close device");
        return closed;
    }
    ut->session_is_open = 0;
    return 0;
}

} // extern "C"
