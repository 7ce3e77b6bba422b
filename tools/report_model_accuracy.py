#!/usr/bin/env python3
"""Largest relative error of each magnification function against the golden
data of tools/gen_lens_golden.py (tests/data/lens_golden.json), per region:

  inside / limb / outside  the lens relative to the source (limb: |l - 1| < 1e-3)
                           or, for the thin ring, to the ring (|l - r| < 1e-3);
  band                     a ring evaluation with |l - r| < 1e-6 (the lens all
                           but on the ring, where the ring average diverges).

Usage: report_model_accuracy.py [--worst N] [--by-table]   (imports the installed magnifex,
or the one on PYTHONPATH)
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))

import magnifex  # noqa: E402

from lens_golden import FUNCTIONS, REGIONS, evaluate, load, region, rel_error  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--worst", type=int, default=0, help="also list the N worst cases of each group")
    ap.add_argument("--by-table", action="store_true",
                    help="split the tabulated-profile functions by profile table")
    args = ap.parse_args()

    golden = load()
    tables = golden["tables"]
    rows = {}
    for case in golden["cases"]:
        got = evaluate(magnifex, case, tables)
        err = rel_error(got, float(case["golden"]))
        rows.setdefault((case["function"], region(case, tables)), []).append((err, got, case))

    print("golden data: %s, dps %s, seed %s, mpmath %s" % (
        golden["meta"]["script"], golden["meta"]["dps"], golden["meta"]["seed"],
        golden["meta"]["mpmath_version"]))
    print("%-46s %-8s %6s %12s  %s" % ("function", "region", "points", "max rel err", "worst case"))
    for function in FUNCTIONS:
        for where in REGIONS:
            group = rows.get((function, where))
            if not group:
                continue
            group.sort(key=lambda row: -row[0])
            err, got, case = group[0]
            print("%-46s %-8s %6d %12.3e  %s" % (function, where, len(group), err, case["id"]))
            if args.by_table and "table" in case["args"]:
                for name in sorted(tables):
                    sub = [row for row in group if row[2]["args"]["table"] == name]
                    if sub:
                        print("%-46s %-8s %6d %12.3e  %s" % (
                            "    table " + name, "", len(sub), sub[0][0], sub[0][2]["id"]))
            for err, got, case in group[:args.worst]:
                print("    %-22s rel %.3e  got %.17g  golden %s  args %s" % (
                    case["id"], err, got, case["golden"], case["args"]))


if __name__ == "__main__":
    main()
