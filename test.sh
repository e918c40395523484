#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs every test,
# fuzzes the block file reader, then runs the same tests again in an
# AddressSanitizer + UBSan build.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
quadrel_ensure_packages

echo "== Release build and tests"
quadrel_build "$QUADREL_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUADREL_WERROR=ON
ctest --test-dir "$QUADREL_ROOT/build" --output-on-failure -j 2

echo "== Fuzzing the block file reader (log: build/fuzz.log)"
if ! "$QUADREL_ROOT/tests/fuzz/run_fuzz.sh" >"$QUADREL_ROOT/build/fuzz.log" 2>&1; then
    tail -n 60 "$QUADREL_ROOT/build/fuzz.log"
    echo "Fuzzing the block file reader failed." >&2
    exit 1
fi
grep -E '^Done [0-9]+ runs' "$QUADREL_ROOT/build/fuzz.log"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
quadrel_build "$QUADREL_ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUADREL_WERROR=ON \
    -DQUADREL_SANITIZE=ON -DQUADREL_BENCH=OFF
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$QUADREL_ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$QUADREL_ROOT/build-asan" --output-on-failure -j 2
