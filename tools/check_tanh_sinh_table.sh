#!/usr/bin/env bash
# Regenerate the tanh-sinh node table and compare it with the checked-in
# header. Any difference (values, layout or the recorded mpmath version) fails.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"

tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT

"$python" "$here/gen_tanh_sinh_table.py" "$tmp"
if ! diff -u "$root/src/numerics/tanh_sinh_table.hpp" "$tmp"; then
    echo "src/numerics/tanh_sinh_table.hpp differs from the output of tools/gen_tanh_sinh_table.py" >&2
    exit 1
fi
echo "tanh-sinh table reproduced exactly"
