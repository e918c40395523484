#!/usr/bin/env bash
# The install tree and the Debian package: the program and its companions in
# one folder, a relative launcher symlink on the PATH, a valid desktop entry
# with its icons, valid AppStream metadata, the copyright file, the changelog
# and the manual pages; the package holds exactly that tree and lintian finds
# nothing to report. Then the program is started through the symlink and must
# find its read-me in the real program folder.
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
if [ ! -f "$program_dir/quadrel" ] || [ ! -x "$program_dir/quadrel" ]; then
    e2e_fail "no executable at usr/lib/quadrel/quadrel"
fi
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

# quadrel-cli beside the program and linked onto the PATH.
cli_link=$root/usr/bin/quadrel-cli
if [ ! -L "$cli_link" ] || [ "$(realpath -e "$cli_link")" != "$program_dir/quadrel-cli" ]; then
    e2e_fail "usr/bin/quadrel-cli does not lead to usr/lib/quadrel/quadrel-cli"
fi
[ "$("$cli_link" --version)" = "quadrel-cli $version" ] || e2e_fail "quadrel-cli --version fails"
e2e_log "ok: usr/bin/quadrel-cli -> usr/lib/quadrel/quadrel-cli runs"

# AppStream metadata, as software centres read it.
metainfo=$root/usr/share/metainfo/io.github.quadrel.Quadrel.metainfo.xml
[ -f "$metainfo" ] || e2e_fail "no usr/share/metainfo/io.github.quadrel.Quadrel.metainfo.xml"
grep -q "<release version=\"$version\"" "$metainfo" || e2e_fail "the metainfo names no release $version"
if command -v appstreamcli >/dev/null 2>&1; then
    report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || {
        printf '%s\n' "$report" >&2
        e2e_fail "appstreamcli validate found faults in the metainfo"
    }
    e2e_log "ok: appstreamcli validate: $(tail -n 1 <<<"$report")"
else
    e2e_log "appstreamcli is not installed (package appstream): metainfo not validated"
fi

# Documentation: the copyright file, the changelog and a manual page for every
# program on the PATH, gzipped with no name or time stamp in them.
doc=$root/usr/share/doc/quadrel
grep -q '^License: GPL-3+' "$doc/copyright" || e2e_fail "usr/share/doc/quadrel/copyright names no GPL-3+"
zcat "$doc/changelog.gz" | head -n 1 | grep -q "^quadrel ($version) " ||
    e2e_fail "changelog.gz does not begin with version $version"
for program in "$root"/usr/bin/*; do
    page=$root/usr/share/man/man1/$(basename "$program").1.gz
    [ -f "$page" ] || e2e_fail "no manual page for $(basename "$program")"
    warnings=$(zcat "$page" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l - 2>&1 >/dev/null) ||
        e2e_fail "man cannot show $page"
    [ -z "$warnings" ] || e2e_fail "$(basename "$page"): $warnings"
done
e2e_log "ok: copyright, changelog.gz and a manual page for each program"

# Nothing else is installed.
extra=$(cd "$root" && find . ! -type d | sort |
    grep -v -x -F -e ./usr/bin/quadrel -e ./usr/lib/quadrel/quadrel \
        -e ./usr/bin/quadrel-cli -e ./usr/lib/quadrel/quadrel-cli \
        -e ./usr/lib/quadrel/readme.rtf -e ./usr/lib/quadrel/box.ico \
        -e ./usr/share/applications/quadrel.desktop \
        -e ./usr/share/metainfo/io.github.quadrel.Quadrel.metainfo.xml \
        -e ./usr/share/doc/quadrel/copyright -e ./usr/share/doc/quadrel/changelog.gz |
    grep -v -x -E '\./usr/share/icons/hicolor/[0-9]+x[0-9]+/apps/quadrel\.png' |
    grep -v -x -E '\./usr/share/man/man1/[a-z-]+\.1\.gz') || true
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
    if [ "$(field Package)" != quadrel ] || [ "$(field Version)" != "$version" ] ||
        [ "$(field Architecture)" != "$arch" ]; then
        e2e_fail "package fields: $(dpkg-deb --info "$deb")"
    fi
    depends=$(field Depends)
    for needed in libqt6widgets6 libqt6gui6 fonts-liberation; do
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
    # lintian: no error and no warning (informational tags are shown, not fatal).
    if command -v lintian >/dev/null 2>&1; then
        lintian_status=0
        lintian_started=$SECONDS
        lintian --display-info --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 ||
            lintian_status=$?
        sed 's/^/    /' "$work/lintian.txt" >&2
        ((lintian_status == 0)) ||
            e2e_fail "lintian found errors or warnings in $(basename "$deb") (status $lintian_status)"
        e2e_log "ok: lintian in $((SECONDS - lintian_started)) s:" \
            "$(grep -c '^[EWIP]:' "$work/lintian.txt") tags, none an error or a warning"
    else
        e2e_log "lintian is not installed: package not linted"
    fi
else
    e2e_log "cpack or dpkg-deb missing: package not checked"
fi

# Started through the launcher symlink, the program finds its read-me in the
# real program folder and hands that path to the desktop's opener.
opened=$work/opened
inst_fake_opener "$work/bin" "$opened"
export PATH="$work/bin:$PATH"
e2e_setup install "$launcher" "$2"
for kept in package-contents.txt lintian.txt; do
    if [ -f "$work/$kept" ]; then cp "$work/$kept" "$E2E_ART/"; fi
done
e2e_start_app
e2e_wait_stable 300 20
e2e_click_read_me
e2e_wait_until 20 "the read-me to be handed to xdg-open (a message box may say why not)" test -f "$opened"
e2e_shot read-me
[ "$(cat "$opened")" = "$program_dir/readme.rtf" ] ||
    e2e_fail "Read Me opened '$(cat "$opened")', not $program_dir/readme.rtf"
e2e_log "ok: Read Me through the symlink opens usr/lib/quadrel/readme.rtf"
