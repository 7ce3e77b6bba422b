#!/usr/bin/env python3
"""Compare regenerated rows of a golden TSV file with the checked-in file.

Usage: compare_golden_tsv.py CHECKED_IN FRESH --keys N --values A:B --bar X --label TEXT [--skip PREFIX]

A row is keyed by its first N fields; fields A..B-1 are its values, read
exactly (as fractions). Every regenerated row must be in the checked-in file,
and every value within X relative of the checked-in one (absolute where that
is 0). Lines starting with "#" (or PREFIX) are not rows."""
import argparse
import os
import sys
from fractions import Fraction


def rows(path, keys, first, last, skip):
    out = {}
    for line in open(path):
        if line.startswith("#") or (skip and line.startswith(skip)):
            continue
        f = line.rstrip("\n").split("\t")
        out[tuple(f[:keys])] = [Fraction(x) for x in f[first:last]]
    return out


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("checked_in")
    ap.add_argument("fresh")
    ap.add_argument("--keys", type=int, required=True)
    ap.add_argument("--values", required=True, help="A:B, the value fields")
    ap.add_argument("--bar", required=True, help="largest relative difference, e.g. 1e-20")
    ap.add_argument("--label", required=True)
    ap.add_argument("--skip", default=None)
    args = ap.parse_args(argv)
    first, last = (int(x) for x in args.values.split(":"))
    checked_in = rows(args.checked_in, args.keys, first, last, args.skip)
    fresh = rows(args.fresh, args.keys, first, last, args.skip)
    missing = [k for k in fresh if k not in checked_in]
    worst = Fraction(0)
    for key, values in fresh.items():
        if key not in checked_in:
            continue
        for new, old in zip(values, checked_in[key]):
            worst = max(worst, abs(new - old) / abs(old) if old else abs(new))
    if missing or not fresh or worst > Fraction(args.bar):
        sys.exit("%s: %d regenerated rows not found, worst relative difference %.1e"
                 % (os.path.basename(args.checked_in), len(missing), float(worst)))
    print("%s reproduced: %d rows, worst relative difference %.1e" % (args.label, len(fresh), float(worst)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
