#!/usr/bin/env bash
# Installs what is needed, builds and installs the suite into ./out, then shows it on an emulated
# token.
#
# With a display: morvil_admin, morvil_ca and morvil_vpn together on one emulated token whose state
# is kept in ./out/demo-token.state between runs; their stores (~/.morvil_ca, ~/.morvil_vpn_client)
# are kept under ./out/demo-home, so the demo never touches the user's own.
#
# Without one, under Xvfb, pictures in ./out/screenshots: morvil_admin taking a fresh token through
# its states (NN-step.png), then the road of one certificate through the three programs
# (road-NN-program-stage.png): a request written on the token, an authority issuing the user's and
# a server's certificate, a real OpenVPN tunnel on 127.0.0.1 with the token key, the certificate
# revoked and the next connection refused. What the road made stays in ./out/road, its token in
# ./out/road/token.state (zr40nn-emu --state-file plugs it again).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# The road is a test program: the demo's build has the tests too.
cmake -S "$root" -B "$root/build-demo" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIL_BUILD_TESTS=ON \
    -DCMAKE_INSTALL_PREFIX="$root/out"
cmake --build "$root/build-demo" -j "$(nproc)"
cmake --install "$root/build-demo" >/dev/null
# The emulator and the admin pictures program are not part of the suite's install: the demo adds them.
cmake --install "$root/build-demo" --component demo >/dev/null
bin="$root/out/bin"

if [ -n "${DISPLAY:-}" ]; then
    home="$root/out/demo-home"
    mkdir -p "$home"
    # The X server's cookie stays where it was found once HOME moves.
    export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}"
    exec env HOME="$home" "$bin/zr40nn-emu" --state-file "$root/out/demo-token.state" --init-delay-ms 3000 \
        --keygen-delay-ms 2000 --wire-time -- \
        sh -c '"$1/morvil_admin" & "$1/morvil_ca" & "$1/morvil_vpn" & wait' demo "$bin"
fi

mkdir -p "$root/out/screenshots"
xvfb-run -a "$bin/zr40nn-emu" --init-delay-ms 3000 --wire-time -- \
    "$bin/morvil_admin_screenshots" "$root/out/screenshots"
# The road plugs its own token (an in-process bus, whose log the road reads) under umockdev.
exec xvfb-run -a env MORVIL_ROAD_OUT="$root/out/road" umockdev-wrapper \
    "$root/build-demo/tests/road/morvil_road" --pictures "$root/out/screenshots"
