"""The installed module as a user gets it: panic reports that name the source
file by its path in the project, wherever the tree was built."""

import re


def test_panic_report_names_the_source_file_by_its_project_path(run_python):
    result = run_python("""
        from conftest import panic, raised
        raised(panic, 3, 2)
    """)
    assert result.returncode == 0, result.stderr
    where = re.search(r"panicked at (\S+):(\d+):(\d+):\n", result.stderr)
    assert where, result.stderr
    assert where.group(1) == "src/models/flux_map.cpp", result.stderr
