#!/usr/bin/env bash
# Installs what is needed, builds and installs the suite into ./out, then runs it on an emulated
# token whose state is kept in ./out/demo-token.state between runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-demo" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIL_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX="$root/out"
cmake --build "$root/build-demo" -j "$(nproc)"
cmake --install "$root/build-demo" >/dev/null
exec "$root/out/bin/zr40nn-emu" --state-file "$root/out/demo-token.state" --init-delay-ms 3000 \
    --keygen-delay-ms 2000 --wire-time -- "$root/out/bin/zr40nn-probe" --exercise
