"""Workloads of benchmarks/compare.py: the source profiles, the separations
at which every tool is timed, and the sample at which every tool's error is
measured against the mpmath oracle (benchmarks/make_oracle.py).

Separations are generated in source radii, l, the unit magnifex takes
(re = 1, rstar = rho); the peers take u = l * rho in Einstein radii, formed
once here as a double, so every tool is evaluated at the same doubles. The
oracle integrates at (l, rho) exactly; for rho = 1, and at l = 0 and the limb
l = 1, u is exactly l * rho.
"""

import math

# Linear limb darkening I(x) = 1 - LD_COEFF (1 - sqrt(1 - x^2)), the law built
# into magnifex. MulensModel's Gamma law I ~ 1 - Gamma (1 - 3/2 sqrt(1 - x^2))
# is the same profile for Gamma = 2 u / (3 - u) = 0.5 (compare.py forms Gamma
# from each workload's coefficient).
LD_COEFF = 0.6

# The linear law tabulated at TABLE_ROWS equally spaced radii, both ends included.
TABLE_ROWS = 50
TABLE_BL = [j / (TABLE_ROWS - 1) for j in range(TABLE_ROWS)]
TABLE_BF = [1 - LD_COEFF * (1 - math.sqrt(1 - x * x)) for x in TABLE_BL]

# The limb-darkening laws of magnifex.magnification in batman's conventions,
# I(mu) with mu = sqrt(1 - x^2), and realistic coefficients. The linear law
# with LD_COEFF is the "ld" profile (its workloads time the laws' functions
# too); each law here has workloads of its own ("law" profile).
LAWS = [
    ("linear", (0.54,)),
    ("quadratic", (0.4, 0.25)),
    ("squareroot", (0.2, 0.55)),
    ("logarithmic", (0.6, 0.2)),
    ("exponential", (0.5, 0.1)),
    ("power2", (0.6, 0.6)),
    ("nonlinear", (0.5, -0.1, 0.4, -0.15)),
]


def brightness(law, c, mu, m=math):
    """I(mu) of `law` with coefficients c, in math (floats) or mpmath.mp
    (m = mp); the exponential law is infinite at the limb mu = 0."""
    if law == "uniform":
        return 1 + 0 * mu
    lin = 1 - c[0] * (1 - mu)
    if law == "linear":
        return lin
    if law == "quadratic":
        return lin - c[1] * (1 - mu) ** 2
    if law == "squareroot":
        return lin - c[1] * (1 - m.sqrt(mu))
    if law == "logarithmic":
        return lin - (c[1] * mu * m.log(mu) if mu else 0)
    if law == "exponential":           # 1 / (1 - e^mu) = -1 / expm1(mu)
        return lin + c[1] / m.expm1(mu) if mu else math.inf
    if law == "power2":
        return 1 - c[0] * (1 - mu ** c[1])
    if law == "nonlinear":
        return 1 - sum(ck * (1 - mu ** ((k + 1) / 2)) for k, ck in enumerate(c))
    raise ValueError(law)


def law_label(law, c):
    return "%s(%s)" % (law, ",".join("%g" % v for v in c))


def law_table(law, c):
    """The law tabulated at TABLE_BL (rows of integrated_flux_map_*), or None
    where the limb brightness is infinite."""
    bf = [brightness(law, c, math.sqrt(1 - x * x)) for x in TABLE_BL]
    return None if not all(map(math.isfinite, bf)) else (TABLE_BL, bf)


GRID_POINTS = 1000        # timed separations per workload (full run)
SAMPLE_POINTS = 40        # oracle sample per workload: l = 0, the limb l = 1, and 38 grid points


class Workload:
    """`profile` is "disk", "ld" (the linear law LD_COEFF), "table" (TABLE_BL,
    TABLE_BF) or "law" (`law` with `coefficients`, one of LAWS); separations u
    in [0, umax] Einstein radii at source radius rho."""

    def __init__(self, name, profile, rho, umax, sample_stride=1, law=None):
        self.name, self.profile, self.rho, self.umax = name, profile, rho, umax
        self.lmax = umax / rho
        self.sample_stride = sample_stride
        if profile == "disk":
            law = ("uniform", ())
        elif profile == "ld":
            law = ("linear", (LD_COEFF,))
        self.law, self.coefficients = law if law else (None, None)

    @property
    def oracle_key(self):
        """Cache key of the oracle values: the profile (the law and its
        coefficients for a "law" workload) and rho; the point is l."""
        what = law_label(self.law, self.coefficients) if self.profile == "law" else self.profile
        return "%s|rho=%r" % (what, self.rho)

    def same_separations(self, other):
        return (self.rho, self.umax) == (other.rho, other.umax)

    def grid(self, n=GRID_POINTS):
        """n separations l at the midpoints of n equal cells of [0, lmax]: never 0
        nor the limb, where some peers raise (they are in the sample instead)."""
        step = self.lmax / n
        return [(i + 0.5) * step for i in range(n)]

    def sample(self, n=SAMPLE_POINTS):
        """The oracle sample: l = 0, the limb l = 1, (n - 2) / 2 cell midpoints
        of [0, lmax] (the whole light curve), and as many points of [0, min(3, lmax)]
        (the finite-source region, where the peers' errors are largest) a quarter
        cell into their cells, so the two sets stay apart when lmax = 3."""
        k = (n - 2) // 2
        far = [(i + 0.5) * self.lmax / k for i in range(k)]
        near = [(i + 0.25) * min(3.0, self.lmax) / k for i in range(k)]
        points = sorted(set([0.0, 1.0] + far + near))
        # A costly oracle (the 50-row table, minutes a point) samples every
        # sample_stride-th of these points, and the limb.
        return sorted(set(points[::self.sample_stride] + [1.0]))


def _w(profile, rho, umax, label, sample_stride=1):
    return Workload("%s rho=%g u in %s" % (profile, rho, label), profile, rho, umax, sample_stride)


# The separations and radii of every law's workloads: those of four "ld" workloads.
LAW_RANGES = [(0.1, 3.0, "[0,3]"), (0.1, 0.3, "[0,3rho]"), (0.01, 0.03, "[0,3rho]"),
              (1.0, 3.0, "[0,3]=[0,3rho]")]

WORKLOADS = [
    _w("disk", 0.1, 3.0, "[0,3]"),
    _w("ld", 0.1, 3.0, "[0,3]"),
    _w("ld", 0.01, 0.03, "[0,3rho]"),
    _w("ld", 0.1, 0.3, "[0,3rho]"),
    _w("ld", 1.0, 3.0, "[0,3]=[0,3rho]"),
    _w("table", 0.1, 3.0, "[0,3]", sample_stride=4),
    _w("disk", 0.001, 3.0, "[0,3]"),
    _w("disk", 0.01, 3.0, "[0,3]"),
    _w("disk", 1.0, 3.0, "[0,3]"),
    _w("ld", 0.001, 3.0, "[0,3]"),
    _w("ld", 0.01, 3.0, "[0,3]"),
] + [
    Workload("%s rho=%g u in %s" % (law_label(*law), rho, label), "law", rho, umax, law=law)
    for law in LAWS for rho, umax, label in LAW_RANGES
]

# The tiny workloads of the CI smoke run (their oracle values are in the cache).
SMOKE = ["disk rho=0.1 u in [0,3]", "ld rho=0.1 u in [0,3rho]",
         "quadratic(0.4,0.25) rho=0.1 u in [0,3rho]"]


# Bands: B rows of coefficients, from blue (t = 0) to red (t = 1) across the
# bands, by label: (law, row at t). Power-2 with a different alpha in every
# band, and with one alpha and a c per band.
BAND_LAWS = {
    "quadratic": ("quadratic", lambda t: (0.55 - 0.3 * t, 0.2 + 0.1 * t)),
    "power2": ("power2", lambda t: (0.75 - 0.2 * t, 0.8 - 0.35 * t)),
    "power2 one alpha": ("power2", lambda t: (0.75 - 0.2 * t, 0.6)),
}
BAND_COUNTS = [1, 2, 4, 8]


def band_coefficients(label, bands):
    """One row per band (bands >= 2), or the one row of a single band."""
    rows = [BAND_LAWS[label][1](j / max(1, bands - 1)) for j in range(bands)]
    return rows[0] if bands == 1 else rows


def by_name(names):
    table = {w.name: w for w in WORKLOADS}
    return [table[n] for n in names]
