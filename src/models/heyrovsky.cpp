// Magnification of a thin, uniformly bright ring of radius r concentric with a
// source, by a point-mass lens at distance l from the centre (lengths in
// source radii, beta = Einstein radius in source radii); the ring average of
// the point-source magnification, D. Heyrovsky 2003, ApJ 594, 464:
//   A = 2/(pi (l+r) sqrt(4 beta^2 + (l-r)^2)) [ 2 beta^2 K(m) + (l-r)^2 Pi(n, m) ]
// with n = 4 l r/(l+r)^2 and m = 16 beta^2 l r/((l+r)^2 (4 beta^2 + (l-r)^2)).
// Within 1e-6 of the ring, where m -> 1 and n -> 1, the expansion of the
// above in |l - r| replaces it:
//   A = [ 2 beta/l (1 - d/(2l)) ln(8 beta l/(sqrt(l^2+beta^2) |d|)) + 4 atan(l/beta)
//         + (2 l^2 + beta^2) beta d/((l^2+beta^2) l^2) ] / (2 pi),   d = l - r.
#include "models/heyrovsky.hpp"

#include <cmath>

#include <limits>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"

namespace magnifex {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kNearRing = 1e-6;
// The expansion is in |l - r|/l, so it also needs the lens well away from the
// centre: its truncation error is ~|l - r|/l, the closed form's rounding error
// ~eps (2l/|l - r|)^2 (1 - n cancels in Pi), and the two meet at |l - r| ~ 1e-5 l.
// For l >= 0.1 the absolute band above is the narrower one; at l = 0 the
// expansion (which divides by l) is never used.
constexpr double kNearRingRelative = 1e-5;

}  // namespace

Outcome<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
    const double beta = re / rstar;
    const double beta2 = beta * beta;
    const double delta = l - r;

    if (std::fabs(delta) < kNearRing && std::fabs(delta) <= kNearRingRelative * l) {
        // Both sides of the ring: the expansion holds for either sign of d
        // (a point lens never makes a source fainter, so no zero inside).
        const double c1 = (1.0 - delta / (l + l)) * ((beta + beta) / l);
        const double log_term =
            std::log(((8.0 * beta) * l) / (std::sqrt(l * l + beta2) * std::fabs(delta)));
        const double t = std::atan(l / beta) * 4.0;
        const double c2 = ((((l * l + l * l) + beta2) * beta) / ((l * l + beta2) * (l * l))) * delta;
        return ((log_term * c1 + t) + c2) / kTwoPi;
    }

    const double sigma = l + r;
    const double d = delta * delta;
    const double w = beta2 * 4.0 + d;
    const double k = ((beta * 4.0) / sigma) * std::sqrt((l * r) / w);
    const double m = k * k;
    const Fallible kk = ellipk(m);
    if (kk.failed()) return PendingRuntimeError{kk.failure};
    const double n = ((l * 4.0) * r) / (sigma * sigma);
    const Fallible pi = ellippi(n, m);
    if (pi.failed()) return PendingRuntimeError{pi.failure};
    const double c = 4.0 / (sigma * std::sqrt(w));
    return (((beta2 + beta2) * kk.value + d * pi.value) * c) / kTwoPi;
}

// With K = RF(0, c, 1) and Pi = RF(0, c, 1) + (n/3) RJ(0, c, 1, 1 - n) (DLMF 19.25.1):
//   1 - n = (l - r)^2/(l + r)^2,
//   c = 1 - m = (l - r)^2 (4 beta^2 + (l + r)^2)/((l + r)^2 (4 beta^2 + (l - r)^2)),
//   2 pi A = 4/((l + r) sqrt(w)) [ (2 beta^2 + d) RF(0, c, 1) + d (n/3) RJ(0, c, 1, 1 - n) ],
// d = (l - r)^2, w = 4 beta^2 + d. Both complements come without cancellation.
double heyrovsky_carlson_kernel(double l, double r, double beta) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    if (!(l * r >= 0.0)) return kNaN;
    const double beta2 = beta * beta;
    const double sigma = l + r;
    const double sigma2 = sigma * sigma;
    const double delta = l - r;
    const double d = delta * delta;
    const double w = 4.0 * beta2 + d;
    const double n = (4.0 * l * r) / sigma2;
    const double p = d / sigma2;
    const double c = (d * (4.0 * beta2 + sigma2)) / (sigma2 * w);
    const Fallible rf = elliprf(0.0, c, 1.0);
    if (rf.failed()) return kNaN;
    const Fallible rj = elliprj(0.0, c, 1.0, p);
    if (rj.failed()) return kNaN;
    const double bracket = (2.0 * beta2 + d) * rf.value + d * (n / 3.0) * rj.value;
    return ((4.0 / (sigma * std::sqrt(w))) * bracket) / kTwoPi;
}

}  // namespace magnifex
