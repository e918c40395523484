#!/usr/bin/env bash
# Whole-process timing on this machine: quadrel-cli compress against the cjpeg |
# djpeg round trip of the same picture, in the same run, the two taking turns so
# that a change in the machine's load falls on both. Each figure is the median
# of N runs (N at least 5):
#   grey 4000x3000 PGM at quality 50, float DCT both ways (a smooth picture and
#     the same with film grain, as photos have);
#   the grey picture with the integer DCT against plain cjpeg -baseline | djpeg;
#   a 12-megapixel colour photo at quality 75, 4:2:0, against cjpeg -sample 2x2;
#   then the time to a first result from a 12-megapixel JPEG, decoding included;
#   last a sweep of 19 qualities (quadrel-cli rd) against one compress.
# Usage: bench/compress_vs_cjpeg.sh [build-dir] [N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
((runs >= 5)) || runs=5
cli=$build/bin/quadrel-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The encoder's time grows with the coefficients it codes, the analysis's hardly.
convert -size 4000x3000 -seed 1 plasma:fractal -colorspace Gray -depth 8 "$work/smooth.pgm"
convert "$work/smooth.pgm" -seed 2 -attenuate 0.4 +noise Gaussian -colorspace Gray -depth 8 \
    "$work/grainy.pgm"
cjpeg -quality 92 "$work/grainy.pgm" >"$work/grainy.jpg"
# A photo blown up to 12 megapixels, with grain so that it does not code as a
# smooth picture would.
convert /usr/lib/python3/dist-packages/skimage/data/astronaut.png -resize '4000x3000!' \
    -seed 3 -attenuate 0.3 +noise Gaussian -depth 8 "$work/photo.ppm"

# Milliseconds of one run of a command.
once() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# compare LABEL "THEIRS..." "OURS..." [THEIR-NAME OUR-NAME]: both commands
# $runs times in turn, then the two medians and their ratio.
compare() {
    local label=$1 theirs=$2 ours=$3 theirName=${4:-libjpeg-turbo} ourName=${5:-quadrel-cli}
    local t=() o=()
    for ((i = 0; i < runs; i++)); do
        t+=("$(once bash -c "$theirs")")
        o+=("$(once bash -c "$ours")")
    done
    local tm om
    tm=$(median "${t[@]}")
    om=$(median "${o[@]}")
    echo "$label: $theirName ${tm} ms; $ourName ${om} ms" \
        "($(awk "BEGIN{printf \"%.2f\", $om/$tm}") x)"
}

echo "load before: $(uptime)"
for picture in smooth grainy; do
    compare "$picture 4000x3000 PGM, quality 50, float" \
        "cjpeg -baseline -dct float -quality 50 $work/$picture.pgm | djpeg -dct float" \
        "$cli compress $work/$picture.pgm --quality 50 --format json"
done
compare "smooth 4000x3000 PGM, quality 50, integer" \
    "cjpeg -baseline -quality 50 $work/smooth.pgm | djpeg" \
    "$cli compress $work/smooth.pgm --quality 50 --dct integer --format json"
compare "photo 4000x3000 PPM, 4:2:0, quality 75, float" \
    "cjpeg -baseline -dct float -sample 2x2 -quality 75 $work/photo.ppm | djpeg -dct float" \
    "$cli compress $work/photo.ppm --colour --sampling 4:2:0 --quality 75 --format json"
compare "photo 4000x3000 PPM, 4:2:0, quality 75, integer" \
    "cjpeg -baseline -sample 2x2 -quality 75 $work/photo.ppm | djpeg" \
    "$cli compress $work/photo.ppm --colour --sampling 4:2:0 --quality 75 --dct integer --format json"
compare "12 MP JPEG of the grainy picture, decoding included (against djpeg alone)" \
    "djpeg $work/grainy.jpg" "$cli compress $work/grainy.jpg --quality 50 --format json"
compare "smooth 4000x3000 PGM, 19 qualities 5 to 95 against one at quality 50" \
    "$cli compress $work/smooth.pgm --quality 50 --format json" \
    "$cli rd $work/smooth.pgm --format csv" "one compress" "the sweep"
echo "load after:  $(uptime)"
