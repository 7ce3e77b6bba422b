// RD(x, y, z) = 3/2 int_0^inf dt / (sqrt((t+x)(t+y)(t+z)) (t+z)), Carlson's
// symmetric integral of the second kind (symmetric in x and y only), for
// x, y >= 0 with at most one zero and z > 0.
//
// Method: closed forms for equal arguments; for x = 0 an arithmetic-geometric
// mean with a running sum of squared differences (the complete case,
// DLMF 19.22(i)); otherwise Carlson's duplication with its sum of
// 1/(sqrt(z_n)(z_n + lambda_n)) terms (DLMF 19.26(ii)), closed by the
// seventh-order series of DLMF 19.36.2.
// Source: B. C. Carlson, Numer. Algorithms 10 (1995) 13-26; DLMF 19.16, 19.36.
// Accuracy (tests/cpp/test_elliptic_accuracy.cpp, 320 mpmath points, arguments
// 1e-200..1e200): duplication worst relative error 5.8e-16. The x = 0 form
// subtracts two nearly equal terms when y/z is far from 1; its error grows
// with |ln(y/z)| and reaches 1.7e-14 for y/z ~ 1e270 (1e-15 up to y/z ~ 1e20).
#include <cmath>

#include "elliptic/carlson.hpp"
#include "elliptic/constants.hpp"
#include "elliptic/series.hpp"

namespace magnifex {
namespace {

using elliptic_detail::kAgmTolerance;
using elliptic_detail::kPi;

// (eps/4)^(-1/8): the neglected eighth-order terms of the series stay below
// eps/4. The extra factor 1.2 is a margin for the maximum of *signed*
// deviations, which can fall short of the largest magnitude.
constexpr double kRdTolerance = 107.63474115247546;
constexpr double kRdToleranceWidening = 1.2;
// 3 pi, numerator of RD(0, y, y) = 3 pi / (4 y^(3/2)).
constexpr double kThreePi = 9.42477796076938;
constexpr int kRdMaxIterations = 50;

// RD(0, y, z) for y != z from the Gauss-Legendre AGM with sum of squared
// differences: no iteration cap; a NaN difference ends the loop.
double rd_one_zero(double y, double z) {
    const double u0 = std::sqrt(y);
    const double v0 = std::sqrt(z);
    double u = u0, v = v0, sum = 0.0, t = 0.25;
    while (std::fabs(u - v) >= kAgmTolerance * std::fabs(u)) {
        const double s = std::sqrt(u * v);
        u = (u + v) / 2.0;
        v = s;
        t = 2.0 * t;
        sum = sum + t * ((u - v) * (u - v));
    }
    const double rf = kPi / (u + v);
    // z (y - z) overflows for z > ~1e154 and would drop the correction term
    // (a result 25 % off at z ~ 1e160); divide one factor at a time there.
    const double scale = z * (y - z);
    const double correction = std::isfinite(scale) ? sum / scale : (sum / z) / (y - z);
    return 3.0 * rf * ((u0 + 3.0 * v0) / (4.0 * z * (u0 + v0)) - correction);
}

Fallible rd_duplication(double x, double y, double z) {
    const double a0 = (x + y + 3.0 * z) / 5.0;
    const double dx = a0 - x, dy = a0 - y, dz = a0 - z;
    // The signed deviations enter the maximum, not their magnitudes.
    double q = kRdTolerance * nan_max(nan_max(dx, dy), dz) * kRdToleranceWidening;

    double xn = x, yn = y, zn = z, an = a0, f = 1.0, sum = 0.0;
    bool converged = false;
    for (int i = 0; i < kRdMaxIterations; ++i) {
        const double rx = std::sqrt(xn), ry = std::sqrt(yn), rz = std::sqrt(zn);
        const double lambda = rx * ry + rx * rz + ry * rz;
        sum = sum + f / (rz * (zn + lambda));
        an = (an + lambda) / 4.0;
        xn = (xn + lambda) / 4.0;
        yn = (yn + lambda) / 4.0;
        zn = (zn + lambda) / 4.0;
        f = f / 4.0;
        q = q / 4.0;
        if (an > q) {
            converged = true;
            break;
        }
    }
    if (!converged) return Fallible::fail("elliprd: Failed to converge.");

    const double big_x = f * dx / an;
    const double big_y = f * dy / an;
    const double big_z = -(big_x + big_y) / 3.0;
    const double xy = big_x * big_y;
    const double zz = big_z * big_z;
    const double e2 = xy - 6.0 * zz;
    const double e3 = (3.0 * xy - 8.0 * zz) * big_z;
    const double e4 = 3.0 * (xy - zz) * zz;
    const double e5 = xy * big_z * zz;
    const double series = elliptic_detail::carlson_series7(e2, e3, e4, e5);
    return Fallible::ok(3.0 * sum + f * std::pow(an, -1.5) * series);
}

}  // namespace

Fallible elliprd(double x, double y, double z) {
    if (nan_min(x, y) < 0.0 || x + y == 0.0) {
        return Fallible::fail(
            "elliprd: x and y must be non-negative, and at most one can be zero.");
    }
    if (z <= 0.0) return Fallible::fail("elliprd: z must be positive");

    // RD is symmetric in x and y only: bring an argument equal to z into y.
    if (x == z) {
        const double t = x;
        x = y;
        y = t;
    }
    if (y == z) {
        if (x == y) return Fallible::ok(1.0 / (std::sqrt(x) * x));
        if (x == 0.0) return Fallible::ok(kThreePi / (4.0 * y * std::sqrt(y)));
    }
    // Only a zero x takes the AGM form; a zero y goes to the duplication.
    if (x == 0.0) return Fallible::ok(rd_one_zero(y, z));
    return rd_duplication(x, y, z);
}

}  // namespace magnifex
