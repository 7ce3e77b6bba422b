"""Both limb-darkened routes and the tabulated-profile functions against an
oracle that shares nothing with the module: the point-source magnification
averaged over the source by mpmath quadrature, split at the lens and at every
table radius (tools/gen_route_oracle.py, data in tests/data/route_oracle.json).

Grid: l in {0, 0.5, 1 - 1e-6, 1, 1 + 1e-8, 1 + 1e-3, 2.5} and rho in
{1e-4, 0.01, 0.3, 3} for the built-in linear law; at rho in {0.01, 3} also
tables with interior kinks, a drop to 0 inside the source, a dark centre, a
narrow annulus and 20 rows of a quadratic law. Bars, relative error: 1e-12 for
the ring route with the built-in law, 1e-10 everywhere else. The disk route
evaluates uniform disks whose limbs pass near the lens; while the disk kernel
is inexact there (DISK_KERNEL_INEXACT_AT_LIMB in test_models_accuracy.py) its
bars near the source's limb are that module's.
"""

import json
import math
import os
import random

import pytest

import magnifex as mx

from lens_golden import rel_error
from test_models_accuracy import disk_route_bar

DATA_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "route_oracle.json")
with open(DATA_PATH) as fh:
    ORACLE = json.load(fh)
TABLES = ORACLE["tables"]
CASES = ORACLE["cases"]

RING, DISK = "ring", "disk"
BUILTIN = {RING: mx.integrated_heyrovsky_magnification, DISK: mx.integrated_witt_mao_magnification}
TABULATED = {RING: mx.integrated_flux_map_heyrovsky_magnification,
             DISK: mx.integrated_flux_map_witt_mao_magnification}


def region(l):
    if l == 0.0:
        return "centre"
    if abs(l - 1.0) <= 1.5e-6:
        return "limb"
    return "inside" if l < 1.0 else ("near" if l < 1.01 else "outside")


def bar(route, l, profile):
    if route == RING:
        return 1e-12 if profile == "ld" else 1e-10
    return max(1e-10, disk_route_bar(l))


def rows():
    """(route, profile, l, rho, golden) for every oracle value."""
    out = []
    for case in CASES:
        for key, golden in case["values"].items():
            if key == "disk":
                continue
            for route in (RING, DISK):
                out.append((route, key, case["l"], case["rho"], float(golden)))
    return out


ROWS = rows()


def evaluate(route, profile, l, rho):
    if profile == "ld":
        return BUILTIN[route]([l], 1.0, rho)[0]
    table = TABLES[profile.split(":", 1)[1]]
    return TABULATED[route]([l], 1.0, rho, table["bl"], table["bf"])[0]


def test_oracle_data_is_sound():
    assert len(CASES) == 28
    assert all(e < ORACLE["meta"]["max_oracle_rel_err"] for c in CASES for e in c["oracle_rel_err"].values())
    tables = {key for c in CASES for key in c["values"] if key.startswith("table:")}
    assert tables == {"table:" + name for name in TABLES}


@pytest.mark.parametrize("route", [RING, DISK])
@pytest.mark.parametrize("kind", ["builtin", "tables"])
def test_routes_against_the_oracle(route, kind, capsys):
    worst, failures = {}, []
    for r, profile, l, rho, golden in ROWS:
        if r != route or (profile == "ld") != (kind == "builtin"):
            continue
        got = evaluate(route, profile, l, rho)
        err = rel_error(got, golden)
        key = (profile if kind == "tables" else "builtin", region(l))
        worst[key] = max(worst.get(key, 0.0), err)
        if not err <= bar(route, l, profile):
            failures.append("%s l=%r rho=%r: got %.17g oracle %.17g rel %.3g (bar %.0e)"
                            % (profile, l, rho, got, golden, err, bar(route, l, profile)))
    with capsys.disabled():
        print("\n%s route, %s: worst relative error per profile and region" % (route, kind))
        for (profile, where), err in sorted(worst.items()):
            print("  %-22s %-8s %.3g" % (profile, where, err))
    assert not failures, "\n".join(failures)


def test_the_routes_agree_on_the_oracle_grid():
    """Where both routes are exact they agree to their bars; this needs no oracle."""
    for case in CASES:
        l, rho = case["l"], case["rho"]
        ring = mx.integrated_heyrovsky_magnification([l], 1.0, rho)[0]
        disk = mx.integrated_witt_mao_magnification([l], 1.0, rho)[0]
        assert rel_error(disk, ring) <= max(2e-12, disk_route_bar(l)), (l, rho, disk, ring)


# --- extremes ------------------------------------------------------------------

def random_table(rng):
    """Ascending radii, some beyond the source, positive brightness; the
    support overlaps the source, so the flux is positive."""
    while True:
        n = rng.randint(1, 12)
        radii = sorted(rng.uniform(-0.2, 1.2) for _ in range(n))
        if n == 1 or (radii[0] < 1.0 and radii[-1] > 0.0):
            return radii, [rng.uniform(0.01, 2.0) for _ in range(n)]


def test_results_are_finite_and_at_least_one_for_positive_sizes():
    rng = random.Random(20261208)
    bad = []
    for _ in range(150):
        rho = 10 ** rng.uniform(-4, 3)
        l = rng.choice([rng.uniform(0.0, 3.0), 10 ** rng.uniform(-6, 6)])
        bl, bf = random_table(rng)
        values = [f([l], 1.0, rho)[0] for f in BUILTIN.values()]
        values += [f([l], 1.0, rho, bl, bf)[0] for f in TABULATED.values()]
        if not all(math.isfinite(v) and v >= 1.0 - 2.3e-16 for v in values):
            bad.append((l, rho, bl, bf, values))
    assert not bad, bad[:5]


@pytest.mark.parametrize("rho", [1e-4, 1.0, 1e3])
def test_far_away_the_magnification_tends_to_one(rho):
    l = 1e6 / rho
    for route in (RING, DISK):
        assert abs(BUILTIN[route]([l], 1.0, rho)[0] - 1.0) < 1e-11
        assert abs(TABULATED[route]([l], 1.0, rho, [0.2, 0.7], [1.0, 0.5])[0] - 1.0) < 1e-11


@pytest.mark.parametrize("route", [RING, DISK])
@pytest.mark.parametrize("bl, bf", [([0.0, 0.5, 1.0], [0.0, 0.0, 0.0]), ([1.5, 2.0], [1.0, 1.0]),
                                    ([-1.0, -0.5], [1.0, 1.0]), ([], [])])
def test_a_profile_without_flux_gives_nan(route, bl, bf):
    assert all(math.isnan(a) for a in TABULATED[route]([0.5, 3.0], 1.0, 0.1, bl, bf))


def test_a_narrow_annulus_is_resolved():
    # No node of one rule over the source falls inside [0.55, 0.6] before its
    # level 2, which then stopped it with the integral 0; piece by piece the
    # annulus is a source of its own, and the routes agree.
    ring = TABULATED[RING]([2.0], 1.0, 0.1, [0.55, 0.6], [1.0, 1.0])[0]
    disk = TABULATED[DISK]([2.0], 1.0, 0.1, [0.55, 0.6], [1.0, 1.0])[0]
    assert ring > 1.0 and rel_error(disk, ring) < 1e-12


def test_tables_that_are_not_ascending_keep_one_rule_over_the_source():
    # Interpolated by the forward scan: [0, 2, 1, 3] reads as segment 0 up to
    # x = 2 on [0, 1]; the same profile as the ascending table [0, 2].
    l = [0.3, 2.0]
    scan = TABULATED[RING](l, 1.0, 0.1, [0.0, 2.0, 1.0, 3.0], [1.0, 0.0, 5.0, 5.0])
    ascending = TABULATED[RING](l, 1.0, 0.1, [0.0, 2.0], [1.0, 0.0])
    for a, b in zip(scan, ascending):
        assert rel_error(a, b) < 1e-9


# --- the data file is what its generator makes ------------------------------------

def test_oracle_data_is_reproduced_by_its_generator():
    """Recompute the cheapest grid point (built-in law only) and compare all digits."""
    import runpy
    import types

    mpmath = pytest.importorskip("mpmath")
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "gen_route_oracle.py")
    if not os.path.exists(path):
        pytest.skip("generator not beside the tests")
    saved = mpmath.mp.prec
    try:
        gen = types.SimpleNamespace(**runpy.run_path(path, run_name="gen_route_oracle"))
        assert {k: {"bl": v[0], "bf": v[1]} for k, v in gen.TABLES.items()} == TABLES
        case = next(c for c in CASES if c["l"] == 2.5 and c["rho"] == 0.3)
        got = gen.work((2.5, 0.3, False))
        assert got["values"] == case["values"]
    finally:
        mpmath.mp.prec = saved
