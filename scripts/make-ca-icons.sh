#!/usr/bin/env bash
# Draws the icons of morvil_ca (resources/ca/*.png) with ImageMagick. The PNGs are committed; run
# this again only to change them.
set -euo pipefail
out=$(cd "$(dirname "$0")/.." && pwd)/resources/ca
mkdir -p "$out"

icon() { # name, then ImageMagick drawing options on a transparent 48x48 canvas
    local name=$1
    shift
    convert -size 48x48 xc:none -strokewidth 2 "$@" "$out/$name.png"
}

# A certificate: a sheet with lines and a seal in colour $1.
certificate() {
    C=(-fill white -stroke "#1d3557" -draw "rectangle 6,6 42,36"
        -stroke "#8d99ae" -draw "line 11,13 37,13" -draw "line 11,19 37,19" -draw "line 11,25 27,25"
        -fill "$1" -stroke "#1d3557" -draw "circle 34,36 34,28")
}
# A revocation list: a sheet with rows and a red bar.
crl() {
    L=(-fill white -stroke "#1d3557" -draw "rectangle 8,4 40,44"
        -stroke "#8d99ae" -draw "line 13,12 35,12" -draw "line 13,18 35,18" -draw "line 13,24 35,24"
        -stroke "#d62828" -strokewidth 3 -draw "line 13,32 35,32")
}
disk() { # a floppy disk at the lower right
    D=(-fill "#3a86ff" -stroke "#1d3557" -strokewidth 2 -draw "rectangle 26,26 46,46"
        -fill white -draw "rectangle 30,26 42,33" -fill "#1d3557" -draw "rectangle 31,38 41,46")
}

certificate "#e9c46a"; icon cacert "${C[@]}"
icon morvil_ca "${C[@]}" -fill "#3a86ff" -stroke "#1d3557" -draw "roundrectangle 2,30 22,44 3,3"
certificate "#2a9d3f"; icon viewcert_valid "${C[@]}"
certificate "#8d99ae"; icon viewcert_all "${C[@]}" -fill white -stroke "#1d3557" -draw "rectangle 2,2 10,10"
certificate "#e9c46a"; disk; icon filecmd_saveas "${C[@]}" "${D[@]}"
certificate "#e9c46a"
icon sign "${C[@]}" -stroke "#1d3557" -strokewidth 3 -draw "line 10,44 24,30" -fill "#f4a261" -draw "circle 10,44 10,42"
icon add_user -fill "#3a86ff" -stroke "#1d3557" -draw "circle 20,16 20,7" -draw "ellipse 20,40 14,10 180,360" \
    -fill "#2a9d3f" -stroke white -draw "circle 38,34 38,24" -stroke white -strokewidth 3 \
    -draw "line 38,28 38,40" -draw "line 32,34 44,34"
crl; icon crl_new "${L[@]}" -fill "#2a9d3f" -stroke white -draw "circle 38,38 38,29" -strokewidth 3 \
    -draw "line 38,33 38,43" -draw "line 33,38 43,38"
crl; disk; icon crl_saveas "${L[@]}" "${D[@]}"
crl; icon crl_ftp "${L[@]}" -fill "#3a86ff" -stroke "#1d3557" -draw "polygon 26,34 46,34 36,24" \
    -draw "rectangle 32,34 40,44"
icon contents_open -fill "#fefae0" -stroke "#1d3557" -draw "polygon 4,10 24,14 24,42 4,38" \
    -draw "polygon 44,10 24,14 24,42 44,38"
icon help -fill "#3a86ff" -stroke "#1d3557" -draw "circle 24,24 24,4" -fill white -stroke none \
    -pointsize 30 -gravity center -annotate +0+1 "?"
icon ok -fill none -stroke "#2a9d3f" -strokewidth 6 -draw "polyline 8,26 20,38 40,10"
icon lock -fill none -stroke "#444444" -strokewidth 4 -draw "arc 12,4 36,30 180,360" \
    -fill "#f4a261" -stroke "#333333" -strokewidth 2 -draw "roundrectangle 8,20 40,44 4,4"
