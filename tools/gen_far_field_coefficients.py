#!/usr/bin/env python3
"""Generate src/models/far_field_coefficients.hpp: the Laplacian powers of the
point-source magnification as exact polynomials, for the far-field series of
an extended source.

The point-source magnification (Paczynski 1986) in the variable w = u^2 / 2 is

    A0 = (u^2 + 2) / (u sqrt(u^2 + 4)) = (w + 1) / sqrt(w (w + 2)),

and the radial 2-D Laplacian d^2/du^2 + (1/u) d/du becomes L = 2 d/dw (w d/dw).
By induction

    L^k A0 = Q_k(w) / (w^(k + 1/2) (w + 2)^(2k + 1/2)),

with Q_0 = w + 1 and, writing a = k + 1/2, b = 2k + 1/2,

    R       = w (w + 2) Q_k' - a (w + 2) Q_k - b w Q_k,
    Q_{k+1} = 2 [w (w + 2) R' - a (w + 2) R - (b + 1) w R],

in exact rational arithmetic (fractions.Fraction); deg Q_k = 2k - 1 for k >= 1.
The header stores q~_kj, the coefficients of Q_k(w) / (2^k k!^2), rounded to
the nearest double (k = 1 .. TERMS).

The series (ring average of a smooth f at radius r: sum_k (r^2/4)^k L^k f /
k!^2) has the terms c_k(u) (rho/u)^(2k) M_k with
c_k = u^(2k) L^k A0 / (4^k k!^2). The header also stores RATIO_BOUND[n], an
upper bound on c_{k+1}(u) / c_k(u) for all u > 0 and all k >= n: the largest
ratio found on a logarithmic grid of w in [1e-10, 1e14] (refined around each
maximum) for k = n .. TERMS + EXTRA, times (1 + MARGIN). (The ratio tends to
(2k + 1)^2 / (2k + 2)^2 as u -> 0 and to (k + 2)^2 / (k + 1)^2 as u -> oo; for
k >= 16 its maximum, about 1.17, lies at u of a few times sqrt(k).)

Self-checks (the run aborts on failure): L A0 and L^2 A0 against mpmath's
numerical differentiation of A0(u) at 50 digits; every Q_k positive on the
grid; and the series itself against the ring average of A0 by mpmath
quadrature at several (u, r).

The same polynomials give the uniform disk's multipole expansion, the series
with the disk's moments M_k = 1/(k + 1): in t = u^2/(u^2 + 4) = w/(w + 2),
    <A0> = [ (1 + t)/2 + (1 - t)^2 sum_{k>=1} (rho/u)^(2k) g_k(t) ] / sqrt(t),
    g_k(t) = Q_k(2t/(1 - t)) (1 - t)^(2k - 1) / (2^(3k + 1) k!^2 (k + 1)),
a polynomial of degree 2k - 1 (Q_k(w) has degree 2k - 1), exact in rational
arithmetic; the second header holds its coefficients (k = 1 .. DISK_TERMS).

Usage: gen_far_field_coefficients.py [OUTPUT [DISK_OUTPUT]]
  (default: the series to stdout; the disk's header only when DISK_OUTPUT is given)
"""

import math
import sys
from fractions import Fraction

import mpmath
from mpmath import mp, mpf

TERMS = 24       # highest power of the Laplacian that the series uses
DISK_TERMS = 16  # terms of the uniform disk's multipole expansion
EXTRA = 16       # ratios checked beyond the last term
MARGIN = "0.02"  # relative safety margin of the ratio bounds
DPS = 50
GRID_PER_DECADE = 16

mp.dps = DPS


# --------------------------------------------------------------------------
# Exact polynomials (lists of Fractions, lowest power first)

def trim(p):
    while len(p) > 1 and p[-1] == 0:
        p.pop()
    return p


def add(*ps):
    out = [Fraction(0)] * max(len(p) for p in ps)
    for p in ps:
        for i, c in enumerate(p):
            out[i] += c
    return trim(out)


def times_linear(p, c0, c1):
    """p(w) (c0 + c1 w)."""
    out = [Fraction(0)] * (len(p) + 1)
    for i, c in enumerate(p):
        out[i] += c * c0
        out[i + 1] += c * c1
    return out


def scale(p, s):
    return [c * s for c in p]


def derivative(p):
    return [i * p[i] for i in range(1, len(p))] or [Fraction(0)]


def apply_laplacian(q, a, b):
    """Q of L[q w^-a (w+2)^-b], whose exponents are then a + 1, b + 2."""
    def half_step(p, a, b):
        # w d/dw [p w^-a (w+2)^-b] = w^-a (w+2)^-(b+1) [w(w+2)p' - a(w+2)p - b w p]
        return add(times_linear(times_linear(derivative(p), 0, 1), 2, 1),
                   scale(times_linear(p, 2, 1), -a), scale(times_linear(p, 0, 1), -b))
    r = half_step(q, a, b)
    # d/dw [r w^-a (w+2)^-(b+1)] = w^-(a+1) (w+2)^-(b+2) [w(w+2)r' - a(w+2)r - (b+1) w r];
    # the d/dw is w d/dw divided by w, hence a + 1.
    return scale(half_step(r, a, b + 1), 2)


def laplacian_polynomials(kmax):
    q, a, b = [Fraction(1), Fraction(1)], Fraction(1, 2), Fraction(1, 2)
    out = [q]
    for _ in range(kmax):
        q = apply_laplacian(q, a, b)
        a, b = a + 1, b + 2
        out.append(q)
    return out


# --------------------------------------------------------------------------
# High-precision evaluation

def to_mpf(c):
    return mpf(c.numerator) / c.denominator


def horner(coeffs, w):
    s = mpf(0)
    for c in reversed(coeffs):
        s = s * w + c
    return s


def laplacian_power(qs_mp, k, w):
    """L^k A0 at w (mpf)."""
    return horner(qs_mp[k], w) / (w ** (k + mpf(1) / 2) * (w + 2) ** (2 * k + mpf(1) / 2))


def normalised(qs_mp, k, w):
    """c_k = u^(2k) L^k A0 / (4^k k!^2), u^2 = 2 w."""
    return (2 * w) ** k * laplacian_power(qs_mp, k, w) / (4 ** k * mpf(math.factorial(k)) ** 2)


def a0(u):
    return (u * u + 2) / (u * mp.sqrt(u * u + 4))


def self_check(qs_mp):
    for u in (mpf("0.03"), mpf("0.7"), mpf(2), mpf(15)):
        w = u * u / 2
        d1, d2, d3, d4 = (mp.diff(a0, u, n) for n in (1, 2, 3, 4))
        lap1 = d2 + d1 / u
        lap2 = d4 + 2 * d3 / u - d2 / u ** 2 + d1 / u ** 3
        for k, ref in ((1, lap1), (2, lap2)):
            got = laplacian_power(qs_mp, k, w)
            if abs(got / ref - 1) > mpf(10) ** -30:
                raise RuntimeError("L^%d A0 at u = %s disagrees with differentiation" % (k, u))
    # Ring average of A0 about the point u at radius r, against the series.
    for u, r in ((mpf("0.05"), mpf("0.01")), (mpf(1), mpf("0.3")), (mpf(8), mpf(3))):
        w = u * u / 2
        ring = mp.quad(lambda p: a0(mp.sqrt(u * u + r * r + 2 * u * r * mp.cos(p))), [0, mp.pi]) / mp.pi
        series = a0(u) + sum(normalised(qs_mp, k, w) * (r / u) ** (2 * k) for k in range(1, len(qs_mp)))
        tail = normalised(qs_mp, len(qs_mp) - 1, w) * (r / u) ** (2 * len(qs_mp) - 2)
        if abs(series / ring - 1) > max(mpf(10) ** -30, 10 * tail):
            raise RuntimeError("series disagrees with the ring average at u = %s, r = %s" % (u, r))


def largest_ratio(qs_mp, k):
    """max over w of c_{k+1} / c_k, grid search refined by golden sections."""
    grid = [mpf(10) ** (mpf(e) / GRID_PER_DECADE) for e in range(-10 * GRID_PER_DECADE, 14 * GRID_PER_DECADE + 1)]

    def ratio(w):
        ck = normalised(qs_mp, k, w)
        if not ck > 0:
            raise RuntimeError("L^%d A0 is not positive at w = %s" % (k, w))
        return normalised(qs_mp, k + 1, w) / ck

    values = [ratio(w) for w in grid]
    best = max(values)
    i = values.index(best)
    lo, hi = grid[max(i - 1, 0)], grid[min(i + 1, len(grid) - 1)]
    g = (mp.sqrt(5) - 1) / 2
    for _ in range(40):
        a, b = hi - g * (hi - lo), lo + g * (hi - lo)
        if ratio(a) > ratio(b):
            hi = b
        else:
            lo = a
    best = max(best, ratio((lo + hi) / 2))
    # The ends of the grid: the limits u -> 0 and u -> oo.
    return max(best, (mpf(2 * k + 1) / (2 * k + 2)) ** 2, (mpf(k + 2) / (k + 1)) ** 2)


# --------------------------------------------------------------------------

def fmt(d):
    return repr(float(d))


def disk_multipole(qs):
    """g_k(t) of the uniform disk's multipole expansion, k = 1 .. DISK_TERMS
    (exact coefficients, lowest power first): Q_k(2t/(1-t)) (1-t)^(2k-1)
    = sum_j q_j (2t)^j (1-t)^(2k-1-j), over 2^(3k+1) k!^2 (k+1)."""
    out = []
    for k in range(1, DISK_TERMS + 1):
        g = [Fraction(0)]
        for j, q in enumerate(qs[k]):
            term = [q * 2 ** j]
            term = [Fraction(0)] * j + term  # (2t)^j
            for _ in range(2 * k - 1 - j):
                term = times_linear(term, 1, -1)  # times (1 - t)
            g = add(g, term)
        out.append(scale(g, Fraction(1, 2 ** (3 * k + 1) * math.factorial(k) ** 2 * (k + 1))))
    return out


def render_disk(g):
    width = max(len(c) for c in g)
    lines = [
        "// Generated by tools/gen_far_field_coefficients.py -- do not edit by hand.",
        "// The uniform disk's multipole expansion about the point source (the",
        "// far-field series with the disk's moments 1/(k + 1)): kDiskMultipole[k-1][i]",
        "// is the coefficient of t^i in g_k(t), t = u^2/(u^2 + 4), exact rationals",
        "// rounded to double (the script's docstring derives them).",
        "#pragma once",
        "",
        "namespace magnifex::disk_multipole {",
        "",
        "inline constexpr int kTerms = %d;" % DISK_TERMS,
        "inline constexpr int kWidth = %d;" % width,
        "inline constexpr int kDegree[kTerms] = {" + ", ".join(str(len(c) - 1) for c in g) + "};",
        "inline constexpr double kDiskMultipole[kTerms][kWidth] = {",
    ]
    for c in g:
        values = [fmt(x) for x in c] + ["0.0"] * (width - len(c))
        lines.append("    {" + ", ".join(values) + "},")
    lines += ["};", "", "}  // namespace magnifex::disk_multipole", ""]
    return "\n".join(lines)


def main():
    out = open(sys.argv[1], "w") if len(sys.argv) > 1 else sys.stdout
    qs = laplacian_polynomials(TERMS + EXTRA + 1)
    qs_mp = [[to_mpf(c) for c in q] for q in qs]
    self_check(qs_mp[:TERMS + 1])
    ratios = [largest_ratio(qs_mp, k) for k in range(TERMS + EXTRA + 1)]
    margin = 1 + mpf(MARGIN)
    bounds = [max(ratios[n:]) * margin for n in range(TERMS + 1)]

    lines = [
        "// Generated by tools/gen_far_field_coefficients.py -- do not edit by hand.",
        "// Parameters: TERMS = %d, EXTRA = %d, MARGIN = %s, mpmath.mp.dps = %d; mpmath %s."
        % (TERMS, EXTRA, MARGIN, DPS, mpmath.__version__),
        "//",
        "// Laplacian powers of the point-source magnification, w = u^2 / 2:",
        "//   L^k A0 = Q_k(w) / (w^(k + 1/2) (w + 2)^(2k + 1/2)),  L = d^2/du^2 + (1/u) d/du,",
        "// Q_k of degree 2k - 1, exact in rational arithmetic. Stored: the coefficients",
        "// of Q_k(w) / (2^k k!^2), lowest power first, rounded to the nearest double.",
        "#pragma once",
        "",
        "#include <array>",
        "",
        "namespace magnifex::far_field_detail {",
        "",
        "// Highest power of the Laplacian in the series.",
        "inline constexpr int kFarFieldTerms = %d;" % TERMS,
        "",
        "// Q_k(w) / (2^k k!^2) for k = 1 .. kFarFieldTerms, 2k coefficients each,",
        "// those of Q_k starting at index k (k - 1).",
        "inline constexpr std::array<double, %d> kLaplacianCoefficients{{" % (TERMS * (TERMS + 1)),
    ]
    for k in range(1, TERMS + 1):
        norm = 2 ** k * math.factorial(k) ** 2
        coeffs = [float(c / norm) for c in qs[k]]
        assert len(coeffs) == 2 * k
        lines.append("    // k = %d" % k)
        for i in range(0, len(coeffs), 4):
            lines.append("    " + ", ".join(fmt(c) for c in coeffs[i:i + 4]) + ",")
    lines += [
        "}};",
        "",
        "// kRatioBound[n] >= c_{k+1}(u) / c_k(u) for every u > 0 and k >= n, where",
        "// c_k = u^(2k) L^k A0 / (4^k k!^2): the largest ratio found for k = n .. %d," % (TERMS + EXTRA),
        "// plus %s." % MARGIN,
        "inline constexpr std::array<double, %d> kRatioBound{{" % (TERMS + 1),
    ]
    for i in range(0, TERMS + 1, 4):
        lines.append("    " + ", ".join(mpmath.nstr(b, 6, strip_zeros=False) for b in bounds[i:i + 4]) + ",")
    lines += ["}};", "", "}  // namespace magnifex::far_field_detail", ""]
    out.write("\n".join(lines))
    if len(sys.argv) > 2:
        with open(sys.argv[2], "w") as disk:
            disk.write(render_disk(disk_multipole(qs)))


if __name__ == "__main__":
    main()
