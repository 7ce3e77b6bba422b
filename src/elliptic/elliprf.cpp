// RF(x, y, z) = 1/2 int_0^inf dt / sqrt((t+x)(t+y)(t+z)), Carlson's symmetric
// integral of the first kind, for x, y, z >= 0 with at most one zero.
//
// Method: closed forms for two equal arguments (through RC) and an
// arithmetic-geometric mean when one argument is zero (DLMF 19.22(i)); otherwise
// Carlson's duplication (DLMF 19.26(ii)) until the deviations from the mean are
// small, then the seventh-order series in E2, E3 (DLMF 19.36.1).
// Source: B. C. Carlson, Numer. Algorithms 10 (1995) 13-26; DLMF 19.16, 19.36.
// Accuracy (tests/cpp/test_elliptic_accuracy.cpp, 320 mpmath points, arguments
// 1e-200..1e200 and the degenerate patterns): worst relative error 3.8e-16.
#include <cmath>

#include "elliptic/carlson.hpp"
#include "elliptic/constants.hpp"

namespace magnifex {
namespace {

using elliptic_detail::kAgmTolerance;
using elliptic_detail::kPi;

// (3 eps)^(-1/8): after the stop test the scaled deviations are below
// (3 eps)^(1/8), so the neglected eighth-order terms are below eps.
constexpr double kRfTolerance = 78.8959690786408;
// Duplication steps allowed; 4^11 covers arguments spanning ~200 decades.
constexpr int kRfMaxIterations = 11;

constexpr const char* kRfArgumentMessage =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
constexpr const char* kRfConvergenceMessage = "elliprf: Failed to converge.";

// RF(0, a, b) = pi / (2 AGM(sqrt a, sqrt b)). No iteration cap: the loop stops
// as soon as the relative difference is small or becomes NaN.
double rf_one_zero(double a, double b) {
    double u = std::sqrt(a);
    double v = std::sqrt(b);
    while (std::fabs(u - v) >= kAgmTolerance * std::fabs(u)) {
        const double t = std::sqrt(u * v);
        u = (u + v) / 2.0;
        v = t;
    }
    return kPi / (u + v);
}

Fallible rf_duplication(double x, double y, double z) {
    const double a0 = (x + y + z) / 3.0;
    // |A0| itself takes part, which enforces a minimum number of steps.
    double q = nan_max(nan_max(std::fabs(a0), std::fabs(a0 - x)),
                       nan_max(std::fabs(a0 - y), std::fabs(a0 - z)));
    q = kRfTolerance * q;

    double xn = x, yn = y, zn = z, an = a0, f = 1.0;
    bool converged = false;
    for (int i = 0; i < kRfMaxIterations; ++i) {
        const double rx = std::sqrt(xn), ry = std::sqrt(yn), rz = std::sqrt(zn);
        const double lambda = rx * ry + rx * rz + ry * rz;
        an = (an + lambda) / 4.0;
        q = q / 4.0;
        f = 4.0 * f;
        if (std::fabs(an) > q) {
            converged = true;
            break;
        }
        xn = (xn + lambda) / 4.0;
        yn = (yn + lambda) / 4.0;
        zn = (zn + lambda) / 4.0;
    }
    if (!converged) return Fallible::fail(kRfConvergenceMessage);

    const double big_x = (a0 - x) / (f * an);
    const double big_y = (a0 - y) / (f * an);
    const double big_z = -big_x - big_y;
    const double e2 = big_x * big_y - big_z * big_z;
    const double e3 = big_x * big_y * big_z;
    // DLMF 19.36.1 through seventh order; 1/14 and 1/16 as rounded doubles.
    const double series =
        1.0 + e3 * (0.07142857142857142 + 3.0 * e3 / 104.0) +
        e2 * (e2 / 24.0 - 0.1 - 3.0 * e3 / 44.0 - 5.0 * e2 * e2 / 208.0 + e2 * e3 * 0.0625);
    return Fallible::ok(series / std::sqrt(an));
}

}  // namespace

Fallible elliprf(double x, double y, double z) {
    if (nan_min(nan_min(x, y), z) < 0.0 || nan_min(nan_min(x + y, y + z), x + z) == 0.0) {
        return Fallible::fail(kRfArgumentMessage);
    }

    // Two equal arguments: RF(x, y, y) = RC(x, y), RF(0, y, y) = pi/(2 sqrt y).
    if (x == y) {
        if (x == z) return Fallible::ok(1.0 / std::sqrt(x));
        if (z == 0.0) return Fallible::ok(kPi / (2.0 * std::sqrt(x)));
        return elliprc(z, x);
    }
    if (x == z) {
        if (y == 0.0) return Fallible::ok(kPi / (2.0 * std::sqrt(x)));
        return elliprc(y, x);
    }
    if (y == z) {
        if (x == 0.0) return Fallible::ok(kPi / (2.0 * std::sqrt(y)));
        return elliprc(x, y);
    }

    // Exactly one zero argument; the other two are the AGM pair.
    if (x == 0.0) return Fallible::ok(rf_one_zero(z, y));
    if (y == 0.0) return Fallible::ok(rf_one_zero(x, z));
    if (z == 0.0) return Fallible::ok(rf_one_zero(x, y));

    return rf_duplication(x, y, z);
}

}  // namespace magnifex
