"""The examples run as a user runs them: examples/light_curve.py draws its
plot (and says what to install when matplotlib is missing), and the Dask examples
(survey_dask.py, grid_dask.py) reproduce this process's run bit for bit on two workers
and write what they say."""

import math
import os
import re
import sys

import pytest

import magnifex
from conftest import EXAMPLES, run_example, without_matplotlib

if not os.path.isdir(EXAMPLES):
    pytest.skip("examples/ is not beside the tests", allow_module_level=True)
# Matplotlib's and Dask's own native code is not built for the sanitizer's
# preloaded runtime; these scripts run against the installed module only.
if "libasan" in os.environ.get("LD_PRELOAD", ""):
    pytest.skip("examples are not run under AddressSanitizer", allow_module_level=True)


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
    output = tmp_path / "curve.png"
    result = run_example("light_curve.py", "--output", str(output), prepend=without_matplotlib(tmp_path))
    assert result.returncode != 0
    assert "Traceback" not in result.stderr
    lines = result.stderr.strip().splitlines()
    assert len(lines) == 1 and "matplotlib" in lines[0] and "pip install" in lines[0]
    assert not output.exists()


def test_light_curve_rejects_a_bad_event():
    result = run_example("light_curve.py", "--u0", "-0.1", "--output", os.devnull)
    assert result.returncode == 2 and "must be positive" in result.stderr


def check_cluster_run(result, layout, tasks):
    """The lines every Dask example prints: the cluster's layout and tasks, its progress bar,
    the bit-for-bit comparison with this process's run, and a speed-up."""
    assert result.returncode == 0, result.stdout + result.stderr
    out = result.stdout
    assert f"a LocalCluster of {layout}" in out and tasks in out
    assert "100% Completed" in out
    assert re.search(r"equal[^\n]* bit for bit: yes", out), out
    assert re.search(r"speed-up over one process: \d+\.\d\d", out)


# Two worker processes, and one process whose two threads run magnifex side by side
# (light_curve releases the interpreter lock): both must give this process's bits.
@pytest.mark.parametrize("workers, threads, layout", [("2", "1", "2 worker processes x 1 thread"),
                                                      ("1", "2", "1 worker process x 2 threads")])
def test_survey_on_dask_equals_the_serial_run_and_its_files_hold_each_event(tmp_path, workers, threads, layout):
    pytest.importorskip("dask.distributed")
    np = pytest.importorskip("numpy")
    result = run_example("survey_dask.py", "--events", "40", "--events-per-task", "8", "--check", "1",
                         "--workers", workers, "--threads", threads, "--output", str(tmp_path))
    check_cluster_run(result, layout, "5 tasks of up to 8 events")
    with np.load(tmp_path / "summary.npz") as f:
        table = {name: f[name] for name in f.files}
    t = table["epochs"]
    assert len(t) == 6912 and t[1] - t[0] == 15 / 1440 and list(table["bands"]) == ["W146", "F087"]
    assert list(table["event"]) == list(range(40)) and set(table["law"]) == {"linear", "quadratic", "power2"}
    # Each event's curves, recomputed here from its row of the table, are what its task's
    # file holds at the row the table names, in both bands (float32 on disk).
    u = np.hypot((t[None, :] - table["t0"][:, None]) / table["tE"][:, None], table["u0"][:, None])
    assert list(table["in_source"]) == list(np.count_nonzero(u < table["rho"][:, None], axis=1))
    crossing = int(np.argmax(table["in_source"]))
    farthest = int(np.argmax(table["u0"] / table["rho"]))
    assert table["in_source"][crossing] > 0
    for i in (0, crossing, farthest):
        coefficients = table["coefficients"][i]
        coefficients = coefficients[:, ~np.isnan(coefficients[0])]
        curves = magnifex.light_curve(t, table["t0"][i], table["u0"][i], table["tE"][i], table["rho"][i],
                                      law=str(table["law"][i]), coefficients=coefficients)
        stored = np.load(tmp_path / f"curves_{table['task'][i]:05d}.npy", mmap_mode="r")[table["row"][i]]
        assert stored.tobytes() == curves.astype(np.float32).tobytes(), i
        assert list(table["peak"][i]) == list(curves.max(axis=1)), i


def test_grid_on_two_dask_workers_equals_the_serial_run_and_its_chi2_the_fits(tmp_path):
    pytest.importorskip("dask.distributed")
    np = pytest.importorskip("numpy")
    output = tmp_path / "grid"
    result = run_example("grid_dask.py", "--workers", "2", "--u0", "3", "--rho", "3", "--te", "2",
                         "--points-per-task", "5", "--output", str(output))
    check_cluster_run(result, "2 worker processes x 1 thread", "4 tasks of up to 5")
    assert "grid: 3 u0 x 3 rho x 2 tE = 18 points" in result.stdout
    with np.load(str(output) + ".npz") as f:
        grid = {name: f[name] for name in f.files}
    chi2 = grid["chi2"]
    assert chi2.shape == (3, 3, 2) and np.isfinite(chi2).all()
    best = np.unravel_index(np.argmin(chi2), chi2.shape)
    t0, u0, te, rho = grid["best"]
    assert (u0, rho, te) == (grid["u0"][best[0]], grid["rho"][best[1]], grid["tE"][best[2]])
    assert f"chi^2 = {chi2[best]:.1f}" in result.stdout
    # chi^2 and the fluxes at two grid points as examples/fit_event.py forms them (its own
    # band calls and flux solve, with the exact Jacobian): the same to rounding
    sys.path.insert(0, EXAMPLES)
    import fit_event
    problem = fit_event.SingleLensFit(fit_event.Photometry())
    worst = np.unravel_index(np.argmax(chi2), chi2.shape)
    for point in (best, worst):
        params = (t0, grid["u0"][point[0]], grid["tE"][point[2]], grid["rho"][point[1]])
        residual, _, _, _, fs, fb = problem.evaluate(params)
        assert residual @ residual == pytest.approx(chi2[point], rel=1e-9)
        if point == best:
            assert fs == pytest.approx(grid["fs"], rel=1e-9) and fb == pytest.approx(grid["fb"], rel=1e-9)
    if "Delta chi^2 map written" in result.stdout:
        with open(str(output) + ".png", "rb") as f:
            assert f.read(8) == b"\x89PNG\r\n\x1a\n"
