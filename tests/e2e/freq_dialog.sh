#!/usr/bin/env bash
# "View Single DCT Pattern" opens "Enter X Y Data". Opening it changes nothing;
# a digit 0..7 typed into either box shows that basis pattern over the DC
# level at once, replacing the box's digit; "8" and "9" change nothing; "OK"
# hides the dialog and leaves the pattern.
# Usage: freq_dialog.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup freq_dialog "$1" "$2"
e2e_start_app
e2e_wait_stable 500 20
black=$E2E_SHOWN

e2e_click_view_single
e2e_wait_window "Enter X Y Data" 20
dialog=$E2E_WINDOW
# Below the main window, clear of the squares whatever the placement.
e2e_place_window "$dialog" 0 520
read -r dialog_x dialog_y _ <<<"$E2E_GEOMETRY"
e2e_log "dialog window $dialog at $dialog_x,$dialog_y"
e2e_shot opened
e2e_expect_stable "opening the dialog changes nothing" "$black" 1000 20

# type_in BOX KEY: clicks into the horizontal (0) or vertical (1) box, then
# types KEY there.
type_in() {
    e2e_move_to $((dialog_x + 8 + 12)) $((dialog_y + 8 + 40 * $1 + 12))
    xdotool click 1
    xdotool windowfocus --sync "$dialog"
    xdotool type -- "$2"
}

type_in 0 3
e2e_wait_squares "horizontal 3" "$(e2e_expected_pattern 3 0)" 20
type_in 1 5
e2e_wait_squares "vertical 5" "$(e2e_expected_pattern 3 5)" 20
e2e_shot pattern-3-5

# Not digits of a frequency: each still rebuilds, so give a wrong pattern the
# time to appear.
type_in 1 9
e2e_expect_stable "'9' in the vertical box" "$(e2e_expected_pattern 3 5)" 1000 20
type_in 0 8
e2e_expect_stable "'8' in the horizontal box" "$(e2e_expected_pattern 3 5)" 1000 20

# The box now reads "38"; a digit replaces all of it.
type_in 0 2
e2e_wait_squares "horizontal 2 after '8'" "$(e2e_expected_pattern 2 5)" 20

# "OK" (dialog client 200,48, 33x25).
e2e_move_to $((dialog_x + 200 + 16)) $((dialog_y + 48 + 12))
xdotool click 1
e2e_wait_until 20 "OK to hide the dialog" e2e_window_gone "$dialog"
e2e_expect_stable "pattern after OK" "$(e2e_expected_pattern 2 5)" 500 20
e2e_quit
