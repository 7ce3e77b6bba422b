#!/usr/bin/env bash
# Regenerate the source-integral rules (Gauss-Legendre and logarithmic
# generalized Gauss) and compare them with the checked-in header: values and
# layout; the line that records the mpmath version is left out.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"

tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT

"$python" "$here/gen_source_rules.py" "$tmp"
if ! diff -u <(grep -v '^// Parameters:' "$root/src/numerics/source_rules_table.hpp") <(grep -v '^// Parameters:' "$tmp"); then
    echo "src/numerics/source_rules_table.hpp differs from the output of tools/gen_source_rules.py" >&2
    exit 1
fi
echo "source-integral rules reproduced exactly"
