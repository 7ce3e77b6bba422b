// RJ(x, y, z, p) = 3/2 int_0^inf dt / (sqrt((t+x)(t+y)(t+z)) (t+p)), Carlson's
// symmetric integral of the third kind, for x, y, z >= 0 with at most one
// zero and p != 0; for p < 0 the Cauchy principal value.
//
// Method: closed forms through RC and RD when arguments coincide; the
// principal value is reduced to a positive p (DLMF 19.20(iii), z as the
// pivot); otherwise Carlson's duplication (DLMF 19.26(ii)) with its running
// sum of RC(1, 1 + e_m) terms, closed by the seventh-order series of
// DLMF 19.36.2.
// Source: B. C. Carlson, Numer. Algorithms 10 (1995) 13-26; DLMF 19.16, 19.20,
// 19.36.
// Accuracy (tests/cpp/test_elliptic_accuracy.cpp, 360 mpmath points, arguments
// 1e-200..1e200): duplication worst relative error 9e-16; the y = z form
// 3(RC(x,y) - RC(x,p))/(p - y) cancels when x >> y, p and reaches 7.9e-15;
// principal values stay within about the condition number times eps
// (4.2e-14 at condition number 225), and lose all accuracy only near a zero
// of RJ, where the problem itself is ill-conditioned.
#include <cmath>

#include "elliptic/carlson.hpp"
#include "elliptic/series.hpp"

namespace magnifex {
namespace {

// (eps/5)^(-1/8): the neglected eighth-order terms stay below eps/5.
constexpr double kRjTolerance = 110.67925377307274;
// The y = z form 3(RC(x,y) - RC(x,p))/(p - y) is used only when y and p differ
// by more than this ratio; closer, its difference cancels.
constexpr double kRjTwoRcRatio = 1.2;
// delta = (p-x)(p-y)(p-z) shrinks by 4^-3 per duplication step.
constexpr double kRjDeltaFactor = 0.015625;
constexpr int kRjMaxIterations = 100;

constexpr const char* kRjConvergenceMessage = "elliprj: Fail to converge";

void swap_values(double& a, double& b) {
    const double t = a;
    a = b;
    b = t;
}

}  // namespace

Fallible _elliprj(double x, double y, double z, double p) {
    const double a0 = (x + y + z + 2.0 * p) / 5.0;
    double delta = (p - x) * (p - y) * (p - z);
    const double q = kRjTolerance * nan_max(nan_max(std::fabs(a0 - x), std::fabs(a0 - y)),
                                            nan_max(std::fabs(a0 - z), std::fabs(a0 - p)));

    double xn = x, yn = y, zn = z, pn = p, an = a0, f = 1.0, sum = 0.0;
    bool converged = false;
    for (int i = 0; i < kRjMaxIterations; ++i) {
        const double rx = std::sqrt(xn), ry = std::sqrt(yn), rz = std::sqrt(zn);
        const double rp = std::sqrt(pn);
        const double d = (rp + rx) * (rp + ry) * (rp + rz);
        const double e = delta / (d * d);

        // RC(1, 1 + e), by the form that is accurate for this e.
        double term;
        if (-1.5 < e && e < -0.5) {
            // 1 + e = 2 rp (p + rx ry + rx rz + ry rz) / d, free of cancellation.
            const double b = 2.0 * rp * (pn + rx * (ry + rz) + ry * rz) / d;
            const Fallible rc = elliprc(1.0, b);
            if (rc.failed()) return rc;
            term = rc.value;
        } else if (e < -1.0) {
            // Principal value, DLMF 19.2.20: RC(1, 1+e) = sqrt(-1/e) RC(-e, -1-e).
            const Fallible rc = elliprc(-e, -1.0 - e);
            if (rc.failed()) return rc;
            term = std::sqrt(-1.0 / e) * rc.value;
        } else if (e == 0.0) {
            term = 1.0;
        } else if (e > 0.0) {
            const double s = std::sqrt(e);
            term = std::atan(s) / s;
        } else if (-0.5 < e && e < 0.0) {
            const double s = std::sqrt(-e);
            term = (std::log1p(s) - std::log1p(-s)) / (2.0 * s);
        } else {
            // e = -0.5 exactly, or NaN.
            const double s = std::sqrt(-e);
            term = std::log((1.0 + s) / std::sqrt(1.0 + e)) / s;
        }
        sum = sum + (f / d) * term;

        const double lambda = rx * ry + rx * rz + ry * rz;
        an = (an + lambda) / 4.0;
        f = f / 4.0;
        if (an > f * q) {
            converged = true;
            break;
        }
        xn = (xn + lambda) / 4.0;
        yn = (yn + lambda) / 4.0;
        zn = (zn + lambda) / 4.0;
        pn = (pn + lambda) / 4.0;
        delta = delta * kRjDeltaFactor;
    }
    if (!converged) return Fallible::fail(kRjConvergenceMessage);

    const double big_x = f * (a0 - x) / an;
    const double big_y = f * (a0 - y) / an;
    const double big_z = f * (a0 - z) / an;
    const double big_p = (-big_x - big_y - big_z) / 2.0;
    const double xyz = big_x * big_y * big_z;
    const double pp = big_p * big_p;
    const double e2 = big_x * big_y + big_x * big_z + big_y * big_z - 3.0 * pp;
    const double e3 = xyz + 2.0 * e2 * big_p + 4.0 * pp * big_p;
    const double e4 = (2.0 * xyz + e2 * big_p + 3.0 * pp * big_p) * big_p;
    const double e5 = xyz * pp;
    const double series = elliptic_detail::carlson_series7(e2, e3, e4, e5);
    return Fallible::ok(6.0 * sum + f * std::pow(an, -1.5) * series);
}

Fallible elliprj(double x, double y, double z, double p) {
    if (nan_min(nan_min(x, y), z) < 0.0 || nan_min(nan_min(x + y, y + z), x + z) == 0.0) {
        return Fallible::fail(
            "elliprj: x, y, and z must be non-negative, and at most one can be zero.");
    }
    if (p == 0.0) return Fallible::fail("elliprj: p must be non-zero");

    // x = y = z: RJ(x, x, x, p) = 3 (RC(x, p) - 1/sqrt x) / (x - p).
    if (x == y && x == z) {
        if (x == p) return Fallible::ok(1.0 / (std::sqrt(x) * x));
        const Fallible rc = elliprc(x, p);
        if (rc.failed()) return rc;
        return Fallible::ok((rc.value - 1.0 / std::sqrt(x)) * (3.0 / (x - p)));
    }
    // RJ is symmetric in x, y, z: bring a pair of equal arguments into y, z.
    if (x == y) swap_values(x, z);
    if (y == z) {
        if (y == p) return elliprd(x, y, y);
        // RJ(x, y, y, p) = 3 (RC(x, y) - RC(x, p)) / (p - y), when y and p are
        // far enough apart (a negative p gives a negative ratio: not taken).
        if (nan_max(y, p) / nan_min(y, p) > kRjTwoRcRatio) {
            const Fallible rc_y = elliprc(x, y);
            if (rc_y.failed()) return rc_y;
            const Fallible rc_p = elliprc(x, p);
            if (rc_p.failed()) return rc_p;
            return Fallible::ok((rc_y.value - rc_p.value) * (3.0 / (p - y)));
        }
    }
    if (z == p) return elliprd(x, y, z);

    if (p < 0.0) {
        // Principal value (DLMF 19.20(iii), pivot z): with x <= y <= z and q = -p,
        //   (z - p) RJ(x,y,z,p) = (p' - z) RJ(x,y,z,p') - 3 RF(x,y,z)
        //                         + 3 sqrt(xyz/w) RC(w, q p'),
        //   p' = (z (x + y + q) - x y)/(z + q) > 0,  w = x y + q p'.
        if (x > y) swap_values(x, y);
        if (y > z) swap_values(y, z);
        if (x > y) swap_values(x, y);
        const double q = -p;
        const double p_prime = ((x + y - p) * z - x * y) / (z - p);
        const Fallible r1 = elliprj(x, y, z, p_prime);
        if (r1.failed()) return r1;
        const Fallible r2 = elliprf(x, y, z);
        if (r2.failed()) return r2;
        const double w = x * y + q * p_prime;
        const Fallible r3 = elliprc(w, q * p_prime);
        if (r3.failed()) return r3;
        return Fallible::ok(((p_prime - z) * r1.value - 3.0 * r2.value +
                             3.0 * std::sqrt(x * y * z / w) * r3.value) /
                            (z - p));
    }

    return _elliprj(x, y, z, p);
}

}  // namespace magnifex
