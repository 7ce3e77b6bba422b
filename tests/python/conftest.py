"""Shared helpers of the binding tests. Subprocesses import the same magnifex as
the tests (installed or from a build directory on PYTHONPATH), and this file."""

import os
import subprocess
import sys
import textwrap

import pytest


class FloatLike:
    def __init__(self, value=0.5):
        self.value = value

    def __float__(self):
        return self.value


class Raises:
    """__float__ raises `error`; a new one each time if it is a type (one
    instance raised again and again grows its traceback)."""

    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error("bad") if isinstance(self.error, type) else self.error


class LyingLength:
    """Items come from __getitem__; __len__ returns `length`, or raises it if it is a type."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, type):
            raise self.length("no length")
        return self.length

    def __getitem__(self, index):
        return self.items[index]


def raised(function, *args, **kwargs):
    """The exception, of any kind, that function(*args, **kwargs) raises."""
    try:
        function(*args, **kwargs)
    except BaseException as error:
        return error
    raise AssertionError(f"{function} raised nothing")


def length_message(left, right):
    return f"assertion `left == right` failed\n  left: {left}\n right: {right}"


def panic(left=1, right=0):
    """Make the module panic: a table function given tables of unequal lengths."""
    import magnifex

    magnifex.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 0.1, [0.0] * left, [1.0] * right)


@pytest.fixture(scope="session")
def run_python():
    """Run a snippet in a fresh interpreter that imports the same magnifex and this file."""
    import magnifex

    module_dir = os.path.dirname(os.path.abspath(magnifex.__file__))
    env = dict(os.environ)
    path = [module_dir, os.path.dirname(os.path.abspath(__file__)), env.get("PYTHONPATH")]
    env["PYTHONPATH"] = os.pathsep.join(filter(None, path))

    def run(code, timeout=120):
        return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env,
                              capture_output=True, text=True, errors="replace", timeout=timeout)

    return run
