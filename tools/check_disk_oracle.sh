#!/usr/bin/env bash
# Recompute every 25th uniform-disk oracle value with mpmath and compare it
# with tests/data/disk_oracle.tsv (values only; a few seconds).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"

"$python" "$here/gen_disk_oracle.py" --subset 25 --check "$root/tests/data/disk_oracle.tsv"
