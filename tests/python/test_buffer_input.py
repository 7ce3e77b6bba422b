"""Arrays read through the buffer protocol, and lists and tuples read by index,
give exactly what iterating them gives: the same result bits, the same exception
type and text, the same reference counts."""

import array
import ctypes
import gc
import struct
import sys

import pytest

import magnifex
from conftest import counted, raised

np = pytest.importorskip("numpy")

TABLE_FUNCTIONS = ("integrated_flux_map_witt_mao_magnification", "integrated_flux_map_heyrovsky_magnification",
                   "discrete_flux_map_heyrovsky_magnification")
SEQUENCE_FUNCTIONS = ("witt_mao_magnification", "integrated_witt_mao_magnification",
                      "integrated_heyrovsky_magnification", *TABLE_FUNCTIONS)
# (function, parameter) for every float-sequence parameter of the module
PARAMETERS = [(name, "l") for name in SEQUENCE_FUNCTIONS] + \
             [(name, p) for name in TABLE_FUNCTIONS for p in ("bl", "bf")]
BL, BF = [0.0, 0.25, 0.5, 0.75, 1.0], [1.0, 0.9, 0.8, 0.6, 0.4]
L = [0.0, 0.05, 0.1, 0.5, 1.0, 1.5, 3.0, 20.0]


class Iterated:
    """The sequence path by definition: len, indexing and iteration delegated
    to the wrapped object, with no buffer of its own."""

    def __init__(self, wrapped):
        self.wrapped = wrapped

    def __len__(self):
        return len(self.wrapped)

    def __getitem__(self, index):
        return self.wrapped[index]

    def __iter__(self):
        return iter(self.wrapped)


def outcome(function_name, parameter, value):
    """The result bits, or the exception's type and text, of one call with
    `value` as `parameter` and valid values elsewhere."""
    kwargs = {"l": L, "re": 1.0, "rstar": 0.1}
    if function_name in TABLE_FUNCTIONS:
        kwargs.update(bl=BL, bf=BF)
    kwargs[parameter] = value
    try:
        result = getattr(magnifex, function_name)(**kwargs)
    except BaseException as error:  # a panic (tables of unequal length) included
        return type(error), str(error)
    assert type(result) is list and all(type(item) is float for item in result)
    return "ok", struct.pack(f"{len(result)}d", *result)


def quiet_nan(payload):
    return struct.unpack("<d", struct.pack("<Q", 0x7FF8000000000000 | payload))[0]


# float64 vectors of native order: the buffer path (values with their own cases)
VALUES = {
    "plain": [0.0, 0.3, 0.5, 1.0, 2.0, 3.0],
    "edge values": [-0.0, 5e-324, 2.2250738585072014e-308, 1.0 - 2**-53, 1.0 + 2**-52, 1.7976931348623157e308],
    "nan and inf": [float("nan"), quiet_nan(0x1234), float("inf"), 0.5, -float("inf")],
    "negative": [0.5, -1.0, 2.0],  # a model error
    "one": [1.0],
    "empty": [],
}


@pytest.mark.parametrize("values", VALUES.values(), ids=VALUES.keys())
@pytest.mark.parametrize("function_name, parameter", PARAMETERS)
def test_float64_vectors_read_as_their_list(function_name, parameter, values):
    expected = outcome(function_name, parameter, values)
    arrays = [np.array(values, dtype=np.float64), np.array(values, dtype="=f8"), array.array("d", values),
              memoryview(array.array("d", values)), (ctypes.c_double * len(values))(*values)]
    readonly = np.array(values)
    readonly.flags.writeable = False
    for value in [*arrays, readonly, Iterated(np.array(values))]:
        assert outcome(function_name, parameter, value) == expected, type(value)


@pytest.mark.parametrize("tail", [[], [np.inf], [np.nan]], ids=["finite", "inf", "nan"])
def test_large_arrays_bitwise(tail):
    separations = np.concatenate([np.linspace(0.0, 30.0, 100_000), tail])
    expected = outcome("witt_mao_magnification", "l", separations.tolist())
    assert outcome("witt_mao_magnification", "l", separations) == expected
    assert expected[0] == "ok" or tail  # a non-finite separation may fail the model


SOURCE = np.array([0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 2.5, 3.0])
OTHER_LAYOUTS = {  # arrays the buffer path must leave to iteration
    "every second": SOURCE[::2],
    "reversed": SOURCE[::-1],
    "column of 2-D": SOURCE.reshape(4, 2)[:, 0],
    "unaligned": np.frombuffer(b"\0" + SOURCE.tobytes(), dtype=np.float64, offset=1),
    "big-endian": SOURCE.astype(">f8"),
    "float32": SOURCE.astype(np.float32),
    "float16": SOURCE.astype(np.float16),
    "longdouble": SOURCE.astype(np.longdouble),
    "int64": np.arange(8),
    "int8": np.arange(8, dtype=np.int8),
    "uint64 huge": np.array([2**64 - 1], dtype=np.uint64),
    "bool": np.array([True, False]),
    "complex": SOURCE.astype(complex),
    "object": np.array([0.5, 2.0, 3], dtype=object),  # the buffer export itself fails
    "object bad": np.array([0.5, "x"], dtype=object),
    "datetime": np.array(["2020-01-01"], dtype="datetime64[D]"),  # export fails, items refused
    "structured": np.zeros(2, dtype=[("a", "f8")]),
    "2-D": SOURCE.reshape(4, 2),
    "2-D single column": SOURCE.reshape(8, 1),
    "2-D empty": np.zeros((0, 3)),
    "0-d": np.array(0.5),
    "0-d int": np.array(3),
    "bytes": bytes([1, 2, 200]),
    "bytearray": bytearray([1, 2]),
    "memoryview of bytes": memoryview(bytes([1, 2])),
    "memoryview int32": memoryview(array.array("i", [1, 2])),
    "memoryview 2-D": memoryview(SOURCE.tobytes()).cast("d", (4, 2)),
    "array of floats": array.array("f", [0.5, 2.0]),
}


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # float() of a one-element array
@pytest.mark.filterwarnings("ignore::numpy.exceptions.ComplexWarning")
@pytest.mark.parametrize("value", OTHER_LAYOUTS.values(), ids=OTHER_LAYOUTS.keys())
@pytest.mark.parametrize("function_name, parameter", PARAMETERS)
def test_other_layouts_behave_as_iteration(function_name, parameter, value):
    assert outcome(function_name, parameter, value) == outcome(function_name, parameter, Iterated(value))


class Plain(np.ndarray):
    pass


class Doubling(np.ndarray):
    def __getitem__(self, index):
        return 2.0 * np.asarray(self)[index]


class Reversed(np.ndarray):
    def __iter__(self):
        return iter(np.asarray(self)[::-1].tolist())


class ShortLength(array.array):
    def __len__(self):
        raise RuntimeError("no length")


class Tripled(array.array):
    def __iter__(self):
        return iter([3.0 * item for item in array.array("d", self)])


def masked():
    return np.ma.masked_array([0.5, 1.0, 2.0], mask=[False, True, False])


SUBCLASSES = {
    "plain subclass": (SOURCE.view(Plain), SOURCE.tolist()),
    "matrix-like __getitem__": (SOURCE.view(Doubling), (2.0 * SOURCE).tolist()),
    "__iter__": (SOURCE.view(Reversed), SOURCE[::-1].tolist()),
    "array.array __len__ raises": (ShortLength("d", [0.5, 2.0]), [0.5, 2.0]),
    "array.array __iter__": (Tripled("d", [0.5, 2.0]), [1.5, 6.0]),
    "masked": (masked(), [0.5, float("nan"), 2.0]),  # a masked item converts to NaN
    "as_strided view": (np.lib.stride_tricks.as_strided(SOURCE, (4,), (8,)), SOURCE[:4].tolist()),
}


@pytest.mark.filterwarnings("ignore::UserWarning")  # float() of a masked item
@pytest.mark.parametrize("value, iterated", SUBCLASSES.values(), ids=SUBCLASSES.keys())
@pytest.mark.parametrize("function_name, parameter", PARAMETERS)
def test_subclasses_keep_their_own_iteration(function_name, parameter, value, iterated):
    expected = outcome(function_name, parameter, iterated)
    assert outcome(function_name, parameter, value) == expected
    assert outcome(function_name, parameter, Iterated(value)) == expected


ERRORS = [  # valid arrays with a failure elsewhere: identical errors, nothing pending afterwards
    ("witt_mao_magnification", ([0.5], "x", 0.1), {}),
    ("witt_mao_magnification", ([0.5], 1.0), {}),
    ("witt_mao_magnification", ([0.5], 1.0, 0.1), {"re": 2.0}),
    ("witt_mao_magnification", ([0.5], 1.0, 0.1), {"L": 2.0}),
    ("integrated_flux_map_heyrovsky_magnification", ([0.5], 1.0, 0.1, [0.0, 1.0], "x"), {}),
    ("integrated_flux_map_witt_mao_magnification", ([0.5], 1.0, 0.1, [0.0, 1.0], [1.0]), {}),  # panic
    ("discrete_flux_map_heyrovsky_magnification", ([0.5], 1.0, 0.1, [0.0, 1.0], [1.0, None]), {}),
    ("integrated_heyrovsky_magnification", ([0.5], 1.0, 0.1, 1.0), {}),
]


@pytest.mark.parametrize("function_name, args, kwargs", ERRORS)
def test_errors_elsewhere_are_identical(function_name, args, kwargs):
    function = getattr(magnifex, function_name)
    as_arrays = tuple(np.array(a, dtype=float) if type(a) is list and None not in a else a for a in args)
    expected, error = raised(function, *args, **kwargs), raised(function, *as_arrays, **kwargs)
    assert (type(error), error.args) == (type(expected), expected.args)
    assert sys.exc_info() == (None, None, None)


@pytest.mark.parametrize("function_name, parameter", PARAMETERS)
def test_reference_counts_unchanged(function_name, parameter):
    base = np.linspace(0.0, 1.0, 5).copy()  # owns its data, so it can be resized
    values = {"array": base, "view": base[1:], "readonly": base.copy(), "strided": base[::2],
              "float32": base.astype(np.float32), "object": base.astype(object), "0-d": np.array(0.5),
              "memoryview": memoryview(array.array("d", BL))}
    values["readonly"].flags.writeable = False
    watched = counted([*values.values(), base])
    for value in values.values():  # warm up
        outcome(function_name, parameter, value)
    gc.collect()
    before = [sys.getrefcount(v) for v in watched]
    for _ in range(20):
        for value in values.values():
            outcome(function_name, parameter, value)
    gc.collect()
    after = [sys.getrefcount(v) for v in watched]
    assert after == before
    base.resize(3, refcheck=False)  # no buffer export is left held


class Mutating:
    """An item whose __float__ changes the list that holds it."""

    def __init__(self, change):
        self.change, self.target = change, None

    def __float__(self):
        self.change(self.target)
        return 0.75


MUTATIONS = {
    "append": lambda items: items.append(2.5),
    "append many": lambda items: items.extend([1.5] * 5) if len(items) < 20 else None,
    "pop last": lambda items: items.pop(),
    "remove itself": lambda items: items.remove(next(i for i in items if isinstance(i, Mutating))),
    "insert first": lambda items: items.insert(0, 9.0) if len(items) < 10 else None,
    "clear": lambda items: items.clear(),
    "replace next": lambda items: items.__setitem__(slice(-1, None), ["x"]),
}


@pytest.mark.parametrize("position", [0, 1, 3])
@pytest.mark.parametrize("change", MUTATIONS.values(), ids=MUTATIONS.keys())
def test_lists_changed_while_read_behave_as_iteration(change, position):
    def fresh():
        items = [0.5, 1.0, 2.0, 3.0]
        item = Mutating(change)
        item.target = items
        items.insert(position, item)
        return items

    expected = outcome("witt_mao_magnification", "l", Iterated(fresh()))
    assert outcome("witt_mao_magnification", "l", fresh()) == expected


@pytest.mark.parametrize("items", [[], [0.5], [0.5, 2, True, np.float32(1.5), np.float64(2.0)],
                                   [0.5, None], [float("nan"), 10**400], [0.5, "1.0"]],
                         ids=["empty", "one", "mixed", "None", "huge int", "str item"])
@pytest.mark.parametrize("function_name, parameter", PARAMETERS)
def test_lists_and_tuples_behave_as_iteration(function_name, parameter, items):
    expected = outcome(function_name, parameter, Iterated(items))
    assert outcome(function_name, parameter, list(items)) == expected
    assert outcome(function_name, parameter, tuple(items)) == expected
