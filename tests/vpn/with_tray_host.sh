#!/usr/bin/env bash
# with_tray_host.sh [--no-tray] COMMAND [ARGS...]: runs COMMAND on an X display of its own (Xvfb),
# on which the icewm window manager provides a system tray, or, with --no-tray, on a bare display
# without one. Both go when COMMAND ends; its exit status is the script's.
set -euo pipefail
tray=1
if [ "${1:-}" = --no-tray ]; then
    tray=0
    shift
fi
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# Xvfb picks a free display itself and writes its number: parallel tests never share one.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
if [ "$tray" = 1 ]; then
    # icewm keeps its settings under HOME: a home of its own keeps the user's untouched.
    HOME="$work" icewm >"$work/icewm.log" 2>&1 &
    pids+=($!)
fi
"$@"
