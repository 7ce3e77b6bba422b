"""The Dask cluster of the examples survey_dask.py and grid_dask.py: their command-line
flags, a LocalCluster of this machine or a running scheduler, and the machine's load."""
import contextlib
import os
import sys

# Dask's diagnostics that nothing here shows (there is no dashboard): each worker's
# statistical profiler, which takes the interpreter lock every 10 ms to sample the task
# threads' stacks, and every process's 20 ms event-loop watchdog. Idle, a LocalCluster of
# two workers spends 0.13 of a core on them, 0.04 without.
QUIET_DIAGNOSTICS = {"distributed.worker.profile.enabled": False, "distributed.admin.tick.interval": "1s"}


def add_arguments(parser):
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the LocalCluster (default: the number of cores, %(default)s)")
    parser.add_argument("--threads", type=int, default=1,
                        help="threads per worker process of the LocalCluster (default %(default)s)")
    parser.add_argument("--scheduler", metavar="ADDRESS", default=None,
                        help="address of a running Dask scheduler, e.g. tcp://host:8786 (default: a LocalCluster)")


def require_distributed(script_name):
    """True if dask.distributed can be imported; otherwise says on stderr what
    `script_name` needs and how to install it, and returns False."""
    try:
        import dask.distributed  # noqa: F401
    except ImportError:
        print(f"{script_name} needs dask.distributed: pip install \".[dask]\" "
              "(or pip install \"dask[distributed]\")", file=sys.stderr)
        return False
    return True


def load():
    return "load average %.2f %.2f %.2f" % os.getloadavg()


@contextlib.contextmanager
def connect(args):
    """A client of the scheduler at args.scheduler, or of a new LocalCluster of args.workers
    processes x args.threads threads; magnifex imported on every worker before it is used.
    Yields the client and the number of worker threads; closes what it opened."""
    import dask
    from dask.distributed import Client, LocalCluster

    if args.scheduler:
        cluster, client = None, Client(args.scheduler)
        where = f"the cluster at {args.scheduler}"
    else:
        with dask.config.set(QUIET_DIAGNOSTICS):  # the workers take the config when they start
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=args.threads, processes=True,
                                   host="127.0.0.1", dashboard_address=None)
        client = Client(cluster)
        where = (f"a LocalCluster of {args.workers} worker process{'es' if args.workers > 1 else ''} "
                 f"x {args.threads} thread{'s' if args.threads > 1 else ''}")
    try:
        client.wait_for_workers(1)
        threads = sum(client.nthreads().values())
        client.run(lambda: __import__("magnifex") and None)  # import it on every worker before timing
        print(f"running on {where} ({threads} threads in all); {load()}")
        yield client, threads
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
