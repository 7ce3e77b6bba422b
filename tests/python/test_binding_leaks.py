"""No call, good or bad, leaks a reference or an object."""

import gc
import sys

import pytest

import magnifex

ROUNDS = 3000
PANIC_ROUNDS = 300  # each panic writes a report to stderr


class FloatLike:
    def __float__(self):
        return 0.5


class Raises:
    """__float__ raises a new exception of the given type each time (one
    instance raised again and again would grow its own traceback chain)."""

    def __init__(self, error_type):
        self.error_type = error_type

    def __float__(self):
        raise self.error_type("bad")


class Chained:
    def __float__(self):
        raise TypeError("inner") from ValueError("cause")


class LyingLength:
    def __len__(self):
        return 10**18

    def __getitem__(self, index):
        if index < 3:
            return 0.5 + index
        raise IndexError(index)


class RaisingLength(LyingLength):
    def __len__(self):
        raise RuntimeError("no length")


class BadIteration:
    def __getitem__(self, index):
        if index == 2:
            raise KeyError("stop")
        return 1.0


def generator():
    yield 1.0


# Argument objects are created once, so their reference counts can be watched.
L = [0.5, 2.0, 3.0]
RE = 1.0
RSTAR = 0.1
BL = [0.0, 0.5, 1.0]
BF = [1.0, 0.8, 0.4]
SHORT = [1.0, 0.8]
BAD = {
    "str": "0.5",
    "float-for-seq": 0.5,
    "set": {0.5},
    "dict": {0.5: 1},
    "generator": generator(),
    "none-item": [0.5, None],
    "str-item": [0.5, "x"],
    "bytes": bytes([1, 2]),
    "range": range(1, 3),
    "tuple": (0.5, 2),
    "float-like-item": [FloatLike()],
    "lying-length": LyingLength(),
    "raising-length": RaisingLength(),
    "bad-iteration": BadIteration(),
    "value-error": Raises(ValueError),
    "type-error": Raises(TypeError),
    "chained": Chained(),
    "overflow": 10**400,
    "negative": [-1.0],
}

CALLS = {
    "witt_mao good": (magnifex.witt_mao_magnification, (L, RE, RSTAR), {}),
    "witt_mao keywords": (magnifex.witt_mao_magnification, (), {"rstar": RSTAR, "l": L, "re": RE}),
    "witt_mao empty": (magnifex.witt_mao_magnification, ([], RE, RSTAR), {}),
    "integrated_witt_mao good": (magnifex.integrated_witt_mao_magnification, (L, RE, RSTAR), {}),
    "integrated_heyrovsky good": (magnifex.integrated_heyrovsky_magnification, (L, RE, RSTAR), {}),
    "heyrovsky good": (magnifex.heyrovsky_magnification, (0.5, 0.3, RE, RSTAR), {}),
    "flux_map_witt_mao good": (magnifex.integrated_flux_map_witt_mao_magnification, (L, RE, RSTAR, BL, BF), {}),
    "flux_map_heyrovsky good": (magnifex.integrated_flux_map_heyrovsky_magnification, (L, RE, RSTAR, BL, BF), {}),
    "discrete good": (magnifex.discrete_flux_map_heyrovsky_magnification, (L, RE, RSTAR, BL, BF), {}),
    "too many": (magnifex.witt_mao_magnification, (L, RE, RSTAR, RE), {}),
    "multiple values": (magnifex.witt_mao_magnification, (L, RE, RSTAR), {"re": RE}),
    "unexpected keyword": (magnifex.heyrovsky_magnification, (RE, RE, RE, RE), {"x": RE}),
    "undecodable keyword": (magnifex.heyrovsky_magnification, (RE, RE, RE, RE), {"\udcff": RE}),
    "missing": (magnifex.integrated_flux_map_heyrovsky_magnification, (L,), {"bf": BF}),
    "runtime error": (magnifex.witt_mao_magnification, (BAD["negative"], RE, RSTAR), {}),
    "heyrovsky runtime error": (magnifex.heyrovsky_magnification, (-1.0, 0.3, RE, RSTAR), {}),
}
for label, value in BAD.items():
    CALLS[f"l={label}"] = (magnifex.witt_mao_magnification, (value, RE, RSTAR), {})
    CALLS[f"re={label}"] = (magnifex.witt_mao_magnification, (L, value, RSTAR), {})
    CALLS[f"bf={label}"] = (magnifex.discrete_flux_map_heyrovsky_magnification, (L, RE, RSTAR, BL, value), {})

PANICS = {
    "unequal table": (magnifex.discrete_flux_map_heyrovsky_magnification, (L, RE, RSTAR, BL, SHORT), {}),
    "unequal table keywords": (
        magnifex.integrated_flux_map_witt_mao_magnification, (), {"l": L, "re": RE, "rstar": RSTAR, "bl": BL, "bf": SHORT}),
}


def call(function, args, kwargs):
    try:
        function(*args, **kwargs)
    except BaseException:  # every kind of failure, panics included
        pass


def watched(args, kwargs):
    return [*args, *kwargs.values(), *[v for v in kwargs.keys()]]


def measure(function, args, kwargs, rounds):
    objects = watched(args, kwargs)
    for _ in range(50):  # warm up caches, interned names, the PanicException class
        call(function, args, kwargs)
    gc.collect()
    counts = [sys.getrefcount(o) for o in objects]
    live = len(gc.get_objects())
    blocks = sys.getallocatedblocks()
    for _ in range(rounds):
        call(function, args, kwargs)
    gc.collect()
    after = [sys.getrefcount(o) for o in objects]
    return (
        [a - c for a, c in zip(after, counts)],
        len(gc.get_objects()) - live,
        sys.getallocatedblocks() - blocks,
    )


def check(function, args, kwargs, rounds):
    refcounts, live, blocks = measure(function, args, kwargs, rounds)
    assert refcounts == [0] * len(refcounts)
    assert live <= 5
    # a constant few blocks are caches warming up; a leak of one block per
    # call would show as hundreds or thousands
    assert blocks < 100


@pytest.mark.parametrize("label", list(CALLS))
def test_no_leaks(label):
    check(*CALLS[label], ROUNDS)


@pytest.mark.parametrize("label", list(PANICS))
def test_no_leaks_on_panic(label):
    check(*PANICS[label], PANIC_ROUNDS)


def test_no_leaks_when_a_panic_comes_back(capfd):
    def nested_panic():
        magnifex.discrete_flux_map_heyrovsky_magnification(L, RE, RSTAR, BL, SHORT)

    class PanicsInFloat:
        def __float__(self):
            nested_panic()

    value = PanicsInFloat()
    check(magnifex.witt_mao_magnification, (L, value, RSTAR), {}, PANIC_ROUNDS)
    capfd.readouterr()


def test_result_objects_are_not_over_referenced():
    result = magnifex.witt_mao_magnification(L, RE, RSTAR)
    list_count = sys.getrefcount(result)
    assert list_count == 2  # the local name and the call's argument
    assert len(result) == len(L)
    # (counted outside assert statements, whose rewriting keeps extra references)
    item_counts = [sys.getrefcount(result[index]) for index in range(len(result))]
    assert item_counts == [2] * len(L)  # the list and the call's argument
    value = magnifex.heyrovsky_magnification(0.5, 0.3, RE, RSTAR)
    value_count = sys.getrefcount(value)
    assert value_count == 2
