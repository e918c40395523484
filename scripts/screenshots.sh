#!/usr/bin/env bash
# Refreshes the README's screenshots: the real program in a virtual X server,
# a block picked from a picture with the pointer, then the main window, the
# bitmap viewer and the JPEG worksheet captured. Run after a build: scripts/screenshots.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
# shellcheck source=tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
e2e_setup screenshots "$build/bin/quadrel" "$work"
e2e_start_app
xdotool windowmove --sync "$E2E_WID" 0 0
E2E_ORIGIN_X=0 E2E_ORIGIN_Y=0

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

# The JPEG worksheet of the same block, opened from the main window (Ctrl+J)
# and put in front of the others; the pointer stays where it picked.
xdotool windowfocus --sync "$E2E_WID"
xdotool key --clearmodifiers ctrl+j
worksheet=$(timeout 20 xdotool search --sync --onlyvisible --name '^JPEG Worksheet$' | head -n 1)
xdotool windowmove --sync "$worksheet" 0 0
xdotool windowsize --sync "$worksheet" 1280 1024
sleep 1
import -window "$worksheet" "$root/docs/jpeg-worksheet.png"
echo "Wrote docs/main-window.png, docs/bitmap-viewer.png and docs/jpeg-worksheet.png"
rm -rf "$work"
