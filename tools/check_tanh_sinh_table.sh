#!/usr/bin/env bash
# Regenerate the tanh-sinh node table and compare it with the checked-in
# header. Every node and the layout must match exactly; only the mpmath
# version recorded in the header's second line may differ (reported, accepted),
# since the values are rounded to doubles from 50-digit arithmetic and so do
# not depend on which mpmath release computed them.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"
header="$root/src/numerics/tanh_sinh_table.hpp"

tmp="$(mktemp)"
trap 'rm -f "$tmp" "$tmp.a" "$tmp.b"' EXIT

"$python" "$here/gen_tanh_sinh_table.py" "$tmp"
strip_version='s/; mpmath [^ ]*\.$/./'
sed "$strip_version" "$header" > "$tmp.a"
sed "$strip_version" "$tmp" > "$tmp.b"
if ! diff -u "$tmp.a" "$tmp.b"; then
    echo "src/numerics/tanh_sinh_table.hpp differs from the output of tools/gen_tanh_sinh_table.py" >&2
    exit 1
fi
if ! cmp -s "$header" "$tmp"; then
    echo "note: node table was written with another mpmath version:" >&2
    sed -n 2p "$header" | grep -o 'mpmath [0-9][^ ]*' | sed 's/\.$//' >&2
fi
echo "tanh-sinh table reproduced exactly"
