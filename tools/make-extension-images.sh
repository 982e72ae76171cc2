#!/bin/bash
# Draws the extension tiles' and group headers' images (src/resources/images)
# with ImageMagick: the tile frame, the state strips (str_*) and backgrounds
# (bg_*), the call, transfer and voicemail buttons, the drag ghost, the group
# header pictures (bt_grp*), the info popup's pictures (images/agentinfo/,
# hide*.png) and the combo boxes' arrow (combo_down*). Shapes are drawn at four
# times the size and scaled down, which gives smooth edges without hand-made
# anti-aliasing.
set -euo pipefail

out=$(cd "$(dirname "$0")/../src/resources/images" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

orange='rgb(255,130,0)'
light='rgb(215,215,215)'
fontBold=DejaVu-Sans-Condensed-Bold

shrink() { convert "$1" -filter Lanczos -resize 25% -strip "$2"; }

# ---------------------------------------------------------------- tile frame
# 131 x 55: a dark title band for the caller name over a graphite body, with a
# recessed light well where the state background sits (19, 14, 93 x 30); the
# well reaches a little higher, so the extension has room above it.
convert -size 524x220 xc:none \
    \( -size 524x220 gradient:'rgb(104,104,104)-rgb(52,52,52)' \) \
    \( -size 524x220 xc:none -fill white -draw "roundrectangle 2,2 521,217 26,26" \) \
    -delete 0 -compose CopyOpacity -composite -compose Over \
    \( -size 524x62 gradient:'rgb(64,64,64)-rgb(34,34,34)' \) -geometry +0+0 \
    -compose SrcAtop -composite -compose Over \
    -fill none -stroke 'rgba(255,255,255,0.12)' -strokewidth 4 -draw "line 24,66 500,66" \
    -stroke 'rgb(22,22,22)' -strokewidth 6 -fill 'rgb(250,250,250)' -draw "roundrectangle 74,50 449,178 10,10" \
    -fill none \
    -stroke 'rgb(18,18,18)' -strokewidth 5 -draw "roundrectangle 3,3 520,216 26,26" \
    "$tmp/bt.png"
shrink "$tmp/bt.png" "$out/bt.png"

# ---------------------------------------------------------------- state backgrounds
# 93 x 30: a light upper field for the dark extension and call time, fading
# from the well's white into the state's tint, and a deeper band of the state's
# colour below for the white text about the other party.
# stateBg <name> <top1> <top2> <band1> <band2>
stateBg() {
    convert \( -size 372x78 gradient:"rgb(250,250,250)-$3" \) \( -size 372x42 gradient:"$4-$5" \) -append \
        \( -size 372x120 xc:none -fill white -draw "roundrectangle 0,-20 371,119 12,12" \) \
        -compose CopyOpacity -composite -compose Over \
        -fill none -stroke 'rgba(0,0,0,0.25)' -strokewidth 3 -draw "line 0,78 371,78" \
        "$tmp/bg.png"
    shrink "$tmp/bg.png" "$out/$1.png"
}
stateBg bg_avail 'rgb(240,252,238)' 'rgb(204,236,202)' 'rgb(52,150,70)' 'rgb(28,108,46)'
stateBg bg_no_avail 'rgb(236,236,236)' 'rgb(200,200,200)' 'rgb(120,120,120)' 'rgb(82,82,82)'
stateBg bg_ringing 'rgb(255,248,220)' 'rgb(255,226,158)' 'rgb(204,120,0)' 'rgb(156,86,0)'
stateBg bg_active 'rgb(255,234,232)' 'rgb(246,194,190)' 'rgb(196,48,40)' 'rgb(140,24,20)'
stateBg bg_hold 'rgb(232,240,252)' 'rgb(196,212,238)' 'rgb(44,62,112)' 'rgb(22,32,70)'
stateBg bg_queue 'rgb(244,234,252)' 'rgb(216,198,242)' 'rgb(122,72,172)' 'rgb(82,42,126)'
stateBg bg_offhook 'rgb(230,244,254)' 'rgb(188,220,246)' 'rgb(30,120,196)' 'rgb(14,80,146)'
stateBg bg_dnd 'rgb(252,232,240)' 'rgb(236,194,210)' 'rgb(124,22,58)' 'rgb(80,10,34)'
stateBg bg_fwd 'rgb(228,248,248)' 'rgb(186,228,230)' 'rgb(0,102,112)' 'rgb(0,62,72)'

# ---------------------------------------------------------------- state strips
# 76 x 10: a lamp of the state's colour and the state in small capitals.
# strip <name> <lamp colour> <text>
strip() {
    convert -size 304x40 xc:none \
        -fill 'rgb(24,24,24)' -draw "roundrectangle 0,0 303,39 18,18" \
        -fill "$2" -draw "circle 22,20 22,8" \
        -fill 'rgba(255,255,255,0.5)' -draw "ellipse 19,15 6,4 0,360" \
        -font "$fontBold" -pointsize 30 -fill 'rgb(226,226,226)' -gravity center -annotate +12+1 "$3" \
        "$tmp/str.png"
    shrink "$tmp/str.png" "$out/$1.png"
}
strip str_available 'rgb(70,210,90)' 'AVAILABLE'
strip str_no_avail 'rgb(120,120,120)' 'OFFLINE'
strip str_ring 'rgb(255,190,30)' 'RINGING'
strip str_ringing 'rgb(255,150,40)' 'CALLING'
strip str_calling 'rgb(235,60,50)' 'IN CALL'
strip str_hold 'rgb(90,140,230)' 'ON HOLD'
strip str_queue 'rgb(170,110,230)' 'IN QUEUE'
strip str_offhook 'rgb(60,170,240)' 'OFF HOOK'
strip str_dnd 'rgb(220,30,90)' 'DND'
strip str_fwd 'rgb(0,200,210)' 'FORWARDED'
strip str_parked "$orange" 'PARKED'

# ---------------------------------------------------------------- call button
# 93 x 30 overlays of the state background: a faint gloss, and an orange rim
# while the pointer is over the tile.
convert -size 372x120 xc:none -fill 'rgba(255,255,255,0.10)' -draw "roundrectangle 4,4 367,40 10,10" "$tmp/g.png"
shrink "$tmp/g.png" "$out/bg.png"
convert -size 372x120 xc:none -fill 'rgba(255,255,255,0.14)' -draw "roundrectangle 4,4 367,40 10,10" \
    -fill none -stroke "$orange" -strokewidth 7 -draw "roundrectangle 4,4 367,115 12,12" "$tmp/h.png"
shrink "$tmp/h.png" "$out/bt_ext_h.png"

# ---------------------------------------------------------------- side buttons
# 18 x 30 each: blind transfer (an arrow leaving a bar) and voicemail (the reel
# sign); the voicemail sign turns orange with a red dot when messages wait.
transferArt() {
    echo "fill none stroke $1 stroke-width 7 stroke-linecap round
          line 16,36 16,84 line 30,60 52,60
          fill $1 stroke none polygon 48,46 66,60 48,74"
}
convert -size 72x120 xc:none -draw "$(transferArt "$light")" "$tmp/t.png"
shrink "$tmp/t.png" "$out/blind_T.png"
convert -size 72x120 xc:none -draw "$(transferArt "$orange")" "$tmp/t.png"
shrink "$tmp/t.png" "$out/blind_T_h.png"

reelArt() {
    echo "fill none stroke $1 stroke-width 6
          circle 20,60 20,48 circle 52,60 52,48 line 20,72 52,72"
}
convert -size 72x120 xc:none -draw "$(reelArt "$light")" "$tmp/v.png"
shrink "$tmp/v.png" "$out/send_to_vm.png"
convert -size 72x120 xc:none -draw "$(reelArt "$orange")" "$tmp/v.png"
shrink "$tmp/v.png" "$out/send_to_vm_h.png"
convert -size 72x120 xc:none -draw "$(reelArt "$orange")" \
    -fill 'rgb(235,40,30)' -stroke 'rgb(30,30,30)' -strokewidth 3 -draw "circle 56,34 56,22" "$tmp/v.png"
shrink "$tmp/v.png" "$out/send_to_vm_a.png"

# ---------------------------------------------------------------- drag ghost
# 66 x 28: a half-size, half-transparent tile under the pointer while dragging.
convert "$out/bt.png" -resize 66x28\! \
    \( -size 66x28 xc:none -fill 'rgba(255,130,0,0.9)' -draw "roundrectangle 10,7 55,21 3,3" \) \
    -composite -channel A -evaluate multiply 0.75 +channel -strip "$out/icon_ghosh.png"

# ---------------------------------------------------------------- group headers
# 131 x 55. The back shows the group expanded (bt_grp_drop: a down arrow) or
# collapsed (bt_grp_cnt: a stack of cards and a right arrow); the title lies
# over it. The button above is transparent (bt_grp) and gets an orange rim and
# the arrow of what a click will do while the pointer is over it.
header() { # header <out> <stacked 0|1>
    local card=(2 2 521 217) stack=()
    if [ "$2" = 1 ]; then
        # Collapsed: a smaller card in front of two more, as a closed stack.
        card=(2 2 505 201)
        stack=(-fill 'rgb(46,46,46)' -stroke 'rgb(20,20,20)' -strokewidth 4
               -draw 'roundrectangle 18,18 521,217 26,26' -draw 'roundrectangle 10,10 513,209 26,26')
    fi
    local box="${card[0]},${card[1]} ${card[2]},${card[3]}"
    convert -size 524x220 xc:none "${stack[@]}" \
        \( -size 524x220 gradient:'rgb(78,78,78)-rgb(36,36,36)' \
            \( -size 524x220 xc:none -fill white -draw "roundrectangle $box 26,26" \) \
            -compose CopyOpacity -composite \) \
        -compose Over -composite \
        -fill "$orange" -stroke none -draw "roundrectangle ${card[0]},${card[1]} ${card[2]},16 8,8" \
        -draw "rectangle ${card[0]},10 ${card[2]},16" \
        -fill none -stroke 'rgb(18,18,18)' -strokewidth 5 -draw "roundrectangle $box 26,26" \
        "$1"
}
badge() { # badge <colour> <down 0|1>: an arrow in a dark disc at the foot of the header
    if [ "$2" = 1 ]; then
        echo "fill rgb(26,26,26) stroke none circle 252,172 252,148 fill $1 polygon 238,164 266,164 252,182"
    else
        echo "fill rgb(26,26,26) stroke none circle 252,172 252,148 fill $1 polygon 246,158 246,186 264,172"
    fi
}
header "$tmp/hd.png" 0
convert "$tmp/hd.png" -draw "$(badge 'rgb(170,170,170)' 1)" "$tmp/drop.png"
shrink "$tmp/drop.png" "$out/bt_grp_drop.png"
header "$tmp/hd.png" 1
convert "$tmp/hd.png" -draw "$(badge 'rgb(170,170,170)' 0)" "$tmp/cnt.png"
shrink "$tmp/cnt.png" "$out/bt_grp_cnt.png"

rimFull="fill none stroke $orange stroke-width 6 roundrectangle 4,4 519,215 26,26"
rimStack="fill none stroke $orange stroke-width 6 roundrectangle 4,4 503,199 26,26"
convert -size 524x220 xc:none "$tmp/blank.png"
shrink "$tmp/blank.png" "$out/bt_grp.png"
convert -size 524x220 xc:none -draw "$rimFull" "$tmp/h.png"
shrink "$tmp/h.png" "$out/bt_grp_h.png"
# Over an expanded group the rim shows the collapse arrow, and the reverse.
convert -size 524x220 xc:none -draw "$rimFull" -draw "$(badge "$orange" 0)" "$tmp/h.png"
shrink "$tmp/h.png" "$out/bt_grp_cnt_h.png"
convert -size 524x220 xc:none -draw "$rimStack" -draw "$(badge "$orange" 1)" "$tmp/h.png"
shrink "$tmp/h.png" "$out/bt_grp_drop_h.png"

# ---------------------------------------------------------------- info popup
# The extension info popup (400 x 300) in the tiles' look: a graphite body
# whose transparent corners give the frameless window its shape, a dark title
# band, a recessed well for the large state picture, a row of buttons, an inset
# panel for the details and a speaker grille. Drawn at four times the size.
info="$out/agentinfo"
mkdir -p "$info"

convert -size 1600x1200 xc:none \
    \( -size 1600x1200 gradient:'rgb(96,96,96)-rgb(42,42,42)' \
        \( -size 1600x1200 xc:none -fill white -draw 'roundrectangle 2,2 1597,1197 48,48' \) \
        -compose CopyOpacity -composite \) -compose Over -composite \
    \( -size 1600x112 gradient:'rgb(62,62,62)-rgb(30,30,30)' \) -geometry +0+0 -compose SrcAtop -composite \
    -compose Over \
    -fill "$orange" -stroke none -draw 'rectangle 8,108 1591,115' \
    -fill 'rgb(22,22,22)' -draw 'roundrectangle 48,122 1551,462 34,34' \
    -fill 'rgba(0,0,0,0.22)' -stroke 'rgba(255,255,255,0.08)' -strokewidth 3 \
    -draw 'roundrectangle 36,470 1563,690 26,26' \
    -fill 'rgb(34,34,34)' -stroke 'rgb(18,18,18)' -strokewidth 5 -draw 'roundrectangle 60,700 868,1176 26,26' \
    -fill 'rgb(24,24,24)' -stroke 'rgba(255,255,255,0.08)' -strokewidth 3 \
    -draw 'roundrectangle 1222,1128 1556,1190 24,24' \
    -fill none -stroke 'rgb(18,18,18)' -strokewidth 6 -draw 'roundrectangle 3,3 1596,1196 48,48' \
    "$tmp/info.png"
grille=""
for row in 0 1 2 3 4 5 6; do
    for col in 0 1 2 3 4 5 6 7 8 9 10 11 12; do
        x=$((960 + col * 44 + (row % 2) * 22)); y=$((760 + row * 44))
        grille+="circle $x,$y $((x + 11)),$y "
    done
done
convert "$tmp/info.png" \
    -fill 'rgba(255,255,255,0.10)' -draw "translate 0,4 $grille" \
    -fill 'rgb(24,24,24)' -draw "$grille" "$tmp/info.png"
shrink "$tmp/info.png" "$info/agentinfo_bg.png"

# 370 x 82 state pictures: a light field that fades into the state's tint, a
# deeper foot, and a bar and lamp of the state's colour on the left.
# infoState <name> <tint> <foot> <colour>
infoState() {
    convert \( -size 1480x248 gradient:"rgb(252,252,252)-$2" \) \( -size 1480x80 gradient:"$2-$3" \) -append \
        \( -size 1480x328 xc:none -fill white -draw 'roundrectangle 0,0 1479,327 30,30' \) \
        -compose CopyOpacity -composite -compose Over \
        -fill "$4" -stroke none -draw 'roundrectangle 0,0 30,327 14,14' -draw 'rectangle 14,0 30,327' \
        -fill 'rgb(24,24,24)' -draw 'circle 74,56 74,32' \
        -fill "$4" -draw 'circle 74,56 74,38' \
        -fill 'rgba(255,255,255,0.55)' -draw 'ellipse 68,48 8,5 0,360' \
        -fill none -stroke 'rgba(0,0,0,0.18)' -strokewidth 3 -draw 'line 30,248 1479,248' \
        "$tmp/state.png"
    shrink "$tmp/state.png" "$info/agentinfo_$1.png"
}
infoState available 'rgb(214,240,210)' 'rgb(184,226,180)' 'rgb(46,160,66)'
infoState unavailable 'rgb(222,222,222)' 'rgb(196,196,196)' 'rgb(120,120,120)'
infoState ringing 'rgb(255,232,176)' 'rgb(250,212,130)' 'rgb(230,140,0)'
infoState active 'rgb(248,210,206)' 'rgb(240,184,178)' 'rgb(210,50,40)'
infoState hold 'rgb(208,222,244)' 'rgb(182,202,236)' 'rgb(60,96,180)'
infoState queue 'rgb(226,210,246)' 'rgb(206,184,240)' 'rgb(140,84,200)'
infoState offhook 'rgb(200,228,248)' 'rgb(172,212,242)' 'rgb(30,130,210)'
infoState dnd 'rgb(242,206,220)' 'rgb(232,180,200)' 'rgb(190,30,80)'
infoState fwd 'rgb(198,234,236)' 'rgb(168,220,224)' 'rgb(0,150,160)'
infoState parked 'rgb(255,222,190)' 'rgb(250,200,156)' "$orange"

# The call area lies over the state picture: a faint gloss, and an orange rim
# while the pointer is over it.
convert -size 1480x328 xc:none -fill 'rgba(255,255,255,0.16)' -draw 'roundrectangle 8,8 1471,110 24,24' "$tmp/c.png"
shrink "$tmp/c.png" "$info/agentinfo_bt.png"
convert -size 1480x328 xc:none -fill 'rgba(255,255,255,0.20)' -draw 'roundrectangle 8,8 1471,110 24,24' \
    -fill none -stroke "$orange" -strokewidth 10 -draw 'roundrectangle 6,6 1473,321 28,28' "$tmp/c.png"
shrink "$tmp/c.png" "$info/agentinfo_bt_h.png"

# Buttons of 92 to 96 x 22: a dark key with a sign and its name; over it the
# sign, name and rim turn orange.
# infoButton <file> <width> <name> <sign drawn in a 88 x 88 box at 14,0>
infoButton() {
    local w=$(($2 * 4)) art
    for hover in 0 1; do
        local ink=$light rim='rgb(18,18,18)' file="$info/$1.png"
        if [ $hover = 1 ]; then ink=$orange; rim=$orange; file="$info/$1_h.png"; fi
        art=$("$4" "$ink")
        convert \( -size ${w}x88 gradient:'rgb(78,78,78)-rgb(40,40,40)' \
                \( -size ${w}x88 xc:none -fill white -draw "roundrectangle 4,4 $((w - 5)),83 16,16" \) \
                -compose CopyOpacity -composite \) -compose Over \
            -fill none -stroke "$rim" -strokewidth 5 -draw "roundrectangle 4,4 $((w - 5)),83 16,16" \
            -draw "translate 18,12 $art" \
            -font "$fontBold" -pointsize 34 -fill "$ink" -stroke none -gravity center -annotate +20+2 "$3" \
            "$tmp/b.png"
        shrink "$tmp/b.png" "$file"
    done
}
signTransfer() { echo "fill none stroke $1 stroke-width 7 stroke-linecap round line 6,12 6,52 line 18,32 40,32
                       fill $1 stroke none polygon 36,20 52,32 36,44"; }
signVoicemail() { echo "fill none stroke $1 stroke-width 6 circle 14,32 14,22 circle 42,32 42,22 line 14,42 42,42"; }
signDnd() { echo "fill none stroke $1 stroke-width 6 circle 28,32 28,12 line 14,32 42,32"; }
signMessage() { echo "fill none stroke $1 stroke-width 5 stroke-linejoin round rectangle 4,16 52,50
                      polyline 4,16 28,36 52,16"; }
signForward() { echo "fill none stroke $1 stroke-width 7 stroke-linecap round path 'M 6,50 C 6,24 20,22 38,22'
                      fill $1 stroke none polygon 34,8 54,22 34,36"; }
infoButton agentinfo_bt01 96 TRANSFER signTransfer
infoButton agentinfo_bt02 92 VOICEMAIL signVoicemail
infoButton agentinfo_bt03 92 DND signDnd
infoButton agentinfo_bt04 94 MESSAGE signMessage
infoButton agentinfo_bt05 94 FORWARD signForward

# 18 x 18: the popup's close key.
for hover in 0 1; do
    ink=$light; disc='rgb(28,28,28)'; file="$out/hide.png"
    if [ $hover = 1 ]; then ink=$orange; file="$out/hide_h.png"; fi
    convert -size 72x72 xc:none -fill "$disc" -stroke 'rgb(120,120,120)' -strokewidth 3 -draw 'circle 36,36 36,4' \
        -draw "fill none stroke $ink stroke-width 7 stroke-linecap round line 24,24 48,48 line 48,24 24,48" \
        "$tmp/x.png"
    shrink "$tmp/x.png" "$file"
done

# 9 x 6: the down arrow of the combo boxes in the popup, the forward dialog
# and the group editor, light and, for a disabled box, grey.
convert -size 36x24 xc:none -fill "$light" -draw 'polygon 2,2 34,2 18,22' "$tmp/a.png"
shrink "$tmp/a.png" "$out/combo_down.png"
convert -size 36x24 xc:none -fill 'rgb(128,128,128)' -draw 'polygon 2,2 34,2 18,22' "$tmp/a.png"
shrink "$tmp/a.png" "$out/combo_down_d.png"

echo "Extension images written to $out"
