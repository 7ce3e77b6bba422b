#!/usr/bin/env python3
"""Speed-up of magnifex's limb-darkened functions on two threads.

magnification() and light_curve() release the interpreter lock while they
compute, so a ThreadPoolExecutor that hands chunks of one long array of
separations (or epochs) to two threads runs them at once on two cores. Each
measurement times, in wall-clock time (time.perf_counter_ns: the two threads'
CPU times add up), one call on the whole array on one thread, and the same
array as interleaved chunks (x[j::CHUNKS], copied to contiguous arrays
outside the timed region, so that every chunk holds the same mix of costly
separations near the source and cheap far ones) mapped over a pool of two
threads, created once. The results stay in their chunks (no reassembly).
The two are interleaved, repeated, and the medians compared; the speed-up
is one thread's median over two threads'. "cores busy" is the process CPU
time over the wall-clock time of the two-thread run (median): 2 when both
threads compute all along, 1 when one waits for the other's lock, less when
the machine's other jobs take the cores. integrated_heyrovsky_magnification
(numpy), which keeps the lock, is the control: it stays near 1 on both.

On a machine loaded by other jobs two threads do not get two cores: read the
speed-up with the load average printed beside it.

Usage: python benchmarks/threads.py [--quick] [--markdown] [--repeats N]
"""

import argparse
import concurrent.futures
import os
import statistics
import sys
import time

import numpy as np

import magnifex as mx
from text_table import print_table

THREADS = 2
CHUNKS = 8             # interleaved chunks of the array, mapped over the threads

# (name, array size of the full run, rho, umax): separations in Einstein radii.
RANGES = [("rho=0.1 u in [0,3]", 200_000, 0.1, 3.0),
          ("rho=0.1 u in [0,3rho]", 20_000, 0.1, 0.3)]


def calls(rho):
    """(name, f(x)) with x an array of separations u; light_curve takes them as
    epochs t (t0 = 0, u0 = 0, tE = 1, so u = |t|)."""
    bands = [(0.55 - 0.1 * j, 0.2 + 0.03 * j) for j in range(4)]
    return [
        ("magnification linear (0.6,)", lambda u: mx.magnification(u, rho, "linear", (0.6,))),
        ("magnification power2 (0.6, 0.6)", lambda u: mx.magnification(u, rho, "power2", (0.6, 0.6))),
        ("magnification quadratic, 4 bands", lambda u: mx.magnification(u, rho, "quadratic", bands)),
        ("magnification linear gradient=True",
         lambda u: mx.magnification(u, rho, "linear", (0.6,), gradient=True)),
        ("light_curve linear (0.6,)", lambda t: mx.light_curve(t, 0.0, 0.0, 1.0, rho, "linear", (0.6,))),
        ("integrated_heyrovsky (numpy), control",
         lambda u: mx.integrated_heyrovsky_magnification(u / rho, 1.0, rho)),
    ]


class Measurement:
    def __init__(self, label, name, f, x, pool):
        self.label, self.name, self.f, self.x, self.pool = label, name, f, x, pool
        self.chunks = [np.ascontiguousarray(x[j::CHUNKS]) for j in range(CHUNKS)]
        self.one, self.two, self.busy = [], [], []
        f(x)                                   # warm-up, not timed
        list(pool.map(f, self.chunks))

    def measure(self):
        f, pool = self.f, self.pool
        t0 = time.perf_counter_ns()
        f(self.x)
        t1 = time.perf_counter_ns()
        c1 = time.process_time_ns()
        list(pool.map(f, self.chunks))
        c2 = time.process_time_ns()
        t2 = time.perf_counter_ns()
        self.one.append((t1 - t0) / len(self.x))
        self.two.append((t2 - t1) / len(self.x))
        self.busy.append((c2 - c1) / (t2 - t1))

    def row(self):
        one, two = statistics.median(self.one), statistics.median(self.two)
        return [self.label, self.name, "%d" % len(self.x), "%.0f ns" % one, "%.0f ns" % two,
                "%.2fx" % (one / two), "%.2f" % statistics.median(self.busy)]


def measure(scale=1.0, repeats=7, log=None):
    """Rows [separations, call, points, 1 thread ns/pt, 2 threads ns/pt, speed-up,
    cores busy]."""
    pool = concurrent.futures.ThreadPoolExecutor(THREADS)
    try:
        jobs = []
        for label, n, rho, umax in RANGES:
            n = max(CHUNKS, int(n * scale))
            u = (np.arange(n) + 0.5) * (umax / n)
            for name, f in calls(rho):
                jobs.append(Measurement(label, name, f, u, pool))
        if log:
            print("threads: %d measurements x %d repeats, interleaved" % (len(jobs), repeats),
                  file=log, flush=True)
        for _ in range(repeats):
            for job in jobs:
                job.measure()
        return [job.row() for job in jobs]
    finally:
        pool.shutdown()


HEAD = ["separations", "call", "points", "1 thread ns/pt", "%d threads ns/pt" % THREADS, "speed-up",
        "cores busy"]


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--quick", action="store_true", help="a tenth of the points, 3 repeats")
    ap.add_argument("--markdown", action="store_true")
    ap.add_argument("--repeats", type=int)
    args = ap.parse_args(argv)
    scale, repeats = (0.1, 3) if args.quick else (1.0, 7)
    before = os.getloadavg()[0]
    rows = measure(scale, args.repeats or repeats, log=sys.stderr)
    print("# magnifex on %d threads, %d cores; load average %.1f before, %.1f after"
          % (THREADS, os.cpu_count() or 0, before, os.getloadavg()[0]))
    print_table(rows, args.markdown, sys.stdout, HEAD, right=range(2, len(HEAD)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
