"""PanicException: internal invariant failures raised to Python, and panics
that travel back through native code."""

import pytest

import magnifex
from conftest import length_message, panic, raised

TABLE_FUNCTIONS = ["integrated_flux_map_witt_mao_magnification", "integrated_flux_map_heyrovsky_magnification",
                   "discrete_flux_map_heyrovsky_magnification"]


@pytest.mark.parametrize("function_name", TABLE_FUNCTIONS)
@pytest.mark.parametrize("bl, bf", [([0.0, 0.5, 1.0], [1.0, 0.5]), ([], [1.0]), ([0.5], [])])
def test_unequal_table_lengths_raise_panic_exception(function_name, bl, bf):
    error = raised(getattr(magnifex, function_name), [2.0], 1.0, 0.1, bl, bf)
    message = length_message(len(bl), len(bf))
    assert str(error) == message and error.args == (message,)
    assert isinstance(error, BaseException) and not isinstance(error, Exception)
    assert type(error).__name__ == type(error).__qualname__ == "PanicException"
    assert type(error).__module__ == "pyo3_runtime"
    assert type(error).__bases__ == (BaseException,)


def test_panic_exception_is_one_documented_class(capfd):
    first, second = raised(panic), raised(panic, 1, 2)
    assert type(first) is type(second) and first is not second
    intro, rest = type(first).__doc__[1:].split("\n\n")
    assert type(first).__doc__.startswith("\n") and "panic" in intro
    assert rest == ("Like SystemExit, this exception is derived from BaseException so that\n"
                    "it will typically propagate all the way through the stack and cause the\n"
                    "Python interpreter to exit.\n")
    err = capfd.readouterr().err
    # a report of each panic, and nothing else
    assert err.count("panicked at") == 2 and length_message(1, 2) in err
    assert "resuming a panic" not in err and "Traceback" not in err


NESTED = """
import magnifex
from conftest import panic, raised
inner = []

class PanicsInFloat:
    def __float__(self):
        try:
            panic(2, 1)
        except BaseException as error:
            inner.append(error)
            raise

outer = raised(lambda: {call})
print(type(outer) is type(inner[0]), outer is inner[0], outer.args == inner[0].args, repr(str(outer)))
print(magnifex.witt_mao_magnification([2.0], 1.0, 0.1) == magnifex.witt_mao_magnification([2.0], 1.0, 0.1))
"""


@pytest.mark.parametrize("call", ["magnifex.witt_mao_magnification([2.0], PanicsInFloat(), 0.1)",
                                  "magnifex.witt_mao_magnification([2.0, PanicsInFloat()], 1.0, 0.1)"])
def test_panic_coming_back_through_native_code(run_python, call):
    result = run_python(NESTED.format(call=call))
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [f"True False True {length_message(2, 1)!r}", "True"]
    # one panic report from the model, then the banner and the Python traceback
    err = result.stderr
    assert err.count("panicked at") == 1
    banner = err.index("--- ")
    lines = err[banner:].splitlines()
    assert lines[0].endswith(" ---") and "resuming a panic" in lines[0] and "PanicException" in lines[0]
    assert lines[1:3] == ["Python stack trace below:", "Traceback (most recent call last):"]
    assert "in __float__" in err[banner:]
    assert f"pyo3_runtime.PanicException: {length_message(2, 1)}" in err


def test_panic_exception_raised_in_python_is_resumed(run_python):
    result = run_python("""
        import magnifex
        from conftest import LyingLength, Raises, panic, raised
        PanicException = type(raised(panic))

        class Unprintable:
            def __str__(self):
                raise ValueError("no text")

        class PanicSubclass(PanicException):
            pass

        class PanickingLength(LyingLength):
            def __len__(self):
                panic()

        errors = [PanicException("from Python"), PanicException(Unprintable()), PanicSubclass("subclass")]
        for l, re in [([2.0], Raises(error)) for error in errors] + [(PanickingLength([1.0], 0), 1.0)]:
            outer = raised(magnifex.witt_mao_magnification, l, re, 0.1)
            print(type(outer).__name__, outer in errors, repr(str(outer)))
        """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "PanicException False 'from Python'",
        "PanicException False 'Unwrapped panic from Python code'",
        "PanicSubclass True 'subclass'",  # only the class itself is resumed; a subclass passes unchanged
        f"PanicException False {length_message(1, 0)!r}",
    ]
    assert result.stderr.count("Python stack trace below:") == 3
    assert "PanicSubclass" not in result.stderr
