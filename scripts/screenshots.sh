#!/usr/bin/env bash
# Refreshes the README's screenshots: the real program in a virtual X server,
# a block picked from a picture with the pointer, then the main window and the
# bitmap viewer captured. Run after a build: scripts/screenshots.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
# shellcheck source=tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
e2e_setup screenshots "$build/bin/quadrel" "$work"
e2e_start_app
xdotool windowmove --sync "$E2E_WID" 0 0
E2E_ORIGIN_X=0 E2E_ORIGIN_Y=$E2E_MENU_H

# ImageMagick's built-in sample picture, saved as a JPEG.
convert logo: -resize 537x401 -quality 92 "$work/picture.jpg"

e2e_click $((128 + 36)) $((408 + 16)) # "View Bitmap"
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Open$' | head -n 1)
xdotool windowfocus --sync "$dialog"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 5 "$work/picture.jpg"
xdotool key Return
viewer=$(timeout 20 xdotool search --sync --onlyvisible --name '^DCT Bitmap Viewer$' | head -n 1)
xdotool windowmove --sync "$viewer" 620 0
# An edge in the picture: a star on the wizard's hat.
xdotool mousemove --sync $((620 + 8 + 383)) $((16 + 104))
sleep 1

mkdir -p "$root/docs"
import -window "$E2E_WID" "$root/docs/main-window.png"
import -window "$viewer" "$root/docs/bitmap-viewer.png"
echo "Wrote docs/main-window.png and docs/bitmap-viewer.png"
rm -rf "$work"
