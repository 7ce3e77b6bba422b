"""PanicException: internal invariant failures raised to Python, and panics
that travel back through native code."""

import pytest

import magnifex

TABLE_FUNCTIONS = [
    "integrated_flux_map_witt_mao_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]

SECOND_PARAGRAPH = (
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n"
)


def length_message(left, right):
    return f"assertion `left == right` failed\n  left: {left}\n right: {right}"


def panic_of(function_name, bl, bf):
    with pytest.raises(BaseException) as info:
        getattr(magnifex, function_name)([2.0], 1.0, 0.1, bl, bf)
    return info.value


@pytest.mark.parametrize("function_name", TABLE_FUNCTIONS)
@pytest.mark.parametrize("bl, bf", [([0.0, 0.5, 1.0], [1.0, 0.5]), ([], [1.0]), ([0.5], [])])
def test_unequal_table_lengths_raise_panic_exception(function_name, bl, bf):
    error = panic_of(function_name, bl, bf)
    message = length_message(len(bl), len(bf))
    assert str(error) == message
    assert error.args == (message,)
    assert isinstance(error, BaseException)
    assert not isinstance(error, Exception)
    assert type(error).__name__ == "PanicException"
    assert type(error).__module__ == "pyo3_runtime"
    assert type(error).__qualname__ == "PanicException"
    assert type(error).__bases__ == (BaseException,)


def test_panic_exception_is_one_class_for_the_process():
    first = panic_of("discrete_flux_map_heyrovsky_magnification", [0.0, 1.0], [1.0])
    second = panic_of("integrated_flux_map_witt_mao_magnification", [0.0], [1.0, 2.0])
    assert type(first) is type(second)
    assert first is not second


def test_panic_exception_docstring():
    doc = type(panic_of("discrete_flux_map_heyrovsky_magnification", [0.0], [])).__doc__
    assert doc.startswith("\n")
    first, second = doc[1:].split("\n\n")
    assert "panic" in first
    assert second == SECOND_PARAGRAPH


def test_except_exception_does_not_catch_it():
    with pytest.raises(BaseException) as info:
        try:
            magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0, 1.0], [1.0])
        except Exception:  # must not swallow a panic
            pytest.fail("PanicException was caught as an Exception")
    assert type(info.value).__name__ == "PanicException"


def test_panic_writes_a_report_and_nothing_else(run_python):
    result = run_python(
        """
        import magnifex
        try:
            magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0, 1.0, 2.0], [1.0, 2.0])
        except BaseException as error:
            print(type(error).__module__, type(error).__name__, repr(str(error)))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "pyo3_runtime PanicException 'assertion `left == right` failed\\n  left: 3\\n right: 2'\n"
    assert "panicked at" in result.stderr
    assert "assertion `left == right` failed\n  left: 3\n right: 2" in result.stderr
    assert "resuming a panic" not in result.stderr
    assert "Traceback" not in result.stderr


NESTED = """
import magnifex

inner = []

class PanicsInFloat:
    def __float__(self):
        try:
            return magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0, 1.0], [1.0])
        except BaseException as error:
            inner.append(error)
            raise

def outer_call():
    return {call}

try:
    outer_call()
except BaseException as outer:
    print(type(outer) is type(inner[0]), outer is inner[0])
    print(repr(str(outer)), repr(str(inner[0])), outer.args == inner[0].args)
print(magnifex.witt_mao_magnification([2.0], 1.0, 0.1) == magnifex.witt_mao_magnification([2.0], 1.0, 0.1))
"""


@pytest.mark.parametrize(
    "call",
    [
        "magnifex.witt_mao_magnification([2.0], PanicsInFloat(), 0.1)",
        "magnifex.witt_mao_magnification([2.0, PanicsInFloat()], 1.0, 0.1)",
        "magnifex.heyrovsky_magnification(0.5, 0.3, 1.0, rstar=PanicsInFloat())",
    ],
    ids=["float argument", "sequence item", "keyword argument"],
)
def test_panic_coming_back_through_native_code(run_python, call):
    result = run_python(NESTED.format(call=call))
    assert result.returncode == 0, result.stderr
    message = repr(length_message(2, 1))
    assert result.stdout.splitlines() == ["True False", f"{message} {message} True", "True"]

    err = result.stderr
    # one panic report from the model, then the banner and the Python traceback
    assert err.count("panicked at") == 1
    banner = err.index("--- ")
    lines = err[banner:].splitlines()
    assert lines[0].startswith("--- ") and lines[0].endswith(" ---")
    assert "resuming a panic" in lines[0] and "PanicException" in lines[0]
    assert lines[1] == "Python stack trace below:"
    assert lines[2] == "Traceback (most recent call last):"
    assert "in __float__" in err[banner:]
    assert "pyo3_runtime.PanicException: assertion `left == right` failed\n  left: 2\n right: 1" in err


def test_python_raised_panic_exception_is_resumed(run_python):
    result = run_python(
        """
        import magnifex
        try:
            magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0], [])
        except BaseException as error:
            PanicException = type(error)

        class Unprintable:
            def __str__(self):
                raise ValueError("no text")

        class Raises:
            def __init__(self, error):
                self.error = error
            def __float__(self):
                raise self.error

        class PanicSubclass(PanicException):
            pass

        for error in (PanicException("from Python"), PanicException(Unprintable()), PanicSubclass("subclass")):
            try:
                magnifex.witt_mao_magnification([2.0], 1.0, Raises(error))
            except BaseException as outer:
                print(type(outer).__name__, outer is error, repr(str(outer)) if type(outer) is PanicException else "-")
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "PanicException False 'from Python'",
        "PanicException False 'Unwrapped panic from Python code'",
        # only the class itself is resumed; a subclass passes through unchanged
        "PanicSubclass True -",
    ]
    assert result.stderr.count("Python stack trace below:") == 2
    assert "PanicSubclass" not in result.stderr


def test_panic_exception_from_len_is_resumed(run_python):
    result = run_python(
        """
        import magnifex
        class PanickingLength:
            def __len__(self):
                magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0], [])
            def __getitem__(self, index):
                return 1.0
        try:
            magnifex.witt_mao_magnification(PanickingLength(), 1.0, 0.1)
        except BaseException as error:
            print(type(error).__name__, repr(str(error)))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == f"PanicException {length_message(1, 0)!r}\n"
    assert "Python stack trace below:" in result.stderr
