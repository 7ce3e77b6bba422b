#!/usr/bin/env bash
# Regenerate the far-field series' coefficient header, the uniform disk's
# multipole header (the same series, from the same polynomials) and a subset
# of the series' golden values, and compare them with the checked-in files:
#   src/models/far_field_coefficients.hpp and src/models/witt_mao_multipole.hpp
#     must be reproduced exactly (the recorded mpmath version aside), about 20 s;
#   two points of tests/data/far_field_golden.tsv (every 21st) must agree to
#     1e-17 relative in every profile, about 30 s.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"
header="$root/src/models/far_field_coefficients.hpp"
golden="$root/tests/data/far_field_golden.tsv"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

"$python" "$here/gen_far_field_coefficients.py" "$tmp/coefficients.hpp" "$tmp/multipole.hpp"
if ! diff -u "$root/src/models/witt_mao_multipole.hpp" "$tmp/multipole.hpp"; then
    echo "src/models/witt_mao_multipole.hpp differs from the output of tools/gen_far_field_coefficients.py" >&2
    exit 1
fi
sed 's/; mpmath [^ ]*\.$//' "$header" > "$tmp/a"
sed 's/; mpmath [^ ]*\.$//' "$tmp/coefficients.hpp" > "$tmp/b"
if ! diff -u "$tmp/a" "$tmp/b"; then
    echo "src/models/far_field_coefficients.hpp differs from the output of tools/gen_far_field_coefficients.py" >&2
    exit 1
fi
echo "far-field coefficients reproduced exactly"

"$python" "$here/gen_far_field_golden.py" -j 2 --only 21 "$tmp/golden.tsv"
"$python" "$here/compare_golden_tsv.py" "$golden" "$tmp/golden.tsv" --keys 4 --values 4:5 --bar 1e-17 \
    --label "far-field golden values" --skip profile
