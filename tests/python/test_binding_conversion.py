"""Conversion of arguments (floats and float sequences) and of results."""

import array
import math
import sys

import pytest

import magnifex
from conftest import FloatLike, LyingLength, Raises, raised

wm = magnifex.witt_mao_magnification
ring = magnifex.heyrovsky_magnification
REFERENCE = wm([0.5, 2.0], 1.0, 0.1)


def flux_map(**changed):
    """A table function called with valid arguments except those `changed`."""
    kwargs = {"l": [0.5], "re": 1.0, "rstar": 0.1, "bl": [0.0, 1.0], "bf": [1.0, 1.0], **changed}
    return magnifex.integrated_flux_map_heyrovsky_magnification(**kwargs)


class Outer:
    class Inner:
        pass


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


FloatSubclass = type("FloatSubclass", (float,), {})


class NoQualname(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise AttributeError(name)
        return super().__getattribute__(name)


class BadQualname(type):
    def __getattribute__(cls, name):
        return 42 if name == "__qualname__" else super().__getattribute__(name)


NOT_SEQUENCES = [
    (0.5, "float"), (1, "int"), (None, "NoneType"), ({0.5, 2.0}, "set"), ({0.5: 1}, "dict"),
    ((x for x in [1.0]), "generator"), (Outer.Inner(), "Outer.Inner"),
    (NoQualname("Hidden", (), {})(), "<failed to extract type name>"),
    (BadQualname("NotAString", (), {})(), "<failed to extract type name>"),
]


@pytest.mark.parametrize("value, type_name", NOT_SEQUENCES)
@pytest.mark.parametrize("name", ["l", "bf"])
def test_non_sequences_are_refused(value, type_name, name):
    error = raised(flux_map, **{name: value})
    assert type(error) is TypeError
    assert str(error) == f"argument '{name}': '{type_name}' object cannot be converted to 'Sequence'"


@pytest.mark.parametrize("text", ["0.5", "", type("StrSubclass", (str,), {})("12")])
@pytest.mark.parametrize("name", ["l", "bf"])
def test_strings_are_never_sequences(text, name):
    assert str(raised(flux_map, **{name: text})) == f"argument '{name}': Can't extract `str` to `Vec`"


@pytest.mark.parametrize("value", ["a", None, [1.0], 1j], ids=["str", "None", "list", "complex"])
@pytest.mark.parametrize("name, wrap", [("re", None), ("rstar", None), ("l", 0), ("bl", 1)])
def test_float_refusals_carry_the_interpreter_message(value, name, wrap):
    # scalars, and items of sequences (first or later)
    expected = raised(math.sqrt, value)  # the interpreter's own PyFloat_AsDouble error
    assert type(expected) is TypeError
    error = raised(flux_map, **{name: value if wrap is None else [0.5] * wrap + [value]})
    assert type(error) is TypeError and str(error) == f"argument '{name}': {expected}"


PASSED_THROUGH = [type("MyTypeError", (TypeError,), {})("subclass"), ValueError("bad value"),
                  OverflowError("too big"), KeyError("key")]


@pytest.mark.parametrize("error", PASSED_THROUGH, ids=lambda e: type(e).__name__)
@pytest.mark.parametrize("where", ["float", "item"])
def test_other_errors_pass_unchanged(error, where):
    bad = Raises(error)
    assert (raised(wm, [0.5], 1.0, bad) if where == "float" else raised(wm, [0.5, bad], 1.0, 0.1)) is error


def test_overflow_of_a_huge_int_is_unprefixed():
    for error in (raised(wm, [0.5], 10**400, 0.1), raised(wm, [10**400], 1.0, 0.1)):
        assert type(error) is OverflowError and str(error) == "int too large to convert to float"


def test_plain_type_error_is_prefixed_and_keeps_its_cause(monkeypatch):
    chained = TypeError("inner")
    chained.__cause__ = cause = ValueError("root")
    error = raised(wm, [0.5], Raises(chained), 0.1)
    assert str(error) == "argument 're': inner" and error.__cause__ is cause
    error = raised(wm, [0.5], Raises(TypeError("plain")), 0.1)
    assert str(error) == "argument 're': plain" and error.__cause__ is None

    class Unprintable:
        def __str__(self):
            raise RuntimeError("no text")

    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    error = raised(wm, [0.5], 1.0, Raises(TypeError(Unprintable())))
    assert str(error) == "argument 'rstar': <unprintable TypeError object>"
    assert [(type(r.exc_value), str(r.exc_value)) for r in reports] == [(RuntimeError, "no text")]


ACCEPTED = [  # (sequence, the list it stands for)
    ((0.5, 2), [0.5, 2.0]),
    ([FloatSubclass(0.5), Index(2), FloatLike(3.0)], [0.5, 2.0, 3.0]),
    (array.array("d", [0.5, 2.0]), [0.5, 2.0]),
    (bytes([1, 2]), [1.0, 2.0]),
    (range(1, 4), [1.0, 2.0, 3.0]),
    (range(0), []),
    *[(LyingLength([0.5, 2.0], length), [0.5, 2.0]) for length in (10**18, 0, -5, 10**30, RuntimeError)],
]


@pytest.mark.parametrize("value, equivalent", ACCEPTED)
def test_accepted_sequences(value, equivalent):
    assert wm(value, 1.0, 0.1) == wm(equivalent, 1.0, 0.1)
    assert sys.exc_info() == (None, None, None)  # a swallowed __len__ error does not linger
    assert wm([0.5], 1.0, 0.1) == REFERENCE[:1]


def test_numpy_arrays_and_scalars():
    numpy = pytest.importorskip("numpy")
    assert wm(numpy.array([0.5, 2.0]), numpy.float64(1.0), numpy.int32(0) + 0.1) == REFERENCE
    assert ring(numpy.float64(0.5), 0.3, numpy.float32(1.0), 0.1) == ring(0.5, 0.3, 1.0, 0.1)


def test_iteration_errors_propagate():
    class BadIter(LyingLength):
        def __iter__(self):
            raise RuntimeError("no iterator")

    error = raised(wm, BadIter([1.0], 1), 1.0, 0.1)
    assert type(error) is RuntimeError and str(error) == "no iterator"
    error = raised(wm, LyingLength([1.0, Raises(TypeError("second item missing"))], 2), 1.0, 0.1)
    assert type(error) is TypeError and str(error) == "argument 'l': second item missing"


@pytest.mark.parametrize("spelling", [-1.0, -1, FloatSubclass(-1.0), FloatLike(-1.0), Index(-1)],
                         ids=["float", "int", "float subclass", "__float__", "__index__"])
def test_minus_one_is_a_value(spelling):
    # -1.0 is also PyFloat_AsDouble's error return: it must not be mistaken for one
    assert wm([0.5], spelling, 0.1) == [-REFERENCE[0]]
    discrete = magnifex.discrete_flux_map_heyrovsky_magnification
    expected = discrete([2.0], 1.0, 0.1, [0.5, 0.8], [-1.0, 2.0])
    assert discrete([2.0], 1.0, 0.1, [0.5, 0.8], [spelling, 2.0]) == expected
    assert expected != discrete([2.0], 1.0, 0.1, [0.5, 0.8], [1.0, 2.0])


def test_nan_and_infinity_are_passed_through():
    nan = float("nan")
    result = magnifex.integrated_heyrovsky_magnification([nan, 2.0], 1.0, 0.1)
    assert math.isnan(result[0]) and result[1] == magnifex.integrated_heyrovsky_magnification([2.0], 1.0, 0.1)[0]
    assert math.isnan(magnifex.integrated_witt_mao_magnification([2.0], 1.0, 0.0)[0])
    # a NaN or infinite scalar reaches the model: the failure is the model's, not a TypeError
    assert type(raised(ring, 0.5, 0.3, 1.0, nan)) is RuntimeError
    assert type(raised(ring, float("inf"), 0.3, 1.0, 0.1)) is RuntimeError


def test_results_are_new_lists_of_floats_in_order():
    separations = [0.5 + 0.001 * i for i in range(10000)]
    copy = list(separations)
    result = wm(separations, 1.0, 0.1)
    assert separations == copy  # the input is not modified
    assert type(result) is list and len(result) == len(separations)
    assert all(type(value) is float for value in result)
    assert result[::997] == [wm([s], 1.0, 0.1)[0] for s in separations[::997]]
    assert wm(separations, 1.0, 0.1) is not result and wm([], 1.0, 0.5) == []
    assert type(ring(0.5, 0.3, 1.0, 0.1)) is float
