#!/usr/bin/env bash
# Typing coefficients into cells and pressing Enter reconstructs the block:
# the DC term alone, then a horizontal cosine, then a vertical one of negative
# amplitude that drives some squares past both ends of the grey scale.
# Usage: reconstruct.sh QUADREL_EXE ARTIFACT_DIR
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup reconstruct "$1" "$2"
e2e_start_app

e2e_wait_stable 500 20
before=$E2E_SHOWN
coefficients=""

# step CELL TEXT U V VALUE: types TEXT into CELL (which holds F(U, V)) and
# checks the picture of every coefficient entered so far.
step() {
    local cell=$1 text=$2
    coefficients="${coefficients:+$coefficients }$3:$4:$5"
    e2e_enter_cell "$cell" "$text"
    e2e_wait_change "$before" 20
    e2e_wait_stable 500 20
    e2e_shot "cell$cell"
    e2e_expect_squares "cell $cell = $text (coefficients $coefficients)" \
        "$(e2e_expected_idct "$coefficients")" "$E2E_SHOWN"
    before=$E2E_SHOWN
}

step 0 512 0 0 512  # flat grey 128 (#808080)
step 1 512 1 0 512  # varies along each row only
step 8 -256 0 1 -256 # varies down each column; clamps at 0 and 255
