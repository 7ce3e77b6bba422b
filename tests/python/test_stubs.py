"""The type stubs installed with the module (the magnifex-stubs package):
mypy accepts a script that calls every function and flags each misuse."""

import inspect
import os
import re
import subprocess
import sys

import pytest

import magnifex

SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stub_samples")


def installed_stubs():
    for entry in sys.path:
        path = os.path.join(entry or ".", "magnifex-stubs", "__init__.pyi")
        if os.path.isfile(path):
            return path
    return None


@pytest.fixture(scope="module")
def mypy_report(tmp_path_factory):
    """One mypy run over every sample: {(file name, line): [messages]}."""
    pytest.importorskip("mypy")
    if "libasan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("mypy does not load the module; it runs in the suite against the installed module")
    if installed_stubs() is None:
        pytest.skip("magnifex-stubs is not installed (the module is imported from a build directory)")
    files = sorted(f for f in os.listdir(SAMPLES) if f.endswith(".py"))
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--show-error-codes",
         "--cache-dir", str(tmp_path_factory.mktemp("mypy_cache")), *files],
        cwd=SAMPLES, capture_output=True, text=True, timeout=600)
    assert result.returncode in (0, 1), result.stdout + result.stderr
    report = {}
    for line in result.stdout.splitlines():
        # a note may point into the stub file (mypy 1.x, the one that installs under 3.9:
        # "...magnifex-stubs/__init__.pyi:35: note: ... defined here")
        found = re.match(r"(\S+\.pyi?):(\d+): (error|note): (.*)", line)
        assert found, line
        if found.group(3) == "error":
            report.setdefault((found.group(1), int(found.group(2))), []).append(found.group(4))
    return report


def flagged_lines(name):
    with open(os.path.join(SAMPLES, name), encoding="utf-8") as f:
        return {i for i, line in enumerate(f, 1) if "# flagged" in line}


def test_script_using_every_function_type_checks(mypy_report):
    errors = {k: v for k, v in mypy_report.items() if k[0] == "uses_every_function.py"}
    assert not errors
    with open(os.path.join(SAMPLES, "uses_every_function.py"), encoding="utf-8") as f:
        text = f.read()
    assert all(f"magnifex.{name}(" in text for name in magnifex.__all__)


def test_every_misuse_is_flagged_and_nothing_else(mypy_report):
    expected = flagged_lines("misuses.py")
    got = {line for name, line in mypy_report if name == "misuses.py"}
    assert got == expected, mypy_report


def test_stub_signatures_match_the_module():
    """Names, parameter names and kinds of the stubs are the module's own."""
    import ast

    path = installed_stubs()
    if path is None:
        pytest.skip("magnifex-stubs is not installed")
    with open(path, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    # the implementation (the last definition of a name), after its overloads
    stubbed = {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}
    assert sorted(stubbed) == sorted(magnifex.__all__)
    for name in magnifex.__all__:
        node = stubbed[name]
        parameters = inspect.signature(getattr(magnifex, name)).parameters
        assert [a.arg for a in node.args.args] == list(parameters), name
        assert not node.args.posonlyargs and not node.args.kwonlyargs, name
        assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in parameters.values()), name
        defaults = [ast.literal_eval(d) for d in node.args.defaults]
        assert defaults == [p.default for p in parameters.values() if p.default is not p.empty], name
        returns = ast.unparse(node.returns)
        if name in ("magnification", "light_curve"):
            assert returns.startswith("Union[float, _Array"), name
        else:
            assert returns == ("float" if name == "heyrovsky_magnification" else "list[float]"), name
        assert ast.get_docstring(node), name
