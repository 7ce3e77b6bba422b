#!/usr/bin/env python3
"""magnifex beside VBMicrolensing and MulensModel, in one run.

For every workload of benchmarks/workloads.py (a source profile or
limb-darkening law, a source radius rho and a range of separations) it times
each tool that computes that profile, as a user calls it from Python, and
measures each tool's largest relative error against the mpmath oracle cached
in benchmarks/data/oracle.json on the workload's sample (l = 0, the limb and
38 more points; 11 points for the 50-row table, whose oracle costs minutes a
point).

The laws: magnification() (and with gradient=True, which returns the value
with its Jacobian) on every workload: the uniform law on the "disk" ones,
the linear law 0.6 on the "ld" ones, and each law of workloads.LAWS on the
separations and radii of four "ld" workloads, beside the law's 50-row table
(integrated_flux_map_heyrovsky_magnification; its error is the table's
interpolation error), VBMicrolensing's ESPLMag2 of the same law (linear,
quadratic, square-root, logarithmic) and MulensModel's linear law.

Timing: the tools are interleaved, one measurement of each (workload, tool)
in turn, repeated; a measurement times a tool on a strided subset of the
workload's separations (all of them for a fast tool), enough calls to last
about --target seconds, with the garbage collector off, in the CPU time of
the process (time.process_time_ns), so that time spent descheduled on a
loaded machine does not count (caches shared with other processes still
do); BLAS runs on one thread (see below), so a peer's numpy and scipy work
is counted where it happens. Input
conversion (a list or numpy array of separations, a MulensModel model) is
prepared outside the timed region. The table gives the median ns per point, the
interquartile range of the repeats relative to the median, the largest error,
and the ratio of the median to that of the most accurate magnifex function
of the workload (marked *).

Then three sections:
  Targets  per workload with a law, ratios of the medians above: the law
           against integrated_heyrovsky (the linear law 0.6) on the same
           separations, the value with its gradient against the value, and
           both against VBMicrolensing's ESPLMag2 at Tol 1e-2 and 1e-4;
  Bands    one call with B = 1, 2, 4, 8 rows of coefficients (quadratic;
           power-2 with an alpha per band, and with one alpha), ns per
           separation, against one band, timed interleaved with the main table;
  Threads  two threads on chunks of one long array against one call
           (benchmarks/threads.py), in wall-clock time.

Usage:
  python benchmarks/compare.py               full run (several minutes)
  python benchmarks/compare.py --quick       fewer points and repeats
  python benchmarks/compare.py --smoke       three tiny workloads (CI)
  options: --markdown, --cached-oracle (never compute oracle values),
           --workload NAME (repeatable), --skip bands|threads (repeatable),
           --repeats N, --target SECONDS
The peers are optional: pip install VBMicrolensing MulensModel (the "bench"
extra). Without them their rows say "not installed".
"""

import os

# One BLAS thread: the peers' numpy and scipy work is then done, and counted,
# on the timed thread, and no idle BLAS thread spins into the next tool's
# measurement. Set before numpy is imported; a caller's own setting wins.
for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_var, "1")

import argparse
import gc
import math
import platform
import statistics
import sys
import time
import warnings

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import text_table  # noqa: E402
import workloads  # noqa: E402
from workloads import TABLE_BF, TABLE_BL  # noqa: E402

try:
    import numpy as np
except ImportError:          # numpy rows and MulensModel need it
    np = None

import magnifex as mx  # noqa: E402


class NotInstalled(Exception):
    pass


class Tool:
    """One way of computing a profile. `prepare(workload, ls)` builds the call's
    input from separations l in source radii (outside the timed region);
    `run(workload, prepared)` returns the magnifications. `lacks(workload)`
    says why the tool cannot compute a workload of its profiles (a law it
    does not have), or None."""

    def __init__(self, name, profiles, prepare, run, package="magnifex", available=True,
                 lacks=None):
        self.name, self.profiles, self.prepare, self.run = name, profiles, prepare, run
        self.package, self.available = package, available
        self.lacks = lacks or (lambda w: None)


# --------------------------------------------------------------------------
# magnifex

def as_u(w, ls):
    """Separations u = l rho in Einstein radii, as magnification() takes them."""
    if np is None:
        raise NotInstalled("numpy")
    return np.array([l * w.rho for l in ls], dtype=np.float64)


def _mx_tools():
    def as_list(w, ls):
        return list(ls)

    def as_array(w, ls):
        if np is None:
            raise NotInstalled("numpy")
        return np.array(ls, dtype=np.float64)

    def law_table(w, ls):
        return as_array(w, ls), workloads.law_table(w.law, w.coefficients)

    def no_table(w):
        return None if workloads.law_table(w.law, w.coefficients) else "infinite at the limb: no table"

    tab = (TABLE_BL, TABLE_BF)
    # magnification() takes u in Einstein radii; every law: the disk's is the
    # uniform law, the "ld" profile's the linear law LD_COEFF.
    laws = [
        Tool("magnifex magnification (numpy)", ["disk", "ld", "law"], as_u,
             lambda w, u: mx.magnification(u, w.rho, w.law, w.coefficients)),
        Tool("magnifex magnification gradient=True (numpy)", ["disk", "ld", "law"], as_u,
             lambda w, u: mx.magnification(u, w.rho, w.law, w.coefficients, gradient=True)[0]),
        Tool("magnifex flux_map_heyrovsky 50 rows of the law (numpy)", ["law"], law_table,
             lambda w, x: mx.integrated_flux_map_heyrovsky_magnification(x[0], 1.0, w.rho, *x[1]),
             lacks=no_table),
    ]
    return laws + [
        Tool("magnifex witt_mao_magnification (list)", ["disk"], as_list,
             lambda w, x: mx.witt_mao_magnification(x, 1.0, w.rho)),
        Tool("magnifex witt_mao_magnification (numpy)", ["disk"], as_array,
             lambda w, x: mx.witt_mao_magnification(x, 1.0, w.rho)),
        Tool("magnifex integrated_heyrovsky (list)", ["ld"], as_list,
             lambda w, x: mx.integrated_heyrovsky_magnification(x, 1.0, w.rho)),
        Tool("magnifex integrated_heyrovsky (numpy)", ["ld"], as_array,
             lambda w, x: mx.integrated_heyrovsky_magnification(x, 1.0, w.rho)),
        Tool("magnifex integrated_witt_mao (list)", ["ld"], as_list,
             lambda w, x: mx.integrated_witt_mao_magnification(x, 1.0, w.rho)),
        Tool("magnifex flux_map_heyrovsky 50 rows (list)", ["table"], as_list,
             lambda w, x: mx.integrated_flux_map_heyrovsky_magnification(x, 1.0, w.rho, *tab)),
        Tool("magnifex flux_map_heyrovsky 50 rows (numpy)", ["table"], as_array,
             lambda w, x: mx.integrated_flux_map_heyrovsky_magnification(x, 1.0, w.rho, *tab)),
        Tool("magnifex flux_map_witt_mao 50 rows (list)", ["table"], as_list,
             lambda w, x: mx.integrated_flux_map_witt_mao_magnification(x, 1.0, w.rho, *tab)),
    ]


# --------------------------------------------------------------------------
# VBMicrolensing: ESPLMag interpolates a precomputed table of the uniform disk;
# ESPLMag2 integrates the limb-darkened source to its tolerance Tol, with the
# profile of SetLDprofile and coefficients a1, a2; ESPLLightCurve evaluates a
# whole light curve in one call (uniform for a1 = 0, otherwise through
# ESPLMag2). The light curve's parameters are [ln u0, ln tE, t0, ln rho]; with
# u0 = 0, tE = 1, t0 = 0 the separation at time t is sqrt(t^2) = |t|, so the
# times are the separations themselves.
#
# VBMicrolensing's profiles (its LDprofile and rCLDprofile, VBMicrolensing
# 5.6), mu = sqrt(1 - x^2), are batman's laws with a1, a2 = the law's first and
# second coefficient, in the same order:
#   LDlinear      1 - a1 (1 - mu)                         = linear (a,)
#   LDquadratic   1 - a1 (1 - mu) - a2 (1 - mu)^2          = quadratic (a, b)
#   LDsquareroot  1 - a1 (1 - mu) - a2 (1 - sqrt(mu))      = squareroot (c, d)
#   LDlog         1 - a1 (1 - mu) - a2 mu ln mu            = logarithmic (c, d)
# (their normalisations 3 / (3 - a1 - a2/2), 3 / (3 - a1 - 3 a2/5) and
# 3 / (3 - a1 + 2 a2/3) are those fluxes); it has no exponential, power-2 or
# nonlinear law. Checked against magnifex at Tol 1e-7: 2e-6 apart at
# u = rho/2, 1e-4 at the limb, for each of the four.
VB_PROFILES = {"linear": "LDlinear", "quadratic": "LDquadratic",
               "squareroot": "LDsquareroot", "logarithmic": "LDlog"}


def _vb_lacks(w):
    return None if w.law in VB_PROFILES else "no %s law" % w.law


def _vb_tools():
    try:
        import VBMicrolensing
    except ImportError:
        VBMicrolensing = None
    names = [("VBMicrolensing ESPLMag (loop)", ["disk"], None, "mag"),
             ("VBMicrolensing ESPLLightCurve (a1=0)", ["disk"], None, "curve"),
             ("VBMicrolensing ESPLMag2 Tol 1e-2 (loop)", ["ld", "law"], 1e-2, "mag2"),
             ("VBMicrolensing ESPLMag2 Tol 1e-4 (loop)", ["ld", "law"], 1e-4, "mag2"),
             ("VBMicrolensing ESPLLightCurve a1=0.6 Tol 1e-4", ["ld"], 1e-4, "curve")]
    tools = []
    for name, profiles, tol, kind in names:
        lacks = _vb_lacks if "law" in profiles else None
        if VBMicrolensing is None:
            tools.append(Tool(name, profiles, None, None, "VBMicrolensing", False, lacks))
            continue

        def prepare(w, ls, kind=kind, tol=tol):
            # A fresh object per workload: the law is its state.
            vb = VBMicrolensing.VBMicrolensing()
            if tol is not None:
                vb.Tol = tol
            c = w.coefficients or (0.0,)
            if w.law in VB_PROFILES:
                vb.SetLDprofile(getattr(vb, VB_PROFILES[w.law]))
            vb.a1 = c[0]
            vb.a2 = c[1] if len(c) > 1 else 0.0
            us = [l * w.rho for l in ls]
            if kind == "curve":
                return vb.ESPLLightCurve, ([-math.inf, 0.0, 0.0, math.log(w.rho)], us)
            return (vb.ESPLMag if kind == "mag" else vb.ESPLMag2), us

        if kind == "curve":
            def run(w, args):
                f, params = args
                return f(*params)[0]
        else:
            def run(w, args):
                f, us = args
                rho = w.rho
                return [f(u, rho) for u in us]
        tools.append(Tool(name, profiles, prepare, run, "VBMicrolensing", lacks=lacks))
    return tools


# --------------------------------------------------------------------------
# MulensModel: a Model with u0 = 0, tE = 1, t0 = 0 (so the separation at time
# t is |t|) whose finite-source method covers every time, called with an array
# of times as a user fits a light curve; Gamma = 2 a / (3 - a) for the
# linear law a, the only law it has.

def _mm_lacks(w):
    return None if w.law == "linear" else "no %s law" % w.law


def _mm_tools():
    try:
        import MulensModel
    except ImportError:
        MulensModel = None
    names = [("MulensModel finite_source_uniform_Gould94", ["disk"], False),
             ("MulensModel finite_source_uniform_WittMao94", ["disk"], False),
             ("MulensModel finite_source_LD_Yoo04", ["ld", "law"], True),
             ("MulensModel finite_source_LD_Lee09", ["ld", "law"], True)]
    tools = []
    for name, profiles, ld in names:
        lacks = _mm_lacks if ld else None
        if MulensModel is None or np is None:
            tools.append(Tool(name, profiles, None, None, "MulensModel", False, lacks))
            continue
        method = name.split()[1]

        def prepare(w, ls, method=method, ld=ld):
            model = MulensModel.Model({"t_0": 0.0, "u_0": 0.0, "t_E": 1.0, "rho": w.rho})
            model.set_magnification_methods([-1.0, method, w.umax + 1.0])
            # Gamma of the linear law, formed here rather than in the timed call.
            gamma = None
            if ld:
                a = w.coefficients[0]
                gamma = 2 * a / (3 - a)
            return model, np.array([l * w.rho for l in ls], dtype=np.float64), gamma

        def run(w, args, ld=ld):
            model, times, gamma = args
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                if ld:
                    return model.get_magnification(times, gamma=gamma)
                return model.get_magnification(times)
        tools.append(Tool(name, profiles, prepare, run, "MulensModel", lacks=lacks))
    return tools


def all_tools():
    return _mx_tools() + _vb_tools() + _mm_tools()


# --------------------------------------------------------------------------
# Errors against the oracle

def where(w, l):
    if l == 0.0:
        return "u=0"
    if l == 1.0:
        return "limb"
    return "u=%.3g" % (l * w.rho)


def evaluate_each(tool, w, ls):
    """Values at ls, NaN where the tool returns a non-finite value; and the
    points where it raises."""
    try:
        return [float(v) for v in tool.run(w, tool.prepare(w, ls))], []
    except Exception:
        pass
    values, raised = [], []
    for l in ls:
        try:
            values.append(float(tool.run(w, tool.prepare(w, [l]))[0]))
        except Exception:
            values.append(math.nan)
            raised.append(l)
    return values, raised


def sample_of(w, stride):
    return [l for i, l in enumerate(w.sample()) if l in (0.0, 1.0) or i % stride == 0]


def max_error(tool, w, oracle, stride=1):
    """(largest relative error over the points with a value, its text with the
    points where the tool gives no number). stride > 1 keeps l = 0, the limb
    and every stride-th point of the sample."""
    sample = sample_of(w, stride)
    ls = [l for l in sample if l in oracle]
    if not ls:
        return math.inf, "no oracle"
    values, raised = evaluate_each(tool, w, ls)
    worst, nonfinite = 0.0, []
    for l, v in zip(ls, values):
        if l in raised:
            continue
        if not math.isfinite(v):
            nonfinite.append(l)
            continue
        worst = max(worst, abs(v - oracle[l]) / abs(oracle[l]))
    text = "%.1e" % worst
    notes = []
    if nonfinite:
        notes.append("NaN at " + ", ".join(where(w, l) for l in nonfinite[:3])
                     + (" +%d" % (len(nonfinite) - 3) if len(nonfinite) > 3 else ""))
    if raised:
        notes.append("raises at " + ", ".join(where(w, l) for l in raised[:3])
                     + (" +%d" % (len(raised) - 3) if len(raised) > 3 else ""))
    if len(ls) < len(sample):
        notes.append("oracle at %d/%d pts" % (len(ls), len(sample)))
    if notes:
        text += " (" + "; ".join(notes) + ")"
    return worst, text


def oracle_for(chosen, cached_only, log):
    import json
    path = os.path.join(HERE, "data", "oracle.json")
    doc = {"values": {}}
    if os.path.exists(path):
        with open(path) as fh:
            doc = json.load(fh)
    if not cached_only:
        need = [w for w in chosen
                if any(float.hex(l) not in doc["values"].get(w.oracle_key, {}) for l in w.sample())]
        if need:
            import make_oracle
            doc = make_oracle.load()
            jobs = make_oracle.missing(doc, need)
            print("computing %d missing oracle values (slow; --cached-oracle skips)"
                  % sum(len(job[3]) for job in jobs), file=log, flush=True)
            make_oracle.fill(doc, jobs, log=log)
    out = {}
    for w in chosen:
        have = doc["values"].get(w.oracle_key, {})
        out[w.name] = {float.fromhex(k): float(v["value"]) for k, v in have.items()}
    return out


# --------------------------------------------------------------------------
# Timing

class Job:
    def __init__(self, w, tool, grid, target):
        self.w, self.tool, self.samples = w, tool, []
        self._calibrate(grid, target)

    def _calibrate(self, grid, target):
        w, tool = self.w, self.tool
        probe = grid[::max(1, len(grid) // 10)]
        try:
            tool.run(w, tool.prepare(w, probe))
        except Exception:
            # A tool that raises at some points is timed on the others.
            grid = [l for l in grid if not evaluate_each(tool, w, [l])[1]]
            probe = grid[::max(1, len(grid) // 10)]
        if not grid:
            raise RuntimeError("raises at every point")
        args = tool.prepare(w, probe)
        t0 = time.process_time()
        tool.run(w, args)
        per_point = max((time.process_time() - t0) / len(probe), 1e-9)
        n = int(min(len(grid), max(5, target / per_point)))
        self.points = grid[::max(1, len(grid) // n)][:n] if n < len(grid) else grid
        self.args = tool.prepare(w, self.points)
        self.inner = max(1, int(round(target / (per_point * len(self.points)))))
        tool.run(w, self.args)                 # warm-up, not timed

    def measure(self):
        run, w, args, inner = self.tool.run, self.w, self.args, self.inner
        gc.disable()
        try:
            t0 = time.process_time_ns()
            for _ in range(inner):
                run(w, args)
            took = time.process_time_ns() - t0
        finally:
            gc.enable()
        self.samples.append(took / (inner * len(self.points)))

    def median(self):
        return statistics.median(self.samples)

    def iqr(self):
        if len(self.samples) < 2:
            return math.nan
        q = statistics.quantiles(self.samples, n=4, method="inclusive")
        return (q[2] - q[0]) / self.median()


# --------------------------------------------------------------------------
# Output

def fmt_ns(ns):
    if ns < 1e3:
        return "%.0f ns" % ns
    if ns < 1e6:
        return "%.3g µs" % (ns / 1e3)
    return "%.3g ms" % (ns / 1e6)


def versions():
    out = ["magnifex " + getattr(mx, "__version__", "(source)")]
    for name in ("VBMicrolensing", "MulensModel", "numpy"):
        try:
            from importlib.metadata import version
            out.append("%s %s" % (name, version(name)))
        except Exception:
            out.append("%s not installed" % name)
    return ", ".join(out)


HEAD = ["workload", "tool", "ns/pt (median)", "IQR", "max rel. error", "ratio"]


def print_table(rows, markdown, out, head=HEAD, right=(5,)):
    text_table.print_table(rows, markdown, out, head, right, blank_repeats=True)


def section(title, markdown, out):
    print("", file=out)
    print(("### " if markdown else "## ") + title, file=out)
    print("", file=out)


# --------------------------------------------------------------------------
# The main table

def make_jobs(chosen, tools, points, target, oracle, stride):
    """Timing jobs of every (workload, tool) the tool can compute, with its
    error; and the text of those that fail."""
    jobs, failed = [], {}
    for w in chosen:
        grid = w.grid(points)
        for tool in tools:
            if w.profile not in tool.profiles or not tool.available or tool.lacks(w):
                continue
            try:
                job = Job(w, tool, grid, target)
            except Exception as exc:
                failed[(w.name, tool.name)] = ("fails: %s" % str(exc).splitlines()[0][:40], "", "", "")
                continue
            worst, text = max_error(tool, w, oracle[w.name], stride)
            job.error, job.error_text = worst, text
            jobs.append(job)
    return jobs, failed


def main_rows(chosen, tools, jobs, failed):
    rows = []
    for w in chosen:
        mine = [j for j in jobs if j.w is w and j.tool.package == "magnifex"]
        # Equal errors (one function, list or numpy input): the first listed, not the faster by chance.
        ref = min(mine, key=lambda j: (j.error, tools.index(j.tool))) if mine else None
        lacking = {}
        for tool in tools:
            if w.profile not in tool.profiles:
                continue
            name = tool.name + (" *" if ref is not None and tool is ref.tool else "")
            why = tool.lacks(w)
            if why and tool.package != "magnifex":
                packages = lacking.setdefault(why, [])
                if tool.package not in packages:
                    packages.append(tool.package)
                continue
            if why:
                rows.append([w.name, tool.name, why, "", "", ""])
                continue
            if not tool.available:
                rows.append([w.name, tool.name, "not installed", "", "", ""])
                continue
            job = next((j for j in jobs if j.w is w and j.tool is tool), None)
            if job is None:
                rows.append([w.name, name] + list(failed[(w.name, tool.name)]))
                continue
            ratio = "%.3gx" % (job.median() / ref.median()) if ref else ""
            rows.append([w.name, name, fmt_ns(job.median()), "%.0f%%" % (100 * job.iqr()),
                         job.error_text, ratio])
        for why, packages in lacking.items():
            rows.append([w.name, ", ".join(packages), why, "", "", ""])
        if w.profile == "table":
            rows.append([w.name, "VBMicrolensing, MulensModel", "no tabulated profile", "", "", ""])
    return rows


# --------------------------------------------------------------------------
# Targets: ratios of medians of the main table's rows

MAG = "magnifex magnification (numpy)"
GRAD = "magnifex magnification gradient=True (numpy)"
HEY = "magnifex integrated_heyrovsky (numpy)"
VB2 = "VBMicrolensing ESPLMag2 Tol 1e-2 (loop)"
VB4 = "VBMicrolensing ESPLMag2 Tol 1e-4 (loop)"

TARGET_HEAD = ["workload", "law ns/pt", "law / heyrovsky (<= 1.15)", "(A, J) / A (<= 2.5)",
               "A / VB Tol 1e-2 (<= 1)", "(A, J) / VB Tol 1e-4 (<= 1)"]
TARGET_BOUNDS = [1.15, 2.5, 1.0, 1.0]


def target_ratios(chosen, jobs):
    """[(workload, law median, [(ratio or None, stand-in?) of each target])] for
    every workload with a law. The heyrovsky reference (the linear law 0.6)
    is timed on the "ld" workload of the same separations and rho; so is
    VBMicrolensing's linear law 0.6, in place of a law it lacks (uniform,
    exponential, power-2, nonlinear)."""
    def median(w, name):
        job = next((j for j in jobs if j.w is w and j.tool.name == name), None)
        return job.median() if job else None

    out = []
    for w in chosen:
        value, both = median(w, MAG), median(w, GRAD)
        if value is None:
            continue
        ld = next((v for v in chosen if v.profile == "ld" and v.same_separations(w)), None)
        hey = median(ld, HEY) if ld else None
        vb_w, stand_in = (w, False) if w.law in VB_PROFILES and w.profile != "disk" else (ld, True)
        vb2 = median(vb_w, VB2) if vb_w else None
        vb4 = median(vb_w, VB4) if vb_w else None

        def ratio(a, b, peer=False):
            return (a / b if a is not None and b is not None else None, peer and stand_in)
        out.append((w, value, [ratio(value, hey), ratio(both, value),
                               ratio(value, vb2, True), ratio(both, vb4, True)]))
    return out


def target_rows(ratios):
    rows, tally = [], [[0, 0, 0.0, ""] for _ in TARGET_BOUNDS]
    for w, value, cells in ratios:
        row = [w.name, fmt_ns(value)]
        for i, ((r, stand_in), bound) in enumerate(zip(cells, TARGET_BOUNDS)):
            if r is None:
                row.append("n/a")
                continue
            met = r <= bound
            row.append("%.2f %s%s" % (r, "met" if met else "MISSED", " (VB linear)" if stand_in else ""))
            tally[i][0] += met
            tally[i][1] += 1
            if r > tally[i][2]:
                tally[i][2], tally[i][3] = r, w.name
        rows.append(row)
    summary = ["%s: met on %d of %d workloads, largest %.2f (%s)"
               % (TARGET_HEAD[i + 2], met, n, worst, where_) for i, (met, n, worst, where_)
               in enumerate(tally) if n]
    return rows, summary


# --------------------------------------------------------------------------
# Bands: one call with B rows of coefficients against one band

BAND_RANGES = [(0.1, 3.0, "rho=0.1 u in [0,3]"), (0.1, 0.3, "rho=0.1 u in [0,3rho]")]


def band_jobs(points, target, counts):
    jobs = []
    for rho, umax, label in BAND_RANGES:
        for name, (law, _) in workloads.BAND_LAWS.items():
            w = workloads.Workload(label, "law", rho, umax,
                                   law=(law, workloads.band_coefficients(name, 1)))
            grid = w.grid(points)
            for bands in counts:
                rows = np.array(workloads.band_coefficients(name, bands), dtype=np.float64)
                for gradient in (False, True):
                    def run(w, u, rows=rows, gradient=gradient):
                        return mx.magnification(u, w.rho, w.law, rows, gradient=gradient)
                    job = Job(w, Tool("bands", [], as_u, run), grid, target)
                    job.bands, job.gradient, job.label = bands, gradient, name
                    jobs.append(job)
    return jobs


BAND_HEAD = ["separations", "law", "bands B", "A ns/pt", "A / 1 band (<= 1 + 0.1 B)",
             "(A, J) ns/pt", "(A, J) / 1 band"]


def band_rows(jobs):
    rows = []
    for rho, umax, label in BAND_RANGES:
        for law in workloads.BAND_LAWS:
            mine = [j for j in jobs if j.w.name == label and j.label == law]
            one = {g: next(j for j in mine if j.bands == 1 and j.gradient is g).median()
                   for g in (False, True)}
            for bands in sorted({j.bands for j in mine}):
                value = next(j for j in mine if j.bands == bands and not j.gradient).median()
                both = next(j for j in mine if j.bands == bands and j.gradient).median()
                r = value / one[False]
                rows.append([label, law, str(bands), fmt_ns(value),
                             "%.2f %s" % (r, "met" if r <= 1 + 0.1 * bands else "MISSED"),
                             fmt_ns(both), "%.2f" % (both / one[True])])
    return rows


# --------------------------------------------------------------------------

def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    mode = ap.add_mutually_exclusive_group()
    mode.add_argument("--quick", action="store_true", help="200 points, 3 repeats")
    mode.add_argument("--smoke", action="store_true", help="three tiny workloads, 2 repeats (CI)")
    ap.add_argument("--markdown", action="store_true", help="print Markdown tables")
    ap.add_argument("--cached-oracle", action="store_true",
                    help="never compute oracle values; points without one are left out")
    ap.add_argument("--workload", action="append", help="only this workload (repeatable)")
    ap.add_argument("--skip", action="append", default=[], choices=["bands", "threads"],
                    help="leave out a section (repeatable)")
    ap.add_argument("--repeats", type=int)
    ap.add_argument("--target", type=float, help="seconds per measurement")
    args = ap.parse_args(argv)

    if args.smoke:
        points, repeats, target, names, stride = 20, 2, 0.002, workloads.SMOKE, 8
        counts, thread_scale = [1, 2], 0.01
    elif args.quick:
        points, repeats, target, names, stride = 200, 3, 0.02, None, 1
        counts, thread_scale = workloads.BAND_COUNTS, 0.1
    else:
        points, repeats, target, names, stride = workloads.GRID_POINTS, 7, 0.08, None, 1
        counts, thread_scale = workloads.BAND_COUNTS, 1.0
    repeats = args.repeats or repeats
    target = args.target or target
    names = args.workload or names
    chosen = workloads.by_name(names) if names else workloads.WORKLOADS
    bands = "bands" not in args.skip and np is not None
    threaded = "threads" not in args.skip and np is not None
    log = sys.stderr

    started = time.time()
    load_before = os.getloadavg()
    oracle = oracle_for(chosen, args.cached_oracle, log)
    tools = all_tools()

    jobs, failed = make_jobs(chosen, tools, points, target, oracle, stride)
    extra = band_jobs(points, target, counts) if bands else []
    print("%d timings x %d repeats, interleaved" % (len(jobs) + len(extra), repeats),
          file=log, flush=True)
    for _ in range(repeats):
        for job in jobs + extra:
            job.measure()
    thread_rows = []
    if threaded:
        import threads
        thread_rows = threads.measure(thread_scale, repeats, log)

    out, md = sys.stdout, args.markdown
    load_after = os.getloadavg()
    print("# %s; Python %s on %s, %d cores; load average %.1f before, %.1f after; %.0f s"
          % (versions(), platform.python_version(), platform.machine(), os.cpu_count() or 0,
             load_before[0], load_after[0], time.time() - started), file=out)
    print("# %d points per workload (strided subsets for slow tools), %d interleaved repeats; "
          "errors on %s oracle points a workload; ratio to the magnifex row marked *"
          % (points, repeats, " or ".join(sorted({str(len(sample_of(w, stride))) for w in chosen}))),
          file=out)
    print_table(main_rows(chosen, tools, jobs, failed), md, out)

    rows, summary = target_rows(target_ratios(chosen, jobs))
    if rows:
        section("Targets: ratios of the medians above", md, out)
        print("law / heyrovsky: magnification() of the law against integrated_heyrovsky (numpy), "
              "the linear law 0.6, on the same separations and rho (its \"ld\" workload); "
              "VB: ESPLMag2 of the same law, or of the linear law 0.6 where it lacks the law "
              "(VB linear).", file=out)
        print("", file=out)
        print_table(rows, md, out, TARGET_HEAD, right=(1, 2, 3, 4, 5))
        print("", file=out)
        for line in summary:
            print(("- " if md else "  ") + line, file=out)
    if extra:
        section("Bands: one call with B rows of coefficients, ns per separation", md, out)
        print_table(band_rows(extra), md, out, BAND_HEAD, right=(2, 3, 4, 5, 6))
    if thread_rows:  # rows only when threaded, so threads was imported above
        section("Threads: %d threads on chunks of one array, wall-clock time (benchmarks/threads.py)"
                % threads.THREADS, md, out)
        print_table(thread_rows, md, out, threads.HEAD, right=range(2, len(threads.HEAD)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
