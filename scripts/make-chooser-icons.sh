#!/usr/bin/env bash
# Draws the icons of the token, key and file chooser (resources/chooser/*.png) with ImageMagick.
# morvil_ca shows them at 48 pixels under its own names, morvil_vpn at 32 pixels under the names
# with "_32"; the token pictures are morvil_admin's, made smaller. The PNGs are committed; run this
# again only to change them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/resources/chooser
mkdir -p "$out"

small() { # source picture, name of its 32-pixel copy
    convert "$1" -resize 32x32 "$out/$2.png"
}

# The key: a round bow with a hole, a shaft and two teeth, lying diagonally.
convert -size 48x48 xc:none -strokewidth 2 -fill "#e9c46a" -stroke "#7a5c00" \
    -draw "circle 14,14 14,4" -draw "polygon 19,23 23,19 44,40 40,44" \
    -draw "polygon 33,37 37,33 41,37 37,41" -draw "polygon 27,31 31,27 34,30 30,34" \
    -fill "#7a5c00" -stroke none -draw "circle 12,12 12,9" "$out/key.png"
small "$out/key.png" key_32

# A file: a page with a folded corner and a coloured band naming its kind.
file_icon() { # ca name, vpn name, band colour, label
    convert -size 48x48 xc:none -strokewidth 2 -fill white -stroke "#4a4e69" \
        -draw "polygon 8,3 30,3 40,13 40,45 8,45 8,3" -fill "#c9ccd5" -draw "polygon 30,3 30,13 40,13" \
        -fill "$3" -stroke none -draw "rectangle 4,24 44,38" \
        -fill white -font DejaVu-Sans-Bold -pointsize 11 -gravity center -draw "text 0,7 '$4'" \
        "$out/$1.png"
    small "$out/$1.png" "$2"
}
file_icon file_usercert filetype_usercert_32 "#2a9d3f" CRT
file_icon file_cacert filetype_cacert_32 "#1d7874" CA
file_icon file_userreq filetype_userreq_32 "#e76f51" REQ
file_icon file_txt filetype_txt_32 "#457b9d" TXT
file_icon file_html filetype_html_32 "#8338ec" HTML
file_icon file_conf filetype_conf_32 "#6c757d" CONF
file_icon file_binary filetype_binary_32 "#343a40" BIN
file_icon file_empty filetype_unknown_32 "#adb5bd" "?"

# The tokens of morvil_admin, at 32 pixels for morvil_vpn.
for name in morvil morvil_lock morvil_no; do
    small "$root/resources/$name.png" "${name}_32"
done
