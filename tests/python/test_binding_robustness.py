"""Calls from several threads, and calls that run out of memory."""

import os
import sys
import threading

import pytest

import magnifex
from conftest import FloatLike, length_message, panic, raised


def test_calls_and_failures_from_many_threads():
    # Conversion failures rewrite their TypeError, which gives up the
    # interpreter lock while the error is normalized: other threads run then.
    expected = magnifex.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)
    cases = [
        (lambda: magnifex.witt_mao_magnification([0.5, 2.0], FloatLike(1.0), 0.1), expected),
        (lambda: raised(magnifex.witt_mao_magnification, [0.5], "x", 0.1).args,
         ("argument 're': must be real number, not str",)),
        (lambda: str(raised(panic)), length_message(1, 0)),
    ]
    problems = []

    def worker(seed):
        try:
            for i in range(200):
                function, result = cases[(seed + i) % len(cases)]
                assert function() == result
        except BaseException as error:  # reported to the main thread
            problems.append(error)

    threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(4)]
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert problems == []


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="needs /proc and RLIMIT_AS")
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="an address-space limit breaks ASan")
def test_running_out_of_memory_raises_memory_error(run_python):
    result = run_python("""
        import resource
        import magnifex
        from conftest import raised
        with open("/proc/self/statm") as statm:
            limit = int(statm.read().split()[0]) * resource.getpagesize() + 300 * 2**20
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        print(type(raised(magnifex.witt_mao_magnification, range(10**12), 1.0, 1.0)).__name__)
        print(magnifex.witt_mao_magnification([2.0], 1.0, 0.1) == magnifex.witt_mao_magnification([2.0], 1.0, 0.1))
        """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["MemoryError", "True"]
