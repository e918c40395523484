#!/usr/bin/env bash
# Installs what building and running need, builds, and starts Quadrel.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
quadrel_ensure_build_packages || exit 1
quadrel_build "$QUADREL_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DQUADREL_BENCH=OFF || exit 1
program=$QUADREL_ROOT/build/bin/quadrel

if [ "$(id -u)" -eq 0 ] && [ "$(stat -c %u "$QUADREL_ROOT")" -ne 0 ]; then
    echo "Built in $QUADREL_ROOT/build as $(quadrel_owner). Quadrel is not started as root:"
    echo "run ./run.sh again as $(quadrel_owner), without sudo."
    exit 0
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    if command -v xvfb-run >/dev/null 2>&1; then
        echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): starting Quadrel" \
            "unseen in a virtual X server (xvfb-run). Stop it with Ctrl+C." >&2
        exec xvfb-run -a -s "-screen 0 1280x800x24" "$program"
    fi
    cat >&2 <<MESSAGE
No display found (DISPLAY and WAYLAND_DISPLAY are unset), so Quadrel cannot open
its window. Start ./run.sh from a terminal of your desktop session, or log in
with X forwarding (ssh -X). Quadrel is built: $program
MESSAGE
    exit 1
fi
exec "$program"
