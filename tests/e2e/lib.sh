# End-to-end helpers: a private X server, the real quadrel executable, clicks
# and key strokes through xdotool, and the grey squares read back from the
# screen. Sourced by the test scripts, which call e2e_setup first.
#
# Every wait polls a condition with a deadline; nothing relies on a fixed sleep
# being long enough.

E2E_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly E2E_LIB_DIR

# Exit status that CTest reads as "skipped" (SKIP_RETURN_CODE).
readonly E2E_SKIP=77

# Client-area layout in pixels: square k at (320 + 32*(k%8), 24 + 32*(k/8)), 33x33.
# The client area is the bottom 600x456 of the window, below the menu bar.
readonly E2E_GRID_X=320
readonly E2E_GRID_Y=24
readonly E2E_PITCH=32
readonly E2E_TITLE='Quadrel v3.0'
readonly E2E_CLIENT_HEIGHT=456

E2E_APP_PID=""
E2E_XVFB_PID=""
# A scratch folder of the test's own, removed by e2e_cleanup when set.
E2E_WORK=""
E2E_WID=""
E2E_ORIGIN_X=0
E2E_ORIGIN_Y=0
E2E_WINDOW_H=0
E2E_MENU_H=0

e2e_log() { printf '[%s] %s\n' "$E2E_NAME" "$*" >&2; }

e2e_fail() {
    e2e_log "FAIL: $*"
    e2e_shot failure || true
    if [ -s "$E2E_ART/app.log" ]; then
        e2e_log "program output:"
        sed 's/^/    /' "$E2E_ART/app.log" >&2
    fi
    exit 1
}

# Milliseconds since the epoch.
e2e_now_ms() { echo $(($(date +%s%N) / 1000000)); }

# e2e_setup NAME EXE ARTIFACT_ROOT: checks the tools, prepares the artefact
# folder and starts a private X server.
e2e_setup() {
    E2E_NAME=$1
    E2E_EXE=$2
    E2E_ART=$3/$1
    local tool
    for tool in Xvfb xdotool xwininfo import od awk; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            e2e_log "SKIP: '$tool' is not installed"
            exit $E2E_SKIP
        fi
    done
    [ -x "$E2E_EXE" ] || e2e_fail "no executable at $E2E_EXE"
    rm -rf "$E2E_ART"
    mkdir -p "$E2E_ART"
    trap e2e_cleanup EXIT
    e2e_start_x
}

e2e_cleanup() {
    local status=$?
    if [ -n "$E2E_APP_PID" ] && kill -0 "$E2E_APP_PID" 2>/dev/null; then
        kill "$E2E_APP_PID" 2>/dev/null || true
        wait "$E2E_APP_PID" 2>/dev/null || true
    fi
    if [ -n "$E2E_XVFB_PID" ]; then
        kill "$E2E_XVFB_PID" 2>/dev/null || true
        wait "$E2E_XVFB_PID" 2>/dev/null || true
    fi
    if [ -n "$E2E_WORK" ]; then
        rm -rf "$E2E_WORK"
    fi
    exit $status
}

# Starts Xvfb on a display it picks itself (-displayfd), so parallel runs and
# other X servers on the machine never collide.
e2e_start_x() {
    local fifo=$E2E_ART/displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" \
        >"$E2E_ART/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    local number=""
    read -r -t 20 number <"$fifo" || true
    rm -f "$fifo"
    [ -n "$number" ] || e2e_fail "Xvfb did not report a display (see $E2E_ART/xvfb.log)"
    export DISPLAY=":$number"
    unset WAYLAND_DISPLAY
    e2e_log "Xvfb on $DISPLAY"
}

# e2e_start_app [ARGS...]: starts the program and waits for its main window to
# be mapped. Cycles and Build Mode run at the instant pace unless ARGS choose
# another; settings live in the test's own folder, never the user's.
e2e_start_app() {
    # Under AddressSanitizer, strict_string_checks makes the strndup interceptor
    # measure its argument with strlen first. libxkbcommon-x11, which only the
    # xcb platform loads, passes strndup counted atom names that are not
    # NUL-terminated, so the interceptor itself reads past them and reports an
    # overflow at start-up. Every other sanitizer check, leaks included, stays on.
    local asan=${ASAN_OPTIONS:-}
    asan=${asan//strict_string_checks=1/strict_string_checks=0}
    # Caches that system libraries keep until exit are known leaks; a run that
    # names no suppressions itself (a bare ctest) uses the project's list.
    local lsan=${LSAN_OPTIONS:-}
    [[ $lsan == *suppressions=* ]] ||
        lsan="${lsan:+$lsan:}suppressions=$E2E_LIB_DIR/../lsan.supp:print_suppressions=0"
    mkdir -m 700 "$E2E_ART/runtime"
    mkdir -p "$E2E_ART/config"
    ASAN_OPTIONS=$asan LSAN_OPTIONS=$lsan XDG_RUNTIME_DIR=$E2E_ART/runtime \
        XDG_CONFIG_HOME=$E2E_ART/config QT_QPA_PLATFORM=xcb \
        "$E2E_EXE" --pace instant "$@" >"$E2E_ART/app.log" 2>&1 &
    E2E_APP_PID=$!
    E2E_WID=$(timeout 30 xdotool search --sync --onlyvisible --name "^${E2E_TITLE//./\\.}\$" |
        head -n 1) || true
    [ -n "$E2E_WID" ] || e2e_fail "no visible window titled '$E2E_TITLE' within 30 s"
    local info
    info=$(xwininfo -id "$E2E_WID")
    E2E_ORIGIN_X=$(awk '/Absolute upper-left X:/ {print $NF}' <<<"$info")
    E2E_ORIGIN_Y=$(awk '/Absolute upper-left Y:/ {print $NF}' <<<"$info")
    E2E_CLIENT_W=$(awk '/^  Width:/ {print $NF}' <<<"$info")
    E2E_WINDOW_H=$(awk '/^  Height:/ {print $NF}' <<<"$info")
    # Client coordinates start below the menu bar.
    E2E_MENU_H=$((E2E_WINDOW_H - E2E_CLIENT_HEIGHT))
    E2E_ORIGIN_Y=$((E2E_ORIGIN_Y + E2E_MENU_H))
    E2E_CLIENT_H=$E2E_CLIENT_HEIGHT
    e2e_log "window $E2E_WID at $E2E_ORIGIN_X,$E2E_ORIGIN_Y size ${E2E_CLIENT_W}x$E2E_CLIENT_H"
    # No window manager runs, so give the window the keyboard explicitly.
    xdotool windowfocus "$E2E_WID" 2>/dev/null || true
}

# True while the program has not exited (a zombie counts as exited).
e2e_app_running() {
    local state
    state=$(awk '{print $3}' "/proc/$E2E_APP_PID/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# e2e_move_to X Y: the pointer to screen coordinates. --sync waits for the
# pointer to move, which never happens when it is already there (a button
# clicked twice), so that case is left alone.
e2e_move_to() {
    [ "$(xdotool getmouselocation | cut -d' ' -f1-2)" = "x:$1 y:$2" ] ||
        xdotool mousemove --sync "$1" "$2"
}

# e2e_move X Y: the pointer to client coordinates of the main window.
e2e_move() { e2e_move_to $((E2E_ORIGIN_X + $1)) $((E2E_ORIGIN_Y + $2)); }

# e2e_click X Y: a left click at client coordinates.
e2e_click() {
    e2e_move "$1" "$2"
    xdotool click 1
}

# Click points (a few pixels inside each control).
e2e_click_cell() { e2e_click $((24 + 32 * ($1 % 8) + 16)) $((24 + 32 * ($1 / 8) + 16)); }
e2e_click_cycle() { e2e_click $((24 + 36)) $((368 + 16)); }
e2e_click_stop() { e2e_click $((24 + 36)) $((408 + 16)); }
e2e_click_idct() { e2e_click $((232 + 36)) $((368 + 16)); }
e2e_click_dct() { e2e_click $((232 + 36)) $((408 + 16)); }
e2e_move_to_quit() { e2e_move $((504 + 36)) $((408 + 16)); }
e2e_click_view_single() { e2e_click $((24 + 36)) $((328 + 16)); }
e2e_click_load_block() { e2e_click $((128 + 36)) $((328 + 16)); }
e2e_click_save_block() { e2e_click $((128 + 36)) $((368 + 16)); }
e2e_click_fast_mode() { e2e_click $((320 + 8)) $((368 + 8)); }
e2e_click_build_mode() { e2e_click $((320 + 8)) $((384 + 8)); }

# e2e_enter_cell K TEXT: replaces the text of numeric cell K and presses Enter.
e2e_enter_cell() {
    e2e_click_cell "$1"
    xdotool windowfocus "$E2E_WID" 2>/dev/null || true
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 30 -- "$2"
    xdotool key Return
}

# e2e_shot NAME: saves the whole screen and the window's client area.
e2e_shot() {
    import -window root "$E2E_ART/$1.png"
    if [ -n "${E2E_CLIENT_W:-}" ]; then
        import -window root -crop "${E2E_CLIENT_W}x$E2E_CLIENT_H+$E2E_ORIGIN_X+$E2E_ORIGIN_Y" \
            +repage "$E2E_ART/$1-window.png" 2>/dev/null || true
    fi
}

# Prints the colours at the centres of the 64 squares (square k's pixel
# (16, 16)) on one line in k order: the grey level where red = green = blue,
# otherwise r/g/b, which matches no grey level.
e2e_squares() {
    local side=$((7 * E2E_PITCH + 33))
    import -window root -crop "${side}x$side+$((E2E_ORIGIN_X + E2E_GRID_X))+$((E2E_ORIGIN_Y + E2E_GRID_Y))" \
        +repage -depth 8 rgb:- |
        od -An -v -tu1 -w$((3 * side)) |
        awk -v pitch=$E2E_PITCH '
            (NR - 1) % pitch == 16 && NR <= 8 * pitch {
                for (i = 0; i < 8; ++i) {
                    b = (16 + pitch * i) * 3
                    r = $(b + 1); g = $(b + 2); bl = $(b + 3)
                    out = out (out == "" ? "" : " ") (r == g && g == bl ? r : r "/" g "/" bl)
                }
            }
            END { print out }'
}

# The inverse transform as awk functions for the expected-value helpers:
# load_coeffs("U:V:F ...") once, then idct(x, y) is
#   S(x, y) = 1/4 * sum F(u, v) cos((2x+1)u*pi/16) cos((2y+1)v*pi/16).
# pi is taken as 3.1415927, the value the program's cosines are built with: it
# decides the last digit where a value is a whole number for the true pi
# (F(4, 4) = 512 gives 192 - 1.5e-6 there). inexact is 1 when a coefficient
# other than the DC one takes part; the DC coefficient alone is exact.
readonly E2E_AWK_IDCT='
    BEGIN { PI = 3.1415927 }
    function load_coeffs(text,    list, f, c) {
        ncoef = split(text, list, " ")
        inexact = 0
        for (c = 1; c <= ncoef; ++c) {
            split(list[c], f, ":")
            cu[c] = f[1]; cv[c] = f[2]; cf[c] = f[3]
            if (f[1] != 0 || f[2] != 0) inexact = 1
        }
    }
    function idct(x, y,    s, c) {
        s = 0
        for (c = 1; c <= ncoef; ++c)
            s += cf[c] * cos((2 * x + 1) * cu[c] * PI / 16) * cos((2 * y + 1) * cv[c] * PI / 16)
        return s / 4
    }
    function floor(x) { return (x == int(x) || x >= 0) ? int(x) : int(x) - 1 }
    function nearest(x) { return x >= 0 ? int(x + 0.5) : -int(-x + 0.5) }
    function grey(x) { x = floor(x); return x < 0 ? 0 : (x > 255 ? 255 : x) }'

# e2e_expected_idct "U:V:F ..." prints the 64 grey levels that the inverse
# transform of the listed coefficients should paint, in k order: S(x, y)
# rounded down and clamped to 0..255. A value involving a cosine other than
# cos(0) that still lies within 1e-9 of a whole number is refused as a test
# fault: no independent sum could tell which side the program lands on.
e2e_expected_idct() {
    awk -v coeffs="$1" "$E2E_AWK_IDCT"'
        BEGIN {
            load_coeffs(coeffs)
            for (k = 0; k < 64; ++k) {
                s = idct(k % 8, int(k / 8))
                if (inexact && (s - floor(s) < 1e-9 || floor(s) + 1 - s < 1e-9)) {
                    printf "ambiguous value %.6f at square %d\n", s, k > "/dev/stderr"
                    exit 2
                }
                out = out (k ? " " : "") grey(s)
            }
            print out
        }'
}

# e2e_idct_values "U:V:F ...": the 64 unrounded values S(x, y), one a line, in
# k order; for checking that a test's data reaches the cases it is meant to.
e2e_idct_values() {
    awk -v coeffs="$1" "$E2E_AWK_IDCT"'
        BEGIN { load_coeffs(coeffs); for (k = 0; k < 64; ++k) printf "%.6f\n", idct(k % 8, int(k / 8)) }'
}

# e2e_expected_block_file "U:V:F ..." prints the block file that "Save Block"
# should write after the listed whole-number coefficients were typed and
# transformed back: rows 0-7 of the space block truncated toward zero, the
# marker line, rows 0-7 of the coefficients, every line ended by CR LF. A space
# value within 1e-9 of a whole number other than 0 is refused as a test fault;
# near 0 both sides truncate to 0.
e2e_expected_block_file() {
    awk -v coeffs="$1" "$E2E_AWK_IDCT"'
        function whole(x,    t) { t = int(x); return t == 0 ? "0" : sprintf("%d", t) }
        BEGIN {
            load_coeffs(coeffs)
            for (y = 0; y < 8; ++y) {
                line = ""
                for (x = 0; x < 8; ++x) {
                    s = idct(x, y)
                    n = nearest(s)
                    if (inexact && n != 0 && s - n < 1e-9 && n - s < 1e-9) {
                        printf "ambiguous value %.12f at (%d, %d)\n", s, x, y > "/dev/stderr"
                        exit 2
                    }
                    line = line (x ? "," : "") whole(s)
                }
                printf "%s\r\n", line
            }
            printf "# Pixel brightness above, DCT Values below\r\n"
            for (c = 1; c <= ncoef; ++c) freq[cu[c], cv[c]] = cf[c]
            for (v = 0; v < 8; ++v) {
                line = ""
                for (u = 0; u < 8; ++u) line = line (u ? "," : "") whole(freq[u, v] + 0)
                printf "%s\r\n", line
            }
        }'
}

# e2e_expected_grey "VALUE ...": the grey levels of the listed pixel values
# (decimal texts, k order), rounded down and clamped to 0..255.
e2e_expected_grey() {
    awk -v values="$1" "$E2E_AWK_IDCT"'
        BEGIN {
            n = split(values, list, " ")
            for (k = 1; k <= n; ++k) out = out (k > 1 ? " " : "") grey(list[k] + 0)
            print out
        }'
}

# e2e_expected_pattern U V: what the pattern cycle shows for (u, v): the DC
# coefficient 512 plus F(u, v) = 512 (for (0, 0) the DC coefficient alone).
e2e_expected_pattern() {
    if [ "$1" -eq 0 ] && [ "$2" -eq 0 ]; then
        e2e_expected_idct "0:0:512"
    else
        e2e_expected_idct "0:0:512 $1:$2:512"
    fi
}

# e2e_wait_until SECONDS DESCRIPTION COMMAND...: polls COMMAND until it
# succeeds; fails the test at the deadline.
e2e_wait_until() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$(($(e2e_now_ms) + seconds * 1000))
    until "$@"; do
        if (($(e2e_now_ms) > deadline)); then
            e2e_fail "timed out after ${seconds} s waiting for: $what"
        fi
        sleep 0.05
    done
}

# e2e_squares_equal EXPECTED: true when the screen shows exactly EXPECTED.
e2e_squares_equal() { [ "$(e2e_squares)" = "$1" ]; }

# e2e_wait_stable QUIET_MS TIMEOUT_S: waits until the squares have not changed
# for QUIET_MS milliseconds and prints what they show.
e2e_wait_stable() {
    local quiet=$1 deadline=$(($(e2e_now_ms) + $2 * 1000))
    local last since now current
    last=$(e2e_squares)
    since=$(e2e_now_ms)
    while :; do
        sleep 0.05
        current=$(e2e_squares)
        now=$(e2e_now_ms)
        if [ "$current" != "$last" ]; then
            last=$current
            since=$now
        elif ((now - since >= quiet)); then
            printf '%s\n' "$current"
            return 0
        fi
        ((now <= deadline)) || e2e_fail "the squares still change after $2 s"
    done
}

# e2e_wait_change BEFORE SECONDS: waits until the squares no longer show BEFORE.
e2e_wait_change() {
    e2e_wait_until "$2" "the squares to change" e2e_squares_differ "$1"
}
e2e_squares_differ() { [ "$(e2e_squares)" != "$1" ]; }

# e2e_pixel X Y: the colour at client coordinates as rrggbb.
e2e_pixel() {
    import -window root -crop "1x1+$((E2E_ORIGIN_X + $1))+$((E2E_ORIGIN_Y + $2))" +repage \
        -depth 8 rgb:- | od -An -v -tx1 | tr -d ' \n'
}

# e2e_expect_squares WHAT EXPECTED ACTUAL: compares and names every mismatch.
e2e_expect_squares() {
    local what=$1 expected=$2 actual=$3
    if [ "$expected" != "$actual" ]; then
        local -a e a
        read -r -a e <<<"$expected"
        read -r -a a <<<"$actual"
        local k
        for ((k = 0; k < 64; ++k)); do
            [ "${e[k]:-}" = "${a[k]:-}" ] ||
                e2e_log "square $k (column $((k % 8)), row $((k / 8))): expected ${e[k]:-?}, shown ${a[k]:-?}"
        done
        e2e_fail "$what: the squares differ from the expected grey levels"
    fi
    e2e_log "ok: $what"
}

# The 64 patterns of the cycle, one line each, in the cycle's order: line
# 8*v + u + 1 is pattern (v, u), i.e. F(u, v) = 512 over the DC coefficient.
e2e_all_patterns() {
    local u v
    for ((v = 0; v < 8; ++v)); do
        for ((u = 0; u < 8; ++u)); do
            e2e_expected_pattern "$u" "$v" || return 1
        done
    done
}

# e2e_pattern_index PATTERNS SQUARES: the step (8*v + u) of the cycle whose
# pattern the squares show, or -1.
e2e_pattern_index() {
    local line
    line=$(grep -n -x -F -- "$2" <<<"$1" | head -n 1 | cut -d: -f1)
    if [ -n "$line" ]; then echo $((line - 1)); else echo -1; fi
}

# e2e_wait_squares WHAT EXPECTED SECONDS: waits until the squares show
# EXPECTED and then stay so for a moment (a picture that is only passed through
# on the way to another does not count); names every mismatch at the deadline.
e2e_wait_squares() {
    local what=$1 expected=$2 deadline=$(($(e2e_now_ms) + $3 * 1000))
    local shown
    shown=$(e2e_squares)
    while [ "$shown" != "$expected" ]; do
        (($(e2e_now_ms) <= deadline)) || e2e_expect_squares "$what" "$expected" "$shown"
        sleep 0.05
        shown=$(e2e_squares)
    done
    e2e_expect_squares "$what" "$expected" "$(e2e_wait_stable 300 20)"
}

# e2e_find_window NAME: the id of a visible window named exactly NAME, or
# nothing. xdotool matches names as case-insensitive regular expressions.
e2e_find_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true
}

# e2e_wait_window NAME SECONDS: waits for a visible window named NAME and
# prints its id.
e2e_wait_window() {
    local deadline=$(($(e2e_now_ms) + $2 * 1000)) id
    id=$(e2e_find_window "$1")
    while [ -z "$id" ]; do
        (($(e2e_now_ms) <= deadline)) || e2e_fail "no window named '$1' within $2 s"
        sleep 0.05
        id=$(e2e_find_window "$1")
    done
    echo "$id"
}

# e2e_window_viewable ID: true while window ID exists and is mapped.
e2e_window_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
e2e_window_gone() { ! e2e_window_viewable "$1"; }

# e2e_file_dialog TITLE TAG [PATH]: in the file dialog titled TITLE, replaces
# the file name with PATH (without PATH, keeps the name the dialog proposes),
# presses Return and waits for the dialog to close. The typed dialog is saved
# as the screenshot TAG. Qt's own file dialog starts with the file name field
# focused.
e2e_file_dialog() {
    local title=$1 tag=$2 wid
    wid=$(e2e_wait_window "$title" 20)
    # No window manager hands the new window the keyboard.
    xdotool windowfocus --sync "$wid"
    if [ $# -ge 3 ]; then
        xdotool key --clearmodifiers ctrl+a
        xdotool type --delay 15 -- "$3"
    fi
    e2e_shot "$tag"
    xdotool key Return
    e2e_wait_until 20 "the '$title' dialog to close" e2e_window_gone "$wid"
}

# e2e_quit: clicks "QUIT" and expects the program to end with status 0. Under
# the sanitizers this is where leaks are reported, which fails the test.
e2e_quit() {
    e2e_move_to_quit
    xdotool click 1
    local deadline=$(($(e2e_now_ms) + 60000))
    while e2e_app_running; do
        (($(e2e_now_ms) <= deadline)) || e2e_fail "still running 60 s after QUIT"
        sleep 0.05
    done
    local status=0
    wait "$E2E_APP_PID" || status=$?
    E2E_APP_PID=""
    ((status == 0)) || e2e_fail "exit status $status after QUIT"
    e2e_log "ok: QUIT ended the program with status 0"
}

# e2e_watch_patterns PATTERNS: watches a running Build Mode cycle until two
# different patterns of PATTERNS (see e2e_all_patterns) have been on screen and
# prints their steps, in the order seen. Fails after 60 s.
e2e_watch_patterns() {
    local patterns=$1 index seen=() deadline=$(($(e2e_now_ms) + 60000))
    while :; do
        index=$(e2e_pattern_index "$patterns" "$(e2e_squares)")
        if ((index > 0)) && { ((${#seen[@]} == 0)) || ((index != seen[-1])); }; then
            seen+=("$index")
            ((${#seen[@]} < 2)) || break
        fi
        (($(e2e_now_ms) < deadline)) || e2e_fail "no two patterns within 60 s (seen: ${seen[*]:-none})"
    done
    echo "${seen[*]}"
}
