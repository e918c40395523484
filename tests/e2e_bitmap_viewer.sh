#!/usr/bin/env bash
# End to end in a virtual X server: "View Bitmap", a generated BMP typed into the
# real file dialog, the real pointer moved over the picture with xdotool, and
# the main window's grey squares on screen compared with the picture's pixels.
# Usage: e2e_bitmap_viewer.sh path/to/quadrel
set -euo pipefail
exe=$1
work=$(mktemp -d)
pid=
xvfb=
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [ -n "$xvfb" ] && ! kill -0 "$xvfb" 2>/dev/null; then
        echo "The virtual X server has gone:" >&2
        tail -n 5 "$work/xvfb.log" >&2
    fi
    exit 1
}

# A display number of its own, away from the low numbers that other virtual
# servers on the machine scan from; the server reports on fd 3 when it is ready.
for display in $(seq $((300 + $$ % 600)) $((320 + $$ % 600))); do
    Xvfb ":$display" -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    for _ in $(seq 50); do
        if [ -s "$work/display" ] || ! kill -0 "$xvfb" 2>/dev/null; then break; fi
        sleep 0.1
    done
    [ -s "$work/display" ] && break
    kill "$xvfb" 2>/dev/null || true
    xvfb=
done
[ -n "$xvfb" ] || fail "no virtual X server could be started"
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb
# In a sanitizer build: libxkbcommon strndup()s key names that are not
# NUL-terminated, which is legal but trips ASan's strict string checks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0"

# Waits for a visible window whose title matches; xdotool's own --sync can trip
# over windows that vanish while it looks.
find_window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        if [ -n "$id" ]; then
            echo "$id"
            return
        fi
        sleep 0.1
    done
    fail "no window titled $1"
}

# Colours that change from pixel to pixel in all three components.
convert -seed 5 -size 120x90 plasma:fractal -depth 8 "BMP3:$work/picture.bmp"

"$exe" &
pid=$!
main=$(find_window '^Quadrel v')
# No window manager: a window's position is its client area's position.
xdotool windowmove --sync "$main" 0 0
xdotool mousemove --sync 164 424 click 1 # "View Bitmap"

dialog=$(find_window '^Open$')
xdotool windowfocus --sync "$dialog"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 5 "$work/picture.bmp"
xdotool key Return

viewer=$(find_window '^DCT Bitmap Viewer$')
xdotool windowmove --sync "$viewer" 640 0
sleep 0.5

# Luma of each pixel of the 8x8 area whose top-left pixel is (x, y), in the
# order of the squares (row by row).
expected_block() {
    convert "$work/picture.bmp" -crop "8x8+$1+$2" +repage txt:- |
        awk -F'[(),: ]+' 'NR > 1 {
            grey[$1 + 8 * $2] = int((0.59 * $4 + 0.11 * $5) + 0.3 * $3)
        } END { for (k = 0; k < 64; ++k) print grey[k] }'
}

# Grey of each square of the main window, read from the screen at its centre.
squares_on_screen() {
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop 256x256+320+24 +repage txt:- |
        awk -F'[(),: ]+' 'NR > 1 && $1 % 32 == 16 && $2 % 32 == 16 {
            grey[($1 - 16) / 32 + 8 * ($2 - 16) / 32] = ($3 == $4 && $4 == $5) ? $3 : "colour"
        } END { for (k = 0; k < 64; ++k) print grey[k] }'
}

for at in "0 0" "37 21" "112 82"; do
    read -r x y <<<"$at"
    # Picture area at (8, 16) in the viewer's client area.
    xdotool mousemove --sync $((640 + 8 + x)) $((16 + y))
    want=$(expected_block "$x" "$y")
    for _ in $(seq 20); do # until the window has caught up
        got=$(squares_on_screen)
        [ "$want" = "$got" ] && break
        sleep 0.2
    done
    [ "$want" = "$got" ] || fail "block at ($x, $y): squares $(echo $got) want $(echo $want)"
    echo "ok: block at ($x, $y)"
done

# "QUIT" with the viewer open ends the program cleanly (in a sanitizer build:
# without leaks).
xdotool mousemove --sync 540 424 click 1
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status after QUIT"
echo "ok: QUIT ends the program"
