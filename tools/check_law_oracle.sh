#!/usr/bin/env bash
# Recompute three records of the limb-darkening oracle with mpmath (the centre at
# rho = 1e-6, the limb at rho = 1, outside at rho = 0.1: the value, the limb's
# derivatives under the integral sign and the central differences; about 30 s of
# one core) and compare every value, derivative and signed infinity with
# tests/data/law_oracle.json to 20 significant digits.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"

"$python" "$here/gen_law_oracle.py" --only 1e-6,0.0 --only 1.0,1.0 --only 0.1,1.5 \
  --min-digits 20 --check "$root/tests/data/law_oracle.json"
