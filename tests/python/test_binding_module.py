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
    for name in ("_xxsubinterpreters", "_interpreters"):  # CPython 3.9-3.12, 3.13+
        try:
            __import__(name)
            return name
        except ImportError:
            pass
    return None


# Run in a fresh interpreter after KIND, MODULE and PATH are set: imports
# magnifex in the main interpreter, then in a new sub-interpreter of the kind
# asked for, and prints how that import was refused, how the interpreter's own
# single-phase test module is refused in an isolated one ("-" for a legacy one
# or where that module is not installed), and whether magnifex still works.
SUBINTERPRETER_IMPORT = """
import importlib.util
import sys

import magnifex  # the main interpreter takes the module first

interpreters = __import__(MODULE)


def create():
    if sys.version_info >= (3, 13):
        return interpreters.create(KIND)
    if sys.version_info >= (3, 12):
        return interpreters.create(isolated=KIND == "isolated")
    return interpreters.create()  # before 3.12 every sub-interpreter is "legacy"


def refusal(name):
    code = (f"import sys\\nsys.path[:] = {PATH!r}\\ntry:\\n    import {name}\\n"
            "except ImportError as error:\\n"
            "    raise RuntimeError('refused: ' + type(error).__name__ + ': ' + str(error))\\n")
    interp = create()
    try:
        failure = interpreters.run_string(interp, code)  # 3.13+: a snapshot of the exception, or None
    except Exception as error:  # before 3.13: RunFailedError, which carries the exception's text
        failure = error
    interpreters.destroy(interp)
    text = str(getattr(failure, "msg", failure))
    return text.split("refused: ", 1)[1] if "refused: " in text else f"not refused: {text}"


print(refusal("magnifex"))
print(refusal("_testsinglephase") if KIND == "isolated" and importlib.util.find_spec("_testsinglephase") else "-")
print(magnifex.witt_mao_magnification([2.0], 1.0, 0.1) == magnifex.witt_mao_magnification([2.0], 1.0, 0.1))
"""


@pytest.mark.skipif(subinterpreter_module() is None, reason="this Python offers no sub-interpreter module")
@pytest.mark.parametrize("kind", ["legacy", "isolated"])
def test_import_from_a_subinterpreter_is_refused(run_python, kind):
    """A "legacy" sub-interpreter runs the module's init, which refuses a second
    interpreter in its own words; an "isolated" one (3.12+) refuses every
    single-phase module before its init runs, in the interpreter's words."""
    if kind == "isolated" and sys.version_info < (3, 12):
        pytest.skip("sub-interpreters that refuse single-phase modules came with 3.12")
    result = run_python(f"KIND, MODULE, PATH = {kind!r}, {subinterpreter_module()!r}, {sys.path!r}\n"
                        + SUBINTERPRETER_IMPORT)
    assert result.returncode == 0, result.stderr
    refused, reference, still_works = result.stdout.splitlines()
    assert refused.startswith("ImportError: "), refused
    if kind == "legacy":
        assert "sub-interpreters" in refused and "magnifex" in refused
    elif reference != "-":  # the interpreter's wording, taken from its own test module
        assert reference.startswith("ImportError: ") and "_testsinglephase" in reference, reference
        assert refused == reference.replace("_testsinglephase", "magnifex")
    else:
        assert "magnifex" in refused
    assert still_works == "True"


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not available")
    output = subprocess.run([nm, "-D", "--defined-only", magnifex.__file__],
                            capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in output.splitlines() if line.strip()] == ["PyInit_magnifex"]
