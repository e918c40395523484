#!/usr/bin/env bash
# "STOP" part-way through a Build Mode cycle: the patterns come in the cycle's
# order, the cycle ends after the pattern it was drawing, that pattern stays
# complete on the screen and the last one, (7, 7), never comes.
# Usage: stop.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup stop "$1" "$2"
e2e_start_app

patterns=$(e2e_all_patterns)
e2e_wait_stable 500 20
e2e_click_build_mode
e2e_click_cycle

# Build Mode shows each step as the flat DC picture first and the full pattern
# once its coefficient is added. Watch until two different patterns were seen.
e2e_watch_patterns "$patterns"
seen=("${E2E_SEEN[@]}")
e2e_click_stop
e2e_log "steps seen before STOP: ${seen[*]}"

# The cycle runs along each row, the horizontal frequencies first; a
# transposed loop would run down the columns (steps 8, 16, ...). On a loaded
# machine the first look may come after row 0, so either it saw row 0 or the
# two steps it saw lie less than a row apart.
((seen[1] > seen[0])) || e2e_fail "step ${seen[1]} came after step ${seen[0]}"
((seen[0] < 8 || seen[1] - seen[0] < 8)) ||
    e2e_fail "steps ${seen[0]} then ${seen[1]}: the cycle runs down the columns, not along the rows"

# Several Build Mode steps' worth of quiet: a cycle still running would have
# moved on to the next pattern by then.
e2e_wait_stable 3000 60
shown=$E2E_SHOWN
e2e_shot stopped
last=${seen[-1]}
final=$(e2e_pattern_index "$patterns" "$shown")
e2e_log "stopped at step $final (v = $((final / 8)), u = $((final % 8)))"
((final >= 0)) || e2e_fail "the stopped screen shows no complete pattern: $shown"
((final >= last)) || e2e_fail "stopped at step $final, before step $last that was already shown"
# STOP is handled at the end of the step being drawn when it was clicked: that
# is the last one seen or, if the screen moved on between the last sample and
# the click, the next one or two.
((final <= last + 2)) || e2e_fail "stopped at step $final, long after step $last"
((final < 63)) || e2e_fail "the cycle ran to pattern (7, 7) despite STOP"
