#!/usr/bin/env bash
# Draws the main window's pictures with ImageMagick: the menu strip's cells,
# its stretching background, the exit button and the program icon used by the
# window and the tray. Drawn at four times the size and scaled down for smooth
# edges. The output is committed; run this again only after changing a drawing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../src/resources" && pwd)
images=$root/images
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ORANGE='rgb(255,130,0)'
LIGHT='rgb(215,215,215)'

save() { convert "$1" -filter Lanczos -resize 25% -strip -define png:exclude-chunks=date,time "PNG32:$2"; }

# A strip cell at 4x (324 x 196): a dark bevelled face with a separator on the
# right and an indicator lamp above the caption. cell <top> <bottom> <lamp> <glow> <file>
cell() {
    convert -size 324x196 "gradient:$1-$2" \
        -fill 'rgba(255,255,255,0.10)' -draw 'rectangle 0,0 323,3' \
        -fill 'rgb(24,24,24)' -draw 'rectangle 0,192 323,195' -draw 'rectangle 318,0 323,195' \
        -fill 'rgba(255,255,255,0.07)' -draw 'rectangle 314,8 317,187' \
        "$tmp/face.png"
    if [ "$4" = none ]; then
        convert "$tmp/face.png" -fill "$3" -draw 'roundrectangle 110,44 210,60 8,8' "$tmp/cell.png"
    else
        convert "$tmp/face.png" \
            \( -size 324x196 xc:none -fill "$4" -draw 'roundrectangle 96,36 224,68 16,16' -blur 0x14 \) \
            -composite -fill "$3" -draw 'roundrectangle 110,44 210,60 8,8' \
            -fill 'rgba(255,255,255,0.55)' -draw 'roundrectangle 122,46 198,50 2,2' "$tmp/cell.png"
    fi
    save "$tmp/cell.png" "$images/$5"
}
cell 'rgb(70,70,70)' 'rgb(40,40,40)' "$ORANGE" 'rgba(255,130,0,0.85)' btn_ext_p.png
cell 'rgb(56,56,56)' 'rgb(34,34,34)' 'rgb(28,28,28)' none btn_ext.png

# The buttons lie over the cells: normally clear, lit while the mouse is over.
convert -size 324x196 xc:none "PNG32:$tmp/clear.png"
save "$tmp/clear.png" "$images/btn_1.png"
convert -size 324x196 xc:none -fill 'rgba(255,255,255,0.09)' -draw 'rectangle 0,0 317,191' \
    -fill "$ORANGE" -draw 'rectangle 0,180 317,191' "$tmp/hover.png"
save "$tmp/hover.png" "$images/btn_ext_h.png"

# The strip's middle, stretched to any width; the toolbar uses it as border image.
convert -size 64x196 'gradient:rgb(52,52,52)-rgb(30,30,30)' \
    -fill 'rgba(255,255,255,0.10)' -draw 'rectangle 0,0 63,3' \
    -fill 'rgb(24,24,24)' -draw 'rectangle 0,192 63,195' "$tmp/spacer.png"
save "$tmp/spacer.png" "$images/spacer.png"

# The exit button: a power sign on the strip's face, red-orange while hovered.
power() { # colour file
    convert -size 324x196 'gradient:rgb(60,60,60)-rgb(34,34,34)' \
        -fill 'rgba(255,255,255,0.10)' -draw 'rectangle 0,0 323,3' \
        -fill 'rgb(24,24,24)' -draw 'rectangle 0,192 323,195' -draw 'rectangle 0,0 5,195' \
        -fill none -stroke "$1" -strokewidth 14 -draw 'arc 118,54 206,142 -60,240' \
        -stroke "$1" -strokewidth 14 -draw 'line 162,42 162,98' "$tmp/power.png"
    save "$tmp/power.png" "$images/$2"
}
power "$LIGHT" shutdown.png
power 'rgb(240,90,40)' shutdown_h.png

# The program icon: the orange Q of the splash screen on a dark rounded square.
convert -size 256x256 xc:none -fill 'rgb(44,44,44)' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill "$ORANGE" -draw 'circle 120,120 120,52' -fill 'rgb(44,44,44)' -draw 'circle 120,120 120,84' \
    -fill "$ORANGE" -draw 'circle 120,120 120,104' \
    -stroke "$ORANGE" -strokewidth 26 -draw 'line 160,160 206,206' "$tmp/quor.png"
convert "$tmp/quor.png" -filter Lanczos -resize 64x64 -strip -define png:exclude-chunks=date,time "PNG32:$root/icons/quor.png"
