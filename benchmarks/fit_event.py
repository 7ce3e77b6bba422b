#!/usr/bin/env python3
"""MOA-2008-BLG-310 fitted with magnifex and with MulensModel, and one light curve timed.

The event, model and starting point are those of examples/fit_event.py: 3,482 points from
seven observatories, a point lens and a finite source with linear limb darkening (Gamma
0.44 in I, 0.58 in R, 0.26 in H), fs and fb solved per observatory at every step, fitted
in t0, u0, tE and rho from (HJD' 4656.4, 0.01, 10 d, 0.01). Three fits:

  MulensModel   finite_source_LD_Yoo04 within t0 +- 2 d of the start (a point source
                beyond, where the two differ by < 1e-4), Event.get_chi2() and its
                gradient Event.get_chi2_gradient(), scipy.optimize.minimize(BFGS), as
                MulensModel's fitting examples do; every parameter is scaled by its
                starting value (t0 by 0.01 d), without which BFGS and L-BFGS-B stop far
                from the minimum;
  magnifex BFGS the same minimiser on the same scaled parameters, chi^2 and its exact
                gradient from magnifex.light_curve;
  magnifex LSQ  examples/fit_event.py: scipy.optimize.least_squares with the exact
                variable-projection Jacobian of the residuals.

For each: the process CPU time of the whole fit (median of --repeats, after one untimed
warm-up fit), model evaluations (passes over the 3,482 epochs: MulensModel's chi^2 and
gradient calls each recompute the magnification), chi^2 under the tool's own model and
under magnifex's (exact) model, and the parameters.

Then one light curve of the 3,482 epochs at the best fit, in the I band: magnifex
light_curve (with and without the Jacobian), MulensModel Model.get_magnification (Yoo04
as in the fit) and VBMicrolensing ESPLLightCurve (linear law, its Tol 1e-3 and 1e-4),
median CPU time per curve and the largest relative difference from magnifex, over all
epochs and over those within 0.15 d of t0 (the source crosses the lens there).

One BLAS thread; the garbage collector is off while a measurement runs.

    python benchmarks/fit_event.py                 # about a minute
    python benchmarks/fit_event.py --markdown --repeats 3
The peers come with the "bench" extra (pip install ".[bench,examples]"); scipy is needed.
"""
import os

# One BLAS thread, set before numpy is imported, so that every tool's linear algebra is
# counted on the timed thread (as benchmarks/compare.py does).
for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_var, "1")

import argparse  # noqa: E402
import gc  # noqa: E402
import importlib.util  # noqa: E402
import math  # noqa: E402
import platform  # noqa: E402
import statistics  # noqa: E402
import sys  # noqa: E402
import time  # noqa: E402
import warnings  # noqa: E402

import numpy as np  # noqa: E402
from scipy.optimize import minimize  # noqa: E402

import magnifex  # noqa: E402
import text_table  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "..", "examples", "fit_event.py")
# Loaded from its path under another name: this file is called fit_event.py too.
_spec = importlib.util.spec_from_file_location("fit_event_example", EXAMPLE)
ex = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(ex)

YOO04_HALF_WIDTH = 2.0  # days on either side of t0 where MulensModel uses finite_source_LD_Yoo04
# BFGS works on x = (p - offset) / scale: t0 in units of 0.01 d from the start, the others in
# units of their starting values.
OFFSET = np.array([ex.START[0], 0.0, 0.0, 0.0])
SCALE = np.array([0.01, ex.START[1], ex.START[2], ex.START[3]])
MM_NAMES = ("t_0", "u_0", "t_E", "rho")


def cpu_seconds(function):
    """Process CPU time of one call, garbage collector off; returns (seconds, result)."""
    gc.collect()
    gc.disable()
    try:
        began = time.process_time()
        result = function()
        return time.process_time() - began, result
    finally:
        gc.enable()


def bfgs(chi2, gradient):
    """Minimise chi2(p) from the example's start with BFGS on the scaled parameters."""
    def fun(x):
        p = OFFSET + x * SCALE
        return chi2(p) if p[1] > 0 and p[2] > 0 and p[3] > 0 else 1e30

    def jac(x):
        p = OFFSET + x * SCALE
        return gradient(p) * SCALE if p[1] > 0 and p[2] > 0 and p[3] > 0 else np.zeros(4)

    solution = minimize(fun, (np.array(ex.START) - OFFSET) / SCALE, jac=jac, method="BFGS")
    return OFFSET + solution.x * SCALE, solution


class MulensModelFit:
    def __init__(self, data):
        import MulensModel

        self.mm = MulensModel
        self.datasets = []
        for k, (file_name, _, band) in enumerate(ex.OBSERVATORIES):
            rows = data.block(k)
            self.datasets.append(MulensModel.MulensData(
                data_list=[data.t[rows] + ex.HJD_OFFSET, data.mag[rows], data.mag_err[rows]],
                phot_fmt="mag", bandpass=band))
        self.evaluations = 0

    def event(self, params):
        t0 = params[0] + ex.HJD_OFFSET
        model = self.mm.Model(dict(zip(MM_NAMES, (t0, *params[1:]))))
        centre = ex.START[0] + ex.HJD_OFFSET
        model.set_magnification_methods([centre - YOO04_HALF_WIDTH, "finite_source_LD_Yoo04",
                                         centre + YOO04_HALF_WIDTH])
        for band, gamma in ex.GAMMA.items():
            model.set_limb_coeff_gamma(band, gamma)
        return self.mm.Event(datasets=self.datasets, model=model)

    def fit(self):
        event = self.event(ex.START)
        self.evaluations = 0

        def put(p):
            for name, value in zip(MM_NAMES, p):
                setattr(event.model.parameters, name, value + (ex.HJD_OFFSET if name == "t_0" else 0.0))

        def chi2(p):
            put(p)
            self.evaluations += 1
            return event.get_chi2()

        def gradient(p):
            put(p)
            self.evaluations += 1
            return np.asarray(event.get_chi2_gradient(list(MM_NAMES)))

        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            params, solution = bfgs(chi2, gradient)
        return params, solution, self.evaluations

    def chi2(self, params):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return self.event(params).get_chi2()


def magnifex_bfgs(data):
    problem = ex.SingleLensFit(data)

    def chi2(p):
        r = problem.residuals(p)
        return float(r @ r)

    def gradient(p):
        r, jacobian = problem.evaluate(p)[:2]
        return 2.0 * (jacobian.T @ r)

    params, solution = bfgs(chi2, gradient)
    return params, solution, problem.evaluations


def magnifex_lsq(data):
    problem, result = ex.fit(data)
    return result.params, result, problem.evaluations


def exact_chi2(data, params):
    r = ex.SingleLensFit(data).residuals(params)
    return float(r @ r)


LSQ_FIT = "magnifex, least_squares, variable projection"


def time_fits(data, repeats, log):
    """Rows of the fits' table, each fit's median CPU seconds by name, and the
    least-squares fit's parameters (the best fit, at which the light curves are timed)."""
    rows, medians = [], {}
    fits = [(LSQ_FIT, lambda: magnifex_lsq(data), None),
            ("magnifex, BFGS on chi^2 and its gradient", lambda: magnifex_bfgs(data), None)]
    try:
        mm_fit = MulensModelFit(data)
        fits.append(("MulensModel Yoo04, BFGS on chi^2 and its gradient", mm_fit.fit, mm_fit.chi2))
    except ImportError:
        rows.append(["MulensModel Yoo04, BFGS", "not installed"] + [""] * 8)
    for name, run, own_chi2 in fits:
        print(f"fit: {name}", file=log, flush=True)
        run()  # warm-up: imports, tables, caches
        times = []
        for _ in range(repeats):
            seconds, (params, _, evaluations) = cpu_seconds(run)
            times.append(seconds)
        if name == LSQ_FIT:
            best = params
        exact = exact_chi2(data, params)
        own = own_chi2(params) if own_chi2 else exact  # magnifex's own model is the exact one
        medians[name] = statistics.median(times)
        rows.append([name, fmt_seconds(medians[name]), iqr(times), str(evaluations), f"{own:.4f}",
                     f"{exact:.4f}", f"{params[0] + ex.HJD_OFFSET:.5f}", f"{params[1]:.6f}",
                     f"{params[2]:.4f}", f"{params[3]:.6f}"])
    return rows, medians, best


def time_curves(data, params, repeats, log):
    """One I-band light curve of every epoch at `params`."""
    t0, u0, te, rho = params
    t = np.sort(data.t)
    a = ex.linear_coefficient(ex.GAMMA["I"])
    reference = magnifex.light_curve(t, t0, u0, te, rho, law="linear", coefficients=(a,))
    peak = np.abs(t - t0) < ex.ANOMALY_HALF_WIDTH
    tools = [("magnifex light_curve", lambda: magnifex.light_curve(t, t0, u0, te, rho, law="linear",
                                                                    coefficients=(a,))),
             ("magnifex light_curve, gradient=True",
              lambda: magnifex.light_curve(t, t0, u0, te, rho, law="linear", coefficients=(a,), gradient=True)[0])]
    rows = []
    try:
        import MulensModel

        model = MulensModel.Model({"t_0": t0 + ex.HJD_OFFSET, "u_0": u0, "t_E": te, "rho": rho})
        model.set_magnification_methods([t0 + ex.HJD_OFFSET - YOO04_HALF_WIDTH, "finite_source_LD_Yoo04",
                                         t0 + ex.HJD_OFFSET + YOO04_HALF_WIDTH])
        hjd = t + ex.HJD_OFFSET
        tools.append((f"MulensModel get_magnification, Yoo04 within t0 +- {YOO04_HALF_WIDTH:g} d",
                      lambda: model.get_magnification(hjd, gamma=ex.GAMMA["I"])))
    except ImportError:
        rows.append(["MulensModel", "not installed", "", "", ""])
    try:
        import VBMicrolensing

        for tol in (1e-3, 1e-4):
            vb = VBMicrolensing.VBMicrolensing()
            vb.a1, vb.Tol = a, tol
            # ESPLLightCurve's parameters: [ln u0, ln tE, t0, ln rho]
            vb_params = [math.log(u0), math.log(te), t0, math.log(rho)]
            times = list(t)
            tools.append((f"VBMicrolensing ESPLLightCurve, Tol {tol:g}",
                          lambda vb=vb, vb_params=vb_params, times=times:
                          np.array(vb.ESPLLightCurve(vb_params, times)[0])))
    except ImportError:
        rows.append(["VBMicrolensing", "not installed", "", "", ""])
    for name, run in tools:
        print(f"light curve: {name}", file=log, flush=True)
        values = np.asarray(run())
        calls = max(1, int(0.05 / max(cpu_seconds(run)[0], 1e-6)))  # about 50 ms a measurement
        times = []
        for _ in range(repeats):
            seconds, _ = cpu_seconds(lambda: [run() for _ in range(calls)])
            times.append(seconds / calls)
        difference = np.abs(values / reference - 1.0)
        rows.append([name, fmt_seconds(statistics.median(times)), iqr(times), f"{difference.max():.1e}",
                     f"{difference[peak].max():.1e}"])
    return rows


def fmt_seconds(s):
    return f"{s * 1e3:.3g} ms" if s < 1 else f"{s:.3g} s"


def iqr(values):
    if len(values) < 2:
        return ""
    q = statistics.quantiles(values, n=4)
    return f"{100 * (q[2] - q[0]) / statistics.median(values):.0f}%"


def print_table(head, rows, markdown, out):
    text_table.print_table(rows, markdown, out, head, right=range(1, len(head)))


def versions():
    from importlib.metadata import PackageNotFoundError, version

    out = []
    for name in ("magnifex", "MulensModel", "VBMicrolensing", "numpy", "scipy"):
        try:
            out.append(f"{name} {version(name)}")
        except PackageNotFoundError:
            out.append(f"{name} not installed")
    return ", ".join(out)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=5, help="timed repeats of each fit and curve (default 5)")
    parser.add_argument("--markdown", action="store_true", help="print Markdown tables")
    args = parser.parse_args(argv)
    log, out = sys.stderr, sys.stdout
    data = ex.Photometry()
    fit_rows, medians, best = time_fits(data, args.repeats, log)
    curve_rows = time_curves(data, best, args.repeats, log)

    print(f"# MOA-2008-BLG-310, {len(data)} points; {versions()}; Python {platform.python_version()} "
          f"on {platform.machine()}, {os.cpu_count()} cores; process CPU time, one BLAS thread, "
          f"median of {args.repeats}", file=out)
    print(file=out)
    print_table(["fit", "CPU time", "IQR", "model evaluations", "chi^2, its own model",
                 "chi^2, magnifex's model", "t0 [HJD]", "u0", "tE [d]", "rho"], fit_rows, args.markdown, out)
    peer = [seconds for name, seconds in medians.items() if name.startswith("MulensModel")]
    if peer:
        mine = [seconds for name, seconds in medians.items() if name.startswith("magnifex")]
        print(f"\nMulensModel's fit takes {peer[0] / mine[0]:.1f}x the CPU time of magnifex's least-squares fit, "
              f"{peer[0] / mine[1]:.1f}x that of its BFGS fit", file=out)
    print(file=out)
    print(f"# one light curve of the {len(data)} epochs at the best fit, I band (Gamma {ex.GAMMA['I']})", file=out)
    print(file=out)
    print_table(["tool", "CPU time per curve", "IQR", "largest relative difference from magnifex",
                 f"the same within {ex.ANOMALY_HALF_WIDTH:g} d of t0"], curve_rows, args.markdown, out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
