"""Generated calls of the seven functions and the outcome each one must have.

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
import gc
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
# The module's functions: parameter names and kinds ("f" float, "s" sequence)

SIGNATURES = {
    "witt_mao_magnification": (("l", "s"), ("re", "f"), ("rstar", "f")),
    "integrated_witt_mao_magnification": (("l", "s"), ("re", "f"), ("rstar", "f")),
    "integrated_flux_map_witt_mao_magnification": (("l", "s"), ("re", "f"), ("rstar", "f"), ("bl", "s"), ("bf", "s")),
    "heyrovsky_magnification": (("l", "f"), ("r", "f"), ("re", "f"), ("rstar", "f")),
    "integrated_heyrovsky_magnification": (("l", "s"), ("re", "f"), ("rstar", "f")),
    "integrated_flux_map_heyrovsky_magnification": (("l", "s"), ("re", "f"), ("rstar", "f"), ("bl", "s"), ("bf", "s")),
    "discrete_flux_map_heyrovsky_magnification": (("l", "s"), ("re", "f"), ("rstar", "f"), ("bl", "s"), ("bf", "s")),
}
TABLE_FUNCTIONS = {name for name, params in SIGNATURES.items() if len(params) == 5}
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


FUNCTION_NAMES = st.sampled_from(sorted(SIGNATURES))
SPLITS = {count: st.integers(0, count) for count in (3, 4, 5)}
NAMES = {function: st.sampled_from([p for p, _ in params] + UNKNOWN_NAMES) for function, params in SIGNATURES.items()}
ANY_CALLS = {count: st.lists(ANY_VALUE, max_size=count + 2) for count in (3, 4, 5)}
KEYWORD_SETS = {function: st.lists(NAMES[function], max_size=4, unique=True) for function in SIGNATURES}


@st.composite
def calls(draw):
    """(function name, positional recipes, keyword (name, recipe) pairs)."""
    name = draw(FUNCTION_NAMES)
    params = SIGNATURES[name]
    if draw(st.integers(0, 9)) < 8:
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
    if n > count:
        raise Failure(TypeError, f"{display(name)} takes {count} positional arguments but {n} "
                                 f"{'was' if n == 1 else 'were'} given")
    slots = dict(zip(params, positional))
    for keyword, value in keywords:
        if keyword not in params:  # an undecodable name matches nothing either
            raise Failure(TypeError, f"{display(name)} got an unexpected keyword argument '{lossy(keyword)}'")
        if keyword in slots:
            raise Failure(TypeError, f"{display(name)} got multiple values for argument '{keyword}'")
        slots[keyword] = value
    missing = [p for p in params if p not in slots]
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
