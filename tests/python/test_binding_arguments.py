"""Argument matching: which calls are refused, in which order, with which text."""

import pytest

import magnifex

DISK = ("witt_mao_magnification", "integrated_witt_mao_magnification", "integrated_heyrovsky_magnification")
TABLE = (
    "integrated_flux_map_witt_mao_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
)
RING = ("heyrovsky_magnification",)

PARAMETERS = {
    **{name: ("l", "re", "rstar") for name in DISK},
    **{name: ("l", "re", "rstar", "bl", "bf") for name in TABLE},
    "heyrovsky_magnification": ("l", "r", "re", "rstar"),
}

# Valid values for every parameter of every function.
GOOD = {
    **{name: ([2.0], 1.0, 0.1) for name in DISK},
    **{name: ([2.0], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.4]) for name in TABLE},
    "heyrovsky_magnification": (0.5, 0.3, 1.0, 0.1),
}

ALL = sorted(PARAMETERS)


def raised(function_name, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        getattr(magnifex, function_name)(*args, **kwargs)
    return info.value


def type_error_text(function_name, *args, **kwargs):
    error = raised(function_name, *args, **kwargs)
    assert type(error) is TypeError, repr(error)
    assert error.args == (str(error),)
    return str(error)


# (function, positional args, keyword args, exact message)
MESSAGES = [
    # too many positional arguments
    ("witt_mao_magnification", (1.0, 2.0, 3.0, 4.0), {},
     "witt_mao_magnification() takes 3 positional arguments but 4 were given"),
    ("witt_mao_magnification", (1.0,) * 7, {},
     "witt_mao_magnification() takes 3 positional arguments but 7 were given"),
    ("heyrovsky_magnification", (1.0,) * 5, {},
     "heyrovsky_magnification() takes 4 positional arguments but 5 were given"),
    ("discrete_flux_map_heyrovsky_magnification", (1.0,) * 6, {},
     "discrete_flux_map_heyrovsky_magnification() takes 5 positional arguments but 6 were given"),
    # too many positional arguments wins over an unknown or repeated keyword
    ("witt_mao_magnification", (1.0, 2.0, 3.0, 4.0), {"x": 1},
     "witt_mao_magnification() takes 3 positional arguments but 4 were given"),
    ("integrated_witt_mao_magnification", (1.0,) * 4, {"l": 1},
     "integrated_witt_mao_magnification() takes 3 positional arguments but 4 were given"),
    # a keyword for a parameter already filled
    ("witt_mao_magnification", (1.0, 2.0, 3.0), {"l": 4.0},
     "witt_mao_magnification() got multiple values for argument 'l'"),
    ("witt_mao_magnification", (1.0, 2.0), {"re": 4.0},
     "witt_mao_magnification() got multiple values for argument 're'"),
    ("heyrovsky_magnification", (1.0, 2.0), {"rstar": 1.0, "r": 4.0},
     "heyrovsky_magnification() got multiple values for argument 'r'"),
    ("integrated_flux_map_heyrovsky_magnification", ([1.0],), {"bf": [1.0], "l": [2.0]},
     "integrated_flux_map_heyrovsky_magnification() got multiple values for argument 'l'"),
    # keywords are examined in call order: the first problem decides
    ("witt_mao_magnification", (1.0, 2.0, 3.0), {"l": 4.0, "x": 1},
     "witt_mao_magnification() got multiple values for argument 'l'"),
    ("witt_mao_magnification", (1.0, 2.0, 3.0), {"x": 1, "l": 4.0},
     "witt_mao_magnification() got an unexpected keyword argument 'x'"),
    ("witt_mao_magnification", (), {"y": 1, "x": 2},
     "witt_mao_magnification() got an unexpected keyword argument 'y'"),
    # unknown keywords: matching is exact and case-sensitive
    ("witt_mao_magnification", (1.0, 2.0, 3.0), {"x": 1},
     "witt_mao_magnification() got an unexpected keyword argument 'x'"),
    ("witt_mao_magnification", (), {"L": [1.0], "re": 1.0, "rstar": 1.0},
     "witt_mao_magnification() got an unexpected keyword argument 'L'"),
    ("witt_mao_magnification", ([1.0], 1.0), {"rStar": 1.0},
     "witt_mao_magnification() got an unexpected keyword argument 'rStar'"),
    ("heyrovsky_magnification", (1.0, 1.0, 1.0), {"rstar ": 1.0},
     "heyrovsky_magnification() got an unexpected keyword argument 'rstar '"),
    ("heyrovsky_magnification", (1.0, 1.0, 1.0), {"\u00e9": 1.0},
     "heyrovsky_magnification() got an unexpected keyword argument '\u00e9'"),
    # a keyword that is not valid UTF-8: shown with U+FFFD for each bad byte
    ("witt_mao_magnification", ([1.0], 1.0, 1.0), {"\udcff": 1.0},
     "witt_mao_magnification() got an unexpected keyword argument '\ufffd\ufffd\ufffd'"),
    ("witt_mao_magnification", ([1.0], 1.0, 1.0), {"a\ud800b": 1.0},
     "witt_mao_magnification() got an unexpected keyword argument 'a\ufffd\ufffd\ufffdb'"),
    # missing required arguments: all of them listed, in parameter order
    ("witt_mao_magnification", (1.0, 2.0), {},
     "witt_mao_magnification() missing 1 required positional argument: 'rstar'"),
    ("witt_mao_magnification", (), {},
     "witt_mao_magnification() missing 3 required positional arguments: 'l', 're', and 'rstar'"),
    ("witt_mao_magnification", (), {"re": 1.0},
     "witt_mao_magnification() missing 2 required positional arguments: 'l' and 'rstar'"),
    ("integrated_heyrovsky_magnification", (), {"rstar": 1.0},
     "integrated_heyrovsky_magnification() missing 2 required positional arguments: 'l' and 're'"),
    ("heyrovsky_magnification", (), {},
     "heyrovsky_magnification() missing 4 required positional arguments: 'l', 'r', 're', and 'rstar'"),
    ("heyrovsky_magnification", (1.0,), {"rstar": 1.0},
     "heyrovsky_magnification() missing 2 required positional arguments: 'r' and 're'"),
    ("integrated_flux_map_witt_mao_magnification", (), {},
     "integrated_flux_map_witt_mao_magnification() missing 5 required positional arguments: "
     "'l', 're', 'rstar', 'bl', and 'bf'"),
    ("integrated_flux_map_witt_mao_magnification", (), {"bf": [1.0]},
     "integrated_flux_map_witt_mao_magnification() missing 4 required positional arguments: "
     "'l', 're', 'rstar', and 'bl'"),
    ("discrete_flux_map_heyrovsky_magnification", (), {"l": [1.0], "re": 1.0},
     "discrete_flux_map_heyrovsky_magnification() missing 3 required positional arguments: "
     "'rstar', 'bl', and 'bf'"),
    ("integrated_flux_map_heyrovsky_magnification", ([1.0], 1.0, 1.0), {},
     "integrated_flux_map_heyrovsky_magnification() missing 2 required positional arguments: 'bl' and 'bf'"),
    ("integrated_flux_map_heyrovsky_magnification", ([1.0], 1.0, 1.0), {"bf": [1.0]},
     "integrated_flux_map_heyrovsky_magnification() missing 1 required positional argument: 'bl'"),
    # matching comes before conversion: wrong values do not matter yet
    ("witt_mao_magnification", ("not a sequence", None), {},
     "witt_mao_magnification() missing 1 required positional argument: 'rstar'"),
    ("witt_mao_magnification", (None, None, None), {"bogus": None},
     "witt_mao_magnification() got an unexpected keyword argument 'bogus'"),
]


@pytest.mark.parametrize(
    "function_name, args, kwargs, message",
    MESSAGES,
    ids=[f"{case[0]}-{i}" for i, case in enumerate(MESSAGES)],
)
def test_matching_messages(function_name, args, kwargs, message):
    assert type_error_text(function_name, *args, **kwargs) == message


@pytest.mark.parametrize("function_name", ALL)
def test_too_many_positional_for_every_function(function_name):
    count = len(PARAMETERS[function_name])
    for given in (count + 1, count + 2):
        assert type_error_text(function_name, *GOOD[function_name], *([1.0] * (given - count))) == (
            f"{function_name}() takes {count} positional arguments but {given} were given"
        )


@pytest.mark.parametrize("function_name", ALL)
def test_every_parameter_reports_multiple_values(function_name):
    for name in PARAMETERS[function_name]:
        assert type_error_text(function_name, *GOOD[function_name], **{name: 1.0}) == (
            f"{function_name}() got multiple values for argument '{name}'"
        )


@pytest.mark.parametrize("function_name", ALL)
def test_every_single_missing_parameter_is_named(function_name):
    names = PARAMETERS[function_name]
    for index, name in enumerate(names):
        kwargs = {other: value for other, value in zip(names, GOOD[function_name]) if other != name}
        assert type_error_text(function_name, **kwargs) == (
            f"{function_name}() missing 1 required positional argument: '{name}'"
        )


@pytest.mark.parametrize("function_name", ALL)
def test_keywords_in_any_order_equal_positional(function_name):
    names = PARAMETERS[function_name]
    values = GOOD[function_name]
    function = getattr(magnifex, function_name)
    expected = function(*values)
    assert function(**dict(reversed(list(zip(names, values))))) == expected
    # positional prefix, keyword rest
    assert function(*values[:2], **dict(zip(names[2:], values[2:]))) == expected


def test_conversion_stops_at_first_bad_argument_and_model_is_not_called():
    # 're' is refused before 'rstar' is looked at, and the unequal table
    # lengths (a panic inside the model) are never reached.
    assert type_error_text(
        "discrete_flux_map_heyrovsky_magnification", [1.0], "a", object(), [0.0, 1.0], [1.0]
    ).startswith("argument 're': ")
    assert type_error_text(
        "discrete_flux_map_heyrovsky_magnification", [1.0], 1.0, 1.0, [0.0, 1.0], "ab"
    ) == "argument 'bf': Can't extract `str` to `Vec`"
