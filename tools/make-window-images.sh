#!/usr/bin/env bash
# Draws the queue and parked windows' pictures (src/resources/images/window/)
# with ImageMagick: the border around the list, the button strip with its Send,
# Take and Hangup buttons (normal and "_h" hover) and the queue row's sheen.
# Drawn at four times the size and scaled down for smooth edges. The output is
# committed; run this again only after changing a drawing.
set -euo pipefail
out=$(cd "$(dirname "$0")/../src/resources/images" && pwd)/window
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

orange='rgb(255,130,0)'
green='rgb(70,200,90)'
greenHover='rgb(120,235,130)'
red='rgb(225,60,45)'
redHover='rgb(255,110,80)'
light='rgb(205,205,205)'

save() { convert "$1" -filter Lanczos -resize 25% -strip -define png:exclude-chunks=date,time "PNG32:$2"; }

# The border: a 50 x 50 frame (200 x 200 at 4x), 7 pixels wide, rounded on
# the outside, its inner edge shaded towards the list. The corners are cut
# from it as they are, the edges as slices that the window stretches.
convert -size 200x200 'gradient:rgb(84,84,84)-rgb(44,44,44)' \
    \( -size 200x200 xc:none -fill white -draw 'roundrectangle 0,0 199,199 22,22' \) \
    -compose CopyOpacity -composite -compose Over \
    -fill none -stroke 'rgb(20,20,20)' -strokewidth 4 -draw 'roundrectangle 2,2 197,197 21,21' \
    -stroke 'rgba(255,255,255,0.13)' -strokewidth 3 -draw 'roundrectangle 7,7 192,192 16,16' \
    -stroke 'rgb(26,26,26)' -strokewidth 4 -draw 'rectangle 26,26 173,173' \
    -fill none -stroke 'rgba(255,130,0,0.55)' -strokewidth 2 -draw 'line 60,3 140,3' \
    "$tmp/border.png"
convert "$tmp/border.png" -filter Lanczos -resize 25% -strip "PNG32:$tmp/border50.png"
cut() { convert "$tmp/border50.png" -crop "$1" +repage -strip -define png:exclude-chunks=date,time "PNG32:$out/$2"; }
cut 7x7+0+0 l_TC_W.png
cut 36x7+7+0 TC_W.png
cut 7x7+43+0 R_TC_W.png
cut 7x36+0+7 LC_W.png
cut 7x36+43+7 RC_W.png
cut 7x7+0+43 l_BC_W.png
cut 36x7+7+43 BC_W.png
cut 7x7+43+43 display_09.png

# The strip's face at 4x: face <width> <hover 0|1> <file>. A lit face shows
# an orange bar along its foot, as the menu strip's cells do.
face() {
    local w=$(($1 * 4)) top='rgb(66,66,66)' bottom='rgb(34,34,34)'
    [ "$2" = 1 ] && top='rgb(88,88,88)' && bottom='rgb(48,48,48)'
    convert -size ${w}x120 "gradient:$top-$bottom" \
        -fill 'rgba(255,255,255,0.11)' -draw "rectangle 0,0 $((w - 1)),3" \
        -fill 'rgb(20,20,20)' -draw "rectangle 0,116 $((w - 1)),119" "$3"
    if [ "$2" = 1 ]; then
        convert "$3" -fill "$orange" -draw "rectangle 8,106 $((w - 9)),113" "$3"
    fi
}
face 4 0 "$tmp/sp.png"
save "$tmp/sp.png" "$out/queue-buttons_sp.png"
face 8 0 "$tmp/l.png"
convert "$tmp/l.png" -fill "$orange" -draw 'roundrectangle 10,30 17,90 3,3' "$tmp/l.png"
save "$tmp/l.png" "$out/queue-buttons_l.png"

# Handset in a 100 x 100 box, ear piece up left (the phone's own drawing).
handset() {
    echo "fill $1 stroke none path 'M 30,8 C 22,6 10,14 10,26 C 12,52 40,84 72,90 C 84,92 92,82 92,74
          L 92,68 C 92,64 90,62 86,60 L 72,54 C 68,52 64,54 62,58 L 58,64 C 46,58 40,52 34,40 L 40,36
          C 44,34 46,30 44,26 L 38,12 C 36,8 34,8 30,8 Z'"
}
arrow() {
    echo "fill none stroke $1 stroke-width 10 stroke-linecap round line 14,50 66,50
          fill $1 stroke none polygon 58,26 92,50 58,74
          fill none stroke $1 stroke-width 6 line 8,22 8,78"
}

# A strip button: button <name> <width> <mvg for normal> <mvg for hover>. The
# drawing sits in a 100 x 100 box scaled to 72 pixels, centred; a groove on
# the left parts it from its neighbour.
button() {
    local name=$1 w=$2 hover art x
    for hover in 0 1; do
        face "$w" $hover "$tmp/f.png"
        if [ $hover = 1 ]; then art=$4; else art=$3; fi
        x=$(((w * 4 - 72) / 2))
        convert "$tmp/f.png" -fill 'rgb(22,22,22)' -draw 'rectangle 0,8 3,111' \
            -fill 'rgba(255,255,255,0.08)' -draw 'rectangle 4,8 5,111' \
            -draw "translate $x,22 scale 0.72,0.72 $art" "$tmp/b.png"
        if [ $hover = 1 ]; then save "$tmp/b.png" "$out/${name}_h.png"; else save "$tmp/b.png" "$out/$name.png"; fi
    done
}
button queue-buttons_send 40 "$(arrow "$light")" "$(arrow "$orange")"
button queue-buttons_take 57 "$(handset "$green")" "$(handset "$greenHover")"
button queue-buttons_hang 60 "translate 50,58 rotate 135 translate -51,-50 $(handset "$red")" \
    "translate 50,58 rotate 135 translate -51,-50 $(handset "$redHover")"

# The queue row's sheen: light on top, a shade at the foot; translucent, so
# the selected row's colour shows through.
convert -size 920x120 xc:none \
    \( -size 920x60 'gradient:rgba(255,255,255,0.55)-rgba(255,255,255,0)' \) -geometry +0+0 -composite \
    -fill 'rgba(0,0,0,0.10)' -draw 'rectangle 0,108 919,119' \
    -fill "$orange" -draw 'rectangle 0,8 7,111' "$tmp/row.png"
save "$tmp/row.png" "$out/Qrow.png"
