"""The limb-darkening oracle (tests/data/law_oracle.json, tests/python/law_oracle.py)
against the shipped module's built-in linear law, and the oracle's own soundness.

The built-in law is I = 1 - 0.6 (1 - mu); integrated_heyrovsky_magnification takes
the separation in source radii, l = u/rho, with re = 1 and rstar = rho.
"""

import math

import pytest

import magnifex as mx

import law_oracle as lo

SMOKE_POINTS = [(1e-4, 0.0), (1e-2, 0.3), (0.1, 1 - 1e-4), (1.0, 1.0), (1.0, 1 + 1e-8),
                (0.1, 1.5), (10.0, 0.7), (1e3, 3.0)]


@pytest.mark.parametrize("rho, l", SMOKE_POINTS)
def test_linear_law_matches_the_shipped_module(rho, l):
    rec = lo.find(rho, l)
    u, rho_d = lo.point(rec)
    want = lo.evaluate("linear", (0.6,), rec)["A"]
    got = mx.integrated_heyrovsky_magnification([u / rho_d], 1.0, rho_d)[0]
    assert lo.extended_relative_error(got, want) < 1e-12, (got, want)


@pytest.mark.parametrize("law, coeffs", lo.CASES)
def test_every_case_has_positive_flux_and_its_derivatives(law, coeffs):
    assert lo.flux(law, coeffs) > 0
    values = lo.evaluate(law, coeffs, lo.find(1e-4, 0.7))
    assert values["A"] > 1 and len(values["dA_dc"]) == len(coeffs)


def test_the_records_cover_the_grid_and_their_checks_hold():
    regions = {rec["region"] for rec in lo.RECORDS}
    assert regions == {"centre", "near-centre", "inside", "near-inside", "limb", "near-outside", "outside", "far"}
    for rec in lo.RECORDS:
        # the rule of twice the step, whose error the stored rule about squares
        assert max(rec["coarse_rule_rel_diff"].values()) < 1e-11, rec["l"]
        assert rec["identity_drho_digits"] >= 20, (rec["l"], rec["rho"])
        if rec["region"] == "centre":
            assert all(v == "0.0" for v in rec["dE_du"].values())


@pytest.mark.parametrize("rho", sorted({float(rec["rho"]) for rec in lo.RECORDS if rec["region"] == "near-centre"}))
def test_the_derivative_in_u_vanishes_linearly_at_the_centre(rho):
    """E is even in u: dE/du = u E''(0) (1 + O(u^2)), so the records 1e-7 and 1e-5
    of the centre hold dE/du in the ratio of their u, basis by basis."""
    near, far = lo.find(rho, 1e-7), lo.find(rho, 1e-5)
    for basis, value in near["dE_du"].items():
        ratio = lo.mpf(value) / lo.mpf(far["dE_du"][basis])
        assert abs(ratio * 100 - 1) < 1e-6, (basis, ratio)


def column(rho, eps, side, key, basis):
    return [lo.mpf(lo.find(rho, 1 + side * e)[key][basis]) for e in eps]


@pytest.mark.parametrize("rho", lo.RHO_VALUES)
def test_derivatives_grow_towards_the_limb_as_its_infinities_say(rho):
    """Differences at 1e-4, 1e-8, 1e-12 of the limb on both sides: "1" diverges as a
    logarithm (-inf in u, +inf in rho) on both; "exp" does so with half the weight
    inside (its regular part tends to 1/2) and as |u - rho|^(-1/2) outside, with
    the signs the limb record holds."""
    eps = (1e-4, 1e-8, 1e-12)
    limb = lo.find(rho, 1.0)
    for side in (-1, 1):
        du, drho = column(rho, eps, side, "dE_du", "1"), column(rho, eps, side, "dE_drho", "1")
        assert du[0] > du[1] > du[2] and drho[0] < drho[1] < drho[2]
        # logarithmic: equal steps per 4 decades, to 1%
        assert abs((du[2] - du[1]) / (du[1] - du[0]) - 1) < 1e-2
    assert (limb["dE_du"]["1"], limb["dE_drho"]["1"]) == ("-inf", "inf")
    inside_du = column(rho, eps, -1, "dE_du", "exp")
    ones = column(rho, eps, -1, "dE_du", "1")
    assert abs((inside_du[2] - inside_du[1]) / (ones[2] - ones[1]) - lo.mpf(0.5)) < 1e-2
    outside_du, outside_drho = column(rho, eps, 1, "dE_du", "exp"), column(rho, eps, 1, "dE_drho", "exp")
    assert 50 < outside_du[2] / outside_du[1] < 200 and 50 < outside_drho[2] / outside_drho[1] < 200
    assert outside_du[2] > 0 > outside_drho[2]
    assert (limb["dE_du"]["exp"], limb["dE_drho"]["exp"]) == ("inf", "-inf")


@pytest.mark.parametrize("rho", lo.RHO_VALUES)
def test_the_limb_derivatives_continue_those_beside_it(rho):
    """dE/du + dE/drho is smooth across the limb (the singular terms depend on
    rho - u), so on the limb it is the mean of its values at 1 -+ 1e-12 (to 1e-16
    at rho = 1e-6, 3e-11 at rho = 1e3, where 1e-12 of rho is 1e-9 of the Einstein
    radius); the limb's dE/du (under the integral sign) against the neighbours'
    (central differences)."""
    limb, inside, outside = lo.find(rho, 1.0), lo.find(rho, 1 - 1e-12), lo.find(rho, 1 + 1e-12)
    for basis, du in limb["dE_du"].items():
        if "inf" in du:
            continue

        def total(rec):
            return lo.mpf(rec["dE_du"][basis]) + lo.mpf(rec["dE_drho"][basis])

        mean = (total(inside) + total(outside)) / 2
        assert lo.extended_relative_error(mean, total(limb)) < 1e-9, basis


def test_limb_infinities_combine_by_the_strongest_basis():
    rec = lo.find(1.0, 1.0)
    # exponential: 1 - c (1 - mu) - d/(1 - e^mu); the weight of "exp" is -d.
    assert lo.evaluate("exponential", (0.5, 0.1), rec)["dA_du"] == -mpmath_inf()
    assert lo.evaluate("linear", (0.6,), rec)["dA_du"] == -mpmath_inf()
    assert lo.evaluate("linear", (0.6,), rec)["dA_drho"] == mpmath_inf()
    # no limb brightness, no divergence
    assert math.isfinite(lo.evaluate("linear", (1.0,), rec)["dA_du"])


def mpmath_inf():
    return lo.mpf("inf")


@pytest.mark.parametrize("got, want, err", [
    (float("nan"), float("nan"), 0.0), (1.0, float("nan"), math.inf), (float("nan"), 1.0, math.inf),
    (math.inf, math.inf, 0.0), (-math.inf, math.inf, math.inf), (1.0, math.inf, math.inf),
    (0.0, 0.0, 0.0), (1e-300, 0.0, 1e-300), (3.0, 2.0, 0.5),
])
def test_extended_relative_error(got, want, err):
    assert lo.extended_relative_error(got, want) == err
