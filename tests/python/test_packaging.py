"""The installed module as a user gets it: panic reports that name the source
file by its path in the project, wherever the tree was built."""

import os
import re

import pytest

import magnifex


def test_panic_report_names_the_source_file_by_its_project_path(run_python):
    result = run_python("""
        from conftest import panic, raised
        raised(panic, 3, 2)
    """)
    assert result.returncode == 0, result.stderr
    where = re.search(r"panicked at (\S+):(\d+):(\d+):\n", result.stderr)
    assert where, result.stderr
    assert where.group(1) == "src/models/flux_map.cpp", result.stderr


def test_installed_module_carries_its_stubs():
    """A wheel installs the PEP 561 stub package beside the extension module."""
    where = os.path.dirname(os.path.abspath(magnifex.__file__))
    if os.path.basename(where) not in ("site-packages", "dist-packages"):
        pytest.skip("the module is imported from a build directory")
    stubs = os.path.join(where, "magnifex-stubs", "__init__.pyi")
    assert os.path.isfile(stubs)
    with open(stubs, encoding="utf-8") as f:
        text = f.read()
    assert all(f"def {name}(" in text for name in magnifex.__all__)
