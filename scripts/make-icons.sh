#!/usr/bin/env bash
# Draws the icons of morvil_admin (resources/*.png) with ImageMagick. The PNGs are committed; run
# this again only to change them.
set -euo pipefail
out=$(cd "$(dirname "$0")/.." && pwd)/resources
mkdir -p "$out"
size=48

icon() { # name, then ImageMagick drawing options on a transparent 48x48 canvas
    local name=$1
    shift
    convert -size ${size}x${size} xc:none -strokewidth 2 "$@" "$out/$name.png"
}

# Shared drawings, as option lists.
token() { # the token: a USB stick with its metal plug; $1 is the body colour
    T=(-fill "#b0b8c0" -stroke "#606870" -draw "rectangle 4,18 12,30"
        -fill "$1" -stroke "#1d3557" -draw "roundrectangle 12,12 44,36 6,6"
        -fill white -stroke none -draw "circle 36,24 39,24")
}
badge() { # a round badge at the lower right in colour $1
    B=(-fill "$1" -stroke white -draw "circle 34,36 34,26")
}
gear() { # a gear in colour $1
    G=(-fill "$1" -stroke "#1d3557" -draw "circle 24,24 24,10"
        -draw "rectangle 21,2 27,12" -draw "rectangle 21,36 27,46" -draw "rectangle 2,21 12,27"
        -draw "rectangle 36,21 46,27" -fill white -draw "circle 24,24 24,19")
}
magnifier() {
    M=(-fill "#e0f0ff" -stroke "#1d3557" -strokewidth 3 -draw "circle 20,20 20,6" -strokewidth 6
        -draw "line 30,30 44,44" -strokewidth 3 -draw "line 13,20 27,20")
}

token "#3a86ff"; icon morvil "${T[@]}"
token "#a0a4a8"; icon morvil_no "${T[@]}"
token "#3a86ff"; badge "#2a9d3f"
icon morvil_login_user "${T[@]}" "${B[@]}" -fill white -stroke none -draw "circle 34,33 34,30" -draw "ellipse 34,41 5,3 180,360"
badge "#d62828"
icon morvil_login_so "${T[@]}" "${B[@]}" -fill white -stroke none \
    -draw "polygon 34,29 36,34 41,34 37,37 39,42 34,39 29,42 31,37 27,34 32,34"
token "#a0a4a8"
icon morvil_lock "${T[@]}" -fill none -stroke "#444444" -strokewidth 3 -draw "arc 26,22 42,38 180,360" \
    -fill "#f4a261" -stroke "#333333" -strokewidth 2 -draw "roundrectangle 24,30 44,46 3,3"
token "#3a86ff"
icon morvil_admin "${T[@]}" -fill "#ffd166" -stroke "#6b4f00" -draw "circle 34,36 34,28" \
    -fill "#6b4f00" -stroke none -draw "circle 34,36 34,33"
icon login -fill "#e9c46a" -stroke "#7a5c00" -draw "circle 14,24 14,14" -draw "rectangle 22,21 44,27" \
    -draw "rectangle 36,27 40,33" -fill "#7a5c00" -stroke none -draw "circle 12,24 12,21"
icon unlock -fill none -stroke "#444444" -strokewidth 4 -draw "arc 12,4 32,28 180,330" \
    -fill "#f4a261" -stroke "#333333" -strokewidth 2 -draw "roundrectangle 10,22 38,44 4,4" \
    -fill "#333333" -stroke none -draw "rectangle 22,29 26,38"
icon ok_green -fill none -stroke "#2a9d3f" -strokewidth 7 -draw "polyline 8,26 19,37 40,12"
icon cancel -fill "#d62828" -stroke "#8d0801" -draw "circle 24,24 24,4" -stroke white -strokewidth 5 \
    -draw "line 15,15 33,33" -draw "line 33,15 15,33"
icon exit -fill "#8d99ae" -stroke "#2b2d42" -draw "rectangle 8,6 28,42" -fill "#d62828" -stroke "#8d0801" \
    -draw "polygon 26,18 36,18 36,12 46,24 36,36 36,30 26,30"
icon refresh -fill none -stroke "#2a9d3f" -strokewidth 5 -draw "arc 8,8 40,40 300,590" \
    -fill "#2a9d3f" -stroke none -draw "polygon 30,2 42,12 28,18"
magnifier
icon view_plus "${M[@]}" -draw "line 20,13 20,27"
icon view_minus "${M[@]}"
icon contents_ii -fill "#457b9d" -stroke "#1d3557" -draw "roundrectangle 8,6 40,42 3,3" -fill white -stroke none \
    -draw "rectangle 12,8 38,38" -stroke "#1d3557" -strokewidth 2 -draw "line 16,16 34,16" \
    -draw "line 16,22 34,22" -draw "line 16,28 30,28"
icon messagebox_info -fill "#3a86ff" -stroke "#1d3557" -draw "circle 24,24 24,3" -fill white -stroke none \
    -draw "circle 24,13 24,10" -draw "rectangle 21,19 27,37"
icon messagebox_warning -fill "#ffd166" -stroke "#6b4f00" -draw "polygon 24,3 45,43 3,43" -fill "#333333" \
    -stroke none -draw "rectangle 22,15 26,32" -draw "circle 24,37 24,35"
gear "#8d99ae"; icon utils "${G[@]}"
gear "#3a86ff"; icon configure "${G[@]}"

# Keys and files.
icon key -fill "#e9c46a" -stroke "#7a5c00" -draw "circle 14,24 14,13" -draw "rectangle 22,21 44,27" \
    -draw "rectangle 34,27 38,34" -draw "rectangle 40,27 44,32" -fill white -stroke none -draw "circle 12,24 12,21"
folder() { # a folder in colour $1
    F=(-fill "$1" -stroke "#1d3557" -draw "polygon 3,10 18,10 22,15 45,15 45,42 3,42")
}
folder "#3a86ff"
icon keys_folder_blue "${F[@]}" -fill "#ffd166" -stroke "#7a5c00" -draw "circle 17,29 17,23" \
    -draw "rectangle 22,27 38,31"
icon files_folder_blue "${F[@]}" -fill white -stroke "#1d3557" -draw "rectangle 16,21 32,38"
icon add -fill "#2a9d3f" -stroke "#1b5e20" -draw "circle 24,24 24,4" -stroke white -strokewidth 5 \
    -draw "line 24,13 24,35" -draw "line 13,24 35,24"
icon random -fill white -stroke "#1d3557" -draw "roundrectangle 6,6 42,42 6,6" -fill "#1d3557" -stroke none \
    -draw "circle 15,15 15,11" -draw "circle 33,15 33,11" -draw "circle 24,24 24,20" -draw "circle 15,33 15,29" \
    -draw "circle 33,33 33,29"
icon filecmd_saveas -fill "#457b9d" -stroke "#1d3557" -draw "rectangle 6,6 42,42" -fill white -stroke none \
    -draw "rectangle 12,8 36,20" -fill "#1d3557" -draw "rectangle 14,28 34,42"
sheet() { # a sheet of paper with a coloured band $1 and a label $2
    S=(-fill white -stroke "#1d3557" -draw "polygon 8,3 32,3 40,11 40,45 8,45" -fill "$1" -stroke none
        -draw "rectangle 9,28 39,44" -fill white -font DejaVu-Sans-Bold -pointsize 10 -draw "text 11,41 '$2'")
}
sheet "#2a9d3f" CRT; icon filetype_usercert "${S[@]}"
sheet "#f4a261" REQ; icon filetype_userreq "${S[@]}"
sheet "#e76f51" HTM; icon filetype_html "${S[@]}"
sheet "#457b9d" TXT; icon filetype_txt "${S[@]}"
sheet "#b8860b" KEY; icon filetype_key "${S[@]}"
sheet "#8d99ae" CNF; icon filetype_conf "${S[@]}"
sheet "#2b2d42" BIN; icon filetype_binary "${S[@]}"
sheet "#a0a4a8" "?"; icon filetype_unknown "${S[@]}"

convert -size 120x60 xc:none -fill "#3a86ff" -stroke "#1d3557" -strokewidth 2 -draw "roundrectangle 2,12 46,48 8,8" \
    -fill "#b0b8c0" -stroke "#606870" -draw "rectangle 46,22 56,38" \
    -fill "#1d3557" -stroke none -font DejaVu-Sans-Bold -pointsize 17 -draw "text 58,36 'Morvil'" \
    -fill white -draw "circle 16,30 20,30" "$out/morvil_logo_120_60.png"
