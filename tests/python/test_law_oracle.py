"""Every limb-darkening law against the mpmath oracle (tests/data/law_oracle.json,
tools/gen_law_oracle.py): the magnification to 1e-12, its derivatives to 1e-10,
the signed infinities on a bright limb, for magnification() and light_curve(),
one band at a time and as a band table. The worst errors per region are printed.

A derivative is held to 1e-10 of itself or to 1e-14 of A per unit of the
parameter (rho for u and rho), whichever is larger: where A - 1 is below
~1e-9 (a source of rho = 1000 beside the lens) the excess the double A carries
has few digits left and its derivatives are known to that floor, far below
what a fit can see. The exponential law's derivatives within 1e-7 of the limb
are held to 5e-9: its brightness grows as 1/mu there, and the parts inside and
outside the lens's ring, each of size 1/mu_l, cancel to the derivative. Near the
centre (l = 1e-7 ... 1e-3) dA/du vanishes as u, while the parts inside and outside
the lens's ring each change by about A/rho: the sum keeps their absolute accuracy,
and the floor there is 3e-14 of A per unit of rho."""

import collections
import math

import numpy as np
import pytest

import magnifex
import law_oracle as lo

VALUE_BAR = 1e-12
GRADIENT_BAR = 1e-10
FLOOR = 1e-14  # of A, per unit of the parameter
NEAR_CENTRE_FLOOR = 3e-14
EXPONENTIAL_AT_LIMB_BAR = 5e-9

WORST = collections.defaultdict(float)
FLOORED = collections.defaultdict(int)  # derivatives within the floor, not the relative bar


def check(got, want, bar, what, floor=0.0):
    """Relative error within bar, or absolute error within floor."""
    error = lo.extended_relative_error(got, want)
    if floor and math.isfinite(error) and error > bar and abs(got - float(want)) <= floor:
        FLOORED[what] += 1
        return
    WORST[what] = max(WORST[what], error)
    assert error <= bar, f"{what}: got {got!r}, want {float(want)!r} (error {error:.1e})"


def gradient_bar(law, record):
    near_limb = abs(float(record["l"]) - 1.0) <= 1e-7
    return EXPONENTIAL_AT_LIMB_BAR if law == "exponential" and near_limb else GRADIENT_BAR


def check_slope(got, want, law, record, a, per, what):
    floor = NEAR_CENTRE_FLOOR if record["region"] == "near-centre" else FLOOR
    check(got, want, gradient_bar(law, record), what, floor * a / per)


def limb_is_bright(law, coefficients):
    """I(mu = 0) != 0: the constant and exponential bases are the ones that do not vanish there."""
    w, _ = lo._weights(law, [lo.mpf(c) for c in coefficients])
    return bool(w.get("1") or w.get("exp"))


@pytest.mark.parametrize("law, coefficients", lo.CASES)
def test_magnification_and_gradient(law, coefficients):
    for record in lo.RECORDS:
        u, rho = lo.point(record)
        want = lo.evaluate(law, coefficients, record)
        a, jacobian = magnifex.magnification(u, rho, law, coefficients, gradient=True)
        region = record["region"]
        check(a, want["A"], VALUE_BAR, f"value {region}")
        if region == "limb" and limb_is_bright(law, coefficients):
            assert (jacobian[0], jacobian[1]) == (-math.inf, math.inf) == (want["dA_du"], want["dA_drho"])
        else:
            check_slope(jacobian[0], want["dA_du"], law, record, a, rho, f"d/du {region}")
            check_slope(jacobian[1], want["dA_drho"], law, record, a, rho, f"d/drho {region}")
        for k, slope in enumerate(want["dA_dc"]):
            check_slope(jacobian[2 + k], slope, law, record, a, 1.0, f"d/dc {region}")


@pytest.mark.parametrize("law", sorted({law for law, _ in lo.CASES}))
def test_band_tables(law):
    """The law's cases as the rows of one call, over every record of one radius."""
    rows = [c for name, c in lo.CASES if name == law]
    for rho in (1e-4, 1.0):
        records = [r for r in lo.RECORDS if float(r["rho"]) == rho]
        u = np.array([lo.point(r)[0] for r in records])
        a, jacobian = magnifex.magnification(u, rho, law, np.array(rows).reshape(len(rows), -1), gradient=True)
        for band, coefficients in enumerate(rows):
            for i, record in enumerate(records):
                want = lo.evaluate(law, coefficients, record)
                check(a[band, i], want["A"], VALUE_BAR, f"band value {record['region']}")
                if record["region"] != "limb":
                    check_slope(jacobian[band, i, 0], want["dA_du"], law, record, a[band, i], rho, f"band d/du {record['region']}")


@pytest.mark.parametrize("law, coefficients", [c for c in lo.CASES if c[0] in ("quadratic", "power2", "nonlinear")])
def test_light_curve_gradient(law, coefficients):
    """u(t) = |t| for t0 = 0, u0 = 0, tE = 1: dA/dt0 = -dA/du, dA/dtE = -u dA/du."""
    for record in lo.RECORDS:
        if record["region"] in ("limb", "centre"):
            continue
        u, rho = lo.point(record)
        want = lo.evaluate(law, coefficients, record)
        a, jacobian = magnifex.light_curve(u, 0.0, 0.0, 1.0, rho, law, coefficients, gradient=True)
        region = record["region"]
        check(a, want["A"], VALUE_BAR, f"curve value {region}")
        check_slope(jacobian[0], -want["dA_du"], law, record, a, rho, f"curve d/dt0 {region}")
        assert jacobian[1] == 0.0
        check_slope(jacobian[2], -u * want["dA_du"], law, record, a, rho / max(u, 1e-300), f"curve d/dtE {region}")
        check_slope(jacobian[3], want["dA_drho"], law, record, a, rho, f"curve d/drho {region}")


def test_print_worst_errors():
    """(Runs last in this file.) The worst relative errors seen, per quantity and
    region, and how many derivatives were held to the floor instead."""
    for key in sorted(WORST):
        floored = f"  ({FLOORED[key]} within the floor)" if FLOORED[key] else ""
        print(f"  {key:28s} {WORST[key]:.1e}{floored}")
