"""The module object: function table, signatures, import behaviour, errors of the models."""

import inspect
import shutil
import subprocess
import sys

import pytest

import magnifex
from conftest import raised

TABLE = [
    ("witt_mao_magnification", "(l, re, rstar)"),
    ("integrated_witt_mao_magnification", "(l, re, rstar)"),
    ("integrated_flux_map_witt_mao_magnification", "(l, re, rstar, bl, bf)"),
    ("heyrovsky_magnification", "(l, r, re, rstar)"),
    ("integrated_heyrovsky_magnification", "(l, re, rstar)"),
    ("integrated_flux_map_heyrovsky_magnification", "(l, re, rstar, bl, bf)"),
    ("discrete_flux_map_heyrovsky_magnification", "(l, re, rstar, bl, bf)"),
    ("magnification", "(u, rho, law='linear', coefficients=None, gradient=False)"),
    ("light_curve", "(t, t0, u0, tE, rho, law='linear', coefficients=None, gradient=False)"),
]
SEVEN = [name for name, _ in TABLE[:7]]


def test_all_lists_the_functions_in_table_order():
    assert type(magnifex.__all__) is list and magnifex.__all__ == [name for name, _ in TABLE]
    assert magnifex.__name__ == "magnifex" and isinstance(magnifex.__doc__, str) and magnifex.__doc__


@pytest.mark.parametrize("name, signature", TABLE)
def test_function_objects(name, signature):
    function = getattr(magnifex, name)
    assert type(function).__name__ == "builtin_function_or_method"
    assert str(inspect.signature(function)) == function.__text_signature__ == signature
    # the seven carry their signature alone; the limb-darkened functions a manual
    assert function.__doc__ is None if name in SEVEN else function.__doc__.startswith(("Magnification", "Point-lens"))
    assert function.__name__ == function.__qualname__ == name
    assert function.__module__ == "magnifex" and function.__self__ is magnifex


def test_model_failure_is_a_runtime_error_with_the_routine_message():
    error = raised(magnifex.witt_mao_magnification, [-1.0], 1, 0.1)
    assert type(error) is RuntimeError and error.args == ("elliprj: Fail to converge",)
    # one bad separation fails the whole call
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        magnifex.witt_mao_magnification([0.5, -1.0, 2.0], 1, 0.1)


def test_argument_error_is_an_ordinary_type_error():
    error = raised(magnifex.witt_mao_magnification, 1, 2, 3, 4)
    assert type(error) is TypeError
    assert error.args == ("witt_mao_magnification() takes 3 positional arguments but 4 were given",)
    assert error.__cause__ is None and error.__context__ is None and error.__traceback__ is not None
    try:
        raise KeyError("outer")
    except KeyError as outer:
        assert raised(magnifex.witt_mao_magnification).__context__ is outer


def test_reimport_returns_the_same_module():
    first = sys.modules["magnifex"]
    all_before = list(first.__all__)
    try:
        del sys.modules["magnifex"]
        import magnifex as again

        assert again is first and again.__all__ is first.__all__ and again.__all__ == all_before
        assert again.witt_mao_magnification([2.0], 1.0, 0.1) == first.witt_mao_magnification([2.0], 1.0, 0.1)
    finally:
        sys.modules["magnifex"] = first


def subinterpreter_module():
    for name in ("_xxsubinterpreters", "_interpreters"):  # CPython 3.8-3.12, 3.13+
        try:
            __import__(name)
            return name
        except ImportError:
            pass
    return None


@pytest.mark.skipif(subinterpreter_module() is None, reason="this Python offers no sub-interpreter module")
def test_import_from_a_subinterpreter_is_refused(run_python):
    result = run_python(f"""
        import {subinterpreter_module()} as interpreters
        import magnifex  # the main interpreter takes the module first
        code = ("import sys\\nsys.path[:] = {sys.path!r}\\n"
                "try:\\n    import magnifex\\n"
                "except ImportError as error:\\n"
                "    raise RuntimeError('refused: ' + type(error).__name__ + ': ' + str(error))\\n")
        interp = interpreters.create()
        try:
            print(interpreters.run_string(interp, code))
        except Exception as error:  # 3.11/3.12 raise RunFailedError with the exception text
            print(error)
        interpreters.destroy(interp)
        print(magnifex.witt_mao_magnification([2.0], 1.0, 0.1) == magnifex.witt_mao_magnification([2.0], 1.0, 0.1))
        """)
    assert result.returncode == 0, result.stderr
    first, second = result.stdout.splitlines()
    assert "refused: ImportError: " in first and "sub-interpreters" in first
    assert second == "True"


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not available")
    output = subprocess.run([nm, "-D", "--defined-only", magnifex.__file__],
                            capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in output.splitlines() if line.strip()] == ["PyInit_magnifex"]
