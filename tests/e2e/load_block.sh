#!/usr/bin/env bash
# "Load Block" through the real file dialog paints the loaded pixels, rounded
# down and clamped to 0..255, whether the file holds eight values to a line,
# all 64 on one line or one to a line. A file with a value that is not a number
# brings up a message box and leaves the squares as they were, and the next
# load works again.
# Usage: load_block.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup load_block "$1" "$2"
files=$E2E_ART/files
mkdir -p "$files"
e2e_start_app
e2e_wait_stable 500 20
shown=$E2E_SHOWN

# spread SEED: 64 pixel values with fractions, running past both ends of the
# grey scale, different for each seed.
spread() {
    awk -v seed="$1" 'BEGIN {
        for (k = 0; k < 64; ++k)
            printf "%s%.2f", (k ? " " : ""), (k * 37 + seed * 101) % 331 - 40 + ((k + seed) % 4) / 4 + 0.1
    }'
}

# write_file PATH LAYOUT LINE_END VALUES: one of the layouts the reader accepts.
write_file() {
    awk -v layout="$2" -v eol="$3" -v values="$4" 'BEGIN {
        n = split(values, v, " ")
        for (k = 1; k <= n; ++k) {
            last = k == n || (layout == "rows" && k % 8 == 0) || layout == "column"
            printf "%s%s", v[k], (last ? eol : ",")
        }
    }' >"$1"
}

# load_and_check TAG PATH VALUES: loads PATH and expects the squares of VALUES.
load_and_check() {
    local expected
    expected=$(e2e_expected_grey "$3")
    [ "$expected" != "$shown" ] || e2e_fail "test data fault: $1 would not change the squares"
    e2e_click_load_block
    e2e_file_dialog Open "$1-dialog" "$2"
    e2e_wait_squares "$1: squares of '$2'" "$expected" 20
    shown=$expected
}

# Eight rows ended by CR LF, with the values at the edges of the grey scale.
rows="-0.5 255.9 300 12.9 -12.9 0.99 254.999 1 $(spread 1 | cut -d' ' -f9-)"
write_file "$files/rows.txt" rows $'\r\n' "$rows"
load_and_check rows "$files/rows.txt" "$rows"

line=$(spread 2)
write_file "$files/line.csv" line $'\r\n' "$line"
load_and_check one-line "$files/line.csv" "$line"

column=$(spread 3)
write_file "$files/column.txt" column $'\n' "$column"
load_and_check one-a-line "$files/column.txt" "$column"

# Value 40 is not a number. The 39 before it would change the squares if the
# reader stored them before finding the fault.
broken=$(spread 4 | awk '{ $40 = "abc"; print }')
[ "$(e2e_expected_grey "$(cut -d' ' -f1-39 <<<"$broken")")" != \
    "$(cut -d' ' -f1-39 <<<"$shown")" ] || e2e_fail "test data fault: the broken file's head matches"
write_file "$files/broken.txt" rows $'\r\n' "$broken"
e2e_click_load_block
e2e_file_dialog Open broken-dialog "$files/broken.txt"
e2e_wait_window "Load Block" 20
box=$E2E_WINDOW
e2e_log "message box window $box"
e2e_shot message
xdotool windowfocus --sync "$box"
xdotool key Return
e2e_wait_until 20 "the message box to close" e2e_window_gone "$box"
# Longer than any redraw takes: a late change would show by then.
e2e_expect_stable "squares unchanged after the broken file" "$shown" 1000 20
# "DCT" redraws the pixels the window holds, so values stored from the broken
# file without a redraw would show now.
e2e_click_dct
e2e_expect_stable "pixels unchanged after the broken file" "$shown" 1000 20

load_and_check after-error "$files/rows.txt" "$rows"
e2e_quit
