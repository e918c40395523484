#!/usr/bin/env bash
# Refreshes the README's screenshots: the real program in a virtual X server,
# a block picked from a picture with the pointer, then the main window, the
# bitmap viewer and the JPEG worksheet captured; then "Compress Picture" opened
# from the viewer on the same picture, at quality 10, zoomed 2x with the block
# grid, and the MCU panel of one of its blocks; the JPEG File window on the
# viewer's JPEG; the Rate-Distortion window of Compress Picture's picture. The
# worksheet is also shown in exercise mode after Check, with one wrong answer;
# last the main window at 200 %. First of all, with no display, page 1 of a
# questions sheet as pdflatex prints quadrel-cli's LaTeX. Run after a build:
#   scripts/screenshots.sh [build-dir [output-dir]]   (output: docs/)
#   SCREENSHOTS_ONLY=exercise-sheet scripts/screenshots.sh ...   (that page only)
#
# Every window is found, placed and waited for with the end-to-end helpers, and
# captured from the root window: a capture never names a window that may be
# going away (a file dialog closing), which once failed with X's BadWindow.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || {
    echo "no project version in $build/CMakeCache.txt: is it a build folder?" >&2
    exit 1
}
export QUADREL_VERSION=$version
work=$(mktemp -d)
mkdir -p "$out"

# Seed 7, four medium exercises, the questions only; pdftoppm (poppler-utils)
# names the one page it writes "exercise-sheet.png".
mkdir -p "$work/sheet"
"$build/bin/quadrel-cli" exercise --seed 7 --count 4 --difficulty medium --sheet questions \
    --format latex >"$work/sheet/sheet.tex"
(cd "$work/sheet" && pdflatex -interaction=nonstopmode -halt-on-error sheet.tex >/dev/null)
pdftoppm -png -r 100 -f 1 -l 1 -singlefile "$work/sheet/sheet.pdf" "$out/exercise-sheet"
if [ "${SCREENSHOTS_ONLY:-}" = exercise-sheet ]; then
    echo "Wrote $out/exercise-sheet.png"
    exit 0
fi

# shellcheck source=tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
# A screen wide enough for the worksheet's page at 100 %.
export E2E_SCREEN=1600x1200x24
e2e_setup screenshots "$build/bin/quadrel" "$work"
E2E_WORK=$work
e2e_start_app
e2e_place_window "$E2E_WID" 0 0
read -r E2E_ORIGIN_X E2E_ORIGIN_Y _ <<<"$E2E_GEOMETRY"
# Client coordinates start below the menu bar.
E2E_ORIGIN_Y=$((E2E_ORIGIN_Y + E2E_MENU_H))

# ImageMagick's built-in sample picture, saved as a JPEG.
convert logo: -resize 537x401 -quality 92 "$work/picture.jpg"

e2e_click_view_bitmap
e2e_file_dialog Open dialog "$work/picture.jpg"
e2e_wait_window 'DCT Bitmap Viewer' 20
viewer=$E2E_WINDOW
e2e_place_window "$viewer" 620 0
# An edge in the picture: a star on the wizard's hat.
before=$(e2e_squares)
e2e_move_to $((620 + 8 + 383)) $((16 + 104))
e2e_wait_change "$before" 20
e2e_wait_stable 500 20

e2e_shot_window "$E2E_WID" "$out/main-window.png"
e2e_shot_window "$viewer" "$out/bitmap-viewer.png"

# The JPEG worksheet of the same block, opened from the main window (Ctrl+J)
# and put in front of the others at the size of its whole page; the pointer
# stays where it picked.
xdotool windowfocus --sync "$E2E_WID"
xdotool key --clearmodifiers ctrl+j
e2e_wait_window 'JPEG Worksheet' 20
worksheet=$E2E_WINDOW
e2e_place_window "$worksheet" 0 0
xdotool windowsize --sync "$worksheet" 1440 800
sleep 1
e2e_shot_window "$worksheet" "$out/jpeg-worksheet.png"

# Exercise mode (Ctrl+E) on New Exercise's block for seed 2026, every answer
# typed as quadrel-cli's key gives it but the DC difference, then checked.
xdotool windowfocus --sync "$worksheet"
xdotool key --clearmodifiers ctrl+e alt+e ctrl+a
xdotool type --delay 20 "2026"
xdotool key --clearmodifiers alt+n
sleep 1
"$build/bin/quadrel-cli" exercise --seed 2026 -f json >"$work/key.json"
answer() { python3 "$root/scripts/exercise_answers.py" "$work/key.json" "$1"; }
xdotool key --clearmodifiers alt+i
for row in 0 1 2 3 4 5 6 7; do
    for value in $(answer "row$row"); do
        xdotool type --delay 20 -- "$value"
        xdotool key --clearmodifiers Return Right
    done
    xdotool key --clearmodifiers Down Home
done
xdotool key --clearmodifiers alt+z
xdotool type --delay 10 -- "$(answer zigzag)"
xdotool key --clearmodifiers alt+r
xdotool type --delay 20 -- "$(answer wrong-dc)"
xdotool key --clearmodifiers alt+b
while read -r symbol; do
    xdotool type --delay 10 -- "$symbol"
    xdotool key --clearmodifiers Return
done < <(answer symbols)
xdotool key --clearmodifiers alt+o
xdotool type --delay 20 -- "$(answer bits)"
xdotool key --clearmodifiers alt+h
sleep 1
e2e_shot_window "$worksheet" "$out/jpeg-worksheet-exercise.png"
# Escape closes it again, so that it cannot cover the next window.
xdotool windowfocus --sync "$worksheet"
xdotool key --clearmodifiers Escape

# Compress Picture on the viewer's picture (Ctrl+Shift+J in the viewer).
xdotool windowfocus --sync "$viewer"
xdotool key --clearmodifiers ctrl+shift+j
e2e_wait_window 'Compress Picture' 20
compress=$E2E_WINDOW
e2e_place_window "$compress" 0 0
xdotool windowfocus --sync "$compress"
xdotool key --clearmodifiers alt+q ctrl+a
xdotool type --delay 20 "10"
xdotool key --clearmodifiers Tab alt+z ctrl+a
xdotool type --delay 20 "2"
xdotool key --clearmodifiers Tab alt+g
sleep 2
e2e_shot_window "$compress" "$out/compress-picture.png"

# The MCU panel of the block at the wizard's eye: the picture is coded in
# colour (4:2:0), so a click on the original opens the panel on its MCU.
read -r compress_x compress_y _ <<<"$E2E_GEOMETRY"
xdotool mousemove $((compress_x + 412)) $((compress_y + 214)) click 1
e2e_wait_window 'MCU' 20
mcu=$E2E_WINDOW
e2e_place_window "$mcu" 0 0
sleep 1
e2e_shot_window "$mcu" "$out/mcu-panel.png"
xdotool windowfocus --sync "$mcu"
xdotool key --clearmodifiers Escape

# The viewer's JPEG file looked inside (Ctrl+I), a block of the star clicked.
xdotool windowfocus --sync "$viewer"
xdotool key --clearmodifiers ctrl+i
e2e_wait_window 'JPEG File' 20
inside=$E2E_WINDOW
e2e_place_window "$inside" 0 0
sleep 1
read -r inside_x inside_y _ <<<"$E2E_GEOMETRY"
xdotool mousemove $((inside_x + 316 + 383)) $((inside_y + 60 + 104)) click 1
sleep 1
e2e_shot_window "$inside" "$out/jpeg-file.png"

# The Rate-Distortion window of Compress Picture's picture: its button is the
# last of the window's first row.
xdotool windowraise "$compress"
e2e_window_geometry "$compress"
read -r compress_x compress_y compress_w _ <<<"$E2E_GEOMETRY"
xdotool mousemove $((compress_x + compress_w - 50)) $((compress_y + 20)) click 1
e2e_wait_window 'Rate–Distortion' 20
curves=$E2E_WINDOW
e2e_place_window "$curves" 0 0
sleep 20
e2e_shot_window "$curves" "$out/rate-distortion.png"

# The main window at 200 %, as on a projector: View > Zoom a step up three
# times (Ctrl+=), in front of the others; Ctrl+0 goes back to 100 %.
xdotool windowraise "$E2E_WID"
xdotool windowfocus --sync "$E2E_WID"
xdotool key --clearmodifiers ctrl+equal ctrl+equal ctrl+equal
sleep 1
e2e_place_window "$E2E_WID" 0 0
sleep 1
e2e_shot_window "$E2E_WID" "$out/main-window-200.png"
xdotool key --clearmodifiers ctrl+0
echo "Wrote $out/exercise-sheet.png, $out/main-window.png, $out/bitmap-viewer.png, $out/jpeg-worksheet.png," \
    "$out/jpeg-worksheet-exercise.png, $out/compress-picture.png, $out/mcu-panel.png," \
    "$out/jpeg-file.png, $out/rate-distortion.png and $out/main-window-200.png"
