"""Shared fixtures for the binding tests.

The tests import ``magnifex`` as installed (``pip install .``) or from a build
directory on ``PYTHONPATH``; subprocesses get the same module through the
directory the current process imported it from.
"""

import os
import subprocess
import sys
import textwrap

import pytest


@pytest.fixture(scope="session")
def run_python():
    """Run a Python snippet in a fresh interpreter that imports the same magnifex."""
    import magnifex

    module_dir = os.path.dirname(os.path.abspath(magnifex.__file__))
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, env.get("PYTHONPATH")]))

    def run(code, timeout=120):
        return subprocess.run(
            [sys.executable, "-c", textwrap.dedent(code)],
            env=env,
            capture_output=True,
            text=True,
            errors="replace",
            timeout=timeout,
        )

    return run
