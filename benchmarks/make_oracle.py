#!/usr/bin/env python3
"""mpmath oracle of the comparison benchmark: the magnification of each
workload's sample points (benchmarks/workloads.py), cached in
benchmarks/data/oracle.json, which benchmarks/compare.py reads.

Every value is a direct quadrature of the point-source magnification
(u^2 + 2) / (u sqrt(u^2 + 4)) over the source, at DPS digits, with the ring
average and the outer radial integral of tools/gen_lens_golden.py:

  disk   the lens-centred integral (one dimension, elementary angle);
  ld     int_0^1 I(x) 2 pi x A_ring(l, x) dx / (pi (1 - c/3)), I the linear law;
  table  the same with the piecewise-linear profile through the 50 rows,
         normalised by its exact flux; the integral is split at every row and
         at l, Gauss-Legendre on the pieces (the integrand is smooth there)
         and tanh-sinh on the two pieces that end at the log singularity x = l.

Each value is stored with the quadrature's own error estimate, which must be
below MAX_REL_ERR. Keys: "profile|rho=R", then float.hex(l); values are
strings of DIGITS_OUT significant digits.

Usage: make_oracle.py [-j JOBS] [--workload NAME ...] [--check N]
  fills in the values the cache lacks (a full cache from nothing takes about
  20 minutes on two cores); --check N recomputes the first N cached values of
  every profile (cheapest points) and reports the largest relative difference.
"""

import argparse
import json
import multiprocessing
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tools"))

import mpmath                       # noqa: E402
from mpmath import mp, mpf          # noqa: E402

import gen_lens_golden as golden    # noqa: E402  (ring average, radial integrals, disk)
import workloads                    # noqa: E402

DPS = 30
MAX_REL_ERR = 1e-16
DIGITS_OUT = 20
CACHE = os.path.join(HERE, "data", "oracle.json")

golden.DPS = DPS
mp.dps = DPS


def ld_norm():
    return mp.pi * (1 - mpf(workloads.LD_COEFF) / 3)


def table_value(l, rho):
    bl, bf = workloads.TABLE_BL, workloads.TABLE_BF
    profile = golden.table_profile(bl, bf)
    rings = {}

    def integrand(x):
        if x == l:
            return mpf(0)
        value = rings.get(x)
        if value is None:
            value, err = golden.ring_average(l, x, rho)
            worst[0] = max(worst[0], err)
            rings[x] = value
        return profile(x) * 2 * mp.pi * x * value

    worst = [mpf(0)]
    pts = golden.split_points(mpf(0), mpf(1), [mpf(0), l, mpf(1)] + [mpf(b) for b in bl])
    total, err = mpf(0), mpf(0)
    for a, b in zip(pts[:-1], pts[1:]):
        method = "tanh-sinh" if l in (a, b) else "gauss-legendre"
        v, e = mp.quad(integrand, [a, b], method=method, error=True)
        total += v
        err += e
    return total / golden.table_flux(bl, bf), max(err / abs(total), worst[0])


def oracle_value(profile, l_double, rho_double):
    """(value, estimated relative error) at separation l, source radius rho (doubles)."""
    with mp.workdps(DPS):
        l, rho = mpf(l_double), mpf(rho_double)
        if profile == "disk":
            return golden.disk_lens_centred(l, rho)
        if profile == "ld":
            (v, e), = golden.profile_integrals(l, rho, [golden.ld_profile], [])
            return v / ld_norm(), e
        if profile == "table":
            return table_value(l, rho)
        raise ValueError(profile)


def _work(job):
    key, profile, l, rho = job
    t0 = time.time()
    value, err = oracle_value(profile, l, rho)
    if not err < MAX_REL_ERR:
        raise RuntimeError("%s l=%r: estimated relative error %s" % (key, l, mpmath.nstr(err, 3)))
    return key, float.hex(l), mpmath.nstr(value, DIGITS_OUT), float(err), time.time() - t0


def load(path=CACHE):
    if not os.path.exists(path):
        return {"meta": {}, "values": {}}
    with open(path) as fh:
        return json.load(fh)


def save(doc, path=CACHE):
    doc["meta"] = {
        "script": "benchmarks/make_oracle.py",
        "dps": DPS,
        "mpmath_version": mpmath.__version__,
        "max_oracle_rel_err": MAX_REL_ERR,
        "digits": DIGITS_OUT,
        "ld": "I(x) = 1 - %g (1 - sqrt(1 - x^2)), normalised by its exact flux" % workloads.LD_COEFF,
        "table": {"bl": workloads.TABLE_BL, "bf": workloads.TABLE_BF},
        "keys": "profile|rho, then float.hex of the separation l in source radii",
    }
    values = doc["values"]
    doc["values"] = {k: dict(sorted(values[k].items(), key=lambda kv: float.fromhex(kv[0])))
                     for k in sorted(values)}
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w") as fh:
        json.dump(doc, fh, indent=1)
        fh.write("\n")
    os.replace(tmp, path)


def missing(doc, chosen):
    jobs = []
    for w in chosen:
        have = doc["values"].get(w.oracle_key, {})
        for l in w.sample():
            job = (w.oracle_key, w.profile, l, w.rho)
            if float.hex(l) not in have and job not in jobs:
                jobs.append(job)
    return jobs


def fill(doc, jobs, processes=2, path=CACHE, log=sys.stderr):
    """Computes the jobs, storing each value in doc (and the cache file) as it comes."""
    if not jobs:
        return
    # Cheapest first, so an interrupted run keeps the most values.
    order = {"disk": 0, "ld": 1, "table": 2}
    jobs = sorted(jobs, key=lambda j: order[j[1]])
    with multiprocessing.Pool(processes) as pool:
        for i, (key, lhex, value, err, took) in enumerate(pool.imap_unordered(_work, jobs)):
            doc["values"].setdefault(key, {})[lhex] = {"value": value, "rel_err": err}
            print("oracle %3d/%d %-16s l=%-22r %6.1f s" % (i + 1, len(jobs), key,
                  float.fromhex(lhex), took), file=log, flush=True)
            save(doc, path)


def check(doc, count):
    """Recomputes `count` cached values of each profile key; returns the largest relative difference."""
    worst = 0.0
    for key, values in sorted(doc["values"].items()):
        profile, rho = key.split("|rho=")
        items = sorted(values.items(), key=lambda kv: -float.fromhex(kv[0]))[:count]
        for lhex, entry in items:
            value, _ = oracle_value(profile, float.fromhex(lhex), float(rho))
            diff = float(abs(value - mpf(entry["value"])) / abs(value))
            worst = max(worst, diff)
            print("%-16s l=%-22r cached %s recomputed %s" % (key, float.fromhex(lhex), entry["value"],
                  mpmath.nstr(value, DIGITS_OUT)))
    return worst


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("-j", "--jobs", type=int, default=2)
    ap.add_argument("--workload", action="append", help="only this workload (repeatable)")
    ap.add_argument("--check", type=int, default=0, metavar="N",
                    help="recompute N cached values per profile instead of filling in")
    args = ap.parse_args()
    doc = load()
    if args.check:
        worst = check(doc, args.check)
        print("largest relative difference: %.2e" % worst)
        return 0 if worst < 1e-15 else 1
    chosen = workloads.by_name(args.workload) if args.workload else workloads.WORKLOADS
    jobs = missing(doc, chosen)
    print("%d oracle values to compute" % len(jobs), file=sys.stderr)
    fill(doc, jobs, args.jobs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
