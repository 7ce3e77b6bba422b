"""Calls from several threads, and calls that run out of memory."""

import os
import sys
import threading

import pytest

import magnifex


def test_calls_and_failures_from_many_threads():
    # Conversion failures rewrite their TypeError, which gives up the
    # interpreter lock while the error is normalized: other threads run then.
    expected = magnifex.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)
    problems = []

    class SlowFloat:
        def __float__(self):
            return 1.0

    def worker(seed):
        try:
            for i in range(300):
                kind = (seed + i) % 4
                if kind == 0:
                    assert magnifex.witt_mao_magnification([0.5, 2.0], SlowFloat(), 0.1) == expected
                elif kind == 1:
                    with pytest.raises(TypeError, match="^argument 're': must be real number, not str$"):
                        magnifex.witt_mao_magnification([0.5], "x", 0.1)
                elif kind == 2:
                    with pytest.raises(TypeError, match="^argument 'l': 'set' object cannot be converted"):
                        magnifex.witt_mao_magnification({0.5}, 1.0, 0.1)
                else:
                    with pytest.raises(BaseException) as info:
                        magnifex.discrete_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, [0.0], [])
                    assert type(info.value).__name__ == "PanicException"
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
    result = run_python(
        """
        import resource
        import magnifex

        with open("/proc/self/statm") as statm:
            in_use = int(statm.read().split()[0]) * resource.getpagesize()
        limit = in_use + 300 * 2**20
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            magnifex.witt_mao_magnification(range(10**12), 1.0, 1.0)
        except MemoryError as error:
            print("MemoryError")
        print(magnifex.witt_mao_magnification([2.0], 1.0, 0.1) == magnifex.witt_mao_magnification([2.0], 1.0, 0.1))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["MemoryError", "True"]
