# shellcheck shell=bash
# Helpers for the tests that run the installed program rather than the one in
# the build folder: an install into a private root, and a stand-in for the
# desktop's document opener. Sourced after tests/e2e/lib.sh.

# inst_install BUILD_DIR ROOT: installs the build under the prefix /usr into ROOT
# (as a package would lay it out) and prints the canonical ROOT.
inst_install() {
    local build=$1 root=$2
    mkdir -p "$root"
    root=$(cd "$root" && pwd -P)
    if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$root.install.log" 2>&1; then
        cat "$root.install.log" >&2
        return 1
    fi
    rm -f "$root.install.log"
    printf '%s\n' "$root"
}

# inst_read_me_shows_help SHOT: "Read Me" opens the help window, whose page is
# built into the program; SHOT names its screenshot. Escape closes it again.
inst_read_me_shows_help() {
    local help
    e2e_click_read_me
    e2e_wait_window "$E2E_TITLE Read Me" 20
    help=$E2E_WINDOW
    xdotool windowfocus --sync "$help"
    e2e_shot "$1"
    xdotool key Escape
    e2e_wait_until 20 "Escape to close the help window" e2e_window_gone "$help"
}
