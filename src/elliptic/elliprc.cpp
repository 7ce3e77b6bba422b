// RC(x, y) = 1/2 int_0^inf dt / (sqrt(t+x) (t+y)), the degenerate case
// RF(x, y, y); for y < 0 the Cauchy principal value.
//
// Method: elementary closed forms: an arctangent for y > x, an inverse
// hyperbolic tangent (or its logarithm) for y < x; the principal value is
// reduced to positive arguments by RC(x, y) = sqrt(x/(x-y)) RC(x-y, -y).
// Source: B. C. Carlson, Numer. Algorithms 10 (1995) 13-26; DLMF 19.2(iv).
// Accuracy (tests/cpp/test_elliptic_accuracy.cpp, 320 mpmath points, arguments
// 1e-200..1e200, 140 of them principal values): worst relative error 3.1e-16.
#include <cmath>

#include "elliptic/carlson.hpp"
#include "elliptic/constants.hpp"

namespace magnifex {

using elliptic_detail::kPiOver2;

Fallible elliprc(double x, double y) {
    if (x < 0.0) return Fallible::fail("elliprc: x must be non-negative.");
    if (y == 0.0) return Fallible::fail("elliprc: y must be non-zero.");

    // Principal value: RC(x, y) = sqrt(x/(x-y)) RC(x-y, -y) for y < 0.
    double w = 1.0;
    if (y < 0.0) {
        w = std::sqrt(x / (x - y));
        // x/(x - y) underflows for x << -y (x ~ 1e-173, y ~ -1e193): the
        // square roots apart keep the prefactor.
        if (w == 0.0 && x > 0.0) w = std::sqrt(x) / std::sqrt(x - y);
        const double shifted = x - y;
        y = -y;
        x = shifted;
    }

    // The prefactor multiplies each numerator before the division.
    if (x == 0.0) return Fallible::ok(w * kPiOver2 / std::sqrt(y));
    if (x == y) return Fallible::ok(w / std::sqrt(x));
    if (y > x) return Fallible::ok(w * std::atan(std::sqrt((y - x) / x)) / std::sqrt(y - x));
    if (y / x > 0.5) {
        // artanh(s) as a difference of log1p: no cancellation for small s.
        const double s = std::sqrt((x - y) / x);
        return Fallible::ok(w * (std::log1p(s) - std::log1p(-s)) / (2.0 * std::sqrt(x - y)));
    }
    // Also reached when y/x is NaN.
    return Fallible::ok(w * std::log((std::sqrt(x) + std::sqrt(x - y)) / std::sqrt(y)) /
                        std::sqrt(x - y));
}

}  // namespace magnifex
