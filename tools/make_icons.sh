#!/bin/bash
# Draws the viewer's icon (app/res/orvelhex.ico: 16, 32 and 48 pixels) and its hand cursor
# (app/res/hand.cur) with ImageMagick. Run from the repository root; the outputs are committed.
set -euo pipefail
out=app/res
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A page of hex cells: a dark frame, rows of cells, one highlighted run in the viewer's
# selection colours (dark blue and light cyan) and a tree stem on the left.
convert -size 48x48 xc:none \
    -fill '#1F3A5F' -draw 'roundrectangle 1,1 46,46 7,7' \
    -fill '#F4F1E6' -draw 'rectangle 14,7 42,41' \
    -fill '#EED880' -draw 'rectangle 14,7 42,12' \
    -fill '#C8C8C8' -draw 'rectangle 17,16 21,19' -draw 'rectangle 24,16 28,19' -draw 'rectangle 31,16 35,19' -draw 'rectangle 37,16 40,19' \
    -fill '#0000E0' -draw 'rectangle 17,23 21,26' -draw 'rectangle 24,23 28,26' -draw 'rectangle 31,23 35,26' \
    -fill '#A4FFFF' -draw 'rectangle 37,23 40,26' -draw 'rectangle 17,30 21,33' \
    -fill '#C8C8C8' -draw 'rectangle 24,30 28,33' -draw 'rectangle 31,30 35,33' -draw 'rectangle 37,30 40,33' \
    -fill '#C8C8C8' -draw 'rectangle 17,36 21,38' -draw 'rectangle 24,36 28,38' \
    -stroke '#A4FFFF' -strokewidth 2 -draw 'line 7,10 7,38' -draw 'line 7,17 12,17' -draw 'line 7,24 12,24' -draw 'line 7,31 12,31' \
    "$tmp/48.png"
convert "$tmp/48.png" -resize 32x32 "$tmp/32.png"
convert "$tmp/48.png" -resize 16x16 "$tmp/16.png"
convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$out/orvelhex.ico"

# A pointing hand, hot spot at the finger tip (written as an icon, then turned into a cursor).
convert -size 32x32 xc:none -fill white -stroke black -strokewidth 1 \
    -draw 'roundrectangle 10,1 14,16 2,2' \
    -draw 'roundrectangle 14,9 18,18 2,2' -draw 'roundrectangle 18,10 22,19 2,2' -draw 'roundrectangle 22,11 26,20 2,2' \
    -draw 'path "M 5,17 Q 4,15 7,15 L 10,18 L 10,12 L 26,15 L 26,24 Q 25,30 19,30 L 14,30 Q 10,30 8,25 Z"' \
    "$tmp/hand.png"
convert "$tmp/hand.png" "$tmp/hand.ico"
# An .ico and a .cur differ in the type field (2 for cursors) and in the two words that hold
# the hot spot instead of planes and bit count.
python3 - "$tmp/hand.ico" "$out/hand.cur" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
struct.pack_into("<H", data, 2, 2)          # image type: cursor
struct.pack_into("<HH", data, 6 + 4, 12, 1)  # hot spot x, y of the first (only) image
open(sys.argv[2], "wb").write(bytes(data))
PY
