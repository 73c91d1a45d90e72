// Refresh of every listed token: information, and for a usable token its key slots and file table.
#include "dev_zr40nn.h"
#include "protocol.h"
#include "session_guard.h"

namespace {

// Configured and not locked: the only state in which the token shows keys and files.
bool isUsable(const DEV_ZR40NN_info_t& info)
{
    using namespace zr40nn::protocol;
    return (info.info & (kStateConfigured | kStateLocked)) == kStateConfigured;
}

// Reads one token inside its own session; the first failing step ends it.
int readToken(DEV_ZR40NN_t* ut)
{
    int result = DEV_ZR40NN_cmd_read_dev_info(ut);
    if (result < 0 || !isUsable(ut->info)) {
        return result;
    }
    for (int slot = 0; slot < ut->info.keys_num; ++slot) {
        result = DEV_ZR40NN_cmd_read_key_info(ut, slot);
        if (result < 0) {
            return result;
        }
    }
    return DEV_ZR40NN_fs_get_file_list(ut);
}

} // namespace

extern "C" int DEV_ZR40NN_lib_actualize_devices(void)
{
    for (DEV_ZR40NN_t* ut = DEV_ZR40NN_get_first(); ut != nullptr; ut = ut->next) {
        // Also refuses (-2, no entry) a token whose session is open, and clears the stack.
        zr40nn::ScopedSession session(ut);
        if (session.openResult() < 0) {
            return session.openResult();
        }
        const int read = readToken(ut);
        const int closed = session.close();
        if (read < 0) {
            return read;
        }
        if (closed < 0) {
            return closed;
        }
    }
    return 0;
}
