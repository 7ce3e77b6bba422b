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
  law    a limb-darkening law I(mu) of workloads.LAWS (batman's conventions),
         integrated in the angle theta, x = sin theta, mu = cos theta:
           int_0^{pi/2} 2 pi sin(theta) [mu I(mu)] A_ring(l, sin theta) dtheta / F,
         so that mu keeps its digits at the limb, where the laws with sqrt(mu),
         mu ln mu, mu^alpha or 1/(1 - e^mu) are singular (mu I(mu) stays
         bounded for all of them); tanh-sinh, split at the lens theta = asin(l)
         and geometrically toward an end near it. F = 2 pi int_0^1 mu I(mu) dmu
         is the law's exact flux (law_flux). Every law at one (l, rho) is
         integrated on the same nodes, sharing the ring averages. The same
         integral of the linear law 0.6 and of the uniform disk reproduces the
         "ld" and "disk" values, computed in x, to their 20 stored digits (3e-20 at most;
         --check-angle).

Each value is stored with the quadrature's own error estimate, which must be
below MAX_REL_ERR. Keys: "profile|rho=R" or "law(c1,...)|rho=R" (workloads.law_label),
then float.hex(l); values are strings of DIGITS_OUT significant digits.

Usage: make_oracle.py [-j JOBS] [--workload NAME ...] [--check N] [--check-angle N]
  fills in the values the cache lacks (a full cache from nothing takes about
  20 minutes on two cores for the profiles, and as long on one core for the
  laws); --check N recomputes the first N cached values of every key (cheapest
  points) and reports the largest relative difference; --check-angle N
  recomputes N disk and ld values of each rho by the laws' route.
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


def law_flux(law, c):
    """2 pi int_0^1 mu I(mu) dmu, exactly: int_0^1 mu (1 - mu) = 1/6,
    mu (1 - mu)^2 = 1/12, mu (1 - sqrt mu) = 1/10, mu^2 ln mu = -1/9,
    mu (1 - mu^a) = 1/2 - 1/(a + 2), and int_0^1 mu / (e^mu - 1) dmu
    = pi^2/6 + ln(1 - 1/e) - Li2(1/e)."""
    c = [mpf(v) for v in c]
    half = mpf(1) / 2
    if law == "uniform":
        f = half
    elif law == "nonlinear":
        f = half - sum(ck * (half - 2 / mpf(k + 5)) for k, ck in enumerate(c))
    elif law == "power2":
        f = half - c[0] * (half - 1 / (c[1] + 2))
    else:
        f = half - c[0] / 6
        if law == "quadratic":
            f -= c[1] / 12
        elif law == "squareroot":
            f -= c[1] / 10
        elif law == "logarithmic":
            f += c[1] / 9
        elif law == "exponential":
            e1 = mp.exp(-1)
            f += c[1] * (mp.pi ** 2 / 6 + mp.log(1 - e1) - mp.polylog(2, e1))
        elif law != "linear":
            raise ValueError(law)
    return 2 * mp.pi * f


def mu_brightness(law, c, mu):
    """mu I(mu), bounded for every law (the exponential's mu / (1 - e^mu) -> -1 at the limb).
    c may be mpf or floats: mpmath converts a float operand exactly, so both give the
    same digits; law_values converts them once, not at every node."""
    if mu == 0:
        return -mpf(c[1]) if law == "exponential" else mpf(0)
    return mu * workloads.brightness(law, c, mu, mp)


def law_values(l, rho, laws):
    """[(value, estimated relative error)] of each (law, coefficients) at (l, rho), mpf."""
    half_pi = mp.pi / 2
    rings, inner_err = {}, [mpf(0)]

    def ring_at(theta):
        value = rings.get(theta)
        if value is None:
            x = mp.sin(theta)
            if x == l:                 # a node rounded onto the log singularity: weight < 1e-40
                value = mpf(0)
            else:
                value, err = golden.ring_average(l, x, rho)
                inner_err[0] = max(inner_err[0], err)
            rings[theta] = value
        return value

    # The lens: inside [0, pi/2] for l <= 1; beyond the limb at a distance
    # acosh(l) from it in the complex theta plane (sin(pi/2 + i t) = cosh t).
    lens = mp.asin(l) if l <= 1 else half_pi + mp.acosh(l)
    pts = golden.split_points(mpf(0), half_pi, [mpf(0), lens, half_pi])
    out = []
    for law, c in laws:
        c_mp = [mpf(v) for v in c]

        def integrand(theta):
            return 2 * mp.pi * mp.sin(theta) * mu_brightness(law, c_mp, mp.cos(theta)) * ring_at(theta)
        value, err = mp.quad(integrand, pts, method="tanh-sinh", error=True)
        out.append((value / law_flux(law, c), max(err / abs(value), inner_err[0])))
    return out


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


def oracle_values(profile, l_double, rho_double, laws=()):
    """[(value, estimated relative error)] at separation l, source radius rho
    (doubles): one for "disk", "ld" or "table"; one per (law, coefficients)
    of `laws` for "law"."""
    with mp.workdps(DPS):
        l, rho = mpf(l_double), mpf(rho_double)
        if profile == "disk":
            return [golden.disk_lens_centred(l, rho)]
        if profile == "ld":
            (v, e), = golden.profile_integrals(l, rho, [golden.ld_profile], [])
            return [(v / ld_norm(), e)]
        if profile == "table":
            return [table_value(l, rho)]
        if profile == "law":
            return law_values(l, rho, laws)
        raise ValueError(profile)


def oracle_value(profile, l_double, rho_double, law=None):
    """(value, estimated relative error) of one profile or law."""
    return oracle_values(profile, l_double, rho_double, [law] if law else ())[0]


# The (law, coefficients) of each law's cache key prefix.
LAW_OF_LABEL = {workloads.law_label(*law): law for law in workloads.LAWS}


def parse_key(key):
    """(profile, rho, law or None) of a cache key "profile|rho=R" or "law(c,...)|rho=R"."""
    what, rho = key.split("|rho=")
    if what in LAW_OF_LABEL:
        return "law", float(rho), LAW_OF_LABEL[what]
    return what, float(rho), None


def _work(job):
    """job: (profile, l, rho, ((key, law or None), ...)), every key at the same point."""
    profile, l, rho, items = job
    t0 = time.time()
    results = oracle_values(profile, l, rho, [law for _, law in items if law])
    out = []
    for (key, _), (value, err) in zip(items, results):
        if not err < MAX_REL_ERR:
            raise RuntimeError("%s l=%r: estimated relative error %s" % (key, l, mpmath.nstr(err, 3)))
        out.append((key, mpmath.nstr(value, DIGITS_OUT), float(err)))
    return float.hex(l), out, time.time() - t0


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
        "law": "I(mu) of the law in batman's conventions with the coefficients of the key "
               "(doubles), integrated in theta = asin(x), normalised by its exact flux",
        "keys": "profile|rho or law(coefficients)|rho, then float.hex of the separation l "
                "in source radii",
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
    """Jobs of the values the cache lacks: one per point of a "disk", "ld" or
    "table" key; one per point for all the laws that lack it there."""
    jobs = {}
    for w in chosen:
        have = doc["values"].get(w.oracle_key, {})
        for l in w.sample():
            if float.hex(l) in have:
                continue
            group = "law" if w.profile == "law" else w.oracle_key
            items = jobs.setdefault((group, w.profile, l, w.rho), [])
            item = (w.oracle_key, (w.law, w.coefficients) if w.profile == "law" else None)
            if item not in items:
                items.append(item)
    return [(profile, l, rho, tuple(items)) for (_, profile, l, rho), items in jobs.items()]


def fill(doc, jobs, processes=2, path=CACHE, log=sys.stderr):
    """Computes the jobs, storing each value in doc (and the cache file) as it comes."""
    if not jobs:
        return
    # Cheapest first, so an interrupted run keeps the most values.
    order = {"disk": 0, "ld": 1, "law": 2, "table": 3}
    jobs = sorted(jobs, key=lambda j: order[j[0]])
    count = sum(len(j[3]) for j in jobs)
    done = 0
    with multiprocessing.Pool(processes) as pool:
        for lhex, results, took in pool.imap_unordered(_work, jobs):
            for key, value, err in results:
                doc["values"].setdefault(key, {})[lhex] = {"value": value, "rel_err": err}
            done += len(results)
            print("oracle %4d/%d %-24s l=%-22r %6.1f s" % (done, count, results[0][0] +
                  (" +%d" % (len(results) - 1) if len(results) > 1 else ""),
                  float.fromhex(lhex), took), file=log, flush=True)
            save(doc, path)


def check(doc, count):
    """Recomputes `count` cached values of each profile key; returns the largest relative difference."""
    worst = 0.0
    for key, values in sorted(doc["values"].items()):
        profile, rho, law = parse_key(key)
        items = sorted(values.items(), key=lambda kv: -float.fromhex(kv[0]))[:count]
        for lhex, entry in items:
            value, _ = oracle_value(profile, float.fromhex(lhex), rho, law)
            diff = float(abs(value - mpf(entry["value"])) / abs(value))
            worst = max(worst, diff)
            print("%-16s l=%-22r cached %s recomputed %s" % (key, float.fromhex(lhex), entry["value"],
                  mpmath.nstr(value, DIGITS_OUT)))
    return worst


def angle_route_value(profile, l_double, rho_double):
    """A "disk" or "ld" value by the laws' route in theta: the uniform law, or
    the linear law 0.6. The "ld" values take the decimal 0.6 in the brightness
    and the double 0.6 in the flux (9e-18 apart), and so does this one."""
    with mp.workdps(DPS):
        if profile == "disk":
            return oracle_value("law", l_double, rho_double, ("uniform", ()))[0]
        linear = ("linear", (golden.LD_COEFF,))
        return (oracle_value("law", l_double, rho_double, linear)[0] * law_flux(*linear)
                / law_flux("linear", (workloads.LD_COEFF,)))


def check_angle_route(doc, count):
    """The laws' route against `count` cached "disk" and "ld" values of each
    rho (computed in x, or lens-centred); the largest relative difference."""
    worst = 0.0
    for key, values in sorted(doc["values"].items()):
        profile, rho, _ = parse_key(key)
        if profile not in ("disk", "ld"):
            continue
        items = sorted(values.items(), key=lambda kv: float.fromhex(kv[0]))
        for lhex, entry in items[::max(1, len(items) // count)][:count]:
            l = float.fromhex(lhex)
            value = angle_route_value(profile, l, rho)
            diff = float(abs(value - mpf(entry["value"])) / abs(value))
            worst = max(worst, diff)
            print("%-16s l=%-22r in theta %s, relative difference %.1e"
                  % (key, l, mpmath.nstr(value, DIGITS_OUT), diff))
    return worst


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("-j", "--jobs", type=int, default=2, help="processes (default 2)")
    ap.add_argument("--workload", action="append", help="only this workload (repeatable)")
    ap.add_argument("--check", type=int, default=0, metavar="N",
                    help="recompute N cached values per profile instead of filling in")
    ap.add_argument("--check-angle", type=int, default=0, metavar="N",
                    help="N disk and ld values of each rho by the laws' route in theta")
    args = ap.parse_args()
    doc = load()
    if args.check_angle:
        worst = check_angle_route(doc, args.check_angle)
        print("largest relative difference: %.2e" % worst)
        return 0 if worst < 1e-18 else 1
    if args.check:
        worst = check(doc, args.check)
        print("largest relative difference: %.2e" % worst)
        return 0 if worst < 1e-15 else 1
    chosen = workloads.by_name(args.workload) if args.workload else workloads.WORKLOADS
    jobs = missing(doc, chosen)
    print("%d oracle values to compute" % sum(len(j[3]) for j in jobs), file=sys.stderr)
    fill(doc, jobs, args.jobs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
