#!/usr/bin/env bash
# Acceptance: one student session with the installed program, started through
# its launcher symlink in a private X server. Every command of the main window
# is used once, through the real dialogs and the real pointer; after each step
# the squares on screen and the bytes of the files written are compared with
# values worked out here, independently of the program. Screenshots of every
# step are kept in ARTIFACT_ROOT/acceptance.
#
# Usage: acceptance.sh BUILD_DIR ARTIFACT_ROOT   installs BUILD_DIR into a
#                                                 private root and runs that
#        acceptance.sh --root ROOT ARTIFACT_ROOT  runs ROOT/usr/bin/quadrel as
#                                                 installed (--root / for the
#                                                 Debian package)
set -euo pipefail
unset DISPLAY
here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"
# shellcheck source=tests/install/lib.sh
source "$here/../install/lib.sh"

if [ "$1" = --root ]; then
    build=""
    root=$(cd "$2" && pwd -P)
    artifacts=$3
else
    build=$(cd "$1" && pwd -P)
    root=""
    artifacts=$2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quadrel-acceptance.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [ -n "$build" ]; then
    root=$(inst_install "$build" "$work/root") || {
        echo "cmake --install failed" >&2
        exit 1
    }
fi
program_dir=${root%/}/usr/lib/quadrel
launcher=${root%/}/usr/bin/quadrel
[ -L "$launcher" ] || {
    echo "no launcher symlink at $launcher" >&2
    exit 1
}

opened=$work/opened
inst_fake_opener "$work/bin" "$opened"
export PATH="$work/bin:$PATH"
files=$work/files
mkdir -p "$files"

e2e_setup acceptance "$launcher" "$artifacts"
E2E_WORK=$work
started=$(e2e_now_ms)
step_number=0
step_started=$started

# acc_step TITLE: starts the next step of the session and logs the time the
# previous one took.
acc_step() {
    local now
    now=$(e2e_now_ms)
    if ((step_number > 0)); then
        printf '%2d %6d ms  %s\n' "$step_number" $((now - step_started)) "$step_title" >>"$E2E_ART/steps.txt"
    fi
    step_number=$((step_number + 1))
    step_title=$1
    step_started=$now
    e2e_log "step $step_number: $1"
}

# acc_shot NAME: a screenshot named after the current step.
acc_shot() { e2e_shot "$(printf '%02d' "$step_number")-$1"; }

# Expected values come from lib.sh (e2e_expected_*), worked out there
# independently of the program; the clicks, the window finder and the waits
# too.

# acc_settle WHAT EXPECTED: waits until the squares show EXPECTED and stay so,
# then keeps a screenshot named after the step.
acc_settle() {
    e2e_wait_squares "$1" "$2" 30
    acc_shot "$(tr ' ' '-' <<<"$1" | tr -cd 'A-Za-z0-9-')"
}

# acc_file_dialog TITLE PATH SHOT: types PATH into the file dialog, keeps the
# screenshot SHOT of this step and accepts the name.
acc_file_dialog() { e2e_file_dialog "$1" "$(printf '%02d' "$step_number")-$3" "$2"; }

# acc_watch_build BEFORE FINAL: samples the squares until they show FINAL and
# stay so for half a second; puts each distinct picture seen after BEFORE into
# the array ACC_SEEN, in order. A reconstruction in Build Mode may well be over
# between two screen reads, so the pictures seen are checked, not counted.
ACC_SEEN=()
acc_watch_build() {
    local last=$1 final=$2 shown since now start
    ACC_SEEN=()
    start=$(e2e_now_ms)
    since=$start
    while :; do
        shown=$(e2e_squares)
        now=$(e2e_now_ms)
        if [ "$shown" != "$last" ]; then
            ACC_SEEN+=("$shown")
            last=$shown
            since=$now
        elif [ "$shown" = "$final" ] && ((now - since >= 500)); then
            return 0
        fi
        ((now - start < 60000)) || e2e_fail "the squares did not settle on the expected picture within 60 s"
        sleep 0.02
    done
}

# ---------------------------------------------------------------------------
# The session.

acc_step "start the installed program through $launcher"
e2e_start_app
black=$(e2e_expected_idct "")
acc_settle "start-up black" "$black"

acc_step "type five coefficients and press Enter (Fast Mode)"
# Cell k holds F(k mod 8, k div 8). Most of these come late in the inverse
# transform's order (u outer, v inner), so in Build Mode the partial pictures
# stay on screen through most of a reconstruction.
coefficients="0:0:700 0:1:-75 1:0:150 3:5:45 6:7:-23"
e2e_type_coefficients "$coefficients"
xdotool key Return
typed=$(e2e_expected_idct "$coefficients")
acc_settle "typed coefficients" "$typed"

acc_step "Build Mode: one more coefficient, Enter"
# Build Mode adds the coefficients one by one (u outer, v inner) and paints
# after each: whatever picture shows on the way is one of these partial sums,
# in this order.
e2e_click_build_mode
coefficients="0:0:700 0:1:-75 1:0:150 2:3:60 3:5:45 6:7:-23"
partials=()
partial=""
for item in $coefficients; do
    partial="${partial:+$partial }$item"
    expected=$(e2e_expected_idct "$partial")
    partials+=("$expected")
done
e2e_enter_cell $((2 + 8 * 3)) 60
built=${partials[-1]}
acc_watch_build "$typed" "$built"
printf '%s\n' "${ACC_SEEN[@]}" >"$E2E_ART/build-mode-pictures.txt"
acc_settle "built with six coefficients" "$built"
order=()
for picture in "${ACC_SEEN[@]}"; do
    index=-1
    for i in "${!partials[@]}"; do
        if [ "${partials[i]}" = "$picture" ]; then index=$i; fi
    done
    ((index >= 0)) || e2e_fail "Build Mode showed a picture that is no partial sum: $picture"
    order+=("$index")
done
e2e_log "Build Mode pictures seen (partial sums 0..$((${#partials[@]} - 1))): ${order[*]}"
for ((i = 1; i < ${#order[@]}; ++i)); do
    ((order[i] > order[i - 1])) || e2e_fail "Build Mode pictures out of order: ${order[*]}"
done

acc_step "quantise at 4 (\"-\" twice)"
e2e_click_minus
e2e_click_minus
e2e_click_quantise
coefficients=$(e2e_quantise "$coefficients" 4)
acc_settle "quantised at 4" "$(e2e_expected_idct "$coefficients")"

acc_step "quantise at 32 (\"+\" three times)"
for _ in 1 2 3; do e2e_click_plus; done
e2e_click_quantise
coefficients=$(e2e_quantise "$coefficients" 32)
acc_settle "quantised at 32" "$(e2e_expected_idct "$coefficients")"

acc_step "quantise at 512 (\"+\" five times, the last one at the limit)"
for _ in 1 2 3 4 5; do e2e_click_plus; done
e2e_click_quantise
coefficients=$(e2e_quantise "$coefficients" 512)
e2e_log "left after quantising: $coefficients"
acc_settle "quantised at 512" "$(e2e_expected_idct "$coefficients")"

acc_step "Fast Mode: the six coefficients again, Enter"
e2e_click_fast_mode
before=$(e2e_squares)
coefficients="0:0:700 0:1:-75 1:0:150 2:3:60 3:5:45 6:7:-23"
e2e_type_coefficients "$coefficients"
xdotool key Return
acc_watch_build "$before" "$built"
for picture in "${ACC_SEEN[@]}"; do
    [ "$picture" = "$built" ] || e2e_fail "Fast Mode showed an intermediate picture: $picture"
done
acc_settle "Fast Mode reconstruction" "$built"

acc_step "Cycle DCT Patterns in Build Mode, STOP part-way"
patterns=$(e2e_all_patterns)
e2e_click_build_mode
e2e_click_cycle
e2e_watch_patterns "$patterns"
cycle_seen=("${E2E_SEEN[@]}")
e2e_click_stop
((cycle_seen[1] > cycle_seen[0])) || e2e_fail "pattern ${cycle_seen[1]} came after ${cycle_seen[0]}"
e2e_wait_stable 3000 60
acc_shot stopped
final=$(e2e_pattern_index "$patterns" "$E2E_SHOWN")
e2e_log "patterns seen before STOP: ${cycle_seen[*]}; stopped at $final"
((final >= cycle_seen[1] && final <= cycle_seen[1] + 2 && final < 63)) ||
    e2e_fail "STOP after pattern ${cycle_seen[1]} left pattern $final on screen"
e2e_click_fast_mode

acc_step "View Single DCT Pattern: horizontal 6, vertical 2, OK"
e2e_click_view_single
e2e_wait_window 'Enter X Y Data' 30
dialog=$E2E_WINDOW
e2e_window_geometry "$dialog"
read -r dx dy _ <<<"$E2E_GEOMETRY"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool mousemove --sync $((dx + 8 + 12)) $((dy + 8 + 12)) click 1
xdotool type --delay 30 6
acc_settle "single pattern 6 0" "$(e2e_expected_pattern 6 0)"
xdotool mousemove --sync $((dx + 8 + 12)) $((dy + 48 + 12)) click 1
xdotool type --delay 30 2
acc_settle "single pattern 6 2" "$(e2e_expected_pattern 6 2)"
# A digit beyond 7 is no frequency: the box takes it, the pattern stays.
xdotool type --delay 30 9
acc_settle "single pattern 6 2 after 9" "$(e2e_expected_pattern 6 2)"
xdotool mousemove --sync $((dx + 200 + 16)) $((dy + 48 + 12)) click 1
e2e_wait_until 10 "OK to hide the dialog" e2e_window_gone "$dialog"
acc_settle "single pattern 6 2 after OK" "$(e2e_expected_pattern 6 2)"

acc_step "Save Block through the save dialog"
e2e_click_save_block
acc_file_dialog 'Save As' "$files/pattern.csv" save-dialog
e2e_wait_until 20 "the block file to be written" test -s "$files/pattern.csv"
e2e_expected_block_file "0:0:512 6:2:512" >"$E2E_ART/pattern-expected.csv"
cp "$files/pattern.csv" "$E2E_ART/pattern-saved.csv"
cmp "$E2E_ART/pattern-expected.csv" "$E2E_ART/pattern-saved.csv" ||
    e2e_fail "pattern.csv differs from the expected bytes (see pattern-*.csv)"
e2e_log "ok: pattern.csv holds the pattern's pixels and its two coefficients"

acc_step "Load Block of a file written by hand"
# Rows of whole and fractional values, some outside 0..255.
awk 'BEGIN { for (y = 0; y < 8; ++y) { line = ""
    for (x = 0; x < 8; ++x) line = line (x ? "," : "") (37 * x - 29 * y + 11 * ((x * y) % 5) + 40 + (x == y ? 0.75 : 0))
    printf "%s\r\n", line } }' >"$files/student.txt"
cp "$files/student.txt" "$E2E_ART/"
loaded=$(e2e_expected_grey "$(tr ',\r\n' '   ' <"$files/student.txt")")
e2e_click_load_block
acc_file_dialog Open "$files/student.txt" open-dialog
acc_settle "loaded block" "$loaded"

acc_step "View Bitmap: pick blocks with the pointer, click to close"
convert -seed 7 -size 160x120 plasma:fractal -depth 8 "BMP3:$files/picture.bmp"
cp "$files/picture.bmp" "$E2E_ART/"
# The pointer image is read from the program folder when the viewer opens. Its
# access time shows that, where the file system records reads.
ico=$program_dir/box.ico
touch -a -d @0 "$work/probe" "$ico" 2>/dev/null || true
cat "$work/probe" >/dev/null
ico_checked=0
if [ "$(stat -c %X "$work/probe")" != 0 ] && [ "$(stat -c %d "$work")" = "$(stat -c %d "$ico")" ] &&
    [ "$(stat -c %X "$ico")" = 0 ]; then
    ico_checked=1
fi
e2e_click_view_bitmap
acc_file_dialog Open "$files/picture.bmp" picture-dialog
e2e_wait_window 'DCT Bitmap Viewer' 30
viewer=$E2E_WINDOW
# Beside the main window.
e2e_place_window "$viewer" 640 0
read -r vx vy _ <<<"$E2E_GEOMETRY"
for at in "0 0" "45 27" "152 112" "99 3"; do
    read -r x y <<<"$at"
    # The picture area sits at (8, 16) in the viewer; the pointer's hot spot is
    # its top-left pixel.
    xdotool mousemove --sync $((vx + 8 + x)) $((vy + 16 + y))
    picked=$(e2e_expected_luma "$files/picture.bmp" "$x" "$y")
    acc_settle "block at $x $y" "$picked"
done
if ((ico_checked)); then
    [ "$(stat -c %X "$ico")" != 0 ] || e2e_fail "the viewer did not read $ico"
    e2e_log "ok: the viewer read its pointer image from $program_dir"
else
    e2e_log "pointer image not checked: this file system does not record reads"
fi
xdotool click 1
e2e_wait_until 10 "a click on the picture to close the viewer" e2e_window_gone "$viewer"
acc_settle "block kept after the viewer closed" "$picked"

acc_step "Read Me"
rm -f "$opened"
e2e_click_read_me
e2e_wait_until 20 "the read-me to be handed to xdg-open (a message box may say why not)" test -f "$opened"
acc_shot read-me
[ "$(cat "$opened")" = "$program_dir/readme.rtf" ] ||
    e2e_fail "Read Me opened '$(cat "$opened")', not $program_dir/readme.rtf"
[ -f "$(cat "$opened")" ] || e2e_fail "the read-me handed to xdg-open does not exist"
e2e_log "ok: Read Me opened $program_dir/readme.rtf"

acc_step "DCT after editing a cell, then Save Block"
# The edit changes only the frequency block; DCT recomputes it from the picked
# pixels, which the saved file must show.
e2e_type_cell 9 999
e2e_click_dct
acc_settle "squares unchanged by DCT" "$picked"
e2e_click_save_block
acc_file_dialog 'Save As' "$files/picked.csv" save-dialog
e2e_wait_until 20 "the block file to be written" test -s "$files/picked.csv"
e2e_expected_dct_file "$picked" >"$E2E_ART/picked-expected.csv"
cp "$files/picked.csv" "$E2E_ART/picked-saved.csv"
cmp "$E2E_ART/picked-expected.csv" "$E2E_ART/picked-saved.csv" ||
    e2e_fail "picked.csv differs from the expected bytes (see picked-*.csv)"
e2e_log "ok: picked.csv holds the picked pixels and their DCT"

acc_step "QUIT"
e2e_quit
acc_step "done"
e2e_log "acceptance passed in $(($(e2e_now_ms) - started)) ms (steps: $E2E_ART/steps.txt)"
