// Where morvil_openssl finds the engine module dev_zr40nn.so.
#pragma once

#include <string>

namespace morvil::openssl_tool {

// <directory of this program>/../MORVIL_ENGINES_DIR (lib/morvil/engines, set by the build), which is
// where the installation (and the build tree) puts the module.
std::string engineDirectory();

} // namespace morvil::openssl_tool
