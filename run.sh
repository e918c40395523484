#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quadrel.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
quadrel_ensure_packages
quadrel_build "$QUADREL_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found; starting Quadrel in a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$QUADREL_ROOT/build/bin/quadrel"
fi
exec "$QUADREL_ROOT/build/bin/quadrel"
