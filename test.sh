#!/usr/bin/env bash
# Installs what is missing; checks the format of the C++ sources and the shell
# scripts; builds with warnings as errors, and once more as packagers build
# (Release, -O3); runs clang-tidy; runs every test
# (the benchmarks once, briefly; the install tree and the package, linted);
# fuzzes the block file reader; then runs the tests again in an AddressSanitizer
# + UBSan build. Each step prints how long it took; any finding fails the run.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
quadrel_ensure_test_packages || exit 1
cd "$QUADREL_ROOT"
if [ "$(id -u)" -eq 0 ] && [ "$(stat -c %u "$QUADREL_ROOT")" -ne 0 ]; then
    # Run by root in someone's clone: every step runs as the clone's owner, so
    # that no log, test folder or build is left that the owner cannot write.
    # Files an earlier root run left behind are handed back first.
    for dir in "$QUADREL_ROOT"/build*; do
        quadrel_check_build_dir "$dir"
    done
    exec runuser -u "$(quadrel_owner)" -- "$0" "$@"
fi
echo "Every check of Quadrel; on 2 cores this takes about 16 minutes from scratch," \
    "a few when little changed."

run_started=$SECONDS
step_name=""
step_started=0
# step NAME: starts the next step and reports the time the last one took.
step() {
    [ -z "$step_name" ] || echo "== $step_name: done in $((SECONDS - step_started)) s"
    step_name=$1
    step_started=$SECONDS
    [ -z "$1" ] || echo "== $1"
}

# wait_for PID SECONDS: true once PID has ended, false after SECONDS if it has not.
wait_for() {
    local i
    for ((i = 0; i < $2; ++i)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 1
    done
    ! kill -0 "$1" 2>/dev/null
}

# Files of the repository (build folders and git's own left out).
source_files() {
    find . \( -path './build*' -o -path ./.git \) -prune -o -type f "$@" -print | sort
}
cxx_sources() { source_files \( -name '*.cpp' -o -name '*.h' \); }
shell_scripts() {
    source_files -name '*.sh'
    local file
    while IFS= read -r file; do
        case $file in *.sh) ;; *) head -n 1 "$file" | grep -q '^#!.*\bsh\b\|^#!.*bash' && echo "$file" ;; esac
    done < <(source_files -perm -u+x)
}

step "Format of the C++ sources (clang-format)"
mapfile -t cxx < <(cxx_sources)
clang-format --dry-run -Werror "${cxx[@]}"
echo "${#cxx[@]} files formatted as .clang-format says"

step "Shell scripts (shellcheck)"
mapfile -t scripts < <(shell_scripts)
shellcheck -x "${scripts[@]}"
echo "${#scripts[@]} scripts clean"

step "Release build"
quadrel_build "$QUADREL_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUADREL_WERROR=ON \
    -DBUILD_TESTING=ON -DQUADREL_BENCH=ON

step "Packagers' build (Release at -O3, no tests; warnings fail it here only)"
quadrel_build "$QUADREL_ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DQUADREL_WERROR=ON \
    -DBUILD_TESTING=OFF

step "Static analysis (clang-tidy, every source; log: build/clang-tidy.log)"
mapfile -t units < <(source_files -name '*.cpp' | sed "s|^\.|$QUADREL_ROOT|")
run-clang-tidy -p build -j 2 -quiet "${units[@]}" >build/clang-tidy.log 2>&1 &
tidy=$!
# The check takes minutes: say every half minute how far it got.
while ! wait_for "$tidy" 30; do
    echo "   $(grep -c '^clang-tidy' build/clang-tidy.log || true) of ${#units[@]} sources checked"
done
if ! wait "$tidy"; then
    cat build/clang-tidy.log
    echo "clang-tidy could not check every source." >&2
    exit 1
fi
# run-clang-tidy colours its report; the colour codes would hide the findings
# from the search below.
sed -i 's/\x1b\[[0-9;]*m//g' build/clang-tidy.log
if grep -E ': (warning|error): ' build/clang-tidy.log; then
    echo "clang-tidy found the faults above (details: build/clang-tidy.log)." >&2
    exit 1
fi
echo "$(grep -c '^clang-tidy' build/clang-tidy.log) sources clean"

step "Tests, benchmarks once, install tree and package"
ctest --test-dir "$QUADREL_ROOT/build" --output-on-failure -j 2

step "Fuzzing the block file reader, the JPEG file reader and the scan decoder (log: build/fuzz.log)"
if ! "$QUADREL_ROOT/tests/fuzz/run_fuzz.sh" >"$QUADREL_ROOT/build/fuzz.log" 2>&1; then
    tail -n 60 "$QUADREL_ROOT/build/fuzz.log"
    echo "Fuzzing the file readers failed." >&2
    exit 1
fi
grep -E '^Done [0-9]+ runs' "$QUADREL_ROOT/build/fuzz.log"

step "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
quadrel_build "$QUADREL_ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUADREL_WERROR=ON \
    -DQUADREL_SANITIZE=ON -DQUADREL_BENCH=OFF -DBUILD_TESTING=ON
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$QUADREL_ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$QUADREL_ROOT/build-asan" --output-on-failure -j 2
step ""
elapsed=$((SECONDS - run_started))
echo "Every check passed in $((elapsed / 60)) min $((elapsed % 60)) s."
