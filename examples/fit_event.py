"""Fit the microlensing event MOA-2008-BLG-310 with a point lens and a limb-darkened source.

The data are the event's published photometry (Janczak et al. 2010, ApJ 711, 731):
seven observatories, 3,482 magnitudes, in examples/data/MB08310/. The model is a
single point-mass lens in front of a finite source star with linear limb darkening,
one coefficient per band; every observatory has its own source flux fs and blend
flux fb, so that its flux is F(t) = fs A(t) + fb.

The fit adjusts t0, u0, tE and rho with scipy.optimize.least_squares. At every step
fs and fb are solved by weighted linear least squares (variable projection, Golub &
Pereyra 1973, SIAM J. Numer. Anal. 10, 413), and the Jacobian of the residuals is
exact: magnifex.light_curve returns dA/d(t0, u0, tE, rho) in closed form, and the
chain rule runs through the linear solve (the fluxes' own derivatives included).

    python examples/fit_event.py                       # fit, print, plot fit_event.png
    python examples/fit_event.py --output event.png
    python examples/fit_event.py --no-plot

The peak holds the planetary anomaly of MOA-2008-BLG-310Lb, which a single lens does
not model: expect chi^2 above the number of points, and parameters a few per cent
from the published planetary solution.
"""
import argparse
import math
import os
import sys
import time

import numpy as np

import magnifex

DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "MB08310")
HJD_OFFSET = 2450000.0  # epochs are handled as HJD' = HJD - 2450000

# Linear limb darkening in the Gamma convention of MulensModel, I/<I> = 1 - Gamma (1 - 3 mu / 2).
# I: 0.44 and V: 0.72 are the values MulensModel's example for this event uses. R (the
# Auckland R and unfiltered Bronberg data) is our choice, midway between V and I; H is our
# choice too, 0.26 (a = 0.35), a value typical of a solar-type star in H. Moving R to 0.72
# or H to 0.44 moves tE and rho by 1 per cent or less, a fifth of their sigmas. magnifex takes
# the coefficient a of I(mu) = 1 - a (1 - mu), a = 3 Gamma / (2 + Gamma).
GAMMA = {"I": 0.44, "R": 0.58, "H": 0.26}

# (file, observatory, band). The archive's headers give the filters; MOA's wide red filter
# (about R + I) is treated as I, the unfiltered Bronberg CCD as R.
OBSERVATORIES = (
    ("MOA_0300089_PLC_007.tbl", "MOA", "I"),
    ("Auck_0300089_PLC_001.tbl", "Auckland", "R"),
    ("Bron_0300089_PLC_002.tbl", "Bronberg", "R"),
    ("Canopus_0300089_PLC_003.tbl", "Canopus", "I"),
    ("CTIO_I_0300089_PLC_005.tbl", "CTIO I", "I"),
    ("CTIO_H_0300089_PLC_004.tbl", "CTIO H", "H"),
    ("Danish_0300089_PLC_006.tbl", "Danish", "I"),
)

PARAMETERS = ("t0", "u0", "tE", "rho")
# Janczak et al. (2010), planetary model: t0 in HJD', tE in days, u0 and rho in Einstein radii.
PUBLISHED = (4656.39975, 0.00300, 11.14, 0.00493)
PUBLISHED_DIGITS = (5, 5, 2, 5)  # decimals as published
# Starting point read off the light curve: the Bronberg peak, and round values that
# put the event at the right scale. Starting t0 at the brightest MOA point instead
# (HJD' 4656.24, before the peak, when New Zealand's night ended) leads to a far worse
# local minimum from many starting values of u0, tE and rho.
START = (4656.4, 0.01, 10.0, 0.01)

# The fit's residuals are largest within 0.15 d of the peak (Bronberg, CTIO, Danish),
# where Janczak et al. (2010) find the planet's signal; the report sums chi^2 there apart.
ANOMALY_HALF_WIDTH = 0.15

MAG_ZERO = 22.0  # magnitudes are turned into fluxes 10^(-0.4 (m - 22)), as MulensModel does


class Photometry:
    """All observatories' epochs (HJD'), fluxes and flux errors in one array each,
    sorted by observatory, so that each observatory is one contiguous block."""

    def __init__(self, data_dir=DATA_DIR, observatories=OBSERVATORIES):
        self.names, self.bands, columns, lengths = [], [], [], []
        for file_name, name, band in observatories:
            hjd, mag, mag_err = np.loadtxt(os.path.join(data_dir, file_name), comments=("\\", "|"),
                                           unpack=True, ndmin=2)
            self.names.append(name)
            self.bands.append(band)
            columns.append((hjd - HJD_OFFSET, mag, mag_err))
            lengths.append(len(hjd))
        self.t, self.mag, self.mag_err = (np.concatenate(c) for c in zip(*columns))
        self.flux = 10.0 ** (-0.4 * (self.mag - MAG_ZERO))
        self.flux_err = 0.4 * math.log(10.0) * self.flux * self.mag_err
        self.starts = np.concatenate(([0], np.cumsum(lengths)[:-1]))
        self.lengths = np.array(lengths)
        self.observatory = np.repeat(np.arange(len(lengths)), lengths)

    def __len__(self):
        return len(self.t)

    def block(self, k):
        return slice(self.starts[k], self.starts[k] + self.lengths[k])


def linear_coefficient(gamma):
    """The coefficient a of I(mu) = 1 - a (1 - mu) for MulensModel's Gamma."""
    return 3.0 * gamma / (2.0 + gamma)


class SingleLensFit:
    """Weighted residuals of the single-lens model, with fs and fb solved per
    observatory, and their exact Jacobian in (t0, u0, tE, rho)."""

    def __init__(self, data, gamma=GAMMA):
        self.data = data
        self.weight = 1.0 / data.flux_err ** 2
        # One light_curve call per band over that band's epochs: each epoch is computed
        # once, in its own band's law (a 2-D `coefficients` call would compute every
        # band at every epoch and keep one).
        band_of_row = np.array(data.bands)[data.observatory]
        self.band_rows = {band: np.flatnonzero(band_of_row == band) for band in dict.fromkeys(data.bands)}
        self.band_coefficient = {band: linear_coefficient(gamma[band]) for band in self.band_rows}
        self.evaluations = 0
        self._cached = None

    def magnification(self, params, gradient=False):
        """A at every epoch, and with gradient=True also dA/d(t0, u0, tE, rho), n x 4."""
        t0, u0, te, rho = params
        n = len(self.data)
        a = np.empty(n)
        jac = np.empty((n, 4)) if gradient else None
        for band, rows in self.band_rows.items():
            result = magnifex.light_curve(self.data.t[rows], t0, u0, te, rho, law="linear",
                                          coefficients=(self.band_coefficient[band],), gradient=gradient)
            if gradient:
                a[rows], jac[rows] = result[0], result[1][:, :4]  # drop dA/da: a is held fixed
            else:
                a[rows] = result
        self.evaluations += 1
        return a, jac

    def _sums(self, values):
        """Sum of `values` (n or n x m) over each observatory's block."""
        return np.add.reduceat(values, self.data.starts, axis=0)

    def fluxes(self, a):
        """fs, fb of each observatory minimising sum w (F - fs A - fb)^2, and the normal
        matrices' entries (sum w, sum w A, sum w A^2) the Jacobian reuses."""
        w, f = self.weight, self.data.flux
        s, sa, saa, sf, saf = self._sums(np.column_stack((w, w * a, w * a * a, w * f, w * a * f))).T
        det = s * saa - sa * sa
        return (s * saf - sa * sf) / det, (saa * sf - sa * saf) / det, (s, sa, saa, det)

    def evaluate(self, params):
        """Weighted residuals r = (F - fs A - fb) / sigma and dr/d(t0, u0, tE, rho).

        With c = (fs, fb) solving the normal equations N c = b, N = [[sum wA^2, sum wA],
        [sum wA, sum w]], b = [sum wAF, sum wF], differentiating them along a parameter
        gives N dc = [sum w dA (F - fs A - fb), 0] - fs [sum w A dA, sum w dA], and then
        dr = -(fs dA + A dfs + dfb) / sigma: the Golub-Pereyra derivative, which
        Kaufman's approximation (1975, BIT 15, 49) would truncate by leaving out dfs, dfb.
        """
        key = tuple(float(p) for p in params)
        if self._cached is not None and self._cached[0] == key:
            return self._cached[1]
        a, da = self.magnification(key, gradient=True)
        fs, fb, (s, sa, saa, det) = self.fluxes(a)
        k = self.data.observatory
        flux_residual = self.data.flux - fs[k] * a - fb[k]
        w = self.weight[:, None]
        g1 = self._sums(w * da * flux_residual[:, None]) - fs[:, None] * self._sums(w * da * a[:, None])
        g2 = -fs[:, None] * self._sums(w * da)
        dfs = (s[:, None] * g1 - sa[:, None] * g2) / det[:, None]
        dfb = (saa[:, None] * g2 - sa[:, None] * g1) / det[:, None]
        sigma = self.data.flux_err[:, None]
        residual = flux_residual / self.data.flux_err
        jacobian = -(fs[k][:, None] * da + a[:, None] * dfs[k] + dfb[k]) / sigma
        self._cached = (key, (residual, jacobian, a, da, fs, fb))
        return self._cached[1]

    def residuals(self, params):
        return self.evaluate(params)[0]

    def jacobian(self, params):
        return self.evaluate(params)[1]


class FitResult:
    def __init__(self, problem, solution, seconds):
        self.params = solution.x
        residual, _, self.magnification, da, self.fs, self.fb = problem.evaluate(solution.x)
        data = problem.data
        self.residual = residual
        self.chi2 = float(residual @ residual)
        self.chi2_per_observatory = np.add.reduceat(residual * residual, data.starts)
        self.dof = len(data) - len(PARAMETERS) - 2 * len(data.names)
        # Covariance of all parameters (t0, u0, tE, rho, then every fs and fb) from the
        # Gauss-Newton matrix J^T J of the full problem; its first block is the
        # covariance of the nonlinear parameters with the fluxes marginalised. It is
        # scaled by chi^2/dof, i.e. the error bars are taken as underestimated by a common
        # factor (the unmodelled anomaly adds to that factor too).
        k = data.observatory
        n_obs = len(data.names)
        full = np.zeros((len(data), 4 + 2 * n_obs))
        full[:, :4] = -self.fs[k][:, None] * da
        full[np.arange(len(data)), 4 + k] = -self.magnification
        full[np.arange(len(data)), 4 + n_obs + k] = -1.0
        full /= data.flux_err[:, None]
        self.covariance = np.linalg.inv(full.T @ full)[:4, :4] * (self.chi2 / self.dof)
        self.sigma = np.sqrt(np.diag(self.covariance))
        self.evaluations = problem.evaluations
        self.nfev, self.njev = solution.nfev, solution.njev
        self.seconds = seconds
        self.message = solution.message


def fit(data, start=START, gamma=GAMMA):
    """Least-squares fit of t0, u0, tE, rho from `start`, fluxes solved at each step."""
    from scipy.optimize import least_squares

    problem = SingleLensFit(data, gamma)
    began, began_cpu = time.perf_counter(), time.process_time()
    solution = least_squares(problem.residuals, np.asarray(start, float), jac=problem.jacobian,
                             bounds=([-np.inf, 0.0, 0.0, 0.0], np.inf), x_scale="jac", method="trf")
    seconds = (time.perf_counter() - began, time.process_time() - began_cpu)
    if not solution.success:
        raise RuntimeError(f"the fit did not converge: {solution.message}")
    return problem, FitResult(problem, solution, seconds)


def print_report(data, result):
    print(f"MOA-2008-BLG-310: {len(data)} points from {len(data.names)} observatories; "
          "point lens, finite source, linear limb darkening")
    print()
    print(f"{'parameter':<12}{'fitted':>24}{'published':>15}{'difference':>12}")
    units = {"t0": "HJD'", "u0": "", "tE": "d", "rho": ""}
    for name, value, sigma, published, decimals in zip(PARAMETERS, result.params, result.sigma, PUBLISHED,
                                                       PUBLISHED_DIGITS):
        label = f"{name} [{units[name]}]" if units[name] else name
        digits = max(0, 1 - int(math.floor(math.log10(sigma))))  # two significant digits of sigma
        fitted = f"{value:.{digits}f} +- {sigma:.{digits}f}"
        shift = (100.0 * (value - published) / published if name != "t0"
                 else (value - published) * 24.0 * 60.0)
        difference = f"{shift:+.1f} %" if name != "t0" else f"{shift:+.1f} min"
        print(f"{label:<12}{fitted:>24}{published:>15.{decimals}f}{difference:>12}")
    print("uncertainties: from J^T J at the optimum with fs, fb marginalised, scaled by "
          f"chi^2/dof = {result.chi2 / result.dof:.3f}")
    print("published: Janczak et al. 2010 (ApJ 711, 731), the planetary model")
    print()
    print(f"{'observatory':<12}{'band':>5}{'Gamma':>7}{'points':>8}{'chi^2':>10}{'chi^2/N':>9}"
          f"{'fs':>10}{'fb':>10}")
    for k, name in enumerate(data.names):
        band = data.bands[k]
        n = data.lengths[k]
        chi2 = result.chi2_per_observatory[k]
        print(f"{name:<12}{band:>5}{GAMMA[band]:>7.2f}{n:>8d}{chi2:>10.1f}{chi2 / n:>9.2f}"
              f"{result.fs[k]:>10.2f}{result.fb[k]:>10.2f}")
    print(f"{'all':<12}{'':>5}{'':>7}{len(data):>8d}{result.chi2:>10.1f}{result.chi2 / len(data):>9.2f}")
    print(f"(fluxes in units of magnitude {MAG_ZERO:g}: F = 10^(-0.4 (m - {MAG_ZERO:g})))")
    print()
    print(f"model evaluations: {result.evaluations}, each {len(data)} epochs with the exact Jacobian "
          f"(one light_curve call per band);\nleast_squares asked for {result.nfev} residual vectors and "
          f"{result.njev} Jacobians")
    print(f"fit took {result.seconds[0]:.3f} s ({result.seconds[1]:.3f} s of CPU time)")
    print()
    peak = np.abs(data.t - result.params[0]) < ANOMALY_HALF_WIDTH
    residual = result.residual
    print(f"The peak holds the planetary anomaly of MOA-2008-BLG-310Lb, a sub-Saturn-mass planet\n"
          f"(Janczak et al. 2010), which a single lens does not model. The {peak.sum()} points within "
          f"{ANOMALY_HALF_WIDTH} d\nof t0 give chi^2 = {residual[peak] @ residual[peak]:.0f} "
          f"({residual[peak] @ residual[peak] / peak.sum():.2f} per point), the other {(~peak).sum()} give "
          f"{residual[~peak] @ residual[~peak]:.0f} ({residual[~peak] @ residual[~peak] / (~peak).sum():.2f} "
          "per point);\nthe anomaly also pulls the single-lens parameters a few per cent from the published\n"
          "planetary solution.")


def plot(path, data, result):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    t0, u0, te, rho = result.params
    k = data.observatory
    fs, fb = result.fs[k], result.fb[k]
    # every observatory on one magnification scale through its own fs, fb
    observed = (data.flux - fb) / fs
    observed_err = data.flux_err / fs
    relative = 100.0 * (observed / result.magnification - 1.0)
    relative_err = 100.0 * observed_err / result.magnification

    fig, axes = plt.subplots(2, 2, figsize=(13, 7.5), sharex="col",
                             gridspec_kw={"height_ratios": [3, 1.3], "width_ratios": [1, 1.2]})
    windows = ((t0 - 1.6 * te, t0 + 1.6 * te), (t0 - ANOMALY_HALF_WIDTH - 0.1, t0 + ANOMALY_HALF_WIDTH + 0.1))
    for column, (low, high) in enumerate(windows):
        top, bottom = axes[0, column], axes[1, column]
        for j, name in enumerate(data.names):
            rows = np.flatnonzero((k == j) & (data.t >= low) & (data.t <= high))
            style = dict(fmt="o", markersize=2.0 if name == "MOA" else 2.8, color=f"C{j}", alpha=0.7,
                         elinewidth=0.6, capsize=0, label=f"{name} ({data.bands[j]})")
            top.errorbar(data.t[rows], observed[rows], observed_err[rows], **style)
            bottom.errorbar(data.t[rows], relative[rows], relative_err[rows], **style)
        grid = np.linspace(low, high, 2000)
        for band, line in (("I", "-"), ("R", "--"), ("H", ":")):
            curve = magnifex.light_curve(grid, t0, u0, te, rho, law="linear",
                                         coefficients=(linear_coefficient(GAMMA[band]),))
            top.plot(grid, curve, color="k", linestyle=line, linewidth=1.0,
                     label=f"model, {band} (Γ = {GAMMA[band]:.2f})")
        bottom.axhline(0.0, color="k", linewidth=0.8)
        bottom.set_xlabel("HJD − 2450000 [d]")
        bottom.set_xlim(low, high)
        bottom.ticklabel_format(axis="x", useOffset=False)
        for axis in (top, bottom):
            axis.grid(alpha=0.3)
    (full, zoom), (full_residual, zoom_residual) = axes
    full.set_yscale("log")
    full.set_ylim(0.7, 700)
    full.set_ylabel("magnification A = (F − fb) / fs")
    fig.suptitle(f"MOA-2008-BLG-310, point lens and limb-darkened source: t0 = {t0:.5f}, u0 = {u0:.5f}, "
                 f"tE = {te:.2f} d, ρ = {rho:.5f}, χ² = {result.chi2:.0f} for {len(data)} points")
    full.set_title(f"the event, t0 ± {1.6 * te:.0f} d", fontsize="medium")
    handles, labels = full.get_legend_handles_labels()
    data_first = [i for i, label in enumerate(labels) if not label.startswith("model")]
    data_first += [i for i in range(len(labels)) if i not in data_first]
    full.legend([handles[i] for i in data_first], [labels[i] for i in data_first], loc="upper left",
                fontsize="small", markerscale=2.0)
    zoom.set_ylim(0.0, 1.12 * max(result.magnification.max(),
                                  observed[np.abs(data.t - t0) < ANOMALY_HALF_WIDTH].max()))
    zoom.set_title("the peak: its planetary anomaly is not modelled", fontsize="medium")
    full_residual.set_ylim(-40, 40)
    zoom_residual.set_ylim(-8, 8)
    for axis in (full_residual, zoom_residual):
        axis.set_ylabel("data / model − 1 [%]")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", "-o", default="fit_event.png", help="path of the plot (default %(default)s)")
    parser.add_argument("--no-plot", action="store_true", help="print the fit only, draw no plot")
    parser.add_argument("--data", default=DATA_DIR, help="folder of the seven .tbl files (default: %(default)s)")
    return parser.parse_args(argv)


def main(argv=None):
    args = parse_arguments(argv)
    try:
        import scipy  # noqa: F401
    except ImportError:
        print("fit_event.py needs scipy for the fit: pip install \".[examples]\" (or pip install scipy)",
              file=sys.stderr)
        return 2
    data = Photometry(args.data)
    problem, result = fit(data)
    print_report(data, result)
    if args.no_plot:
        return 0
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("\nno plot: matplotlib is missing; pip install \".[examples]\" (or pip install matplotlib) "
              "to draw it")
        return 0
    plot(args.output, data, result)
    print(f"\nplot written to {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
