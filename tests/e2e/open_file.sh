#!/usr/bin/env bash
# Files named on the command line: a block file is loaded at start-up as Load
# Block loads it (its pixels painted, rounded down and clamped to 0..255); a
# picture opens in the bitmap viewer.
# Usage: open_file.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup open_file "$1" "$2"

values=$(awk 'BEGIN { for (k = 0; k < 64; ++k) printf "%s%d", (k ? " " : ""), k * 5 - 30 }')
tr ' ' ',' <<<"$values" >"$E2E_ART/block.txt"
convert -size 64x48 gradient:white-black "$E2E_ART/picture.bmp"

e2e_start_app "$E2E_ART/block.txt" "$E2E_ART/picture.bmp"
e2e_wait_window 'DCT Bitmap Viewer' 20
e2e_log "ok: the picture opened in the bitmap viewer"
# Beside the main window, whose squares are read from the screen.
e2e_place_window "$E2E_WINDOW" 640 0
e2e_wait_squares "the block named on the command line" "$(e2e_expected_grey "$values")" 20
