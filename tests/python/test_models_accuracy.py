"""Accuracy of the seven magnification functions against an independent
oracle: the point-source magnification averaged over the ring, the disk or the
limb-darkened source by mpmath quadrature at 30 digits (no elliptic integrals;
tools/gen_lens_golden.py, data in tests/data/lens_golden.json).

Bars, relative error (each a little above what the module measures; the
report tool prints the measured worst cases):
  uniform disk: 1e-12 everywhere, the limb included;
  thin ring and discrete ring sum: 1e-10, and 1e-5 within 1e-3 of a ring
      ("limb" and "band"), where the closed form loses eps ((l+r)/(l-r))^2 and
      the logarithmic form used within 1e-6 of the ring is good to |l-r|/l;
  ring route (integrated_heyrovsky_magnification): 1e-12 everywhere;
  disk route (integrated_witt_mao_magnification): 2e-10 outside the source
      (1.04e-10 measured at l = 1.05, the central difference's truncation),
      3e-6 inside and within 1e-3 of the limb, where the central difference
      of the disk magnification straddles its log-singular slope at x = l;
  tabulated profiles: as their route for a table without interior radii;
      the quadrature is not split at the table's radii, so a kink costs up to
      3e-5 and a jump (a profile ending inside the source) up to 5e-3.
"""

import math

import pytest

import magnifex as mx

from lens_golden import FUNCTIONS, REGIONS, evaluate, load, region, rel_error

GOLDEN = load()
TABLES = GOLDEN["tables"]
CASES = GOLDEN["cases"]

RING_ROUTE = {
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
}
DISK_ROUTE = {
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
}


TABLE_BARS = {"three": 3e-5, "ld6": 3e-5, "band": 5e-3}


def route_bar(function, case):
    l = case["args"]["l"]
    if function in RING_ROUTE:
        return 1e-12
    return 3e-6 if l < 1.0 + 1e-3 else 2e-10


def bar(function, case):
    """Largest admissible relative error of one case, or None where no bar applies."""
    args = case["args"]
    where = region(case, TABLES)
    if function in ("heyrovsky_magnification", "discrete_flux_map_heyrovsky_magnification"):
        return 1e-5 if where in ("limb", "band") else 1e-10
    if function in DISK_ROUTE or function in RING_ROUTE:
        return max(route_bar(function, case), TABLE_BARS.get(args.get("table"), 0.0))
    # witt_mao_magnification: everywhere, the limb included.
    return 1e-12


def groups():
    out = {}
    for case in CASES:
        out.setdefault((case["function"], region(case, TABLES)), []).append(case)
    return out


GROUPS = groups()
GROUP_IDS = [(f, r) for f in FUNCTIONS for r in REGIONS if (f, r) in GROUPS]


def describe(case, got, err, limit):
    return "%s[%s] args=%s golden=%s got=%.17g rel=%.3g (bar %.0e)" % (
        case["function"], case["id"], case["args"], case["golden"], got, err, limit)


@pytest.mark.parametrize("function, where", GROUP_IDS, ids=["%s-%s" % g for g in GROUP_IDS])
def test_against_oracle(function, where):
    failures, worst = [], 0.0
    checked = 0
    for case in GROUPS[(function, where)]:
        limit = bar(function, case)
        if limit is None:
            continue
        got = evaluate(mx, case, TABLES)
        err = rel_error(got, float(case["golden"]))
        worst = max(worst, err)
        checked += 1
        if not err <= limit:
            failures.append(describe(case, got, err, limit))
    assert not failures, "%d of %d cases beyond the bar (worst %.3g):\n%s" % (
        len(failures), checked, worst, "\n".join(failures))


def test_golden_data_covers_every_function_and_region():
    counts = {g: len(v) for g, v in GROUPS.items()}
    for function in FUNCTIONS:
        for where in ("inside", "outside"):
            assert counts.get((function, where), 0) >= 10, (function, where)
    for function in FUNCTIONS:
        if function != "heyrovsky_magnification":
            assert counts.get((function, "limb"), 0) >= 10, function
    assert all(c["oracle_rel_err"] < GOLDEN["meta"]["max_oracle_rel_err"] for c in CASES)


# Linear limb darkening with coefficient 0.6, both limb-darkened functions.
# Values from the oracle (they agree with it to the digits given).
REFERENCES = [
    ([2.0], 1.0, 0.1, 5.2315211451864),
    ([20.0], 1.0, 0.1, 1.0607846299470),
    ([1.5], 1.0, 1.0, 1.1767418723805),
    ([0.5], 1.0, 0.1, 19.679003291033),
    ([0.05], 1.0, 0.1, 21.783575314634),
]


@pytest.mark.parametrize("name", ["integrated_witt_mao_magnification",
                                  "integrated_heyrovsky_magnification"])
@pytest.mark.parametrize("l, re, rstar, expected", REFERENCES,
                         ids=["l%g-rho%g" % (r[0][0], r[2] / r[1]) for r in REFERENCES])
def test_limb_darkened_reference_values(name, l, re, rstar, expected):
    got = getattr(mx, name)(l, re, rstar)[0]
    if name in RING_ROUTE:
        tol = 1e-12
    elif l[0] == 1.5:
        tol = 2e-12  # the central difference multiplies the disk's rounding by ~1e5
    else:
        tol = 3e-6 if l[0] < 1.0 else 1e-11
    assert rel_error(got, expected) <= tol, got


# --- the two limb-darkened routes compute one quantity ----------------------

ROUTE_GRID_L = [0.0, 0.02, 0.3, 0.7, 0.95, 0.999, 1.0005, 1.01, 1.3, 2.0, 7.0, 40.0]
ROUTE_GRID_RHO = [0.001, 0.01, 0.1, 1.0, 10.0]
ROUTE_TABLES = {
    "builtin": None,
    "ld9": ([i / 8 for i in range(9)],
            [1.0 - 0.6 * (1.0 - math.sqrt(1.0 - (i / 8) ** 2)) for i in range(9)]),
    "three": ([0.0, 0.5, 1.0], [1.0, 0.8, 0.4]),
}
# The ring route is good to 1e-12 everywhere, so the routes differ by the disk
# route's error: 3e-6 inside the source and on the limb, 1e-9 just outside it
# (the log-singular slope at x = l lies within 0.1 of the integration range),
# 2e-10 further out.
def route_tolerance(l):
    if l <= 1.001:
        return 3e-6
    return 1e-9 if l < 1.1 else 2e-10


@pytest.mark.parametrize("profile", sorted(ROUTE_TABLES))
@pytest.mark.parametrize("rho", ROUTE_GRID_RHO)
def test_limb_darkened_routes_agree(profile, rho):
    table = ROUTE_TABLES[profile]
    re = 1.0
    if table is None:
        disk = mx.integrated_witt_mao_magnification(ROUTE_GRID_L, re, rho)
        ring = mx.integrated_heyrovsky_magnification(ROUTE_GRID_L, re, rho)
    else:
        disk = mx.integrated_flux_map_witt_mao_magnification(ROUTE_GRID_L, re, rho, *table)
        ring = mx.integrated_flux_map_heyrovsky_magnification(ROUTE_GRID_L, re, rho, *table)
    bad = []
    for l, a, b in zip(ROUTE_GRID_L, disk, ring):
        tol = route_tolerance(l)
        err = rel_error(a, b)
        if not err <= tol:
            bad.append("l=%g disk route %.17g ring route %.17g rel %.3g (tol %.1e)" % (l, a, b, err, tol))
    assert not bad, "\n".join(bad)


# --- the data file is what its generator makes --------------------------------

def test_golden_data_is_reproduced_by_its_generator():
    """Recompute the cheap cases (thin rings, discrete ring sums, the centred
    source) with tools/gen_lens_golden.py and compare all 20 digits."""
    import os
    import runpy
    import types

    mpmath = pytest.importorskip("mpmath")
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "gen_lens_golden.py")
    if not os.path.exists(path):
        pytest.skip("generator not beside the tests")
    saved = mpmath.mp.prec
    try:
        # Running the script's definitions sets mpmath's working precision.
        gen = types.SimpleNamespace(**runpy.run_path(path, run_name="gen_lens_golden"))
        assert {k: {"bl": v[0], "bf": v[1]} for k, v in gen.TABLES.items()} == TABLES
        assert GOLDEN["meta"]["dps"] == gen.DPS and GOLDEN["meta"]["seed"] == gen.SEED
        ring = [c for c in CASES if c["function"] == "heyrovsky_magnification"][::9]
        disc = [c for c in CASES if c["function"] == "discrete_flux_map_heyrovsky_magnification"
                and c["id"].startswith("disc")][::8]
        for c in ring:
            a = c["args"]
            assert gen.work_ring((c["id"], a["l"], a["r"], a["re"], a["rstar"]))[1] == c["golden"], c["id"]
        for c in disc:
            a = c["args"]
            assert gen.work_discrete((c["id"], a["l"], a["re"], a["rstar"], a["table"]))[1] == c["golden"], c["id"]
        centred = {c["function"]: c for c in CASES if c["id"] == "ref_l0_rho0.1"}
        a = centred["witt_mao_magnification"]["args"]
        _, values, _, _ = gen.work_source(("ref_l0_rho0.1", a["l"], a["re"], a["rstar"],
                                           centred["integrated_flux_map_witt_mao_magnification"]["args"]["table"]))
        assert values["disk"] == centred["witt_mao_magnification"]["golden"]
        assert values["ld"] == centred["integrated_heyrovsky_magnification"]["golden"]
        assert values["table"] == centred["integrated_flux_map_heyrovsky_magnification"]["golden"]
    finally:
        mpmath.mp.prec = saved
