"""Light curve of a finite source star crossing a point-mass lens.

The default event has the lens pass in front of the stellar disk (u0 < rho):
near the peak the finite source is magnified far less than a point source
would be, and how much less depends on how the star's brightness falls
towards its limb. The script computes four curves,

  point source        A(u) = (u^2 + 2) / (u sqrt(u^2 + 4))
  uniform disk        magnifex.witt_mao_magnification
  linear limb         magnifex.integrated_heyrovsky_magnification
    darkening, 0.6      (I = 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2))
  quadratic law,      magnifex.integrated_flux_map_heyrovsky_magnification
    tabulated           (I = 1 - a (1 - mu) - b (1 - mu)^2 sampled at N radii)

prints a short table and saves a plot: the light curves above, and below them
the finite-source curves minus the point source, in per cent of the point
source.

    python examples/light_curve.py                       # the default event
    python examples/light_curve.py --u0 0.1 --rho 0.02 --output event.png

magnifex takes separations in units of the source radius, l = u / rho, and the
Einstein radius and the source radius in one unit: re = 1, rstar = rho.
"""
import argparse
import math
import sys

import magnifex

# The default event: time of closest approach and Einstein crossing time in
# days, impact parameter and source radius in Einstein radii.
T0, U0, TE, RHO = 0.0, 0.02, 20.0, 0.05
QUADRATIC = (0.4, 0.25)  # coefficients a, b of the quadratic limb-darkening law
TABLE_ROWS = 64


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--t0", type=float, default=T0, help="time of closest approach [days] (default %(default)s)")
    parser.add_argument("--u0", type=float, default=U0,
                        help="impact parameter [Einstein radii], > 0 (default %(default)s)")
    parser.add_argument("--te", type=float, default=TE, help="Einstein crossing time [days] (default %(default)s)")
    parser.add_argument("--rho", type=float, default=RHO,
                        help="source radius [Einstein radii] (default %(default)s)")
    parser.add_argument("--window", type=float, default=None,
                        help="half-width of the plotted time range [days] (default: 2.5 (u0 + rho) tE)")
    parser.add_argument("--points", type=int, default=401, help="number of epochs (default %(default)s)")
    parser.add_argument("--output", "-o", default="light_curve.png", help="path of the plot (default %(default)s)")
    args = parser.parse_args(argv)
    if not (args.u0 > 0 and args.te > 0 and args.rho > 0 and args.points >= 3):
        parser.error("u0, te and rho must be positive and points at least 3")
    return args


def point_source(u):
    """Point-source magnification of a point-mass lens (Paczynski 1986)."""
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def quadratic_table(a, b, rows):
    """The quadratic limb-darkening law sampled at ascending radius fractions,
    denser towards the limb, where the brightness falls fastest."""
    bl = [math.sin(0.5 * math.pi * j / (rows - 1)) for j in range(rows)]
    bl[-1] = 1.0
    bf = []
    for x in bl:
        mu = math.sqrt(max(0.0, 1.0 - x * x))
        bf.append(1.0 - a * (1.0 - mu) - b * (1.0 - mu) ** 2)
    return bl, bf


def light_curves(times, t0, u0, te, rho):
    """Separations u [Einstein radii] and the four magnification curves."""
    u = [math.hypot((t - t0) / te, u0) for t in times]
    l = [ui / rho for ui in u]  # separations in source radii
    re, rstar = 1.0, rho
    bl, bf = quadratic_table(*QUADRATIC, TABLE_ROWS)
    curves = {
        "point source": [point_source(ui) for ui in u],
        "uniform disk": magnifex.witt_mao_magnification(l, re, rstar),
        "linear limb darkening (0.6)": magnifex.integrated_heyrovsky_magnification(l, re, rstar),
        "quadratic law (table, %d rows)" % TABLE_ROWS: magnifex.integrated_flux_map_heyrovsky_magnification(
            l, re, rstar, bl, bf),
    }
    return u, curves


def print_table(times, u, curves, rows=11):
    names = list(curves)
    heads = ["point", "uniform", "linear LD", "quadratic"]
    print(f"{'t [d]':>9} {'u':>8} " + " ".join(f"{h:>10}" for h in heads))
    step = max(1, (len(times) - 1) // (rows - 1))
    for i in range(0, len(times), step):
        print(f"{times[i]:9.3f} {u[i]:8.5f} " + " ".join(f"{curves[n][i]:10.4f}" for n in names))


def plot(path, times, curves, args):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(7.5, 6.5),
                                      gridspec_kw={"height_ratios": [3, 1.4]})
    styles = [dict(color="0.45", linestyle=":", linewidth=1.6), dict(color="C0"), dict(color="C1"),
              dict(color="C2", linestyle="--")]
    point = curves["point source"]
    for (name, values), style in zip(curves.items(), styles):
        top.plot(times, values, label=name, **style)
        if name != "point source":
            residual = [100.0 * (a - p) / p for a, p in zip(values, point)]
            bottom.plot(times, residual, label=name, **style)
    peak = max(max(values) for values in curves.values())
    top.set_ylim(0.0, 1.1 * peak)
    top.set_ylabel("magnification A")
    top.set_title(f"point lens: t0 = {args.t0:g} d, u0 = {args.u0:g}, tE = {args.te:g} d, ρ = {args.rho:g}")
    top.legend(loc="upper right", fontsize="small")
    bottom.axhline(0.0, color="0.45", linestyle=":", linewidth=1.0)
    bottom.set_ylabel("(A − A_point) / A_point [%]")
    bottom.set_xlabel("t [days]")
    top.set_xlim(times[0], times[-1])
    for axis in (top, bottom):
        axis.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=120)
    plt.close(fig)


def main(argv=None):
    args = parse_arguments(argv)
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("light_curve.py needs matplotlib to draw the plot: pip install \".[examples]\" "
              "(or pip install matplotlib)", file=sys.stderr)
        return 2
    half = args.window if args.window is not None else 2.5 * (args.u0 + args.rho) * args.te
    n = args.points if args.points % 2 else args.points + 1  # odd, so that t0 is an epoch
    times = [args.t0 + half * (2.0 * i / (n - 1) - 1.0) for i in range(n)]
    u, curves = light_curves(times, args.t0, args.u0, args.te, args.rho)
    print_table(times, u, curves)
    plot(args.output, times, curves, args)
    print(f"plot written to {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
