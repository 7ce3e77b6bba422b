"""Shared by the generators of the checked-in C++ tables: rounding an mpmath
value to the nearest double (refusing values that the working precision
cannot place on the right side of a rounding midpoint), printing a double
so that it reads back exactly, and writing a table to a file or stdout."""

import sys

import mpmath
from mpmath import mpf


def to_double(v):
    """Round an mpf to the nearest double, refusing values so close to a
    rounding midpoint that the working precision could not decide it."""
    d = float(v)  # mpmath rounds to nearest
    if d == 0.0:
        return d
    m, e = mpmath.frexp(mpf(d))
    # Spacing of the doubles on v's side of d (halved below a power of two).
    gap = mpmath.ldexp(mpf(1), int(e) - 53)
    if abs(m) == mpf(0.5) and abs(v) < abs(d):
        gap /= 2
    dist = abs(v - mpf(d))
    if dist > gap / 2:
        raise ValueError("%s did not round to the nearest double" % v)
    if gap / 2 - dist < gap * mpmath.ldexp(mpf(1), -60):
        raise ValueError("%s is too close to a rounding midpoint" % v)
    return d


def fmt(v):
    """17 significant digits: the double reads back exactly."""
    d = to_double(v) if not isinstance(v, float) else v
    s = "%.17g" % d
    assert float(s) == d
    if "e" not in s and "." not in s and "inf" not in s and "nan" not in s:
        s += ".0"
    return s


def write(text, argv):
    """Writes `text` to argv[1], or to stdout when no path is given."""
    if len(argv) > 1:
        with open(argv[1], "w", encoding="ascii", newline="\n") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0
