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

e2e_click_view_bitmap
e2e_file_dialog Open dialog "$picture"
e2e_wait_window 'DCT Bitmap Viewer' 20
viewer=$E2E_WINDOW
viewer_x=640
e2e_place_window "$viewer" "$viewer_x" 0

# The picture area sits at (8, 16) in the viewer's client area.
for at in "0 0" "37 21" "300 200" "533 396"; do
    read -r x y <<<"$at"
    e2e_move_to $((viewer_x + 8 + x)) $((16 + y))
    e2e_wait_squares "block at ($x, $y)" "$(e2e_expected_luma "$picture" "$x" "$y")" 20
    e2e_shot "block-$x-$y"
    e2e_log "ok: block at ($x, $y)"
done

# A click on the picture closes the viewer; the block of the last move stays.
last=$(e2e_squares)
e2e_move_to $((viewer_x + 8 + 100)) $((16 + 100))
e2e_wait_change "$last" 20
e2e_wait_stable 300 20
kept=$E2E_SHOWN
xdotool click 1
e2e_wait_until 20 "the viewer to close" e2e_window_gone "$viewer"
e2e_expect_stable "the block after the viewer closed" "$kept" 300 20
e2e_log "ok: a click closes the viewer and keeps the block"

e2e_quit
