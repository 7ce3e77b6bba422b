#!/usr/bin/env python3
"""Oracle magnifications of a uniformly bright disk by a point-mass lens.

Each value is evaluated at the exact doubles the module works with: the
source radius rho (rstar = rho, re = 1, so rstar/re = rho exactly) and the
separation u = fl(l * rho), the double product the module forms; the file
records l, rho and that u.

Value: the Witt & Mao (1994, ApJ 430, 505) closed form

    pi A = (u + rho) sqrt(4 + d^2)/(2 rho^2) E(m)
           - d (8 - rho^2 + u^2)/(2 rho^2 sqrt(4 + d^2)) K(m)
           + 2 d^2 (1 + rho^2)/(rho^2 (u + rho) sqrt(4 + d^2)) Pi(n, m),

    d = u - rho, n = 4 u rho/(u + rho)^2, m = 4 n/(4 + d^2),

with mpmath's Legendre integrals at DPS digits (the terms cancel by up to
(u/rho)^2, about 24 digits here), on the limb (u = rho) the closed limb form
[2/rho + 2 (1 + rho^2)/rho^2 atan(rho)]/pi, and at u = 0 sqrt(1 + 4/rho^2).
Every value is recomputed at DPS + 20 digits; the two must agree to
CHECK_DIGITS digits.

Independent check on a subset (every QUAD_EVERY-th point and every u = rho):
direct quadrature of the point-source magnification over the disk, in
circles about the lens,

    A = 1/(pi rho^2) [ int_0^{rho-u} 2 pi s A_ps(s) ds
                       + int_{|rho-u|}^{rho+u} 2 s theta(s) A_ps(s) ds ],
    s A_ps(s) = (s^2 + 2)/sqrt(s^2 + 4),
    theta(s) = acos((s^2 + u^2 - rho^2)/(2 u s)),

(the first part only for u < rho), which uses no elliptic integral. The
arc integral is split in pieces geometric towards both ends so that the
square-root end points and a near-limb |rho - u| << rho are resolved; the
working precision grows with u/rho, whose square cancels in acos's argument.

Usage: gen_disk_oracle.py [--subset N] [--check] [OUTPUT]
  default output tests/data/disk_oracle.tsv; --subset N takes only every
  N-th point (no quadrature check then); --check recomputes those points and
  compares their values with OUTPUT instead of writing it (the CI check).
"""

import argparse
import math
import os
import random
import sys

import mpmath as mp

SEED = 20261208
DPS = 60
CHECK_DIGITS = 30
QUAD_DPS = 30
QUAD_DIGITS = 24
QUAD_EVERY = 7
RHOS = [1e-6, 1e-4, 1e-3, 0.01, 0.1, 1.0, 10.0, 100.0]
NEAR_PER_SIDE = 40      # |l - 1| log-uniform in [1e-14, 1e-1], on each side
MID_COUNT = 12          # l in [0, 0.9], uniform
FAR_COUNT = 40          # l log-uniform in [1.1, 1e6/rho]

DEFAULT_OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data",
                              "disk_oracle.tsv")


def closed_form(u, rho):
    u = mp.mpf(u)
    rho = mp.mpf(rho)
    if u == 0:
        return mp.sqrt(1 + 4 / rho**2)
    d = u - rho
    if d == 0:
        return (2 / rho + 2 * (1 + rho**2) / rho**2 * mp.atan(rho)) / mp.pi
    s = u + rho
    n = 4 * u * rho / s**2
    m = 4 * n / (4 + d**2)
    q = mp.sqrt(4 + d**2)
    t = (s * q / (2 * rho**2) * mp.ellipe(m)
         - d * (8 - rho**2 + u**2) / (2 * rho**2 * q) * mp.ellipk(m)
         + 2 * d**2 * (1 + rho**2) / (rho**2 * s * q) * mp.ellippi(n, m))
    return t / mp.pi


def geometric_pieces(a, b, levels=40):
    """Break points of [a, b], geometric towards both ends."""
    mid = (a + b) / 2
    half = (b - a) / 2
    points = [mid]
    for k in range(1, levels):
        h = half / mp.mpf(2)**k
        points = [a + h] + points + [b - h]
    return [a] + points + [b]


def quadrature(u, rho):
    u = mp.mpf(u)
    rho = mp.mpf(rho)

    def s_aps(s):
        return (s * s + 2) / mp.sqrt(s * s + 4)

    total = mp.mpf(0)
    if u < rho:
        total += 2 * mp.pi * mp.quad(s_aps, geometric_pieces(mp.mpf(0), rho - u, 4))
    if u > 0:
        def arc(s):
            c = (s * s + u * u - rho * rho) / (2 * u * s)
            c = max(mp.mpf(-1), min(mp.mpf(1), c))
            return 2 * mp.acos(c) * s_aps(s)
        total += mp.quad(arc, geometric_pieces(abs(rho - u), rho + u))
    return total / (mp.pi * rho * rho)


def points():
    rng = random.Random(SEED)
    out = []
    for rho in RHOS:
        out.append((1.0, rho, "limb"))
        for side in (1.0, -1.0):
            for _ in range(NEAR_PER_SIDE):
                offset = 10.0 ** rng.uniform(-14.0, -1.0)
                out.append((1.0 + side * offset, rho, "near"))
        out.append((0.0, rho, "inside"))
        for _ in range(MID_COUNT):
            out.append((rng.uniform(0.0, 0.9), rho, "inside"))
        for _ in range(FAR_COUNT):
            out.append((10.0 ** rng.uniform(math.log10(1.1), math.log10(1e6 / rho)), rho, "far"))
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--subset", type=int, default=1)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("output", nargs="?", default=DEFAULT_OUTPUT)
    args = parser.parse_args()

    rows = []
    for index, (l, rho, where) in enumerate(points()):
        if index % args.subset:
            continue
        u = l * rho  # the module's double product
        with mp.workdps(DPS):
            value = closed_form(u, rho)
        with mp.workdps(DPS + 20):
            again = closed_form(u, rho)
        if abs(value - again) > abs(again) * mp.mpf(10) ** (-CHECK_DIGITS):
            sys.exit(f"closed form unstable at l={l!r} rho={rho!r}: {value} vs {again}")
        if args.subset == 1 and (index % QUAD_EVERY == 0 or where == "limb"):
            # acos loses 2 log10(u/rho) digits to the cancellation in its argument
            extra = 2 * max(0, math.ceil(math.log10(u / rho))) if u > 0 else 0
            with mp.workdps(QUAD_DPS + extra):
                direct = quadrature(u, rho)
                if abs(direct - value) > abs(value) * mp.mpf(10) ** (-QUAD_DIGITS):
                    sys.exit(f"quadrature disagrees at l={l!r} rho={rho!r}: {value} vs {direct}")
        rows.append((where, repr(l), repr(rho), repr(u), mp.nstr(value, 25, min_fixed=1, max_fixed=0)))

    if args.check:
        with open(args.output) as fh:
            stored = {(f[1], f[2]): f[4] for f in (line.rstrip("\n").split("\t") for line in fh)
                      if not f[0].startswith("#")}
        for where, l, rho, u, value in rows:
            old = stored.get((l, rho))
            if old is None or abs(mp.mpf(old) - mp.mpf(value)) > abs(mp.mpf(value)) * mp.mpf(10) ** -22:
                sys.exit(f"{args.output}: l={l} rho={rho} holds {old}, recomputed {value}")
        print(f"{len(rows)} disk oracle values reproduced")
        return

    with open(args.output, "w") as fh:
        fh.write(f"# generated by tools/gen_disk_oracle.py: seed={SEED} dps={DPS} check_digits={CHECK_DIGITS} "
                 f"quad_dps={QUAD_DPS} quad_digits={QUAD_DIGITS} quad_every={QUAD_EVERY} "
                 f"subset={args.subset} mpmath={mp.__version__}\n")
        fh.write("# region\tl\trho\tu=fl(l*rho)\tmagnification\n")
        for row in rows:
            fh.write("\t".join(row) + "\n")


if __name__ == "__main__":
    main()
