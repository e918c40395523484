#!/usr/bin/env bash
# "QUIT" in the middle of a Build Mode cycle ends the program at once with
# exit status 0.
# Usage: quit.sh QUADREL_EXE ARTIFACT_DIR [LIMIT_MS]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup quit "$1" "$2"
limit_ms=${3:-2000}
e2e_start_app

e2e_wait_stable 500 20
black=$E2E_SHOWN
flat=$(e2e_expected_pattern 0 0)
e2e_click_build_mode
e2e_click_cycle
# The cycle is under way once a picture other than the start-up black and the
# flat DC picture shows.
showing_pattern() {
    local shown
    shown=$(e2e_squares)
    [ "$shown" != "$black" ] && [ "$shown" != "$flat" ]
}
e2e_wait_until 60 "the cycle to show a pattern" showing_pattern
e2e_shot before-quit

e2e_move_to_quit
start=$(e2e_now_ms)
xdotool click 1
while e2e_app_running; do
    (($(e2e_now_ms) - start < 30000)) || e2e_fail "still running 30 s after QUIT"
    sleep 0.01
done
elapsed=$(($(e2e_now_ms) - start))
status=0
wait "$E2E_APP_PID" || status=$?
E2E_APP_PID=""
echo "$elapsed" >"$E2E_ART/quit_ms.txt"
e2e_log "exited ${elapsed} ms after the QUIT click with status $status"
((status == 0)) || e2e_fail "exit status $status after QUIT"
((elapsed <= limit_ms)) || e2e_fail "took ${elapsed} ms to exit, more than $limit_ms ms"
