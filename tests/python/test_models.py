"""Behaviour of the seven magnification functions: reference values, limits,
symmetries and failure paths. Accuracy against the high-precision oracle is in
test_models_accuracy.py."""
import math

import pytest

import magnifex as mx


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def rel(a, b):
    return abs(a - b) / abs(b)


LIST_FUNCTIONS = [
    mx.witt_mao_magnification,
    mx.integrated_witt_mao_magnification,
    mx.integrated_heyrovsky_magnification,
]
TABLE_FUNCTIONS = [
    mx.integrated_flux_map_witt_mao_magnification,
    mx.integrated_flux_map_heyrovsky_magnification,
    mx.discrete_flux_map_heyrovsky_magnification,
]
LINEAR_LD_TABLE = ([i / 64 for i in range(65)],
                   [1.0 - 0.6 * (1.0 - math.sqrt(1.0 - (i / 64) ** 2)) for i in range(65)])


# --- uniform disk -----------------------------------------------------------

@pytest.mark.parametrize("l, re, rstar, expected, tol", [
    (0.0, 1.0, 0.1, math.sqrt(401.0), 1e-14),          # centred: sqrt(1 + 4/rho^2)
    (0.0, 1.0, 2.0, math.sqrt(2.0), 1e-14),
    (1.0, 1.0, 0.1, 12.774752, 1e-7),                 # on the limb: closed limb form
    (1.00005, 1.0, 0.1, 12.77125789113, 1e-6),       # just off the limb: general form (1 - n cancels)
    (20.0, 1.0, 0.1, 1.0607985, 1e-7),
    (5.0, 1.0, 0.1, 2.1937174, 1e-7),
    (0.5, 1.0, 0.1, 18.713891, 1e-7),
    (2.0, 1.0, 0.5, 1.3810039, 1e-7),
    (0.6, 1.0, 0.5, 3.7646139, 1e-7),
])
def test_witt_mao_reference_values(l, re, rstar, expected, tol):
    assert rel(mx.witt_mao_magnification([l], re, rstar)[0], expected) < tol


@pytest.mark.parametrize("rho", [0.001, 0.01, 0.1, 1.0, 10.0])
def test_witt_mao_is_continuous_across_the_limb_band(rho):
    # The limb form applies within 3e-6 rho of the limb; on either side of the
    # band edge the two forms must agree to their stated accuracy (~2e-5).
    limb = mx.witt_mao_magnification([1.0], 1.0, rho)[0]
    for offset in (2.9e-6, 3.1e-6, 1e-5, -2.9e-6, -3.1e-6, -1e-5):
        value = mx.witt_mao_magnification([1.0 + offset], 1.0, rho)[0]
        assert rel(value, limb) < 1e-4


def test_witt_mao_keeps_length_order_and_tends_to_one():
    l = [30.0, 0.0, 1e3, 2.0, 0.5]
    a = mx.witt_mao_magnification(l, 1.0, 0.1)
    assert len(a) == len(l)
    assert a == [mx.witt_mao_magnification([x], 1.0, 0.1)[0] for x in l]
    # u = 100: A - 1 = 2/u^4 + ..., the closed form's terms cancel to (u/rho)^2 eps
    assert rel(a[2], point_source(100.0)) < 1e-9
    assert mx.witt_mao_magnification([], 1.0, 0.5) == []


def test_witt_mao_approaches_point_source_far_away():
    for u in (3.0, 10.0):
        assert rel(mx.witt_mao_magnification([u / 0.001], 1.0, 0.001)[0], point_source(u)) < 1e-6


def test_witt_mao_zero_source_radius_gives_nan():
    assert all(math.isnan(a) for a in mx.witt_mao_magnification([0.5, 1.0, 2.0], 1.0, 0.0))


@pytest.mark.parametrize("function", [mx.witt_mao_magnification, mx.integrated_witt_mao_magnification])
def test_negative_separation_fails_in_the_elliptic_routines(function):
    with pytest.raises(RuntimeError) as info:
        function([2.0, -1.0], 1.0, 0.1)
    assert type(info.value) is RuntimeError
    assert info.value.args == ("elliprj: Fail to converge",)


# --- thin ring --------------------------------------------------------------

@pytest.mark.parametrize("l, r, re, rstar, expected, tol", [
    (2.0, 0.0, 1.0, 1.0, 6.0 / math.sqrt(32.0), 1e-14),    # r = 0: point source
    (2.0, 0.5, 1.0, 0.1, 5.1568197, 1e-7),
    (0.5, 2.0, 1.0, 0.1, 5.1568197, 1e-7),
    (3.0, 1.0, 1.0, 1.0, 1.0225564, 1e-7),
    (1.0, 0.5, 1.0, 0.5, 2.3386489, 1e-7),
    (0.5 + 5e-7, 0.5, 1.0, 0.5, 20.355436, 1e-7),         # near the ring, outside
    (0.5 - 5e-7, 0.5, 1.0, 0.5, 20.355454, 1e-7),         # near the ring, inside
    (0.5 + 2e-6, 0.5, 1.0, 0.5, 18.590326, 1e-7),
    (1e-200, 0.0, 1.0, 1.0, 1e200, 1e-15),                 # a point ring at a tiny distance
    (0.0, 1e-200, 1.0, 1.0, 1e200, 1e-15),
])
def test_heyrovsky_reference_values(l, r, re, rstar, expected, tol):
    value = mx.heyrovsky_magnification(l, r, re, rstar)
    assert type(value) is float
    assert rel(value, expected) < tol


@pytest.mark.parametrize("l, r", [(0.3, 1.7), (2.0, 0.5), (10.0, 0.9), (0.999, 1.001)])
@pytest.mark.parametrize("rstar", [0.01, 0.5, 3.0])
def test_heyrovsky_is_symmetric_in_l_and_r(l, r, rstar):
    assert rel(mx.heyrovsky_magnification(l, r, 1.0, rstar),
               mx.heyrovsky_magnification(r, l, 1.0, rstar)) < 1e-14


@pytest.mark.parametrize("l, r", [(0.7, 0.7), (0.0, 0.0), (1e-300, 1e-300)])
def test_heyrovsky_on_the_ring_is_infinite(l, r):
    assert mx.heyrovsky_magnification(l, r, 1.0, 0.3) == math.inf


def test_heyrovsky_opposite_signs_fail():
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        mx.heyrovsky_magnification(1.0, -0.5, 1.0, 1.0)


# --- limb-darkened routes ---------------------------------------------------

INTEGRATED = [mx.integrated_witt_mao_magnification, mx.integrated_heyrovsky_magnification]

def route_agreement_bar(l):
    # A constant table makes both routes the uniform disk of the source's own
    # radius: the disk route's end term A_disk(1) exactly, the ring route's
    # integral of the ring magnification to its 1e-12.
    return 1e-11


def test_limb_darkening_lowers_the_edge_and_raises_the_centre():
    # A darker limb weights the source centre: more magnified when the lens is
    # at the centre, less when it sits on the limb.
    for function in INTEGRATED:
        centre, limb = function([0.0, 1.0], 1.0, 0.1)
        uniform_centre, uniform_limb = mx.witt_mao_magnification([0.0, 1.0], 1.0, 0.1)
        assert centre > uniform_centre and limb < uniform_limb


@pytest.mark.parametrize("function", INTEGRATED)
def test_limb_darkened_undefined_is_nan_and_empty_is_empty(function):
    assert function([], 1.0, 0.1) == []
    assert all(math.isnan(a) for a in function([0.5, 2.0], 1.0, 0.0))


def test_ring_route_negative_separation_is_nan_not_an_error():
    assert math.isnan(mx.integrated_heyrovsky_magnification([-2.0], 1.0, 0.1)[0])


# --- tabulated profiles ---------------------------------------------------

@pytest.mark.parametrize("function", TABLE_FUNCTIONS)
@pytest.mark.parametrize("l, bl, bf, left, right", [
    ([1.0], [0.0, 0.5], [1.0], 2, 1),
    ([], [0.0, 0.5], [1.0], 2, 1),
    ([1.0, 2.0], [0.1, 0.2, 0.3], [1.0, 2.0], 3, 2),
    ([1.0], [], [1.0], 0, 1),
])
def test_unequal_table_columns_panic(function, l, bl, bf, left, right):
    with pytest.raises(BaseException) as info:
        function(l, 1.0, 0.1, bl, bf)
    assert type(info.value).__name__ == "PanicException"
    assert str(info.value) == f"assertion `left == right` failed\n  left: {left}\n right: {right}"


def test_tabulated_linear_limb_darkening_matches_the_built_in_profile():
    l = [0.0, 0.5, 1.0, 2.0, 20.0]
    for tabulated, built_in in [
        (mx.integrated_flux_map_heyrovsky_magnification, mx.integrated_heyrovsky_magnification),
        (mx.integrated_flux_map_witt_mao_magnification, mx.integrated_witt_mao_magnification),
    ]:
        for a, b in zip(tabulated(l, 1.0, 0.1, *LINEAR_LD_TABLE), built_in(l, 1.0, 0.1)):
            assert rel(a, b) < 1e-3   # the 65-point table misses sqrt(1 - x^2) near the limb


@pytest.mark.parametrize("function", TABLE_FUNCTIONS[:2])
def test_constant_table_gives_the_uniform_disk(function):
    l = [0.0, 0.4, 1.5, 9.0]
    uniform = mx.witt_mao_magnification(l, 1.0, 0.2)
    for table in (([0.0, 1.0], [3.0, 3.0]), ([0.5], [2.0])):
        for li, a, b in zip(l, function(l, 1.0, 0.2, *table), uniform):
            assert rel(a, b) < route_agreement_bar(li), li


def test_discrete_rings():
    l = [0.3, 2.0, 15.0]
    doubled_point = mx.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.1, [0.0], [2.0])
    assert all(rel(a, 2 * point_source(li * 0.1)) < 1e-14 for a, li in zip(doubled_point, l))
    ring = mx.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.1, [0.8], [1.0])
    assert ring == [mx.heyrovsky_magnification(li, 0.8, 1.0, 0.1) for li in l]
    two = mx.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.1, [0.2, 0.9], [0.5, 0.25])
    assert all(rel(a, 0.5 * mx.heyrovsky_magnification(li, 0.2, 1.0, 0.1)
                   + 0.25 * mx.heyrovsky_magnification(li, 0.9, 1.0, 0.1)) < 1e-15
               for a, li in zip(two, l))
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        mx.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 0.1, [-0.5], [1.0])


def test_empty_tables():
    assert mx.discrete_flux_map_heyrovsky_magnification([0.5, 3.0], 1.0, 0.1, [], []) == [0.0, 0.0]
    for function in TABLE_FUNCTIONS[:2]:
        assert all(math.isnan(a) for a in function([0.5, 3.0], 1.0, 0.1, [], []))
        assert function([], 1.0, 0.1, [], []) == []
