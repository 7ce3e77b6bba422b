"""A season of a microlensing survey, simulated on a Dask cluster.

The season is Roman's: 72 days of epochs 15 minutes apart (6,912 epochs), two
bands (W146 and F087). Each event is a point lens and a limb-darkened source
star drawn from simple distributions:

    t0   uniform over the season
    tE   log-normal, median 15 d, sigma of ln tE 0.7, kept within 1 .. 200 d
    rho  log-uniform, 1e-3 .. 1e-1 (Einstein radii)
    u0   log-uniform, rho / 2 .. 1, so that about one event in seven crosses
         the lens with its source and most others pass within a few rho of it
    law  linear, quadratic or power2, one for the star; its coefficients in
         each band follow one star parameter s, uniform in 0 .. 1

One call of magnifex.light_curve gives both bands of an event at every epoch
(a 2-D `coefficients`, one row per band). The events are cut into tasks of
--events-per-task events, about a second of work each; every task writes its
light curves to a file of its own in the output folder and hands back a
summary row per event. The client writes the summary table when all tasks are
done. Files (numpy's formats, read with numpy.load):

    OUTPUT/summary.npz            one row per event: parameters, law and
                                  coefficients, peak magnification and largest
                                  finite-source deviation per band, and the
                                  number of epochs with the lens inside the source
    OUTPUT/curves_NNNNN.npy       the magnification of task NNNNN's events, events x
                                  2 bands x epochs, float32; the summary's columns
                                  `task` and `row` tell where an event's curves are
                                  (numpy.load(path, mmap_mode="r") reads only those)

The light curves are stored as float32 (7 digits, far below a survey's
photometric errors): as float64 one process makes 150-200 MB of them a
second, as fast as this machine's disk writes. The computation itself is in
float64, and every task also returns a SHA-256 digest of its float64 curves.

Last, the script runs a random sample of the tasks (--check, a fraction) again
in this process, checks that the digests, the summaries and the files are the
same bit for bit, and prints events per second for one process and for the
cluster, and the speed-up.

The tasks run on a LocalCluster of this machine by default (one worker
process per core, one thread each), or on a running cluster (--scheduler;
its workers need magnifex and numpy, and OUTPUT must be a folder they all can
write, on a shared file system).

    pip install ".[dask]"
    python examples/survey_dask.py                         # 40,000 events, LocalCluster
    python examples/survey_dask.py --events 2000 --events-per-task 200 --output /tmp/season
    python examples/survey_dask.py --workers 1 --threads 2  # one process, two threads
    python examples/survey_dask.py --scheduler tcp://scheduler.example.org:8786 --output /shared/season
"""
import argparse
import hashlib
import math
import os
import sys
import tempfile
import time

import numpy as np

import magnifex
import dask_cluster
from dask_cluster import load

SEASON_DAYS = 72.0
CADENCE_DAYS = 15.0 / (24.0 * 60.0)
BANDS = ("W146", "F087")

# Limb-darkening coefficients (batman's conventions) of each law in each band, for the
# two ends of the star parameter s (s = 0 a cooler, s = 1 a hotter bulge star); a star's
# coefficients are interpolated linearly in s. Rough values for G and K giants, not
# taken from a table: F087 (0.87 um) is darkened more than W146 (1.46 um).
LIMB_DARKENING = {
    "linear": {"W146": ((0.55,), (0.40,)), "F087": ((0.70,), (0.55,))},
    "quadratic": {"W146": ((0.30, 0.25), (0.15, 0.30)), "F087": ((0.45, 0.25), (0.30, 0.30))},
    "power2": {"W146": ((0.65, 0.55), (0.55, 0.65)), "F087": ((0.75, 0.55), (0.65, 0.65))},
}
LAWS = tuple(LIMB_DARKENING)
MAX_COEFFICIENTS = 2


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--events", type=int, default=40_000, help="events in the season (default %(default)s)")
    parser.add_argument("--events-per-task", type=int, default=1_000,
                        help="events per task, about a second of work here (default %(default)s)")
    parser.add_argument("--seed", type=int, default=2026, help="seed of the event draws (default %(default)s)")
    parser.add_argument("--output", default="survey_season", help="folder of the output files (default %(default)s)")
    parser.add_argument("--check", type=float, default=0.25,
                        help="fraction of the tasks run again in this process and compared bit for bit, "
                             "at least one task (default %(default)s)")
    dask_cluster.add_arguments(parser)
    args = parser.parse_args(argv)
    if min(args.events, args.events_per_task, args.workers, args.threads) < 1:
        parser.error("--events, --events-per-task, --workers and --threads must be at least 1")
    if not 0.0 <= args.check <= 1.0:
        parser.error("--check is a fraction, 0 .. 1")
    return args


def epochs():
    """The season's epochs in days from its start: the cadence times an integer, so that
    every process forms the same values."""
    return np.arange(round(SEASON_DAYS / CADENCE_DAYS)) * CADENCE_DAYS


def draw_events(n, seed):
    """Parameters of n events as columns; coefficients is n x bands x MAX_COEFFICIENTS,
    NaN where a law has fewer."""
    rng = np.random.default_rng(seed)
    t0 = rng.uniform(0.0, SEASON_DAYS, n)
    te = np.clip(np.exp(rng.normal(math.log(15.0), 0.7, n)), 1.0, 200.0)
    rho = np.exp(rng.uniform(math.log(1e-3), math.log(1e-1), n))
    u0 = np.exp(rng.uniform(np.log(rho / 2.0), 0.0))
    law = rng.integers(0, len(LAWS), n).astype(np.int8)
    s = rng.uniform(0.0, 1.0, n)
    coefficients = np.full((n, len(BANDS), MAX_COEFFICIENTS), np.nan)
    for k, name in enumerate(LAWS):
        rows = law == k
        for b, band in enumerate(BANDS):
            cool, hot = (np.array(c) for c in LIMB_DARKENING[name][band])
            coefficients[rows, b, :len(cool)] = cool + np.outer(s[rows], hot - cool)
    return {"event": np.arange(n), "t0": t0, "u0": u0, "tE": te, "rho": rho, "law": law,
            "coefficients": coefficients}


def split(events, per_task):
    """The events as (task number, columns of its events) pairs."""
    n = len(events["event"])
    return [(task, {name: column[start:start + per_task] for name, column in events.items()})
            for task, start in enumerate(range(0, n, per_task))]


def shard_path(directory, task):
    return os.path.join(directory, f"curves_{task:05d}.npy")


def simulate(task, events, directory):
    """One task, on a worker: both bands of every event at every epoch, the light curves
    written to the task's own file, a summary row per event returned."""
    began, began_cpu = time.perf_counter(), time.thread_time()
    t = epochs()
    n = len(events["event"])
    curves = np.empty((n, len(BANDS), len(t)))
    deviation = np.empty((n, len(BANDS)))
    in_source = np.empty(n, dtype=np.int64)
    # Work arrays reused from event to event: fresh ones would be taken from and given
    # back to the system at every event on a Dask worker (Dask sets MALLOC_TRIM_THRESHOLD_
    # for its workers), a page fault per page each time.
    u, point, v = np.empty(len(t)), np.empty(len(t)), np.empty(len(t))
    inside = np.empty(len(t), dtype=bool)
    ratio = np.empty((len(BANDS), len(t)))
    for i in range(n):
        law = LAWS[events["law"][i]]
        count = len(LIMB_DARKENING[law][BANDS[0]][0])
        t0, u0, te, rho = (float(events[name][i]) for name in ("t0", "u0", "tE", "rho"))
        curves[i] = magnifex.light_curve(t, t0, u0, te, rho, law=law,
                                         coefficients=events["coefficients"][i, :, :count])
        # u = hypot((t - t0) / tE, u0), and Paczynski's point source (u^2 + 2) / (u sqrt(u^2 + 4))
        np.hypot(np.divide(np.subtract(t, t0, out=u), te, out=u), u0, out=u)
        np.multiply(u, u, out=v)
        np.sqrt(np.add(v, 4.0, out=point), out=point)
        np.multiply(point, u, out=point)
        np.divide(np.add(v, 2.0, out=v), point, out=point)
        np.abs(np.subtract(np.divide(curves[i], point, out=ratio), 1.0, out=ratio), out=ratio)
        deviation[i] = np.max(ratio, axis=1)
        in_source[i] = np.count_nonzero(np.less(u, rho, out=inside))
    # Written to a temporary name and renamed, so that a task run twice (a worker lost
    # and its task sent elsewhere) never leaves half a file.
    path = shard_path(directory, task)
    with open(path + ".part", "wb") as f:
        np.save(f, curves.astype(np.float32))
    os.replace(path + ".part", path)
    return {"task": task, "event": events["event"], "peak": curves.max(axis=2), "deviation": deviation,
            "in_source": in_source, "digest": hashlib.sha256(curves).hexdigest(),
            "seconds": time.perf_counter() - began, "cpu": time.thread_time() - began_cpu}


def summary_table(events, results):
    """Columns of the summary table, in event order."""
    results = sorted(results, key=lambda r: r["task"])
    table = {name: events[name] for name in ("event", "t0", "u0", "tE", "rho", "coefficients")}
    table["law"] = np.array(LAWS)[events["law"]]
    table["bands"] = np.array(BANDS)
    table["task"] = np.concatenate([np.full(len(r["event"]), r["task"]) for r in results])
    table["row"] = np.concatenate([np.arange(len(r["event"])) for r in results])
    for name in ("peak", "deviation", "in_source"):
        table[name] = np.concatenate([r[name] for r in results])
    table["epochs"] = epochs()
    return table


def same_bits(a, b):
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


def check_serial(tasks, results, directory, fraction, seed):
    """Runs a random sample of the tasks in this process, into a folder of its own, and
    compares them with the cluster's results and files. Returns (events, seconds, CPU
    seconds, the tasks that differ)."""
    count = max(1, round(fraction * len(tasks)))
    sample = np.sort(np.random.default_rng(seed + 1).choice(len(tasks), count, replace=False))
    by_task = {r["task"]: r for r in results}
    differ, events = [], 0
    # The cluster's files still being written back to disk would slow this run down and
    # flatter the speed-up: wait for them first.
    if hasattr(os, "sync"):
        os.sync()
    with tempfile.TemporaryDirectory() as scratch:
        began, began_cpu = time.perf_counter(), time.process_time()
        serial = [simulate(*tasks[k], scratch) for k in sample]
        seconds, cpu = time.perf_counter() - began, time.process_time() - began_cpu
        for mine in serial:
            task = mine["task"]
            theirs = by_task[task]
            events += len(mine["event"])
            files_equal = same_bits(np.load(shard_path(scratch, task)), np.load(shard_path(directory, task)))
            if not (files_equal and mine["digest"] == theirs["digest"]
                    and all(same_bits(mine[name], theirs[name]) for name in ("event", "peak", "deviation",
                                                                             "in_source"))):
                differ.append(task)
    return events, seconds, cpu, differ


def run_on_cluster(client, tasks, directory):
    """Submits every task, shows a progress bar, and returns the tasks' results and the
    wall time from the first submission to the last result."""
    from dask.distributed import progress

    began = time.perf_counter()
    futures = [client.submit(simulate, task, events, directory, key=f"survey-task-{task:05d}", pure=False)
               for task, events in tasks]
    progress(futures)
    results = client.gather(futures)
    return results, time.perf_counter() - began


def main(argv=None):
    args = parse_arguments(argv)
    if not dask_cluster.require_distributed("survey_dask.py"):
        return 2

    directory = os.path.abspath(args.output)
    os.makedirs(directory, exist_ok=True)
    events = draw_events(args.events, args.seed)
    tasks = split(events, args.events_per_task)
    n_epochs = len(epochs())
    size = args.events * len(BANDS) * n_epochs * 4
    print(f"season: {args.events} events x {len(BANDS)} bands ({', '.join(BANDS)}) x {n_epochs} epochs "
          f"({SEASON_DAYS:g} d every {CADENCE_DAYS * 24 * 60:g} min), "
          f"{len(tasks)} tasks of up to {args.events_per_task} events")
    print(f"output: {directory} ({size / 1e9:.2f} GB of float32 light curves)")

    with dask_cluster.connect(args) as (client, threads):
        results, cluster_seconds = run_on_cluster(client, tasks, directory)
        print(f"cluster done; {load()}")

    table = summary_table(events, results)
    np.savez(os.path.join(directory, "summary.npz"), **table)
    task_seconds = np.array([r["seconds"] for r in results])
    task_cpu = np.array([r["cpu"] for r in results])
    crossing = np.count_nonzero(table["in_source"])
    visible = np.count_nonzero(table["deviation"][:, 0] > 0.01)
    print(f"summary table written to {os.path.join(directory, 'summary.npz')}: "
          f"{crossing} events with the lens inside the source at some epoch, {visible} with the finite "
          "source\nchanging W146 by over 1 per cent")
    print(f"cluster: {cluster_seconds:8.2f} s for {args.events} events, {args.events / cluster_seconds:8.0f} "
          f"events/s; tasks took {task_seconds.mean():.2f} s each on average ({task_cpu.sum():.1f} s of CPU "
          f"in all, {1e3 * task_cpu.sum() / args.events:.3f} ms per event)")

    checked, serial_seconds, serial_cpu, differ = check_serial(tasks, results, directory, args.check, args.seed)
    serial_rate = checked / serial_seconds
    print(f"one process: {serial_seconds:8.2f} s for {checked} events, {serial_rate:8.0f} events/s "
          f"({serial_cpu:.1f} s of CPU, {1e3 * serial_cpu / checked:.3f} ms per event); {load()}")
    print(f"results of the {checked} events run again in this process equal the cluster's bit for bit: "
          + ("yes" if not differ else f"NO (tasks {differ})"))
    print(f"speed-up over one process: {args.events / cluster_seconds / serial_rate:.2f} "
          f"on {threads} thread{'s' if threads > 1 else ''}")
    return 0 if not differ else 1


if __name__ == "__main__":
    sys.exit(main())
