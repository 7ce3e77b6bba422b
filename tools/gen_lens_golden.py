#!/usr/bin/env python3
"""Golden magnifications of extended sources by a point-mass lens, computed
by direct quadrature of the point-source magnification with mpmath.

This is an oracle that shares nothing with the module: no elliptic
integrals, no closed forms of the ring or the disk. Every value is an
average of the point-source magnification (Paczynski 1986)

    A_ps(u) = (u^2 + 2) / (u sqrt(u^2 + 4)),   u in Einstein radii,

over the source, evaluated at DPS decimal digits.

Lengths l (lens to source centre), r (ring radius) and the table radii are
in source radii; rho = rstar / re is the source radius in Einstein radii.

  ring   A_ring(l, r) = (1/pi) int_0^pi A_ps(rho d(phi)) dphi,
         d^2 = (l - r)^2 + 4 l r sin^2(phi/2).
         The integrand peaks at phi = 0 with width |l - r| / sqrt(l r); with
         sin(phi/2) = a sinh(v), a = |l - r| / (2 sqrt(l r)), the part
         phi < pi/2 becomes smooth in v (d = |l - r| cosh v), and is summed
         in pieces of length <= 8 in v; phi in [pi/2, pi] stays as it is.
  profile-weighted source, brightness I(x), x the radius fraction:
         A = int_0^1 I(x) 2 pi x A_ring(l, x) dx / int_0^1 I(x) 2 pi x dx,
         tanh-sinh in x, split at x = l (log singularity of A_ring), at the
         table radii (kinks of a tabulated profile), and geometrically toward
         an end point that lies close to a singular point outside its piece
         (a lens just outside the limb, a kink next to the lens).
  uniform disk   I = 1, normalisation pi.
  linear limb darkening, coefficient 0.6:
         I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)), normalisation 0.8 pi (exact).
  tabulated profile: piecewise linear through (bl_j, bf_j), 0 outside
         [bl_0, bl_last]; its normalisation is the exact integral of the
         piecewise polynomial.
  discrete rings: sum_j bf_j A_ring(l, bl_j), no normalisation.

Checks, all per point (a failing check aborts the run):
  - the quadrature error estimates of the inner and outer integrals;
  - every uniform-disk value against a second, independent formula: the
    lens-centred integral (1/pi) int A_ps(rho s) s theta(s) ds, where
    theta(s) is the angle of the circle of radius s about the lens that lies
    inside the source (elementary), so a one-dimensional integral;
  - every profile-weighted value against a recomputation with every outer
    piece halved and the inner integrals by tanh-sinh instead of
    Gauss-Legendre (different nodes everywhere);
  - the estimated relative error stored with each value is the largest of
    these and must be below MAX_REL_ERR.

Usage: gen_lens_golden.py [-j JOBS] [--limit N] [OUTPUT]
  (default output tests/data/lens_golden.json; about 10 minutes with -j 2,
  faster with the optional gmpy2 backend of mpmath, which does not change
  the values). Deterministic: the points come from random.Random(SEED) and the
  values are rounded to 20 significant digits, so the output depends neither
  on JOBS nor on the backend.
"""

import argparse
import json
import multiprocessing
import os
import random
import sys
import time

import mpmath
from mpmath import mp, mpf

DPS = 30
SEED = 20240611
MAX_REL_ERR = 1e-14
DIGITS_OUT = 20
INNER_PIECE = 8          # largest length of a piece of the inner v-integral
LD_COEFF = "0.6"          # linear limb-darkening coefficient of the built-in profile

mp.dps = DPS

# Tabulated profiles used by the flux-map cases: (bl, bf), doubles.
TABLES = {
    # Linear limb darkening sampled at its two ends: the profile is linear,
    # so the table has no interior kink.
    "linear2": ([0.0, 1.0], [1.0, 0.4]),
    # One interior kink.
    "three": ([0.0, 0.5, 1.0], [1.0, 0.8, 0.4]),
    # The built-in profile sampled every 0.2 of the radius.
    "ld6": ([0.0, 0.2, 0.4, 0.6, 0.8, 1.0],
            [1.0, 0.9878775382679628, 0.9499090833947009,
             0.88, 0.76, 0.4]),
    # Zero outside [0.2, 0.9]: the interpolated profile jumps there.
    "band": ([0.2, 0.6, 0.9], [0.5, 1.0, 0.3]),
}


# --------------------------------------------------------------------------
# Point source and thin ring

def ps_mag(u):
    """A_ps(u)."""
    u2 = u * u
    return (u2 + 2) / (u * mp.sqrt(u2 + 4))


def ps_mag_times_u(u):
    """A_ps(u) * u, finite at u = 0."""
    u2 = u * u
    return (u2 + 2) / mp.sqrt(u2 + 4)


def ring_average(l, r, rho, method="gauss-legendre"):
    """(A_ring(l, r), estimated relative error); l, r, rho are mpf."""
    with mp.workdps(DPS):
        delta = l - r
        if delta == 0:
            return mp.inf, mpf(0)
        if l * r == 0:
            return ps_mag(rho * abs(delta)), mpf(0)
        ad = abs(delta)
        g = 2 * mp.sqrt(l * r)          # d^2 = delta^2 + g^2 sin^2(phi/2)
        a = ad / g
        v_end = mp.asinh(mp.sqrt(2) / (2 * a))   # phi = pi/2
        c0 = 1 / (rho * g)

        # dphi = 2 ds / sqrt(1 - s^2), ds = a cosh v dv, A_ps(w) a cosh v = A_ps(w) w c0
        def near(v):
            s = a * mp.sinh(v)
            return ps_mag_times_u(rho * ad * mp.cosh(v)) * c0 / mp.sqrt(1 - s * s)

        pieces = max(1, int(mp.ceil(v_end / INNER_PIECE)))
        i1, e1 = mp.quad(near, mp.linspace(0, v_end, pieces + 1), method=method, error=True)
        d2, g2 = delta * delta, g * g

        def far(phi):
            s = mp.sin(phi / 2)
            return ps_mag(rho * mp.sqrt(d2 + g2 * s * s))

        i2, e2 = mp.quad(far, [mp.pi / 2, mp.pi], method=method, error=True)
        value = (2 * i1 + i2) / mp.pi
        return value, (2 * e1 + e2) / mp.pi / value


# --------------------------------------------------------------------------
# Outer integrals over the radius fraction

def split_points(lo, hi, singular, halve=False):
    """Break points of [lo, hi]: the singular points inside it, and toward each
    end point a geometric sequence (10 d, 100 d, ...) when another singular
    point lies at a distance d from it that is small against its piece."""
    inner = sorted(set([lo, hi] + [p for p in singular if lo < p < hi]))
    out = [inner[0]]
    for a, b in zip(inner[:-1], inner[1:]):
        length = b - a
        extra = []
        for end, sign in ((a, 1), (b, -1)):
            dists = [abs(p - end) for p in singular if p != end]
            if not dists:
                continue
            step = 10 * min(dists)
            while step < length / 2:
                extra.append(end + sign * step)
                step *= 10
        pts = sorted(set(extra)) + [b]
        prev = out[-1]
        for p in pts:
            if halve:
                out.append((prev + p) / 2)
            out.append(p)
            prev = p
    return out


def ld_profile(x):
    return 1 - mpf(LD_COEFF) * (1 - mp.sqrt(1 - x * x))


def table_profile(bl, bf):
    bl = [mpf(v) for v in bl]
    bf = [mpf(v) for v in bf]

    def profile(x):
        if x < bl[0] or x > bl[-1]:
            return mpf(0)
        for j in range(len(bl) - 1):
            if bl[j] <= x <= bl[j + 1]:
                t = (x - bl[j]) / (bl[j + 1] - bl[j])
                return bf[j] + t * (bf[j + 1] - bf[j])
        return bf[-1]
    return profile


def table_flux(bl, bf):
    """Exact int_0^1 2 pi x I(x) dx of the piecewise-linear profile."""
    total = mpf(0)
    for j in range(len(bl) - 1):
        x0, x1 = max(mpf(bl[j]), mpf(0)), min(mpf(bl[j + 1]), mpf(1))
        if x1 <= x0:
            continue
        slope = (mpf(bf[j + 1]) - mpf(bf[j])) / (mpf(bl[j + 1]) - mpf(bl[j]))
        c0 = mpf(bf[j]) - slope * mpf(bl[j])      # I(x) = c0 + slope x
        total += 2 * mp.pi * (c0 * (x1**2 - x0**2) / 2 + slope * (x1**3 - x0**3) / 3)
    return total


def profile_integrals(l, rho, profiles, singular, halve=False, method="gauss-legendre"):
    """[(int_0^1 I(x) 2 pi x A_ring(l, x) dx, rel. error estimate)] for each
    profile, sharing the ring evaluations between the profiles."""
    cache = {}
    inner_err = [mpf(0)]

    def ring_at(x):
        value = cache.get(x)
        if value is None:
            if x == l:
                # The node coincides with the log singularity only when it
                # is rounded onto it; its weight is then below 1e-40.
                value = mpf(0)
            else:
                value, err = ring_average(l, x, rho, method)
                inner_err[0] = max(inner_err[0], err)
            cache[x] = value
        return value

    # 0 is the pole of A_ps(rho x) that the ring average approaches as l -> 0.
    pts = split_points(mpf(0), mpf(1), [mpf(0), l, mpf(1)] + list(singular), halve)
    results = []
    for prof in profiles:
        value, err = mp.quad(lambda x: prof(x) * 2 * mp.pi * x * ring_at(x), pts,
                             method="tanh-sinh", error=True)
        results.append((value, max(err / abs(value), inner_err[0])))
    return results


def disk_lens_centred(l, rho):
    """Uniform disk by the lens-centred integral, (value, rel. error)."""
    def f(s):
        return ps_mag_times_u(rho * s) / rho

    if l == 0:
        v, e = mp.quad(f, [0, 1], error=True)
        return 2 * v, e / v
    lo, hi = abs(1 - l), 1 + l

    def arc(s):
        c = (s * s + l * l - 1) / (2 * s * l)
        c = min(max(c, mpf(-1)), mpf(1))
        return f(s) * 2 * mp.acos(c)

    total, err = mpf(0), mpf(0)
    if l < 1:
        v, e = mp.quad(f, split_points(mpf(0), lo, [hi]), error=True)
        total += 2 * mp.pi * v
        err += 2 * mp.pi * e
    v, e = mp.quad(arc, split_points(lo, hi, [mpf(0)]), error=True)
    total += v
    err += e
    return total / mp.pi, err / total


# --------------------------------------------------------------------------
# Points

def region_of(l):
    if abs(l - 1) < 1e-3:
        return "limb"
    return "inside" if l < 1 else "outside"


def log_uniform(rng, lo, hi):
    return 10 ** rng.uniform(lo, hi)


def make_points():
    rng = random.Random(SEED)
    table_names = sorted(TABLES)

    # Source points: (id, l, re, rstar, table) for the disk, the built-in
    # profile, one tabulated profile and the discrete ring sum.
    src = [
        ("ref_l2_rho0.1", 2.0, 1.0, 0.1),
        ("ref_l20_rho0.1", 20.0, 1.0, 0.1),
        ("ref_l0.5_rho0.1", 0.5, 1.0, 0.1),
        ("ref_l0.05_rho0.1", 0.05, 1.0, 0.1),
        ("ref_l1.5_rho1", 1.5, 1.0, 1.0),
        ("ref_l1.00005_rho0.1", 1.00005, 1.0, 0.1),
        ("ref_l0_rho0.1", 0.0, 1.0, 0.1),
        ("ref_l5_rho0.1", 5.0, 1.0, 0.1),
        ("ref_l2_rho0.5", 2.0, 1.0, 0.5),
        ("ref_l0.6_rho0.5", 0.6, 1.0, 0.5),
        ("ref_l0.9_rho0.1", 0.9, 1.0, 0.1),
    ]
    res = [1.0, 1.0, 0.37, 4.2]

    def rand_rho():
        return log_uniform(rng, -3, 1)

    def add(prefix, i, l, rho):
        re = rng.choice(res)
        rstar = float(mpf(rho) * mpf(re))
        src.append(("%s%02d" % (prefix, i), l, re, rstar))

    for i in range(26):                      # inside, away from the limb
        l = rng.uniform(0.002, 0.998) if i % 3 else log_uniform(rng, -3, -0.5)
        add("in", i, l, rand_rho())
    for i in range(24):                      # limb: |l - 1| from 1e-3 down to 1e-7
        eps = log_uniform(rng, -7, -3)
        l = 1 + eps if i % 2 else 1 - eps
        add("limb", i, l, rand_rho())
    for i in range(26):                      # outside, 1.001 < l < 100
        add("out", i, log_uniform(rng, 0.0005, 2), rand_rho())
    # Lens next to the centre: rings smaller than 1e-6 lie within the
    # thin-ring form's near-ring band.
    src += [("centre_l1e-12_rho0.1", 1e-12, 1.0, 0.1),
            ("centre_l1e-9_rho0.1", 1e-9, 1.0, 0.1),
            ("centre_l1e-6_rho0.1", 1e-6, 1.0, 0.1),
            ("centre_l1e-4_rho0.001", 1e-4, 1.0, 0.001)]
    src = [(pid, l, re, rstar, table_names[k % len(table_names)])
           for k, (pid, l, re, rstar) in enumerate(src)]

    # Extra discrete ring sums (cheap: one ring per table entry).
    disc = []
    for i in range(40):
        table = table_names[i % len(table_names)]
        while True:
            l = rng.choice([rng.uniform(0, 1.2), log_uniform(rng, -3, 2)])
            if all(abs(l - b) > 1e-5 for b in TABLES[table][0]):
                break
        rho = rand_rho()
        re = rng.choice(res)
        disc.append(("disc%02d" % i, l, re, float(mpf(rho) * mpf(re)), table))

    # Thin rings: (id, l, r, re, rstar).
    ring = [
        ("ref_l2_r0_rho1", 2.0, 0.0, 1.0, 1.0),
        ("ref_l2_r0.5_rho0.1", 2.0, 0.5, 1.0, 0.1),
        ("ref_l0.5_r2_rho0.1", 0.5, 2.0, 1.0, 0.1),
        ("ref_l3_r1_rho1", 3.0, 1.0, 1.0, 1.0),
        ("ref_l1_r0.5_rho0.5", 1.0, 0.5, 1.0, 0.5),
        ("ref_inside_5e-7", 0.5 - 5e-7, 0.5, 1.0, 0.5),
        ("ref_outside_5e-7", 0.5 + 5e-7, 0.5, 1.0, 0.5),
        ("ref_outside_2e-6", 0.5 + 2e-6, 0.5, 1.0, 0.5),
    ]
    for i in range(50):                      # general pairs
        l = rng.choice([rng.uniform(0, 3), log_uniform(rng, -3, 2)])
        r = rng.choice([rng.uniform(0, 1), log_uniform(rng, -3, 0.3)])
        if abs(l - r) < 1e-3:
            l += 0.01
        re = rng.choice(res)
        ring.append(("gen%02d" % i, l, r, re, float(mpf(rand_rho()) * mpf(re))))
    for i in range(40):                      # lens near the ring, 1e-6 <= |l - r| < 1e-2
        r = rng.uniform(0.05, 1.0)
        d = log_uniform(rng, -5.9, -2) * (1 if i % 2 else -1)
        re = rng.choice(res)
        ring.append(("near%02d" % i, r + d, r, re, float(mpf(rand_rho()) * mpf(re))))
    for i in range(16):                      # the log band, |l - r| < 1e-6
        r = rng.uniform(0.05, 1.0)
        d = rng.uniform(1e-8, 9.5e-7) * (1 if i % 2 else -1)
        re = rng.choice(res)
        ring.append(("band%02d" % i, r + d, r, re, float(mpf(rand_rho()) * mpf(re))))
    for i in range(4):                       # r = 0 and l = 0: point source
        re = rng.choice(res)
        rho = float(mpf(rand_rho()) * mpf(re))
        x = log_uniform(rng, -2, 1)
        ring.append(("axis%02d" % i, x if i % 2 else 0.0, 0.0 if i % 2 else x, re, rho))
    ring += [                                # rings and lenses next to the centre
        ("centre_l0_r1e-7", 0.0, 1e-7, 1.0, 0.1),
        ("centre_l0_r5e-7", 0.0, 5e-7, 1.0, 0.1),
        ("centre_l0_r2e-6", 0.0, 2e-6, 1.0, 0.1),
        ("centre_l1e-7_r0", 1e-7, 0.0, 1.0, 0.1),
        ("centre_l1e-9_r3e-7", 1e-9, 3e-7, 1.0, 0.1),
        ("centre_l1e-12_r0.3", 1e-12, 0.3, 1.0, 0.1),
    ]
    return src, disc, ring


# --------------------------------------------------------------------------
# Work units (run in worker processes)

def rho_of(re, rstar):
    return mpf(rstar) / mpf(re)


def check(pid, what, err):
    if not err < MAX_REL_ERR:
        raise RuntimeError("%s %s: estimated relative error %s" % (pid, what, mpmath.nstr(err, 3)))


def rel(a, b):
    return abs(a - b) / abs(a)


def work_source(point):
    pid, l_d, re, rstar, table = point
    t0 = time.time()
    l, rho = mpf(l_d), rho_of(re, rstar)
    bl, bf = TABLES[table]
    profiles = [lambda x: mpf(1), ld_profile, table_profile(bl, bf)]
    singular = [mpf(b) for b in bl]
    first = profile_integrals(l, rho, profiles, singular)
    second = profile_integrals(l, rho, profiles, singular, halve=True, method="tanh-sinh")
    # int_0^1 2 pi x (1 - c (1 - sqrt(1 - x^2))) dx = pi (1 - c/3), 0.8 pi for c = 0.6
    norms = [mp.pi, mp.pi * (1 - mpf(LD_COEFF) / 3), table_flux(bl, bf)]
    values, errs = [], []
    for (v1, e1), (v2, e2), n in zip(first, second, norms):
        values.append(v1 / n)
        errs.append(max(e1, e2, rel(v1, v2)))
    lc, lce = disk_lens_centred(l, rho)
    errs[0] = max(errs[0], lce, rel(values[0], lc))
    disc = mpf(0)
    derr = mpf(0)
    for b, w in zip(bl, bf):
        v, e = ring_average(l, mpf(b), rho)
        disc += mpf(w) * v
        derr = max(derr, e)
    for what, e in zip(("disk", "ld", "table"), errs):
        check(pid, what, e)
    check(pid, "discrete", derr)
    out = {"disk": values[0], "ld": values[1], "table": values[2], "discrete": disc}
    err = {"disk": errs[0], "ld": errs[1], "table": errs[2], "discrete": derr}
    return pid, {k: mpmath.nstr(v, DIGITS_OUT) for k, v in out.items()}, \
        {k: float(v) for k, v in err.items()}, time.time() - t0


def work_discrete(point):
    pid, l_d, re, rstar, table = point
    l, rho = mpf(l_d), rho_of(re, rstar)
    bl, bf = TABLES[table]
    total, err = mpf(0), mpf(0)
    for b, w in zip(bl, bf):
        v, e = ring_average(l, mpf(b), rho)
        v2, _ = ring_average(l, mpf(b), rho, "tanh-sinh")
        total += mpf(w) * v
        err = max(err, e, rel(v, v2) if mp.isfinite(v) else 0)
    check(pid, "discrete", err)
    return pid, mpmath.nstr(total, DIGITS_OUT), float(err)


def work_ring(point):
    pid, l_d, r_d, re, rstar = point
    l, r, rho = mpf(l_d), mpf(r_d), rho_of(re, rstar)
    v, e = ring_average(l, r, rho)
    v2, e2 = ring_average(l, r, rho, "tanh-sinh")
    err = max(e, e2, rel(v, v2))
    check(pid, "ring", err)
    return pid, mpmath.nstr(v, DIGITS_OUT), float(err)


# --------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("-j", "--jobs", type=int, default=2)
    ap.add_argument("--limit", type=int, default=0, help="only the first N points of each kind (trial runs)")
    ap.add_argument("output", nargs="?",
                    default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                         "..", "tests", "data", "lens_golden.json"))
    args = ap.parse_args()

    src, disc, ring = make_points()
    if args.limit:
        src, disc, ring = src[:args.limit], disc[:args.limit], ring[:args.limit]
    t0 = time.time()
    with multiprocessing.Pool(args.jobs) as pool:
        ring_res = pool.map(work_ring, ring, chunksize=4)
        disc_res = pool.map(work_discrete, disc, chunksize=4)
        src_res = []
        for res in pool.imap_unordered(work_source, src):
            src_res.append(res)
            print("%-22s %6.1f s" % (res[0], res[3]), file=sys.stderr, flush=True)
    src_res.sort(key=lambda r: [p[0] for p in src].index(r[0]))

    cases = []

    def case(function, pid, region, args_, golden, err):
        cases.append({"function": function, "id": pid, "region": region,
                      "args": args_, "golden": golden, "oracle_rel_err": err})

    for (pid, l, re, rstar, table), (_, vals, errs, _) in zip(src, src_res):
        region = region_of(l)
        base = {"l": l, "re": re, "rstar": rstar}
        tab = dict(base, table=table)
        case("witt_mao_magnification", pid, region, base, vals["disk"], errs["disk"])
        case("integrated_witt_mao_magnification", pid, region, base, vals["ld"], errs["ld"])
        case("integrated_heyrovsky_magnification", pid, region, base, vals["ld"], errs["ld"])
        case("integrated_flux_map_witt_mao_magnification", pid, region, tab, vals["table"], errs["table"])
        case("integrated_flux_map_heyrovsky_magnification", pid, region, tab, vals["table"], errs["table"])
        if all(l != b for b in TABLES[table][0]):
            case("discrete_flux_map_heyrovsky_magnification", pid, region, tab,
                 vals["discrete"], errs["discrete"])
    for (pid, l, re, rstar, table), (_, golden, err) in zip(disc, disc_res):
        case("discrete_flux_map_heyrovsky_magnification", pid, region_of(l),
             {"l": l, "re": re, "rstar": rstar, "table": table}, golden, err)
    for (pid, l, r, re, rstar), (_, golden, err) in zip(ring, ring_res):
        region = "limb" if abs(l - r) < 1e-3 else ("inside" if l < r else "outside")
        case("heyrovsky_magnification", pid, region,
             {"l": l, "r": r, "re": re, "rstar": rstar}, golden, err)

    doc = {
        "meta": {
            "script": "tools/gen_lens_golden.py",
            "dps": DPS,
            "seed": SEED,
            "mpmath_version": mpmath.__version__,
            "max_oracle_rel_err": MAX_REL_ERR,
            "digits": DIGITS_OUT,
            "builtin_profile": "I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)), normalised by its exact flux 0.8 pi",
            "regions": "source cases: limb |l - 1| < 1e-3, inside l < 1, outside l > 1; "
                       "ring cases: limb |l - r| < 1e-3, inside l < r, outside l > r",
        },
        "tables": {k: {"bl": v[0], "bf": v[1]} for k, v in sorted(TABLES.items())},
        "cases": cases,
    }
    print("%d cases in %.0f s" % (len(cases), time.time() - t0), file=sys.stderr)
    with open(args.output, "w") as fh:
        json.dump(doc, fh, indent=1)
        fh.write("\n")


if __name__ == "__main__":
    main()
