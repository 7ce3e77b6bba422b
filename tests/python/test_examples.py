"""The examples run as a user runs them: examples/light_curve.py draws its
plot (and says what to install when matplotlib is missing), and
examples/grid_dask.py reproduces the serial grid on two worker processes."""

import math
import os
import subprocess
import sys

import pytest

import magnifex

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")
if not os.path.isdir(EXAMPLES):
    pytest.skip("examples/ is not beside the tests", allow_module_level=True)
# Matplotlib's and Dask's own native code is not built for the sanitizer's
# preloaded runtime; these scripts run against the installed module only.
if "libasan" in os.environ.get("LD_PRELOAD", ""):
    pytest.skip("examples are not run under AddressSanitizer", allow_module_level=True)


def run_example(name, *args, env=None, timeout=300):
    module_dir = os.path.dirname(os.path.abspath(magnifex.__file__))
    env = dict(os.environ if env is None else env)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [env.pop("PREPEND", None), module_dir,
                                                      env.get("PYTHONPATH")]))
    return subprocess.run([sys.executable, os.path.join(EXAMPLES, name), *args], env=env,
                          capture_output=True, text=True, timeout=timeout)


def table_rows(stdout):
    """Rows of the printed table: t, u, point, uniform, linear, quadratic."""
    rows = []
    for line in stdout.splitlines():
        fields = line.split()
        if len(fields) == 6:
            try:
                rows.append([float(f) for f in fields])
            except ValueError:
                pass
    return rows


@pytest.mark.parametrize("args, u0, rho", [([], 0.02, 0.05),
                                           (["--t0", "5", "--u0", "0.3", "--te", "10", "--rho", "0.01"], 0.3, 0.01)])
def test_light_curve_prints_its_table_and_writes_the_plot(tmp_path, args, u0, rho):
    pytest.importorskip("matplotlib")
    import matplotlib.image
    output = tmp_path / "curve.png"
    result = run_example("light_curve.py", *args, "--output", str(output))
    assert result.returncode == 0, result.stderr
    assert f"plot written to {output}" in result.stdout
    with open(output, "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n"
    image = matplotlib.image.imread(str(output))
    assert image.shape[0] > 500 and image.shape[1] > 600
    rows = table_rows(result.stdout)
    assert len(rows) == 11
    centre = rows[5]
    assert centre[1] == pytest.approx(u0, abs=1e-5)
    # the point-source column is Paczynski's form at the printed u
    for t, u, point, *_ in rows:
        assert point == pytest.approx((u * u + 2) / (u * math.sqrt(u * u + 4)), rel=1e-3)
    # inside the source the finite star is magnified less than a point would
    # be, and limb darkening (brighter centre) brings it back towards it
    point, uniform, linear, quadratic = centre[2:]
    if u0 < rho:
        assert uniform < linear < point and uniform < quadratic < point
    # far from the lens (u >> rho) the disk average of A is A + (rho^2 / 8)
    # times the Laplacian of A (the second moment of a uniform disk is rho^2 / 2)
    _, u, point, uniform, linear, quadratic = rows[0]
    a1 = -8 / (u * u * (u * u + 4) ** 1.5)
    a2 = 8 * (5 * u * u + 8) / (u ** 3 * (u * u + 4) ** 2.5)
    assert uniform == pytest.approx(point + rho * rho / 8 * (a2 + a1 / u), rel=1e-3)
    assert point <= linear <= uniform and point <= quadratic <= uniform


def test_light_curve_without_matplotlib_says_what_to_install(tmp_path):
    fake = tmp_path / "fake"
    fake.mkdir()
    (fake / "matplotlib.py").write_text("raise ImportError('No module named matplotlib')\n")
    output = tmp_path / "curve.png"
    env = dict(os.environ, PREPEND=str(fake))
    result = run_example("light_curve.py", "--output", str(output), env=env)
    assert result.returncode != 0
    assert "Traceback" not in result.stderr
    lines = result.stderr.strip().splitlines()
    assert len(lines) == 1 and "matplotlib" in lines[0] and "pip install" in lines[0]
    assert not output.exists()


def test_light_curve_rejects_a_bad_event():
    result = run_example("light_curve.py", "--u0", "-0.1", "--output", os.devnull)
    assert result.returncode == 2 and "must be positive" in result.stderr


def test_grid_on_two_dask_workers_equals_the_serial_run():
    pytest.importorskip("dask.distributed")
    result = run_example("grid_dask.py", "--workers", "2", "--u0", "2", "--rho", "2",
                         "--epochs", "40", "--chunk", "25")
    assert result.returncode == 0, result.stdout + result.stderr
    out = result.stdout
    assert "grid: 2 u0 x 2 rho x 40 epochs = 160 separations" in out
    assert "LocalCluster of 2 worker processes" in out and "(8 tasks of up to 25 separations)" in out
    assert "results equal the serial run: yes" in out
    assert "speed-up over one process:" in out
