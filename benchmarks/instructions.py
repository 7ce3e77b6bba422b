#!/usr/bin/env python3
"""Instructions per point of the main magnifex workloads, counted by
valgrind's callgrind: a figure that the load of the machine does not move.

Each case runs twice under callgrind in a fresh interpreter: both runs import
the module, build the separations of the workload (benchmarks/workloads.py)
and call the function once on all N separations (so every first-use cost,
the module's and the interpreter's, is in both); the second run then makes
REPEATS more such calls. The difference of the two totals, divided by
REPEATS * N, is the cost of one point, call overhead amortised over N,
without the interpreter's start-up.

Usage: python benchmarks/instructions.py [--markdown] [--python PYTHON] [--case NAME ...]
  (about a minute; needs valgrind, and numpy for the numpy cases)
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# (name, workload, function, input kind, extra arguments, N)
CASES = [
    ("witt_mao_magnification (list)", "disk rho=0.1 u in [0,3]", "witt_mao_magnification", "list", "", 2000),
    ("witt_mao_magnification (numpy)", "disk rho=0.1 u in [0,3]", "witt_mao_magnification", "numpy", "", 2000),
    ("integrated_heyrovsky (list)", "ld rho=0.1 u in [0,3]", "integrated_heyrovsky_magnification", "list", "", 1000),
    ("integrated_heyrovsky (numpy)", "ld rho=0.1 u in [0,3]", "integrated_heyrovsky_magnification", "numpy", "", 1000),
    ("integrated_witt_mao (list)", "ld rho=0.1 u in [0,3]", "integrated_witt_mao_magnification", "list", "", 1000),
    ("integrated_heyrovsky (list)", "ld rho=0.1 u in [0,3rho]", "integrated_heyrovsky_magnification", "list", "", 1000),
    ("integrated_witt_mao (list)", "ld rho=0.1 u in [0,3rho]", "integrated_witt_mao_magnification", "list", "", 1000),
    ("flux_map_heyrovsky 50 rows (list)", "table rho=0.1 u in [0,3]",
     "integrated_flux_map_heyrovsky_magnification", "list", ", TABLE_BL, TABLE_BF", 1000),
    ("flux_map_witt_mao 50 rows (list)", "table rho=0.1 u in [0,3]",
     "integrated_flux_map_witt_mao_magnification", "list", ", TABLE_BL, TABLE_BF", 1000),
    # magnification(u, rho, law, coefficients): u = l rho in Einstein radii
    ("magnification linear 0.6", "ld rho=0.1 u in [0,3]", "magnification", "law", "'linear', (0.6,)", 1000),
    ("magnification linear 0.6", "ld rho=0.1 u in [0,3rho]", "magnification", "law", "'linear', (0.6,)", 1000),
    ("magnification linear 0.6, gradient", "ld rho=0.1 u in [0,3rho]", "magnification", "law",
     "'linear', (0.6,), gradient=True", 1000),
    ("magnification power2 (0.6, 0.6)", "ld rho=0.1 u in [0,3rho]", "magnification", "law",
     "'power2', (0.6, 0.6)", 1000),
    ("magnification linear 0.6", "ld rho=1 u in [0,3]=[0,3rho]", "magnification", "law", "'linear', (0.6,)", 1000),
    ("magnification squareroot (0.2, 0.55)", "ld rho=1 u in [0,3]=[0,3rho]", "magnification", "law",
     "'squareroot', (0.2, 0.55)", 1000),
    ("magnification exponential (0.5, 0.1)", "ld rho=1 u in [0,3]=[0,3rho]", "magnification", "law",
     "'exponential', (0.5, 0.1)", 1000),
    ("magnification logarithmic (0.6, 0.2)", "ld rho=1 u in [0,3]=[0,3rho]", "magnification", "law",
     "'logarithmic', (0.6, 0.2)", 1000),
    ("magnification power2 (0.6, 0.6)", "ld rho=1 u in [0,3]=[0,3rho]", "magnification", "law",
     "'power2', (0.6, 0.6)", 1000),
    ("magnification nonlinear (0.5, -0.1, 0.4, -0.15)", "ld rho=1 u in [0,3]=[0,3rho]", "magnification", "law",
     "'nonlinear', (0.5, -0.1, 0.4, -0.15)", 1000),
    ("magnification uniform", "disk rho=0.1 u in [0,3]", "magnification", "law", "'uniform'", 2000),
]

REPEATS = 10

SCRIPT = """
import gc
import sys
gc.disable()  # a collection falling into one run only would count in the difference
sys.path.insert(0, {here!r})
import magnifex as mx
from workloads import by_name, TABLE_BL, TABLE_BF
{numpy}
w = by_name([{workload!r}])[0]
x = {convert}(w.grid({n}))
f = mx.{function}
{call}
for _ in range({repeats} if {full} else 0):
    {call}
"""


def count(python, source, workdir):
    out = os.path.join(workdir, "callgrind.out")
    script = os.path.join(workdir, "case.py")
    with open(script, "w") as fh:
        fh.write(source)
    # One BLAS thread (idle OpenBLAS threads spin, and their instructions count)
    # and a fixed hash seed, so that two runs differ only by the calls counted.
    env = dict(os.environ, OPENBLAS_NUM_THREADS="1", OMP_NUM_THREADS="1", PYTHONHASHSEED="0")
    subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, python, script],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    with open(out) as fh:
        for line in fh:
            m = re.match(r"(summary|totals):\s+(\d+)", line)
            if m:
                return int(m.group(2))
    raise RuntimeError("no instruction total in " + out)


def per_point(python, case, workdir):
    name, workload, function, kind, extra, n = case
    # the seven take (l, re, rstar); magnification takes (u, rho, law, coefficients)
    call = "f(x * w.rho, w.rho, %s)" % extra if kind == "law" else "f(x, 1.0, w.rho%s)" % extra
    fields = dict(here=HERE, workload=workload, function=function, call=call, n=n,
                  numpy="import numpy as np" if kind in ("numpy", "law") else "",
                  convert="np.array" if kind in ("numpy", "law") else "list")
    base = count(python, SCRIPT.format(full=False, repeats=REPEATS, **fields), workdir)
    full = count(python, SCRIPT.format(full=True, repeats=REPEATS, **fields), workdir)
    return (full - base) / (REPEATS * n)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--python", default=sys.executable, help="interpreter with magnifex installed")
    ap.add_argument("--markdown", action="store_true")
    ap.add_argument("--case", action="append", help="only cases whose name or workload contains this")
    args = ap.parse_args()
    if shutil.which("valgrind") is None:
        print("valgrind not found (apt-get install valgrind)", file=sys.stderr)
        return 1
    cases = [c for c in CASES if not args.case or any(s in c[0] or s in c[1] for s in args.case)]
    rows = []
    with tempfile.TemporaryDirectory() as workdir:
        for case in cases:
            ipp = per_point(args.python, case, workdir)
            rows.append((case[1], case[0], "%d" % case[5], "{:,.0f}".format(ipp)))
            print("%-26s %-36s %6s %14s" % rows[-1], file=sys.stderr, flush=True)
    head = ("workload", "function", "N", "instructions/pt")
    if args.markdown:
        print("| " + " | ".join(head) + " |")
        print("|---|---|---:|---:|")
        for r in rows:
            print("| " + " | ".join(r) + " |")
    else:
        print("%-26s %-36s %6s %14s" % head)
        for r in rows:
            print("%-26s %-36s %6s %14s" % r)
    return 0


if __name__ == "__main__":
    sys.exit(main())
