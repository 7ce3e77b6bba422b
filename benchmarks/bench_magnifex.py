"""Speed of the seven functions, per separation, on the installed module.

Run: python benchmarks/bench_magnifex.py
With VBMicrolensing installed (pip install VBMicrolensing) it also times its
extended-source single-lens magnification as a baseline and prints how far
apart the two are. Nothing here is a test: numbers are printed, not asserted.
"""
import math
import timeit

import magnifex as mx

RSTAR = 0.1
L = [0.05 + 0.03 * i for i in range(100)]          # inside, on and outside the source
TABLE = ([i / 16 for i in range(17)], [1 - 0.6 * (1 - math.sqrt(1 - (i / 16) ** 2)) for i in range(17)])

CASES = [
    ("witt_mao_magnification", lambda: mx.witt_mao_magnification(L, 1.0, RSTAR), len(L)),
    ("heyrovsky_magnification", lambda: [mx.heyrovsky_magnification(l, 0.5, 1.0, RSTAR) for l in L], len(L)),
    ("integrated_witt_mao_magnification", lambda: mx.integrated_witt_mao_magnification(L, 1.0, RSTAR), len(L)),
    ("integrated_heyrovsky_magnification", lambda: mx.integrated_heyrovsky_magnification(L, 1.0, RSTAR), len(L)),
    ("integrated_flux_map_witt_mao_magnification",
     lambda: mx.integrated_flux_map_witt_mao_magnification(L, 1.0, RSTAR, *TABLE), len(L)),
    ("integrated_flux_map_heyrovsky_magnification",
     lambda: mx.integrated_flux_map_heyrovsky_magnification(L, 1.0, RSTAR, *TABLE), len(L)),
    ("discrete_flux_map_heyrovsky_magnification",
     lambda: mx.discrete_flux_map_heyrovsky_magnification(L, 1.0, RSTAR, *TABLE), len(L)),
]


def per_item(function, count, repeat=5):
    number = max(1, int(0.2 / max(1e-9, timeit.timeit(function, number=1))))
    best = min(timeit.repeat(function, number=number, repeat=repeat))
    return best / number / count


def main():
    print(f"{'function':46} {'µs per separation':>18}")
    for name, function, count in CASES:
        print(f"{name:46} {per_item(function, count) * 1e6:18.2f}")

    try:
        import VBMicrolensing
    except ImportError:
        print("VBMicrolensing not installed: no baseline")
        return
    vb = VBMicrolensing.VBMicrolensing()
    vb.a1 = 0.6
    u = [l * RSTAR for l in L[::10]]
    ours = mx.integrated_heyrovsky_magnification(L[::10], 1.0, RSTAR)
    for tol in (1e-3, 1e-6):
        vb.Tol = tol
        for name in ("ESPLMag2", "ESPLMagDark"):
            method = getattr(vb, name)
            t = per_item(lambda: [method(x, RSTAR) for x in u], len(u), repeat=1)
            worst = max(abs(method(x, RSTAR) - a) / a for x, a in zip(u, ours))
            print(f"{'VBMicrolensing ' + name + f' (a1=0.6, Tol={tol:g})':46} {t * 1e6:18.2f}"
                  f"   largest relative difference from magnifex: {worst:.1e}")

if __name__ == "__main__":
    main()
