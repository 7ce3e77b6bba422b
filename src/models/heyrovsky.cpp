// Magnification of a thin, uniformly bright ring of radius r concentric with a
// source, by a point-mass lens at distance l from the centre (lengths in
// source radii, beta = Einstein radius in source radii); the ring average of
// the point-source magnification, D. Heyrovsky 2003, ApJ 594, 464:
//   A = 2/(pi (l+r) sqrt(4 beta^2 + (l-r)^2)) [ 2 beta^2 K(m) + (l-r)^2 Pi(n, m) ]
// with n = 4 l r/(l+r)^2 and m = 16 beta^2 l r/((l+r)^2 (4 beta^2 + (l-r)^2)).
//
// Method: Carlson's forms K = RF(0, 1-m, 1), Pi = K + (n/3) RJ(0, 1-m, 1, 1-n)
// (DLMF 19.25.1) with both complements formed from q = (l-r)/(l+r) and
// D = (l-r)/beta, never as 1 - m or 1 - n:
//   1 - n = q^2,   1 - m = (4 q^2 + D^2)/(4 + D^2),
// so that nothing cancels as the lens approaches the ring (where both tend to
// 0 and the integrals diverge logarithmically) or moves far away (n -> 0);
// every remaining term is positive. Written in D and S = (l+r)/beta, lengths
// in Einstein radii (and in 1/D^2 for |D| >= 1), so that an over- or
// underflowing square of a length never turns into a wrong result. The form
// holds to a few ulps up to the ring, so no near-ring expansion is needed.
// Accuracy (tests/python/test_ring_oracle.py, 419 cases: the closed form at 60
// digits in mpmath, checked against direct quadrature of the point-source
// magnification over the ring): worst relative error 6.2e-16 for
// 1e-14 <= |l-r|/r <= 0.1 on both sides of rings r = 0.01..3, beta = 0.1..1000,
// 2.2e-16 far away (l to 1e150), 3.5e-16 at the extremes (l or r 0 or 1e-300).
#include "models/heyrovsky.hpp"

#include <cmath>
#include <limits>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"
#include "models/heyrovsky_batch.hpp"
#include "models/point_source.hpp"

#include "elliptic/lanes_dispatch.hpp"
#include "elliptic/lanes_sse2.hpp"

#include "models/heyrovsky_lanes.hpp"

namespace magnifex {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The closed form as first written, with the logarithmic expansion within
// 1e-6 of the ring; kept for inputs outside the ring average's domain
// (negative, opposite-sign or non-finite lengths, beta <= 0 or NaN), which
// must meet the same failures and values as before.
constexpr double kNearRing = 1e-6;
constexpr double kNearRingRelative = 1e-5;

Outcome<double> legendre_form(double l, double r, double beta) {
    const double beta2 = beta * beta;
    const double delta = l - r;

    if (std::fabs(delta) < kNearRing && std::fabs(delta) <= kNearRingRelative * l) {
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

// The Carlson form in lengths (l + r, l - r) as first written, for the
// kernel's inputs outside the domain of ring_average.
double carlson_form_unscaled(double l, double r, double beta) {
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

// The domain of ring_average: finite lengths l, r >= 0 and 0 < beta < inf
// (NaN fails every comparison).
bool in_domain(double l, double r, double beta) {
    return l >= 0.0 && r >= 0.0 && l < kInfinity && r < kInfinity && beta > 0.0 &&
           beta < kInfinity;
}

// A point lens never makes a source fainter: the exact ring average is above
// 1, and far away (A - 1 ~ 2/u^4 below eps) rounding must not take it below.
double at_least_one(double a) { return a < 1.0 ? 1.0 : a; }

// Point-source magnification at s source radii, u = s/beta.
double point_source(double s, double beta) { return at_least_one(magnifex::point_source(s / beta)); }

// Ring average for 0 < l, r < inf, l != r, 0 < beta < inf: the one-lane case
// of the template in heyrovsky_lanes.hpp, which the batched kernel shares. It
// cannot fail: both complements are positive there.
double ring_average(double l, double r, double beta) { return lanes::ring_average(l, r, beta); }

}  // namespace

double ring_kernel_delta(double u, double r, double delta) {
    if (u > 0.0 && u < kInfinity && r > 0.0 && r < kInfinity && delta != 0.0 && std::isfinite(delta)) {
        return lanes::ring_average_delta<double, true>(u, r, delta, 1.0);
    }
    return heyrovsky_carlson_kernel(u, r, 1.0);
}

Outcome<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
    const double beta = re / rstar;
    if (!in_domain(l, r, beta)) return legendre_form(l, r, beta);
    // On the ring the average diverges logarithmically; with r = 0 (or l = 0)
    // the ring is a point, also when the other length is tiny.
    if (l == r) return kInfinity;
    if (l == 0.0 || r == 0.0) return point_source(l + r, beta);
    return ring_average(l, r, beta);
}

double heyrovsky_carlson_kernel(double l, double r, double beta) {
    if (!(l * r >= 0.0)) return kNaN;
    const double b = std::fabs(beta);
    if (!in_domain(l, r, b)) return carlson_form_unscaled(l, r, beta);
    if (l == r) return kNaN;
    if (l == 0.0 || r == 0.0) return point_source(l + r, b);
    return ring_average(l, r, b);
}

}  // namespace magnifex

namespace magnifex {

namespace ring_batch {

void ring_run_sse2(double l, const double* x, unsigned long n, double beta, double* out) {
    lanes::ring_run<lanes::Lanes2, 2>(l, x, n, beta, out, heyrovsky_carlson_kernel);
}

}  // namespace ring_batch

namespace {

// The widest batched ring that this CPU runs (SSE2 is part of x86-64).
using RingRun = void (*)(double, const double*, unsigned long, double, double*);

RingRun pick_ring_run() {
    return lanes::widest_supported<RingRun>(ring_batch::ring_run_sse2, ring_batch::ring_run_avx2,
                                            ring_batch::ring_run_avx512);
}

}  // namespace

void heyrovsky_carlson_kernel_batch(double l, const double* x, std::size_t n, double beta, double* out) {
    static const RingRun ring_run = pick_ring_run();
    const double b = std::fabs(beta);
    if (l > 0.0 && l < kInfinity && b > 0.0 && b < kInfinity) {
        ring_run(l, x, n, b, out);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = heyrovsky_carlson_kernel(l, x[i], beta);
}

}  // namespace magnifex
