"""The module object: function table, signatures, import behaviour, errors of the models."""

import inspect
import shutil
import subprocess
import sys

import pytest

import magnifex

TABLE = [
    ("witt_mao_magnification", "(l, re, rstar)"),
    ("integrated_witt_mao_magnification", "(l, re, rstar)"),
    ("integrated_flux_map_witt_mao_magnification", "(l, re, rstar, bl, bf)"),
    ("heyrovsky_magnification", "(l, r, re, rstar)"),
    ("integrated_heyrovsky_magnification", "(l, re, rstar)"),
    ("integrated_flux_map_heyrovsky_magnification", "(l, re, rstar, bl, bf)"),
    ("discrete_flux_map_heyrovsky_magnification", "(l, re, rstar, bl, bf)"),
]


def test_all_lists_the_functions_in_table_order():
    assert magnifex.__all__ == [name for name, _ in TABLE]
    assert type(magnifex.__all__) is list
    assert magnifex.__name__ == "magnifex"
    assert isinstance(magnifex.__doc__, str) and magnifex.__doc__


@pytest.mark.parametrize("name, signature", TABLE, ids=[name for name, _ in TABLE])
def test_function_objects(name, signature):
    function = getattr(magnifex, name)
    assert type(function).__name__ == "builtin_function_or_method"
    assert str(inspect.signature(function)) == signature
    assert function.__text_signature__ == signature
    assert function.__doc__ is None
    assert function.__name__ == function.__qualname__ == name
    assert function.__module__ == "magnifex"
    assert function.__self__ is magnifex
    parameters = inspect.signature(function).parameters.values()
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in parameters)
    assert all(p.default is inspect.Parameter.empty for p in parameters)


def test_heyrovsky_returns_one_float():
    value = magnifex.heyrovsky_magnification(0.5, 0.3, 1.0, 0.1)
    assert type(value) is float
    assert value == magnifex.heyrovsky_magnification(l=0.5, r=0.3, re=1.0, rstar=0.1)


def test_model_failure_is_a_runtime_error_with_the_routine_message():
    with pytest.raises(RuntimeError) as info:
        magnifex.witt_mao_magnification([-1.0], 1, 0.1)
    assert type(info.value) is RuntimeError
    assert str(info.value) == "elliprj: Fail to converge"
    assert info.value.args == ("elliprj: Fail to converge",)
    # one bad separation fails the whole call
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        magnifex.witt_mao_magnification([0.5, -1.0, 2.0], 1, 0.1)


def test_lazy_type_error_is_an_ordinary_type_error():
    with pytest.raises(TypeError) as info:
        magnifex.witt_mao_magnification(1, 2, 3, 4)
    error = info.value
    assert type(error) is TypeError
    assert error.args == ("witt_mao_magnification() takes 3 positional arguments but 4 were given",)
    assert error.__cause__ is None and error.__context__ is None
    assert error.__traceback__ is not None


def test_exception_context_is_the_handled_one():
    try:
        raise KeyError("outer")
    except KeyError as outer:
        with pytest.raises(TypeError) as info:
            magnifex.witt_mao_magnification()
        assert info.value.__context__ is outer


def test_reimport_returns_the_same_module():
    first = sys.modules["magnifex"]
    all_before = list(first.__all__)
    try:
        del sys.modules["magnifex"]
        import magnifex as again

        assert again is first
        assert again.__all__ == all_before
        assert again.__all__ is first.__all__
        assert again.witt_mao_magnification([2.0], 1.0, 0.1) == first.witt_mao_magnification([2.0], 1.0, 0.1)
    finally:
        sys.modules["magnifex"] = first


def test_reimport_in_a_fresh_process(run_python):
    result = run_python(
        """
        import importlib, sys
        import magnifex
        first = magnifex
        for _ in range(3):
            del sys.modules["magnifex"]
            again = importlib.import_module("magnifex")
            assert again is first
        assert len(again.__all__) == len(set(again.__all__)) == 7
        print("ok")
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "ok\n"


def subinterpreter_runner():
    try:
        import _xxsubinterpreters as interpreters  # CPython 3.8-3.12

        return "_xxsubinterpreters"
    except ImportError:
        pass
    try:
        import _interpreters  # noqa: F401  (CPython 3.13+)

        return "_interpreters"
    except ImportError:
        return None


@pytest.mark.skipif(subinterpreter_runner() is None, reason="this Python offers no sub-interpreter module")
def test_import_from_a_subinterpreter_is_refused(run_python):
    result = run_python(
        f"""
        import sys
        import {subinterpreter_runner()} as interpreters
        import magnifex  # the main interpreter takes the module first

        path = {sys.path!r}
        code = (
            "import sys\\n"
            f"sys.path[:] = {{path!r}}\\n"
            "try:\\n"
            "    import magnifex\\n"
            "except ImportError as error:\\n"
            "    raise RuntimeError('refused: ' + type(error).__name__ + ': ' + str(error))\\n"
            "raise RuntimeError('imported')\\n"
        )
        interp = interpreters.create()
        try:
            outcome = interpreters.run_string(interp, code)
        except Exception as error:  # 3.11/3.12 raise RunFailedError with the exception text
            outcome = str(error)
        print(outcome)
        interpreters.destroy(interp)
        # the main interpreter still has a working module
        print(magnifex.witt_mao_magnification([2.0], 1.0, 0.1) == magnifex.witt_mao_magnification([2.0], 1.0, 0.1))
        """
    )
    assert result.returncode == 0, result.stderr
    first, second = result.stdout.splitlines()
    assert "refused: ImportError: " in first
    assert "sub-interpreters" in first
    assert second == "True"


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not available")
    output = subprocess.run(
        [nm, "-D", "--defined-only", magnifex.__file__], capture_output=True, text=True, check=True
    ).stdout
    exported = [line.split()[-1] for line in output.splitlines() if line.strip()]
    assert exported == ["PyInit_magnifex"]
