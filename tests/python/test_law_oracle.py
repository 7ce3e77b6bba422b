"""Every limb-darkening law against the mpmath oracle (tests/data/law_oracle.json,
tools/gen_law_oracle.py): the magnification to 1e-12, its derivatives in u and
rho to 1e-10 (1e-8 within 1e-2 of the limb), the signed infinities on a bright
limb, the derivatives in the coefficients, for magnification() and
light_curve(), one band at a time and as a band table. The worst errors per
region are printed."""

import collections
import math

import numpy as np
import pytest

import magnifex
import law_oracle as lo

VALUE_BAR = 1e-12
GRADIENT_BAR = 1e-10
NEAR_LIMB_GRADIENT_BAR = 1e-8  # within 1e-12 ... 1e-2 of the limb
NEAR = {"near-inside", "near-outside"}

WORST = collections.defaultdict(float)


def check(got, want, bar, what):
    error = lo.extended_relative_error(got, want)
    WORST[what] = max(WORST[what], error)
    assert error <= bar, f"{what}: got {got!r}, want {float(want)!r} (error {error:.1e})"


def gradient_bar(record):
    return NEAR_LIMB_GRADIENT_BAR if record["region"] in NEAR else GRADIENT_BAR


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
            check(jacobian[0], want["dA_du"], gradient_bar(record), f"d/du {region}")
            check(jacobian[1], want["dA_drho"], gradient_bar(record), f"d/drho {region}")
        for k, slope in enumerate(want["dA_dc"]):
            check(jacobian[2 + k], slope, GRADIENT_BAR, f"d/dc {region}")


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
                    check(jacobian[band, i, 0], want["dA_du"], gradient_bar(record), f"band d/du {record['region']}")


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
        check(jacobian[0], -want["dA_du"], gradient_bar(record), f"curve d/dt0 {region}")
        assert jacobian[1] == 0.0
        check(jacobian[2], -u * want["dA_du"], gradient_bar(record), f"curve d/dtE {region}")
        check(jacobian[3], want["dA_drho"], gradient_bar(record), f"curve d/drho {region}")


def test_print_worst_errors():
    """(Runs last in this file.) The worst relative errors seen, per quantity and region."""
    for key in sorted(WORST):
        print(f"  {key:28s} {WORST[key]:.1e}")
