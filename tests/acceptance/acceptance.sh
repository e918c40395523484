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

# ---------------------------------------------------------------------------
# Expected values, computed here with the program's pi (see lib.sh).

# Shared awk functions. Values that an independent sum cannot place on one side
# of a whole number are refused as test faults, as in e2e_expected_idct.
acc_awk_lib='
function floor(x) { return (x == int(x) || x >= 0) ? int(x) : int(x) - 1 }
function clamp(g) { return g < 0 ? 0 : (g > 255 ? 255 : g) }
function near_whole(v,   n) { n = int(v + (v < 0 ? -0.5 : 0.5)); return v != n && (v - n < 1e-6 && n - v < 1e-6) }
# Truncation toward zero is only in doubt just beside a whole number other than 0.
function trunc_in_doubt(v) { return near_whole(v) && (v > 0.5 || v < -0.5) }
function refuse(what, v) { printf "ambiguous %s %.9f\n", what, v > "/dev/stderr"; exit 2 }
# idct(list, S): S[k] = 1/4 sum F(u, v) cos((2x+1)u pi/16) cos((2y+1)v pi/16)
# for the coefficients "U:V:F ..."; returns 1 when only the DC term is set
# (then every value is exact).
function idct(list, S,   pi, n, items, c, f, k, x, y, s, dc_only) {
    pi = 3.1415927
    n = split(list, items, " ")
    dc_only = 1
    for (c = 1; c <= n; ++c) { split(items[c], f, ":"); if (f[1] != 0 || f[2] != 0) dc_only = 0 }
    for (k = 0; k < 64; ++k) {
        x = k % 8; y = int(k / 8); s = 0
        for (c = 1; c <= n; ++c) {
            split(items[c], f, ":")
            s += f[3] * cos((2 * x + 1) * f[1] * pi / 16) * cos((2 * y + 1) * f[2] * pi / 16)
        }
        S[k] = s / 4
    }
    return dc_only
}
# dct(S, F): F(u, v) = c(u) c(v) / 4 sum S(x, y) cos((2x+1)u pi/16) cos((2y+1)v pi/16),
# c(0) = 1/2, c(k) = 1 otherwise.
function dct(S, F,   pi, k, u, v, x, y, j, s) {
    pi = 3.1415927
    for (k = 0; k < 64; ++k) {
        u = k % 8; v = int(k / 8); s = 0
        for (j = 0; j < 64; ++j) {
            x = j % 8; y = int(j / 8)
            s += S[j] * cos((2 * x + 1) * u * pi / 16) * cos((2 * y + 1) * v * pi / 16)
        }
        F[k] = s * (u ? 1 : 0.5) * (v ? 1 : 0.5) / 4
    }
}
# squares(S, exact): the grey levels of the squares, rounded down and clamped.
function squares(S, exact,   k, out) {
    for (k = 0; k < 64; ++k) {
        if (!exact && near_whole(S[k]) && S[k] > 0.5 && S[k] < 255.5) refuse("pixel", S[k])
        out = out (k ? " " : "") clamp(floor(S[k]))
    }
    return out
}
# file_row(V, row, exact): one block file row, truncated toward zero, CR LF.
function file_row(V, row, exact,   i, v, out) {
    for (i = 0; i < 8; ++i) {
        v = V[8 * row + i]
        if (!exact && trunc_in_doubt(v)) refuse("file value", v)
        out = out (i ? "," : "") sprintf("%d", int(v))
    }
    return out "\r\n"
}
'

# acc_expected_idct "U:V:F ...": the squares for those coefficients.
acc_expected_idct() {
    awk -v list="$1" "$acc_awk_lib"'BEGIN { exact = idct(list, S); print squares(S, exact) }'
}

# acc_quantise "U:V:F ..." Q: the coefficients after quantising with step Q:
# the DC term rounded to the nearest multiple, the others truncated toward zero.
acc_quantise() {
    awk -v list="$1" -v q="$2" 'BEGIN {
        n = split(list, items, " ")
        for (c = 1; c <= n; ++c) {
            split(items[c], f, ":")
            g = (f[1] == 0 && f[2] == 0) ? int((f[3] + q / 2) / q) * q : int(f[3] / q) * q
            if (g != 0) out = out (out == "" ? "" : " ") f[1] ":" f[2] ":" g
        }
        print out
    }'
}

# acc_expected_pattern_file "U:V:F ...": the block file that "Save Block" writes
# after the inverse transform of those coefficients.
acc_expected_idct_file() {
    awk -v list="$1" "$acc_awk_lib"'BEGIN {
        exact = idct(list, S)
        n = split(list, items, " ")
        for (k = 0; k < 64; ++k) F[k] = 0
        for (c = 1; c <= n; ++c) { split(items[c], f, ":"); F[f[1] + 8 * f[2]] = f[3] }
        for (r = 0; r < 8; ++r) printf "%s", file_row(S, r, exact)
        printf "# Pixel brightness above, DCT Values below\r\n"
        for (r = 0; r < 8; ++r) printf "%s", file_row(F, r, 1)
    }'
}

# acc_expected_dct_file "S0 S1 ... S63": the block file for a whole-number
# space block followed by its forward transform.
acc_expected_dct_file() {
    awk -v values="$1" "$acc_awk_lib"'BEGIN {
        split(values, list, " ")
        for (k = 0; k < 64; ++k) S[k] = list[k + 1]
        dct(S, F)
        for (r = 0; r < 8; ++r) printf "%s", file_row(S, r, 1)
        printf "# Pixel brightness above, DCT Values below\r\n"
        # The DC term of whole numbers is exact (their sum divided by 16).
        for (r = 0; r < 8; ++r) {
            for (i = 0; i < 8; ++i) if (8 * r + i > 0 && trunc_in_doubt(F[8 * r + i])) refuse("coefficient", F[8 * r + i])
            printf "%s", file_row(F, r, 1)
        }
    }'
}

# acc_luma_block PICTURE X Y: the grey levels of the 8x8 area whose top-left
# pixel is (X, Y), in square order: L = (0.59 G + 0.11 B) + 0.3 R, truncated.
acc_luma_block() {
    convert "$1" -crop "8x8+$2+$3" +repage -depth 8 txt:- |
        awk -F'[(),: ]+' 'NR > 1 { grey[$1 + 8 * $2] = int((0.59 * $4 + 0.11 * $5) + 0.3 * $3) }
            END { for (k = 0; k < 64; ++k) printf "%s%d", (k ? " " : ""), grey[k]; print "" }'
}

# ---------------------------------------------------------------------------
# Driving the program.

# Client-area click points of the controls not in lib.sh.
acc_click_single_pattern() { e2e_click $((24 + 36)) $((328 + 16)); }
acc_click_load_block() { e2e_click $((128 + 36)) $((328 + 16)); }
acc_click_save_block() { e2e_click $((128 + 36)) $((368 + 16)); }
acc_click_view_bitmap() { e2e_click $((128 + 36)) $((408 + 16)); }
acc_click_quantise() { e2e_click $((232 + 28)) $((328 + 16)); }
acc_click_plus() { e2e_click $((288 + 8)) $((328 + 8)); }
acc_click_minus() { e2e_click $((288 + 8)) $((344 + 8)); }
acc_click_dct() { e2e_click $((232 + 36)) $((408 + 16)); }

# acc_type_cell K TEXT: replaces the text of numeric cell K (no Enter).
acc_type_cell() {
    e2e_click_cell "$1"
    xdotool windowfocus "$E2E_WID" 2>/dev/null || true
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 30 -- "$2"
}

# acc_type_coefficients "U:V:F ...": types each F into the cell that holds F(U, V).
acc_type_coefficients() {
    local item u v f
    for item in $1; do
        IFS=: read -r u v f <<<"$item"
        acc_type_cell $((u + 8 * v)) "$f"
    done
}

# acc_find_window TITLE_REGEX: waits for a visible window so titled, prints its id.
acc_find_window() {
    local id deadline=$(($(e2e_now_ms) + 30000))
    while :; do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        if [ -n "$id" ]; then
            printf '%s\n' "$id"
            return 0
        fi
        (($(e2e_now_ms) < deadline)) || e2e_fail "no window titled '$1' within 30 s"
        sleep 0.05
    done
}

# acc_window_gone ID: true once the window is unmapped or destroyed.
acc_window_gone() {
    local info
    info=$(xwininfo -id "$1" 2>/dev/null) || return 0
    ! grep -q 'Map State: IsViewable' <<<"$info"
}

# acc_origin ID: prints the screen position of the window's client area.
acc_origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x = $NF} /Absolute upper-left Y:/ {y = $NF}
        END { print x, y }'
}

# acc_file_dialog TITLE_REGEX PATH SHOT: types PATH into the file dialog, takes
# the screenshot SHOT and accepts the name.
acc_file_dialog() {
    local dialog
    dialog=$(acc_find_window "$1")
    xdotool windowfocus --sync "$dialog" 2>/dev/null || true
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 5 -- "$2"
    acc_shot "$3"
    xdotool key Return
    e2e_wait_until 20 "the file dialog to close" acc_window_gone "$dialog"
}

# acc_settle WHAT EXPECTED: waits until the squares show EXPECTED and stay so.
acc_settle() {
    local what=$1 expected=$2 shown
    acc_wait_squares 30 "$what" "$expected"
    shown=$(e2e_wait_stable 300 30)
    acc_shot "$(tr ' ' '-' <<<"$what" | tr -cd 'A-Za-z0-9-')"
    e2e_expect_squares "$what" "$expected" "$shown"
}

# acc_wait_squares SECONDS WHAT EXPECTED: waits until the squares show EXPECTED;
# at the deadline names every square that differs.
acc_wait_squares() {
    local deadline=$(($(e2e_now_ms) + $1 * 1000)) shown
    while :; do
        shown=$(e2e_squares)
        [ "$shown" != "$3" ] || return 0
        if (($(e2e_now_ms) > deadline)); then
            e2e_expect_squares "$2 (after $1 s)" "$3" "$shown"
        fi
        sleep 0.05
    done
}

# acc_watch_build BEFORE FINAL: samples the squares until they show FINAL and
# stay so for half a second; prints each distinct picture seen after BEFORE, one
# a line. A reconstruction in Build Mode may well be over between two screen
# reads, so the pictures seen are checked, not counted.
acc_watch_build() {
    local last=$1 final=$2 shown since now start
    start=$(e2e_now_ms)
    since=$start
    while :; do
        shown=$(e2e_squares)
        now=$(e2e_now_ms)
        if [ "$shown" != "$last" ]; then
            printf '%s\n' "$shown"
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
acc_type_coefficients "$coefficients"
xdotool key Return
typed=$(acc_expected_idct "$coefficients")
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
    partials+=("$(acc_expected_idct "$partial")")
done
acc_type_cell $((2 + 8 * 3)) 60
xdotool key Return
built=${partials[-1]}
seen=$(acc_watch_build "$typed" "$built")
printf '%s\n' "$seen" >"$E2E_ART/build-mode-pictures.txt"
acc_settle "built with six coefficients" "$built"
order=()
while IFS= read -r picture; do
    [ -n "$picture" ] || continue
    index=-1
    for i in "${!partials[@]}"; do
        if [ "${partials[i]}" = "$picture" ]; then index=$i; fi
    done
    ((index >= 0)) || e2e_fail "Build Mode showed a picture that is no partial sum: $picture"
    order+=("$index")
done <<<"$seen"
e2e_log "Build Mode pictures seen (partial sums 0..$((${#partials[@]} - 1))): ${order[*]}"
for ((i = 1; i < ${#order[@]}; ++i)); do
    ((order[i] > order[i - 1])) || e2e_fail "Build Mode pictures out of order: ${order[*]}"
done

acc_step "quantise at 4 (\"-\" twice)"
acc_click_minus
acc_click_minus
acc_click_quantise
coefficients=$(acc_quantise "$coefficients" 4)
acc_settle "quantised at 4" "$(acc_expected_idct "$coefficients")"

acc_step "quantise at 32 (\"+\" three times)"
for _ in 1 2 3; do acc_click_plus; done
acc_click_quantise
coefficients=$(acc_quantise "$coefficients" 32)
acc_settle "quantised at 32" "$(acc_expected_idct "$coefficients")"

acc_step "quantise at 512 (\"+\" five times, the last one at the limit)"
for _ in 1 2 3 4 5; do acc_click_plus; done
acc_click_quantise
coefficients=$(acc_quantise "$coefficients" 512)
e2e_log "left after quantising: $coefficients"
acc_settle "quantised at 512" "$(acc_expected_idct "$coefficients")"

acc_step "Fast Mode: the six coefficients again, Enter"
e2e_click_fast_mode
before=$(e2e_squares)
coefficients="0:0:700 0:1:-75 1:0:150 2:3:60 3:5:45 6:7:-23"
acc_type_coefficients "$coefficients"
xdotool key Return
seen=$(acc_watch_build "$before" "$built")
while IFS= read -r picture; do
    [ -z "$picture" ] || [ "$picture" = "$built" ] ||
        e2e_fail "Fast Mode showed an intermediate picture: $picture"
done <<<"$seen"
acc_settle "Fast Mode reconstruction" "$built"

acc_step "Cycle DCT Patterns in Build Mode, STOP part-way"
patterns=$(e2e_all_patterns)
e2e_click_build_mode
e2e_click_cycle
watched=$(e2e_watch_patterns "$patterns") # a failure here ends the test (set -e)
read -r -a cycle_seen <<<"$watched"
e2e_click_stop
((cycle_seen[1] > cycle_seen[0])) || e2e_fail "pattern ${cycle_seen[1]} came after ${cycle_seen[0]}"
shown=$(e2e_wait_stable 3000 60)
acc_shot stopped
final=$(e2e_pattern_index "$patterns" "$shown")
e2e_log "patterns seen before STOP: ${cycle_seen[*]}; stopped at $final"
((final >= cycle_seen[1] && final <= cycle_seen[1] + 2 && final < 63)) ||
    e2e_fail "STOP after pattern ${cycle_seen[1]} left pattern $final on screen"
e2e_click_fast_mode

acc_step "View Single DCT Pattern: horizontal 6, vertical 2, OK"
acc_click_single_pattern
dialog=$(acc_find_window '^Enter X Y Data$')
read -r dx dy < <(acc_origin "$dialog")
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
e2e_wait_until 10 "OK to hide the dialog" acc_window_gone "$dialog"
acc_settle "single pattern 6 2 after OK" "$(e2e_expected_pattern 6 2)"

acc_step "Save Block through the save dialog"
acc_click_save_block
acc_file_dialog '^Save As$' "$files/pattern.csv" save-dialog
e2e_wait_until 20 "the block file to be written" test -s "$files/pattern.csv"
acc_expected_idct_file "0:0:512 6:2:512" >"$E2E_ART/pattern-expected.csv"
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
loaded=$(tr ',\r' ' \n' <"$files/student.txt" | tr '\n' ' ' |
    awk "$acc_awk_lib"'{ for (k = 0; k < 64; ++k) S[k] = $(k + 1); print squares(S, 1) }')
acc_click_load_block
acc_file_dialog '^Open$' "$files/student.txt" open-dialog
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
acc_click_view_bitmap
acc_file_dialog '^Open$' "$files/picture.bmp" picture-dialog
viewer=$(acc_find_window '^DCT Bitmap Viewer$')
# No window manager: put the viewer beside the main window.
xdotool windowmove --sync "$viewer" 640 0
read -r vx vy < <(acc_origin "$viewer")
for at in "0 0" "45 27" "152 112" "99 3"; do
    read -r x y <<<"$at"
    # The picture area sits at (8, 16) in the viewer; the pointer's hot spot is
    # its top-left pixel.
    xdotool mousemove --sync $((vx + 8 + x)) $((vy + 16 + y))
    picked=$(acc_luma_block "$files/picture.bmp" "$x" "$y")
    acc_settle "block at $x $y" "$picked"
done
if ((ico_checked)); then
    [ "$(stat -c %X "$ico")" != 0 ] || e2e_fail "the viewer did not read $ico"
    e2e_log "ok: the viewer read its pointer image from $program_dir"
else
    e2e_log "pointer image not checked: this file system does not record reads"
fi
xdotool click 1
e2e_wait_until 10 "a click on the picture to close the viewer" acc_window_gone "$viewer"
acc_settle "block kept after the viewer closed" "$picked"

acc_step "Read Me"
inst_read_me_shows_help "$(printf '%02d' "$step_number")-read-me"
e2e_log "ok: Read Me showed the help window, and Escape closed it"

acc_step "DCT after editing a cell, then Save Block"
# The edit changes only the frequency block; DCT recomputes it from the picked
# pixels, which the saved file must show.
acc_type_cell 9 999
acc_click_dct
acc_settle "squares unchanged by DCT" "$picked"
acc_click_save_block
acc_file_dialog '^Save As$' "$files/picked.csv" save-dialog
e2e_wait_until 20 "the block file to be written" test -s "$files/picked.csv"
acc_expected_dct_file "$picked" >"$E2E_ART/picked-expected.csv"
cp "$files/picked.csv" "$E2E_ART/picked-saved.csv"
cmp "$E2E_ART/picked-expected.csv" "$E2E_ART/picked-saved.csv" ||
    e2e_fail "picked.csv differs from the expected bytes (see picked-*.csv)"
e2e_log "ok: picked.csv holds the picked pixels and their DCT"

acc_step "QUIT"
e2e_move_to_quit
xdotool click 1
quit_started=$(e2e_now_ms)
while e2e_app_running; do
    (($(e2e_now_ms) - quit_started < 30000)) || e2e_fail "still running 30 s after QUIT"
    sleep 0.02
done
status=0
wait "$E2E_APP_PID" || status=$?
E2E_APP_PID=""
((status == 0)) || e2e_fail "exit status $status after QUIT"
e2e_log "ok: exited with status 0, $(($(e2e_now_ms) - quit_started)) ms after QUIT"
acc_step "done"
e2e_log "acceptance passed in $(($(e2e_now_ms) - started)) ms (steps: $E2E_ART/steps.txt)"
