#!/usr/bin/env bash
# The program started with a FIFO in place of its settings file: it must not
# wait in open() for a writer, but say so and go on with the defaults. Here it
# goes on to refuse an unknown pace, which it checks after reading the stored one.
set -euo pipefail
program=$1
config=$(mktemp -d "${TMPDIR:-/tmp}/quadrel-fifo.XXXXXX")
trap 'rm -rf "$config"' EXIT
mkdir "$config/Quadrel"
mkfifo "$config/Quadrel/Quadrel.conf"
status=0
XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=offscreen timeout 20 "$program" --pace warp \
    2>"$config/err" || status=$?
cat "$config/err"
if ((status == 124)); then
    echo "FAIL: still waiting after 20 s (blocked on the FIFO)" >&2
    exit 1
fi
if ((status != 2)) || ! grep -q 'is not an ordinary file' "$config/err" ||
    ! grep -q 'unknown pace "warp"' "$config/err"; then
    echo "FAIL: status $status, expected 2 with both messages" >&2
    exit 1
fi
[ -p "$config/Quadrel/Quadrel.conf" ] || { echo "FAIL: the FIFO was replaced" >&2; exit 1; }
echo "a FIFO for the settings file: defaults, said on stderr"
