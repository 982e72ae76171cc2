#!/usr/bin/env bash
# Draws the images of the address book and the LDAP server page (the add, edit
# and delete buttons with their hover pictures, and the search glyph) into
# src/resources/images. Needs ImageMagick 6 (convert) and the DejaVu fonts. The
# output carries no time stamps, so running it again on an unchanged script
# gives the same files.
set -euo pipefail

out=${1:-$(cd "$(dirname "$0")/.." && pwd)/src/resources/images}
mkdir -p "$out"

ORANGE='rgb(255,130,0)'
LIGHT='rgb(214,214,214)'
FONT=DejaVu-Sans-Bold

save() { # save <convert args...> <name>: writes $out/<name> without dates
    local name=${!#}
    local args=("${@:1:$#-1}")
    convert "${args[@]}" -strip -define png:exclude-chunk=date,time,tIME "PNG32:$out/$name"
}

# Glyphs drawn in a 12 x 12 box whose top left corner is at (x, y).
glyph() { # glyph <add|edit|delete> <x> <y>
    local x=$2 y=$3
    case $1 in
    add) echo "line $((x + 6)),$((y + 1)) $((x + 6)),$((y + 11)) line $((x + 1)),$((y + 6)) $((x + 11)),$((y + 6))" ;;
    edit) echo "line $((x + 2)),$((y + 10)) $((x + 10)),$((y + 2)) line $((x + 1)),$((y + 11)) $((x + 3)),$((y + 11))" ;;
    delete) echo "line $((x + 2)),$((y + 2)) $((x + 10)),$((y + 10)) line $((x + 10)),$((y + 2)) $((x + 2)),$((y + 10))" ;;
    esac
}

# One button of a bottom row: a dark slab, a glyph and a word; the hover picture
# turns both orange and lights the top edge. A thin dark line on the right
# separates the button from its neighbour.
# button <name> <width> <height> <glyph> <word> <colour> <accent colour>
button() {
    local name=$1 w=$2 h=$3 kind=$4 word=$5 colour=$6 accent=$7
    local gy=$(((h - 12) / 2)) ty=$((h / 2 + 4))
    save -size "${w}x${h}" 'gradient:rgb(84,84,84)-rgb(44,44,44)' \
        -fill 'rgb(110,110,110)' -draw "line 0,0 $((w - 1)),0" \
        -fill "$accent" -draw "rectangle 0,0 $((w - 1)),1" \
        -fill 'rgb(28,28,28)' -draw "line $((w - 1)),2 $((w - 1)),$((h - 1))" \
        -fill none -stroke "$colour" -strokewidth 2 -draw "$(glyph "$kind" 5 "$gy")" -stroke none \
        -font "$FONT" -pointsize 8 -fill "$colour" -annotate "+20+$ty" "$word" \
        "$name"
}

row() { # row <prefix add> <prefix edit> <prefix delete> <height>
    local h=$4 name kind word w
    for entry in "$1:add:Add:57" "$2:edit:Edit:57" "$3:delete:Delete:56"; do
        IFS=: read -r name kind word w <<<"$entry"
        button "$name.png" "$w" "$h" "$kind" "$word" "$LIGHT" 'rgb(84,84,84)'
        button "${name}_h.png" "$w" "$h" "$kind" "$word" "$ORANGE" "$ORANGE"
    done
}

# ---- address book: add, edit and delete under the list, 20 high
row C_add_btn C_mod_btn C_del_btn 20
# ---- LDAP server page: the same row, 23 high
row list2_a list2_b list2_c 23

# ---- search glyph, 14 x 14: a lens with a handle
save -size 14x14 xc:none \
    -fill none -stroke 'rgb(40,40,40)' -strokewidth 3.2 -draw 'circle 5.5,5.5 5.5,1.5' -draw 'line 8.5,8.5 12.5,12.5' \
    -stroke "$LIGHT" -strokewidth 1.6 -draw 'circle 5.5,5.5 5.5,1.5' -draw 'line 8.5,8.5 12.5,12.5' \
    search.png

# ---- the arrow of the narrow kind boxes in the phone-number editor, 7 x 4
save -size 7x4 xc:none -fill 'rgb(70,70,70)' -draw 'polygon 0,0 6,0 3,3' combo_arrow.png

echo "images written to $out"
