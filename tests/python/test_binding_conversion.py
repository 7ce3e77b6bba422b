"""Conversion of arguments (floats and float sequences) and of results."""

import array
import math
import sys

import pytest

import magnifex

wm = magnifex.witt_mao_magnification
ring = magnifex.heyrovsky_magnification

REFERENCE = wm([0.5, 2.0], 1.0, 0.1)


def interpreter_float_error(value):
    """The interpreter's own exception for float(value) the way C code asks for it."""
    with pytest.raises(BaseException) as info:
        math.sqrt(value)  # PyFloat_AsDouble, like the module
    return info.value


class Outer:
    class Inner:
        pass


class StrSubclass(str):
    pass


class FloatSubclass(float):
    pass


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FloatLike:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Raises:
    """An object whose __float__ raises the given exception."""

    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error


class MyTypeError(TypeError):
    pass


class NoQualname(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise AttributeError(name)
        return super().__getattribute__(name)


class BadQualname(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            return 42
        return super().__getattribute__(name)


class Hidden(metaclass=NoQualname):
    pass


class NotAString(metaclass=BadQualname):
    pass


def generator():
    yield 1.0


NOT_SEQUENCES = [
    (0.5, "float"),
    (1, "int"),
    (None, "NoneType"),
    ({0.5, 2.0}, "set"),
    (frozenset([0.5]), "frozenset"),
    ({0.5: 1}, "dict"),
    (generator(), "generator"),
    (iter([0.5]), "list_iterator"),
    (Outer.Inner(), "Outer.Inner"),
    (Hidden(), "<failed to extract type name>"),
    (NotAString(), "<failed to extract type name>"),
]


@pytest.mark.parametrize("value, type_name", NOT_SEQUENCES, ids=[t for _, t in NOT_SEQUENCES])
@pytest.mark.parametrize("position", [0, 3, 4])
def test_non_sequences_are_refused(value, type_name, position):
    args = [[0.5], 1.0, 0.1, [0.0, 1.0], [1.0, 1.0]]
    args[position] = value
    name = ["l", "re", "rstar", "bl", "bf"][position]
    with pytest.raises(TypeError) as info:
        magnifex.integrated_flux_map_witt_mao_magnification(*args)
    assert type(info.value) is TypeError
    assert str(info.value) == f"argument '{name}': '{type_name}' object cannot be converted to 'Sequence'"


@pytest.mark.parametrize("text", ["0.5", "", StrSubclass("12")])
def test_strings_are_never_sequences(text):
    with pytest.raises(TypeError) as info:
        wm(text, 1.0, 1.0)
    assert str(info.value) == "argument 'l': Can't extract `str` to `Vec`"
    with pytest.raises(TypeError) as info:
        magnifex.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], text)
    assert str(info.value) == "argument 'bf': Can't extract `str` to `Vec`"


@pytest.mark.parametrize(
    "value",
    ["a", None, [1.0], b"1", 1j, object()],
    ids=["str", "None", "list", "bytes", "complex", "object"],
)
@pytest.mark.parametrize("name", ["re", "rstar"])
def test_float_refusals_carry_the_interpreter_message(value, name):
    expected = interpreter_float_error(value)
    assert type(expected) is TypeError
    kwargs = {"l": [0.5], "re": 1.0, "rstar": 0.1, name: value}
    with pytest.raises(TypeError) as info:
        wm(**kwargs)
    assert type(info.value) is TypeError
    assert str(info.value) == f"argument '{name}': {expected}"


@pytest.mark.parametrize("item", [None, "1.0", [1.0]], ids=["None", "str", "list"])
def test_sequence_items_refused_with_prefix(item):
    expected = interpreter_float_error(item)
    with pytest.raises(TypeError) as info:
        wm([0.5, item, 2.0], 1.0, 0.1)
    assert str(info.value) == f"argument 'l': {expected}"
    with pytest.raises(TypeError) as info:
        magnifex.integrated_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, [0.0, item], [1.0, 1.0])
    assert str(info.value) == f"argument 'bl': {expected}"


PASSED_THROUGH = [
    MyTypeError("subclass of TypeError"),
    ValueError("bad value"),
    OverflowError("too big"),
    ZeroDivisionError("zero"),
    KeyError("key"),
]


@pytest.mark.parametrize("error", PASSED_THROUGH, ids=[type(e).__name__ for e in PASSED_THROUGH])
@pytest.mark.parametrize("where", ["float", "item"])
def test_non_plain_type_errors_pass_unchanged(error, where):
    bad = Raises(error)
    with pytest.raises(BaseException) as info:
        if where == "float":
            wm([0.5], 1.0, bad)
        else:
            wm([0.5, bad], 1.0, 0.1)
    assert info.value is error
    assert str(info.value) == str(error)


def test_overflow_of_a_huge_int_is_unprefixed():
    expected = interpreter_float_error(10**400)
    with pytest.raises(OverflowError) as info:
        wm([0.5], 10**400, 0.1)
    assert str(info.value) == str(expected) == "int too large to convert to float"
    with pytest.raises(OverflowError):
        wm([10**400], 1.0, 0.1)


def test_plain_type_error_keeps_its_cause():
    cause = ValueError("root")

    class Chained:
        def __float__(self):
            raise TypeError("inner") from cause

    with pytest.raises(TypeError) as info:
        wm([0.5], Chained(), 0.1)
    assert str(info.value) == "argument 're': inner"
    assert info.value.__cause__ is cause

    with pytest.raises(TypeError) as info:
        wm([0.5], Raises(TypeError("plain")), 0.1)
    assert str(info.value) == "argument 're': plain"
    assert info.value.__cause__ is None


def test_type_error_with_unprintable_argument(monkeypatch):
    class Unprintable:
        def __str__(self):
            raise RuntimeError("no text")

    reports = []
    monkeypatch.setattr(sys, "unraisablehook", lambda report: reports.append(report))
    with pytest.raises(TypeError) as info:
        wm([0.5], 1.0, Raises(TypeError(Unprintable())))
    assert str(info.value) == "argument 'rstar': <unprintable TypeError object>"
    assert len(reports) == 1
    assert type(reports[0].exc_value) is RuntimeError
    assert str(reports[0].exc_value) == "no text"


class LyingLength:
    """A sequence whose __len__ claims far more items than it yields."""

    def __init__(self, items, length):
        self.items = items
        self.length = length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        return iter(self.items)


class OldStyleSequence:
    """Only __getitem__: iterated by index until IndexError."""

    def __init__(self, items):
        self.items = items

    def __getitem__(self, index):
        return self.items[index]


ACCEPTED = [
    ([0.5, 2.0], "list"),
    ((0.5, 2), "tuple of float and int"),
    ([FloatSubclass(0.5), Index(2)], "float subclass and __index__"),
    ([FloatLike(0.5), True + 1], "__float__ and bool arithmetic"),
    (array.array("d", [0.5, 2.0]), "array"),
    (memoryview(array.array("d", [0.5, 2.0])), "memoryview"),
    (LyingLength([0.5, 2.0], 10**18), "__len__ says 10**18"),
    (LyingLength([0.5, 2.0], 2**62), "__len__ says 2**62"),
    (LyingLength([0.5, 2.0], 0), "__len__ says 0"),
    (LyingLength([0.5, 2.0], -5), "__len__ negative"),
    (LyingLength([0.5, 2.0], 10**30), "__len__ overflows"),
    (LyingLength([0.5, 2.0], RuntimeError("no length")), "__len__ raises"),
    (LyingLength([0.5, 2.0], TypeError("no length")), "__len__ raises TypeError"),
    (OldStyleSequence([0.5, 2.0]), "__getitem__ only"),
]


@pytest.mark.parametrize("value, case", ACCEPTED, ids=[c for _, c in ACCEPTED])
def test_accepted_sequences(value, case):
    assert wm(value, 1.0, 0.1) == REFERENCE
    assert sys.exc_info() == (None, None, None)
    # the swallowed __len__ error does not linger
    assert wm([0.5], 1.0, 0.1) == REFERENCE[:1]


def test_bytes_and_ranges_are_sequences_of_numbers():
    assert wm(bytes([1, 2]), 1.0, 1.0) == wm([1.0, 2.0], 1.0, 1.0)
    assert wm(bytearray([3]), 1.0, 1.0) == wm([3.0], 1.0, 1.0)
    assert wm(range(1, 4), 1.0, 1.0) == wm([1.0, 2.0, 3.0], 1.0, 1.0)
    assert wm(range(0), 1.0, 1.0) == []


def test_numpy_arrays_and_scalars():
    numpy = pytest.importorskip("numpy")
    assert wm(numpy.array([0.5, 2.0]), numpy.float64(1.0), numpy.int32(0) + 0.1) == REFERENCE
    assert ring(numpy.float64(0.5), 0.3, numpy.float32(1.0), 0.1) == ring(0.5, 0.3, 1.0, 0.1)


def test_iteration_errors_propagate():
    class BadIter:
        def __len__(self):
            return 2

        def __getitem__(self, index):
            return 1.0

        def __iter__(self):
            raise RuntimeError("no iterator")

    class BadNext:
        def __getitem__(self, index):
            if index == 1:
                raise TypeError("second item missing")
            return 1.0

    with pytest.raises(RuntimeError, match="^no iterator$"):
        wm(BadIter(), 1.0, 0.1)
    with pytest.raises(TypeError) as info:
        wm(BadNext(), 1.0, 0.1)
    assert str(info.value) == "argument 'l': second item missing"


@pytest.mark.parametrize(
    "spelling",
    [-1.0, -1, FloatSubclass(-1.0), FloatLike(-1.0), Index(-1)],
    ids=["float", "int", "float subclass", "__float__", "__index__"],
)
def test_minus_one_is_a_value(spelling):
    # -1.0 is also PyFloat_AsDouble's error return: it must not be mistaken for one
    assert wm([0.5], spelling, 0.1) == [-REFERENCE[0]]
    discrete = magnifex.discrete_flux_map_heyrovsky_magnification
    expected = discrete([2.0], 1.0, 0.1, [0.5, 0.8], [-1.0, 2.0])
    assert discrete([2.0], 1.0, 0.1, [0.5, 0.8], [spelling, 2.0]) == expected
    assert expected != discrete([2.0], 1.0, 0.1, [0.5, 0.8], [1.0, 2.0])


def test_nan_and_infinity_are_passed_through():
    nan = float("nan")
    result = magnifex.integrated_heyrovsky_magnification([nan, 2.0, FloatSubclass(nan)], 1.0, 0.1)
    assert math.isnan(result[0]) and math.isnan(result[2])
    assert result[1] == magnifex.integrated_heyrovsky_magnification([2.0], 1.0, 0.1)[0]
    assert math.isnan(magnifex.integrated_witt_mao_magnification([2.0], 1.0, 0.0)[0])
    # a NaN scalar reaches the model: the failure is the model's, not a TypeError
    with pytest.raises(RuntimeError):
        ring(0.5, 0.3, 1.0, nan)
    with pytest.raises(RuntimeError):
        ring(float("inf"), 0.3, 1.0, 0.1)


def test_results_are_new_lists_of_floats_in_order():
    separations = [3.0, 0.5, 2.0, 0.05, 10.0]
    result = wm(separations, 1.0, 0.1)
    assert type(result) is list and len(result) == len(separations)
    assert all(type(value) is float for value in result)
    assert result == [wm([s], 1.0, 0.1)[0] for s in separations]
    assert wm(separations, 1.0, 0.1) is not result
    assert wm([], 1.0, 0.5) == []
    assert type(ring(0.5, 0.3, 1.0, 0.1)) is float


def test_input_sequence_is_not_modified():
    separations = [0.5, 2.0]
    wm(separations, 1.0, 0.1)
    assert separations == [0.5, 2.0]


def test_long_sequence():
    separations = [0.5 + 0.001 * i for i in range(10000)]
    result = wm(separations, 1.0, 0.1)
    assert len(result) == 10000
    assert result[::2500] == wm(separations[::2500], 1.0, 0.1)
