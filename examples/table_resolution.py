"""What a tabulated profile's resolution costs: the built-in linear limb
darkening (u = 0.6) sampled at N rows and integrated through
integrated_flux_map_heyrovsky_magnification, against the built-in profile of
integrated_heyrovsky_magnification, for rows evenly spaced in the radius
fraction x and rows evenly spaced in angle (x = sin(pi j / (2 (N - 1))),
denser towards the limb).

    python examples/table_resolution.py [--rho 0.05]
"""
import argparse
import math

import magnifex


def linear_law(x, u=0.6):
    return 1.0 - u * (1.0 - math.sqrt(max(0.0, 1.0 - x * x)))


def rows(n, spacing):
    if spacing == "even":
        return [j / (n - 1) for j in range(n)]
    bl = [math.sin(0.5 * math.pi * j / (n - 1)) for j in range(n)]
    bl[-1] = 1.0
    return bl


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rho", type=float, default=0.05, help="source radius [Einstein radii]")
    args = parser.parse_args()
    l = [0.01 + 0.02 * i for i in range(150)]  # separations 0.01 .. 2.99 source radii
    reference = magnifex.integrated_heyrovsky_magnification(l, 1.0, args.rho)
    print(f"rho = {args.rho}, {len(l)} separations from {l[0]} to {l[-1]:.2f} source radii")
    print(f"{'rows':>6} {'even in x':>12} {'even in angle':>14}   (largest relative difference)")
    for n in (5, 20, 50, 200):
        worst = []
        for spacing in ("even", "angle"):
            bl = rows(n, spacing)
            bf = [linear_law(x) for x in bl]
            got = magnifex.integrated_flux_map_heyrovsky_magnification(l, 1.0, args.rho, bl, bf)
            worst.append(max(abs(g - r) / r for g, r in zip(got, reference)))
        print(f"{n:6d} {worst[0]:12.1e} {worst[1]:14.1e}")


if __name__ == "__main__":
    main()
