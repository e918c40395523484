#!/usr/bin/env bash
# "View Bitmap": a generated BMP typed into the real file dialog, the real
# pointer moved over the picture, and the main window's squares compared with
# the luma of the 8x8 pixels right of and below the pointer, including a block
# that reaches past the picture area (white). A click closes the viewer and
# keeps the block.
# Usage: bitmap_viewer.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup bitmap_viewer "$1" "$2"
e2e_start_app

# Colours that change from pixel to pixel in all three components; larger than
# the 537x401 picture area, so the area clips it.
picture=$E2E_ART/picture.bmp
convert -seed 5 -size 600x420 plasma:fractal -depth 8 "BMP3:$picture"

e2e_click $((128 + 36)) $((408 + 16)) # "View Bitmap"
e2e_file_dialog Open dialog "$picture"
viewer=$(e2e_wait_window 'DCT Bitmap Viewer' 20)
# No window manager: a window's position is its client area's position.
viewer_x=640
xdotool windowmove --sync "$viewer" "$viewer_x" 0

# expected_block X Y: the grey levels the squares should show for the block
# whose top-left pixel is (X, Y), in square order. Points beyond the 537x401
# picture area read as white.
expected_block() {
    convert "$picture" -crop "8x8+$1+$2" +repage txt:- |
        awk -F'[(),: ]+' -v x0="$1" -v y0="$2" '
            NR > 1 { grey[$1 + 8 * $2] = int((0.59 * $4 + 0.11 * $5) + 0.3 * $3) }
            END {
                for (k = 0; k < 64; ++k) {
                    x = x0 + k % 8; y = y0 + int(k / 8)
                    out = out (k ? " " : "") ((x > 536 || y > 400) ? 255 : grey[k])
                }
                print out
            }'
}

# The picture area sits at (8, 16) in the viewer's client area.
for at in "0 0" "37 21" "300 200" "533 396"; do
    read -r x y <<<"$at"
    e2e_move_to $((viewer_x + 8 + x)) $((16 + y))
    e2e_wait_squares "block at ($x, $y)" "$(expected_block "$x" "$y")" 20
    e2e_shot "block-$x-$y"
    e2e_log "ok: block at ($x, $y)"
done

# A click on the picture closes the viewer; the block of the last move stays.
last=$(e2e_squares)
e2e_move_to $((viewer_x + 8 + 100)) $((16 + 100))
e2e_wait_change "$last" 20
kept=$(e2e_wait_stable 300 20)
xdotool click 1
e2e_wait_until 20 "the viewer to close" e2e_window_gone "$viewer"
e2e_expect_squares "the block after the viewer closed" "$kept" "$(e2e_wait_stable 300 20)"
e2e_log "ok: a click closes the viewer and keeps the block"

e2e_quit
