# shellcheck shell=bash
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
# The main window's title carries the version of project() in CMakeLists.txt,
# which CTest hands over as QUADREL_VERSION.
readonly E2E_TITLE="Quadrel v${QUADREL_VERSION:?QUADREL_VERSION must hold the version of project() in CMakeLists.txt}"
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
    # -noreset: a server reset when the last client leaves would refuse the
    # program connecting just then. E2E_SCREEN: a larger screen for captures.
    Xvfb -displayfd 3 -noreset -screen 0 "${E2E_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$fifo" \
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
# shellcheck disable=SC2120 # most tests pass no arguments
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
    e2e_wait_window "$E2E_TITLE" 30
    E2E_WID=$E2E_WINDOW
    e2e_window_geometry "$E2E_WID"
    read -r E2E_ORIGIN_X E2E_ORIGIN_Y E2E_CLIENT_W E2E_WINDOW_H <<<"$E2E_GEOMETRY"
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

# Click points (a few pixels inside each control): the one table of the main
# window's controls for every script.
e2e_click_cell() { e2e_click $((24 + 32 * ($1 % 8) + 16)) $((24 + 32 * ($1 / 8) + 16)); }
e2e_click_cycle() { e2e_click $((24 + 36)) $((368 + 16)); }
e2e_click_stop() { e2e_click $((24 + 36)) $((408 + 16)); }
e2e_click_idct() { e2e_click $((232 + 36)) $((368 + 16)); }
e2e_click_dct() { e2e_click $((232 + 36)) $((408 + 16)); }
e2e_move_to_quit() { e2e_move $((504 + 36)) $((408 + 16)); }
e2e_click_view_single() { e2e_click $((24 + 36)) $((328 + 16)); }
e2e_click_load_block() { e2e_click $((128 + 36)) $((328 + 16)); }
e2e_click_save_block() { e2e_click $((128 + 36)) $((368 + 16)); }
e2e_click_view_bitmap() { e2e_click $((128 + 36)) $((408 + 16)); }
e2e_click_quantise() { e2e_click $((232 + 28)) $((328 + 16)); }
e2e_click_plus() { e2e_click $((288 + 8)) $((328 + 8)); }
e2e_click_minus() { e2e_click $((288 + 8)) $((344 + 8)); }
e2e_click_read_me() { e2e_click $((504 + 10)) $((328 + 10)); }
e2e_click_fast_mode() { e2e_click $((320 + 8)) $((368 + 8)); }
e2e_click_build_mode() { e2e_click $((320 + 8)) $((384 + 8)); }

# e2e_type_cell K TEXT: replaces the text of numeric cell K (no Enter).
e2e_type_cell() {
    e2e_click_cell "$1"
    xdotool windowfocus "$E2E_WID" 2>/dev/null || true
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 30 -- "$2"
}

# e2e_enter_cell K TEXT: replaces the text of numeric cell K and presses Enter.
e2e_enter_cell() {
    e2e_type_cell "$1" "$2"
    xdotool key Return
}

# e2e_type_coefficients "U:V:F ...": types each F into the cell that holds
# F(U, V), cell U + 8 V (no Enter).
e2e_type_coefficients() {
    local item u v f
    for item in $1; do
        IFS=: read -r u v f <<<"$item"
        e2e_type_cell $((u + 8 * v)) "$f"
    done
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

# The transforms as awk functions for the expected-value helpers, worked out
# here independently of the program:
#   idct(list, S): S[k] = 1/4 sum F(u, v) cos((2x+1)u pi/16) cos((2y+1)v pi/16)
#     for the coefficients "U:V:F ..." (k = x + 8y); returns 1 when only the DC
#     term is set, which makes every value exact;
#   dct(S, F): F[u + 8v] = c(u) c(v) / 4 sum S(x, y) cos(...) cos(...), with
#     c(0) = 1/2 and c(k) = 1 otherwise.
# pi is taken as 3.1415927, the value the program's cosines are built with: it
# decides the last digit where a value is a whole number for the true pi
# (F(4, 4) = 512 gives 192 - 1.5e-6 there).
#
# One ambiguity threshold: a value within 1e-9 of a whole number is refused as
# a test fault wherever that whole number decides the result (rounding down to
# a grey level inside 0..255, truncating a file value other than 0), since no
# independent sum can say on which side the program lands. The program and
# these sums differ only in the rounding of at most 64 double products and
# sums below 2^15 in size: less than 64 * 2^15 * 2^-53, about 2.3e-10, apart.
# So 1e-9 refuses every value the two could place differently, with a margin,
# and no test data that they both place the same way.
readonly E2E_AWK='
    BEGIN { PI = 3.1415927; NEAR = 1e-9 }
    function floor(x) { return (x == int(x) || x >= 0) ? int(x) : int(x) - 1 }
    function nearest(x) { return x >= 0 ? int(x + 0.5) : -int(-x + 0.5) }
    function clamp(g) { return g < 0 ? 0 : (g > 255 ? 255 : g) }
    function near_whole(x,    n) { n = nearest(x); return x != n && x - n < NEAR && n - x < NEAR }
    function refuse(what, x) { printf "test data fault: ambiguous %s %.12f\n", what, x > "/dev/stderr"; exit 2 }
    # whole(x): x truncated toward zero, as the block file writes it ("0", never "-0").
    function whole(x,    t) { t = int(x); return t == 0 ? "0" : sprintf("%d", t) }
    function idct(list, S,    n, items, c, f, k, x, y, s, exact) {
        n = split(list, items, " ")
        exact = 1
        for (c = 1; c <= n; ++c) { split(items[c], f, ":"); cu[c] = f[1]; cv[c] = f[2]; cf[c] = f[3]
            if (f[1] != 0 || f[2] != 0) exact = 0 }
        for (k = 0; k < 64; ++k) {
            x = k % 8; y = int(k / 8); s = 0
            for (c = 1; c <= n; ++c)
                s += cf[c] * cos((2 * x + 1) * cu[c] * PI / 16) * cos((2 * y + 1) * cv[c] * PI / 16)
            S[k] = s / 4
        }
        return exact
    }
    function dct(S, F,    k, u, v, j, x, y, s) {
        for (k = 0; k < 64; ++k) {
            u = k % 8; v = int(k / 8); s = 0
            for (j = 0; j < 64; ++j) {
                x = j % 8; y = int(j / 8)
                s += S[j] * cos((2 * x + 1) * u * PI / 16) * cos((2 * y + 1) * v * PI / 16)
            }
            F[k] = s * (u ? 1 : 0.5) * (v ? 1 : 0.5) / 4
        }
    }
    # coefficients(list, F): the block of the coefficients "U:V:F ...".
    function coefficients(list, F,    n, items, c, f, k) {
        for (k = 0; k < 64; ++k) F[k] = 0
        n = split(list, items, " ")
        for (c = 1; c <= n; ++c) { split(items[c], f, ":"); F[f[1] + 8 * f[2]] = f[3] }
    }
    # squares(S, exact): the grey levels of the 64 values, rounded down and clamped.
    function squares(S, exact,    k, out) {
        for (k = 0; k < 64; ++k) {
            if (!exact && near_whole(S[k]) && S[k] > 0.5 && S[k] < 255.5) refuse("pixel at square " k, S[k])
            out = out (k ? " " : "") clamp(floor(S[k]))
        }
        return out
    }
    # file_rows(V, exact): the eight rows of a block file half, truncated toward
    # zero, each ended by CR LF; only a value beside a whole number other than 0
    # is in doubt (near 0 both sides truncate to 0).
    function file_rows(V, exact,    r, i, v, out) {
        for (r = 0; r < 8; ++r) {
            for (i = 0; i < 8; ++i) {
                v = V[8 * r + i]
                if (!exact && near_whole(v) && (v > 0.5 || v < -0.5)) refuse("file value at (" i ", " r ")", v)
                out = out (i ? "," : "") whole(v)
            }
            out = out "\r\n"
        }
        return out
    }
    function marker_line() { return "# Pixel brightness above, DCT Values below\r\n" }'

# e2e_expected_idct "U:V:F ..." prints the 64 grey levels that the inverse
# transform of the listed coefficients should paint, in k order: S(x, y)
# rounded down and clamped to 0..255.
e2e_expected_idct() {
    awk -v list="$1" "$E2E_AWK"'BEGIN { exact = idct(list, S); print squares(S, exact) }'
}

# e2e_idct_values "U:V:F ...": the 64 unrounded values S(x, y), one a line, in
# k order; for checking that a test's data reaches the cases it is meant to.
e2e_idct_values() {
    awk -v list="$1" "$E2E_AWK"'BEGIN { idct(list, S); for (k = 0; k < 64; ++k) printf "%.6f\n", S[k] }'
}

# e2e_expected_block_file "U:V:F ..." prints the block file that "Save Block"
# should write after the listed whole-number coefficients were typed and
# transformed back: the space block, the marker line, the coefficients.
e2e_expected_block_file() {
    awk -v list="$1" "$E2E_AWK"'BEGIN {
        exact = idct(list, S)
        coefficients(list, F)
        printf "%s%s%s", file_rows(S, exact), marker_line(), file_rows(F, 1)
    }'
}

# e2e_expected_dct_file "S0 ... S63" prints the block file of a whole-number
# space block followed by its forward transform. Its DC term (the sum divided
# by 16) is exact, so only the others can be in doubt.
e2e_expected_dct_file() {
    awk -v values="$1" "$E2E_AWK"'BEGIN {
        split(values, list, " ")
        for (k = 0; k < 64; ++k) S[k] = list[k + 1]
        dct(S, F)
        printf "%s%s%s", file_rows(S, 1), marker_line(), file_rows(F, 0)
    }'
}

# e2e_expected_grey "VALUE ...": the grey levels of the listed pixel values
# (decimal texts, k order), rounded down and clamped to 0..255.
e2e_expected_grey() {
    awk -v values="$1" "$E2E_AWK"'BEGIN {
        n = split(values, list, " ")
        for (k = 1; k <= n; ++k) out = out (k > 1 ? " " : "") clamp(floor(list[k] + 0))
        print out
    }'
}

# e2e_quantise "U:V:F ..." Q: the coefficients after quantising with step Q:
# the DC term rounded to the nearest multiple, the others truncated toward
# zero; coefficients that become 0 are left out.
e2e_quantise() {
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

# e2e_expected_luma PICTURE X Y: the grey levels the squares show for the block
# of PICTURE whose top-left pixel is (X, Y), in square order:
# L = (0.59 G + 0.11 B) + 0.3 R, truncated. Points beyond the viewer's 537x401
# picture area read as white.
e2e_expected_luma() {
    convert "$1" -crop "8x8+$2+$3" +repage -depth 8 txt:- |
        awk -F'[(),: ]+' -v x0="$2" -v y0="$3" '
            NR > 1 { grey[$1 + 8 * $2] = int((0.59 * $4 + 0.11 * $5) + 0.3 * $3) }
            END {
                for (k = 0; k < 64; ++k) {
                    x = x0 + k % 8; y = y0 + int(k / 8)
                    out = out (k ? " " : "") ((x > 536 || y > 400) ? 255 : grey[k])
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
# for QUIET_MS milliseconds and puts what they show into E2E_SHOWN. It runs in
# the test's own shell, never inside $(...), so that a timeout ends the test
# right here.
E2E_SHOWN=""
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
            E2E_SHOWN=$current
            return 0
        fi
        ((now <= deadline)) || e2e_fail "the squares still change after $2 s"
    done
}

# e2e_expect_stable WHAT EXPECTED QUIET_MS TIMEOUT_S: waits for the squares to
# settle (see e2e_wait_stable), then compares them with EXPECTED.
e2e_expect_stable() {
    e2e_wait_stable "$3" "$4"
    e2e_expect_squares "$1" "$2" "$E2E_SHOWN"
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
    e2e_check_expected "$what" "$expected"
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

# e2e_check_expected WHAT EXPECTED: fails unless EXPECTED holds 64 grey levels;
# an expected-value helper that failed inside "$(...)" leaves it empty.
e2e_check_expected() {
    local -a levels
    read -r -a levels <<<"$2"
    ((${#levels[@]} == 64)) || e2e_fail "$1: no expected picture of 64 squares ('$2'): see the message above"
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
    e2e_check_expected "$what" "$expected"
    shown=$(e2e_squares)
    while [ "$shown" != "$expected" ]; do
        (($(e2e_now_ms) <= deadline)) || e2e_expect_squares "$what" "$expected" "$shown"
        sleep 0.05
        shown=$(e2e_squares)
    done
    e2e_expect_stable "$what" "$expected" 300 20
}

# The one window finder. xdotool matches names as case-insensitive regular
# expressions, so dots are escaped. A window that vanishes while xdotool or
# xwininfo asks about it (an X BadWindow error) counts as not found and the
# wait polls again, so a dialog closing or a popup passing never fails a run.

# e2e_find_window NAME: the id of a mapped window named exactly NAME, or nothing.
e2e_find_window() {
    xdotool search --onlyvisible --name "^${1//./\\.}\$" 2>/dev/null | head -n 1 || true
}

# e2e_wait_window NAME SECONDS: waits until a window named NAME is mapped and
# puts its id into E2E_WINDOW.
E2E_WINDOW=""
e2e_wait_window() {
    local deadline=$(($(e2e_now_ms) + $2 * 1000))
    E2E_WINDOW=$(e2e_find_window "$1")
    while [ -z "$E2E_WINDOW" ]; do
        (($(e2e_now_ms) <= deadline)) || e2e_fail "no window named '$1' within $2 s"
        sleep 0.05
        E2E_WINDOW=$(e2e_find_window "$1")
    done
}

# e2e_window_geometry ID: puts "X Y WIDTH HEIGHT" of the window's client area
# on the screen into E2E_GEOMETRY; fails the test when the window is gone.
E2E_GEOMETRY=""
e2e_window_geometry() {
    local info
    info=$(xwininfo -id "$1" 2>/dev/null) || e2e_fail "window $1 is gone"
    E2E_GEOMETRY=$(awk '/Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
        /^  Width:/ { w = $NF } /^  Height:/ { h = $NF } END { print x, y, w, h }' <<<"$info")
}

# e2e_place_window ID X Y: moves the window's client area to screen position
# (X, Y) (no window manager runs, so nothing else places it), waits until it is
# mapped there, and leaves its geometry in E2E_GEOMETRY.
e2e_place_window() {
    xdotool windowmove --sync "$1" "$2" "$3" 2>/dev/null || true
    e2e_wait_until 20 "window $1 to be shown at $2,$3" e2e_window_at "$@"
}
e2e_window_at() {
    e2e_window_viewable "$1" || return 1
    e2e_window_geometry "$1"
    [[ $E2E_GEOMETRY == "$2 $3 "* ]]
}

# e2e_shot_window ID FILE: the window's client area as it is on the screen. It
# is cut from the root window, so no request names a window that may be gone.
e2e_shot_window() {
    e2e_window_geometry "$1"
    local x y w h
    read -r x y w h <<<"$E2E_GEOMETRY"
    import -window root -crop "${w}x$h+$x+$y" +repage "$2"
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
    e2e_wait_window "$title" 20
    wid=$E2E_WINDOW
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
    local start
    start=$(e2e_now_ms)
    while e2e_app_running; do
        (($(e2e_now_ms) - start <= 60000)) || e2e_fail "still running 60 s after QUIT"
        sleep 0.02
    done
    local status=0
    wait "$E2E_APP_PID" || status=$?
    E2E_APP_PID=""
    ((status == 0)) || e2e_fail "exit status $status after QUIT"
    e2e_log "ok: QUIT ended the program with status 0 within $(($(e2e_now_ms) - start)) ms"
}

# e2e_watch_patterns PATTERNS: watches a running Build Mode cycle until two
# different patterns of PATTERNS (see e2e_all_patterns) have been on screen and
# puts their steps, in the order seen, into the array E2E_SEEN. Fails after 60 s.
# shellcheck disable=SC2034 # read by the scripts that call e2e_watch_patterns
E2E_SEEN=()
e2e_watch_patterns() {
    local patterns=$1 index deadline=$(($(e2e_now_ms) + 60000))
    local -a seen=()
    while :; do
        index=$(e2e_pattern_index "$patterns" "$(e2e_squares)")
        if ((index > 0)) && { ((${#seen[@]} == 0)) || ((index != seen[-1])); }; then
            seen+=("$index")
            ((${#seen[@]} < 2)) || break
        fi
        (($(e2e_now_ms) < deadline)) || e2e_fail "no two patterns within 60 s (seen: ${seen[*]:-none})"
    done
    # shellcheck disable=SC2034 # read by the scripts that call e2e_watch_patterns
    E2E_SEEN=("${seen[@]}")
}
