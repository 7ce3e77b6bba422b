#!/usr/bin/env python3
"""Generate tests/data/elliptic_golden.tsv, the golden values against which
tests/cpp/test_elliptic_accuracy.cpp measures the elliptic-integral routines
elliprf, elliprc, elliprd, elliprj, ellipk, ellipe and ellippi.

Arguments are doubles drawn by random.Random(SEED), mostly log-uniform over
each routine's accepted range, plus the degenerate patterns that the routines
treat by closed forms (equal arguments, a zero argument). Every golden value
is computed from mpf(double), so the oracle sees exactly the input that the
C++ routine receives, and is then rounded to the nearest double.

Oracle (mpmath, DPS decimal digits):
  RF, RD, RJ (p > 0)      mpmath.elliprf / elliprd / elliprj (Carlson duplication)
  RC                      mpmath.elliprc; for y < 0 its default pv=True gives the
                          Cauchy principal value sqrt(x/(x-y)) RC(x-y, -y)
                          (DLMF 19.2.20); RC(0, y < 0) = 0 is set directly,
                          since mpmath returns the complex value there
  RJ (p < 0)              principal value by DLMF 19.20.14, pivoting on the
                          middle one of x <= y <= z (q = -p):
                            (y+q) RJ(x,y,z,-q) = (p'-y) RJ(x,y,z,p') - 3 RF(x,y,z)
                                                 + 3 sqrt(xyz/(xz+p'q)) RC(xz+p'q, p'q),
                            p' = (y (x+z+q) - x z)/(y+q) >= y
  K, E, Pi                mpmath.ellipk / ellipe / ellippi (complete, parameter m)
Before writing anything the script checks the two principal-value conventions
and a few values of K, E and Pi against direct mpmath.quad integrals.

Each value is evaluated twice, at DPS and at DPS + 30 digits; it is accepted
when the two agree to CHECK_DIGITS digits (else both precisions are raised
until they do), and the more precise one is rounded to double. A value so
close to a rounding midpoint that this could not decide the double is refused.

Domain. The Carlson arguments span 1e-200 .. 1e200. Points are kept only where
the double-precision algorithms of the routines under test can work, as far
as the formulas they are built on allow:
  - RF's 11 duplication steps must meet Carlson's stop test, with one step to
    spare (RF(1e-200, 1, 1e200) does, RF(1e-300, 1, 1e300) does not); RD's 50
    and RJ's 100 steps likewise;
  - no product or quotient that the formulas form may overflow or underflow
    (leave 1e-300 .. 1e300): the prefactor x/(x - y) of the principal value
    of RC, the divisor z (y - z) of RD's one-zero form, RJ's
    (p-x)(p-y)(p-z) and squared product of the (sqrt(p) + sqrt(.)) in every
    duplication step, and, for p < 0, the pairwise and triple products of the
    principal-value transformation.
The last rule mostly removes RJ points with two arguments above about 1e100
or three below about 1e-100. Every golden value lies within 1e-300 .. 1e300
(or is 0 or +inf).

Columns (tab-separated): routine, four argument columns in the routine's own
order (ellippi: n, m; "-" for unused), golden value (repr of the double),
flag, condition number.
  flag  "-"         ordinary value
        "pv"        principal value (RC with y < 0, RJ with p < 0)
        "nearzero"  principal value close to a zero of RJ, where the result is
                    ill-conditioned (condition number above NEARZERO_COND)
  cond  for principal values, sum_i |a_i df/da_i| / |f|: the factor by which
        relative errors in the arguments are amplified in the result; "-"
        elsewhere (for the other Carlson values all partial derivatives share
        one sign, and the sum is the degree of homogeneity, 1/2 or 3/2).

Usage: gen_elliptic_golden.py [--every N] [OUTPUT]   (default: stdout)
  --every N   evaluate and write only every N-th data row (the argument sets
              are drawn in full either way, so the rows kept are identical to
              the corresponding rows of the full table).
"""

import math
import random
import sys

import mpmath
from mpmath import mp, mpf

SEED = 20240917
DPS = 50
EXTRA_DPS = 30
CHECK_DIGITS = 35
NEARZERO_COND = 1e3

COUNTS = {
    "elliprf": 320,
    "elliprc": 320,
    "elliprd": 320,
    "elliprj": 360,
    "ellipk": 320,
    "ellipe": 320,
    "ellippi": 360,
}
ROUTINES = list(COUNTS)

# Constants of the double-precision duplications whose domain is emulated
# below (Carlson 1995, Numer. Algorithms 10, with the iteration caps of the
# routines under test).
RF_TOLERANCE = 78.8959690786408        # (3 eps)^(-1/8)
RD_TOLERANCE = 107.63474115247546 * 1.2  # (eps/4)^(-1/8), widened by 1.2
RJ_TOLERANCE = 110.67925377307274      # (eps/5)^(-1/8)
RF_STEPS, RD_STEPS, RJ_STEPS = 11 - 1, 50 - 5, 100 - 10  # caps less a margin
TINY, HUGE = 1e-300, 1e300


# ---------------------------------------------------------------------------
# Oracle

def rc_value(x, y):
    if y < 0 and x == 0:
        return mpf(0)
    return mp.elliprc(x, y)  # pv=True: Cauchy principal value for y < 0


def rj_value(x, y, z, p):
    if p > 0:
        return mp.elliprj(x, y, z, p)
    x, y, z = sorted((x, y, z))
    q = -p
    pp = (y * (x + z + q) - x * z) / (y + q)
    w = x * z + pp * q
    return ((pp - y) * mp.elliprj(x, y, z, pp) - 3 * mp.elliprf(x, y, z)
            + 3 * mp.sqrt(x * y * z / w) * mp.elliprc(w, pp * q)) / (y + q)


ORACLE = {
    "elliprf": lambda x, y, z: mp.elliprf(x, y, z),
    "elliprc": rc_value,
    "elliprd": lambda x, y, z: mp.elliprd(x, y, z),
    "elliprj": rj_value,
    "ellipk": lambda m: mp.ellipk(m),
    "ellipe": lambda m: mp.ellipe(m),
    "ellippi": lambda n, m: mp.ellippi(n, m),
}


def evaluate(routine, args, dps):
    with mpmath.workdps(dps):
        return ORACLE[routine](*[mpf(a) for a in args])


def agree(a, b, digits):
    if mpmath.isinf(a) or mpmath.isinf(b) or a == 0 or b == 0:
        return a == b
    return abs(a - b) <= abs(b) * mpf(10) ** (-digits)


def golden(routine, args):
    """The value at the higher of two agreeing precisions, and that precision."""
    dps = DPS
    while True:
        lo = evaluate(routine, args, dps)
        hi = evaluate(routine, args, dps + EXTRA_DPS)
        if agree(lo, hi, CHECK_DIGITS):
            return hi, dps + EXTRA_DPS
        if dps > 1000:
            raise RuntimeError("no agreement for %s%r" % (routine, args))
        dps *= 2


def to_double(v, dps):
    """Round v to the nearest double; refuse a value whose double is not
    decided by the precision it was computed with."""
    if mpmath.isinf(v) or v == 0:
        return float(v)
    with mpmath.workdps(dps):
        d = float(v)  # mpmath rounds to nearest
        if d == 0 or math.isinf(d):
            raise RuntimeError("golden value %s outside the double range" % v)
        neighbour = math.nextafter(d, math.inf if v > mpf(d) else -math.inf)
        midpoint = (mpf(d) + mpf(neighbour)) / 2
        if abs(midpoint - v) <= abs(v) * mpf(10) ** (-CHECK_DIGITS + 2):
            raise RuntimeError("golden value %s too close to a rounding midpoint" % v)
    return d


def condition(routine, args, value, dps):
    """sum_i |a_i df/da_i| / |f| by central differences at high precision."""
    if value == 0:
        return None
    h = mpf(10) ** (-dps // 3)
    total = mpf(0)
    with mpmath.workdps(dps):
        for i, a in enumerate(args):
            if a == 0:
                continue
            up = list(map(mpf, args))
            dn = list(map(mpf, args))
            up[i] *= 1 + h
            dn[i] *= 1 - h
            total += abs((ORACLE[routine](*up) - ORACLE[routine](*dn)) / (2 * h))
        return total / abs(value)


def verify_conventions():
    """Check the principal-value conventions and the complete integrals
    against direct quadrature; stop with an error if one disagrees."""
    with mpmath.workdps(30):
        def pv_integral(g, a):
            # p.v. int_0^inf g(t)/(t - a) dt: subtract the pole on [0, 2a],
            # where p.v. int dt/(t - a) vanishes by symmetry. The difference
            # quotient is formed at triple precision, since the quadrature
            # nodes come within 1e-30 of the pole.
            def removed(t):
                with mpmath.workdps(90):
                    return (g(t) - g(a)) / (t - a)
            # The tail [2a, inf) is mapped onto (0, 1] by t = 2a/s^2, which
            # turns the algebraic decay into a smooth integrand.
            def tail(s):
                t = 2 * a / s ** 2
                return g(t) / (t - a) * 4 * a / s ** 3
            return mp.quad(removed, [0, a, 2 * a]) + mp.quad(tail, [0, 1])

        checks = []
        for x, y in [(0.25, -2.0), (3.0, -0.5), (1e-3, -40.0)]:
            x, y = mpf(x), mpf(y)
            quad = pv_integral(lambda t: 1 / (2 * mp.sqrt(t + x)), -y)
            checks.append(("RC p.v.", rc_value(x, y), quad))
        checks.append(("RC(1/4,-2) = ln2/3", rc_value(mpf(0.25), mpf(-2)), mp.log(2) / 3))
        for x, y, z, p in [(2, 3, 4, -0.5), (0.5, 1.5, 70, -0.01), (1, 2, 2, -100),
                           (0.3, 0.3, 0.3, -2), (4, 9, 0.2, -6)]:
            x, y, z, p = map(mpf, (x, y, z, p))
            quad = pv_integral(lambda t: 1.5 / mp.sqrt((t + x) * (t + y) * (t + z)), -p)
            checks.append(("RJ p.v.", rj_value(x, y, z, p), quad))
            # mpmath's own RJ for p < 0 integrates around the pole; its real
            # part is the principal value.
            checks.append(("RJ p.v. vs mpmath", rj_value(x, y, z, p),
                           mp.re(mp.elliprj(x, y, z, p))))
        for m in [-7.5, 0.3, 0.95]:
            m = mpf(m)
            checks.append(("K", mp.ellipk(m),
                           mp.quad(lambda t: 1 / mp.sqrt(1 - m * mp.sin(t) ** 2), [0, mp.pi / 2])))
            checks.append(("E", mp.ellipe(m),
                           mp.quad(lambda t: mp.sqrt(1 - m * mp.sin(t) ** 2), [0, mp.pi / 2])))
        for n, m in [(0.3, 0.5), (-0.5, 0.5), (-1e4, 0.2), (0.9, 0.99)]:
            n, m = mpf(n), mpf(m)
            checks.append(("Pi", mp.ellippi(n, m), mp.quad(
                lambda t: 1 / ((1 - n * mp.sin(t) ** 2) * mp.sqrt(1 - m * mp.sin(t) ** 2)),
                [0, mp.pi / 4, mp.pi / 2])))
        for name, got, want in checks:
            if abs(got - want) > 1e-20 * abs(want):
                raise RuntimeError("oracle check failed: %s %s != %s" % (name, got, want))


# ---------------------------------------------------------------------------
# Domain of the double-precision duplications (see the module docstring)

def _in_range(value):
    """A double that neither overflowed nor lost precision to underflow."""
    return math.isfinite(value) and TINY <= abs(value) <= HUGE


def _product_ok(value, *factors):
    """A product (or quotient) of the factors formed in doubles: zero only
    for a zero factor, otherwise in range."""
    if 0 in factors:
        return value == 0
    return _in_range(value)


def rf_ok(x, y, z):
    if x == y or x == z or y == z or 0 in (x, y, z):
        return True  # closed forms and the arithmetic-geometric mean
    a0 = (x + y + z) / 3
    q = RF_TOLERANCE * max(abs(a0), abs(a0 - x), abs(a0 - y), abs(a0 - z))
    a = a0
    for _ in range(RF_STEPS):
        rx, ry, rz = math.sqrt(x), math.sqrt(y), math.sqrt(z)
        lam = rx * ry + rx * rz + ry * rz
        a = (a + lam) / 4
        q /= 4
        if abs(a) > q:
            return True
        x, y, z = (x + lam) / 4, (y + lam) / 4, (z + lam) / 4
    return False


def rc_ok(x, y):
    # Principal value: the prefactor sqrt(x/(x - y)).
    return y > 0 or _product_ok(x / (x - y), x)


def rd_ok(x, y, z):
    if x == z:
        x, y = y, x
    if y == z and (x == y or x == 0):
        return True
    if x == 0:
        # One-zero form: its last term divides by z (y - z).
        return _product_ok(z * (y - z), z, y - z)
    a0 = (x + y + 3 * z) / 5
    q = RD_TOLERANCE * max(a0 - x, a0 - y, a0 - z)
    a = a0
    for _ in range(RD_STEPS):
        rx, ry, rz = math.sqrt(x), math.sqrt(y), math.sqrt(z)
        lam = rx * ry + rx * rz + ry * rz
        a, x, y, z = (a + lam) / 4, (x + lam) / 4, (y + lam) / 4, (z + lam) / 4
        q /= 4
        if a > q:
            return True
    return False


def rj_duplication_ok(x, y, z, p):
    a0 = (x + y + z + 2 * p) / 5
    q = RJ_TOLERANCE * max(abs(a0 - x), abs(a0 - y), abs(a0 - z), abs(a0 - p))
    delta = (p - x) * (p - y) * (p - z)
    a, f = a0, 1.0
    for _ in range(RJ_STEPS):
        rx, ry, rz, rp = math.sqrt(x), math.sqrt(y), math.sqrt(z), math.sqrt(p)
        d = (rp + rx) * (rp + ry) * (rp + rz)
        if not (math.isfinite(delta) and _in_range(d * d)):
            return False
        lam = rx * ry + rx * rz + ry * rz
        a = (a + lam) / 4
        f /= 4
        if a > f * q:
            return True
        x, y, z, p = (x + lam) / 4, (y + lam) / 4, (z + lam) / 4, (p + lam) / 4
        delta /= 64
    return False


def rj_ok(x, y, z, p):
    if x == y == z:
        return x == p or rc_ok(x, p)
    if x == y:
        x, z = z, x
    if y == z:
        if y == p:
            return rd_ok(x, y, y)
        if max(y, p) / min(y, p) > 1.2:
            return True
    if z == p:
        return rd_ok(x, y, z)
    if p > 0:
        return rj_duplication_ok(x, y, z, p)
    # Principal value: the transformation to a positive p'.
    x, y, z = sorted((x, y, z))
    q = -p
    xy = x * y
    s = (x + y + q) * z
    pp = (s - xy) / (z + q)
    w = xy + q * pp
    if not (_product_ok(xy, x, y) and _product_ok(xy * z, x, y, z) and _in_range(s)
            and _in_range(pp) and _in_range(w) and _in_range(q * pp)):
        return False
    return rf_ok(x, y, z) and rj_ok(x, y, z, pp)


# ---------------------------------------------------------------------------
# Argument sets

def logu(rng, lo, hi):
    """10**u with u uniform in [lo, hi]: a double, log-uniform."""
    return 10.0 ** rng.uniform(lo, hi)


def draw(rng, make, accept, count):
    out = []
    while len(out) < count:
        args = make()
        if accept(*args):
            out.append(args)
    return out


def shuffled(rng, args):
    args = list(args)
    rng.shuffle(args)
    return tuple(args)


def rf_args(rng):
    wide = lambda: tuple(logu(rng, -200, 200) for _ in range(3))
    near = lambda: tuple(logu(rng, -5, 5) for _ in range(3))
    def one_zero():
        return shuffled(rng, (0.0, logu(rng, -200, 200), logu(rng, -200, 200)))
    def two_equal():
        a, b = logu(rng, -200, 200), rng.choice([0.0, logu(rng, -200, 200)])
        return shuffled(rng, (a, a, b))
    def all_equal():
        a = logu(rng, -200, 200)
        return (a, a, a)
    def pi_like():  # the call made by the complete integral of the third kind
        return (0.0, 1.0 - logu(rng, -16, 0) if rng.random() < 0.5 else logu(rng, -16, 0), 1.0)
    rows = (draw(rng, wide, rf_ok, 160) + draw(rng, near, rf_ok, 50)
            + draw(rng, one_zero, rf_ok, 40) + draw(rng, two_equal, rf_ok, 30)
            + draw(rng, all_equal, rf_ok, 10) + draw(rng, pi_like, rf_ok, 30))
    return [(a, "-") for a in rows]


def rc_args(rng):
    pos = lambda: (rng.choice([0.0] + [logu(rng, -200, 200)] * 7), logu(rng, -200, 200))
    near = lambda: (lambda y: (y * (1 + rng.choice([-1, 1]) * logu(rng, -15, -0.5)), y))(
        logu(rng, -100, 100))
    equal = lambda: (lambda a: (a, a))(logu(rng, -200, 200))
    neg = lambda: (logu(rng, -200, 200), -logu(rng, -200, 200))
    neg_near = lambda: (lambda x: (x, -x * logu(rng, -3, 3)))(logu(rng, -100, 100))
    neg_zero = lambda: (0.0, -logu(rng, -200, 200))
    rows = [(a, "-") for a in draw(rng, pos, rc_ok, 120) + draw(rng, near, rc_ok, 50)
            + draw(rng, equal, rc_ok, 10)]
    rows += [(a, "pv") for a in draw(rng, neg, rc_ok, 90) + draw(rng, neg_near, rc_ok, 40)
             + draw(rng, neg_zero, rc_ok, 10)]
    return rows


def rd_args(rng):
    wide = lambda: tuple(logu(rng, -200, 200) for _ in range(3))
    near = lambda: tuple(logu(rng, -5, 5) for _ in range(3))
    x_zero = lambda: (0.0, logu(rng, -200, 200), logu(rng, -200, 200))
    y_zero = lambda: (logu(rng, -200, 200), 0.0, logu(rng, -200, 200))
    def closed():
        a, b = logu(rng, -200, 200), logu(rng, -200, 200)
        return rng.choice([(a, b, b), (0.0, b, b), (b, 0.0, b), (a, a, a), (a, b, a)])
    rows = (draw(rng, wide, rd_ok, 150) + draw(rng, near, rd_ok, 60)
            + draw(rng, x_zero, rd_ok, 40) + draw(rng, y_zero, rd_ok, 30)
            + draw(rng, closed, rd_ok, 40))
    return [(a, "-") for a in rows]


def rj_args(rng):
    def xyz(lo, hi, zero=False):
        a = [logu(rng, lo, hi) for _ in range(3)]
        if zero:
            a[rng.randrange(3)] = 0.0
        return a
    wide = lambda: tuple(xyz(-200, 200, rng.random() < 0.15) + [logu(rng, -200, 200)])
    near = lambda: tuple(xyz(-5, 5, rng.random() < 0.15) + [logu(rng, -5, 5)])
    def pi_like():  # RJ(0, 1 - m, 1, 1 - n) and RJ(0, 1 - m, 1, (1 - m)/(1 - n))
        c = rng.choice([1.0 - logu(rng, -16, 0), logu(rng, -16, 0)])
        return (0.0, c, 1.0, rng.choice([logu(rng, -16, 0), c / logu(rng, 0, 10)]))
    def closed():
        a, b, c = (logu(rng, -100, 100) for _ in range(3))
        kind = rng.randrange(5)
        if kind == 0:
            return (a, a, a, rng.choice([a, b]))
        if kind == 1:  # y = z, p far from y: two RC terms
            return (rng.choice([a, 0.0]), b, b, b * rng.choice([logu(rng, 0.1, 5), logu(rng, -5, -0.1)]))
        if kind == 2:  # y = z, p close to y: duplication
            return (rng.choice([a, 0.0]), b, b, b * rng.uniform(0.84, 1.19))
        if kind == 3:  # x = y != z
            return (a, a, b, c)
        return shuffled(rng, (a, b, c)) + (c,)  # p equal to one of x, y, z
    def pv_wide():
        return tuple(xyz(-200, 200, rng.random() < 0.15) + [-logu(rng, -200, 200)])
    def pv_near():
        return tuple(xyz(-5, 5, rng.random() < 0.15) + [-logu(rng, -5, 5)])
    def pv_closed():
        a, b = logu(rng, -50, 50), logu(rng, -50, 50)
        p = -logu(rng, -50, 50)
        return rng.choice([(a, a, a, p), (a, b, b, p), (a, a, b, p), (0.0, b, b, p)])
    rows = [(a, "-") for a in draw(rng, wide, rj_ok, 120) + draw(rng, near, rj_ok, 50)
            + draw(rng, pi_like, rj_ok, 30) + draw(rng, closed, rj_ok, 50)]
    rows += [(a, "pv") for a in draw(rng, pv_wide, rj_ok, 50) + draw(rng, pv_near, rj_ok, 30)
             + draw(rng, pv_closed, rj_ok, 15)]
    rows += [(a, "pv") for a in draw(rng, lambda: rj_near_zero(rng), rj_ok, 15)]
    return rows


def rj_near_zero(rng):
    """A p < 0 close to the zero of the principal value in p, for moderate
    positive x, y, z: RJ falls from +inf at p = 0- to negative values as
    p -> -inf. (With x = 0 it is negative for every p < 0: no zero.)"""
    x, y, z = (logu(rng, -3, 3) for _ in range(3))
    with mpmath.workdps(40):
        f = lambda u: rj_value(mpf(x), mpf(y), mpf(z), -mp.exp(u))
        lo, hi = mpf(-60), mpf(60)
        while hi - lo > mpf(10) ** -30:
            mid = (lo + hi) / 2
            lo, hi = (mid, hi) if f(mid) > 0 else (lo, mid)
        root = float(mp.exp(lo))
    return (x, y, z, -root * (1 + rng.choice([-1, 1]) * logu(rng, -9, -1)))


def k_args(rng):
    small = lambda: (logu(rng, -300, -1),)
    near_one = lambda: (1.0 - logu(rng, -15.9, -1),)
    middle = lambda: (rng.uniform(0.1, 0.9),)
    negative = lambda: (-logu(rng, -10, 10),)
    true = lambda *a: True
    special = [(0.0,), (0.5,), (0.9,), (1.0 - 2.0 ** -53,), (1.0 - 2.0 ** -52,), (1.0,)]
    rows = (special + draw(rng, small, true, 70) + draw(rng, near_one, true, 90)
            + draw(rng, middle, true, 70) + draw(rng, negative, true, 84))
    return [(a, "-") for a in rows]


def pi_args(rng):
    def m_value():
        return rng.choice([0.0, logu(rng, -300, -1), 1.0 - logu(rng, -15.9, -1),
                           rng.uniform(0.1, 0.9), rng.uniform(0.0, 1.0)])
    def n_value():
        return rng.choice([0.0, logu(rng, -300, -1), 1.0 - logu(rng, -15, -1),
                           rng.uniform(0.0, 1.0), -logu(rng, -300, -1), -logu(rng, -1, 9.99),
                           -rng.uniform(0.0, 1.0)])
    true = lambda *a: True
    special = [(0.0, 0.0), (0.5, 0.0), (-1.0, 0.0), (0.3, 0.5), (-0.5, 0.5), (0.0, 0.5)]
    rows = special + draw(rng, lambda: (n_value(), m_value()), true, 354)
    return [(a, "-") for a in rows]


def argument_sets():
    rng = random.Random(SEED)
    sets = {
        "elliprf": rf_args(rng),
        "elliprc": rc_args(rng),
        "elliprd": rd_args(rng),
        "elliprj": rj_args(rng),
        "ellipk": k_args(rng),
        "ellipe": k_args(rng),
        "ellippi": pi_args(rng),
    }
    for routine, rows in sets.items():
        assert len(rows) == COUNTS[routine], (routine, len(rows))
    return sets


# ---------------------------------------------------------------------------

def main(argv):
    every = 1
    out_path = None
    args = list(argv[1:])
    while args:
        a = args.pop(0)
        if a == "--every":
            every = int(args.pop(0))
        else:
            out_path = a
    verify_conventions()
    sets = argument_sets()
    lines = [
        "# generated by tools/gen_elliptic_golden.py: seed=%d dps=%d extra_dps=%d "
        "check_digits=%d nearzero_cond=%g counts=%s mpmath=%s"
        % (SEED, DPS, EXTRA_DPS, CHECK_DIGITS, NEARZERO_COND,
           ",".join("%s:%d" % (r, COUNTS[r]) for r in ROUTINES), mpmath.__version__),
        "# routine\targ1\targ2\targ3\targ4\tgolden\tflag\tcond",
    ]
    index = 0
    for routine in ROUTINES:
        for argset, flag in sets[routine]:
            index += 1
            if (index - 1) % every:
                continue
            value, dps = golden(routine, argset)
            cond = "-"
            if flag == "pv":
                kappa = condition(routine, argset, value, dps)
                if kappa is not None:
                    cond = "%.3g" % float(kappa)
                    if kappa > NEARZERO_COND:
                        flag = "nearzero"
            double = to_double(value, dps)
            if double != 0 and not math.isinf(double) and not TINY <= abs(double) <= HUGE:
                raise RuntimeError("golden value of %s%r outside 1e-300 .. 1e300" % (routine, argset))
            cols = [repr(float(a)) for a in argset] + ["-"] * (4 - len(argset))
            lines.append("\t".join([routine] + cols + [repr(double), flag, cond]))
    text = "\n".join(lines) + "\n"
    if out_path:
        with open(out_path, "w") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main(sys.argv)
