#!/usr/bin/env python3
"""What the Dask examples cost on this machine, and what a 10^6-event season would cost on more.

Measured, each --repeats times with the load average beside it (the machine may be shared):

  one process     the survey's tasks (examples/survey_dask.py: Roman's 6,912 epochs, two
                  bands, light curves written as float32) and the chi^2 grid's tasks
                  (examples/grid_dask.py, MOA-2008-BLG-310) run in this process: wall and
                  CPU seconds per event and per grid point;
  layouts         the same tasks on a LocalCluster of 2 processes x 1 thread and of
                  1 process x 2 threads: wall time, the speed-up over one process, and the
                  CPU seconds of the workers' processes (from psutil) and of this process,
                  which holds the client and the scheduler;
  per task        --noop empty tasks submitted one by one on the 2-process cluster: the wall
                  time per task with both workers free (the scheduler's and the client's
                  cost of a task, end to end) and this process's CPU seconds per task.

The layouts are interleaved (every repeat starts both clusters anew) so that a change of
the machine's load falls on both. The clusters are set up as the examples set up theirs
(Dask's profiler and 20 ms watchdog off). Last, the projection of a season of --season events on
8, 64 and 512 cores: Amdahl's law with the measured CPU time per event as the parallel
part and the scheduler's cost per task as the serial part, and the core count at which
one scheduler is saturated.

    pip install ".[dask,examples]"
    python benchmarks/scaling.py                   # about five minutes
    python benchmarks/scaling.py --repeats 1 --events 4000 --grid 10
"""
import argparse
import contextlib
import json
import os
import statistics
import sys
import time

import dask

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "examples"))
import grid_dask  # noqa: E402
import survey_dask  # noqa: E402
from dask_cluster import QUIET_DIAGNOSTICS  # noqa: E402


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=3, help="repeats of every measurement (default %(default)s)")
    parser.add_argument("--events", type=int, default=20_000, help="survey events per run (default %(default)s)")
    parser.add_argument("--events-per-task", type=int, default=1_000, help="(default %(default)s)")
    parser.add_argument("--grid", type=int, default=30,
                        help="the grid is N x N x 2N/3 points of grid_dask's ranges (default %(default)s)")
    parser.add_argument("--noop", type=int, default=2_000, help="empty tasks per repeat (default %(default)s)")
    parser.add_argument("--season", type=int, default=1_000_000, help="events of the projected season")
    parser.add_argument("--json", help="also write every measurement to this file")
    return parser.parse_args(argv)


def load():
    return tuple(round(x, 2) for x in os.getloadavg())


def noop():
    return None


class Workload:
    """A list of tasks of one example, runnable in this process or on a client."""

    def __init__(self, name, unit, count, function, tasks):
        self.name, self.unit, self.count, self.function, self.tasks = name, unit, count, function, tasks

    def serial(self):
        began, began_cpu = time.perf_counter(), time.process_time()
        for task in self.tasks:
            self.function(*task)
        return time.perf_counter() - began, time.process_time() - began_cpu

    def distributed(self, client):
        from dask.distributed import wait

        began = time.perf_counter()
        futures = [client.submit(self.function, *task, pure=False) for task in self.tasks]
        wait(futures)
        client.gather(futures)
        seconds = time.perf_counter() - began
        del futures
        return seconds


def workloads(args, scratch):
    events = survey_dask.draw_events(args.events, 1)
    survey = [(task, columns, scratch) for task, columns in survey_dask.split(events, args.events_per_task)]
    data = grid_dask.model_data(grid_dask.Photometry())
    n = args.grid
    n_te = max(1, 2 * n // 3)
    axes = (grid_dask.axis(*grid_dask.U0_RANGE, n), grid_dask.axis(*grid_dask.RHO_RANGE, n),
            grid_dask.axis(*grid_dask.TE_RANGE, n_te))
    points = n * n * n_te
    grid = [(data, *p) for p in grid_dask.tasks(axes, 1_280)]
    return [Workload("survey", "event", args.events, survey_dask.simulate, survey),
            Workload("grid", "grid point", points, grid_dask.scan, grid)]


def worker_cpu(client):
    """CPU seconds (user + system) of every worker process so far, summed."""
    def cpu():
        import psutil

        times = psutil.Process().cpu_times()
        return times.user + times.system

    return sum(client.run(cpu).values())


@contextlib.contextmanager
def local_client(processes, threads):
    """A client of a new LocalCluster of `processes` x `threads`, set up as the examples
    set up theirs, once all its workers are up; both closed on leaving."""
    from dask.distributed import Client, LocalCluster

    with dask.config.set(QUIET_DIAGNOSTICS), \
            LocalCluster(n_workers=processes, threads_per_worker=threads, processes=True, host="127.0.0.1",
                         dashboard_address=None) as cluster, Client(cluster) as client:
        client.wait_for_workers(processes)
        yield client


def run_layout(workload, processes, threads):
    with local_client(processes, threads) as client:
        client.run(lambda: __import__("magnifex") and None)
        before_workers, before_here, before_load = worker_cpu(client), time.process_time(), load()
        seconds = workload.distributed(client)
        return {"wall": seconds, "workers_cpu": worker_cpu(client) - before_workers,
                "client_cpu": time.process_time() - before_here, "load": before_load}


def run_noop(count):
    from dask.distributed import wait

    with local_client(2, 1) as client:
        wait([client.submit(noop, pure=False) for _ in range(100)])  # warm-up
        before_workers, before_here, before_load = worker_cpu(client), time.process_time(), load()
        began = time.perf_counter()
        futures = [client.submit(noop, pure=False) for _ in range(count)]
        wait(futures)
        seconds = time.perf_counter() - began
        return {"wall": seconds / count, "client_cpu": (time.process_time() - before_here) / count,
                "workers_cpu": (worker_cpu(client) - before_workers) / count, "load": before_load}


def main(argv=None):
    args = parse_arguments(argv)
    import cloudpickle
    import tempfile

    # The examples' task functions travel to the workers by value, as they do when the
    # examples run as scripts.
    cloudpickle.register_pickle_by_value(survey_dask)
    cloudpickle.register_pickle_by_value(grid_dask)
    results = {"serial": {}, "layouts": {}, "noop": []}
    with tempfile.TemporaryDirectory() as scratch:
        jobs = workloads(args, scratch)
        for job in jobs:
            print(f"{job.name}: {job.count} {job.unit}s in {len(job.tasks)} tasks")
        for repeat in range(args.repeats):
            for job in jobs:
                before = load()
                wall, cpu = job.serial()
                results["serial"].setdefault(job.name, []).append({"wall": wall, "cpu": cpu, "load": before})
                print(f"[{repeat}] {job.name:6s} one process      {wall:7.2f} s wall {cpu:7.2f} s CPU   load {before}")
                for processes, threads in ((2, 1), (1, 2)):
                    layout = f"{processes}x{threads}"
                    r = run_layout(job, processes, threads)
                    results["layouts"].setdefault(job.name, {}).setdefault(layout, []).append(r)
                    print(f"[{repeat}] {job.name:6s} {processes} proc x {threads} thr  {r['wall']:7.2f} s wall "
                          f"{r['workers_cpu']:7.2f} s CPU in the workers, {r['client_cpu']:5.2f} s here   "
                          f"load {r['load']}")
            r = run_noop(args.noop)
            results["noop"].append(r)
            print(f"[{repeat}] empty tasks: {1e3 * r['wall']:.2f} ms wall per task, {1e3 * r['client_cpu']:.2f} ms CPU "
                  f"here (client + scheduler), {1e3 * r['workers_cpu']:.2f} ms in the workers   load {r['load']}")

    print()
    print("medians (speed-up: one process's median wall time over the layout's)")
    summary = {}
    for job in jobs:
        serial = results["serial"][job.name]
        wall = statistics.median(r["wall"] for r in serial)
        cpu = statistics.median(r["cpu"] for r in serial)
        per = {"wall": wall / job.count, "cpu": cpu / job.count}
        line = (f"{job.name:6s} one process {1e3 * per['cpu']:.3f} ms CPU per {job.unit} "
                f"({job.count / wall:.0f} {job.unit}s/s)")
        for layout, runs in results["layouts"][job.name].items():
            w = statistics.median(r["wall"] for r in runs)
            per[layout] = wall / w
            line += f"; {layout}: {w:.2f} s, speed-up {wall / w:.2f}"
        summary[job.name] = per
        print(line)
    task = statistics.median(r["wall"] for r in results["noop"])
    scheduler = statistics.median(r["client_cpu"] for r in results["noop"])
    print(f"empty task: {1e3 * task:.2f} ms wall, {1e3 * scheduler:.2f} ms of CPU in the client and scheduler")

    # Amdahl: the season's CPU time spread over P cores, plus the tasks handled one after
    # another by one scheduler. Tasks hold --events-per-task events.
    c = summary["survey"]["cpu"]
    tasks = -(-args.season // args.events_per_task)
    tau = c * args.events_per_task
    print()
    print(f"projection: {args.season} events, {c * 1e3:.3f} ms CPU each ({c * args.season / 3600:.2f} core-hours), "
          f"{tasks} tasks of {args.events_per_task} events ({tau:.2f} s each), {1e3 * task:.2f} ms per task "
          "in the scheduler")
    for cores in (1, 8, 64, 512):
        parallel = c * args.season / cores
        serial_part = tasks * task
        rounds = -(-tasks // cores)
        print(f"  {cores:4d} cores: {parallel + serial_part:9.1f} s (compute {parallel:8.1f} s + scheduler "
              f"{serial_part:5.2f} s), efficiency {parallel / (parallel + serial_part):.3f}; "
              f"{rounds} task{'s' if rounds > 1 else ''} per core")
    print(f"one scheduler is saturated at tau / overhead = {tau / task:.0f} cores with {tau:.2f} s tasks")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"args": vars(args), "results": results, "summary": summary, "noop": task}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
