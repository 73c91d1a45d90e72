// Entry points of the module dev_zr40nn.so, the only symbols it exports: OpenSSL's "dynamic"
// engine calls v_check, then bind_engine, when a program loads the engine by id.
#include "engine_front.h"

#include <dlfcn.h>

namespace {

// OpenSSL keeps pointers into the module after it has unloaded the engine at exit: its name
// table holds the digest aliases' strings themselves, not copies, and OBJ_NAME_cleanup reads them
// in the last clean-up step. Unmapped by then, they crash every openssl run at exit, so the module
// stays mapped to the end of the process.
int bindResident(ENGINE* e, const char* id) noexcept
{
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&bindResident), &self) != 0 && self.dli_fname != nullptr) {
        dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
    return zr40nn::engine::dev_zr40nn_bind(e, id);
}

} // namespace

#pragma GCC visibility push(default)
extern "C" {
IMPLEMENT_DYNAMIC_CHECK_FN()
IMPLEMENT_DYNAMIC_BIND_FN(bindResident)
}
#pragma GCC visibility pop
