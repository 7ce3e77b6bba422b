#!/usr/bin/env python3
"""Oracle values of the limb-darkened routes and of the tabulated profiles,
by direct quadrature of the point-source magnification over the source with
mpmath (the integrals of tools/gen_lens_golden.py: ring averages of
A_ps(u) = (u^2 + 2)/(u sqrt(u^2 + 4)), then the profile-weighted integral over
the radius fraction, split at the lens and at every table radius).

Grid: l in L_VALUES (the centre, inside, both sides of the limb, outside) and
rho in RHO_VALUES, re = 1, rstar = rho, for the built-in linear law
(coefficient 0.6, normalised by its exact flux 0.8 pi), the uniform disk and,
at rho in TABLE_RHO_VALUES, every table of TABLES (piecewise linear through the rows, 0 outside them,
normalised by the exact flux of that polyline). Every value is computed twice,
the second time with every outer piece halved and the inner integrals by
tanh-sinh instead of Gauss-Legendre; the larger of the two error estimates
and their difference is stored beside the value and must be below MAX_REL_ERR.

Usage: gen_route_oracle.py [-j JOBS] [--only L,RHO,TABLES(0|1)] [OUTPUT]
  (default output tests/data/route_oracle.json; about 15 minutes with -j 2).
  With --only it prints the values of one grid point as JSON instead.
"""

import argparse
import json
import math
import multiprocessing
import os
import runpy
import sys
import types

import mpmath
from mpmath import mp, mpf

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "gen_lens_golden.py"),
                                                run_name="gen_lens_golden"))

# 20 digits leave the quadrature errors near 1e-18, far below the bars, at
# half the cost of the golden data's 30.
DPS = 20
GOLDEN.ring_average.__globals__["DPS"] = DPS
MAX_REL_ERR = 1e-13
DIGITS_OUT = 20
L_VALUES = [0.0, 0.5, 1 - 1e-6, 1.0, 1 + 1e-8, 1 + 1e-3, 2.5]
RHO_VALUES = [1e-4, 0.01, 0.3, 3.0]
# The tables (whose radii add pieces to every integral) at these rho only.
TABLE_RHO_VALUES = [0.01, 3.0]

# 20 rows of the quadratic law I = 1 - a (1 - mu) - b (1 - mu)^2, mu = sqrt(1 - x^2).
QUAD_A, QUAD_B = 0.4, 0.25
QUAD_RADII = [j / 19 for j in range(20)]
QUAD_VALUES = [1 - QUAD_A * (1 - math.sqrt(1 - x * x)) - QUAD_B * (1 - math.sqrt(1 - x * x)) ** 2
               for x in QUAD_RADII]

TABLES = {
    # Interior kinks, continuous.
    "kinks": ([0.0, 0.3, 0.55, 0.8, 1.0], [1.0, 0.95, 0.7, 0.6, 0.3]),
    # Drops to 0 inside the source, at 0.7.
    "jump": ([0.0, 0.4, 0.7], [1.0, 0.9, 0.8]),
    # Dark inside 0.3, jumps to 0.5 there.
    "hole": ([0.3, 0.6, 1.0], [0.5, 1.0, 0.6]),
    # A narrow annulus, constant across it.
    "annulus": ([0.55, 0.6], [1.0, 1.0]),
    "quadratic20": (QUAD_RADII, QUAD_VALUES),
}


def work(point):
    l_d, rho_d, with_tables = point
    mp.dps = DPS
    l, rho = mpf(l_d), mpf(rho_d)
    names = sorted(TABLES) if with_tables else []
    profiles = [lambda x: mpf(1), GOLDEN.ld_profile] + [GOLDEN.table_profile(*TABLES[n]) for n in names]
    singular = sorted(set(mpf(b) for n in names for b in TABLES[n][0]))
    first = GOLDEN.profile_integrals(l, rho, profiles, singular)
    second = GOLDEN.profile_integrals(l, rho, profiles, singular, halve=True, method="tanh-sinh")
    norms = [mp.pi, mp.pi * (1 - mpf(GOLDEN.LD_COEFF) / 3)] + [GOLDEN.table_flux(*TABLES[n]) for n in names]
    keys = ["disk", "ld"] + ["table:" + n for n in names]
    values, errors = {}, {}
    for key, (v1, e1), (v2, e2), norm in zip(keys, first, second, norms):
        err = max(e1, e2, abs(v1 - v2) / abs(v1))
        if not err < MAX_REL_ERR:
            raise RuntimeError("l=%r rho=%r %s: estimated relative error %s" % (l_d, rho_d, key, mpmath.nstr(err, 3)))
        values[key] = mpmath.nstr(v1 / norm, DIGITS_OUT)
        errors[key] = float(err)
    return {"l": l_d, "rho": rho_d, "values": values, "oracle_rel_err": errors}


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("-j", "--jobs", type=int, default=2)
    ap.add_argument("--only", help="one grid point 'l,rho'; print its values")
    ap.add_argument("output", nargs="?", default=os.path.join(HERE, "..", "tests", "data", "route_oracle.json"))
    args = ap.parse_args()
    if args.only:
        l_d, rho_d, tables = args.only.split(",")
        json.dump(work((float(l_d), float(rho_d), tables == "1")), sys.stdout, indent=1)
        print()
        return
    points = [(l, rho, rho in TABLE_RHO_VALUES) for rho in RHO_VALUES for l in L_VALUES]
    with multiprocessing.Pool(args.jobs) as pool:
        cases = []
        for case in pool.imap(work, points):
            print("l=%-12r rho=%-7r done" % (case["l"], case["rho"]), file=sys.stderr, flush=True)
            cases.append(case)
    doc = {
        "meta": {
            "script": "tools/gen_route_oracle.py",
            "dps": DPS,
            "mpmath_version": mpmath.__version__,
            "max_oracle_rel_err": MAX_REL_ERR,
            "digits": DIGITS_OUT,
            "re": 1.0,
            "builtin_profile": "I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)), normalised by its exact flux 0.8 pi",
        },
        "tables": {k: {"bl": v[0], "bf": v[1]} for k, v in sorted(TABLES.items())},
        "cases": cases,
    }
    with open(args.output, "w") as fh:
        json.dump(doc, fh, indent=1)
        fh.write("\n")


if __name__ == "__main__":
    main()
