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


# CPython keeps one object for each of these ints, shared by every user
SMALL_INTS = range(-5, 257)
# On 3.12+ an immortal object reports a count of at least 2**30 (2**32 - 1 on
# 3.12 and 3.13), and its count never moves; no mortal object gets near it.
IMMORTAL_REFERENCES = 2**30


def fresh_copy(text):
    """A new str object equal to `text` (surrogates kept)."""
    return text.encode("utf-8", "surrogatepass").decode("utf-8", "surrogatepass")


def interned(text):
    """Whether `text` itself is the interpreter's shared object of its value:
    the empty or a one-character Latin-1 text, or an interned string."""
    if len(text) == 0 or (len(text) == 1 and ord(text) < 256):
        return True
    # A new object of the same value; interning it returns the interned object
    # of that value if there is one (else the copy itself, which is not text).
    return sys.intern(fresh_copy(text)) is text


def shared(value):
    """Whether `value` is an object that the whole interpreter shares (None,
    booleans, small ints, empty tuples, interned strings, and any immortal
    object on 3.12+): its reference count moves with whatever the interpreter
    does, so it tells nothing about a leak by a call that was given it."""
    is_immortal = getattr(sys, "_is_immortal", None)
    if is_immortal is not None and is_immortal(value):
        return True
    if sys.version_info >= (3, 12) and sys.getrefcount(value) >= IMMORTAL_REFERENCES:
        return True
    if value is None or value is Ellipsis or value is NotImplemented or type(value) is bool:
        return True
    if type(value) is int:
        return value in SMALL_INTS
    if type(value) is str:
        return interned(value)
    if type(value) in (tuple, frozenset):
        return len(value) == 0
    if type(value) is bytes:
        return len(value) <= 1
    numpy = sys.modules.get("numpy")
    return numpy is not None and isinstance(value, numpy.bool_)  # np.True_ and np.False_


def counted(objects):
    """The objects whose reference counts a leaking call would change and
    nothing else moves: the ones made for the test, not the shared ones."""
    return [value for value in objects if not shared(value)]


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


# The project's examples/, run as a user runs them (tests of the examples).
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")


def run_example(name, *args, prepend=None, timeout=300):
    """Runs examples/NAME with this interpreter and the installed magnifex (its
    folder first on PYTHONPATH, after `prepend` if given)."""
    import magnifex

    module_dir = os.path.dirname(os.path.abspath(magnifex.__file__))
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [prepend, module_dir, env.get("PYTHONPATH")]))
    return subprocess.run([sys.executable, os.path.join(EXAMPLES, name), *args], env=env,
                          capture_output=True, text=True, timeout=timeout)


def without_matplotlib(tmp_path):
    """A folder whose matplotlib fails to import, to put first on PYTHONPATH."""
    fake = tmp_path / "fake"
    fake.mkdir()
    (fake / "matplotlib.py").write_text("raise ImportError('No module named matplotlib')\n")
    return str(fake)
