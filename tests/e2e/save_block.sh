#!/usr/bin/env bash
# "Save Block" through the real file dialog writes both blocks: the pixels
# reconstructed from the typed coefficients truncated toward zero (never "-0"),
# the marker line, then the coefficients, every line ended by CR LF. A save
# over an existing file replaces all of it without asking, and the next save
# dialog proposes the file saved last.
# Usage: save_block.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup save_block "$1" "$2"
files=$E2E_ART/files
mkdir -p "$files"
e2e_start_app
e2e_wait_stable 500 20

coefficients=""

# type_coefficients "U:V:F ...": types each coefficient into its cell
# (k = U + 8V), presses Enter and waits for the reconstruction.
type_coefficients() {
    local c u v f
    for c in $1; do
        IFS=: read -r u v f <<<"$c"
        e2e_enter_cell $((u + 8 * v)) "$f"
        coefficients="${coefficients:+$coefficients }$c"
    done
    local expected
    expected=$(e2e_expected_idct "$coefficients") || e2e_fail "test data fault: $coefficients"
    e2e_wait_squares "reconstruction of $coefficients" "$expected" 20
}

# file_state PATH: a digest of the file, or "missing".
file_state() { if [ -e "$1" ]; then md5sum <"$1"; else echo missing; fi; }

# save_and_check TAG PATH [TYPED]: "Save Block", with TYPED typed as the file
# name (without it, the proposed name is kept); PATH must then hold exactly
# the block file expected for the coefficients typed so far.
save_and_check() {
    local tag=$1 path=$2 before expected=$E2E_ART/expected-$1.csv
    e2e_expected_block_file "$coefficients" >"$expected" ||
        e2e_fail "test data fault: $coefficients"
    before=$(file_state "$path")
    e2e_click_save_block
    e2e_file_dialog "Save As" "$tag-dialog" "${@:3}"
    file_changed() { [ "$(file_state "$path")" != "$before" ]; }
    e2e_wait_until 20 "'$path' to be written" file_changed
    if ! cmp -s "$expected" "$path"; then
        e2e_log "expected (<) and written (>) bytes, CR shown as ^M:"
        diff <(cat -A "$expected") <(cat -A "$path") | sed 's/^/    /' >&2 || true
        e2e_fail "$tag: '$path' differs from the expected block file"
    fi
    e2e_log "ok: $tag: $(wc -c <"$path") bytes as expected in '$path'"
}

# Positive and negative pixels with fractions, some above 255 and one in
# (-1, 0), so that truncation, rounding down, rounding to nearest, clamping
# and "-0" all give different files.
type_coefficients "0:0:500 1:0:-700 0:1:333 2:3:-45 5:7:21"
e2e_idct_values "$coefficients" | awk '
    $1 > -1 && $1 < 0 { minus_zero = 1 }
    $1 < -1 && $1 != int($1) { negative = 1 }
    $1 > 0 && $1 - int($1) > 0.5 { round_up = 1 }
    $1 > 256 { above = 1 }
    END { exit !(minus_zero && negative && round_up && above) }' ||
    e2e_fail "test data fault: the block misses a case it is meant to cover"

first=$files/first.csv
save_and_check new-file "$first" "$first"

# Longer than any block file, so a write that does not replace the whole
# contents leaves a tail behind.
second="$files/second block.txt"
for ((i = 0; i < 200; ++i)); do printf 'stale line %d\r\n' "$i"; done >"$second"
type_coefficients "7:0:-9"
save_and_check replace "$second" "$second"

type_coefficients "4:4:64"
save_and_check proposed "$second"
cmp -s "$E2E_ART/expected-new-file.csv" "$first" || e2e_fail "'$first' changed by later saves"

e2e_quit
