#!/usr/bin/env bash
# Draws the pictures of the list rows, their scroll bar and the splash screen
# into src/resources/images. Needs ImageMagick's convert. The output is
# committed; run this again only after changing a drawing below.
set -euo pipefail
cd "$(dirname "$0")/../src/resources/images"
mkdir -p rows

ORANGE='rgb(255,130,0)'
LIGHT='rgb(215,215,215)'
GREY='rgb(150,150,150)'
RED='rgb(225,65,50)'


# Icons are drawn at 4x and scaled down, which gives clean anti-aliased edges.
icon() { # name, draw arguments...
    local name=$1; shift
    convert -size 80x80 xc:none -strokewidth 0 "$@" -resize 20x20 -strip \
        -define png:exclude-chunks=date,time "PNG32:rows/$name"
}

# Row backgrounds, stretched to the row's width when painted.
row_bg() { # name, top colour, bottom colour, accent colour or none
    local name=$1 top=$2 bottom=$3 accent=$4
    local args=(-size 300x36 "gradient:$top-$bottom"
                -fill 'rgb(74,74,74)' -draw 'rectangle 0,0 299,0'
                -fill 'rgb(28,28,28)' -draw 'rectangle 0,35 299,35')
    [ "$accent" != none ] && args+=(-fill "$accent" -draw 'rectangle 0,1 3,34')
    convert "${args[@]}" -strip -define png:exclude-chunks=date,time "PNG32:rows/$name"
}
row_bg row_bg.png 'rgb(60,60,60)' 'rgb(44,44,44)' none
row_bg row_bg_sel.png 'rgb(84,84,84)' 'rgb(64,64,64)' "$ORANGE"
row_bg row_bg_ring.png 'rgb(120,72,28)' 'rgb(86,50,18)' "$ORANGE"


icon kind_outgoing.png  -fill "$ORANGE" -stroke "$ORANGE" -strokewidth 9 -draw 'line 18,62 54,26' \
    -strokewidth 0 -draw 'polygon 34,16 64,16 64,46'
icon kind_dialled.png   -fill "$LIGHT" -stroke "$LIGHT" -strokewidth 9 -draw 'line 18,62 54,26' \
    -strokewidth 0 -draw 'polygon 34,16 64,16 64,46'
icon kind_answered.png  -fill "$LIGHT" -stroke "$LIGHT" -strokewidth 9 -draw 'line 62,18 26,54' \
    -strokewidth 0 -draw 'polygon 16,34 16,64 46,64'
icon kind_missed.png    -fill "$RED" -stroke "$RED" -strokewidth 9 -draw 'line 62,18 26,54' \
    -strokewidth 0 -draw 'polygon 16,34 16,64 46,64'
# Ringing: a dot with a ring around it.
icon kind_ringing.png   -fill "$ORANGE" -draw 'circle 40,40 40,28' \
    -fill none -stroke "$ORANGE" -strokewidth 7 -draw 'circle 40,40 40,8'
# Talking: a dot sending out waves to one side.
icon kind_talking.png   -fill "$ORANGE" -draw 'circle 24,40 24,32' \
    -fill none -stroke "$ORANGE" -strokewidth 7 \
    -draw 'arc 0,16 48,64 -45,45' -draw 'arc -14,2 62,78 -45,45'
icon kind_held.png      -fill "$ORANGE" -draw 'roundrectangle 20,14 34,66 4,4' -draw 'roundrectangle 46,14 60,66 4,4'
icon kind_info.png      -fill "$LIGHT" -draw 'circle 40,40 40,6' -fill 'rgb(50,50,50)' \
    -draw 'circle 40,22 40,16' -draw 'roundrectangle 34,32 46,64 3,3'
icon kind_contact.png   -fill "$LIGHT" -draw 'circle 40,26 40,10' -draw 'roundrectangle 12,46 68,76 18,18'
icon kind_server.png    -fill "$LIGHT" -draw 'roundrectangle 10,8 70,32 5,5' -draw 'roundrectangle 10,40 70,64 5,5' \
    -fill "$ORANGE" -draw 'circle 58,20 58,15' -draw 'circle 58,52 58,47' \
    -fill "$LIGHT" -draw 'rectangle 36,64 44,72' -draw 'rectangle 20,70 60,76'

# Scroll buttons: a triangle on a dark square, orange while hovered.
scroll_button() { # name, triangle colour, points
    convert -size 56x56 xc:'rgb(52,52,52)' -fill 'rgb(36,36,36)' -draw 'rectangle 0,0 55,3' \
        -fill "$2" -draw "polygon $3" -resize 14x14 -strip -define png:exclude-chunks=date,time "PNG32:$1"
}
scroll_button scroll_up.png "$LIGHT" '12,38 44,38 28,16'
scroll_button scroll_up_h.png "$ORANGE" '12,38 44,38 28,16'
scroll_button scroll_down.png "$LIGHT" '12,18 44,18 28,40'
scroll_button scroll_down_h.png "$ORANGE" '12,18 44,18 28,40'

# Splash screen.
convert -size 400x240 'gradient:rgb(66,66,66)-rgb(30,30,30)' \
    -fill "$ORANGE" -draw 'rectangle 0,0 399,5' -draw 'rectangle 0,234 399,239' \
    -fill "$ORANGE" -draw 'circle 70,110 70,78' -fill 'rgb(40,40,40)' -draw 'circle 70,110 70,90' \
    -fill "$ORANGE" -draw 'circle 70,110 70,100' -stroke "$ORANGE" -strokewidth 8 -draw 'line 84,124 100,140' \
    -stroke none -font DejaVu-Sans-Bold -pointsize 30 -fill 'rgb(235,235,235)' -annotate +120+122 'Quor Manager' \
    -font DejaVu-Sans -pointsize 13 -fill "$GREY" -annotate +122+148 'Softphone and operator panel' \
    -strip -define png:exclude-chunks=date,time PNG32:splash.png
