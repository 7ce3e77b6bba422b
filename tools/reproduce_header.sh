#!/usr/bin/env bash
# Usage: reproduce_header.sh GENERATOR HEADER LABEL [STRIP]
# Runs tools/GENERATOR (a script that writes one file, a header or a data
# table, to the path it is given) and compares its output with the checked-in
# HEADER (relative to the project's root). Every value and the layout must
# match exactly; only the mpmath version the file records may differ
# (reported, accepted), since the values are rounded to doubles from
# high-precision arithmetic and do not depend on which mpmath release
# computed them. STRIP: the sed expression that removes that version from the
# text (by default a header's "Parameters" line ending "; mpmath X.Y.Z.").
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
python="${PYTHON:-python3}"
generator="$1" header="$2" label="$3"
strip_version="${4:-s/; mpmath [^ ]*\.\$/./}"

tmp="$(mktemp)"
trap 'rm -f "$tmp" "$tmp.a" "$tmp.b"' EXIT

"$python" "$here/$generator" "$tmp"
sed "$strip_version" "$root/$header" > "$tmp.a"
sed "$strip_version" "$tmp" > "$tmp.b"
if ! diff -u "$tmp.a" "$tmp.b"; then
    echo "$header differs from the output of tools/$generator" >&2
    exit 1
fi
if ! cmp -s "$root/$header" "$tmp"; then
    echo "note: $header was written with another mpmath version:" >&2
    grep -o -m 1 'mpmath[= ][0-9][^ ]*' "$root/$header" | sed 's/\.$//' >&2
fi
echo "$label reproduced exactly"
