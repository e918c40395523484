#!/usr/bin/env bash
# shellcheck disable=SC2016 # the stand-ins' code is expanded when they run
# The set-up shared by run.sh and test.sh (scripts/common.sh), with the system
# commands it calls replaced by stand-ins on a private PATH: who installs the
# missing packages (root directly, sudo where it works, otherwise nobody, with
# the exact apt-get line printed) and a build folder that its user can write.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quadrel-setup.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Stand-ins: id -u prints $FAKE_UID; dpkg-query knows only $FAKE_INSTALLED;
# apt-get and runuser record their arguments in $work/calls and apt-get exits
# with $FAKE_APT_STATUS; sudo, when present, runs its command or refuses.
bin=$work/bin
mkdir -p "$bin"
for tool in bash dirname grep stat find env cat head chown mkdir nproc; do ln -s "$(command -v "$tool")" "$bin/$tool"; done
stub() {
    printf '#!%s\n%s\n' "$(command -v bash)" "$2" >"$bin/$1"
    chmod +x "$bin/$1"
}
stub id 'echo "$FAKE_UID"'
stub dpkg-query 'for p in $FAKE_INSTALLED; do [ "$p" != "${!#}" ] || { echo "install ok installed"; exit 0; }; done; exit 1'
stub apt-get 'echo "apt-get $*" >>"$CALLS"; exit "${FAKE_APT_STATUS:-0}"'
stub runuser 'echo "runuser $*" >>"$CALLS"'
sudo_stub='[ "$FAKE_SUDO" = works ] || { echo "sudo: a password is required" >&2; exit 1; }; [ "$1" != -n ] || shift; "$@"'

# setup_case UID INSTALLED SUDO(absent|works|refuses) APT_STATUS
setup_case() {
    export FAKE_UID=$1 FAKE_INSTALLED=$2 FAKE_SUDO=$3 FAKE_APT_STATUS=$4 CALLS=$work/calls
    rm -f "$CALLS" "$bin/sudo"
    [ "$3" = absent ] || stub sudo "$sudo_stub"
    : >"$CALLS"
}

# in_setup CODE: runs CODE after common.sh with the stand-ins, with no terminal.
in_setup() {
    PATH=$bin bash -c "source '$here/../../scripts/common.sh'; $1" </dev/null >"$work/out" 2>&1
}

# Who installs the missing packages pkg-b and pkg-c, and what the user is told.
#        uid  sudo     apt  status  apt-get call expected             message expected
cases=(
    "1000 absent   0 1 -                                             apt-get install --no-install-recommends pkg-b pkg-c"
    "1000 refuses  0 1 -                                             apt-get install --no-install-recommends pkg-b pkg-c"
    "1000 works    0 0 apt-get_install_-y_--no-install-recommends_pkg-b_pkg-c Installing missing packages: pkg-b pkg-c"
    "0    absent   0 0 apt-get_install_-y_--no-install-recommends_pkg-b_pkg-c Installing missing packages: pkg-b pkg-c"
    "0    absent 100 1 apt-get_update_-qq                            Install them as root"
)
for line in "${cases[@]}"; do
    read -r uid sudo apt want_status want_call want_text <<<"$line"
    setup_case "$uid" pkg-a "$sudo" "$apt"
    status=0
    in_setup 'quadrel_ensure_packages pkg-a pkg-b pkg-c' || status=$?
    name="uid $uid, sudo $sudo, apt-get status $apt"
    [ "$status" = "$want_status" ] || fail "$name: status $status, expected $want_status"
    if [ "$want_call" = - ]; then
        [ ! -s "$CALLS" ] || fail "$name: apt-get ran: $(cat "$CALLS")"
    else
        grep -q -x -F -- "${want_call//_/ } -qq" "$CALLS" || grep -q -x -F -- "${want_call//_/ }" "$CALLS" ||
            fail "$name: no call '${want_call//_/ }' in: $(cat "$CALLS")"
    fi
    grep -q -F -- "$want_text" "$work/out" || fail "$name: no '$want_text' in: $(cat "$work/out")"
done

# Nothing missing: nothing is installed, nothing said.
setup_case 1000 "pkg-a pkg-b" absent 0
in_setup 'quadrel_ensure_packages pkg-a pkg-b' || fail "all installed: status $?"
if [ -s "$CALLS" ] || [ -s "$work/out" ]; then fail "all installed: $(cat "$CALLS" "$work/out")"; fi

# A build folder with a file of another user (an earlier run as root) is
# refused with a way out, before anything is configured in it.
clone=$work/clone
mkdir -p "$clone/build/CMakeFiles"
setup_case 4242 "" absent 0
status=0
in_setup "quadrel_check_build_dir '$clone/build'" || status=$?
if ((status != 1)) || ! grep -q -F "rm -rf '$clone/build'" "$work/out"; then
    fail "foreign build folder: status $status, $(cat "$work/out")"
fi

# Run by root in someone else's clone: the build is made as the clone's owner,
# and what an earlier root run left in the build folder is handed back.
if [ "$(command id -u)" -eq 0 ]; then
    chown -R nobody: "$clone"
    chown root: "$clone/build/CMakeFiles"
    setup_case 0 "" absent 0
    in_setup "QUADREL_ROOT='$clone'; quadrel_check_build_dir '$clone/build' && quadrel_as_owner cmake --version" ||
        fail "root in a clone of nobody: status $?: $(cat "$work/out")"
    [ "$(command stat -c %U "$clone/build/CMakeFiles")" = nobody ] ||
        fail "root in a clone of nobody: build/CMakeFiles still belongs to $(command stat -c %U "$clone/build/CMakeFiles")"
    grep -q -x -F 'runuser -u nobody -- cmake --version' "$CALLS" ||
        fail "root in a clone of nobody: the build did not run as nobody: $(cat "$CALLS")"
else
    echo "not root: the root-in-a-user's-clone case is left out"
fi

((failures == 0)) || exit 1
echo "set-up: all cases passed"
