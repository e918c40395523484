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

# inst_fake_opener DIR RECORD: puts an xdg-open into DIR that records the
# arguments it was given in RECORD (one a line) instead of opening anything.
# The record appears whole or not at all, so a poll never reads half of it.
inst_fake_opener() {
    local dir=$1 record=$2
    mkdir -p "$dir"
    cat >"$dir/xdg-open" <<SCRIPT
#!/bin/sh
printf '%s\n' "\$@" >"$record.part" && mv "$record.part" "$record"
SCRIPT
    chmod +x "$dir/xdg-open"
}
