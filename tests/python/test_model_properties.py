"""Properties every magnification must have, over random sources and separations.

The point-source magnification A0(u) = (u^2 + 2)/(u sqrt(u^2 + 4)) is >= 1 and
subharmonic away from the lens, so its average over any source that does not
cover the lens lies above A0 at the centre, and the average over rings grows
with their radius. Hence, for u > rho: A0(u) <= A(limb-darkened) <= A(uniform
disk), and every normalised magnification of a source of positive size is
finite and >= 1, tending to 1 far away. (The thin ring itself:
test_ring_properties.py.)
"""
import math

import pytest

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import HealthCheck, given, settings, strategies as st  # noqa: E402

import magnifex as mx  # noqa: E402

SETTINGS = settings(max_examples=400, deadline=None, derandomize=True, database=None,
                    suppress_health_check=[HealthCheck.too_slow])
# Rounding slack of the comparisons: the results are accurate to ~1e-12.
SLACK = 1e-11

separations = st.floats(0.0, 1e6, allow_nan=False)
radii = st.floats(1e-4, 1e3, allow_nan=False)  # rho = rstar / re, re = 1


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


@st.composite
def tables(draw):
    """Ascending radii on a grid of 1e-3 in [0, 1.2] with non-negative
    brightness, not all zero (radii closer than that make a flux that
    underflows, which is no source of positive size)."""
    grid = draw(st.lists(st.integers(0, 1200), min_size=1, max_size=12, unique=True))
    bl = [g / 1000 for g in sorted(grid)]
    if bl[0] >= 1.0:
        bl[0] = 0.5
        bl.sort()
    bf = draw(st.lists(st.floats(0.0, 10.0), min_size=len(bl), max_size=len(bl)))
    if not any(b > 0.0 for b in bf):
        bf[0] = 1.0
    return bl, bf


def assert_at_least_one(values):
    for value in values:
        assert math.isfinite(value) and value >= 1.0 - SLACK, value


@SETTINGS
@given(l=separations, rho=radii)
def test_builtin_and_uniform_results_are_at_least_one(l, rho):
    assert_at_least_one(mx.witt_mao_magnification([l], 1.0, rho))
    assert_at_least_one(mx.integrated_heyrovsky_magnification([l], 1.0, rho))
    assert_at_least_one(mx.integrated_witt_mao_magnification([l], 1.0, rho))


@SETTINGS
@given(l=separations, rho=radii, table=tables())
def test_tabulated_results_are_at_least_one(l, rho, table):
    bl, bf = table
    if not any(b > 0.0 for b, x in zip(bf, bl) if x < 1.0) and len(bl) > 1:
        return  # no brightness inside the source: no flux, nothing to normalise
    assert_at_least_one(mx.integrated_flux_map_heyrovsky_magnification([l], 1.0, rho, bl, bf))
    assert_at_least_one(mx.integrated_flux_map_witt_mao_magnification([l], 1.0, rho, bl, bf))


@SETTINGS
@given(l=st.floats(1.0, 1e6), step=st.floats(1e-9, 1.0), rho=radii)
def test_uniform_disk_decreases_outside_the_source(l, step, rho):
    near, far = mx.witt_mao_magnification([l, l * (1.0 + step)], 1.0, rho)
    assert far <= near * (1.0 + SLACK)


@SETTINGS
@given(l=st.floats(1.0 + 1e-6, 1e6), rho=radii)
def test_limb_darkened_lies_between_point_source_and_uniform_disk(l, rho):
    u = l * rho
    disk = mx.witt_mao_magnification([l], 1.0, rho)[0]
    for route in (mx.integrated_heyrovsky_magnification, mx.integrated_witt_mao_magnification):
        darkened = route([l], 1.0, rho)[0]
        assert point_source(u) * (1.0 - SLACK) <= darkened <= disk * (1.0 + SLACK), route.__name__


@SETTINGS
@given(l=st.floats(1e-3, 1e6), rho=radii)
def test_far_away_everything_tends_to_one(l, rho):
    far = l * 1e6 / rho if l * 1e6 / rho < 1e300 else 1e300
    for value in mx.witt_mao_magnification([far], 1.0, rho) + \
            mx.integrated_heyrovsky_magnification([far], 1.0, rho):
        assert abs(value - 1.0) < 1e-9
