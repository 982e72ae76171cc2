#!/usr/bin/env bash
# Draws the images of the settings panel (menu, apply/back, agent buttons,
# lock, status icons and the about logo) into src/resources/images.
# Needs ImageMagick 6 (convert) and the DejaVu fonts. The output carries no
# time stamps, so running it again on an unchanged script gives the same files.
set -euo pipefail

out=${1:-$(cd "$(dirname "$0")/.." && pwd)/src/resources/images}
mkdir -p "$out"

ORANGE='rgb(255,130,0)'
FONT=DejaVu-Sans-Bold

save() { # save <convert args...> <name>: writes $out/<name> without dates
    local name=${!#}
    local args=("${@:1:$#-1}")
    convert "${args[@]}" -strip -define png:exclude-chunk=date,time,tIME "PNG32:$out/$name"
}

# An open stroke through points, as single line segments: ImageMagick 6 closes
# stroked arcs and longer polylines. segments <x,y> <x,y> ...
segments() {
    local prev='' pt out=''
    for pt in "$@"; do
        [ -n "$prev" ] && out+="line $prev $pt "
        prev=$pt
    done
    echo "$out"
}

# Points of a circular arc: arc_points <cx> <cy> <r> <from degrees> <to degrees>,
# 0 degrees pointing right, clockwise on screen
arc_points() {
    awk -v cx="$1" -v cy="$2" -v r="$3" -v a="$4" -v b="$5" 'BEGIN {
        n = 24
        for (i = 0; i <= n; i++) {
            t = (a + (b - a) * i / n) * 3.14159265358979 / 180
            printf "%.2f,%.2f ", cx + r * cos(t), cy + r * sin(t)
        }
    }'
}

# Rounded gradient slab with a border, into the array SLAB. The border is a
# filled shape under an inset body: ImageMagick 6 leaves dots at the corners of
# stroked round rectangles.
# slab <w> <h> <radius> <top colour> <bottom colour> <border colour> [border width]
slab() {
    local w=$1 h=$2 r=$3 top=$4 bottom=$5 border=$6 bwid=${7:-1}
    local iw=$((w - 2 * bwid)) ih=$((h - 2 * bwid)) ir=$((r - bwid))
    ((ir < 1)) && ir=1
    SLAB=(-size "${w}x${h}" xc:none -fill "$border" -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r"
        '(' -size "${iw}x${ih}" "gradient:${top}-${bottom}"
        '(' -size "${iw}x${ih}" xc:none -fill white -draw "roundrectangle 0,0 $((iw - 1)),$((ih - 1)) $ir,$ir" ')'
        -compose DstIn -composite ')'
        -compose Over -geometry "+${bwid}+${bwid}" -composite)
}

# ---- settings menu buttons, 169 x 22: light slab, orange on hover, dark when disabled
menu_button() { # <name> <top> <bottom> <highlight> <shadow> <chevron>
    save -size 169x22 "gradient:$2-$3" \
        -fill "$4" -draw 'line 0,0 168,0' \
        -fill "$5" -draw 'line 0,21 168,21' \
        -fill none -stroke "$6" -strokewidth 1.6 -draw 'polyline 156,7 160,11 156,15' \
        "$1"
}
menu_button btn_settings.png 'rgb(236,236,236)' 'rgb(196,196,196)' 'rgb(250,250,250)' 'rgb(112,112,112)' 'rgb(120,120,120)'
menu_button btn_settings_h.png 'rgb(255,158,56)' 'rgb(226,108,0)' 'rgb(255,196,130)' 'rgb(140,64,0)' 'rgb(255,255,255)'
menu_button btn_settings_g.png 'rgb(104,104,104)' 'rgb(84,84,84)' 'rgb(118,118,118)' 'rgb(52,52,52)' 'rgb(128,128,128)'

# ---- Back (85 x 20) and Apply (86 x 20) at the foot of the panel
foot() { # <name> <w> <glyph draw> <text> <text x> <colour> <accent line colour>
    save -size "$2x20" 'gradient:rgb(84,84,84)-rgb(44,44,44)' \
        -fill 'rgb(110,110,110)' -draw "line 0,0 $(($2 - 1)),0" \
        -fill "$7" -draw "rectangle 0,0 $(($2 - 1)),1" \
        -fill none -stroke "$6" -strokewidth 2 -draw "$3" -stroke none \
        -font "$FONT" -pointsize 8.5 -fill "$6" -annotate "+$5+14" "$4" \
        "$1"
}
back_glyph='polyline 17,6 12,10 17,14'
apply_glyph='polyline 60,10 64,14 72,5'
foot btn_back.png 85 "$back_glyph" 'Back' 24 'rgb(214,214,214)' 'rgb(84,84,84)'
foot btn_back_h.png 85 "$back_glyph" 'Back' 24 "$ORANGE" "$ORANGE"
foot btn_apply.png 86 "$apply_glyph" 'Apply' 20 'rgb(214,214,214)' 'rgb(84,84,84)'
foot btn_apply_h.png 86 "$apply_glyph" 'Apply' 20 "$ORANGE" "$ORANGE"

# ---- agent page: coloured slabs under the buttons, glass overlays on the buttons
# The login slab is 152 wide; its left 49 px lie under the pause slab.
slab 152 33 5 'rgb(170,226,130)' 'rgb(98,172,66)' 'rgb(58,112,36)'
save "${SLAB[@]}" bg_agent_green.png
slab 152 33 5 'rgb(246,150,136)' 'rgb(204,72,60)' 'rgb(124,36,28)'
save "${SLAB[@]}" bg_agent_red.png
pause_slab() { # <name> <glyph colour> <glyph draw>
    slab 49 33 5 'rgb(112,112,112)' 'rgb(66,66,66)' 'rgb(36,36,36)'
    save "${SLAB[@]}" \
        -fill 'rgb(30,30,30)' -draw 'line 48,2 48,30' \
        -fill "$2" -draw "$3" "$1"
}
pause_slab bg_pause.png 'rgb(224,224,224)' 'rectangle 18,10 21,22 rectangle 27,10 30,22'
pause_slab bg_unpause.png "$ORANGE" 'polygon 19,9 19,23 31,16'

# The overlays are drawn twice (as background and as icon), hence the low alpha.
glass() { # <name> <w> <h> <border colour> <border width> <tint>
    save -size "$2x$3" xc:none \
        -fill "$6" -draw "roundrectangle 1,1 $(($2 - 2)),$(($3 - 2)) 4,4" \
        -fill 'rgba(255,255,255,0.16)' -draw "roundrectangle 2,2 $(($2 - 3)),$(($3 / 2)) 3,3" \
        -fill none -stroke "$4" -strokewidth "$5" -draw "roundrectangle 1,1 $(($2 - 2)),$(($3 - 2)) 4,4" \
        "$1"
}
glass ag_login.png 103 33 'rgba(255,255,255,0.22)' 1 'rgba(0,0,0,0)'
glass ag_login_h.png 103 33 "$ORANGE" 2 'rgba(255,130,0,0.12)'
glass ph_pause.png 49 33 'rgba(255,255,255,0.22)' 1 'rgba(0,0,0,0)'
glass ph_pause_h.png 49 33 "$ORANGE" 2 'rgba(255,130,0,0.12)'

# ---- padlocks: 100 x 100 pictures for the administrator page, 30 x 30 icons
padlock() { # <name> <size> <open 0|1> <body top> <body bottom> <body border>
    local s=$2 k
    k=$(echo "$s / 100" | bc -l)
    p() { printf '%.1f' "$(echo "$1 * $k" | bc -l)"; }
    local lift=0
    [ "$3" = 1 ] && lift=8
    local sw bw bh br
    sw=$(p 9)
    bw=$(p 68 | cut -d. -f1)
    ((bw % 2)) || bw=$((bw + 1))
    bh=$(p 50 | cut -d. -f1)
    br=$(p 5 | cut -d. -f1)
    # shackle: a half ring on two legs; the right leg leaves the body when open
    local right_end=50
    [ "$3" = 1 ] && right_end=$((38 - lift))
    local top=$((32 - lift))
    # shellcheck disable=SC2046
    local shackle
    slab "$bw" "$bh" "$br" "$4" "$5" "$6" "$(p 2 | cut -d. -f1)"
    [ "$s" -lt 50 ] && slab "$bw" "$bh" "$br" "$4" "$5" "$6" 1
    shackle=$(segments "$(p 30),$(p 50)" $(arc_points "$(p 50)" "$(p $top)" "$(p 20)" 180 360) "$(p 70),$(p $right_end)")
    save -size "${s}x${s}" xc:none \
        -fill none -draw "stroke-linecap round" -stroke 'rgb(70,70,70)' -strokewidth "$(p 13)" -draw "$shackle" \
        -stroke 'rgb(206,206,206)' -strokewidth "$sw" -draw "$shackle" -stroke none \
        '(' "${SLAB[@]}" ')' -geometry "+$(p 16 | cut -d. -f1)+$(p 46 | cut -d. -f1)" -composite \
        -fill 'rgb(40,40,40)' -draw "circle $(p 50),$(p 65) $(p 50),$(p 71)" \
        -draw "polygon $(p 47),$(p 68) $(p 53),$(p 68) $(p 55),$(p 84) $(p 45),$(p 84)" \
        "$1"
}
padlock Locked.png 100 0 'rgb(214,214,214)' 'rgb(140,140,140)' 'rgb(70,70,70)'
padlock Unlocked.png 100 1 'rgb(255,170,70)' 'rgb(222,104,0)' 'rgb(120,56,0)'
padlock lock.png 30 0 'rgb(214,214,214)' 'rgb(140,140,140)' 'rgb(70,70,70)'
padlock unlock.png 30 1 'rgb(255,170,70)' 'rgb(222,104,0)' 'rgb(120,56,0)'

# ---- status strip icons, 18 x 10 (mail 14 x 10)
save -size 18x10 xc:none -fill 'rgb(40,110,40)' -draw 'roundrectangle 1,1 16,8 4,4' \
    -fill 'rgb(96,210,96)' -draw 'roundrectangle 2,2 15,7 3,3' \
    -fill 'rgba(255,255,255,0.55)' -draw 'line 4,3 13,3' connOk.png
save -size 18x10 xc:none -fill 'rgb(60,60,60)' -draw 'roundrectangle 1,1 16,8 4,4' \
    -fill 'rgb(150,150,150)' -draw 'roundrectangle 2,2 15,7 3,3' \
    -fill 'rgb(200,40,30)' -draw 'line 6,1 11,8' -draw 'line 7,1 12,8' connOff.png
save -size 18x10 xc:none -fill 'rgb(200,30,30)' -draw 'circle 9,4.5 9,0' \
    -fill white -draw 'rectangle 6,4 12,5' dnd.png
save -size 18x10 xc:none -fill "$ORANGE" -draw 'rectangle 3,4 11,5' \
    -draw 'polygon 10,1 15,4.5 10,8' fwd.png
save -size 14x10 xc:none -fill 'rgb(236,236,236)' -stroke 'rgb(90,90,90)' -strokewidth 1 \
    -draw 'rectangle 0,1 13,9' -fill none -draw 'polyline 0,1 7,6 13,1' mail_icn.png

# ---- about page logo, 129 x 140: a ring with an orange tail over the name
save -size 129x140 xc:none \
    -fill none -stroke 'rgb(30,30,30)' -strokewidth 14 -draw 'circle 64,56 64,14' \
    -stroke 'rgb(220,220,220)' -strokewidth 10 -draw 'circle 64,56 64,14' \
    -stroke "$ORANGE" -strokewidth 11 -draw 'line 88,80 108,100' -stroke none \
    -fill "$ORANGE" -draw 'circle 108,100 108,94.5' \
    -fill none -stroke "$ORANGE" -strokewidth 3.5 \
    -draw "stroke-linecap round" \
    -draw "$(segments $(arc_points 56 56 14 -50 50))" -draw "$(segments $(arc_points 56 56 24 -50 50))" \
    -stroke none \
    -fill "$ORANGE" -draw 'circle 56,56 56,50.5' \
    -font "$FONT" -pointsize 19 -fill 'rgb(224,224,224)' -gravity north -annotate +0+108 'QUOR' \
    lG_MANAGER.png

echo "images written to $out"
