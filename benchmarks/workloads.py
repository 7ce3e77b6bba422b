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
# is the same profile for Gamma = 2 u / (3 - u) = 0.5.
LD_COEFF = 0.6
LD_GAMMA = 2 * LD_COEFF / (3 - LD_COEFF)

# The linear law tabulated at TABLE_ROWS equally spaced radii, both ends included.
TABLE_ROWS = 50
TABLE_BL = [j / (TABLE_ROWS - 1) for j in range(TABLE_ROWS)]
TABLE_BF = [1 - LD_COEFF * (1 - math.sqrt(1 - x * x)) for x in TABLE_BL]

GRID_POINTS = 1000        # timed separations per workload (full run)
SAMPLE_POINTS = 40        # oracle sample per workload: l = 0, the limb l = 1, and 38 grid points


class Workload:
    """`profile` is "disk", "ld" (the linear law) or "table" (TABLE_BL, TABLE_BF);
    separations u in [0, umax] Einstein radii at source radius rho."""

    def __init__(self, name, profile, rho, umax, sample_stride=1):
        self.name, self.profile, self.rho, self.umax = name, profile, rho, umax
        self.lmax = umax / rho
        self.sample_stride = sample_stride

    @property
    def oracle_key(self):
        """Cache key of the oracle values: the profile and rho; the point is l."""
        return "%s|rho=%r" % (self.profile, self.rho)

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
]

# The tiny workloads of the CI smoke run (their oracle values are in the cache).
SMOKE = ["disk rho=0.1 u in [0,3]", "ld rho=0.1 u in [0,3rho]"]


def by_name(names):
    table = {w.name: w for w in WORKLOADS}
    return [table[n] for n in names]
