#!/usr/bin/env bash
# Whole-process timing on this machine: quadrel-cli compress of a 4000x3000 grey
# picture at quality 50 against the cjpeg | djpeg round trip of the same picture
# (float DCT both ways), in the same run; then the time to a first result from a
# 12-megapixel JPEG, decoding included. Each figure is the best of N runs.
# Usage: bench/compress_vs_cjpeg.sh [build-dir] [N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
cli=$build/bin/quadrel-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 4000x3000 -seed 1 plasma:fractal -colorspace Gray -depth 8 "$work/photo.pgm"
cjpeg -quality 92 "$work/photo.pgm" >"$work/photo.jpg"

# Best wall-clock milliseconds of a command over $runs runs.
best() {
    local best_ms=999999 start end ms
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        ms=$(((end - start) / 1000000))
        ((ms < best_ms)) && best_ms=$ms
    done
    echo "$best_ms"
}
round_trip() { cjpeg -baseline -dct float -quality 50 "$work/photo.pgm" | djpeg -dct float >/dev/null; }
ours_pgm() { "$cli" compress "$work/photo.pgm" --quality 50; }
ours_jpeg() { "$cli" compress "$work/photo.jpg" --quality 50; }

echo "load before: $(uptime)"
trip=$(best round_trip)
pgm=$(best ours_pgm)
jpeg=$(best ours_jpeg)
echo "load after:  $(uptime)"
echo "cjpeg | djpeg round trip, 4000x3000 PGM, quality 50:  ${trip} ms"
echo "quadrel-cli compress, the same PGM, quality 50:       ${pgm} ms ($(awk "BEGIN{printf \"%.2f\", $pgm/$trip}") x the round trip)"
echo "quadrel-cli compress, 12 MP JPEG (decoding included): ${jpeg} ms"
