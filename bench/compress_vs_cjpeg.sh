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

# A smooth picture, and the same with film grain as photos have: the encoder's
# time grows with the coefficients it codes, the analysis's hardly.
convert -size 4000x3000 -seed 1 plasma:fractal -colorspace Gray -depth 8 "$work/smooth.pgm"
convert "$work/smooth.pgm" -seed 2 -attenuate 0.4 +noise Gaussian -colorspace Gray -depth 8 \
    "$work/grainy.pgm"
cjpeg -quality 92 "$work/grainy.pgm" >"$work/grainy.jpg"

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
round_trip() { cjpeg -baseline -dct float -quality 50 "$1" | djpeg -dct float >/dev/null; }
ours() { "$cli" compress "$1" --quality 50; }

echo "load before: $(uptime)"
for picture in smooth grainy; do
    trip=$(best round_trip "$work/$picture.pgm")
    mine=$(best ours "$work/$picture.pgm")
    echo "$picture 4000x3000 PGM, quality 50: cjpeg | djpeg ${trip} ms;" \
        "quadrel-cli compress ${mine} ms ($(awk "BEGIN{printf \"%.2f\", $mine/$trip}") x)"
done
echo "quadrel-cli compress, 12 MP JPEG of the grainy picture (decoding included):" \
    "$(best ours "$work/grainy.jpg") ms"
echo "load after:  $(uptime)"
