// K(m) = int_0^{pi/2} dt / sqrt(1 - m sin^2 t), the complete elliptic integral
// of the first kind in the parameter convention (m = k^2).
//
// Method: for 0 <= m < 1 the rational-logarithmic approximation
//   K = P(x) - ln(x) Q(x),  x = 1 - m,
// with degree-10 polynomials P, Q evaluated by Horner's rule from the highest
// coefficient (the Hastings-Cody form: W. J. Cody, Math. Comp. 19 (1965)
// 105-112, cf. Abramowitz & Stegun 17.3.34; DLMF 19.12 for the logarithmic
// singularity at m = 1). Negative m is mapped into (0, 1) by the
// imaginary-modulus transformation K(m) = K(m/(m-1)) / sqrt(1-m) (DLMF 19.7.5),
// with the new complementary parameter 1/(1-m) formed directly.
// Source: DLMF 19.2, 19.7, 19.12.
// Accuracy (tests/cpp/test_elliptic_accuracy.cpp, 320 mpmath points with
// m in (-1e10, 1]): worst relative error 2.9e-16, for m < 0 as well; the
// case table checks m down to -1e300 within 2e-15.
#include <cmath>
#include <limits>

#include "elliptic/complete.hpp"
#include "elliptic/constants.hpp"
#include "elliptic/series.hpp"

namespace magnifex {
namespace {

using elliptic_detail::kEpsilon;
using elliptic_detail::horner;
using elliptic_detail::kPiOver2;

// ln 4: K(m) -> ln 4 - ln(x)/2 as x = 1 - m -> 0 (DLMF 19.12.1).
constexpr double kLn4 = 1.3862943611198906;

constexpr double kPk[] = {
    0.00013798286460627325, 0.002280257240058756, 0.007974040132204152,
    0.00985821379021226,    0.006874896874499499, 0.006189010336376876,
    0.008790782739527438,   0.014938044891680526, 0.0308851465246712,
    0.09657359028116902,    1.3862943611198906,
};
constexpr double kQk[] = {
    2.940789550485985e-05, 0.0009141847238659173, 0.005940583037531678,
    0.01548505166497624,   0.023908960271592488,  0.030120471522760404,
    0.037377431417382326,  0.04882803475709983,   0.07031249969639575,
    0.12499999999987083,   0.5,
};

// K as a function of the complementary parameter x = 1 - m, 0 < x <= 1.
double ellipk_complementary(double x) {
    // Below eps the logarithmic term dominates and the polynomials are
    // their constant terms.
    if (x < kEpsilon) return kLn4 - 0.5 * std::log(x);
    return horner(kPk, x) - std::log(x) * horner(kQk, x);
}

}  // namespace

Fallible ellipk(double m) {
    if (m > 1.0) return Fallible::fail("ellipk: m must be less than 1.");
    if (m == 1.0) return Fallible::ok(std::numeric_limits<double>::infinity());
    if (m == 0.0) return Fallible::ok(kPiOver2);
    if (m < 0.0) {
        // K(m) = K(m/(m-1)) / sqrt(1-m); the complementary parameter of
        // m/(m-1) is 1/(1-m), computed without the cancellation of 1 - m/(m-1).
        if (std::isinf(m)) return Fallible::ok(0.0);
        const double s = 1.0 - m;
        return Fallible::ok(ellipk_complementary(1.0 / s) / std::sqrt(s));
    }
    return Fallible::ok(ellipk_complementary(1.0 - m));
}

}  // namespace magnifex
