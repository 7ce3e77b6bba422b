"""A brute-force chi^2 scan of MOA-2008-BLG-310 on a Dask cluster.

The event's photometry (seven observatories, 3,482 points, examples/data/MB08310/,
read as examples/fit_event.py reads it) is fitted by a point lens and a source
with linear limb darkening at every point of a grid in (u0, rho, tE), with t0
fixed at HJD 2454656.39975 (Janczak et al. 2010). At every grid point each
observatory's source flux fs and blend flux fb are solved by weighted linear least
squares, so chi^2 is the minimum over the 14 fluxes. One light_curve call per band
gives the magnification at that band's epochs. (That t0 is the planetary model's; the
single lens of examples/fit_event.py, t0 free, puts it 1.1 minutes earlier and reaches
a chi^2 some 450 lower than the grid's best point.)

The grid is cut into tasks of --points-per-task consecutive points (about a second
of work each); the data go to every worker once (Client.scatter). The scan runs on
a LocalCluster of this machine by default (one worker process per core, one
thread each) or on a running cluster (--scheduler; its workers need magnifex and
numpy), with a progress bar. The script then scans the same grid in this process,
checks that both chi^2 grids are equal bit for bit, prints the speed-up and the
best grid point, and writes

    OUTPUT.npz    the axes u0, rho, tE, chi2 (u0 x rho x tE) and the best point
    OUTPUT.png    Delta chi^2 in the three planes through the best point (matplotlib)

    pip install ".[dask,examples]"
    python examples/grid_dask.py                           # 40 x 40 x 24 points, LocalCluster
    python examples/grid_dask.py --u0 10 --rho 10 --te 6 --output small
    python examples/grid_dask.py --workers 1 --threads 2   # one process, two threads
    python examples/grid_dask.py --scheduler tcp://scheduler.example.org:8786
"""
import argparse
import sys
import time

import numpy as np

import magnifex
import dask_cluster
from dask_cluster import load
from fit_event import HJD_OFFSET, PUBLISHED, Photometry, SingleLensFit

T0 = PUBLISHED[0]  # HJD' = HJD - 2450000, the published t0
# Ranges of the grid, evenly spaced: about ten times the fitted values' uncertainties on
# either side (each about 5 per cent, examples/fit_event.py). chi^2 has a long, narrow
# valley along rho tE = const and u0 tE = const (the source's crossing time and the
# peak's width are what the data fix): across it chi^2 rises by hundreds from one grid
# step to the next, along it by tens over the whole range of tE.
U0_RANGE = (0.0015, 0.0050)
RHO_RANGE = (0.0035, 0.0075)
TE_RANGE = (7.0, 16.0)
BLOCK = 64  # grid points whose magnifications are held at once in a task


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--u0", type=int, default=40, help="grid points in u0, %g .. %g (default %%(default)s)"
                        % U0_RANGE)
    parser.add_argument("--rho", type=int, default=40, help="grid points in rho, %g .. %g (default %%(default)s)"
                        % RHO_RANGE)
    parser.add_argument("--te", type=int, default=24, help="grid points in tE, %g .. %g d (default %%(default)s)"
                        % TE_RANGE)
    parser.add_argument("--points-per-task", type=int, default=1_280,
                        help="grid points per task, about a second of work here (default %(default)s)")
    parser.add_argument("--output", "-o", default="grid_dask",
                        help="path of the outputs without extension: .npz and .png (default %(default)s)")
    parser.add_argument("--no-plot", action="store_true", help="write the .npz only")
    dask_cluster.add_arguments(parser)
    args = parser.parse_args(argv)
    if min(args.u0, args.rho, args.te, args.points_per_task, args.workers, args.threads) < 1:
        parser.error("all counts must be at least 1")
    return args


def axis(low, high, n):
    """n values from low to high, evenly spaced (the middle one for n = 1)."""
    return np.linspace(low, high, n) if n > 1 else np.array([0.5 * (low + high)])


def model_data(photometry):
    """What a task needs of the photometry, as plain arrays: epochs, fluxes, weights,
    each observatory's block, and each band's rows, epochs and linear coefficient, as
    examples/fit_event.py's model sets them up."""
    model = SingleLensFit(photometry)
    bands = {band: (rows, photometry.t[rows], (model.band_coefficient[band],))
             for band, rows in model.band_rows.items()}
    return {"t": photometry.t, "flux": photometry.flux, "weight": model.weight,
            "observatory": photometry.observatory, "starts": photometry.starts, "bands": bands}


def chi2_block(data, u0, rho, te, buffers=None):
    """chi^2 of the grid points (u0[j], rho[j], te[j]) with fs, fb solved per observatory,
    and the fluxes, fs and fb (points x observatories).

    The points x epochs arrays are formed in `buffers` (three of at least len(u0) rows)
    that a task reuses from block to block: fresh arrays of this size are mapped from
    the system and faulted in page by page at every block, which cost a tenth of the
    time in one process and a third on a Dask worker (whose allocator gives memory back
    to the system early: Dask sets MALLOC_TRIM_THRESHOLD_ for its workers)."""
    n, m = len(u0), len(data["t"])
    if buffers is None:
        buffers = np.empty((3, n, m))
    a, x, y = (b[:n] for b in buffers)
    for j in range(n):
        for rows, t, coefficients in data["bands"].values():
            a[j, rows] = magnifex.light_curve(t, T0, u0[j], te[j], rho[j], law="linear", coefficients=coefficients)
    w, f, starts, k = data["weight"], data["flux"], data["starts"], data["observatory"]
    s = np.add.reduceat(w, starts)
    sf = np.add.reduceat(w * f, starts)
    np.multiply(w, a, out=x)
    sa = np.add.reduceat(x, starts, axis=1)
    saa = np.add.reduceat(np.multiply(x, a, out=y), starts, axis=1)
    saf = np.add.reduceat(np.multiply(x, f, out=y), starts, axis=1)
    det = s * saa - sa * sa
    fs = (s * saf - sa * sf) / det
    fb = (saa * sf - sa * saf) / det
    # residual F - fs A - fb, then w residual^2, summed over the epochs
    np.multiply(np.take(fs, k, axis=1, out=x), a, out=x)
    x += np.take(fb, k, axis=1, out=y)
    np.subtract(f, x, out=x)
    np.multiply(x, x, out=x)
    x *= w
    return np.sum(x, axis=1), fs, fb


def scan(data, u0, rho, te):
    """One task: chi^2 at each grid point (u0[j], rho[j], te[j])."""
    buffers = np.empty((3, min(BLOCK, len(u0)), len(data["t"])))
    return np.concatenate([chi2_block(data, u0[i:i + BLOCK], rho[i:i + BLOCK], te[i:i + BLOCK], buffers)[0]
                           for i in range(0, len(u0), BLOCK)])


def tasks(axes, per_task):
    """The grid's points in C order (u0 slowest, tE fastest), cut into (u0, rho, tE)
    arrays of per_task points."""
    u0, rho, te = (g.ravel() for g in np.meshgrid(*axes, indexing="ij"))
    return [(u0[i:i + per_task], rho[i:i + per_task], te[i:i + per_task]) for i in range(0, len(u0), per_task)]


def run_on_cluster(client, data, work):
    from dask.distributed import progress

    began = time.perf_counter()
    shared = client.scatter(data, broadcast=True)
    futures = [client.submit(scan, shared, *points, key=f"grid-task-{i:05d}", pure=False)
               for i, points in enumerate(work)]
    progress(futures)
    chi2 = np.concatenate(client.gather(futures))
    return chi2, time.perf_counter() - began


def plot(path, axes, chi2, best, published, n_data):
    """Delta chi^2 in the three planes of two parameters, each pixel the minimum over the
    third (the profile), with the best grid point and the published solution."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.colors import BoundaryNorm

    labels = ("u0", "ρ", "tE [d]")
    delta = chi2 - chi2[best]
    levels = np.array([0, 10, 25, 50, 100, 200, 400, 800, 1600, 3200, 6400, 12800])
    cmap = plt.get_cmap("magma", len(levels))
    norm = BoundaryNorm(levels, cmap.N, extend="max")
    fig, panels = plt.subplots(1, 3, figsize=(16, 5.4), constrained_layout=True)
    for panel, (x, y) in zip(panels, ((0, 1), (0, 2), (1, 2))):
        plane = delta.min(axis=3 - x - y)  # indexed (x, y), since x < y
        image = panel.pcolormesh(axes[x], axes[y], plane.T, cmap=cmap, norm=norm, shading="nearest")
        panel.plot(axes[x][best[x]], axes[y][best[y]], "o", markersize=11, markerfacecolor="none",
                   markeredgecolor="cyan", markeredgewidth=2, label="best grid point")
        panel.plot(published[x], published[y], "x", color="lime", markersize=10, markeredgewidth=2.5,
                   label="Janczak et al. 2010 (planetary model)")
        panel.set_xlabel(labels[x], fontsize="large")
        panel.set_ylabel(labels[y], fontsize="large")
        panel.set_title(f"Δχ² minimised over {labels[3 - x - y].split()[0]}", fontsize="large")
    panels[0].legend(loc="upper left", framealpha=0.9)
    bar = fig.colorbar(image, ax=panels, ticks=levels, shrink=0.95, pad=0.01)
    bar.set_label("Δχ² from the best grid point", fontsize="large")
    fig.suptitle(f"MOA-2008-BLG-310, point lens and linearly limb-darkened source on a "
                 f"{' x '.join(str(len(a)) for a in axes)} grid: t0 = HJD {T0 + HJD_OFFSET:.5f} fixed, "
                 f"fs and fb solved per observatory; χ²_min = {chi2[best]:.1f} for {n_data} points",
                 fontsize="large")
    fig.savefig(path, dpi=100)
    plt.close(fig)


def main(argv=None):
    args = parse_arguments(argv)
    if not dask_cluster.require_distributed("grid_dask.py"):
        return 2

    photometry = Photometry()
    data = model_data(photometry)
    axes = (axis(*U0_RANGE, args.u0), axis(*RHO_RANGE, args.rho), axis(*TE_RANGE, args.te))
    shape = tuple(len(a) for a in axes)
    work = tasks(axes, args.points_per_task)
    points = int(np.prod(shape))
    print(f"MOA-2008-BLG-310: {len(photometry)} points from {len(photometry.names)} observatories; "
          f"t0 = HJD {T0 + HJD_OFFSET:.5f} fixed")
    print(f"grid: {args.u0} u0 x {args.rho} rho x {args.te} tE = {points} points, "
          f"{len(work)} tasks of up to {args.points_per_task}")

    with dask_cluster.connect(args) as (client, threads):
        chi2, cluster_seconds = run_on_cluster(client, data, work)
        print(f"cluster done; {load()}")

    began, began_cpu = time.perf_counter(), time.process_time()
    expected = np.concatenate([scan(data, *points) for points in work])
    serial_seconds, serial_cpu = time.perf_counter() - began, time.process_time() - began_cpu
    same = chi2.tobytes() == expected.tobytes()

    print(f"cluster:     {cluster_seconds:8.2f} s, {points / cluster_seconds:8.0f} grid points/s")
    print(f"one process: {serial_seconds:8.2f} s, {points / serial_seconds:8.0f} grid points/s "
          f"({serial_cpu:.1f} s of CPU, {1e3 * serial_cpu / points:.3f} ms per grid point); {load()}")
    print("chi^2 grids of the cluster and of this process equal bit for bit: " + ("yes" if same else "NO"))
    print(f"speed-up over one process: {serial_seconds / cluster_seconds:.2f} "
          f"on {threads} thread{'s' if threads > 1 else ''}")

    chi2 = chi2.reshape(shape)
    best = np.unravel_index(np.argmin(chi2), shape)
    u0, rho, te = (a[i] for a, i in zip(axes, best))
    _, fs, fb = chi2_block(data, [u0], [rho], [te])
    print()
    print(f"best grid point: u0 = {u0:.5f}, rho = {rho:.5f}, tE = {te:.2f} d, chi^2 = {chi2[best]:.1f} "
          f"for {len(photometry)} points")
    print(f"published (planetary model): u0 = {PUBLISHED[1]:.5f}, rho = {PUBLISHED[3]:.5f}, tE = {PUBLISHED[2]:.2f} d")
    edges = [name for name, i, n in zip(("u0", "rho", "tE"), best, shape) if n > 2 and i in (0, n - 1)]
    if edges:
        print(f"the best point lies on the grid's edge in {', '.join(edges)}: widen the range")
    print("fluxes at the best point: " + ", ".join(f"{name} fs {a:.2f} fb {b:.2f}"
                                                    for name, a, b in zip(photometry.names, fs[0], fb[0])))
    np.savez(args.output + ".npz", u0=axes[0], rho=axes[1], tE=axes[2], chi2=chi2, t0=T0,
             best=np.array([T0, u0, te, rho]), fs=fs[0], fb=fb[0], observatories=np.array(photometry.names))
    print(f"chi^2 grid written to {args.output}.npz")
    if not args.no_plot:
        try:
            import matplotlib  # noqa: F401
        except ImportError:
            print("no plot: matplotlib is missing; pip install \".[examples]\" (or pip install matplotlib)")
        else:
            published = (PUBLISHED[1], PUBLISHED[3], PUBLISHED[2])
            plot(args.output + ".png", axes, chi2, best, published, len(photometry))
            print(f"Delta chi^2 map written to {args.output}.png")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
