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
"$python" - "$golden" "$tmp/golden.tsv" <<'PY'
import sys
from fractions import Fraction

def rows(path):
    out = {}
    for line in open(path):
        if line.startswith("#") or line.startswith("profile"):
            continue
        f = line.rstrip("\n").split("\t")
        out[tuple(f[:4])] = Fraction(f[4])
    return out

checked_in, fresh = rows(sys.argv[1]), rows(sys.argv[2])
missing = [k for k in fresh if k not in checked_in]
worst = max(abs(fresh[k] / checked_in[k] - 1) for k in fresh if k in checked_in)
if missing or not fresh or worst > Fraction(1, 10**17):
    sys.exit("far_field_golden.tsv: %d regenerated rows not found, worst relative difference %.1e"
             % (len(missing), float(worst)))
print("far-field golden values reproduced: %d rows, worst relative difference %.1e"
      % (len(fresh), float(worst)))
PY
