"""magnification() and light_curve(): every law against the routes it must
agree with, bands equal to their single calls bit for bit, the shapes and
layouts of input and output, the refused inputs, and threads."""

import concurrent.futures
import math
import threading

import numpy as np
import pytest

import magnifex
from conftest import raised

LAWS = [
    ("uniform", ()),
    ("linear", (0.6,)),
    ("quadratic", (0.4, 0.25)),
    ("squareroot", (0.2, 0.55)),
    ("logarithmic", (0.6, 0.2)),
    ("exponential", (0.5, 0.1)),
    ("power2", (0.6, 0.6)),
    ("nonlinear", (0.5, -0.1, 0.4, -0.15)),
]
RHO = 0.1
# centre, inside, next to the limb on both sides, on it, outside, far
U = np.array([0.0, 0.03, 0.0999, RHO, 0.1001, 0.15, 0.19, 0.5, 3.0])
EXACT_FLUX_06 = 0.8 * math.pi  # the built-in law's flux; its routes divide by 2.5132741228717936


def bits(a):
    return np.asarray(a, dtype=np.float64).tobytes()


def test_linear_law_is_the_built_in_ring_route():
    got = magnifex.magnification(U, RHO)
    ring = np.array(magnifex.integrated_heyrovsky_magnification(U / RHO, 1.0, RHO))
    ring = 1 + (ring - 1) * (2.5132741228717936 / EXACT_FLUX_06)
    np.testing.assert_allclose(got, ring, rtol=1e-13, atol=0)


# Laws with coefficients that make them another law's profile: the same source
# laid out as each law lays out its limb.
SAME_PROFILE = [
    # the linear law 0.6: the log rule, the product rule, in s, the pole's
    # stricter pieces, and outside the source one piece in mu
    (("logarithmic", (0.6, 0.0)), ("linear", (0.6,))),
    (("power2", (0.6, 1.0)), ("linear", (0.6,))),
    (("squareroot", (0.6, 0.0)), ("linear", (0.6,))),
    (("nonlinear", (0.0, 0.6, 0.0, 0.0)), ("linear", (0.6,))),
    (("exponential", (0.6, 0.0)), ("linear", (0.6,))),
    # power2's limb pieces in mu^2 with a power that takes product weights
    # there (1/2: the square-root law, laid out in s) and one that does not
    # (2: the quadratic law 1 - 2c (1 - mu) + c (1 - mu)^2, no limb piece)
    (("power2", (0.6, 0.5)), ("squareroot", (0.0, 0.6))),
    (("power2", (0.6, 2.0)), ("quadratic", (1.2, -0.6))),
]


@pytest.mark.parametrize("rho", [0.01, 1.0, 30.0])
@pytest.mark.parametrize("law, same", SAME_PROFILE)
def test_laws_of_the_same_profile_agree(law, same, rho):
    """Value and derivatives agree across the sweep, the lens inside the
    source, near its limb, on it and outside (each is within 1e-14 of the
    oracle)."""
    eps = np.logspace(-12, -2, 6)
    l = np.concatenate([np.linspace(0.0, 1.79, 180), 1 - eps, 1 + eps])
    a, jacobian = magnifex.magnification(l * rho, rho, *law, gradient=True)
    want, want_jacobian = magnifex.magnification(l * rho, rho, *same, gradient=True)
    np.testing.assert_allclose(a, want, rtol=5e-14, atol=0)
    scale = want / rho
    for k in (0, 1):
        got, slope = jacobian[:, k], want_jacobian[:, k]
        # (on the limb both are the same infinity)
        with np.errstate(invalid="ignore"):
            error = np.where(got == slope, 0.0, np.abs(got - slope) / np.maximum(np.abs(slope), scale))
        assert np.max(error) < 2e-13, (k, l[np.argmax(error)])


def test_uniform_law_is_the_closed_form_disk():
    got = magnifex.magnification(U, RHO, "uniform")
    np.testing.assert_allclose(got, magnifex.witt_mao_magnification(U / RHO, 1.0, RHO), rtol=1e-14, atol=0)


@pytest.mark.parametrize("law, c", [case for case in LAWS if case[0] != "exponential"])
def test_a_fine_table_of_the_law_agrees(law, c):
    """The same law tabulated on 4000 rows dense at the limb, through the table
    route: independent code, agreement to the table's resolution (the
    exponential law, infinitely bright at the limb, has no table)."""
    x = np.sin(np.linspace(0.0, np.pi / 2, 4000))
    mu = np.sqrt(np.clip(1 - x * x, 0, 1))
    with np.errstate(divide="ignore", invalid="ignore"):
        brightness = {
            "uniform": lambda: np.ones_like(mu),
            "linear": lambda: 1 - c[0] * (1 - mu),
            "quadratic": lambda: 1 - c[0] * (1 - mu) - c[1] * (1 - mu) ** 2,
            "squareroot": lambda: 1 - c[0] * (1 - mu) - c[1] * (1 - np.sqrt(mu)),
            "logarithmic": lambda: 1 - c[0] * (1 - mu) - c[1] * np.where(mu > 0, mu * np.log(mu), 0),
            "power2": lambda: 1 - c[0] * (1 - mu ** c[1]),
            "nonlinear": lambda: 1 - sum(ck * (1 - mu ** ((k + 1) / 2)) for k, ck in enumerate(c)),
        }[law]()
    u = np.array([0.02, 0.12, 0.3])
    table = magnifex.integrated_flux_map_heyrovsky_magnification(u / RHO, 1.0, RHO, x, brightness)
    np.testing.assert_allclose(magnifex.magnification(u, RHO, law, c), table, rtol=2e-6)


@pytest.mark.parametrize("gradient", [False, True])
@pytest.mark.parametrize("law, c", LAWS + [("power2", (0.6, 1.7))])
def test_each_band_is_its_single_call_bit_for_bit(law, c, gradient):
    rows = np.array([c, [x * 0.9 for x in c], [x * 1.1 for x in c]]).reshape(3, len(c))
    if law == "power2":
        rows[:, 1] = [c[1], 0.35, 2.5]  # a basis of its own in every band
    together = magnifex.magnification(U, RHO, law, rows, gradient=gradient)
    for band, row in enumerate(rows):
        alone = magnifex.magnification(U, RHO, law, tuple(row), gradient=gradient)
        if gradient:
            assert bits(together[0][band]) == bits(alone[0]) and bits(together[1][band]) == bits(alone[1])
        else:
            assert bits(together[band]) == bits(alone)


@pytest.mark.parametrize("law, c", LAWS)
def test_the_value_does_not_depend_on_the_gradient(law, c):
    a, _ = magnifex.magnification(U, RHO, law, c, gradient=True)
    assert bits(a) == bits(magnifex.magnification(U, RHO, law, c))
    a, _ = magnifex.light_curve(U, 0.05, 0.01, 0.2, RHO, law, c, gradient=True)
    assert bits(a) == bits(magnifex.light_curve(U, 0.05, 0.01, 0.2, RHO, law, c))


@pytest.mark.parametrize("u, rows, value_shape, jacobian_shape", [
    (0.05, (0.6,), None, (3,)),
    (0.05, [[0.6], [0.5]], (2,), (2, 3)),
    ([0.05, 0.2], (0.6,), (2,), (2, 3)),
    ([0.05, 0.2, 1.0], [[0.6], [0.5]], (2, 3), (2, 3, 3)),
    ([], (0.6,), (0,), (0, 3)),
    (np.float64(0.05), np.array([0.6]), None, (3,)),
    (np.array(0.05), np.array([[0.6]]), (1,), (1, 3)),
])
def test_result_shapes(u, rows, value_shape, jacobian_shape):
    a = magnifex.magnification(u, RHO, "linear", rows)
    if value_shape is None:
        assert type(a) is float
    else:
        assert type(a) is np.ndarray and a.dtype == np.float64 and a.shape == value_shape
    a2, jacobian = magnifex.magnification(u, RHO, "linear", rows, gradient=True)
    assert bits(a2) == bits(a) and type(a2) is type(a)
    assert type(jacobian) is np.ndarray and jacobian.shape == jacobian_shape and jacobian.flags.c_contiguous


def test_every_input_layout_gives_the_same_bits():
    values = [0.0, 0.05, 0.1, 0.13, 0.7]
    want = bits(magnifex.magnification(values, RHO, "power2", (0.6, 0.6)))
    strided = np.zeros(10)
    strided[::2] = values
    for u in (tuple(values), np.array(values), strided[::2], np.array(values)[::-1][::-1],
              np.array(values, dtype=">f8"), np.array(values).astype(object), [np.float64(v) for v in values]):
        assert bits(magnifex.magnification(u, RHO, "power2", (0.6, 0.6))) == want, type(u)
    # other dtypes: the same values as their float64 conversion
    for u in (np.array([0, 1, 3], dtype=np.int32), np.array(values, dtype=np.float32)):
        assert bits(magnifex.magnification(u, RHO)) == bits(magnifex.magnification(u.astype(np.float64), RHO))
    rows = np.array([[0.6, 0.6], [0.8, 0.1]])
    assert bits(magnifex.magnification(values, RHO, "power2", rows.tolist())) == \
        bits(magnifex.magnification(values, RHO, "power2", rows))


def test_special_separations_and_radii():
    a = magnifex.magnification([math.nan, math.inf, 0.2], RHO, "quadratic", (0.4, 0.25))
    assert math.isnan(a[0]) and a[1] == 1.0
    _, jacobian = magnifex.magnification([math.nan, math.inf], RHO, gradient=True)
    assert np.isnan(jacobian[0]).all() and (jacobian[1] == 0).all()
    # rho = 0: the point source, whatever the law
    u = np.array([0.05, 1.0])
    assert bits(magnifex.magnification(u, 0.0, "nonlinear", (0.5, -0.1, 0.4, -0.15))) == \
        bits((u * u + 2) / (u * np.sqrt(u * u + 4)))
    assert magnifex.magnification(0.0, 0.0) == math.inf


class Iterated:
    """A sequence without a length, whose items come by iteration."""

    def __init__(self, items):
        self.items = items

    def __getitem__(self, index):
        return self.items[index]


class LyingLength(list):
    def __len__(self):
        return 5


class FailingItem:
    def __len__(self):
        return 1

    def __getitem__(self, index):
        raise TypeError("bad item")


@pytest.mark.parametrize("given, want", [
    (Iterated([0.5]), [0.5]),
    (LyingLength([[0.5]]), [[0.5]]),
    (Iterated([Iterated([0.5]), [0.7]]), [[0.5], [0.7]]),
    (np.array([0.5], dtype=">f8"), [0.5]),
    (np.array([[0.5], [0.7]], dtype=">f4"), np.array([[0.5], [0.7]], dtype=np.float32).astype(np.float64)),
    (np.array([0.5], dtype=np.float16), [0.5]),
])
def test_coefficients_are_read_as_the_separations_are(given, want):
    got = magnifex.magnification([0.05, 0.3], RHO, "linear", given)
    assert bits(got) == bits(magnifex.magnification([0.05, 0.3], RHO, "linear", want))


@pytest.mark.parametrize("u, want", [
    (np.array(0.05, dtype=">f8"), 0.05),
    (np.array(0.5, dtype=np.float16), 0.5),
    (np.array(True), 1.0),
    (np.array([0.05, 2.0], dtype="<f8")[::-1], [2.0, 0.05]),
])
def test_separations_of_any_byte_order_and_width(u, want):
    got = magnifex.magnification(u, RHO)
    assert bits(got) == bits(magnifex.magnification(want, RHO)) and np.ndim(got) == np.ndim(want)


def test_failing_sequences_name_their_argument():
    with pytest.raises(TypeError, match=r"^argument 'coefficients': bad item$"):
        magnifex.magnification(0.1, RHO, "linear", FailingItem())
    with pytest.raises(ValueError, match=r"^argument 'u': must be a number or a 1-D sequence, not a 2-D array$"):
        magnifex.magnification(np.array([[0.5]], dtype=">f8"), RHO)


@pytest.mark.parametrize("u, rho, law, c", [
    (0.0, 1e-8, "linear", (-1e300,)),
    (0.0, 1e-300, "linear", (-1e8,)),
    (0.05, 0.1, "quadratic", (-1e290, 3e289)),
    (0.9999999999999999, 1.0, "power2", (0.5, 1e300)),  # mu^alpha underflows on the limb's piece
])
def test_huge_coefficients_are_the_same_law_scaled(u, rho, law, c):
    """A is homogeneous of degree 0 in I's weights: the coefficients' scale
    cannot overflow it."""
    a, jacobian = magnifex.magnification(u, rho, law, c, gradient=True)
    assert np.isfinite(a) and not np.isnan(jacobian).any()  # d/drho ~ -1/rho^2 may overflow
    if law == "linear" and c[0] <= -1e20:  # I = 1 - c (1 - mu), as c -> -inf the profile 1 - mu
        assert a == pytest.approx(magnifex.magnification(u, rho, law, (-1e20,)), rel=1e-14)


@pytest.mark.parametrize("rho", [5e-324, 1e-310, 2.2250738585072014e-308, 1e-307, 1e-200, 1e-152, 1e-148])
@pytest.mark.parametrize("law, c", [("uniform", ()), ("squareroot", (0.2, 0.55))])
def test_tiny_sources_scale_as_one_over_rho(rho, law, c):
    """For u, rho << 1, A(u, rho) = A(s u, s rho) s to O(rho^2): against the
    same source at rho = 1e-8."""
    for l in (0.0, 0.3, 2.0):
        want = magnifex.magnification(l * 1e-8, 1e-8, law, c) * (1e-8 / rho)
        got = magnifex.magnification(l * rho, rho, law, c)
        assert got == pytest.approx(want, rel=1e-13) or (math.isinf(got) and math.isinf(want))
        _, jacobian = magnifex.magnification(l * rho, rho, law, c, gradient=True)
        assert not np.isnan(jacobian).any()


def test_light_curve_slopes_at_the_peak_of_a_tiny_timescale():
    a, jacobian = magnifex.light_curve(0.0, 0.0, 1e-100, 1e-300, 0.1, gradient=True)
    assert np.isfinite(a) and not np.isnan(jacobian).any() and jacobian[0] == 0.0 and jacobian[2] == 0.0


@pytest.mark.parametrize("law, c, bright", [
    ("uniform", (), True), ("linear", (0.6,), True), ("linear", (1.0,), False),
    ("exponential", (0.5, 0.1), True), ("power2", (1.0, 0.6), False), ("nonlinear", (0.5, 0.1, 0.2, 0.2), False),
])
def test_slopes_on_the_limb(law, c, bright):
    """On the limb A has a logarithmic cusp where the limb is bright: infinite
    slopes, -inf in u and +inf in rho; where it is dark, finite ones (their
    values are the oracle's to check)."""
    _, jacobian = magnifex.magnification(RHO, RHO, law, c, gradient=True)
    if bright:
        assert jacobian[0] == -math.inf and jacobian[1] == math.inf
    else:
        assert np.isfinite(jacobian).all() and jacobian[0] < 0 < jacobian[1]


def test_light_curve_is_the_magnification_at_u_of_t():
    t = np.linspace(-1.0, 1.0, 41)
    t0, u0, te = 0.1, 0.02, 0.5
    tau = (t - t0) / te
    u = np.hypot(tau, u0)
    c = [[0.4, 0.25], [0.3, 0.3]]
    a, jacobian = magnifex.light_curve(t, t0, u0, te, RHO, "quadratic", c, gradient=True)
    b, partial = magnifex.magnification(u, RHO, "quadratic", c, gradient=True)
    assert bits(a) == bits(b)
    du = np.stack([-tau / (te * u), u0 / u, -tau * tau / (te * u)], axis=-1)
    np.testing.assert_allclose(jacobian[..., :3], partial[..., :1] * du, rtol=1e-15, atol=0)
    assert bits(jacobian[..., 3:]) == bits(partial[..., 1:])


def test_light_curve_derivatives_against_differences():
    t = np.array([-0.3, 0.02, 0.11, 0.4])
    p = np.array([0.1, 0.05, 0.5, RHO])
    _, jacobian = magnifex.light_curve(t, *p, "linear", (0.6,), gradient=True)
    for j in range(4):
        h = 1e-6 * p[j]
        up, down = p.copy(), p.copy()
        up[j] += h
        down[j] -= h
        difference = (magnifex.light_curve(t, *up) - magnifex.light_curve(t, *down)) / (2 * h)
        np.testing.assert_allclose(jacobian[:, j], difference, rtol=1e-5, atol=1e-9)


ERRORS = [
    ((0.1, RHO, "foo"), ValueError, "argument 'law': unknown law 'foo'; the laws are uniform, linear, quadratic, "
                                    "squareroot, logarithmic, exponential, power2 and nonlinear"),
    ((0.1, RHO, 3), TypeError, "argument 'law': must be str, not int"),
    ((0.1, RHO, "quadratic"), ValueError,
     "argument 'coefficients': law 'quadratic' takes 2 coefficients (a, b); none were given"),
    ((0.1, RHO, "quadratic", (0.1,)), ValueError,
     "argument 'coefficients': law 'quadratic' takes 2 coefficients (a, b), not 1"),
    ((0.1, RHO, "uniform", (0.3,)), ValueError, "argument 'coefficients': law 'uniform' takes no coefficients, not 1"),
    ((0.1, RHO, "linear", (math.nan,)), ValueError, "argument 'coefficients': must be finite, not (nan,)"),
    ((0.1, RHO, "linear", [[0.5], [math.inf]]), ValueError, "argument 'coefficients': must be finite, not (inf,) (band 1)"),
    ((0.1, RHO, "power2", (0.5, -1)), ValueError, "argument 'coefficients': power2 needs alpha > 0, not -1.0"),
    ((0.1, RHO, "linear", (3.0,)), ValueError, "argument 'coefficients': law 'linear' with coefficients (3.0,) has a "
                                               "total flux <= 0; the brightness must integrate to a positive flux"),
    ((0.1, RHO, "linear", "ab"), TypeError, "argument 'coefficients': must be a sequence of numbers, not str"),
    ((0.1, RHO, "linear", [[0.1], [0.2, 0.3]]), ValueError,
     "argument 'coefficients': the rows of a band table must be equally long sequences"),
    ((0.1, RHO, "linear", np.zeros((2, 1, 1))), ValueError,
     "argument 'coefficients': must be one row or one row per band, not a 3-D array"),
    ((0.1, -0.1), ValueError, "argument 'rho': must be finite and >= 0, not -0.1"),
    ((0.1, math.inf), ValueError, "argument 'rho': must be finite and >= 0, not inf"),
    ((-0.1, RHO), ValueError, "argument 'u': must be >= 0, not -0.1"),
    (([0.1, -0.0, -2.0], RHO), ValueError, "argument 'u': must be >= 0, not -2.0"),
    (("a", RHO), TypeError, "argument 'u': must be a number or a 1-D sequence of numbers, not str"),
    ((np.zeros((2, 2)), RHO), ValueError, "argument 'u': must be a number or a 1-D sequence, not a 2-D array"),
    (([0.1, None], RHO), TypeError, "argument 'u': must be real number, not NoneType"),
    ((0.1,), TypeError, "magnification() missing 1 required positional argument: 'rho'"),
]


@pytest.mark.parametrize("args, kind, message", ERRORS)
def test_refused_inputs(args, kind, message):
    error = raised(magnifex.magnification, *args)
    assert type(error) is kind and str(error) == message


@pytest.mark.parametrize("args, message", [
    ((0.0, 0.0, 0.1, 0.0, RHO), "argument 'tE': must be finite and > 0, not 0.0"),
    ((0.0, 0.0, 0.1, -2.0, RHO), "argument 'tE': must be finite and > 0, not -2.0"),
    ((0.0, math.nan, 0.1, 1.0, RHO), "argument 't0': must be finite, not nan"),
    ((0.0, 0.0, math.inf, 1.0, RHO), "argument 'u0': must be finite, not inf"),
    ((0.0, 0.0, 0.1, 1.0, -RHO), "argument 'rho': must be finite and >= 0, not -0.1"),
])
def test_refused_light_curves(args, message):
    error = raised(magnifex.light_curve, *args)
    assert type(error) is ValueError and str(error) == message


def test_threads_give_the_serial_results():
    tasks = [(np.linspace(0, 3 * rho, 200), rho, law, c) for rho in (0.01, 0.1, 1.0) for law, c in LAWS]
    serial = [bits(magnifex.magnification(*task, gradient=True)[1]) for task in tasks]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        threaded = list(pool.map(lambda task: bits(magnifex.magnification(*task, gradient=True)[1]), tasks))
    assert threaded == serial


def test_an_input_mutated_by_another_thread_cannot_crash_a_call():
    u = np.linspace(0.0, 0.3, 2000)
    stop = threading.Event()

    def mutate():
        while not stop.is_set():
            u[::-1] += 1e-9
            u[::-1] -= 1e-9

    thread = threading.Thread(target=mutate)
    thread.start()
    try:
        for _ in range(20):
            a = magnifex.magnification(u, RHO, "squareroot", (0.2, 0.55))
            assert a.shape == u.shape and np.isfinite(a).all()
    finally:
        stop.set()
        thread.join()
