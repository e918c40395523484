#!/usr/bin/env bash
# Builds the fuzz targets (the block file reader, the JPEG file reader, the scan
# decoder) with clang in their own build folder and runs each for a short while
# (20 seconds unless a number of seconds is given). Seeds come from
# tests/fuzz/corpus and tests/fuzz/corpus-jpeg; what the fuzzer adds goes to
# build-fuzz/corpus*, never into the source tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
seconds=${1:-20}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUADREL_FUZZ=ON -DQUADREL_BENCH=OFF
fi
cmake --build "$build" --target fuzz_block_reader fuzz_jpeg_reader fuzz_scan_decoder -j 2
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

mkdir -p "$build/corpus"
"$build/bin/fuzz_block_reader" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/" \
    "$build/corpus" "$root/tests/fuzz/corpus"

mkdir -p "$build/corpus-jpeg"
"$build/bin/fuzz_jpeg_reader" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/jpeg-" \
    "$build/corpus-jpeg" "$root/tests/fuzz/corpus-jpeg"

# The scan decoder starts from the JPEG reader's seeds.
mkdir -p "$build/corpus-scan"
"$build/bin/fuzz_scan_decoder" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/scan-" \
    "$build/corpus-scan" "$root/tests/fuzz/corpus-jpeg"
