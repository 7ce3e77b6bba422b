#!/usr/bin/env python3
"""Oracle values of the limb-darkened magnification by a point-mass lens, basis by
basis, with their derivatives in the separation and in the source radius, made with
mpmath for tests/python/law_oracle.py (data in tests/data/law_oracle.json).

Units: the separation u and the source radius rho in Einstein radii; x in [0, 1]
the radius on the source in source radii, mu = sqrt(1 - x^2).

    A0(D)       = (D^2 + 2)/(D sqrt(D^2 + 4))                  (Paczynski 1986)
    A_ring(u,r) = (1/2 pi) int_0^{2 pi} A0(sqrt(u^2 + r^2 - 2 u r cos phi)) dphi
                = 2/(pi s sqrt(4 + d^2)) [2 K(m) + d^2 Pi(n, m)]   (Heyrovsky 2003,
                  ApJ 594, 464), s = u + r, d = u - r, n = 4 u r/s^2,
                  m = 16 u r/(s^2 (4 + d^2)),
    N_b         = int_0^1 b(mu(x)) 2 pi x dx = 2 pi int_0^1 b(mu) mu dmu,
    E_b(u, rho) = int_0^1 b(mu(x)) 2 pi x (A_ring(u, x rho) - 1) dx,

and a profile I = sum_b w_b b magnifies by A = 1 + (sum w_b E_b)/(sum w_b N_b).

Ring. K and Pi from Carlson's forms (DLMF 19.25.1, 19.25.2):
K = RF(0, 1-m, 1) = pi/(2 agm(1, sqrt(1-m))) (DLMF 19.8.5),
Pi = K + (n/3) RJ(0, 1-m, 1, 1-n), with 1 - n = d^2/s^2 and
1 - m = d^2 (4 + s^2)/(s^2 (4 + d^2)) formed from d, which every node carries
exactly (next paragraph), so that no digit of 1 - m is lost when the ring passes
through the lens. A_ring - 1 cancels by up to -log10(A0(u + rho) - 1) digits far
from the lens (digits_lost); the working precision carries that many more. On r = 0
or u = 0 the ring is A0(u + r) and A0 - 1 = 4/(D q (D^2 + 2 + D q)), q = sqrt(D^2 + 4),
without cancellation. The closed form is checked at start-up against
mpmath.ellipk/ellippi and against the phi-average by quadrature (RING_CHECKS).

Quadrature of E_b. The variable is theta, x = sin theta, mu = cos theta, so that
2 pi x dx = 2 pi x mu dtheta has no square root at the limb and b(mu) mu is at
worst a power of pi/2 - theta there. Three anchors carry their own offsets,
centre (theta = 0), lens (theta_L = asin(u/rho), inside only) and limb
(theta = pi/2): each node is an offset t from its anchor, and x, mu and
d = u - rho x come from t by forms without cancellation (lens:
d = 2 u sin^2(t/2) -+ rho mu_L sin t; limb: d = (u - rho) + 2 rho sin^2(t/2)),
which keeps a node 1e-60 from the lens or the limb exact. Between two anchors the
interval is cut in the middle, each half belonging to its anchor. The singular
points of the integrands in the complex theta plane are the lens and its mirror
images, the limb, and the points x = (+-u +- 2i)/rho where A_ring has branch
points (2/rho from the lens in x: the lens's scale when rho >> 1). The piece at an
anchor is cut by GRADING while longer than RESOLVE times the distance from the
anchor to the nearest other singular point; every other piece is halved while
longer than RESOLVE times its distance to the nearest singular point or than
GRADING - 1 times its distance to the anchor (Geometry.plan).
Every piece is integrated by tanh-sinh (Takahasi & Mori 1974) with step
2^-LEVEL, nodes up to |t| = T_MAX (T_MAX_LIMB on the piece at the limb, where the
integrands of the derivatives go as (pi/2 - theta)^(gamma - 1)); the rule with
twice the step, on every other node, gives the error estimate.

Derivatives. Off the limb, by central differences of E_b at TARGET_DPS + GUARD_DPS
+ 13 + log10(max(u, rho, 1)/h) + the digits A_ring - 1 cancels (55 to 83 digits):
    dE/du   = [E(u + h_u, rho) - E(u - h_u, rho)]/(2 h_u),   h_u   = STEP * min(|u - rho|, u, 2),
    dE/drho = [E(u, rho + h_r) - E(u, rho - h_r)]/(2 h_r),   h_r   = STEP * min(|u - rho|, rho, 2),
where |u - rho| is the distance to the limb singularity and 2 (Einstein radii)
that to the complex branch points; with STEP = 1e-13 the truncation h^2 E'''/(6 E')
stays near 1e-26 relative even 1e-12 of the limb. The three evaluations of a
difference share the partition and the rule: the pieces are the same fractions
of their anchor intervals, which move with the lens, so the quadrature error is a
smooth function of u and rho and cancels in the difference to the rule's accuracy
on the derivative; only rounding (STEP and the digits the difference cancels) is
paid in working precision. dE/du = 0 at u = 0 (E is even in u).

On the limb (u = rho) E_b(u) is not smooth: locally E ~ (rho - u)^(1 + gamma/2)
with other constants on the two sides for b ~ mu^gamma, so a central difference
converges only like h^(gamma/2). There the derivatives are taken under the
integral sign, the ring's derivative by a central difference at each node with
step STEP * |d| (d = rho (1 - x), exact at every node); the integrand goes as
b(mu)/(1 - x) ~ (pi/2 - theta)^(gamma - 1), integrable for every basis that
vanishes at the limb. For the bases that do not vanish there the derivatives
diverge (see LIMB_SIGNS):
  "1"   dE/du = -inf, dE/drho = +inf. By the divergence theorem
        dE/du = -(1/rho^2) oint A0 - 1 cos(psi) dl over the limb, whose integrand
        is ~ 1/|y - lens| > 0 next to the lens: log-divergent and positive, so
        dE/du -> -inf; d(rho^2 E)/drho = 2 pi rho (A_ring(u, rho) - 1), and the ring
        through the lens has A_ring = +inf (log).
  "exp" dE/du = +inf, dE/drho = -inf. b = 1/(1 - e^mu) ~ -1/mu ~ -(2(1-x))^(-1/2)
        is negative and infinite at the limb; against the 2-d kernel 1/|y - lens|
        the edge profile s^(-1/2) gives, lens outside at distance t, dE/du ~
        +2 pi c t^(-1/2) (the Hilbert transform of s_+^(-1/2), whose inner side
        vanishes with cot(pi/2)): a power-law divergence, stronger than the log of
        "1" that the regular part of b (-> 1/2) adds on both sides; so the central
        difference at the limb grows as +h^(-1/2). dE/drho = -dE/du to leading order
        (the singular terms depend on rho - u).
Both signs are confirmed numerically: --limb-signs prints the central differences
of E_1 and E_exp about u = rho = 1 with steps 1e-4 ... 1e-10 and the one-sided ones
(inside, outside); it gave, for h = 1e-4, 1e-6, 1e-8, 1e-10,
    "1"    central  -19.89   -29.10   -38.31   -47.52   (2 ln h, both sides alike)
    "exp"  central   433.5   4427.5  44408.8 444263.7   (h^(-1/2))
           inside   -10.80   -15.40   -20.01   -24.61   (ln h, half the weight of "1")
           outside   877.7   8870.4  88837.7 888552.0
and the records at 1 -+ 1e-2 ... 1 -+ 1e-12 hold dE/du and dE/drho
growing towards the limb with these signs (tests/python/test_law_oracle_data.py).

Cross-checks:
  identity  d(rho^2 E_b)/drho = b(0) 2 pi rho (A_ring(u, rho) - 1)
                                 + 2 pi rho int_0^{pi/2} x^3 b'(mu) (A_ring - 1) dtheta
            (differentiate int_0^rho b(mu(r/rho)) 2 pi r (A_ring(u, r) - 1) dr), on
            the value's nodes: a second dE/drho for every basis but "exp" (whose
            b(0) is infinite), no difference involved; on the limb the second
            dE/drho of the bases that vanish there. Every record stores its digits
            of agreement (identity_drho_digits) and the relative difference of the
            rule with twice the step (coarse_rule_rel_diff);
  rays      (--cross; by default one l of every region, CROSS_LS, at CROSS_RHOS)
            E_b once more from the lens outwards, with no elliptic integral and no
            ring: E_b = (2/rho^2) int dalpha int_{s1}^{s2} b(mu) s (A0(s) - 1) ds
            over rays at angle alpha from the direction to the source centre,
            s1,2 = u cos(alpha) -+ sqrt(rho^2 - u^2 sin^2(alpha)), mu^2 =
            (s - s1)(s2 - s)/rho^2, s (A0(s) - 1) = 4/(q (s^2 + 2 + s q)), q =
            sqrt(s^2 + 4); tanh-sinh in both (to 1e-100 of the chord ends, where
            "exp" goes as (s2 - s)^(-1/2)), the chord cut at the kernel's branch
            points +-2i, the angle cut at the complex angles where the chord's
            square root vanishes and then halved until the two rules agree.

Usage: gen_law_oracle.py [--only RHO[,L]]... [--subset K] [--check FILE]
                         [--cross FILE] [OUTPUT]
  default output tests/data/law_oracle.json, rewritten after every record (40
  minutes of one core, the records within 1e-12 of the limb 1 to 3 minutes each:
  run it under nice); --only keeps the records of one rho (and one l),
  repeatable; --subset K keeps every K-th record; --check FILE recomputes the
  kept records and compares their values with FILE, to --min-digits (20),
  instead of writing (the CI check); --cross FILE recomputes the E_b of FILE's
  kept records by rays, prints the digits of agreement per region and records
  them in FILE's meta ("rays"; 10 s to 3 minutes a record, longer within 1e-12
  of the limb); --resume keeps the records OUTPUT already holds; --limb-signs
  prints the differences about the limb (above).
"""

import argparse
import json
import math
import os
import sys
import time

import mpmath
from mpmath import mp, mpf

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUTPUT = os.path.join(HERE, "..", "tests", "data", "law_oracle.json")

RHO_VALUES = [1e-6, 1e-4, 1e-2, 0.1, 1.0, 10.0, 1e3]
# (l, region); u = float(l) * float(rho) in double precision.
L_VALUES = [
    (0.0, "centre"), (1e-7, "near-centre"), (1e-5, "near-centre"), (1e-3, "near-centre"),
    (0.3, "inside"), (0.35, "inside"), (0.7, "inside"), (0.87, "inside"),
    (1 - 1e-2, "near-inside"), (1 - 1e-4, "near-inside"), (1 - 1e-8, "near-inside"),
    (1 - 1e-12, "near-inside"), (1.0, "limb"),
    (1 + 1e-12, "near-outside"), (1 + 1e-8, "near-outside"), (1 + 1e-4, "near-outside"),
    (1 + 1e-2, "near-outside"), (1.03, "outside"), (1.06, "outside"), (1.18, "outside"), (1.2, "outside"),
    (1.3, "outside"), (1.5, "outside"), (1.64, "outside"), (1.75, "outside"),
    (3.0, "outside"), (10.0, "far"), (1e3, "far"),
]
# Near the centre dE/du vanishes as u. At rho = 1000 the rule of twice the
# step differs from it by 1e-9 .. 1e-7 (the other records: below 1e-11), and
# it lies below the tests' floor of 1e-14 of A per unit of rho anyway: the
# records near the centre stop at rho = 10.
NEAR_CENTRE_MAX_RHO = 10.0
# The exponents of mu^alpha (and of their alpha-derivatives mu^alpha ln mu) are
# the doubles nearest these decimals, as the library receives them.
ALPHAS = (0.1, 0.6, 2.3)
BASES = (["1", "mu^0.5", "mu", "mu^1.5", "mu^2", "mu*ln(mu)", "exp"]
         + ["mu^%r" % a for a in ALPHAS] + ["mu^%r*ln(mu)" % a for a in ALPHAS])
# b at the limb (mu = 0): finite for all but "exp".
LIMB_VALUE = {"1": 1}
# Signs of the divergent derivatives on the limb, (dE/du, dE/drho); see the header.
LIMB_SIGNS = {"1": ("-inf", "inf"), "exp": ("inf", "-inf")}

TARGET_DPS = 32          # digits the rules aim at
GUARD_DPS = 8
DIGITS_OUT = 30          # significant digits written
LEVEL = 4                # tanh-sinh step 2^-LEVEL
T_MAX = mpf(4.5)         # nodes to 1e-61 of a piece's ends
T_MAX_LIMB = mpf(6.3)    # nodes to 1e-450 of the limb: (pi/2 - theta)^(-0.9) converges
RESOLVE = 1             # a piece is at most this times its distance to a singularity
MAX_PIECES = 400
GRADING = 3
STEP = mpf("1e-13")
MAX_EST_ERR = 1e-24      # largest accepted error estimate (relative) of a stored value
# The rays check one l of every region at these rho (at rho = 1e3 the rays need
# a thousand pieces of the kernel's scale along each chord, and within 1e-12 of
# the limb some forty angular pieces: minutes of CPU each; those are run with --only).
CROSS_RHOS = (1e-2, 1.0, 10.0, 1e-6)
CROSS_LS = (0.0, 0.7, 1 - 1e-4, 1.0, 1 + 1e-4, 3.0, 1e3)
CROSS_DPS = 30
T_MAX_RAY = mpf(5)       # chord ends to 1e-100: (1e-100)^(1/2) for "exp"
CROSS_MIN_DIGITS = 20

RING_CHECKS = [(0.3, 0.7), (1.0, 1.0 + 1e-9), (5.0, 0.02), (2e-6, 1e-6 * (1 - 1e-8)), (1e3, 999.9)]


# --- the ring ------------------------------------------------------------------------

def point_excess(big_d):
    """A0(D) - 1 without cancellation."""
    q = mpmath.sqrt(big_d * big_d + 4)
    return 4 / (big_d * q * (big_d * big_d + 2 + big_d * q))


def ring_excess(u, r, d):
    """A_ring(u, r) - 1, Heyrovsky's form through Carlson's RF and RJ; d = u - r exact."""
    if u == 0 or r == 0:
        return point_excess(u + r)
    s = u + r
    s2, d2 = s * s, d * d
    one_minus_m = d2 * (4 + s2) / (s2 * (4 + d2))
    one_minus_n = d2 / s2
    n = 4 * u * r / s2
    k = mp.pi / (2 * mpmath.agm(1, mpmath.sqrt(one_minus_m)))
    rj = mpmath.elliprj(0, one_minus_m, 1, one_minus_n)
    bracket = (2 + d2) * k + d2 * n / 3 * rj
    return 2 * bracket / (mp.pi * s * mpmath.sqrt(4 + d2)) - 1


def ring_legendre(u, r):
    """The same with mpmath's Legendre integrals (parameter m)."""
    s, d = u + r, u - r
    n = 4 * u * r / s ** 2
    m = 16 * u * r / (s ** 2 * (4 + d ** 2))
    return 2 / (mp.pi * s * mpmath.sqrt(4 + d ** 2)) * (2 * mpmath.ellipk(m) + d ** 2 * mpmath.ellippi(n, m))


def ring_by_quadrature(u, r):
    """The phi-average by tanh-sinh, phi = b sinh(v) resolving the peak of width
    b = |u - r|/sqrt(u r) at phi = 0 (as in tools/gen_ring_oracle.py)."""
    b = abs(u - r) / mpmath.sqrt(u * r)

    def integrand(v):
        phi = b * mpmath.sinh(v)
        big_d = mpmath.sqrt((u - r) ** 2 + 4 * u * r * mpmath.sin(phi / 2) ** 2)
        return (big_d ** 2 + 2) / (big_d * mpmath.sqrt(big_d ** 2 + 4)) * b * mpmath.cosh(v)

    top = mpmath.asinh(mp.pi / b)
    pieces = int(mpmath.ceil(top / 2))
    return mpmath.quad(integrand, [top * k / pieces for k in range(pieces + 1)]) / mp.pi


def check_ring():
    """Digits of agreement of the closed form at 45 digits with mpmath's Legendre
    integrals and with the phi-average, both at 90 digits (1 - m near the lens costs
    the Legendre form as many digits as it has leading zeros), at RING_CHECKS."""
    worst = 99.0
    for u, r in RING_CHECKS:
        with mp.workdps(45):
            a = 1 + ring_excess(mpf(u), mpf(r), mpf(u) - mpf(r))
        with mp.workdps(90):
            for ref in (ring_legendre(mpf(u), mpf(r)), ring_by_quadrature(mpf(u), mpf(r))):
                worst = min(worst, float(-mpmath.log10(abs(a / ref - 1) + mpf(10) ** -99)))
    if worst < TARGET_DPS:
        raise RuntimeError("ring closed form agrees with the checks to %.1f digits only" % worst)
    return worst


# --- bases ---------------------------------------------------------------------------

def basis_values(mu):
    """b(mu) for every basis, in BASES order."""
    lm, sq = mpmath.log(mu), mpmath.sqrt(mu)
    powers = [mpmath.exp(mpf(a) * lm) for a in ALPHAS]
    return ([mpf(1), sq, mu, mu * sq, mu * mu, mu * lm, -1 / mpmath.expm1(mu)]
            + powers + [p * lm for p in powers])


def basis_slopes(mu):
    """db/dmu for every basis."""
    lm, sq = mpmath.log(mu), mpmath.sqrt(mu)
    em1 = mpmath.expm1(mu)
    powers = [mpmath.exp(mpf(a) * lm) for a in ALPHAS]
    return ([mpf(0), 1 / (2 * sq), mpf(1), 3 * sq / 2, 2 * mu, lm + 1, (em1 + 1) / em1 ** 2]
            + [mpf(a) * p / mu for a, p in zip(ALPHAS, powers)]
            + [p / mu * (mpf(a) * lm + 1) for a, p in zip(ALPHAS, powers)])


def fluxes():
    """N_b = 2 pi int_0^1 b(mu) mu dmu: 2 pi/(g + 2) for mu^g, -2 pi/(g + 2)^2 for
    mu^g ln mu; "exp" by quadrature of the entire mu/(e^mu - 1)."""
    out = {}
    for name in BASES:
        if name == "exp":
            out[name] = -2 * mp.pi * mpmath.quad(lambda t: t / mpmath.expm1(t) if t else mpf(1), [0, 1])
            continue
        g = {"1": 0, "mu^0.5": mpf(1) / 2, "mu": 1, "mu^1.5": mpf(3) / 2, "mu^2": 2, "mu*ln(mu)": 1}.get(name)
        if g is None:
            g = mpf(float(name.split("^")[1].split("*")[0]))
        out[name] = -2 * mp.pi / (g + 2) ** 2 if "ln" in name else 2 * mp.pi / (g + 2)
    return out


# --- tanh-sinh rule ------------------------------------------------------------------

_RULES = {}


def rule(t_max):
    """(k, fraction from the left end, fraction from the right end, weight) of the
    tanh-sinh rule on [0, 1] with step 2^-LEVEL; weights without the step."""
    key = (mp.prec, t_max)
    if key not in _RULES:
        h = mpf(2) ** -LEVEL
        nodes = []
        kmax = int(t_max / h)
        for k in range(-kmax, kmax + 1):
            t = k * h
            e = mpmath.exp(-mp.pi * mpmath.sinh(t))
            left = 1 / (1 + e)
            right = e / (1 + e)
            w = mp.pi * mpmath.cosh(t) * e / (1 + e) ** 2
            nodes.append((k, left, right, w))
        _RULES[key] = nodes
    return _RULES[key]


# --- geometry: anchors, pieces and nodes ---------------------------------------------

class Geometry:
    """Anchors and their intervals for one (u, rho)."""

    def __init__(self, u, rho):
        self.u, self.rho = u, rho
        self.s = u / rho
        if 0 < u < rho:
            self.mu_l = mpmath.sqrt((rho - u) * (rho + u)) / rho
            self.theta_l = mpmath.asin(self.s)
            self.phi_l = mpmath.asin(self.mu_l)
            self.regions = [("centre", self.theta_l / 2), ("lens-", self.theta_l / 2),
                            ("lens+", self.phi_l / 2), ("limb", self.phi_l / 2)]
        else:
            self.regions = [("centre", mp.pi / 4), ("limb", mp.pi / 4)]

    def anchor(self, kind):
        return {"centre": mpf(0), "limb": mp.pi / 2}.get(kind, getattr(self, "theta_l", None))

    def singular_thetas(self):
        """Singular points of the integrands in the complex theta plane: the lens
        (x = u/rho) and its mirror images, the branch points x = (+-u +- 2i)/rho of
        the ring, and the limb."""
        u, rho = self.u, self.rho
        xs = [mpmath.mpc(a * u, b * 2) / rho for a in (1, -1) for b in (1, -1)] + [self.s, -self.s]
        out = []
        for x in xs:
            t = mpmath.asin(x)
            out += [t, -t, mp.pi - t, t - mp.pi]
        return out + [mp.pi / 2, -mp.pi / 2]

    def plan(self):
        """Pieces (region, lo, hi) as fractions of each region's extent. A piece
        touching its anchor is halved while longer than RESOLVE times the distance
        from the anchor to the nearest other singular point; any other piece is
        halved while longer than RESOLVE times its distance to the nearest singular
        point. The fractions stay fixed for the shifted evaluations of a difference."""
        singular = self.singular_thetas()
        out = []
        for index, (kind, extent) in enumerate(self.regions):
            a, sign = self.anchor(kind), (1 if kind in ("centre", "lens+") else -1)
            others = [z for z in singular if abs(z - a) > extent * mpf(10) ** -30]
            todo = [(mpf(0), mpf(1))]
            while todo:
                lo, hi = todo.pop()
                p, q = sorted([a + sign * lo * extent, a + sign * hi * extent])
                if lo == 0:
                    dist = min([abs(z - a) for z in others] + [mp.pi])
                else:
                    dist = min(abs(z.imag) if p <= z.real <= q else min(abs(z - p), abs(z - q))
                               for z in [mpmath.mpc(v) for v in others])
                # the anchor's own singularity sits at an end: ratio GRADING suffices
                long_for_anchor = lo > 0 and (hi - lo) > (GRADING - 1) * lo
                if ((hi - lo) * extent > RESOLVE * dist or long_for_anchor) and len(out) + len(todo) < MAX_PIECES:
                    mid = hi / GRADING if lo == 0 else (lo + hi) / 2
                    todo += [(lo, mid), (mid, hi)]
                else:
                    out.append((index, lo, hi))
        return out

    def pieces(self, plan):
        """(kind, lo, hi, innermost) offsets from the anchor."""
        return [(self.regions[i][0], lo * self.regions[i][1], hi * self.regions[i][1], lo == 0)
                for i, lo, hi in plan]

    def point(self, kind, t):
        """x, mu and d = u - rho x at offset t from the anchor."""
        u, rho = self.u, self.rho
        if kind == "centre":
            x = mpmath.sin(t)
            return x, mpmath.cos(t), u - rho * x
        if kind == "limb":
            sh = mpmath.sin(t / 2)
            return mpmath.cos(t), mpmath.sin(t), (u - rho) + 2 * rho * sh * sh
        sign = 1 if kind == "lens+" else -1
        st, ct, sh = mpmath.sin(t), mpmath.cos(t), mpmath.sin(t / 2)
        x = self.s * ct + sign * self.mu_l * st
        mu = self.mu_l * ct - sign * self.s * st
        return x, mu, 2 * u * sh * sh - sign * rho * self.mu_l * st


def nodes(geo, cuts):
    """(x, mu, d, weight on the fine rule, on the even nodes only or 0)."""
    h = mpf(2) ** -LEVEL
    for kind, lo, hi, innermost in geo.pieces(cuts):
        width = hi - lo
        t_max = T_MAX_LIMB if (kind == "limb" and innermost) else T_MAX
        for k, left, right, w in rule(t_max):
            t = lo + width * left if left < right else hi - width * right
            x, mu, d = geo.point(kind, t)
            weight = width * w * h
            yield x, mu, d, weight, (2 * weight if k % 2 == 0 else 0)


# --- the integrals ---------------------------------------------------------------------

def excess_integrals(u, rho, cuts, identity=False, limb_derivatives=False):
    """Fine and coarse sums of E_b (and, if asked, of the identity's integral J_b, or
    of the derivatives under the integral sign on the limb), each a list in BASES order."""
    geo = Geometry(u, rho)
    nb = len(BASES)
    keys = ["E"] + (["J"] if identity else []) + (["du", "drho"] if limb_derivatives else [])
    fine = {k: [mpf(0)] * nb for k in keys}
    coarse = {k: [mpf(0)] * nb for k in keys}
    two_pi = 2 * mp.pi
    for x, mu, d, w, w2 in nodes(geo, cuts):
        r = rho * x
        excess = ring_excess(u, r, d)
        b = basis_values(mu)
        terms = {"E": [two_pi * x * mu * excess * bb for bb in b]}
        if identity:
            db = basis_slopes(mu)
            terms["J"] = [x ** 3 * excess * v for v in db]
        if limb_derivatives:
            step = STEP * abs(d)
            du = (ring_excess(u + step, r, d + step) - ring_excess(u - step, r, d - step)) / (2 * step)
            dr = (ring_excess(u, r + step, d - step) - ring_excess(u, r - step, d + step)) / (2 * step)
            terms["du"] = [two_pi * x * mu * du * bb for bb in b]
            terms["drho"] = [two_pi * x * x * mu * dr * bb for bb in b]
        for key, vals in terms.items():
            f, c = fine[key], coarse[key]
            for i, v in enumerate(vals):
                f[i] += w * v
                if w2:
                    c[i] += w2 * v
    return fine, coarse


def central_difference(shifted, step, cuts):
    """Fine and coarse central differences of E_b on one partition (cuts)."""
    plus = excess_integrals(*shifted(step), cuts)
    minus = excess_integrals(*shifted(-step), cuts)
    return [[(a - b) / (2 * step) for a, b in zip(plus[j]["E"], minus[j]["E"])] for j in (0, 1)]


def digits_lost(u, rho):
    """Digits A_ring - 1 cancels on the farthest ring."""
    with mp.workdps(20):
        return max(0, int(mpmath.ceil(-mpmath.log10(point_excess(mpf(u) + mpf(rho))))))


def rel(a, b):
    if b == 0:
        return abs(a)
    return abs(a - b) / abs(b)


def fmt(x):
    if mpmath.isinf(x):
        return "inf" if x > 0 else "-inf"
    return mpmath.nstr(x, DIGITS_OUT, min_fixed=1, max_fixed=0)


def record(l, region, rho_d):
    """Values, derivatives, their error estimates and the identity's check at one point."""
    u_d = float(l) * float(rho_d)
    u, rho = mpf(u_d), mpf(rho_d)
    limb = u_d == rho_d
    if limb or u_d == 0:
        sigma = min(rho, mpf(2))
    else:
        sigma = min(abs(u - rho), mpf(2), u, rho)
    scale = max(u, rho, mpf(1))
    extra = int(mpmath.ceil(mpmath.log10(scale / sigma))) + 13  # STEP = 1e-13
    dps = TARGET_DPS + GUARD_DPS + digits_lost(u_d, rho_d) + (0 if limb else extra)
    out = {"l": l, "u": repr(u_d), "rho": repr(rho_d), "region": region}
    with mp.workdps(dps):
        cuts = Geometry(u, rho).plan()
        out["pieces"] = len(cuts)
        fine, coarse = excess_integrals(u, rho, cuts, identity=True, limb_derivatives=limb)
        e, e2 = fine["E"], coarse["E"]
        est = {"E": max(float(rel(e2[i], e[i])) for i in range(len(BASES)))}
        du, drho, du2, drho2 = [None] * 4
        if limb:
            du, drho = fine["du"], fine["drho"]
            du2, drho2 = coarse["du"], coarse["drho"]
        else:
            h_u = STEP * min(abs(u - rho), u, mpf(2))
            h_r = STEP * min(abs(u - rho), rho, mpf(2)) if u_d else STEP * min(rho, mpf(2))
            if u_d:
                du, du2 = central_difference(lambda dx: (u + dx, rho), h_u, cuts)
            else:
                du = du2 = [mpf(0)] * len(BASES)
            drho, drho2 = central_difference(lambda dx: (u, rho + dx), h_r, cuts)
        # The identity: d(rho^2 E)/drho = b(0) 2 pi rho (A_ring(u, rho) - 1) + 2 pi rho J.
        ring_at_limb = None if limb else ring_excess(u, rho, u - rho)
        ident = []
        for i, name in enumerate(BASES):
            if name == "exp" or (limb and name in LIMB_VALUE):
                ident.append(None)
                continue
            b0 = LIMB_VALUE.get(name, 0)
            total = 2 * mp.pi * rho * fine["J"][i] + (b0 * 2 * mp.pi * rho * ring_at_limb if b0 else 0)
            ident.append((total - 2 * rho * e[i]) / rho ** 2)
        out["E"], out["dE_du"], out["dE_drho"] = {}, {}, {}
        est_du, est_drho, ident_worst = 0.0, 0.0, 0.0
        for i, name in enumerate(BASES):
            out["E"][name] = fmt(e[i])
            if limb and name in LIMB_SIGNS:
                out["dE_du"][name], out["dE_drho"][name] = LIMB_SIGNS[name]
                continue
            out["dE_du"][name] = fmt(du[i])
            out["dE_drho"][name] = fmt(drho[i])
            if du[i]:
                est_du = max(est_du, float(rel(du2[i], du[i])))
            est_drho = max(est_drho, float(rel(drho2[i], drho[i])))
            if ident[i] is not None:
                ident_worst = max(ident_worst, float(rel(ident[i], drho[i])))
        est["dE_du"], est["dE_drho"] = est_du, est_drho
        out["coarse_rule_rel_diff"] = est
        out["identity_drho_digits"] = round(-math.log10(ident_worst), 1) if ident_worst else 99.0
        out["dps"] = dps
    return out


# --- independent check: rays from the lens -----------------------------------------------

def ts_pieces(f, pieces, t_max=T_MAX):
    """Tanh-sinh over pieces (lo, hi, end) of f(offset, end): each node is passed
    as its offset from the piece's end `end` ("lo" or "hi") and that end's side;
    returns the fine and coarse sums (vectors)."""
    h = mpf(2) ** -LEVEL
    fine = coarse = None
    for lo, hi, end in pieces:
        width = hi - lo
        for k, left, right, w in rule(t_max):
            off = width * (left if end == "lo" else right)
            v = f(off, lo, hi, end)
            wt = width * w * h
            if fine is None:
                fine, coarse = [mpf(0)] * len(v), [mpf(0)] * len(v)
            for i, vi in enumerate(v):
                fine[i] += wt * vi
                if k % 2 == 0:
                    coarse[i] += 2 * wt * vi
    return fine, coarse


def resolved(lo, hi, end, singular):
    """[lo, hi] halved until each piece is at most RESOLVE times its distance to the
    singular points (complex); the piece at end `end` may touch a singularity there."""
    anchor = lo if end == "lo" else hi
    out, todo = [], [(lo, hi)]
    while todo:
        a, b = todo.pop()
        touching = (a == lo and end == "lo") or (b == hi and end == "hi")
        pts = [z for z in singular if not (touching and z == anchor)]
        dist = min([abs(z.imag) if a <= z.real <= b else min(abs(z - a), abs(z - b)) for z in pts]
                   + [mpf(10) ** 9])
        if (b - a) > RESOLVE * dist and len(out) + len(todo) < MAX_PIECES:
            m = (a + b) / 2
            todo += [(a, m), (m, b)]
        else:
            out.append((a, b, end if touching else "lo"))
    return out


def chord_integral(s1, s2, both_ends, rho):
    """int b(mu) s (A0(s) - 1) ds over [max(s1, 0), s2] along one ray, mu^2 =
    (s - s1)(s2 - s)/rho^2, with s2 - s (and s - s1 when both ends are on the limb)
    carried exactly as the offsets of the pieces touching them."""
    length = s2 - s1
    kernel_sing = [mpmath.mpc(0, 2), mpmath.mpc(0, -2)]

    def f(off, lo, hi, end):
        if end == "hi" and hi == s2:
            s, a, b = s2 - off, length - off, off
        elif end == "lo" and lo == s1:
            s, a, b = s1 + off, off, length - off
        else:
            s = lo + off if end == "lo" else hi - off
            a, b = s - s1, s2 - s
        mu = mpmath.sqrt(a * b) / rho
        q = mpmath.sqrt(s * s + 4)
        kern = 4 / (q * (s * s + 2 + s * q))
        return [kern * v for v in basis_values(mu)]

    sing = kernel_sing + [mpmath.mpc(s1), mpmath.mpc(s2)]
    if both_ends:
        mid = s1 + length / 2
        pieces = resolved(s1, mid, "lo", sing) + resolved(mid, s2, "hi", sing)
    else:
        pieces = resolved(mpf(0), s2, "hi", sing)
    # T_MAX_RAY: b ~ -1/mu ~ (s2 - s)^(-1/2) for "exp" at the chord ends
    return ts_pieces(f, pieces, t_max=T_MAX_RAY)


def ray_excess(u, rho, rel_tol):
    """E_b by rays from the lens: E_b = (2/rho^2) int_0^alpha_max dalpha
    int b(mu) s (A0(s) - 1) ds; the angular pieces are halved until the two rules
    agree to rel_tol."""
    nb = len(BASES)
    if u == 0:
        f, _ = chord_integral(-rho, rho, False, rho)
        return [2 * mp.pi * v / rho ** 2 for v in f]
    # alpha = top - beta, measured from the direction of the source centre; the
    # pieces are in beta, from the ray that grazes the limb or runs away from the centre.
    if u < rho:
        top = mp.pi
    elif u == rho:
        top = mp.pi / 2
    else:
        top = mpmath.asin(rho / u)
    root = mpmath.sqrt(abs(u * u - rho * rho))

    def chord(off):
        # alpha = top - off; rho - u sin(alpha) without cancellation; s1 < 0 when
        # the lens is inside, s1 = 0 when it is on the limb
        alpha = top - off
        ca, sa = mpmath.cos(alpha), mpmath.sin(alpha)
        if u > rho:
            sh = mpmath.sin(off / 2)
            gap = 2 * rho * sh * sh + root * mpmath.sin(off)
        else:
            sh = mpmath.sin(mp.pi / 4 - alpha / 2)
            gap = (rho - u) + 2 * u * sh * sh
        w = mpmath.sqrt(gap * (rho + u * sa))
        s1 = u * ca - w if u * ca <= 0 else (u - rho) * (u + rho) / (u * ca + w)
        return s1, u * ca + w

    def outer(off, lo, hi, e):
        s1, s2 = chord(lo + off if e == "lo" else hi - off)
        return chord_integral(s1, s2, s1 >= 0, rho)[0]

    # Start from pieces that resolve the angles where the chord's square root
    # vanishes: beta = pi/2 -+ i acosh(rho/u) inside (a near-limb lens sees the limb
    # bend there), beta = 0 (an end), 2 alpha_t - pi and 2 alpha_t outside.
    if u < rho:
        c = mpmath.acosh(rho / u)
        singular = [mpmath.mpc(mp.pi / 2, c), mpmath.mpc(mp.pi / 2, -c)]
    elif u == rho:
        singular = [mpmath.mpc(0)]
    else:
        singular = [mpmath.mpc(0), mpmath.mpc(2 * top - mp.pi), mpmath.mpc(2 * top)]
    # A piece is halved while its two rules differ by more than rel_tol of the
    # largest basis's whole integral (a bar relative to the piece would chase the
    # inner rules' own errors without end).
    first = [(a, b) + ts_pieces(outer, [(a, b, "lo")], t_max=mpf(4))
             for a, b, _ in resolved(mpf(0), top, "lo", singular)]
    scale = max(abs(sum(p[2][i] for p in first)) for i in range(nb))
    total, todo, count = [mpf(0)] * nb, first, len(first)
    while todo:
        a, b, fine, coarse = todo.pop()
        err = max(abs(x - y) for x, y in zip(fine, coarse))
        if err > rel_tol * scale and count < MAX_PIECES:
            m = (a + b) / 2
            todo += [(lo, hi) + ts_pieces(outer, [(lo, hi, "lo")], t_max=mpf(4)) for lo, hi in ((a, m), (m, b))]
            count += 1
        else:
            total = [t + x for t, x in zip(total, fine)]
    return [2 * v / rho ** 2 for v in total]


def ray_check(rec):
    """Digits to which the rays reproduce the record's E_b (worst basis)."""
    u, rho = mpf(float(rec["u"])), mpf(float(rec["rho"]))
    with mp.workdps(CROSS_DPS + digits_lost(float(rec["u"]), float(rec["rho"]))):
        e = ray_excess(u, rho, mpf(10) ** -(CROSS_DPS - 4))
        worst = max(rel(v, mpf(rec["E"][name])) for v, name in zip(e, BASES))
    return float(-mpmath.log10(worst)) if worst else 99.0


# --- driver ------------------------------------------------------------------------------

def grid(only=None, subset=1):
    """(l, region, rho) of the kept records, rho by rho; only: a list of 'RHO' or 'RHO,L'."""
    points = [(l, region, rho) for rho in RHO_VALUES for l, region in L_VALUES
              if region != "near-centre" or rho <= NEAR_CENTRE_MAX_RHO]
    if only:
        wanted = [[float(v) for v in item.split(",")] for item in only]
        points = [p for p in points if any(p[2] == w[0] and (len(w) == 1 or p[0] == w[1]) for w in wanted)]
    return points[::subset]


def meta(ring_digits):
    return {
        "script": "tools/gen_law_oracle.py",
        "mpmath_version": mpmath.__version__,
        "units": "u and rho in Einstein radii; u = float(l) * float(rho) in double precision",
        "target_dps": TARGET_DPS, "guard_dps": GUARD_DPS, "digits": DIGITS_OUT,
        "tanh_sinh_level": LEVEL, "t_max": float(T_MAX), "t_max_limb": float(T_MAX_LIMB),
        "resolve": RESOLVE, "grading": GRADING, "difference_step": mpmath.nstr(STEP, 3),
        "alphas": list(ALPHAS),
        "ring_check_digits": round(ring_digits, 1),
        "definitions": {
            "N_b": "int_0^1 b(mu(x)) 2 pi x dx",
            "E_b": "int_0^1 b(mu(x)) 2 pi x (A_ring(u, x rho) - 1) dx",
            "A": "1 + (sum_b w_b E_b)/(sum_b w_b N_b)",
            "exp": "1/(1 - e^mu)",
        },
        "limb_signs": {k: list(v) for k, v in LIMB_SIGNS.items()},
        "coarse_rule_rel_diff": "relative difference to the rule of twice the step (its error is about the square)",
        "identity_drho_digits": "digits to which d(rho^2 E)/drho by the integral identity matches the difference (all bases but exp)",
    }


def limb_signs(rho_d=1.0, steps=("1e-4", "1e-6", "1e-8", "1e-10")):
    """Central differences of E_1 and E_exp about the limb u = rho with decreasing
    steps h (relative to rho), and the one-sided differences on both sides: the
    numerical side of LIMB_SIGNS."""
    rho = mpf(rho_d)
    names = ["1", "exp"]
    idx = [BASES.index(n) for n in names]
    with mp.workdps(TARGET_DPS + GUARD_DPS + 12):
        e0 = excess_integrals(rho, rho, Geometry(rho, rho).plan())[0]["E"]
        rows = []
        for h in steps:
            h = mpf(h) * rho
            plus = excess_integrals(rho + h, rho, Geometry(rho + h, rho).plan())[0]["E"]
            minus = excess_integrals(rho - h, rho, Geometry(rho - h, rho).plan())[0]["E"]
            for n, i in zip(names, idx):
                rows.append((mpmath.nstr(h / rho, 2), n, (plus[i] - minus[i]) / (2 * h),
                             (e0[i] - minus[i]) / h, (plus[i] - e0[i]) / h))
    print("rho = %r: h/rho, basis, central dE/du, from inside, from outside" % rho_d)
    for h, n, c, ins, outs in rows:
        print("  %-6s %-4s %14s %14s %14s" % (h, n, mpmath.nstr(c, 8), mpmath.nstr(ins, 8), mpmath.nstr(outs, 8)))


def compare(fresh, path, min_digits):
    """Digits of agreement of every value of the fresh records with those in path."""
    with open(path) as fh:
        stored = {(r["u"], r["rho"]): r for r in json.load(fh)["records"]}
    worst, bad = 99.0, []
    for rec in fresh:
        old = stored.get((rec["u"], rec["rho"]))
        if old is None:
            bad.append("u=%s rho=%s: not in %s" % (rec["u"], rec["rho"], path))
            continue
        for key in ("E", "dE_du", "dE_drho"):
            for name in BASES:
                a, b = rec[key][name], old[key][name]
                if "inf" in a or "inf" in b:
                    ok, digits = a == b, 99.0
                else:
                    with mp.workdps(40):
                        r = rel(mpf(a), mpf(b))
                    digits = float(-mpmath.log10(r)) if r else 99.0
                    ok = digits >= min_digits
                worst = min(worst, digits)
                if not ok:
                    bad.append("u=%s rho=%s %s[%s]: %s against %s" % (rec["u"], rec["rho"], key, name, a, b))
    return worst, bad


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--only", action="append", help="'RHO' or 'RHO,L': the records of one rho (and one l); repeatable")
    ap.add_argument("--subset", type=int, default=1, help="keep every K-th record")
    ap.add_argument("--check", metavar="FILE", help="compare the kept records with FILE instead of writing")
    ap.add_argument("--min-digits", type=float, default=20.0)
    ap.add_argument("--cross", metavar="FILE", help="check the E_b of FILE's kept records by rays")
    ap.add_argument("--resume", action="store_true", help="keep the records OUTPUT already holds")
    ap.add_argument("--limb-signs", action="store_true", help="print differences about the limb at rho = 1")
    ap.add_argument("output", nargs="?", default=DEFAULT_OUTPUT)
    args = ap.parse_args()
    points = grid(args.only, args.subset)
    start = time.process_time()
    if args.limb_signs:
        limb_signs()
        return
    if args.cross:
        if not args.only:
            points = [(l, None, rho) for rho in CROSS_RHOS for l in CROSS_LS]
        with open(args.cross) as fh:
            doc = json.load(fh)
        checked = doc["meta"].get("rays", {}).get("points", [])
        for l, _, rho in points:
            key = (repr(float(l) * float(rho)), repr(rho))
            rec = next((r for r in doc["records"] if (r["u"], r["rho"]) == key), None)
            if rec is None:
                continue
            digits = ray_check(rec)
            checked = [p for p in checked if (p["l"], p["rho"]) != (rec["l"], rec["rho"])]
            checked.append({"l": rec["l"], "rho": rec["rho"], "region": rec["region"], "digits": round(digits, 1)})
            summary = {}
            for p in checked:
                summary[p["region"]] = min(summary.get(p["region"], 99.0), p["digits"])
            print("rays: l=%-16r rho=%-7s %-12s %5.1f digits  (%.0f s)"
                  % (rec["l"], rec["rho"], rec["region"], digits, time.process_time() - start),
                  file=sys.stderr, flush=True)
            # the file records which points the rays checked, and how well
            doc["meta"]["rays"] = {"worst_digits_by_region": summary, "points": checked}
            with open(args.cross, "w") as fh:
                json.dump(doc, fh, indent=1)
                fh.write("\n")
        print(json.dumps(summary, indent=1))
        if min(summary.values()) < CROSS_MIN_DIGITS:
            sys.exit("rays and rings disagree")
        return
    ring_digits = check_ring()
    fresh, done = [], {}
    rays = None
    if args.resume and os.path.exists(args.output):
        with open(args.output) as fh:
            old = json.load(fh)
        done = {(r["u"], r["rho"]): r for r in old["records"]}
        rays = old["meta"].get("rays")  # the ray checks of records kept as they were
    doc = {"meta": meta(ring_digits), "fluxes": None, "records": fresh}
    if rays:
        doc["meta"]["rays"] = rays
    with mp.workdps(TARGET_DPS + GUARD_DPS):
        doc["fluxes"] = {name: fmt(v) for name, v in fluxes().items()}
    for l, region, rho in points:
        fresh.append(done.get((repr(float(l) * float(rho)), repr(rho))) or record(l, region, rho))
        rec = fresh[-1]
        print("l=%-16r rho=%-7r %-12s pieces %3d dps %3d  rule %.0e  identity %4.1f digits  (%.0f s)"
              % (l, rho, region, rec["pieces"], rec["dps"], max(rec["coarse_rule_rel_diff"].values()),
                 rec["identity_drho_digits"], time.process_time() - start), file=sys.stderr, flush=True)
        if not args.check:
            with open(args.output, "w") as fh:
                json.dump(doc, fh, indent=1)
                fh.write("\n")
    if args.check:
        worst, bad = compare(fresh, args.check, args.min_digits)
        if bad:
            print("\n".join(bad), file=sys.stderr)
            sys.exit("%d values differ from %s" % (len(bad), args.check))
        print("%d records reproduced, worst agreement %.1f digits" % (len(fresh), worst))


if __name__ == "__main__":
    main()
