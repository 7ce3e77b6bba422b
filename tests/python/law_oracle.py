"""The limb-darkening oracle of tests/data/law_oracle.json (made by
tools/gen_law_oracle.py) and how a law is put together from it.

Every record holds, per basis profile b(mu), the excess E_b(u, rho) and its
derivatives in u and rho (u, rho in Einstein radii); the file also holds the
fluxes N_b. A law I(mu) = sum_b w_b(c) b(mu), linear in its basis profiles, with
coefficients c, magnifies by

    A = 1 + S/N,  S = sum_b w_b E_b,  N = sum_b w_b N_b,
    dA/du = sum_b w_b dE_b/du / N,  dA/drho likewise,
    dA/dc_k = (sum_b dw_b/dc_k E_b)/N - S/N^2 sum_b dw_b/dc_k N_b.

The laws and their coefficients follow batman (Kreidberg 2015). power2's
exponent alpha enters through the basis mu^alpha and its derivative through
mu^alpha ln(mu), so only the alphas tabulated (0.1, 0.6, 2.3) are available.
Coefficients are taken as the doubles the library receives, in exact binary.

On the limb (u = rho) the derivatives of the bases "1" and "exp" are infinite
(signed in the file); a law's derivative there is the infinity of its dominant
divergent basis: "exp" (a power of |u - rho|) before "1" (a logarithm).
"""

import json
import math
import os

import mpmath
from mpmath import mpf

DATA_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "law_oracle.json")

# Digits to carry when combining (the file holds 30).
DPS = 40


def _mu_pow(a):
    return "mu^%r" % a


def _weights(law, c):
    """(w, [dw/dc_k]) as dicts basis -> coefficient, for law with coefficients c."""
    one = mpf(1)
    if law == "uniform":
        return {"1": one}, []
    if law == "linear":
        (a,) = c
        return {"1": 1 - a, "mu": a}, [{"1": -one, "mu": one}]
    if law == "quadratic":
        a, b = c
        return ({"1": 1 - a - b, "mu": a + 2 * b, "mu^2": -b},
                [{"1": -one, "mu": one}, {"1": -one, "mu": 2 * one, "mu^2": -one}])
    if law == "squareroot":
        c1, d = c
        return {"1": 1 - c1 - d, "mu": c1, "mu^0.5": d}, [{"1": -one, "mu": one}, {"1": -one, "mu^0.5": one}]
    if law == "logarithmic":
        c1, d = c
        return {"1": 1 - c1, "mu": c1, "mu*ln(mu)": -d}, [{"1": -one, "mu": one}, {"mu*ln(mu)": -one}]
    if law == "exponential":
        c1, d = c
        return {"1": 1 - c1, "mu": c1, "exp": -d}, [{"1": -one, "mu": one}, {"exp": -one}]
    if law == "power2":
        c1, alpha = c
        name = _mu_pow(float(alpha))
        return ({"1": 1 - c1, name: c1},
                [{"1": -one, name: one}, {name + "*ln(mu)": c1}])
    if law == "nonlinear":
        names = ["mu^0.5", "mu", "mu^1.5", "mu^2"]
        w = {"1": 1 - sum(c)}
        w.update(zip(names, c))
        return w, [{"1": -one, name: one} for name in names]
    raise ValueError("unknown law %r" % law)


LAW_ARITY = {"uniform": 0, "linear": 1, "quadratic": 2, "squareroot": 2, "logarithmic": 2,
             "exponential": 2, "power2": 2, "nonlinear": 4}

# (law, coefficients) the tests use; each has positive flux.
CASES = [
    ("uniform", ()),
    ("linear", (0.6,)),
    ("linear", (0.54,)),
    ("quadratic", (0.4, 0.25)),
    ("squareroot", (0.2, 0.55)),
    ("logarithmic", (0.6, 0.2)),
    ("exponential", (0.5, 0.1)),
    ("power2", (0.6, 0.6)),
    ("power2", (0.8, 0.1)),
    ("power2", (0.5, 2.3)),
    ("nonlinear", (0.5, -0.1, 0.4, -0.15)),
]

# Divergent bases on the limb, strongest first.
DIVERGENT = ("exp", "1")


def load(path=DATA_PATH):
    with open(path) as fh:
        return json.load(fh)


ORACLE = load()
with mpmath.workdps(DPS):  # all 30 digits: dA/dc of a far lens cancels to 1e-8 of its terms
    FLUXES = {name: mpf(v) for name, v in ORACLE["fluxes"].items()}
RECORDS = ORACLE["records"]
RHO_VALUES = sorted({float(rec["rho"]) for rec in RECORDS})


def point(record):
    """(u, rho) of a record as the doubles the library receives."""
    return float(record["u"]), float(record["rho"])


def find(rho, l):
    """The record at (rho, l)."""
    for rec in RECORDS:
        if float(rec["rho"]) == rho and rec["l"] == l:
            return rec
    raise KeyError((rho, l))


def _flux(w):
    """sum_b w_b N_b (at the working precision of the caller)."""
    return sum(v * FLUXES[b] for b, v in w.items())


def _excess(w, record):
    """sum_b w_b E_b at a record."""
    return sum(v * mpf(record["E"][b]) for b, v in w.items())


def flux(law, coeffs):
    with mpmath.workdps(DPS):
        w, _ = _weights(law, [mpf(x) for x in coeffs])
        return _flux(w)


def _combine(w, column):
    """sum_b w_b column_b, with the limb's signed infinities: the strongest divergent
    basis of nonzero weight decides."""
    for name in DIVERGENT:
        if w.get(name) and "inf" in column[name]:
            return mpf(column[name]) * (1 if w[name] > 0 else -1)
    return sum(v * mpf(column[b]) for b, v in w.items() if v)


def evaluate(law, coeffs, record):
    """A, dA/du, dA/drho and [dA/dc_k] (mpf) of law with coefficients coeffs at record."""
    if len(coeffs) != LAW_ARITY[law]:
        raise ValueError("%s takes %d coefficients" % (law, LAW_ARITY[law]))
    with mpmath.workdps(DPS):
        w, dws = _weights(law, [mpf(x) for x in coeffs])
        n = _flux(w)
        s = _excess(w, record)
        out = {
            "A": 1 + s / n,
            "dA_du": _combine(w, record["dE_du"]) / n,
            "dA_drho": _combine(w, record["dE_drho"]) / n,
            "dA_dc": [],
        }
        for dw in dws:
            ds = _excess(dw, record)
            dn = _flux(dw)
            out["dA_dc"].append(ds / n - s * dn / n ** 2)
        return out


def extended_relative_error(got, want):
    """|got - want|/|want| as a float, with NaN and infinities (a NaN or a wrong
    infinity is infinitely wrong; the same ones are exact) and want = 0 (then |got|)."""
    got, want = mpf(got), mpf(want)
    if mpmath.isnan(got) or mpmath.isnan(want):
        return 0.0 if mpmath.isnan(got) and mpmath.isnan(want) else math.inf
    if mpmath.isinf(got) or mpmath.isinf(want):
        return 0.0 if got == want else math.inf
    with mpmath.workdps(DPS):
        if want == 0:
            return float(abs(got))
        return float(abs(got - want) / abs(want))
