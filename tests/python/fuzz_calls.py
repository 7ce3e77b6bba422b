"""Generated calls of the module's functions and the outcome each one must have.

A generated argument is a recipe (plain data, printable, reproducible) that is
built into a fresh Python object twice: once for the prediction and once for
the call, so objects with side effects cannot make the two disagree. The
prediction follows the documented rules of argument matching and conversion;
for conversions it leans only on the interpreter itself (the float conversion
of `array.array("d")` item assignment is PyFloat_AsDouble, as the module's).

Run as a script, this module is one batch:
    python fuzz_calls.py SEED CALLS LAST_INPUT_FILE
It writes each call's recipe to LAST_INPUT_FILE before making the call, so a
parent process can report the input of a call that crashed the interpreter.
"""

import array
import collections
import ctypes
import gc
import math
import os
import re
import struct
import sys
import warnings

import numpy as np
from hypothesis import HealthCheck, Phase, given, seed, settings
from hypothesis import strategies as st

import magnifex
from conftest import counted

# ---------------------------------------------------------------------------
# The module's functions: parameter names and kinds ("f" float, "s" sequence;
# the limb-darkened functions' "p" points, "law", "c" coefficients, "g" gradient)

SIGNATURES = {
    "witt_mao_magnification": (("l", "s"), ("re", "f"), ("rstar", "f")),
    "integrated_witt_mao_magnification": (("l", "s"), ("re", "f"), ("rstar", "f")),
    "integrated_flux_map_witt_mao_magnification": (("l", "s"), ("re", "f"), ("rstar", "f"), ("bl", "s"), ("bf", "s")),
    "heyrovsky_magnification": (("l", "f"), ("r", "f"), ("re", "f"), ("rstar", "f")),
    "integrated_heyrovsky_magnification": (("l", "s"), ("re", "f"), ("rstar", "f")),
    "integrated_flux_map_heyrovsky_magnification": (("l", "s"), ("re", "f"), ("rstar", "f"), ("bl", "s"), ("bf", "s")),
    "discrete_flux_map_heyrovsky_magnification": (("l", "s"), ("re", "f"), ("rstar", "f"), ("bl", "s"), ("bf", "s")),
    "magnification": (("u", "p"), ("rho", "f"), ("law", "law"), ("coefficients", "c"), ("gradient", "g")),
    "light_curve": (("t", "p"), ("t0", "f"), ("u0", "f"), ("tE", "f"), ("rho", "f"), ("law", "law"),
                    ("coefficients", "c"), ("gradient", "g")),
}
# the parameters after these have defaults
REQUIRED = {"magnification": 2, "light_curve": 5}
LIMB_DARKENED = sorted(REQUIRED)
# the limb-darkening laws and the names of their coefficients, in the module's order
LAWS = {"uniform": (), "linear": ("a",), "quadratic": ("a", "b"), "squareroot": ("c", "d"),
        "logarithmic": ("c", "d"), "exponential": ("c", "d"), "power2": ("c", "alpha"),
        "nonlinear": ("c1", "c2", "c3", "c4")}
DEFAULT_COEFFICIENTS = {"uniform": [], "linear": [0.6]}
TABLE_FUNCTIONS = {name for name, params in SIGNATURES.items() if params[-1][0] == "bf"}
# The models' numeric failures name their routine and a colon.
MODEL_FAILURE = re.compile(r"^ellip(r[cdfj]|[ek]|pi): ")

# ---------------------------------------------------------------------------
# Argument objects


class FloatSubclass(float):
    pass


class FloatLike:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class IndexLike:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FloatRaises:
    def __init__(self, kind):
        self.kind = kind

    def __float__(self):
        raise self.kind("float refused")


class FloatLies:
    """__float__ returns something that is not a float."""

    def __float__(self):
        return "0.5"


class PanicsInFloat:
    def __float__(self):
        magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0], [])


class Lazy:
    """A sequence that computes its items on demand; no __len__ (size hint fails)."""

    def __init__(self, items):
        self.items = items

    def __getitem__(self, index):
        if index >= len(self.items):
            raise IndexError(index)
        return self.items[index]


class LyingLength(Lazy):
    def __init__(self, items, length):
        super().__init__(items)
        self.length = length

    def __len__(self):
        if isinstance(self.length, type):
            raise self.length("no length")
        return self.length


class IterRaises(Lazy):
    def __init__(self, items, kind):
        super().__init__(items)
        self.kind = kind

    def __iter__(self):
        raise self.kind("no iterator")


class GetitemRaises(Lazy):
    """Items until `at`, then __getitem__ raises `kind` (IndexError ends the sequence)."""

    def __init__(self, items, at, kind):
        super().__init__(items)
        self.at, self.kind = at, kind

    def __getitem__(self, index):
        if index >= self.at:
            raise self.kind(index)
        return super().__getitem__(index)


class NotASequence:
    def __iter__(self):
        return iter([0.5])


class ArraySubclass(np.ndarray):
    pass


class ArrayGetitem(np.ndarray):
    def __getitem__(self, index):
        with np.errstate(all="ignore"):
            return 2.0 * np.asarray(self)[index]


class ListSubclass(list):
    pass


class StrSubclass(str):
    pass


class BoolRaises:
    def __init__(self, kind):
        self.kind = kind

    def __bool__(self):
        raise self.kind("no truth")


EXCEPTIONS = {"ValueError": ValueError, "TypeError": TypeError, "RuntimeError": RuntimeError,
              "OverflowError": OverflowError, "ZeroDivisionError": ZeroDivisionError,
              "TypeErrorSubclass": type("TypeErrorSubclass", (TypeError,), {})}
DTYPES = ["<f8", ">f8", "f4", "f2", "i8", "i1", "u8", "?", "c16", "O"]
LAYOUTS = ["plain", "strided", "reversed", "2-D", "column", "0-d", "readonly", "subclass", "getitem subclass"]

# ---------------------------------------------------------------------------
# Recipes: (kind, data...) tuples, built into fresh objects


def build(recipe):
    kind, *data = recipe
    if kind in ("float", "int", "bool", "none", "str", "bytes", "complex"):
        return data[0]
    if kind == "float subclass":
        return FloatSubclass(data[0])
    if kind == "str subclass":
        return StrSubclass(data[0])
    if kind == "bool raises":
        return BoolRaises(EXCEPTIONS[data[0]])
    if kind == "float like":
        return FloatLike(build(data[0]))
    if kind == "index like":
        return IndexLike(data[0])
    if kind == "float raises":
        return FloatRaises(EXCEPTIONS[data[0]])
    if kind == "float lies":
        return FloatLies()
    if kind == "panics in float":
        return PanicsInFloat()
    if kind == "np scalar":
        return np.dtype(data[0]).type(data[1])
    items = [build(item) for item in data[0]] if kind in SEQUENCE_OF_RECIPES else None
    if kind == "list":
        return items
    if kind == "list subclass":
        return ListSubclass(items)
    if kind == "tuple":
        return tuple(items)
    if kind == "set":
        return set(map(id, items))
    if kind == "dict":
        return dict(enumerate(items))
    if kind == "generator":
        return (item for item in items)
    if kind == "lazy":
        return Lazy(items)
    if kind == "lying length":
        return LyingLength(items, EXCEPTIONS.get(data[1], data[1]))
    if kind == "iter raises":
        return IterRaises(items, EXCEPTIONS[data[1]])
    if kind == "getitem raises":
        return GetitemRaises(items, data[1], IndexError if data[2] == "IndexError" else EXCEPTIONS[data[2]])
    if kind == "not a sequence":
        return NotASequence()
    if kind == "range":
        return range(*data)
    if kind == "bytearray":
        return bytearray(data[0])
    if kind == "memoryview":
        return memoryview(array.array(data[0], data[1]))
    if kind == "array.array":
        return array.array(data[0], data[1])
    if kind == "ndarray":
        return build_ndarray(*data)
    raise AssertionError(f"unknown recipe {recipe!r}")


SEQUENCE_OF_RECIPES = {"list", "list subclass", "tuple", "set", "dict", "generator", "lazy", "lying length",
                       "iter raises", "getitem raises"}
# recipes whose objects pass PySequence_Check (have sq_item and are no dict)
SEQUENCES = {"str", "bytes", "bytearray", "list", "list subclass", "tuple", "lazy", "lying length", "iter raises",
             "getitem raises", "range", "memoryview", "array.array", "ndarray"}


def build_ndarray(dtype, values, layout):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        base = np.array(values, dtype=np.float64).astype(dtype)
    if layout == "strided":
        return np.repeat(base, 2)[::2]
    if layout == "reversed":
        return base[::-1]
    if layout == "2-D":
        return base.reshape(1, -1) if base.size % 2 else base.reshape(-1, 2)
    if layout == "3-D":
        return base.reshape(1, 1, -1)
    if layout[0] == "rows":  # ("rows", B, k): B rows of k, in C order
        return base.reshape(layout[1:])
    if layout[0] == "columns":  # ("columns", B, k): the same, strided
        return base.reshape(layout[2], layout[1]).T
    if layout == "column":
        return np.stack([base, base], axis=1)[:, 0]
    if layout == "0-d":
        return (base[:1] if base.size else np.ones(1, dtype=dtype)).reshape(())
    if layout == "readonly":
        base.flags.writeable = False
    if layout == "subclass":
        return base.view(ArraySubclass)
    if layout == "getitem subclass":
        return base.view(ArrayGetitem)
    return base


# ---------------------------------------------------------------------------
# Strategies

finite_or_not = st.one_of(st.floats(allow_nan=True, allow_infinity=True),
                          st.sampled_from([0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 2.0, float("nan"), float("inf")]))
positive = st.floats(min_value=1e-3, max_value=5.0)
small_ints = st.integers(min_value=-3, max_value=10)
huge_ints = st.sampled_from([2**63, -(2**63) - 1, 10**308, 10**400, -(10**400)])


def scalar_recipes():
    return st.one_of(
        st.tuples(st.just("float"), finite_or_not),
        st.tuples(st.just("float"), positive),
        st.tuples(st.just("int"), st.one_of(small_ints, huge_ints)),
        st.tuples(st.just("bool"), st.booleans()),
        st.tuples(st.just("float subclass"), finite_or_not),
        st.tuples(st.just("float like"), st.one_of(st.tuples(st.just("float"), positive),
                                                   st.tuples(st.just("float subclass"), positive),
                                                   st.tuples(st.just("int"), small_ints))),
        st.tuples(st.just("index like"), st.one_of(small_ints, huge_ints)),
        st.tuples(st.just("float raises"), st.sampled_from(sorted(EXCEPTIONS))),
        st.tuples(st.just("float lies")),
        st.tuples(st.just("np scalar"), st.sampled_from(["f8", "f4", "i8", "?", "c16"]), positive),
        st.tuples(st.just("none"), st.none()),
        st.tuples(st.just("str"), st.sampled_from(["0.5", "", "x"])),
        st.tuples(st.just("bytes"), st.binary(max_size=3)),
        st.tuples(st.just("complex"), st.just(1j)),
    )


def item_recipes():
    """Items of a sequence: mostly good floats, sometimes anything."""
    return st.one_of(st.tuples(st.just("float"), positive), st.tuples(st.just("float"), positive),
                     scalar_recipes())


def sequence_recipes(items=None, max_size=4):
    items = item_recipes() if items is None else items
    lists = st.lists(items, max_size=max_size).map(tuple)
    float_lists = st.lists(st.one_of(positive, finite_or_not), max_size=max_size)
    return st.one_of(
        st.tuples(st.just("list"), lists),
        st.tuples(st.just("list"), lists),
        st.tuples(st.just("tuple"), lists),
        st.tuples(st.sampled_from(["list subclass", "set", "dict", "generator", "lazy"]), lists),
        st.tuples(st.just("lying length"), lists,
                  st.sampled_from([0, 1, 10**18, 2**62, "RuntimeError", "TypeError", "OverflowError"])),
        st.tuples(st.just("iter raises"), lists, st.sampled_from(sorted(EXCEPTIONS))),
        st.tuples(st.just("getitem raises"), lists, st.integers(0, 3),
                  st.sampled_from(["IndexError", "ValueError", "TypeError"])),
        st.tuples(st.just("not a sequence")),
        st.tuples(st.just("range"), st.integers(0, 3), st.integers(0, 5)),
        st.tuples(st.sampled_from(["bytes", "bytearray"]), st.binary(max_size=max_size)),
        st.tuples(st.just("memoryview"), st.sampled_from(["d", "f", "i"]), st.lists(st.integers(0, 5), max_size=4)),
        st.tuples(st.just("array.array"), st.sampled_from(["d", "f", "b"]),
                  st.lists(st.integers(0, 5), max_size=max_size)),
        st.tuples(st.just("ndarray"), st.sampled_from(DTYPES), float_lists, st.sampled_from(LAYOUTS)),
        st.tuples(st.just("ndarray"), st.just("<f8"), float_lists, st.just("plain")),  # the buffer path
        st.tuples(st.just("ndarray"), st.just("<f8"), float_lists, st.just("plain")),
    )


def nested_sequences():
    """Sequences whose items may be sequences again."""
    return sequence_recipes(st.one_of(item_recipes(), sequence_recipes(max_size=2)))


SCALARS = scalar_recipes()
SEQUENCES_OF_ANY = sequence_recipes()
# values a parameter of each kind is given in calls of the right shape:
# mostly good ones, so that conversion and the models are reached
GOOD_FLOATS = st.one_of(st.tuples(st.just("float"), positive), st.tuples(st.just("int"), st.integers(1, 4)),
                        st.tuples(st.just("np scalar"), st.sampled_from(["f8", "f4"]), positive),
                        st.tuples(st.just("float like"), st.tuples(st.just("float"), positive)))
FLOAT64_ARRAYS = st.tuples(st.just("ndarray"), st.just("<f8"), st.lists(st.floats(0.0, 4.0), max_size=4),
                           st.just("plain"))
# arrays that convert by iteration, and some that the buffer path must leave alone
CONVERTIBLE_ARRAYS = st.tuples(st.just("ndarray"), st.sampled_from(["<f8", ">f8", "f4", "i8"]),
                               st.lists(st.floats(0.0, 4.0), min_size=1, max_size=4),
                               st.sampled_from(["plain", "readonly", "subclass", "strided", "reversed", "column",
                                                "getitem subclass"]))
GOOD_SEQUENCES = st.one_of(FLOAT64_ARRAYS, CONVERTIBLE_ARRAYS, sequence_recipes(st.tuples(st.just("float"), positive)))
# (weight, strategy): one_of would flatten nested choices and weigh every
# leaf alike, so the mix is drawn explicitly
GOOD_VALUES = {
    "f": [(8, GOOD_FLOATS), (2, SCALARS)],
    "s": [(3, FLOAT64_ARRAYS), (3, CONVERTIBLE_ARRAYS), (2, GOOD_SEQUENCES), (1, SEQUENCES_OF_ANY),
          (1, nested_sequences())],
}
GOOD_CHOICES = {kind: st.integers(0, sum(weight for weight, _ in mix) - 1) for kind, mix in GOOD_VALUES.items()}


def draw_good(draw, kind):
    choice = draw(GOOD_CHOICES[kind])
    for weight, strategy in GOOD_VALUES[kind]:
        if choice < weight:
            return draw(strategy)
        choice -= weight
    raise AssertionError(choice)


# a profile table of equal lengths, in one of the layouts that convert
TABLE_ROWS = st.lists(st.tuples(st.floats(0.0, 1.0), st.floats(0.0, 2.0)), max_size=5)
TABLE_FORMS = st.sampled_from(["list", "tuple", "ndarray", "array.array"])


def table_recipe(form, values):
    if form == "ndarray":
        return "ndarray", "<f8", list(values), "plain"
    if form == "array.array":
        return "array.array", "d", list(values)
    return form, tuple(("float", value) for value in values)


ANY_VALUE = st.one_of(SCALARS, SEQUENCES_OF_ANY)
UNKNOWN_NAMES = ["x", "L", "rStar", "R", "l ", "\udcff", "é", "bL"]


def weighted(*mix):
    """Draws from each (weight, strategy) in proportion (one_of would weigh
    every leaf of nested choices alike)."""
    choices = st.integers(0, sum(weight for weight, _ in mix) - 1)

    @st.composite
    def strategy(draw):
        choice = draw(choices)
        for weight, option in mix:
            if choice < weight:
                return draw(option)
            choice -= weight

    return strategy()


# The limb-darkened functions: values near a source of radius rho <= 10,
# made into recipes of many forms; now and then a value that is refused.
# (Strategies are made once: making one per draw costs more than the call.)

NAN, INF = float("nan"), float("inf")
ONE_IN = {n: st.integers(0, n - 1) for n in (4, 8, 10, 20)}
FRACTIONS = st.floats(0.0, 1.0)
NUMBER_FORMS = st.integers(0, 6)


def number_form(draw, value):
    """A recipe that converts to `value`, mostly the plain float."""
    forms = [("np scalar", "f8", value), ("float subclass", value), ("float like", ("float", value))]
    choice = draw(NUMBER_FORMS)
    return forms[choice] if choice < len(forms) else ("float", value)


RHOS = weighted((8, st.floats(0.0, 10.0)), (1, st.sampled_from([0.0, -0.0, 1e-300, 1e-8])))
EPOCHS = st.floats(-10.0, 10.0)
IMPACTS = st.floats(-2.0, 2.0)
EINSTEIN_TIMES = weighted((8, st.floats(0.05, 50.0)), (1, st.sampled_from([1e-300, 1e300])))
SPECIAL_POINTS = [0.0, -0.0, NAN, INF, -1.0, -INF]
POINT_CHOICES = st.integers(0, 79)  # past the special ones and the anchors: a value in range
POINT_COUNTS = st.integers(0, 8)
POINT_FORMS = st.sampled_from(["scalar", "ndarray", "ndarray", "list", "tuple", "array.array", "memoryview"])
POINT_DTYPES = weighted((6, st.just("<f8")), (4, st.sampled_from(DTYPES)))
POINT_LAYOUTS = weighted((6, st.just("plain")), (4, st.sampled_from(LAYOUTS)))
LISTS = st.sampled_from(["list", "tuple"])


def draw_points(draw, name, anchor):
    """Separations up to a few source radii (epochs of its passage), and a
    special value now and then: NaN, inf, a negative one, or within an ulp
    of the anchor (the limb, or t0 where u0 may be on the limb)."""
    low, high = (0.0, 3.0 * anchor + 1.0) if name == "magnification" else (-30.0, 30.0)
    specials = SPECIAL_POINTS + [anchor, np.nextafter(anchor, -INF), np.nextafter(anchor, INF)] * 2
    values = []
    for _ in range(draw(POINT_COUNTS)):
        choice = draw(POINT_CHOICES)
        values.append(float(specials[choice]) if choice < len(specials) else low + draw(FRACTIONS) * (high - low))
    form = draw(POINT_FORMS)
    if form == "scalar":
        return number_form(draw, values[0] if values else 0.5)
    if form == "ndarray":
        return "ndarray", draw(POINT_DTYPES), values, draw(POINT_LAYOUTS)
    if form in ("list", "tuple"):
        return form, tuple([number_form(draw, value) for value in values])
    return form, "d", values


def draw_number(draw, value):
    return draw(SCALARS) if draw(ONE_IN[20]) == 0 else number_form(draw, value)


BANDS = weighted((2, st.just(1)), (5, st.integers(2, 3)), (1, st.just(0)))
COEFFICIENTS = weighted((12, st.floats(-1.0, 1.0)),
                        (1, st.sampled_from([NAN, INF, -INF, 0.0, -0.0, 2.0, 3.0, -3.0, 10.0, 1e300, -1e300])))
ALPHAS = weighted((12, st.floats(0.05, 3.0)), (1, st.sampled_from([0.0, -0.0, -1.0, NAN, INF, 1e-300, 1e300])))
WRONG_COUNTS = st.integers(0, 5)
TABLE_DTYPES = weighted((6, st.just("<f8")), (1, st.sampled_from([">f8", "f4", "i8", "O"])))
ROW_LAYOUTS = weighted((6, st.just("plain")), (2, st.sampled_from(["strided", "reversed", "readonly", "subclass",
                                                                   "getitem subclass", "0-d"])))
COEFFICIENT_FORMS = st.sampled_from(["row", "row", "ndarray", "ndarray", "table", "table", "table", "2-D", "2-D",
                                     "number", "array", "none", "anything"])
ARRAYS = st.sampled_from(["array.array", "memoryview"])
ROW_FORMS = st.integers(0, 2)
BAD_ROWS = st.integers(0, 4)
TABLE_LAYOUTS = st.sampled_from(["rows", "rows", "columns", "3-D"])
ANYTHING = weighted((1, ANY_VALUE), (1, nested_sequences()))


def draw_coefficients(draw, law):
    """The law's coefficients, one row or one per band: mostly valid values
    of the law's count in one of the forms that convert, sometimes refused."""
    form = draw(COEFFICIENT_FORMS)
    if form == "none":
        return "none", None
    k = len(LAWS[law]) if draw(ONE_IN[10]) else draw(WRONG_COUNTS)
    rows = [[draw(ALPHAS if law == "power2" and i == 1 else COEFFICIENTS) for i in range(k)]
            for _ in range(draw(BANDS) if form in ("table", "2-D") else 1)]
    row = rows[0] if rows else []
    if form == "number" and len(row) == 1:
        return number_form(draw, row[0])
    if form in ("row", "number"):
        return draw(LISTS), tuple([number_form(draw, value) for value in row])
    if form == "ndarray":
        return "ndarray", draw(TABLE_DTYPES), row, draw(ROW_LAYOUTS)
    if form == "array":
        return draw(ARRAYS), "d", row
    if form == "table":
        recipes = [[("list", tuple(("float", v) for v in values)), ("tuple", tuple(("float", v) for v in values)),
                    ("ndarray", "<f8", values, "plain")][draw(ROW_FORMS)] for values in rows]
        if recipes and draw(ONE_IN[10]) == 0:
            # a row too short or too long, or a number for a row
            recipes[-1] = [("list", (("float", 0.5),) * (k + 1)), ("list", (("float", 0.5),) * (k - 1)),
                           ("float", 0.5), ("str", "0.5"), ("ndarray", "<f8", [0.5], "0-d")][draw(BAD_ROWS)]
        return draw(LISTS), tuple(recipes)
    if form == "2-D":
        layout = draw(TABLE_LAYOUTS)
        flat = [value for values in (zip(*rows) if layout == "columns" else rows) for value in values]
        return "ndarray", draw(TABLE_DTYPES), flat, (layout, len(rows), k) if layout != "3-D" else layout
    return draw(ANYTHING)


GOOD_LAWS = st.sampled_from(sorted(LAWS))
LAW_RECIPES = weighted((12, GOOD_LAWS.map(lambda law: ("str", law))),
                       (1, GOOD_LAWS.map(lambda law: ("str subclass", law))),
                       (2, st.sampled_from([("str", "Linear"), ("str", ""), ("str", "linear\x00"), ("str", "power-2"),
                                            ("str", "\udcff"), ("str", "é"), ("bytes", b"linear"), ("none", None),
                                            ("int", 1)])))
GRADIENTS = weighted(
    (20, st.sampled_from([("bool", True), ("bool", True), ("bool", False)])),
    (3, st.sampled_from([("int", 0), ("int", 2), ("int", 2**70), ("none", None), ("float", NAN), ("float", -0.0),
                         ("str", ""), ("str", "no"), ("np scalar", "?", 1), ("np scalar", "f8", 0.0), ("list", ()),
                         ("list", (("float", 0.0),)), ("not a sequence",)])),
    (1, st.tuples(st.just("bool raises"), st.sampled_from(sorted(EXCEPTIONS)))),
    (1, st.tuples(st.just("ndarray"), st.just("<f8"), st.lists(st.sampled_from([0.0, 1.0]), max_size=2),
                  st.just("plain"))),
    (1, st.tuples(st.just("lying length"), st.just(()),
                  st.sampled_from([0, 3, 2**62, "RuntimeError", "TypeError", "OverflowError"]))),
)
POINTS_OR_NOT = st.integers(0, 19)
SPLITS = {count: st.integers(0, count) for count in range(9)}


@st.composite
def limb_darkened_arguments(draw, name):
    """(positional, keywords) of magnification() or light_curve(): every
    required parameter once, each optional one given or left out."""
    params = [param for param, _ in SIGNATURES[name]]
    numbers = {"rho": draw(RHOS)}
    if name == "light_curve":
        u0 = draw(IMPACTS) if draw(ONE_IN[8]) else numbers["rho"]
        numbers = {"t0": draw(EPOCHS), "u0": u0, "tE": draw(EINSTEIN_TIMES), **numbers}
    choice = draw(POINTS_OR_NOT)
    values = {params[0]: draw_points(draw, name, numbers["rho" if name == "magnification" else "t0"]) if choice > 1
              else draw(SCALARS) if choice else draw(SEQUENCES_OF_ANY)}
    values.update((param, draw_number(draw, value)) for param, value in numbers.items())
    law = "linear"
    if draw(ONE_IN[4]):
        values["law"] = draw(LAW_RECIPES)
        law = values["law"][1] if values["law"][1] in LAWS else draw(GOOD_LAWS)
    if draw(ONE_IN[4] if law in DEFAULT_COEFFICIENTS else ONE_IN[20]):  # the others need coefficients
        values["coefficients"] = draw_coefficients(draw, law)
    if draw(ONE_IN[8]):
        values["gradient"] = draw(GRADIENTS)
    # a prefix by position (up to the first parameter left out), the rest by keyword
    split = draw(SPLITS[next((i for i, param in enumerate(params) if param not in values), len(params))])
    keywords = [(param, values[param]) for param in params[split:] if param in values]
    return tuple(values[param] for param in params[:split]), draw(st.permutations(keywords)) if keywords else []


FUNCTION_NAMES = st.sampled_from(sorted(SIGNATURES) * 2 + LIMB_DARKENED * 3)
COUNTS = {len(params) for params in SIGNATURES.values()}
NAMES = {function: st.sampled_from([p for p, _ in params] + UNKNOWN_NAMES) for function, params in SIGNATURES.items()}
ANY_CALLS = {count: st.lists(ANY_VALUE, max_size=count + 2) for count in COUNTS}
KEYWORD_SETS = {function: st.lists(NAMES[function], max_size=4, unique=True) for function in SIGNATURES}


@st.composite
def calls(draw):
    """(function name, positional recipes, keyword (name, recipe) pairs)."""
    name = draw(FUNCTION_NAMES)
    params = SIGNATURES[name]
    right_shape = draw(st.integers(0, 9)) < 8
    if right_shape and name in REQUIRED:
        positional, keywords = draw(limb_darkened_arguments(name))
    elif right_shape:
        # every parameter given once, a prefix by position, the rest by keyword
        values = [draw_good(draw, kind) for _, kind in params]
        if name in TABLE_FUNCTIONS and draw(st.booleans()):
            rows = sorted(draw(TABLE_ROWS))
            values[3] = table_recipe(draw(TABLE_FORMS), [radius for radius, _ in rows])
            values[4] = table_recipe(draw(TABLE_FORMS), [brightness for _, brightness in rows])
        split = draw(SPLITS[len(params)])
        keywords = [(param, value) for (param, _), value in zip(params[split:], values[split:])]
        keywords = draw(st.permutations(keywords)) if keywords else []
        positional = values[:split]
    else:
        # any arity, any names, any values
        positional = draw(ANY_CALLS[len(params)])
        names = draw(KEYWORD_SETS[name])
        keywords = [(keyword, draw(ANY_VALUE)) for keyword in names]
    if draw(st.integers(0, 19)) == 0:
        # one extra keyword: a duplicate of a positional parameter or an unknown name
        extra = draw(NAMES[name])
        if extra not in dict(keywords):
            keywords.append((extra, draw(ANY_VALUE)))
    return name, tuple(positional), tuple(keywords)


# ---------------------------------------------------------------------------
# The predicted outcome


class Failure(Exception):
    """A predicted exception: its type and exact text."""

    def __init__(self, kind, text):
        super().__init__(kind, text)
        self.kind, self.text = kind, text


def display(name):
    return f"{name}()"


def name_list(names):
    quoted = [f"'{n}'" for n in names]
    if len(quoted) == 1:
        return quoted[0]
    if len(quoted) == 2:
        return f"{quoted[0]} and {quoted[1]}"
    return ", ".join(quoted[:-1]) + ", and " + quoted[-1]


def lossy(text):
    return text.encode("utf-8", "surrogatepass").decode("utf-8", "replace")


def match(name, positional, keywords):
    """Slots filled by argument matching, or Failure (always a TypeError)."""
    params = [p for p, _ in SIGNATURES[name]]
    count, n = len(params), len(positional)
    required = REQUIRED.get(name, count)
    if n > count:
        takes = f"from {required} to {count}" if required < count else f"{count}"
        raise Failure(TypeError, f"{display(name)} takes {takes} positional arguments but {n} "
                                 f"{'was' if n == 1 else 'were'} given")
    slots = dict(zip(params, positional))
    for keyword, value in keywords:
        if keyword not in params:  # an undecodable name matches nothing either
            raise Failure(TypeError, f"{display(name)} got an unexpected keyword argument '{lossy(keyword)}'")
        if keyword in slots:
            raise Failure(TypeError, f"{display(name)} got multiple values for argument '{keyword}'")
        slots[keyword] = value
    missing = [p for p in params[:required] if p not in slots]
    if missing:
        plural = "argument" if len(missing) == 1 else "arguments"
        raise Failure(TypeError, f"{display(name)} missing {len(missing)} required positional {plural}: "
                                 f"{name_list(missing)}")
    return slots


def interpreter_float(value):
    """PyFloat_AsDouble by the interpreter's own hands, or the exception it raises."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return array.array("d", [value])[0]


def exception_text(error):
    try:
        return str(error)
    except Exception:
        return f"<unprintable {type(error).__name__} object>"


def as_float(value, parameter):
    try:
        return interpreter_float(value)
    except BaseException as error:
        if type(error) is TypeError:
            raise Failure(TypeError, f"argument '{parameter}': {exception_text(error)}") from None
        raise Failure(type(error), exception_text(error)) from None


def type_qualname(value):
    qualname = getattr(type(value), "__qualname__", None)
    return qualname if isinstance(qualname, str) else "<failed to extract type name>"


def as_sequence(recipe, value, parameter):
    if isinstance(value, str):
        raise Failure(TypeError, f"argument '{parameter}': Can't extract `str` to `Vec`")
    if recipe[0] not in SEQUENCES:
        raise Failure(TypeError, f"argument '{parameter}': '{type_qualname(value)}' object cannot be converted "
                                 "to 'Sequence'")
    return iterated_floats(value, parameter)


def iterated_floats(value, parameter):
    try:
        iterator = iter(value)
    except BaseException as error:
        raise Failure(*prefixed(error, parameter)) from None
    result = []
    while True:
        try:
            item = next(iterator)
        except StopIteration:
            return result
        except BaseException as error:
            raise Failure(*prefixed(error, parameter)) from None
        result.append(as_float(item, parameter))


def prefixed(error, parameter):
    if type(error) is TypeError:
        return TypeError, f"argument '{parameter}': {exception_text(error)}"
    return type(error), exception_text(error)


def length_message(left, right):
    return f"assertion `left == right` failed\n  left: {left}\n right: {right}"


def predict(name, positional, keywords):
    """(("model", length or None for a float), the converted values) when
    the model is reached, else (("error", type, text), None). A panic coming
    back from an item's __float__ is predicted by the same rules: it is the
    exception that the interpreter's float conversion raises."""
    try:
        slots = match(name, positional, keywords)
        if name in REQUIRED:
            return predict_limb_darkened(name, slots)
        converted = {}
        for parameter, kind in SIGNATURES[name]:
            value = build(slots[parameter])
            if kind == "f":
                converted[parameter] = as_float(value, parameter)
            else:
                converted[parameter] = as_sequence(slots[parameter], value, parameter)
        if name in TABLE_FUNCTIONS and len(converted["bl"]) != len(converted["bf"]):
            raise Failure(PANIC_EXCEPTION, length_message(len(converted["bl"]), len(converted["bf"])))
        return ("model", None if name == "heyrovsky_magnification" else len(converted["l"])), converted
    except Failure as failure:
        return ("error", failure.kind, failure.text), None


def _panic_exception():
    try:
        magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0], [])
    except BaseException as error:
        return type(error)


PANIC_EXCEPTION = _panic_exception()

# ---------------------------------------------------------------------------
# The limb-darkened functions' rules

is_sequence = ctypes.pythonapi.PySequence_Check
is_sequence.argtypes = [ctypes.py_object]
NUMERIC_FORMATS = "dfbBhHiIlLqQe?"


# A type's tp_name follows the object header and the size of a variable object.
TP_NAME = object.__basicsize__ + ctypes.sizeof(ctypes.c_ssize_t)


def type_name(value):
    """The name the interpreter's messages give a type (tp_name): "int",
    "numpy.float64", "array.array", "FloatLike"."""
    return ctypes.c_char_p.from_address(id(type(value)) + TP_NAME).value.decode()


assert [type_name(value) for value in (1, np.float64(1.0), array.array("d"))] == ["int", "numpy.float64", "array.array"]


def numeric_buffer(value):
    """The float64 values of a buffer of numbers (either byte order), in its
    shape, or None (a type that iterates by its own __getitem__ is not read
    through its buffer)."""
    if isinstance(value, ArrayGetitem):
        return None
    try:
        view = memoryview(value)
    except Exception:
        return None
    code = view.format[1:] if len(view.format) == 2 and view.format[0] in "@=<>!" else view.format
    if len(code) != 1 or code not in NUMERIC_FORMATS or struct.calcsize(code) != view.itemsize:
        return None
    return np.array(view).astype(np.float64)


def as_points(value, parameter):
    """(values, scalar) of u, t or a row of a band table."""
    if isinstance(value, (str, bytes)):
        raise Failure(TypeError, f"argument '{parameter}': must be a number or a 1-D sequence of numbers, "
                                 f"not {type_name(value)}")
    array = numeric_buffer(value)
    if array is not None:
        if array.ndim > 1:
            raise Failure(ValueError, f"argument '{parameter}': must be a number or a 1-D sequence, "
                                      f"not a {array.ndim}-D array")
        return array.ravel().tolist(), array.ndim == 0
    if is_sequence(value):
        return iterated_floats(value, parameter), False
    return [as_float(value, parameter)], True


def raw(function, *args):
    """function(*args), its exception taken as it is."""
    try:
        return function(*args)
    except BaseException as error:
        raise Failure(type(error), exception_text(error)) from None


def as_coefficients(value):
    """(rows, banded, columns)."""
    if isinstance(value, (str, bytes)):
        raise Failure(TypeError, f"argument 'coefficients': must be a sequence of numbers, not {type_name(value)}")
    array = numeric_buffer(value)
    if array is not None:
        if array.ndim > 2:
            raise Failure(ValueError, "argument 'coefficients': must be one row or one row per band, "
                                      f"not a {array.ndim}-D array")
        if array.ndim == 2:
            return array.tolist(), True, array.shape[1]
        return [array.ravel().tolist()], False, array.size
    if not is_sequence(value):
        return [[as_float(value, "coefficients")]], False, 1
    # Iterated, as u is: its items first.
    try:
        items = list(value)
    except BaseException as error:
        raise Failure(*prefixed(error, "coefficients")) from None
    if not items or isinstance(items[0], (str, bytes)) or not is_sequence(items[0]):
        row = iterated_floats(items, "coefficients")
        return [row], False, len(row)
    rows = []
    for item in items:
        row, scalar = as_points(item, "coefficients")
        if scalar or len(row) != len((rows or [row])[0]):
            raise Failure(ValueError, "argument 'coefficients': the rows of a band table must be equally long "
                                      "sequences")
        rows.append(row)
    return rows, True, len(rows[0])


def _exponential_flux():
    """2 pi times the integral of mu/(1 - e^mu) over [0, 1] (a smooth integrand)."""
    nodes, weights = np.polynomial.legendre.leggauss(30)
    mu = (nodes + 1.0) / 2.0
    return float(np.pi * np.sum(weights * mu / (1.0 - np.exp(mu))))


EXPONENTIAL_FLUX = _exponential_flux()


def power(g):
    return 2.0 * math.pi / (g + 2.0)


# Each law's terms (weight, flux of its basis) as the module expands it: the
# flux 2 pi int b(mu) mu dmu of mu^g is 2 pi/(g + 2), of mu ln mu -2 pi/9.
FLUX_TERMS = {
    "uniform": lambda c: [(1.0, power(0.0))],
    "linear": lambda c: [(1.0 - c[0], power(0.0)), (c[0], power(1.0))],
    "quadratic": lambda c: [((1.0 - c[0]) - c[1], power(0.0)), (c[0] + 2.0 * c[1], power(1.0)), (-c[1], power(2.0))],
    "squareroot": lambda c: [((1.0 - c[0]) - c[1], power(0.0)), (c[0], power(1.0)), (c[1], power(0.5))],
    "logarithmic": lambda c: [(1.0 - c[0], power(0.0)), (c[0], power(1.0)), (-c[1], -2.0 * math.pi / 9.0)],
    "exponential": lambda c: [(1.0 - c[0], power(0.0)), (c[0], power(1.0)), (-c[1], EXPONENTIAL_FLUX)],
    "power2": lambda c: [(1.0 - c[0], power(0.0)), (c[0], power(c[1]))],
    "nonlinear": lambda c: [((((1.0 - c[0]) - c[1]) - c[2]) - c[3], power(0.0))] +
                           [(weight, power(0.5 * (k + 1))) for k, weight in enumerate(c)],
}


def repr_row(row):
    return "(" + ", ".join(map(repr, row)) + (",)" if len(row) == 1 else ")")


def coefficient_outcomes(law, rows, banded):
    """The refusals of the coefficients that may come, and whether a result
    may: a flux within rounding of 0 could go either way, and only the call
    on the plain values decides."""
    def refused(band, text):  # the band, if any, where the text has {where}
        return ValueError, "argument 'coefficients': " + text.format(where=f" (band {band})" if banded else "")

    for band, row in enumerate(rows):
        if not all(map(math.isfinite, row)):
            raise Failure(*refused(band, f"must be finite, not {repr_row(row)}{{where}}"))
        if law == "power2" and not row[1] > 0.0:
            raise Failure(*refused(band, f"power2 needs alpha > 0, not {row[1]!r}{{where}}"))
    possible = []
    for band, row in enumerate(rows):
        terms = [weight * flux for weight, flux in FLUX_TERMS[law](row)]
        total, scale = sum(terms), sum(map(abs, terms))
        undecided = not math.isfinite(scale) or abs(total) <= 1e-9 * scale
        if undecided or total < 0.0:
            possible.append(("error",) + refused(band, f"law '{law}' with coefficients {repr_row(row)}{{where}} has "
                                                       "a total flux <= 0; the brightness must integrate to a positive "
                                                       "flux"))
            if not undecided:
                return possible, False
    return possible, True


Model = collections.namedtuple("Model", "shape width gradient banded nans modest_inputs refusals result_possible")


def modest(x):
    """Whether a length or time is far from overflow and from underflow when
    squared. (Reported: beyond, NaN comes from finite values, as in
    magnification(0.0, 1e-8, 'linear', [-1e300]) or the Jacobian of
    light_curve(0.0, 0.0, 1e-100, 1e-300, 0.1, gradient=True).)"""
    return not math.isfinite(x) or x == 0.0 or 1e-150 <= abs(x) <= 1e150


def predict_limb_darkened(name, slots):
    """(("limb", Model: what a result must be like, or the refusals that
    may come instead), the converted values for a plain call)."""
    params = SIGNATURES[name]
    first = params[0][0]
    points, scalar = as_points(build(slots[first]), first)
    numbers = {param: as_float(build(slots[param]), param) for param, kind in params if kind == "f"}
    law = build(slots["law"]) if "law" in slots else "linear"
    if not isinstance(law, str):
        raise Failure(TypeError, f"argument 'law': must be str, not {type_name(law)}")
    if law not in LAWS:
        raise Failure(ValueError, f"argument 'law': unknown law '{lossy(law)}'; the laws are "
                                  f"{', '.join(list(LAWS)[:-1])} and {list(LAWS)[-1]}")
    law, k = str(law), len(LAWS[law])
    takes = f"argument 'coefficients': law '{law}' takes " + (
        "no coefficients" if k == 0 else f"{k} coefficient{'s' if k > 1 else ''} ({', '.join(LAWS[law])})")
    given = build(slots["coefficients"]) if "coefficients" in slots else None
    if given is None:
        if law not in DEFAULT_COEFFICIENTS:
            raise Failure(ValueError, f"{takes}; none were given")
        rows, banded, columns = [DEFAULT_COEFFICIENTS[law]], False, k
    else:
        rows, banded, columns = as_coefficients(given)
        if columns != k:
            raise Failure(ValueError, f"{takes}, not {columns}")
    gradient = False
    if "gradient" in slots:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            gradient = raw(bool, build(slots["gradient"]))

    if name == "magnification":
        negative = next((u for u in points if u < 0.0), None)
        if negative is not None:
            raise Failure(ValueError, f"argument 'u': must be >= 0, not {negative!r}")
    else:
        for param in ("t0", "u0"):
            if not math.isfinite(numbers[param]):
                raise Failure(ValueError, f"argument '{param}': must be finite, not {numbers[param]!r}")
        if not (math.isfinite(numbers["tE"]) and numbers["tE"] > 0.0):
            raise Failure(ValueError, f"argument 'tE': must be finite and > 0, not {numbers['tE']!r}")
    if not (math.isfinite(numbers["rho"]) and numbers["rho"] >= 0.0):
        raise Failure(ValueError, f"argument 'rho': must be finite and >= 0, not {numbers['rho']!r}")
    refusals, result_possible = coefficient_outcomes(law, rows, banded)

    n, bands = len(points), len(rows)
    shape = None if scalar and not banded else (bands,) if scalar else (bands, n) if banded else (n,)
    width = (2 if name == "magnification" else 4) + k
    plain = rows if banded and rows else np.zeros((0, columns)) if banded else rows[0]
    converted = {first: points[0] if scalar else points, **numbers, "law": law,
                 "coefficients": None if given is None else plain, "gradient": gradient}
    modest_inputs = all(map(modest, points + list(numbers.values()))) and all(abs(c) <= 1e6 for r in rows for c in r)
    return ("limb", Model(shape, width, gradient, banded, [math.isnan(point) for point in points], modest_inputs,
                          refusals, result_possible)), converted


# ---------------------------------------------------------------------------
# One call and its checks


def watched_objects(positional, keywords):
    """The arguments and the items of argument lists, less the objects the
    interpreter shares (small ints, True, None, interned text, ...), whose
    counts move with anything the interpreter does."""
    objects = [*positional, *(value for _, value in keywords)]
    objects += [item for value in list(objects) if type(value) in (list, tuple, ListSubclass) for item in value]
    return counted(objects)


# For the test of the crash report: abort the process at this call (1-based).
ABORT_AT = int(os.environ.get("MAGNIFEX_FUZZ_ABORT_AT", "0"))
calls_made = 0


def perform(name, positional_recipes, keyword_recipes, log):
    global calls_made
    log.seek(0)
    log.write(f"{name}{positional_recipes!r} {keyword_recipes!r}\n")
    log.truncate()
    log.flush()
    calls_made += 1
    if calls_made == ABORT_AT:
        os.abort()

    expected, converted = predict(name, positional_recipes, keyword_recipes)
    positional = [build(recipe) for recipe in positional_recipes]
    keywords = {keyword: build(recipe) for keyword, recipe in keyword_recipes}
    objects = watched_objects(positional, list(keywords.items()))
    function = getattr(magnifex, name)
    # garbage cycles the call leaves (an exception, its traceback and the
    # frames of a user's __float__) are collected before counting
    gc.collect(0)
    before = [sys.getrefcount(o) for o in objects]
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            result = function(*positional, **keywords)
        outcome = ("result", result)
    except BaseException as error:
        outcome = ("error", type(error), str(error))
        del error
    gc.collect(0)
    after = [sys.getrefcount(o) for o in objects]
    assert after == before, f"reference counts changed: {before} -> {after}"

    if expected[0] == "error":
        assert outcome == expected, f"expected {expected}, got {outcome}"
        return
    # The model was reached: its verdict on the converted values is the one
    # it gives for the same values as plain floats (so conversion read the
    # values the prediction read), bit for bit or message for message.
    try:
        plain = ("result", function(**converted))
    except BaseException as error:
        plain = ("error", type(error), str(error))
        del error
    if expected[0] == "limb":
        check_limb_darkened(function, converted, outcome, plain, expected[1])
        return
    if outcome[0] == "error":
        # a numeric failure of the model, with its fixed message
        assert outcome[1] is RuntimeError and MODEL_FAILURE.match(outcome[2]), f"unexpected {outcome}"
        assert outcome == plain, f"got {outcome}, from plain floats {plain}"
        return
    result = outcome[1]
    assert plain[0] == "result", f"got {outcome}, from plain floats {plain}"
    if expected[1] is None:
        assert type(result) is float
        assert sys.getrefcount(result) == 3  # `result`, outcome and the argument
        assert struct.pack("d", result) == struct.pack("d", plain[1])
    else:
        assert type(result) is list and len(result) == expected[1]
        assert all(type(item) is float for item in result)
        assert sys.getrefcount(result) == 3
        counts = [sys.getrefcount(result[i]) for i in range(len(result))]  # the list's and the argument's
        assert counts == [2] * len(result), f"result items over-referenced: {counts}"
        assert struct.pack(f"{len(result)}d", *result) == struct.pack(f"{len(plain[1])}d", *plain[1])


def check_limb_darkened(function, converted, outcome, plain, model):
    if outcome[0] == "error" or not model.result_possible:
        assert outcome in model.refusals and outcome == plain, \
            f"got {outcome}, from plain values {plain}; may be {model.refusals}"
        return
    assert plain[0] == "result", f"got {outcome}, from plain values {plain}"
    result, plain = outcome[1], plain[1]
    assert sys.getrefcount(result) == 4  # `result` here and in perform(), outcome and the argument
    if model.gradient:
        assert type(result) is tuple and len(result) == 2, f"got {result!r}"
        assert [sys.getrefcount(result[0]), sys.getrefcount(result[1])] == [2, 2]  # the tuple's and the argument's
        values, jacobian = result
        check_array(jacobian, plain[1], (model.shape or ()) + (model.width,))
        check_array(values, plain[0], model.shape)
        alone = function(**dict(converted, gradient=False))
        assert bits(values) == bits(alone), f"the value {values!r} depends on the gradient: {alone!r} without"
    else:
        values, jacobian = result, None
        check_array(values, plain, model.shape)
    if model.banded:  # each band is the call with its row alone
        for band, row in enumerate(converted["coefficients"]):
            alone = function(**dict(converted, coefficients=row))
            assert (bits(values[band]), bits(jacobian[band]) if model.gradient else None) == \
                ((bits(alone[0]), bits(alone[1])) if model.gradient else (bits(alone), None)), f"band {band} alone"
    # NaN points give NaN everywhere; every other point a value that is not
    # NaN where the inputs are modest
    if model.nans:
        nans = np.array(model.nans)
        values = np.reshape(values, (-1, len(nans)))
        assert np.isnan(values[:, nans]).all(), f"not NaN where the points {model.nans} are: {values}"
        if model.gradient:
            jacobian = np.reshape(jacobian, (-1, len(nans), model.width))
            assert np.isnan(jacobian[:, nans]).all(), f"not NaN where the points {model.nans} are: {jacobian}"
        if model.modest_inputs:
            assert not np.isnan(values[:, ~nans]).any(), f"NaN where the points {model.nans} are not: {values}"
            assert not model.gradient or not np.isnan(jacobian[:, ~nans]).any(), \
                f"NaN where the points {model.nans} are not: {jacobian}"


def bits(value):
    return struct.pack("d", value) if type(value) is float else value.tobytes()


def check_array(value, plain_value, shape):
    """A float for no shape, else a new float64 array of that shape; the plain call's bits."""
    if shape is None:
        assert type(value) is float, f"got {value!r}"
    else:
        assert type(value) is np.ndarray and value.dtype == np.float64 and value.shape == shape, \
            f"got {value!r}, not of shape {shape}"
        assert value.flags.c_contiguous and value.flags.owndata and value.flags.writeable
    assert bits(value) == bits(plain_value), f"got {value!r}, from plain values {plain_value!r}"


CALLS_PER_EXAMPLE = 4  # spreads hypothesis's fixed cost of an example over several calls


def run_batch(batch_seed, calls_wanted, log_path):
    examples = -(-calls_wanted // CALLS_PER_EXAMPLE)
    with open(log_path, "w") as log:
        @seed(batch_seed)
        @settings(max_examples=examples, database=None, deadline=None, derandomize=False,
                  suppress_health_check=list(HealthCheck), print_blob=False,
                  phases=[Phase.explicit, Phase.generate])  # the first failing input, unshrunk
        @given(st.lists(calls(), min_size=CALLS_PER_EXAMPLE, max_size=CALLS_PER_EXAMPLE))
        def batch(generated):
            for call in generated:
                perform(*call, log)

        batch()
    return examples * CALLS_PER_EXAMPLE


if __name__ == "__main__":
    made = run_batch(int(sys.argv[1]), int(sys.argv[2]), sys.argv[3])
    print(f"batch {sys.argv[1]}: {made} calls")
