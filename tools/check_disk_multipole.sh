#!/usr/bin/env bash
# Regenerate the uniform-disk multipole coefficients and compare them with the
# checked-in header. Any difference fails.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"

tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT

"$python" "$here/gen_disk_multipole.py" "$tmp"
if ! diff -u "$root/src/models/witt_mao_multipole.hpp" "$tmp"; then
    echo "src/models/witt_mao_multipole.hpp differs from the output of tools/gen_disk_multipole.py" >&2
    exit 1
fi
echo "disk multipole coefficients reproduced exactly"
