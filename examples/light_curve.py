"""Light curve of a finite source crossing a point-mass lens.

A source of radius rho = 0.05 Einstein radii passes the lens at impact
parameter u0 = 0.02, so the lens crosses the stellar disk. The script computes
the magnification of a uniform disk, of a limb-darkened disk (linear limb
darkening, coefficient 0.6) by both routes, and of a point source, prints a
short table and writes the plot to light_curve.png (or the path given as the
first argument).
"""
import math
import sys

import magnifex

T0, TE, U0, RHO = 0.0, 20.0, 0.02, 0.05  # days, days, Einstein radii, Einstein radii


def separation(t):
    """Lens-source separation in Einstein radii (rectilinear motion)."""
    tau = (t - T0) / TE
    return math.hypot(tau, U0)


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def main(path="light_curve.png"):
    times = [T0 + TE * (-0.25 + 0.5 * i / 400) for i in range(401)]
    u = [separation(t) for t in times]
    # magnifex takes separations in source radii and the two radii in one unit.
    l = [ui / RHO for ui in u]
    re, rstar = 1.0, RHO

    uniform = magnifex.witt_mao_magnification(l, re, rstar)
    limb_ring = magnifex.integrated_heyrovsky_magnification(l, re, rstar)
    limb_disk = magnifex.integrated_witt_mao_magnification(l, re, rstar)
    point = [point_source(ui) for ui in u]

    print(f"{'t [d]':>8} {'u':>8} {'point':>10} {'uniform':>10} {'limb (ring)':>12} {'limb (disk)':>12}")
    for i in range(0, len(times), 40):
        print(f"{times[i]:8.3f} {u[i]:8.5f} {point[i]:10.4f} {uniform[i]:10.4f} "
              f"{limb_ring[i]:12.6f} {limb_disk[i]:12.6f}")
    worst = max(abs(a - b) / a for a, b in zip(limb_ring, limb_disk))
    print(f"largest relative difference between the two limb-darkened routes: {worst:.2e}")

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(7, 4.5))
    ax.plot(times, point, ":", color="grey", label="point source")
    ax.plot(times, uniform, label="uniform disk")
    ax.plot(times, limb_ring, "--", label="limb-darkened (0.6)")
    ax.set_xlabel("t − t0 [days]")
    ax.set_ylabel("magnification")
    ax.set_ylim(0, 1.15 * max(limb_ring))
    ax.set_title(f"point lens, ρ = {RHO}, u0 = {U0}")
    ax.legend()
    fig.tight_layout()
    fig.savefig(path, dpi=120)
    print(f"plot written to {path}")


if __name__ == "__main__":
    main(*sys.argv[1:2])
