# Shared by run.sh and test.sh: install what is missing, configure, build.
# Sourced, not run.

QUADREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUADREL_PACKAGES=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libbenchmark-dev
    fonts-liberation fonts-dejavu-core
    xvfb xauth xdotool x11-utils imagemagick
    dpkg-dev file desktop-file-utils ccache libjpeg-dev
)

# ccache makes rebuilds in other checkouts of the same tree cheap; paths are
# taken relative to the checkout so that its hashes match across folders.
export CCACHE_BASEDIR="$QUADREL_ROOT"
export CCACHE_NOHASHDIR=1

quadrel_ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${QUADREL_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if ((${#missing[@]})); then
        echo "Installing missing packages: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# quadrel_build DIR [cmake options...]: configure once, then build incrementally.
quadrel_build() {
    local dir=$1
    shift
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$QUADREL_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@"
    else
        cmake "$dir" "${launcher[@]}" "$@" >/dev/null
    fi
    cmake --build "$dir" -j "$(nproc)"
}
