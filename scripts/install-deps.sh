#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run its demo.
set -euo pipefail
packages=(
    g++ cmake ninja-build pkg-config
    libssl-dev openssl
    libusb-dev
    umockdev libumockdev-dev libglib2.0-dev
    qt6-base-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
    openvpn
    libgtest-dev
    clang-16 libclang-rt-16-dev
    xvfb imagemagick icewm xdotool libxcb1-dev
    desktop-file-utils
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
