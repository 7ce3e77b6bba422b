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
"$python" - "$golden" "$tmp/golden.tsv" <<'PY'
import sys
from fractions import Fraction

def rows(path):
    out = {}
    for line in open(path):
        if line.startswith("#"):
            continue
        f = line.rstrip("\n").split("\t")
        out[tuple(f[:4])] = [Fraction(x) for x in f[4:7]]
    return out

checked_in, fresh = rows(sys.argv[1]), rows(sys.argv[2])
missing = [k for k in fresh if k not in checked_in]
worst = Fraction(0)
for key, values in fresh.items():
    if key not in checked_in:
        continue
    for new, old in zip(values, checked_in[key]):
        worst = max(worst, abs(new - old) / abs(old) if old else abs(new))
if missing or not fresh or worst > Fraction(1, 10**20):
    sys.exit("point_lens_gradient_golden.tsv: %d regenerated rows not found, worst relative difference %.1e"
             % (len(missing), float(worst)))
print("point-lens gradient golden values reproduced: %d rows, worst relative difference %.1e"
      % (len(fresh), float(worst)))
PY
