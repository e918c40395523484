#!/usr/bin/env bash
# "Cycle DCT Patterns" in Fast Mode runs to its end by itself and leaves the
# last basis pattern, horizontal and vertical frequency 7, on the screen.
# Usage: cycle.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup cycle "$1" "$2"
e2e_start_app

e2e_wait_stable 500 20
before=$E2E_SHOWN
start=$(e2e_now_ms)
e2e_click_cycle
e2e_wait_change "$before" 20
# Fast Mode draws each pattern once; a second of quiet means the cycle is over.
e2e_wait_stable 1000 60
e2e_log "cycle settled within $(($(e2e_now_ms) - start - 1000)) ms of the click"
e2e_shot cycle-end
e2e_expect_squares "last pattern (7, 7) after the cycle" "$(e2e_expected_pattern 7 7)" "$E2E_SHOWN"
