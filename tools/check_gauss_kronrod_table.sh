#!/usr/bin/env bash
# Regenerate the Gauss-Kronrod node table and compare it with the checked-in
# header: values and layout; the line that records the mpmath version is left out.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"

tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT

"$python" "$here/gen_gauss_kronrod_table.py" "$tmp"
if ! diff -u <(grep -v '^// Parameters:' "$root/src/numerics/gauss_kronrod_table.hpp") <(grep -v '^// Parameters:' "$tmp"); then
    echo "src/numerics/gauss_kronrod_table.hpp differs from the output of tools/gen_gauss_kronrod_table.py" >&2
    exit 1
fi
echo "Gauss-Kronrod table reproduced exactly"
