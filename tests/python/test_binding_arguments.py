"""Argument matching: which calls are refused, in which order, with which text."""

import pytest

import magnifex
from conftest import raised

DISK = ("witt_mao_magnification", "integrated_witt_mao_magnification", "integrated_heyrovsky_magnification")
TABLE = ("integrated_flux_map_witt_mao_magnification", "integrated_flux_map_heyrovsky_magnification",
         "discrete_flux_map_heyrovsky_magnification")
# parameter names and valid values of every function
SIGNATURES = {
    **{name: (("l", "re", "rstar"), ([2.0], 1.0, 0.1)) for name in DISK},
    **{name: (("l", "re", "rstar", "bl", "bf"), ([2.0], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.4]))
       for name in TABLE},
    "heyrovsky_magnification": (("l", "r", "re", "rstar"), (0.5, 0.3, 1.0, 0.1)),
}


def type_error_text(function_name, *args, **kwargs):
    error = raised(getattr(magnifex, function_name), *args, **kwargs)
    assert type(error) is TypeError and error.args == (str(error),), repr(error)
    return str(error)


WM, FMW = "witt_mao_magnification", "integrated_flux_map_witt_mao_magnification"
MESSAGES = [  # (function, positional args, keyword args, exact message)
    (WM, (1.0, 2.0, 3.0, 4.0), {}, f"{WM}() takes 3 positional arguments but 4 were given"),
    # too many positional arguments wins over an unknown or repeated keyword
    (WM, (1.0, 2.0, 3.0, 4.0), {"x": 1}, f"{WM}() takes 3 positional arguments but 4 were given"),
    (DISK[1], (1.0,) * 4, {"l": 1}, f"{DISK[1]}() takes 3 positional arguments but 4 were given"),
    (WM, (1.0, 2.0, 3.0), {"l": 4.0}, f"{WM}() got multiple values for argument 'l'"),
    ("heyrovsky_magnification", (1.0, 2.0), {"rstar": 1.0, "r": 4.0},
     "heyrovsky_magnification() got multiple values for argument 'r'"),
    (TABLE[1], ([1.0],), {"bf": [1.0], "l": [2.0]}, f"{TABLE[1]}() got multiple values for argument 'l'"),
    # keywords are examined in call order: the first problem decides
    (WM, (1.0, 2.0, 3.0), {"l": 4.0, "x": 1}, f"{WM}() got multiple values for argument 'l'"),
    (WM, (1.0, 2.0, 3.0), {"x": 1, "l": 4.0}, f"{WM}() got an unexpected keyword argument 'x'"),
    (WM, (), {"y": 1, "x": 2}, f"{WM}() got an unexpected keyword argument 'y'"),
    # matching is exact and case-sensitive; names that are not valid UTF-8 show U+FFFD per bad byte
    (WM, (), {"L": [1.0], "re": 1.0, "rstar": 1.0}, f"{WM}() got an unexpected keyword argument 'L'"),
    (WM, ([1.0], 1.0), {"rstar ": 1.0}, f"{WM}() got an unexpected keyword argument 'rstar '"),
    (WM, ([1.0], 1.0, 1.0), {"\u00e9": 1.0}, f"{WM}() got an unexpected keyword argument '\u00e9'"),
    (WM, ([1.0], 1.0, 1.0), {"\udcff": 1.0}, f"{WM}() got an unexpected keyword argument '\ufffd\ufffd\ufffd'"),
    (WM, ([1.0], 1.0, 1.0), {"a\ud800b": 1.0},
     f"{WM}() got an unexpected keyword argument 'a\ufffd\ufffd\ufffdb'"),
    # missing arguments: all listed, in parameter order
    (WM, (1.0, 2.0), {}, f"{WM}() missing 1 required positional argument: 'rstar'"),
    (DISK[2], (), {"rstar": 1.0}, f"{DISK[2]}() missing 2 required positional arguments: 'l' and 're'"),
    (WM, (), {}, f"{WM}() missing 3 required positional arguments: 'l', 're', and 'rstar'"),
    (FMW, (), {"bf": [1.0]}, f"{FMW}() missing 4 required positional arguments: 'l', 're', 'rstar', and 'bl'"),
    (FMW, (), {}, f"{FMW}() missing 5 required positional arguments: 'l', 're', 'rstar', 'bl', and 'bf'"),
    # matching comes before conversion: wrong values do not matter yet
    (WM, ("not a sequence", None), {}, f"{WM}() missing 1 required positional argument: 'rstar'"),
    (WM, (None, None, None), {"bogus": None}, f"{WM}() got an unexpected keyword argument 'bogus'"),
]


@pytest.mark.parametrize("function_name, args, kwargs, message", MESSAGES)
def test_matching_messages(function_name, args, kwargs, message):
    assert type_error_text(function_name, *args, **kwargs) == message


@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_every_function_and_parameter(name):
    parameters, values = SIGNATURES[name]
    count = len(parameters)
    for given in (count + 1, count + 2):
        assert type_error_text(name, *values, *[1.0] * (given - count)) == (
            f"{name}() takes {count} positional arguments but {given} were given")
    for parameter in parameters:
        assert type_error_text(name, *values, **{parameter: 1.0}) == (
            f"{name}() got multiple values for argument '{parameter}'")
        others = {p: v for p, v in zip(parameters, values) if p != parameter}
        assert type_error_text(name, **others) == f"{name}() missing 1 required positional argument: '{parameter}'"
    # keywords in any order, or after a positional prefix, mean the same call
    function = getattr(magnifex, name)
    assert function(**dict(reversed(list(zip(parameters, values))))) == function(*values)
    assert function(*values[:2], **dict(zip(parameters[2:], values[2:]))) == function(*values)


def test_conversion_stops_at_first_bad_argument_and_model_is_not_called():
    # 're' is refused before 'rstar' is looked at, and the unequal table lengths are never reached
    assert type_error_text(TABLE[2], [1.0], "a", object(), [0.0, 1.0], [1.0]).startswith("argument 're': ")
    assert type_error_text(TABLE[2], [1.0], 1.0, 1.0, [0.0, 1.0], "ab") == (
        "argument 'bf': Can't extract `str` to `Vec`")
