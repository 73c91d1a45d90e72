#!/usr/bin/env bash
# Installs what is needed, builds and installs the suite into ./out, then runs it on an emulated
# token whose state is kept in ./out/demo-token.state between runs: zr40nn-probe puts the token
# to work through the token library (a blank token is initialised and configured, slot 0 gets a
# key), then morvil_openssl makes a self-signed certificate with that key through the engine, and
# the stock openssl verifies it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-demo" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIL_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX="$root/out"
cmake --build "$root/build-demo" -j "$(nproc)"
cmake --install "$root/build-demo" >/dev/null
exec "$root/scripts/demo-session.sh" "$root/out"
