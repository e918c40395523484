#!/usr/bin/env bash
# Start-up: the window with its title and size, painted in the window grey,
# and 64 black squares for the all-zero block. The window is found by its
# title, "Quadrel v" and the version of project() in CMakeLists.txt.
# Usage: startup.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup startup "$1" "$2"
e2e_start_app

if [ "$E2E_CLIENT_W" -ne 600 ] || [ "$E2E_CLIENT_H" -ne 456 ]; then
    e2e_fail "client area is ${E2E_CLIENT_W}x$E2E_CLIENT_H, expected 600x456"
fi

# The gap between the two grids shows the window's own grey once it is painted;
# an unpainted window would let a black background pass for black squares.
background_painted() { [ "$(e2e_pixel 300 150)" = c0c0c0 ]; }
e2e_wait_until 20 "the window background to be painted" background_painted

e2e_wait_stable 500 20
e2e_shot startup
e2e_expect_squares "64 black squares at start-up" "$(e2e_expected_idct "")" "$E2E_SHOWN"
