#!/usr/bin/env python3
"""Oracle values of the thin-ring magnification and of weighted ring sums,
made with mpmath, for tests/python/test_ring_oracle.py.

A thin uniform ring of radius r (source radii), centred on the source, lens at
distance l from the centre, beta = re/rstar the Einstein radius in source
radii. Its magnification is the ring average of the point-source
magnification (Paczynski 1986)

    A_ps(u) = (u^2 + 2) / (u sqrt(u^2 + 4)),
    A(l, r) = (1/pi) int_0^pi A_ps(d(phi)/beta) dphi,
    d^2 = (l - r)^2 + 4 l r sin^2(phi/2).

Two independent evaluations, at the exact doubles the module receives
(re and rstar as given, beta = re/rstar in exact arithmetic):
  closed   Heyrovsky's form 2/(pi (l+r) sqrt(4 beta^2 + (l-r)^2))
           [2 beta^2 K(m) + (l-r)^2 Pi(n, m)] with mpmath's ellipk, ellippi
           at CLOSED_DPS digits (m and n -> 1 at the ring lose up to ~30
           digits to 1 - m, 1 - n; the rest stay);
  quad     the average above by tanh-sinh at QUAD_DPS digits, with
           phi = b sinh(v), b = |l - r|/sqrt(l r), which turns the peak of
           width b at phi = 0 into a smooth integrand in v, summed in pieces
           of length <= 2 in v.
Every value is stored with the relative difference of the two, which must
be below MAX_REL_ERR. r = 0 (or l = 0) is the point-source value.

Cases (deterministic, random.Random(SEED)):
  near     |l - r|/r = 10^U(-14, -1), both sides, r in RADII, beta in BETAS,
           plus the two ends 1e-14 and 1e-1;
  far      l up to 1e6 source radii and beyond;
  extreme  one of l, r zero or tiny, rings at 1e-300 and 1e200;
  discrete weighted sums sum_j bf_j A(l, bl_j) with the lens near one ring.

Usage: gen_ring_oracle.py [OUTPUT]   (default tests/data/ring_oracle.json;
about a minute of one core).
"""

import json
import os
import random
import sys

import mpmath
from mpmath import mp, mpf

SEED = 20261208
CLOSED_DPS = 60
QUAD_DPS = 40
MAX_REL_ERR = 1e-25
DIGITS_OUT = 25
PER_SIDE = 10
RADII = [0.01, 0.5, 1.0, 3.0]
BETAS = [0.1, 1.0, 10.0, 1000.0]

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUTPUT = os.path.join(HERE, "..", "tests", "data", "ring_oracle.json")


def point_source(u):
    return (u * u + 2) / (u * mpmath.sqrt(u * u + 4))


def ring_closed(l, r, re, rstar):
    with mp.workdps(CLOSED_DPS):
        l, r, beta = mpf(l), mpf(r), mpf(re) / mpf(rstar)
        if l == 0 or r == 0:
            return point_source((l + r) / beta)
        s, d = l + r, l - r
        w = 4 * beta ** 2 + d ** 2
        m = 16 * beta ** 2 * l * r / (s ** 2 * w)
        n = 4 * l * r / s ** 2
        bracket = 2 * beta ** 2 * mpmath.ellipk(m) + d ** 2 * mpmath.ellippi(n, m)
        return 2 * bracket / (mpmath.pi * s * mpmath.sqrt(w))


def ring_quad(l, r, re, rstar):
    with mp.workdps(QUAD_DPS):
        l, r, beta = mpf(l), mpf(r), mpf(re) / mpf(rstar)
        if l == 0 or r == 0:
            return point_source((l + r) / beta)
        d2 = (l - r) ** 2
        b = abs(l - r) / mpmath.sqrt(l * r)

        def integrand(v):
            phi = b * mpmath.sinh(v)
            u = mpmath.sqrt(d2 + 4 * l * r * mpmath.sin(phi / 2) ** 2) / beta
            return point_source(u) * b * mpmath.cosh(v)

        top = mpmath.asinh(mpmath.pi / b)
        pieces = int(mpmath.ceil(top / 2))
        edges = [top * k / pieces for k in range(pieces + 1)]
        return mpmath.quad(integrand, edges) / mpmath.pi


def oracle(l, r, re, rstar):
    """(value, relative difference of the two evaluations) at 20+ digits."""
    closed = ring_closed(l, r, re, rstar)
    quad = ring_quad(l, r, re, rstar)
    with mp.workdps(QUAD_DPS):
        diff = abs(closed - quad) / abs(closed)
    if not diff < MAX_REL_ERR:
        raise RuntimeError("oracle disagreement %.3g at l=%r r=%r re=%r rstar=%r"
                           % (float(diff), l, r, re, rstar))
    return closed, diff


def ring_cases():
    rng = random.Random(SEED)
    cases = []
    for r in RADII:
        for beta in BETAS:
            for side in (1, -1):
                exps = [-14.0, -1.0] + [rng.uniform(-14.0, -1.0) for _ in range(PER_SIDE)]
                for e in exps:
                    l = r + side * r * 10.0 ** e
                    cases.append({"region": "outside" if side > 0 else "inside",
                                  "l": l, "r": r, "re": beta, "rstar": 1.0})
    for l, r, re, rstar in [
        (1e3, 1.0, 1.0, 1.0), (1e4, 0.5, 1.0, 0.001), (1e6, 1.0, 1.0, 1.0),
        (1e6, 0.01, 1.0, 1e-3), (1e6, 3.0, 1e4, 1.0), (1e6, 0.5, 1.0, 1e3),
        (0.5, 1e6, 1.0, 1.0), (50.0, 3.0, 1.0, 0.1), (1e9, 1.0, 1.0, 1.0),
        (1e150, 1.0, 1e150, 1.0), (2e6, 1e6, 1.0, 1.0),
    ]:
        cases.append({"region": "far", "l": l, "r": r, "re": re, "rstar": rstar})
    for l, r, re, rstar in [
        (1e-200, 0.0, 1.0, 1.0), (0.0, 1e-200, 1.0, 1.0), (2.0, 0.0, 1.0, 1.0),
        (0.0, 0.7, 1.0, 0.1), (1e-300, 2e-300, 1.0, 1.0), (3e-300, 1e-300, 1e-300, 1.0),
        (1.0, 1e-300, 1.0, 1.0), (1e-300, 1.0, 1.0, 0.1), (1e200, 1e200 * (1 + 1e-12), 1e200, 1.0),
        (0.5, 0.5 + 2e-6, 1.0, 0.5), (0.5 + 2e-6, 0.5, 1.0, 0.5), (0.5 + 5e-7, 0.5, 1.0, 0.5),
        (0.5 - 5e-7, 0.5, 1.0, 0.5), (2.0, 0.5, 1.0, 0.1), (3.0, 1.0, 1.0, 1.0), (1.0, 0.5, 1.0, 0.5),
    ]:
        cases.append({"region": "extreme", "l": l, "r": r, "re": re, "rstar": rstar})
    return cases


TABLE = {"bl": [0.0, 0.3, 0.5, 0.9, 1.0], "bf": [0.1, 0.2, 1.0, 0.7, 0.05]}
DISCRETE = [
    # (l, re, rstar)
    (0.5 + 1e-9, 1.0, 0.1), (0.5 - 1e-9, 1.0, 0.1), (0.9 + 1e-12, 1.0, 0.1),
    (0.3 - 1e-5, 1.0, 0.01), (1.0 + 3e-14, 1.0, 1.0), (0.9 * (1 - 1e-7), 10.0, 1.0),
    (0.5 * (1 + 1e-3), 1.0, 0.5), (1.0 - 1e-2, 1.0, 3.0),
]


def discrete_cases():
    out = []
    for l, re, rstar in DISCRETE:
        out.append({"region": "discrete", "l": l, "re": re, "rstar": rstar})
    return out


def fmt(x):
    return mpmath.nstr(x, DIGITS_OUT, min_fixed=1, max_fixed=0)


def evaluate(case):
    """Fill in one case's "value" (and "oracle_rel_err")."""
    if case["region"] == "discrete":
        total, worst = mpf(0), 0.0
        for rj, wj in zip(TABLE["bl"], TABLE["bf"]):
            value, diff = oracle(case["l"], rj, case["re"], case["rstar"])
            with mp.workdps(QUAD_DPS):  # whatever precision the caller left set
                total += value * mpf(wj)
            worst = max(worst, float(diff))
        case["value"], case["oracle_rel_err"] = fmt(total), worst
    else:
        value, diff = oracle(case["l"], case["r"], case["re"], case["rstar"])
        case["value"], case["oracle_rel_err"] = fmt(value), float(diff)
    return case


def all_cases():
    return ring_cases() + discrete_cases()


def main(argv):
    output = argv[1] if len(argv) > 1 else DEFAULT_OUTPUT
    cases = [evaluate(c) for c in all_cases()]
    meta = {"generator": "tools/gen_ring_oracle.py", "seed": SEED, "closed_dps": CLOSED_DPS,
            "quad_dps": QUAD_DPS, "max_oracle_rel_err": MAX_REL_ERR, "mpmath": mpmath.__version__}
    with open(output, "w") as fh:
        json.dump({"meta": meta, "table": TABLE, "cases": cases}, fh, indent=1)
        fh.write("\n")
    print("%d cases written to %s" % (len(cases), output))


if __name__ == "__main__":
    main(sys.argv)
