#!/usr/bin/env python3
"""Golden values and partial derivatives of the two point-lens kernels, the
thin ring and the uniform disk, written as tests/data/point_lens_gradient_golden.tsv.

Lengths in Einstein radii; A0(d) = (d^2 + 2)/(d sqrt(d^2 + 4)).

Ring (Heyrovsky 2003, ApJ 594, 464): the mean of A0 over a ring of radius r
whose centre lies at distance u from the lens,

    A = 2/(pi s q) [2 K(m) + d^2 Pi(n, m)],

s = u + r, d = u - r, q = sqrt(4 + d^2), n = 4ur/s^2, m = 4n/q^2.

Disk (Witt & Mao 1994, ApJ 430, 505, eq. 9): the mean of A0 over a disk of
radius rho at distance u,

    pi A = s q/(2 rho^2) E(m) - d (8 - rho^2 + u^2)/(2 rho^2 q) K(m)
           + 2 d^2 (1 + rho^2)/(rho^2 s q) Pi(n, m),

the same n, m with r = rho; at u = 0, A = sqrt(1 + 4/rho^2).

Both closed forms are evaluated by mpmath's own ellipk, ellipe and ellippi.
The partials are fourth-order central differences of them,

    f'(x) = [8 (f(x+h) - f(x-h)) - (f(x+2h) - f(x-2h))]/(12 h),
    h = L 10^-STEP_DIGITS,  L = min(u, r, |u - r|),

at a working precision chosen from a pilot run so that rounding and
truncation stay below 10^-OUT_DIGITS relative, then checked: the run is
repeated with CHECK_EXTRA_DPS more digits and a step STEP_SHRINK times
smaller, and both must agree to CHECK_DIGITS digits (value and partials),
otherwise the precision grows and the pair is repeated. At u = 0 the disk's
partials are dA/du = 0 and dA/drho = -4/(rho^3 sqrt(1 + 4/rho^2)).

Independent cross-check on a subset (every QUAD_EVERY-th row whose lengths
differ by at least 1e-8 relative and whose ratio is at most 1e3), with no
elliptic integral, at QUAD_DPS digits:
  ring  dA/du = (1/pi) int_0^pi A0'(d) (u - r cos phi)/d dphi, and dA/dr alike,
        A0'(d) = -8/(d^2 (d^2 + 4)^(3/2));
  disk  dA/du = -(2/(pi rho)) int_0^pi (A0(d) - 1) cos phi dphi (the divergence
        theorem: the derivative of an area mean is a boundary integral);
        dA/drho = 2 (A_ring - A)/rho with A_ring - 1 the ring quadrature of
        A0 - 1 and A - 1 the area quadrature of A0 - 1 in circles about the lens;
with d^2 = (u - r)^2 + 4 u r sin^2(phi/2) and A0 - 1 = 4/(d sqrt(d^2+4)
(d^2 + 2 + d sqrt(d^2+4))), free of cancellation. They must agree with the
differences to QUAD_DIGITS digits, relative to the quantity or, for the
disk's dA/drho, to 2 (|A_ring - 1| + |A - 1|)/rho where that is larger (the
difference of two quadratures).

Grid (SEED): near the ring or limb on both sides, |u - r|/r log-uniform in
[1e-14, 1e-1] plus both ends, for r from 1e-8 to 1e4; generic points; far
points with u/r or r/u log-uniform up to 1e6; extremes, u and r from 1e-8
to 1e4; for the disk also u = 0, the inside, the outside below and above
3 rho. Inputs are written as the exact repr of the doubles.

Usage: gen_point_lens_gradient_golden.py [-j N] [--only K] [--no-quadrature] [OUTPUT]
  default output tests/data/point_lens_gradient_golden.tsv; --only K keeps
  every K-th row (the CI check); -j N runs N processes.
"""

import argparse
import math
import os
import random
import sys
from multiprocessing import Pool

import mpmath as mp

from gen_disk_oracle import closed_form as disk_closed_form

SEED = 20260114
OUT_DIGITS = 30       # significant digits written
CHECK_DIGITS = 30     # agreement of the two precisions
CHECK_EXTRA_DPS = 25
STEP_DIGITS = 9       # h = L 1e-9: truncation (h/L)^4 ~ 1e-36
STEP_SHRINK = 10
QUAD_EVERY = 9
QUAD_DPS = 34
QUAD_DIGITS = 22
RADII = [1e-8, 1e-5, 1e-3, 0.01, 0.1, 0.5, 1.0, 2.0, 10.0, 100.0, 1e4]
NEAR_RANDOM = 6       # random |u - r|/r per side and radius, besides 1e-14 and 1e-1
GENERIC_COUNT = 40
FAR_COUNT = 50
EXTREME_LENGTHS = [1e-8, 1e-6, 1e-4, 1e-2, 1.0, 1e2, 1e4]

DEFAULT_OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data",
                              "point_lens_gradient_golden.tsv")


def ring_closed_form(u, r):
    s = u + r
    d = u - r
    n = 4 * u * r / s**2
    q2 = 4 + d * d
    m = 4 * n / q2
    return 2 / (mp.pi * s * mp.sqrt(q2)) * (2 * mp.ellipk(m) + d * d * mp.ellippi(n, m))


def central(f, x, h):
    return (8 * (f(x + h) - f(x - h)) - (f(x + 2 * h) - f(x - 2 * h))) / (12 * h)


def differences(form, u, r, dps, step_digits):
    """Value and both partials of form at (u, r), dps digits, h = L 10^-step_digits."""
    with mp.workdps(dps):
        u = mp.mpf(u)
        r = mp.mpf(r)
        scale = min(u, r, abs(u - r))
        h = scale * mp.mpf(10) ** (-step_digits)
        value = form(u, r)
        du = central(lambda x: form(x, r), u, h)
        dr = central(lambda x: form(u, x), r, h)
        return value, du, dr


def agree(a, b, digits):
    return all(abs(x - y) <= mp.mpf(10) ** (-digits) * abs(y) for x, y in zip(a, b))


def partials(kind, u, r):
    """(value, dA/du, dA/dr) to OUT_DIGITS digits, checked at two precisions."""
    if kind == "disk" and u == 0:
        with mp.workdps(OUT_DIGITS + 20):
            rho = mp.mpf(r)
            root = mp.sqrt(1 + 4 / rho**2)
            return root, mp.mpf(0), -4 / (rho**3 * root)
    form = ring_closed_form if kind == "ring" else disk_closed_form
    # Pilot: how many digits the differences cancel (f/(L f')), how many the
    # disk's closed form cancels ((u/rho)^2 far out, its terms ~ 1/rho^2).
    value, du, dr = differences(form, u, r, 40, 4)
    with mp.workdps(40):
        scale = min(mp.mpf(u), mp.mpf(r), abs(mp.mpf(u) - mp.mpf(r)))
        smallest = min(abs(du), abs(dr)) or mp.mpf(10) ** -30
        lost = max(0, int(mp.log10(abs(value) / (scale * smallest))))
    dps = OUT_DIGITS + STEP_DIGITS + lost + 20
    if kind == "disk":
        dps += 2 * max(0, int(math.log10(max(u / r, r / max(u, 1e-300))))) + int(max(0, -2 * math.log10(r)))
    while True:
        first = differences(form, u, r, dps, STEP_DIGITS)
        second = differences(form, u, r, dps + CHECK_EXTRA_DPS, STEP_DIGITS + int(math.log10(STEP_SHRINK)))
        if agree(first, second, CHECK_DIGITS):
            return second
        dps += 40
        if dps > 2000:
            sys.exit("no convergence at %s u=%r r=%r" % (kind, u, r))


# ---------------------------------------------------------------------------
# Quadrature cross-check (no elliptic integrals)

def a0_minus_one(d2):
    d = mp.sqrt(d2)
    root = mp.sqrt(d2 + 4)
    return 4 / (d * root * (d2 + 2 + d * root))


def pieces(scale, top, levels=60):
    """Break points of [0, top] geometric towards 0 from scale/1e3."""
    points = [mp.mpf(0)]
    x = scale / 1000
    while x < top and len(points) < levels:
        points.append(x)
        x *= 4
    points.append(top)
    return points


def ring_quadrature(u, r):
    d = u - r
    phi0 = min(abs(d) / mp.sqrt(u * r), mp.pi / 2)
    brk = pieces(phi0, mp.pi)

    def d2(phi):
        return d * d + 4 * u * r * mp.sin(phi / 2) ** 2

    def slope(phi):  # A0'(d)/d
        x = d2(phi)
        return -8 / (x * mp.sqrt(x) * (x + 4) * mp.sqrt(x + 4))

    def half(phi):
        return mp.sin(phi / 2) ** 2

    du = mp.quad(lambda p: slope(p) * (d + 2 * r * half(p)), brk) / mp.pi
    dr = mp.quad(lambda p: slope(p) * (-d + 2 * u * half(p)), brk) / mp.pi
    mean = 1 + mp.quad(lambda p: a0_minus_one(d2(p)), brk) / mp.pi
    return mean, du, dr


def two_sided(lo, hi, levels=30):
    """Break points of [lo, hi], geometric towards both ends."""
    mid = (lo + hi) / 2
    left = [lo + (mid - lo) / mp.mpf(4) ** k for k in range(levels, 0, -1)]
    right = [hi - (hi - mid) / mp.mpf(4) ** k for k in range(1, levels + 1)]
    return [lo] + left + [mid] + right + [hi]


def disk_area_excess(u, rho):
    """Mean of A0 - 1 over the disk, in circles of radius x about the lens."""
    total = mp.mpf(0)
    if u < rho:
        total += 2 * mp.pi * mp.quad(lambda x: x * a0_minus_one(x * x), [0, rho - u])

    def arc(x):
        c = (x * x + u * u - rho * rho) / (2 * u * x)
        c = max(mp.mpf(-1), min(mp.mpf(1), c))
        return 2 * x * mp.acos(c) * a0_minus_one(x * x)

    total += mp.quad(arc, two_sided(abs(rho - u), rho + u))
    return total / (mp.pi * rho * rho)


def disk_quadrature(u, rho):
    """Value, dA/du, dA/drho and the size 2 (|A_ring - 1| + |A - 1|)/rho."""
    d = u - rho
    phi0 = min(abs(d) / mp.sqrt(u * rho), mp.pi / 2)
    brk = pieces(phi0, mp.pi)

    def d2(phi):
        return d * d + 4 * u * rho * mp.sin(phi / 2) ** 2

    du = -2 / (mp.pi * rho) * mp.quad(lambda p: a0_minus_one(d2(p)) * mp.cos(p), brk)
    ring = mp.quad(lambda p: a0_minus_one(d2(p)), brk) / mp.pi
    area = disk_area_excess(u, rho)
    return 1 + area, du, 2 * (ring - area) / rho, 2 * (abs(ring) + abs(area)) / rho


def cross_check(kind, u, r, golden):
    with mp.workdps(QUAD_DPS):
        um, rm = mp.mpf(u), mp.mpf(r)
        if kind == "ring":
            quad = ring_quadrature(um, rm)
            sizes = [abs(x) for x in golden]
        else:
            value, du, drho, size = disk_quadrature(um, rm)
            quad = (value, du, drho)
            sizes = [abs(golden[0]), abs(golden[1]), max(abs(golden[2]), size)]
        worst = max(abs(q - g) / s for q, g, s in zip(quad, golden, sizes))
        if worst > mp.mpf(10) ** -QUAD_DIGITS:
            sys.exit("quadrature disagrees at %s u=%r r=%r: %s" % (kind, u, r, mp.nstr(worst, 3)))
        return worst


# ---------------------------------------------------------------------------
# Grid

def log_uniform(rng, lo, hi):
    return 10 ** rng.uniform(math.log10(lo), math.log10(hi))


def points():
    rng = random.Random(SEED)
    out = []
    for kind in ("ring", "disk"):
        for r in RADII:
            for side in (1.0, -1.0):
                eps = [1e-14, 1e-1] + [log_uniform(rng, 1e-14, 1e-1) for _ in range(NEAR_RANDOM)]
                for e in eps:
                    u = r * (1.0 + side * e)
                    if u != r:
                        out.append((kind, "near", u, r))
        for _ in range(GENERIC_COUNT):
            r = log_uniform(rng, 1e-2, 10.0)
            k = log_uniform(rng, 1.0 / 16.0, 16.0) if kind == "ring" else rng.uniform(0.0, 0.9)
            if kind == "ring" and abs(k - 1.0) < 0.1:
                continue
            out.append((kind, "generic" if kind == "ring" else "inside", k * r, r))
        if kind == "disk":
            for rho in RADII:
                out.append((kind, "center", 0.0, rho))
            for _ in range(GENERIC_COUNT):
                rho = log_uniform(rng, 1e-2, 10.0)
                out.append((kind, "outside", rng.uniform(1.1, 3.0) * rho, rho))
            for _ in range(GENERIC_COUNT // 2):
                rho = log_uniform(rng, 1e-3, 10.0)
                out.append((kind, "band", rng.uniform(3.0, 4.0) * rho, rho))
        for _ in range(FAR_COUNT):
            big = log_uniform(rng, 1e-3, 1e4)
            small = max(big / log_uniform(rng, 4.0 if kind == "disk" else 16.0, 1e6), 1e-8)
            if kind == "disk" or rng.random() < 0.5:
                out.append((kind, "far", big, small))
            else:
                out.append((kind, "far", small, big))
        for a in EXTREME_LENGTHS:
            for b in EXTREME_LENGTHS:
                if a != b:
                    out.append((kind, "extreme", a, b))
    return out


def row(args):
    index, (kind, region, u, r), quadrature = args
    golden = partials(kind, u, r)
    checked = None
    ratio = max(u, r) / max(min(u, r), 1e-300)
    if (quadrature and index % QUAD_EVERY == 0 and u > 0 and abs(u - r) >= 1e-8 * max(u, r)
            and ratio <= 1e3):
        checked = cross_check(kind, u, r, golden)
    text = "\t".join([kind, region, repr(u), repr(r)] + [mp.nstr(x, OUT_DIGITS, strip_zeros=False, min_fixed=0, max_fixed=0) for x in golden])
    return text, checked


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output", nargs="?", default=DEFAULT_OUTPUT)
    parser.add_argument("-j", type=int, default=1)
    parser.add_argument("--only", type=int, default=1)
    parser.add_argument("--no-quadrature", action="store_true")
    args = parser.parse_args()
    pts = [(i, p, not args.no_quadrature) for i, p in enumerate(points()) if i % args.only == 0]
    if args.j > 1:
        with Pool(args.j) as pool:
            results = pool.map(row, pts, chunksize=1)
    else:
        results = [row(p) for p in pts]
    checked = [c for _, c in results if c is not None]
    header = [
        "# generated by tools/gen_point_lens_gradient_golden.py: seed=%d out_digits=%d check_digits=%d "
        "step_digits=%d quad_dps=%d quad_digits=%d only=%d mpmath=%s"
        % (SEED, OUT_DIGITS, CHECK_DIGITS, STEP_DIGITS, QUAD_DPS, QUAD_DIGITS, args.only, mp.__version__),
        "# quadrature cross-checks: %d rows, worst disagreement %s"
        % (len(checked), mp.nstr(max(checked), 3) if checked else "-"),
        "# kernel\tregion\tu\tr\tvalue\td_du\td_dr",
    ]
    with open(args.output, "w") as fh:
        fh.write("\n".join(header + [text for text, _ in results]) + "\n")
    print("%d rows, %d quadrature cross-checks" % (len(results), len(checked)), file=sys.stderr)


if __name__ == "__main__":
    main()
