// Pi(n, m) = int_0^{pi/2} dt / ((1 - n sin^2 t) sqrt(1 - m sin^2 t)), the
// complete elliptic integral of the third kind (characteristic n, parameter m).
//
// Method: for n > 0, Pi = RF(0, 1-m, 1) + (n/3) RJ(0, 1-m, 1, 1-n)
// (DLMF 19.25(i)); for n < 0 the characteristic is first moved into (0, 1) by
// N = (m - n)/(1 - n) (DLMF 19.7(iii)), which keeps every RJ argument
// positive and avoids the principal value; n = 0 is K(m).
// Source: B. C. Carlson, Numer. Algorithms 10 (1995) 13-26; DLMF 19.7, 19.25.
// Accuracy (tests/cpp/test_elliptic_accuracy.cpp, 360 mpmath points with
// n in (-1e10, 1), m in [0, 1)): worst relative error 4.4e-16.
#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"
#include "elliptic/constants.hpp"

namespace magnifex {

Fallible ellippi(double n, double m) {
    if (m >= 1.0) return Fallible::fail("ellippi: m must be less than 1.");
    if (n > 1.0) return Fallible::fail("ellippi: n must be less than 1.");

    if (n == 0.0) {
        if (m == 0.0) return Fallible::ok(elliptic_detail::kPiOver2);
        return ellipk(m);
    }

    const double c = 1.0 - m;
    if (!(n < 0.0)) {
        // 0 < n <= 1, or NaN: n = 1 surfaces as RJ's "p must be non-zero".
        const Fallible f = elliprf(0.0, c, 1.0);
        if (f.failed()) return f;
        const Fallible j = elliprj(0.0, c, 1.0, 1.0 - n);
        if (j.failed()) return j;
        return Fallible::ok(f.value + (n * j.value) / 3.0);
    }

    // n < 0: Pi(n, m) = (m K(m) - (1-m) n Pi(N, m)/(1-n)) / (m - n),
    // N = (m - n)/(1 - n), 1 - N = (1-m)/(1-n).
    const double q = 1.0 - n;
    const double d = m - n;
    const Fallible f = elliprf(0.0, c, 1.0);
    if (f.failed()) return f;
    const Fallible j = elliprj(0.0, c, 1.0, c / q);
    if (j.failed()) return j;
    const Fallible km = ellipk(m);
    if (km.failed()) return km;
    const double pi_n = f.value + ((d / q) * j.value) / 3.0;
    return Fallible::ok((m * km.value) / d - (c * ((pi_n * n) / q)) / d);
}

}  // namespace magnifex
