#!/usr/bin/env bash
# Draws the icons of morvil_vpn (resources/vpn/*.png, 22x22) with ImageMagick. The PNGs are
# committed; run this again only to change them.
set -euo pipefail
out=$(cd "$(dirname "$0")/.." && pwd)/resources/vpn
mkdir -p "$out"

icon() { # name, then ImageMagick drawing options on a transparent 44x44 canvas, scaled to 22x22
    local name=$1
    shift
    convert -size 44x44 xc:none -strokewidth 2 "$@" -resize 22x22 "$out/$name.png"
}

# A globe: the tunnel's far end; $1 is its colour.
globe() {
    W=(-fill "$1" -stroke "#1d3557" -draw "circle 22,22 22,4" -fill none -draw "ellipse 22,22 8,18 0,360"
        -draw "line 4,22 40,22" -draw "line 8,13 36,13" -draw "line 8,31 36,31")
}
globe "#8ecae6"; icon vpn_22 "${W[@]}"
globe "#90be6d"; icon vpn_con_22 "${W[@]}" -fill "#2a9d3f" -stroke white -draw "circle 33,33 33,25"
globe "#c0c4c8"; icon vpn_dis_22 "${W[@]}" -fill "#d62828" -stroke white -draw "circle 33,33 33,25"
globe "#8ecae6"; icon vpn_new_22 "${W[@]}" -fill "#2a9d3f" -stroke none -draw "rectangle 26,31 42,35" \
    -draw "rectangle 32,25 36,41"
globe "#8ecae6"; icon vpn_edit_22 "${W[@]}" -fill "#f4a261" -stroke "#6b4f00" -draw "polygon 24,40 28,30 40,18 44,22 32,34"
globe "#8ecae6"; icon morvil_vpn "${W[@]}" -fill "#3a86ff" -stroke "#1d3557" -draw "roundrectangle 20,26 42,40 4,4"
icon restore_22 -fill "#e0f0ff" -stroke "#1d3557" -draw "rectangle 4,8 40,38" -fill "#457b9d" -draw "rectangle 4,8 40,14"
icon info_22 -fill "#3a86ff" -stroke "#1d3557" -draw "circle 22,22 22,3" -fill white -stroke none \
    -draw "circle 22,12 22,9" -draw "rectangle 19,18 25,35"
icon exit_22 -fill "#8d99ae" -stroke "#2b2d42" -draw "rectangle 6,6 24,40" -fill "#d62828" -stroke "#8d0801" \
    -draw "polygon 22,16 32,16 32,10 42,22 32,34 32,28 22,28"
