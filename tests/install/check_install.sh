#!/usr/bin/env bash
# The install tree and the Debian package: the program and its companions in
# one folder, a relative launcher symlink on the PATH, a valid desktop entry
# with its icons; the package holds exactly that tree. Then the program is
# started through the symlink and must find its read-me in the real program
# folder.
# Usage: check_install.sh BUILD_DIR ARTIFACT_ROOT VERSION
set -euo pipefail
unset DISPLAY
here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"
# shellcheck source=tests/install/lib.sh
source "$here/lib.sh"
build=$(cd "$1" && pwd -P)
version=$3
E2E_NAME=install
E2E_ART=$2/install
rm -rf "$E2E_ART"
mkdir -p "$E2E_ART"

work=$(mktemp -d "$build/install-check.XXXXXX")
E2E_WORK=$work
trap e2e_cleanup EXIT

root=$(inst_install "$build" "$work/root") || e2e_fail "cmake --install failed"
program_dir=$root/usr/lib/quadrel

# The program folder: the executable and both companions, unchanged.
[ -x "$program_dir/quadrel" ] && [ -f "$program_dir/quadrel" ] ||
    e2e_fail "no executable at usr/lib/quadrel/quadrel"
for companion in readme.rtf box.ico; do
    cmp -s "$here/../../resources/$companion" "$program_dir/$companion" ||
        e2e_fail "usr/lib/quadrel/$companion is missing or differs from resources/$companion"
done
e2e_log "ok: program folder usr/lib/quadrel holds quadrel, readme.rtf, box.ico"

# The launcher: a relative symlink, so it stays right wherever the tree lands.
launcher=$root/usr/bin/quadrel
[ -L "$launcher" ] || e2e_fail "usr/bin/quadrel is not a symlink"
target=$(readlink "$launcher")
[ "${target#/}" = "$target" ] || e2e_fail "usr/bin/quadrel points to the absolute path $target"
[ "$(realpath -e "$launcher")" = "$program_dir/quadrel" ] ||
    e2e_fail "usr/bin/quadrel -> $target does not lead to usr/lib/quadrel/quadrel"
e2e_log "ok: usr/bin/quadrel -> $target"

# The desktop entry: valid, starting the launcher by name, with an icon that
# the hicolor theme provides in every size it lists.
desktop=$root/usr/share/applications/quadrel.desktop
[ -f "$desktop" ] || e2e_fail "no usr/share/applications/quadrel.desktop"
if command -v desktop-file-validate >/dev/null 2>&1; then
    report=$(desktop-file-validate "$desktop" 2>&1) || e2e_fail "desktop-file-validate: $report"
    if grep -E ': (error|warning):' <<<"$report" >&2; then
        e2e_fail "desktop-file-validate found faults in quadrel.desktop"
    fi
    e2e_log "ok: desktop-file-validate${report:+ (hints: $report)}"
else
    e2e_log "desktop-file-validate is not installed (package desktop-file-utils); checking keys only"
fi
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Type)" = Application ] || e2e_fail "the desktop entry is not of Type=Application"
exec_line=$(entry Exec)
exec_program=${exec_line%% *}
[ -e "$root/usr/bin/$exec_program" ] || e2e_fail "Exec=$exec_line names no program in usr/bin"
icon=$(entry Icon)
[ -n "$icon" ] || e2e_fail "the desktop entry has no Icon"
sizes=0
for dir in "$root"/usr/share/icons/hicolor/*/apps; do
    size=$(basename "$(dirname "$dir")")
    [ -f "$dir/$icon.png" ] || e2e_fail "no $icon.png in hicolor/$size/apps"
    shown=$(identify -format '%m %wx%h' "$dir/$icon.png")
    [ "$shown" = "PNG $size" ] || e2e_fail "hicolor/$size/apps/$icon.png is $shown"
    sizes=$((sizes + 1))
done
((sizes > 0)) || e2e_fail "no hicolor icons installed"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] ||
    e2e_fail "no 48x48 icon, the size menus look for first"
e2e_log "ok: desktop entry Exec=$exec_line Icon=$icon in $sizes hicolor sizes"

# Nothing else is installed.
extra=$(cd "$root" && find . ! -type d | sort |
    grep -v -x -F -e ./usr/bin/quadrel -e ./usr/lib/quadrel/quadrel \
        -e ./usr/lib/quadrel/readme.rtf -e ./usr/lib/quadrel/box.ico \
        -e ./usr/share/applications/quadrel.desktop |
    grep -v -x -E '\./usr/share/icons/hicolor/[0-9]+x[0-9]+/apps/quadrel\.png') || true
[ -z "$extra" ] || e2e_fail "unexpected files installed: $extra"

# The Debian package: its name, its fields, and the same tree, owned by root.
if command -v cpack >/dev/null 2>&1 && command -v dpkg-deb >/dev/null 2>&1; then
    arch=$(dpkg --print-architecture)
    deb=$work/packages/quadrel_${version}_$arch.deb
    (cd "$build" && cpack -G DEB -B "$work/packages" >"$work/cpack.log" 2>&1) || {
        cat "$work/cpack.log" >&2
        e2e_fail "cpack -G DEB failed"
    }
    [ -f "$deb" ] || e2e_fail "cpack made no $(basename "$deb"): $(ls "$work/packages")"
    field() { dpkg-deb --field "$deb" "$1"; }
    [ "$(field Package)" = quadrel ] && [ "$(field Version)" = "$version" ] &&
        [ "$(field Architecture)" = "$arch" ] || e2e_fail "package fields: $(dpkg-deb --info "$deb")"
    depends=$(field Depends)
    for needed in libqt6widgets6 libqt6gui6 libqt6svg6 fonts-liberation; do
        grep -q "\b$needed\b" <<<"$depends" || e2e_fail "Depends lacks $needed: $depends"
    done
    dpkg-deb --contents "$deb" >"$work/package-contents.txt"
    if awk '$2 != "root/root"' "$work/package-contents.txt" | grep .; then
        e2e_fail "package entries not owned by root"
    fi
    listing() { find . -mindepth 1 -printf '%y %p %l\n' | sed 's/ $//' | sort; }
    mkdir "$work/unpacked"
    dpkg-deb -x "$deb" "$work/unpacked"
    if ! diff <(cd "$root" && listing) <(cd "$work/unpacked" && listing) >"$work/tree.diff"; then
        cat "$work/tree.diff" >&2
        e2e_fail "the package tree differs from the install tree (< install, > package)"
    fi
    for file in usr/lib/quadrel/readme.rtf usr/lib/quadrel/box.ico \
        usr/share/applications/quadrel.desktop; do
        cmp -s "$root/$file" "$work/unpacked/$file" || e2e_fail "$file differs in the package"
    done
    file -b "$work/unpacked/usr/lib/quadrel/quadrel" | grep -q '^ELF .*executable' ||
        e2e_fail "the packaged program is no executable: $(file -b "$work/unpacked/usr/lib/quadrel/quadrel")"
    e2e_log "ok: $(basename "$deb") ($(stat -c %s "$deb") bytes) holds the install tree; Depends: $depends"
else
    e2e_log "cpack or dpkg-deb missing: package not checked"
fi

# Started through the launcher symlink, the program finds its read-me in the
# real program folder and hands that path to the desktop's opener.
opened=$work/opened
inst_fake_opener "$work/bin" "$opened"
export PATH="$work/bin:$PATH"
e2e_setup install "$launcher" "$2"
if [ -f "$work/package-contents.txt" ]; then cp "$work/package-contents.txt" "$E2E_ART/"; fi
e2e_start_app
e2e_wait_stable 300 20 >/dev/null
inst_read_me_click
e2e_wait_until 20 "the read-me to be handed to xdg-open (a message box may say why not)" test -f "$opened"
e2e_shot read-me
[ "$(cat "$opened")" = "$program_dir/readme.rtf" ] ||
    e2e_fail "Read Me opened '$(cat "$opened")', not $program_dir/readme.rtf"
e2e_log "ok: Read Me through the symlink opens usr/lib/quadrel/readme.rtf"
