"""Uniform-disk magnification against an mpmath oracle, and its limits.

Oracle: tests/data/disk_oracle.tsv (tools/gen_disk_oracle.py): the Witt-Mao
closed form at 60 digits, checked against direct quadrature of the
point-source magnification over the disk on a subset. Each value is taken at
the doubles the module works with: rho (rstar = rho, re = 1) and the double
product u = fl(l * rho). Bar: 1e-12 relative everywhere (the limb, |l - 1|
from 1e-14 to 0.1 on both sides, inside, and out to u = 1e6).
"""
import math
import os
import random

import pytest

import magnifex as mx

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "disk_oracle.tsv")
BAR = 1e-12


def load():
    rows = []
    with open(DATA) as fh:
        for line in fh:
            if line.startswith("#"):
                continue
            where, l, rho, u, value = line.rstrip("\n").split("\t")
            rows.append((where, float(l), float(rho), float(u), float(value)))
    return rows


ROWS = load()
REGIONS = sorted({row[0] for row in ROWS})


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def test_oracle_is_taken_at_the_modules_separation():
    assert len(ROWS) > 1000
    assert all(u == l * rho for _, l, rho, u, _ in ROWS)


@pytest.mark.parametrize("where", REGIONS)
def test_against_oracle(where, capsys):
    rows = [row for row in ROWS if row[0] == where]
    worst = (0.0, None)
    failures = []
    for rho in sorted({row[2] for row in rows}):
        group = [row for row in rows if row[2] == rho]
        got = mx.witt_mao_magnification([row[1] for row in group], 1.0, rho)
        for (_, l, _, _, golden), value in zip(group, got):
            err = abs(value - golden) / golden
            if not err <= BAR:
                failures.append(f"l={l!r} rho={rho!r}: {value!r} vs {golden!r} (rel {err:.3g})")
            if err > worst[0]:
                worst = (err, (l, rho))
    with capsys.disabled():
        print(f"\n  uniform disk, {where}: {len(rows)} points, worst relative error {worst[0]:.2e} at l, rho = {worst[1]}")
    assert not failures, "\n".join(failures)


@pytest.mark.parametrize("rho", [1e-300, 1e-200, 1e-100, 1e-20, 1e-6, 1.0, 1e3, 1e20])
def test_every_value_is_at_least_one_and_falls_outside_the_source(rho):
    rng = random.Random(int(-math.log10(rho) * 7 + 1000))
    inside = [rng.uniform(0.0, 1.0) for _ in range(100)] + [0.0, 1.0, 1.0 - 1e-16, 1.0 + 2e-16]
    outside = sorted(1.0 + 10.0 ** rng.uniform(-15.0, 15.0) for _ in range(300))
    a_in = mx.witt_mao_magnification(inside, 1.0, rho)
    a_out = mx.witt_mao_magnification(outside, 1.0, rho)
    assert all(math.isfinite(a) and a >= 1.0 for a in a_in + a_out)
    # decreasing to within rounding
    assert all(x >= y * (1.0 - 4.5e-16) for x, y in zip(a_out, a_out[1:]))


@pytest.mark.parametrize("u, rho", [(u, rho) for u in (1e-250, 1e-8, 0.3, 1.0, 7.0, 1e5)
                                    for rho in (1e-300, 1e-150, 1e-20) if u >= 1e9 * rho])
def test_vanishing_radius_gives_the_point_source(u, rho):
    l = u / rho
    a = mx.witt_mao_magnification([l], 1.0, rho)[0]
    assert abs(a - point_source(l * rho)) <= 4e-16 * a


@pytest.mark.parametrize("rho", [1e-300, 1e-20, 1e-3, 1.0, 1e3, 1e30])
def test_centred_source(rho):
    # A(0) = sqrt(1 + 4/rho^2) = sqrt(rho^2 + 4)/rho
    expected = math.sqrt(rho * rho + 4.0) / rho if rho < 1e150 else 1.0
    assert abs(mx.witt_mao_magnification([0.0], 1.0, rho)[0] - expected) <= 4e-16 * expected


@pytest.mark.parametrize("l, rho", [(1e300, 0.1), (1e200, 1e3), (1e10, 1e-4), (1e8, 1.0)])
def test_far_away_is_one(l, rho):
    # A - 1 ~ 2/u^4 is below the last bit for u >= 1e5
    assert mx.witt_mao_magnification([l], 1.0, rho) == [1.0]


@pytest.mark.parametrize("rho", [1e-6, 1e-3, 0.1, 1.0, 10.0])
def test_negative_source_radius_mirrors_the_disk(rho):
    # The Witt-Mao form is odd under (u, rho) -> (-u, -rho). A negative source
    # radius takes the one-lane kernel, so the positive one is asked one
    # separation a call: in a batch the lanes of a vector share the Gauss
    # steps of its slowest lane, which can move a value by an ulp (a vector
    # of 4, with the limb's separations beside l = 0.3, on a CPU with AVX2).
    l = [0.0, 0.3, 1.0 - 1e-9, 1.0 + 1e-9, 2.0, 50.0]
    positive = [mx.witt_mao_magnification([x], 1.0, rho)[0] for x in l]
    assert mx.witt_mao_magnification(l, -1.0, rho) == [-a for a in positive]
    # and the batch is within an ulp or two of the one-lane values
    assert mx.witt_mao_magnification(l, 1.0, rho) == pytest.approx(positive, rel=5e-16, abs=0)


@pytest.mark.parametrize("l, re, rstar, message", [
    ([2.0, -1.0], 1.0, 0.1, "elliprj: Fail to converge"),         # negative separation
    ([-1e-300], 1.0, 0.1, "elliprj: Fail to converge"),
    ([2.0], 0.0, 0.1, "elliprj: Fail to converge"),                # rho = inf
    ([math.nan], 1.0, 0.1, "elliprj: Fail to converge"),
    ([math.inf], 1.0, 0.1, "elliprj: Fail to converge"),
    ([1.0], -1.0, 0.1, "ellippi: m must be less than 1."),       # negative radius on the limb
])
def test_failures_keep_their_messages(l, re, rstar, message):
    with pytest.raises(RuntimeError) as info:
        mx.witt_mao_magnification(l, re, rstar)
    assert info.value.args == (message,)


@pytest.mark.parametrize("l, re, rstar", [([0.5, 1.0, 3.0], 1.0, 0.0), ([2.0], math.inf, 0.1),
                                          ([1e300], 1.0, 0.0)])
def test_degenerate_sizes_give_nan(l, re, rstar):
    assert all(math.isnan(a) for a in mx.witt_mao_magnification(l, re, rstar))
