# End-to-end helpers: a private X server, the real quadrel executable, clicks
# and key strokes through xdotool, and the grey squares read back from the
# screen. Sourced by the test scripts, which call e2e_setup first.
#
# Every wait polls a condition with a deadline; nothing relies on a fixed sleep
# being long enough.

# Exit status that CTest reads as "skipped" (SKIP_RETURN_CODE).
readonly E2E_SKIP=77

# Client-area layout in pixels: square k at (320 + 32*(k%8), 24 + 32*(k/8)), 33x33.
readonly E2E_GRID_X=320
readonly E2E_GRID_Y=24
readonly E2E_PITCH=32
readonly E2E_TITLE='Quadrel v3.0'

E2E_APP_PID=""
E2E_XVFB_PID=""
E2E_WID=""
E2E_ORIGIN_X=0
E2E_ORIGIN_Y=0

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

# Starts the program and waits for its main window to be mapped.
e2e_start_app() {
    # Under AddressSanitizer, strict_string_checks makes the strndup interceptor
    # measure its argument with strlen first. libxkbcommon-x11, which only the
    # xcb platform loads, passes strndup counted atom names that are not
    # NUL-terminated, so the interceptor itself reads past them and reports an
    # overflow at start-up. Every other sanitizer check, leaks included, stays on.
    local asan=${ASAN_OPTIONS:-}
    asan=${asan//strict_string_checks=1/strict_string_checks=0}
    mkdir -m 700 "$E2E_ART/runtime"
    ASAN_OPTIONS=$asan XDG_RUNTIME_DIR=$E2E_ART/runtime QT_QPA_PLATFORM=xcb \
        "$E2E_EXE" >"$E2E_ART/app.log" 2>&1 &
    E2E_APP_PID=$!
    E2E_WID=$(timeout 30 xdotool search --sync --onlyvisible --name "^${E2E_TITLE//./\\.}\$" |
        head -n 1) || true
    [ -n "$E2E_WID" ] || e2e_fail "no visible window titled '$E2E_TITLE' within 30 s"
    local info
    info=$(xwininfo -id "$E2E_WID")
    E2E_ORIGIN_X=$(awk '/Absolute upper-left X:/ {print $NF}' <<<"$info")
    E2E_ORIGIN_Y=$(awk '/Absolute upper-left Y:/ {print $NF}' <<<"$info")
    E2E_CLIENT_W=$(awk '/^  Width:/ {print $NF}' <<<"$info")
    E2E_CLIENT_H=$(awk '/^  Height:/ {print $NF}' <<<"$info")
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

# e2e_move X Y: the pointer to client coordinates. --sync waits for the pointer
# to move, which it never does when it is there already (a second click on the
# same button), so that case is left alone.
e2e_move() {
    local x=$((E2E_ORIGIN_X + $1)) y=$((E2E_ORIGIN_Y + $2))
    if [ "$(xdotool getmouselocation --shell | sed -n 's/^[XY]=//p' | tr '\n' ' ')" = "$x $y " ]; then
        return 0
    fi
    xdotool mousemove --sync "$x" "$y"
}

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
e2e_move_to_quit() { e2e_move $((504 + 36)) $((408 + 16)); }
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

# e2e_expected_idct "U:V:F ..." prints the 64 grey levels that the inverse
# transform of the listed coefficients should paint, in k order:
#   S(x, y) = 1/4 * sum F(u, v) cos((2x+1)u*pi/16) cos((2y+1)v*pi/16),
# rounded down and clamped to 0..255. pi is taken as 3.1415927, the value the
# program's cosines are built with: it decides the last digit where a value is
# a whole number for the true pi (F(4, 4) = 512 gives 192 - 1.5e-6 there).
# A value involving a cosine other than cos(0) that still lies within 1e-9 of a
# whole number is refused as a test fault: no independent sum could tell which
# side the program lands on. The DC coefficient alone is exact.
e2e_expected_idct() {
    awk -v coeffs="$1" '
        function floor(x) { return (x == int(x) || x >= 0) ? int(x) : int(x) - 1 }
        BEGIN {
            pi = 3.1415927
            n = split(coeffs, list, " ")
            for (k = 0; k < 64; ++k) {
                x = k % 8; y = int(k / 8); s = 0; inexact = 0
                for (c = 1; c <= n; ++c) {
                    split(list[c], f, ":")
                    s += f[3] * cos((2 * x + 1) * f[1] * pi / 16) * cos((2 * y + 1) * f[2] * pi / 16)
                    if (f[1] != 0 || f[2] != 0) inexact = 1
                }
                s /= 4
                if (inexact && (s - floor(s) < 1e-9 || floor(s) + 1 - s < 1e-9)) {
                    printf "ambiguous value %.6f at square %d\n", s, k > "/dev/stderr"
                    exit 2
                }
                g = floor(s)
                if (g < 0) g = 0
                if (g > 255) g = 255
                out = out (k ? " " : "") g
            }
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
