#!/usr/bin/env bash
# The JPEG worksheet follows the pointer: opened from the Tools menu, then a generated
# BMP opened in the bitmap viewer and the real pointer moved over it; the
# worksheet's reconstruction squares, read back from the screen, must show the
# reconstruction quadrel-cli computes for the block under the pointer.
# Usage: worksheet.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup worksheet "$1" "$2"
cli=$(dirname "$1")/quadrel-cli
[ -x "$cli" ] || e2e_fail "no quadrel-cli beside the program at $cli"
E2E_WORK=$(mktemp -d)
# The worksheet remembers its size and quality: never in the user's settings.
export XDG_CONFIG_HOME=$E2E_WORK/config
e2e_start_app

# Tools > JPEG Worksheet, by the menus' keys, as a keyboard user opens it.
xdotool windowfocus --sync "$E2E_WID"
xdotool key --clearmodifiers alt+t
sleep 0.5
xdotool key --clearmodifiers j
e2e_wait_window 'JPEG Worksheet' 20
sheet=$E2E_WINDOW
# Out of the way of the main window's buttons for now.
e2e_place_window "$sheet" 0 480

picture=$E2E_WORK/picture.bmp
convert -seed 7 -size 600x420 plasma:fractal -depth 8 "BMP3:$picture"
e2e_click_view_bitmap
e2e_file_dialog Open dialog "$picture"
e2e_wait_window 'DCT Bitmap Viewer' 20
viewer=$E2E_WINDOW

# No window manager: the worksheet fills the top of the screen, the viewer's
# picture shows below it.
sheet_h=960
xdotool windowsize --sync "$sheet" 1280 "$sheet_h"
e2e_place_window "$sheet" 0 0
e2e_place_window "$viewer" 0 "$sheet_h"

# recon_corners: while the block is empty, the worksheet's two square grids
# are the only solid black areas at least 9 pixels wide (text never makes
# one). Prints the top-left corners "x y" of the squares of the right-hand
# grid, the reconstruction, in square order.
recon_corners() {
    import -window root -crop "1280x${sheet_h}+0+0" +repage png:- |
        convert png:- -fill white +opaque black -colorspace gray -depth 8 gray:- |
        od -An -v -tu1 -w1280 |
        awk '
            { for (x = 1; x <= NF; ++x) if ($x == 0) black[NR - 1, x - 1] = 1 }
            END {
                for (key in black) {
                    split(key, at, SUBSEP); y = at[1]; x = at[2]
                    if ((y - 1, x) in black || (y, x - 1) in black) continue
                    solid = 1
                    for (d = 0; d < 9 && solid; ++d)
                        if (!((y + d, x) in black) || !((y, x + d) in black) ||
                            !((y + 8, x + d) in black)) solid = 0
                    if (solid) print x, y
                }
            }' |
        sort -k1,1n | tail -n 64 | sort -k2,2n -k1,1n
}

# recon_squares: the grey level at the middle of each reconstruction square,
# in square order (r/g/b where the colour is not a grey).
recon_squares() {
    import -window root -crop "1280x${sheet_h}+0+0" +repage -depth 8 rgb:- |
        od -An -v -tu1 -w$((3 * 1280)) |
        awk -v corners="$corners" '
            BEGIN {
                n = split(corners, c, " ")
                for (i = 1; i < n; i += 2) { want[c[i + 1] + 4, c[i] + 4] = (i + 1) / 2 }
            }
            {
                for (key in want) {
                    split(key, at, SUBSEP)
                    if (at[1] != NR - 1) continue
                    b = 3 * at[2]; r = $(b + 1); g = $(b + 2); bl = $(b + 3)
                    shown[want[key]] = (r == g && g == bl) ? r : r "/" g "/" bl
                }
            }
            END { for (k = 1; k <= 64; ++k) out = out (k > 1 ? " " : "") shown[k]; print out }'
}

# The block the viewer picks at (X, Y) of the picture, as a block file, and
# the reconstruction quadrel-cli gives for it at the worksheet's defaults.
expected_recon() {
    e2e_expected_luma "$picture" "$1" "$2" |
        awk '{ for (y = 0; y < 8; ++y) { line = ""
                   for (x = 1; x <= 8; ++x) line = line (x > 1 ? "," : "") $(8 * y + x)
                   print line } }' >"$E2E_WORK/block.csv"
    "$cli" jpeg --format csv "$E2E_WORK/block.csv" |
        awk -F, '/^reconstruction$/ { n = 8; next }
            n > 0 { for (i = 1; i <= 8; ++i) out = out (out == "" ? "" : " ") $i; --n }
            END { print out }'
}

# Before any pick the block is empty: the reconstruction is black.
corners=""
find_corners() {
    corners=$(recon_corners | tr '\n' ' ')
    [ "$(wc -w <<<"$corners")" -eq 128 ]
}
e2e_wait_until 20 "the worksheet's 64 black reconstruction squares" find_corners
black=$(printf '0 %.0s' {1..64})
e2e_expect_squares "reconstruction before a pick" "${black% }" "$(recon_squares)"
e2e_shot before

# The picture area sits at (8, 16) in the viewer's client area.
for at in "37 21" "300 30"; do
    read -r x y <<<"$at"
    want=$(expected_recon "$x" "$y")
    e2e_move_to $((8 + x)) $((sheet_h + 16 + y))
    deadline=$(($(e2e_now_ms) + 20000))
    shown=$(recon_squares)
    while [ "$shown" != "$want" ] && (($(e2e_now_ms) < deadline)); do
        sleep 0.1
        shown=$(recon_squares)
    done
    e2e_expect_squares "reconstruction of the block at ($x, $y)" "$want" "$shown"
    e2e_shot "pick-$x-$y"
    e2e_log "ok: the reconstruction squares follow the pick at ($x, $y)"
done

# Out of QUIT's way.
e2e_place_window "$sheet" 0 480
e2e_quit
