#!/usr/bin/env bash
# check_installed_tree.sh BUILD SOURCE ENGINES_DIR UDEV_RULES_DIR TUN_DIR
#
# Installs the build under a staging root (DESTDIR) with a prefix of its own, as a package would,
# and checks that the installed tree stands on its own: the programs and nothing else, binaries
# that need nothing from the build tree, the engine module found by morvil_openssl and by the stock
# openssl, desktop entries that validate and name the installed programs and icons, and the udev
# rule for the token's USB ids. Then the demo component: the emulator and the admin pictures program;
# and the privileged component: morvil_openvpn_tun, set-user-ID, which the plain install leaves out.
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
engines_dir=$3
udev_dir=$4
tun_dir=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
prefix=/opt/morvil-install-test
tree=$root$prefix

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# A directory given relative to the prefix, or absolute, as it lies under the staging root.
staged() {
    case $1 in
    /*) echo "$root$1" ;;
    *) echo "$tree/$1" ;;
    esac
}

if ! DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
fi

programs=(morvil_admin morvil_ca morvil_vpn morvil_openssl morvil_openvpn zr40nn-probe)
entries=(morvil_admin morvil_ca morvil_vpn)
demo_programs=(zr40nn-emu morvil_admin_screenshots)
engine=$(staged "$engines_dir")/dev_zr40nn.so
rule=$(staged "$udev_dir")/70-dev-zr40nn.rules

# --- what the tree holds: exactly these files ---
expected=("$engine" "$rule")
for p in "${programs[@]}"; do
    expected+=("$tree/bin/$p")
    [ -f "$tree/bin/$p" ] && [ -x "$tree/bin/$p" ] || fail "$p is not an executable in $prefix/bin"
done
for p in "${entries[@]}"; do
    expected+=("$tree/share/applications/$p.desktop")
    expected+=("$(find "$tree/share/icons/hicolor" -path "*/apps/$p.png" 2>/dev/null | head -n 1)")
done
[ -f "$engine" ] && [ -r "$engine" ] || fail "no engine module at $engine"
diff <(printf '%s\n' "${expected[@]}" | sort) <(find "$root" -type f | sort) >"$work/tree.diff" ||
    fail "the installed files differ from the expected ones (< missing, > unexpected):$(echo; cat "$work/tree.diff")"

# --- binaries: nothing resolved from the build or source tree ---
for elf in "${programs[@]/#/$tree/bin/}" "$engine"; do
    [ -f "$elf" ] || continue
    runpath=$(readelf -d "$elf" | grep -E '\((RPATH|RUNPATH)\)')
    case $runpath in
    *"$build"* | *"$source"*) fail "$elf has a run path into the build: $runpath" ;;
    esac
    libs=$(ldd "$elf" 2>&1)
    if grep -q "not found" <<<"$libs"; then
        fail "$elf has unresolved libraries:$(echo; grep "not found" <<<"$libs")"
    fi
    if grep -qF -e "$build" -e "$source" <<<"$libs"; then
        fail "$elf resolves libraries from the build:$(echo; grep -F -e "$build" -e "$source" <<<"$libs")"
    fi
done

# --- the engine module: morvil_openssl finds the installed one; the stock openssl loads it by id ---
available() { grep -qF "[ available ]"; }
env -u OPENSSL_ENGINES "$tree/bin/morvil_openssl" engine -t dev_zr40nn 2>&1 | available ||
    fail "the installed morvil_openssl does not load the engine dev_zr40nn"
OPENSSL_ENGINES=$(dirname "$engine") openssl engine -t dev_zr40nn 2>&1 | available ||
    fail "openssl with OPENSSL_ENGINES=$(dirname "$engine") does not load the engine dev_zr40nn"
# With the installed module moved away, nothing else may stand in for it (the build tree's copy).
if [ -f "$engine" ]; then
    mv "$engine" "$engine.away"
    env -u OPENSSL_ENGINES "$tree/bin/morvil_openssl" engine -t dev_zr40nn 2>&1 | available &&
        fail "morvil_openssl loads an engine module from outside the installed tree"
    mv "$engine.away" "$engine"
fi

# --- desktop entries: valid, naming the installed program and an icon of the hicolor theme ---
entry_value() { sed -n "s/^$1=//p" "$2"; }
for p in "${entries[@]}"; do
    entry=$tree/share/applications/$p.desktop
    if [ ! -f "$entry" ]; then
        fail "no desktop entry $entry"
        continue
    fi
    report=$(desktop-file-validate "$entry" 2>&1) && [ -z "$report" ] ||
        fail "$p.desktop does not validate:$(echo; echo "$report")"
    exec_path=$(entry_value Exec "$entry" | sed 's/^"\(.*\)"$/\1/')
    [ "$exec_path" = "$prefix/bin/$p" ] && [ -x "$root$exec_path" ] ||
        fail "$p.desktop runs '$exec_path', not the installed $prefix/bin/$p"
    name=$(entry_value Name "$entry")
    grep -rqF "setWindowTitle(tr(\"$name\"))" "$source/admin" "$source/ca" "$source/vpn" ||
        fail "$p.desktop is named '$name', which is no program's window title"
    icon_name=$(entry_value Icon "$entry")
    icons=$(find "$tree/share/icons/hicolor" -path "*/apps/$icon_name.png" 2>/dev/null)
    if [ "$(wc -w <<<"$icons")" -ne 1 ]; then
        fail "$p.desktop: icon '$icon_name' is not one file of the hicolor theme: '$icons'"
        continue
    fi
    # The theme's size directory must be the picture's size (PNG header: width and height).
    read -r width height < <(od -An -tu1 -j16 -N8 -v "$icons" |
        awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    size_dir=$(basename "$(dirname "$(dirname "$icons")")")
    [ "$size_dir" = "${width}x${height}" ] || fail "$icons is ${width}x${height}, kept under $size_dir"
done

# --- the udev rule: one well-formed rule for the library's vendor and product ids ---
header_id() { sed -n "s/^#define DEV_ZR40NN_$1_ID 0x\([0-9A-Fa-f]\{4\}\)$/\1/p" "$source/include/dev_zr40nn.h" | tr A-F a-f; }
vendor=$(header_id VENDOR)
product=$(header_id PRODUCT)
[ -n "$vendor" ] && [ -n "$product" ] || fail "no vendor and product id in include/dev_zr40nn.h"
if [ -f "$rule" ]; then
    mapfile -t rules < <(grep -vE '^[[:space:]]*(#|$)' "$rule")
    [ "${#rules[@]}" -eq 1 ] || fail "$rule holds ${#rules[@]} rules, not one"
    key='[A-Z_]+(\{[A-Za-z_]+\})?(==|!=|\+=|-=|:=|=)"[^"]*"'
    for r in "${rules[@]}"; do
        grep -qE "^$key(, *$key)*\$" <<<"$r" || fail "$rule: not a udev rule: $r"
        for want in 'SUBSYSTEM=="usb"' "ATTR{idVendor}==\"$vendor\"" "ATTR{idProduct}==\"$product\"" \
            'TAG+="uaccess"'; do
            grep -qF "$want" <<<"$r" || fail "$rule: the rule lacks $want"
        done
    done
    # uaccess is turned into an access list by 73-seat-late.rules, so the rule must come first.
    order=$(basename "$rule" | grep -oE '^[0-9]+')
    [ -n "$order" ] && [ "$order" -lt 73 ] || fail "$rule does not sort before 73-seat-late.rules"
    if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
        udevadm verify "$rule" >"$work/udevadm.log" 2>&1 || fail "udevadm verify:$(echo; cat "$work/udevadm.log")"
    fi
fi

# --- the demo component: the emulator and the admin pictures program, and only those ---
demo_root=$work/demo
if DESTDIR=$demo_root cmake --install "$build" --prefix "$prefix" --component demo >"$work/demo.log" 2>&1; then
    for p in "${demo_programs[@]}"; do
        [ -x "$demo_root$prefix/bin/$p" ] || fail "the demo component lacks $p"
    done
    count=$(find "$demo_root" -type f | wc -l)
    [ "$count" -eq "${#demo_programs[@]}" ] || fail "the demo component installs $count files"
else
    fail "cmake --install --component demo:$(echo; cat "$work/demo.log")"
fi

# --- the privileged component: the starter alone, set-user-ID, standing on its own ---
tun_root=$work/privileged
if DESTDIR=$tun_root cmake --install "$build" --prefix "$prefix" --component privileged >"$work/privileged.log" 2>&1; then
    starter=$tun_root$prefix/$tun_dir/morvil_openvpn_tun
    installed=$(find "$tun_root" -type f)
    [ "$installed" = "$starter" ] || fail "the privileged component installs '$installed', not $starter alone"
    [ -u "$starter" ] && [ -x "$starter" ] || fail "$starter is not a set-user-ID program"
    readelf -d "$starter" 2>/dev/null | grep -qE '\((RPATH|RUNPATH)\)' && fail "$starter has a run path"
else
    fail "cmake --install --component privileged:$(echo; cat "$work/privileged.log")"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installed tree under $prefix: ${#expected[@]} files checked"
