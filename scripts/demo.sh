#!/usr/bin/env bash
# Installs what is needed, builds and installs the suite into ./out, then runs it on an emulated
# token whose state is kept in ./out/demo-token.state between runs (morvil_admin when there is a
# display, else pictures of its window in ./out/screenshots).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-demo" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIL_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX="$root/out"
cmake --build "$root/build-demo" -j "$(nproc)"
cmake --install "$root/build-demo" >/dev/null
# The emulator and the pictures programs are not part of the suite's install: the demo adds them.
cmake --install "$root/build-demo" --component demo >/dev/null
# With a display: morvil_admin on the persistent token. Without one: a fresh token walked through
# its states under Xvfb, with a picture of the window for each in out/screenshots; then morvil_ca
# and morvil_vpn.
if [ -n "${DISPLAY:-}" ]; then
    exec "$root/out/bin/zr40nn-emu" --state-file "$root/out/demo-token.state" --init-delay-ms 3000 \
        --keygen-delay-ms 2000 --wire-time -- "$root/out/bin/morvil_admin"
fi
xvfb-run -a "$root/out/bin/zr40nn-emu" --init-delay-ms 3000 --wire-time -- \
    "$root/out/bin/morvil_admin_screenshots" "$root/out/screenshots"
# morvil_ca on a fresh token of its own: an authority made, requests signed, one revoked, a list
# issued (pictures named ca-*.png).
xvfb-run -a "$root/out/bin/zr40nn-emu" -- "$root/out/bin/morvil_ca_screenshots" "$root/out/screenshots"
exec xvfb-run -a "$root/out/bin/morvil_vpn_screenshots" "$root/out/screenshots"
