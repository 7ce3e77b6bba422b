#!/usr/bin/env bash
# Regenerate every 15th row of tests/data/point_lens_gradient_golden.tsv with
# mpmath (tools/gen_point_lens_gradient_golden.py, its quadrature
# cross-checks included) and compare the values, not the tool versions, with
# the checked-in file: value and both partials must agree to 1e-20 relative
# (0 exactly where the file has 0). About 20 s on two cores.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"
golden="$root/tests/data/point_lens_gradient_golden.tsv"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

"$python" "$here/gen_point_lens_gradient_golden.py" -j 2 --only 15 "$tmp/golden.tsv"
"$python" "$here/compare_golden_tsv.py" "$golden" "$tmp/golden.tsv" --keys 4 --values 4:7 --bar 1e-20 \
    --label "point-lens gradient golden values"
