#!/usr/bin/env bash
# Start-up: the window with its title and size (a menu bar over the 600x456
# client area), painted in the window grey, and 64 black squares for the
# all-zero block. The window is found by its title, "Quadrel v" and the
# version of project() in CMakeLists.txt.
# Usage: startup.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup startup "$1" "$2"
e2e_start_app

if [ "$E2E_CLIENT_W" -ne 600 ] || ((E2E_MENU_H < 10 || E2E_MENU_H > 60)); then
    e2e_fail "window is ${E2E_CLIENT_W}x$E2E_WINDOW_H, expected 600 wide, a menu bar over 456"
fi

# The gap between the two grids shows the window's own grey once it is painted;
# an unpainted window would let a black background pass for black squares.
background_painted() { [ "$(e2e_pixel 300 150)" = c0c0c0 ]; }
e2e_wait_until 20 "the window background to be painted" background_painted
# The menu bar is not the window grey; the client area's top-left corner is.
[ "$(e2e_pixel 2 2)" = c0c0c0 ] || e2e_fail "the client area does not start below the menu bar"

e2e_wait_stable 500 20
e2e_shot startup
e2e_expect_squares "64 black squares at start-up" "$(e2e_expected_idct "")" "$E2E_SHOWN"
