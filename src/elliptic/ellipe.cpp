// E(m) = int_0^{pi/2} sqrt(1 - m sin^2 t) dt, the complete elliptic integral
// of the second kind in the parameter convention (m = k^2).
//
// Method: for 0 <= m <= 1 the rational-logarithmic approximation
//   E = P(x) - (Q(x) x) ln(x),  x = 1 - m,
// with polynomials of degree 10 and 9 evaluated by Horner's rule from the
// highest coefficient (the Hastings-Cody form: W. J. Cody, Math. Comp. 19
// (1965) 105-112, cf. Abramowitz & Stegun 17.3.36). x ln x -> 0, so no separate
// form is needed near m = 1. Negative m is mapped into (0, 1) by the
// imaginary-modulus transformation E(m) = sqrt(1-m) E(m/(m-1)) (DLMF 19.7.5),
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

using elliptic_detail::horner;
using elliptic_detail::kPiOver2;

constexpr double kPe[] = {
    0.0001535525773010133, 0.0025088849216360204, 0.008687868165658896,
    0.010735094905607619,  0.007773954925167871,  0.007583952894135147,
    0.011568843681057412,  0.021831799601555724,  0.05680519456178606,
    0.44314718056099084,   1.0,
};
constexpr double kQe[] = {
    3.2795489857648585e-05, 0.0010096279267935672, 0.006506094899769275,
    0.016886216399331133,   0.026176974245449364,  0.03348339048882249,
    0.04271809265189315,    0.0585936634471101,    0.09374999971976443,
    0.2499999999998883,
};

// E as a function of the complementary parameter x = 1 - m, 0 < x <= 1.
double ellipe_complementary(double x) {
    return horner(kPe, x) - (horner(kQe, x) * x) * std::log(x);
}

}  // namespace

Fallible ellipe(double m) {
    if (m > 1.0) return Fallible::fail("ellipe: m must be less than 1.");
    if (m == 1.0) return Fallible::ok(1.0);
    if (m == 0.0) return Fallible::ok(kPiOver2);
    if (m < 0.0) {
        // E(m) = sqrt(1-m) E(m/(m-1)); the complementary parameter of m/(m-1)
        // is 1/(1-m), computed without the cancellation of 1 - m/(m-1).
        if (std::isinf(m)) return Fallible::ok(std::numeric_limits<double>::infinity());
        const double s = 1.0 - m;
        return Fallible::ok(std::sqrt(s) * ellipe_complementary(1.0 / s));
    }
    return Fallible::ok(ellipe_complementary(1.0 - m));
}

}  // namespace magnifex
