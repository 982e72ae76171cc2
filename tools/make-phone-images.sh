#!/bin/bash
# Draws the phone window's images (src/resources/images/phone_*.png) with
# ImageMagick. Everything is drawn at four times the size and scaled down, which
# gives smooth edges without hand-made anti-aliasing.
set -euo pipefail

out=$(cd "$(dirname "$0")/../src/resources/images" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

orange='rgb(255,130,0)'
green='rgb(60,190,80)'
red='rgb(220,50,40)'
light='rgb(215,215,215)'
font=DejaVu-Sans
fontBold=DejaVu-Sans-Bold

# Finishes a drawing made at 4x: scales it down to the final size.
shrink() { convert "$1" -filter Lanczos -resize 25% -strip "$2"; }

# A rounded button face at 4x: base <w> <h> <hover 0|1> <file>
base() {
    local w=$(($1 * 4)) h=$(($2 * 4)) r=28 top bottom border
    if [ "$3" = 1 ]; then top='rgb(96,96,96)'; bottom='rgb(52,52,52)'; border=$orange
    else top='rgb(78,78,78)'; bottom='rgb(38,38,38)'; border='rgb(22,22,22)'; fi
    convert -size ${w}x${h} gradient:"$top-$bottom" \
        \( -size ${w}x${h} xc:none -fill white -draw "roundrectangle 2,2 $((w - 3)),$((h - 3)) $r,$r" \) \
        -compose CopyOpacity -composite -compose Over \
        -fill none -stroke 'rgba(255,255,255,0.16)' -strokewidth 4 \
        -draw "line $((r)),9 $((w - r)),9" \
        -stroke "$border" -strokewidth 6 -draw "roundrectangle 4,4 $((w - 5)),$((h - 5)) $r,$r" "$4"
}

# Handset in a 100 x 100 box, ear piece up left: handset <colour>
handset() {
    echo "fill $1 stroke none path 'M 30,8 C 22,6 10,14 10,26 C 12,52 40,84 72,90 C 84,92 92,82 92,74
          L 92,68 C 92,64 90,62 86,60 L 72,54 C 68,52 64,54 62,58 L 58,64 C 46,58 40,52 34,40 L 40,36
          C 44,34 46,30 44,26 L 38,12 C 36,8 34,8 30,8 Z'"
}

# A control button: control <name> <mvg drawn in a 100 x 100 box>
control() {
    local name=$1 art=$2 hover
    for hover in 0 1; do
        base 44 44 $hover "$tmp/b.png"
        convert "$tmp/b.png" -draw "translate 28,28 scale 1.2,1.2 $art" "$tmp/c.png"
        if [ $hover = 1 ]; then shrink "$tmp/c.png" "$out/${name}_h.png"; else shrink "$tmp/c.png" "$out/$name.png"; fi
    done
}

control phone_call "$(handset "$green")"
control phone_hangup "translate 50,58 rotate 135 translate -51,-50 $(handset "$red")"
control phone_hold "fill $light stroke none roundrectangle 28,22 44,78 4,4 roundrectangle 56,22 72,78 4,4"
control phone_transfer "fill none stroke $light stroke-width 9 stroke-linecap round
    line 18,36 70,36 line 82,64 30,64
    fill $light stroke none polygon 66,20 90,36 66,52 polygon 34,48 10,64 34,80"
mic() {
    echo "fill $1 stroke none roundrectangle 38,12 62,58 12,12
          fill none stroke $1 stroke-width 7 path 'M 28,44 Q 28,74 50,74 Q 72,74 72,44'
          line 50,74 50,88 line 36,88 64,88"
}
control phone_mute "$(mic "$light")"
control phone_mute_on "$(mic "$orange") stroke $red stroke-width 9 stroke-linecap round line 20,16 80,86"
control phone_volume "fill $light stroke none polygon 14,40 30,40 52,20 52,80 30,60 14,60
    fill none stroke $light stroke-width 6 stroke-linecap round
    path 'M 62,38 Q 69,50 62,62' path 'M 74,28 Q 88,50 74,72'"

# Keypad keys: digit above its letters; a key without letters has its sign
# in the middle, the star drawn larger because the font sets it high and small.
key() {
    local name=$1 digit=$2 letters=$3 hover colour
    for hover in 0 1; do
        base 50 56 $hover "$tmp/b.png"
        colour=$light
        [ $hover = 1 ] && colour=$orange
        if [ "$digit" = '*' ]; then
            convert "$tmp/b.png" -gravity center -font "$fontBold" -pointsize 120 -fill "$colour" \
                -annotate +0+22 "$digit" "$tmp/k.png"
        elif [ -z "$letters" ]; then
            convert "$tmp/b.png" -gravity center -font "$fontBold" -pointsize 80 -fill "$colour" \
                -annotate +0+0 "$digit" "$tmp/k.png"
        else
            convert "$tmp/b.png" -gravity north -font "$fontBold" -pointsize 80 -fill "$colour" \
                -annotate +0+22 "$digit" -font "$font" -pointsize 30 -fill 'rgb(160,160,160)' \
                -annotate +0+150 "$letters" "$tmp/k.png"
        fi
        if [ $hover = 1 ]; then shrink "$tmp/k.png" "$out/${name}_h.png"; else shrink "$tmp/k.png" "$out/$name.png"; fi
    done
}
key phone_key_1 1 ' '
key phone_key_2 2 ABC
key phone_key_3 3 DEF
key phone_key_4 4 GHI
key phone_key_5 5 JKL
key phone_key_6 6 MNO
key phone_key_7 7 PQRS
key phone_key_8 8 TUV
key phone_key_9 9 WXYZ
key phone_key_star '*' ''
key phone_key_0 0 +
key phone_key_hash '#' ''

# Backspace of the dial display.
for hover in 0 1; do
    colour=$light
    [ $hover = 1 ] && colour=$orange
    convert -size 96x120 xc:none -fill none -stroke "$colour" -strokewidth 7 \
        -draw "stroke-linejoin round polygon 8,60 32,32 88,32 88,88 32,88" \
        -draw "stroke-linecap round line 46,46 74,74 line 74,46 46,74" "$tmp/bs.png"
    if [ $hover = 1 ]; then shrink "$tmp/bs.png" "$out/phone_backspace_h.png"; else shrink "$tmp/bs.png" "$out/phone_backspace.png"; fi
done

# Status lamps, 12 x 12: a glossy bead.
lamp() {
    convert -size 48x48 xc:none -fill "rgb(20,20,20)" -draw "circle 24,24 24,2" \
        -fill "$2" -draw "circle 24,24 24,6" \
        -fill 'rgba(255,255,255,0.45)' -draw "ellipse 20,16 9,6 0,360" "$tmp/l.png"
    shrink "$tmp/l.png" "$out/$1.png"
}
lamp phone_lamp_off 'rgb(75,75,75)'
lamp phone_lamp_green 'rgb(50,205,70)'
lamp phone_lamp_red 'rgb(230,45,35)'
lamp phone_lamp_orange "$orange"

# Voicemail: the reel-to-reel sign, 22 x 18.
convert -size 88x72 xc:none -fill none -stroke "$orange" -strokewidth 9 \
    -draw "circle 24,36 24,18" -draw "circle 64,36 64,18" -draw "line 24,54 64,54" "$tmp/vm.png"
shrink "$tmp/vm.png" "$out/phone_voicemail.png"

# Agent pictures, 24 x 24: logged out, logged in, paused.
person() {
    echo "fill $1 stroke none circle 48,30 48,12 path 'M 14,90 Q 14,52 48,52 Q 82,52 82,90 Z'"
}
convert -size 96x96 xc:none -draw "$(person 'rgb(110,110,110)')" "$tmp/a.png"
shrink "$tmp/a.png" "$out/phone_agent_out.png"
convert -size 96x96 xc:none -draw "$(person "$green")" "$tmp/a.png"
shrink "$tmp/a.png" "$out/phone_agent_in.png"
convert -size 96x96 xc:none -draw "$(person "$green")" -fill 'rgb(30,30,30)' -draw "circle 72,72 72,46" \
    -fill "$orange" -draw "rectangle 62,60 68,84 rectangle 76,60 82,84" "$tmp/a.png"
shrink "$tmp/a.png" "$out/phone_agent_paused.png"
# The main window shows the same pictures for an agent at work and paused.
cp "$out/phone_agent_in.png" "$out/a_login.png"
cp "$out/phone_agent_paused.png" "$out/a_login_p.png"

# Menu icons, 18 x 18, drawn in a 72 x 72 box.
icon() { convert -size 72x72 xc:none -draw "$2" "$tmp/i.png"; shrink "$tmp/i.png" "$out/$1.png"; }
icon phone_menu_activity "fill none stroke $orange stroke-width 6 stroke-linecap round stroke-linejoin round
    polyline 4,40 20,40 28,16 40,60 48,32 54,40 68,40"
dots=""
for y in 10 30 50; do for x in 12 32 52; do dots="$dots circle $((x + 4)),$((y + 4)) $((x + 4)),$((y - 3))"; done; done
icon phone_menu_keypad "fill $light stroke none $dots"
arrow() { # colour, direction in (down-left = 0, up-right = 1)
    if [ "$2" = 0 ]; then
        echo "fill none stroke $1 stroke-width 8 stroke-linecap round line 60,12 18,54
              fill $1 stroke none polygon 10,62 10,30 42,62"
    else
        echo "fill none stroke $1 stroke-width 8 stroke-linecap round line 12,60 54,18
              fill $1 stroke none polygon 62,10 62,42 30,10"
    fi
}
icon phone_menu_missed "$(arrow "$red" 0)"
icon phone_menu_dialed "$(arrow "$orange" 1)"
icon phone_menu_answered "$(arrow "$green" 0)"
icon phone_menu_messages "fill $light stroke none roundrectangle 6,8 66,50 10,10 polygon 16,46 30,46 14,64
    fill rgb(50,50,50) circle 20,29 20,24 circle 36,29 36,24 circle 52,29 52,24"
icon phone_menu_contacts "fill $light stroke none roundrectangle 10,4 62,68 6,6
    fill rgb(50,50,50) circle 36,26 36,16 path 'M 20,58 Q 20,38 36,38 Q 52,38 52,58 Z'
    fill $orange roundrectangle 4,14 12,22 2,2 roundrectangle 4,32 12,40 2,2 roundrectangle 4,50 12,58 2,2"
icon phone_menu_settings "fill none stroke $light
    push graphic-context stroke-width 10 stroke-dasharray 9,7.3 circle 36,36 36,9 pop graphic-context
    stroke-width 9 circle 36,36 36,20"
icon phone_menu_voicemail "translate -8,0 fill none stroke $orange stroke-width 7
    circle 24,36 24,22 circle 56,36 56,22 line 24,50 56,50"
icon phone_menu_agent "$(echo "scale 0.75,0.75" "$(person "$light")")"

# The maker's mark at the foot of the menu column.
convert -size 456x120 xc:none -gravity west -font "$fontBold" -pointsize 72 -fill "$orange" -annotate +8+0 'Quor' \
    -font "$font" -pointsize 56 -fill 'rgb(170,170,170)' -annotate +212+6 'phone' "$tmp/logo.png"
shrink "$tmp/logo.png" "$out/phone_logo.png"

echo "Phone images written to $out"
