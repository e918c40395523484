# shellcheck shell=bash
# Shared by run.sh and test.sh: install what is missing, configure, build.
# Sourced, not run.

QUADREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building and running Quadrel need (run.sh).
QUADREL_BUILD_PACKAGES=(
    cmake ninja-build g++ ccache
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
    qt6-image-formats-plugins libjpeg-dev libexif-dev pkg-config zlib1g-dev
    fonts-liberation fonts-dejavu-core
)
# What the tests, the checks and the package add (test.sh); python3-skimage
# brings the photographs the picture tests code with cjpeg and with Quadrel;
# texlive-latex-base prints the LaTeX exercise sheets, poppler-utils reads
# the PDF ones back and rasterises a page for the screenshots.
QUADREL_TEST_PACKAGES=(
    clang libclang-rt-14-dev clang-format clang-tidy libbenchmark-dev
    xvfb xauth xdotool x11-utils imagemagick libjpeg-turbo-progs python3-skimage
    texlive-latex-base poppler-utils
    dpkg-dev file desktop-file-utils shellcheck lintian appstream
)

# ccache makes rebuilds in other checkouts of the same tree cheap; paths are
# taken relative to the checkout so that its hashes match across folders.
export CCACHE_BASEDIR="$QUADREL_ROOT"
export CCACHE_NOHASHDIR=1

quadrel_ensure_build_packages() { quadrel_ensure_packages "${QUADREL_BUILD_PACKAGES[@]}"; }
quadrel_ensure_test_packages() {
    quadrel_ensure_packages "${QUADREL_BUILD_PACKAGES[@]}" "${QUADREL_TEST_PACKAGES[@]}"
}

# quadrel_missing_packages PACKAGE...: prints those not installed, one a line.
quadrel_missing_packages() {
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            printf '%s\n' "$pkg"
    done
}

# quadrel_ensure_packages PACKAGE...: installs those missing, as root or through
# a working sudo. Otherwise says exactly what to install and how, and fails.
quadrel_ensure_packages() {
    local missing=()
    mapfile -t missing < <(quadrel_missing_packages "$@")
    ((${#missing[@]})) || return 0
    local install=(apt-get install -y --no-install-recommends "${missing[@]}")
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        # A password prompt is fine at a terminal; without one, sudo must not ask.
        if command -v sudo >/dev/null 2>&1 && { [ -t 0 ] || sudo -n true 2>/dev/null; }; then
            sudo=(sudo)
        else
            quadrel_explain_install "${missing[@]}"
            return 1
        fi
    fi
    echo "Installing missing packages: ${missing[*]}"
    if ! "${sudo[@]}" apt-get update -qq ||
        ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}" -qq; then
        quadrel_explain_install "${missing[@]}"
        return 1
    fi
}

quadrel_explain_install() {
    cat >&2 <<EOF
Quadrel needs these Debian packages, which are not installed:
    $*
Install them as root (for example after 'su -'), then run this script again:
    apt-get update && apt-get install --no-install-recommends $*
EOF
}

# quadrel_owner: the user who owns the checkout. Run by root (sudo ./run.sh) in
# someone else's clone, the build is made as that user, so that no folder is
# left that its owner cannot write.
quadrel_owner() { stat -c %U "$QUADREL_ROOT"; }

# quadrel_as_owner COMMAND...: runs COMMAND as the checkout's owner.
quadrel_as_owner() {
    if [ "$(id -u)" -eq 0 ] && [ "$(stat -c %u "$QUADREL_ROOT")" -ne 0 ]; then
        runuser -u "$(quadrel_owner)" -- "$@"
    else
        "$@"
    fi
}

# quadrel_check_build_dir DIR: makes sure the build can write all of DIR. Run
# by root in someone else's clone, files an earlier root run left there are
# handed back to the owner; anyone else is told how to remove them.
quadrel_check_build_dir() {
    local dir=$1 owner foreign
    [ -e "$dir" ] || return 0
    owner=$(stat -c %u "$QUADREL_ROOT")
    if [ "$(id -u)" -eq 0 ] && [ "$owner" -ne 0 ]; then
        chown -R "$owner:$(stat -c %g "$QUADREL_ROOT")" "$dir"
        return 0
    fi
    foreign=$(find "$dir" ! -user "$(id -u)" -print -quit 2>/dev/null)
    [ -n "$foreign" ] || return 0
    cat >&2 <<EOF
$dir holds files of another user ($(stat -c %U "$foreign"), e.g. $foreign),
probably left by an earlier run as root. Remove it as root, then run again:
    rm -rf '$dir'
EOF
    return 1
}

# quadrel_build DIR [cmake options...]: configure once, then build incrementally.
quadrel_build() {
    local dir=$1
    shift
    quadrel_check_build_dir "$dir" || return 1
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    if [ ! -f "$dir/build.ninja" ]; then
        quadrel_as_owner cmake -S "$QUADREL_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@"
    else
        quadrel_as_owner cmake "$dir" "${launcher[@]}" "$@" >/dev/null
    fi
    quadrel_as_owner cmake --build "$dir" -j "$(nproc)"
}
