#!/usr/bin/env python3
"""Independent reference for the exact-equality tests of the numerics.

Re-implements the tanh-sinh quadrature loop and the linear interpolation in
plain Python floats. Every Python float operation is one correctly rounded
IEEE double operation, never fused, so the values printed here are what the
C++ routines must reproduce bit for bit when the compiler contracts nothing
(tests/cpp/test_quadrature.cpp and test_interpolate.cpp quote them). The
node table is read from src/numerics/tanh_sinh_table.hpp, so the two sides
share only the table, which tools/check_tanh_sinh_table.sh checks separately.

Usage: quadrature_reference.py
"""

import math
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE = os.path.join(HERE, "..", "src", "numerics", "tanh_sinh_table.hpp")
DBL_MAX = sys.float_info.max


def read_levels(path=TABLE):
    text = open(path, encoding="ascii").read()
    levels = []
    for block in re.findall(r"TANH_SINH_LEVEL_\d+\{\{(.*?)\}\};", text, re.S):
        pairs = re.findall(r"\{([-+0-9.e]+), ([-+0-9.e]+)\}", block)
        levels.append([(float(w), float(x)) for w, x in pairs])
    assert [len(l) for l in levels] == [3, 3, 6, 12, 24, 48, 96]
    return levels


LEVELS = read_levels()


def ieee_divide(num, den):
    """num / den with the IEEE result for a zero divisor instead of an error."""
    if den != 0.0:
        return num / den
    if num == 0.0 or math.isnan(num):
        return math.nan
    return math.copysign(math.inf, num) * math.copysign(1.0, den)


def integrate(f, a, b, tolerance):
    h = (b - a) * 0.5
    c = (a + b) * 0.5
    threshold = ieee_divide(tolerance * 0.25, h)

    def g(y):
        v = f(y)
        return v if math.isfinite(v) else 0.0

    s_total = math.pi * g(c + h * 0.0)
    n = 1
    p = DBL_MAX
    e = DBL_MAX
    for level in LEVELS:
        s = 0.0
        for w, x in level:
            right = g(c + h * x)
            left = g(c - h * x)
            s = s + w * (right + left)
        n += 2 * len(level)
        d = s_total * 0.5 - s
        s_total = s_total * 0.5 + s
        if n >= 14:
            if d == 0.0:
                e = 0.0
                break
            r = math.log(abs(d)) / math.log(p)
            e = d * d if 1.9 < r < 2.1 else abs(d)
            if threshold > e:
                break
        p = abs(d)
    return e * h, s_total * h, n


def interpolate(x, y, q, mode, fixed=0.0):
    n = min(len(x), len(y))
    if n == 1:
        return y[0]
    if n == 0:
        return 0.0
    k = 0
    if q > x[0]:
        i = 1
        while i < n and q > x[i]:
            i += 1
        k = min(i - 1, n - 2)
    m = (y[k + 1] - y[k]) / (x[k + 1] - x[k])
    c = y[k] - x[k] * m
    v = m * q + c
    outside = None
    if x[0] > q:
        outside = y[0]
    elif q > x[n - 1]:
        outside = y[n - 1]
    if outside is None or mode == "extrapolate":
        return v
    return outside if mode == "end_value" else fixed


def main():
    cases = [
        ("2 pi x on [0, 1], tol 1e-16", lambda x: 2.0 * math.pi * x, 0.0, 1.0, 1e-16),
        ("1 on [0, 1], tol 1e-6", lambda x: 1.0, 0.0, 1.0, 1e-6),
        ("limb-darkened flux, tol 1e-16",
         lambda x: 2.0 * math.pi * x * ((1.0 - math.sqrt(1.0 - x * x)) * (-0.6) + 1.0),
         0.0, 1.0, 1e-16),
        ("exp on [0, 1], tol 1e-16", math.exp, 0.0, 1.0, 1e-16),
        ("1 on [0, 1], tol 0", lambda x: 1.0, 0.0, 1.0, 0.0),
    ]
    for name, f, a, b, tol in cases:
        e, s, n = integrate(f, a, b, tol)
        print("integrate  %-32s error %r  integral %r  count %d" % (name, e, s, n))
    x, y = [0.0, 0.5, 1.0], [1.0, 0.8, 0.4]
    for q in (0.25, 0.35, 0.75, 1.0):
        print("interpolate q = %-5r -> %r" % (q, interpolate(x, y, q, "fixed")))
    for q in (-0.1, 1.5):
        print("extrapolate q = %-5r -> %r" % (q, interpolate(x, y, q, "extrapolate")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
