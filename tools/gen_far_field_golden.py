#!/usr/bin/env python3
"""Golden magnifications of extended sources far from the lens (u >= 1.5 rho),
for the far-field series: the point-source magnification averaged over the
source by mpmath quadrature, with the oracle of tools/gen_lens_golden.py
(ring averages of A_ps by quadrature in the angle, then quadrature in the
radius fraction split at the table radii; no closed form, no series).

Profiles: the uniform disk, the linear law 1 - 0.6 (1 - sqrt(1 - x^2)) and
four tables (a kink, a drop to 0 inside the source, a hole at the centre,
20 rows of a quadratic law), each normalised by its exact flux. Working precision
DPS digits; the run aborts where a quadrature error estimate exceeds
MAX_REL_ERR. (tests/cpp/test_far_field.cpp compares
the values with the series, an independent formula, to ~1e-15.)

Output (TSV, one row per point): profile, rho, u, flux (the normalisation,
rounded to a double), value (20 digits), estimated relative error.

Usage: gen_far_field_golden.py [-j JOBS] [--only N] [OUTPUT]
  --only N keeps every N-th point (the CI check regenerates a subset and
  compares it with the checked-in rows). The full run takes about 8 minutes
  with -j 2.
"""

import argparse
import multiprocessing
import os
import sys

import mpmath
from mpmath import mp, mpf

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_lens_golden as oracle  # noqa: E402

DPS = 20
oracle.DPS = DPS          # the ring averages' working precision
mp.dps = DPS
MAX_REL_ERR = 1e-17
DIGITS_OUT = 20

RHOS = ["1e-4", "0.01", "0.1", "0.3", "1", "3"]
# u / rho: below, at and just above the series' switch, then far beyond.
RATIOS = ["1.5", "1.9", "2.2", "3", "10"]
FAR_U = ["1000", "1e6"]


def quadratic_law_table():
    xs = [j / 19 for j in range(20)]
    bf = []
    for x in xs:
        mu = mp.sqrt(1 - mpf(x) ** 2)
        bf.append(float(1 - mpf("0.4") * (1 - mu) - mpf("0.25") * (1 - mu) ** 2))
    return xs, bf


TABLES = {
    "kink": ([0.0, 0.3, 1.0], [1.0, 0.9, 0.3]),
    "drop": ([0.0, 0.7], [1.0, 0.6]),
    "hole": ([0.3, 0.6, 1.0], [1.0, 0.9, 0.5]),
    "quad20": quadratic_law_table(),
}
PROFILES = ["disk", "ld"] + sorted(TABLES)


def points():
    out = []
    for rho in RHOS:
        for ratio in RATIOS:
            out.append((rho, str(mpf(rho) * mpf(ratio))))
        for u in FAR_U:
            if mpf(u) > 100 * mpf(rho):
                out.append((rho, u))
    return out


def fluxes():
    out = {"disk": mp.pi, "ld": mp.pi * (1 - mpf(oracle.LD_COEFF) / 3)}
    for name, (bl, bf) in TABLES.items():
        out[name] = oracle.table_flux(bl, bf)
    return out


def work(point):
    rho_s, u_s = point
    with mp.workdps(DPS):
        rho, u = mpf(rho_s), mpf(u_s)
        l = u / rho
        profiles = [lambda x: mpf(1), oracle.ld_profile] + \
            [oracle.table_profile(*TABLES[name]) for name in sorted(TABLES)]
        # The 20-row table apart: its radii would split every other integral.
        few = [p for p in PROFILES if p != "quad20"]
        results = dict(zip(few, oracle.profile_integrals(
            l, rho, [profiles[PROFILES.index(p)] for p in few],
            sorted(set(mpf(b) for name in few if name in TABLES for b in TABLES[name][0])))))
        results["quad20"] = oracle.profile_integrals(
            l, rho, [profiles[PROFILES.index("quad20")]], [mpf(b) for b in TABLES["quad20"][0]])[0]
        norms = fluxes()
        rows = []
        for name in PROFILES:
            v1, err = results[name]
            if not err < MAX_REL_ERR:
                raise RuntimeError("%s rho=%s u=%s: estimated relative error %s"
                                   % (name, rho_s, u_s, mpmath.nstr(err, 3)))
            rows.append((name, rho_s, u_s, repr(float(norms[name])),
                         mpmath.nstr(v1 / norms[name], DIGITS_OUT), "%.1e" % float(err)))
        return rows


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("-j", "--jobs", type=int, default=2)
    ap.add_argument("--only", type=int, default=1, help="keep every N-th point")
    ap.add_argument("output", nargs="?",
                    default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                         "..", "tests", "data", "far_field_golden.tsv"))
    args = ap.parse_args()
    pts = points()[::args.only]
    with multiprocessing.Pool(args.jobs) as pool:
        results = pool.map(work, pts, chunksize=1)
    with open(args.output, "w") as fh:
        fh.write("# tools/gen_far_field_golden.py: dps=%d max_rel_err=%g digits=%d mpmath=%s\n"
                 % (DPS, MAX_REL_ERR, DIGITS_OUT, mpmath.__version__))
        for name, (bl, bf) in sorted(TABLES.items()):
            fh.write("# table %s bl=%s bf=%s\n" % (name, " ".join(repr(v) for v in bl),
                                                  " ".join(repr(v) for v in bf)))
        fh.write("profile\trho\tu\tflux\tvalue\toracle_rel_err\n")
        for rows in results:
            for row in rows:
                fh.write("\t".join(row) + "\n")


if __name__ == "__main__":
    main()
