#!/usr/bin/env bash
# Usage: reproduce_header.sh GENERATOR HEADER LABEL
# Runs tools/GENERATOR (a script that writes one header to the path it is
# given) and compares its output with the checked-in HEADER (relative to the
# project's root): values and layout must match exactly; the line that records
# the mpmath version ("// Parameters: ...") is left out.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"
generator="$1" header="$2" label="$3"

tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT

"$python" "$here/$generator" "$tmp"
if ! diff -u <(grep -v '^// Parameters:' "$root/$header") <(grep -v '^// Parameters:' "$tmp"); then
    echo "$header differs from the output of tools/$generator" >&2
    exit 1
fi
echo "$label reproduced exactly"
