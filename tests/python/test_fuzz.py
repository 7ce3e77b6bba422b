"""Generated calls of every function, in batches run in subprocesses: each call
must give a result of the right type and shape or the exception, with its
exact text, that the documented matching and conversion rules predict; never a
crash, a SystemError or a changed reference count (fuzz_calls.py has the rules).

MAGNIFEX_FUZZ_CALLS sets the total number of generated calls (default 10,000;
3,000 under AddressSanitizer, which runs about three times slower)."""

import concurrent.futures
import os
import signal
import subprocess
import sys
import tempfile

import pytest

pytest.importorskip("hypothesis")
pytest.importorskip("numpy")

BATCHES = 8
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")
CALLS = int(os.environ.get("MAGNIFEX_FUZZ_CALLS", 3000 if SANITIZED else 10_000))
HERE = os.path.dirname(os.path.abspath(__file__))


def run_batch(batch, examples, env):
    with tempfile.TemporaryDirectory() as folder:
        last_input = os.path.join(folder, "last_input")
        errors = os.path.join(folder, "stderr")
        with open(errors, "w") as stderr:
            process = subprocess.run([sys.executable, os.path.join(HERE, "fuzz_calls.py"), str(batch),
                                      str(examples), last_input], env=env, stdout=subprocess.PIPE,
                                     stderr=stderr, text=True, errors="replace", timeout=600)
        with open(errors, errors="replace") as stderr:
            # panic reports fill it; the end has a crash's report
            error_tail = stderr.read()[-4000:]
        call = open(last_input, errors="replace").read() if os.path.exists(last_input) else "(none)"
    return process.returncode, process.stdout, error_tail, call


def batch_environment(**changes):
    import magnifex

    env = dict(os.environ, **changes)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.dirname(os.path.abspath(magnifex.__file__)), HERE,
                                                      env.get("PYTHONPATH")]))
    return env


def test_a_crash_is_reported_with_its_input():
    returncode, _, _, call = run_batch(0, 8, batch_environment(MAGNIFEX_FUZZ_ABORT_AT="3"))
    assert returncode == -signal.SIGABRT
    import magnifex

    assert call.split("(")[0] in magnifex.__all__, call


def test_generated_calls():
    env = batch_environment()
    calls = -(-CALLS // BATCHES)  # a multiple of the calls per example
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda batch: run_batch(batch, calls, env), range(BATCHES)))
    problems = []
    for batch, (returncode, stdout, error_tail, call) in enumerate(results):
        if returncode < 0:
            problems.append(f"batch {batch} killed by {signal.Signals(-returncode).name} in the call\n{call}\n"
                            f"stderr ends:\n{error_tail}")
        elif returncode != 0:
            problems.append(f"batch {batch} failed (exit {returncode}); last call\n{call}\n"
                            f"stdout:\n{stdout[-6000:]}\nstderr ends:\n{error_tail}")
        else:
            made = int(stdout.split()[-2])
            assert stdout.strip() == f"batch {batch}: {made} calls" and made >= calls
    assert not problems, "\n\n".join(problems)
