"""A grid of limb-darkened light curves computed on a Dask cluster.

Every event of the grid (impact parameter u0 x source radius rho) is sampled at
the same epochs; the separations of all events are cut into chunks, and each
chunk is one task that calls magnifex.integrated_heyrovsky_magnification on a
worker. magnifex holds the interpreter lock for the whole of a call, so threads
of one process cannot share the work: the workers are processes (one thread
each), on this machine by default (a LocalCluster on the loopback interface) or
on a running cluster given by --scheduler.

The script computes the same grid once more in this process, checks that the
two results are identical, and reports the speed-up over the serial run.

    pip install ".[dask]"
    python examples/grid_dask.py                          # LocalCluster, one worker per core
    python examples/grid_dask.py --workers 2 --u0 4 --rho 3 --epochs 1000
    python examples/grid_dask.py --scheduler tcp://scheduler.example.org:8786
"""
import argparse
import math
import os
import sys
import time

import magnifex


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--u0", type=int, default=8, help="number of impact parameters, 0.001 .. 0.1 (default %(default)s)")
    parser.add_argument("--rho", type=int, default=4, help="number of source radii, 0.005 .. 0.05 (default %(default)s)")
    parser.add_argument("--epochs", type=int, default=1000, help="epochs per event (default %(default)s)")
    parser.add_argument("--chunk", type=int, default=250, help="separations per task (default %(default)s)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the LocalCluster (default: the number of cores, %(default)s)")
    parser.add_argument("--scheduler", metavar="ADDRESS", default=None,
                        help="address of a running Dask scheduler, e.g. tcp://host:8786 (default: a LocalCluster)")
    args = parser.parse_args(argv)
    if min(args.u0, args.rho, args.epochs, args.chunk, args.workers) < 1:
        parser.error("all counts must be at least 1")
    return args


def spaced(low, high, n):
    """n values from low to high, evenly spaced in log."""
    if n == 1:
        return [math.sqrt(low * high)]
    return [low * (high / low) ** (i / (n - 1)) for i in range(n)]


def grid(n_u0, n_rho, n_epochs):
    """Events (u0, rho) and, per event, the separations l in source radii at
    epochs tau = (t - t0) / tE from -0.2 to 0.2."""
    taus = [-0.2 + 0.4 * i / max(1, n_epochs - 1) for i in range(n_epochs)]
    events = [(u0, rho) for u0 in spaced(0.001, 0.1, n_u0) for rho in spaced(0.005, 0.05, n_rho)]
    separations = [[math.hypot(tau, u0) / rho for tau in taus] for u0, rho in events]
    return events, separations


def tasks(events, separations, chunk):
    """(event index, start, separations, rstar) per task; re = 1, rstar = rho."""
    for k, ((_, rho), l) in enumerate(zip(events, separations)):
        for start in range(0, len(l), chunk):
            yield k, start, l[start:start + chunk], rho


def magnify(l, rstar):
    """One task: runs in a worker process."""
    import magnifex

    return magnifex.integrated_heyrovsky_magnification(l, 1.0, rstar)


def serial(events, separations):
    return [magnifex.integrated_heyrovsky_magnification(l, 1.0, rho) for (_, rho), l in zip(events, separations)]


def distributed(client, events, separations, chunk):
    work = list(tasks(events, separations, chunk))
    futures = [client.submit(magnify, l, rstar, pure=False) for _, _, l, rstar in work]
    results = [[None] * len(l) for l in separations]
    for (k, start, l, _), values in zip(work, client.gather(futures)):
        results[k][start:start + len(l)] = values
    return results, len(work)


def main(argv=None):
    args = parse_arguments(argv)
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        print("grid_dask.py needs dask.distributed: pip install \".[dask]\" "
              "(or pip install \"dask[distributed]\")", file=sys.stderr)
        return 2

    events, separations = grid(args.u0, args.rho, args.epochs)
    points = sum(len(l) for l in separations)
    print(f"grid: {args.u0} u0 x {args.rho} rho x {args.epochs} epochs = {points} separations")

    start = time.perf_counter()
    expected = serial(events, separations)
    serial_time = time.perf_counter() - start
    print(f"serial, one process:    {serial_time:8.3f} s  ({1e6 * serial_time / points:.1f} us per separation)")

    if args.scheduler:
        cluster, client = None, Client(args.scheduler)
        where = f"cluster at {args.scheduler}"
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address=None)
        client = Client(cluster)
        where = f"LocalCluster of {args.workers} worker processes"
    try:
        # Import magnifex on every worker before timing, as a warm-up task.
        client.run(lambda: __import__("magnifex") and None)
        start = time.perf_counter()
        results, n_tasks = distributed(client, events, separations, args.chunk)
        dask_time = time.perf_counter() - start
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    print(f"dask, {where}: {dask_time:8.3f} s  ({n_tasks} tasks of up to {args.chunk} separations)")

    same = all(a == b for a, b in zip(results, expected))
    print("results equal the serial run: " + ("yes" if same else "NO"))
    print(f"speed-up over one process: {serial_time / dask_time:.2f}")
    peak = max(max(values) for values in expected)
    print(f"largest magnification in the grid: {peak:.4f}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
