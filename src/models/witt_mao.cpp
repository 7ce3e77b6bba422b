// Magnification of a uniformly bright circular source by a point-mass lens,
// H. J. Witt & S. Mao 1994, ApJ 430, 505, eq. (9):
//   pi A = (u+rho) sqrt(4+(u-rho)^2)/(2 rho^2) E(m)
//          - (u-rho)(8-rho^2+u^2)/(2 rho^2 sqrt(4+(u-rho)^2)) K(m)
//          + 2 (u-rho)^2 (1+rho^2)/(rho^2 (u+rho) sqrt(4+(u-rho)^2)) Pi(n, m)
// with n = 4 u rho/(u+rho)^2 and m = 4n/(4+(u-rho)^2); on the limb (u = rho)
//   pi A = 2/rho + (1+rho^2)/rho^2 (pi/2 + asin((rho^2-1)/(rho^2+1)))
//        = 2/rho + 2 (1+rho^2)/rho^2 atan(rho).
// As written the three terms are each O(1/rho^2) and cancel to O(1), the
// complements 1 - n and 1 - m cancel near the limb, and far out the sum
// cancels as (u/rho)^2 eps. For u >= 0, rho >= 0 this file evaluates instead:
//   u = rho:       the limb form through atan (no cancellation);
//   u < 4 rho:     a Carlson form (below), with 1 - m and 1 - n formed from
//                  u - rho directly and its integrals from Bulirsch's cel
//                  (elliptic/complete_lanes.hpp);
//   u >= 4 rho:    the multipole expansion about the point source
//                  (witt_mao_multipole.hpp), which converges like (rho/u)^{2k}.
// The last two are templates over the number type (witt_mao_lanes.hpp):
// witt_mao_magnification runs them on vectors of 8, 4 or 2 separations
// (AVX-512, AVX2 or SSE2, chosen at run time) and on single doubles where a
// chunk of separations mixes the two ranges or meets the limb.
// Accuracy against mpmath (tests/python/test_disk_oracle.py: the closed form at
// 60 digits, checked against direct quadrature of the point-source
// magnification; rho from 1e-6 to 100, |l - 1| down to 1e-14, u up to 1e6):
// worst relative error 1.3e-15.
#include "models/witt_mao.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "elliptic/complete.hpp"
#include "models/witt_mao_batch.hpp"

#include "elliptic/lanes_dispatch.hpp"
#include "elliptic/lanes_sse2.hpp"

#include "models/witt_mao_lanes.hpp"

namespace magnifex {

namespace {

using lanes::kMultipoleRatio;
using lanes::kOnLimb;

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kMax = std::numeric_limits<double>::max();

// The Witt-Mao form as written switches to its limb value within this band
// (relative to rho).
constexpr double kLimbBand = 3e-6;

// The Witt-Mao form as written, for inputs outside u >= 0, rho >= 0 (negative
// or non-finite lengths): it gives their NaN results and elliptic failures.
Fallible witt_mao_as_written(double u, double rho) {
    const double rho2 = rho * rho;
    const double one_plus_rho2 = 1.0 + rho2;
    const double delta = u - rho;
    if (std::fabs(delta) <= kLimbBand * rho) {
        const double limb_arg = (-1.0 + rho2) / one_plus_rho2;
        return Fallible::ok(((std::asin(limb_arg) + kHalfPi) * (one_plus_rho2 / rho2) + 2.0 / rho) / kPi);
    }
    const double sigma = rho + u;
    const double n = (4.0 * rho * u) / (sigma * sigma);
    const double delta2 = delta * delta;
    const double q = std::sqrt(delta2 + 4.0);
    const double k = std::sqrt(n * 4.0) / q;
    const double m = k * k;
    const double h = (u * u - rho2) * 0.5;

    const Fallible e = ellipe(m);
    if (e.failed()) return e;
    const Fallible kk = ellipk(m);
    if (kk.failed()) return kk;
    const Fallible pi = ellippi(n, m);
    if (pi.failed()) return pi;

    const double t_e = e.value * ((q * sigma) / (rho2 + rho2));
    const double t_k = kk.value * ((delta * (h + 4.0)) / (rho2 * q));
    const double t_pi = pi.value * ((one_plus_rho2 * (delta2 + delta2)) / ((rho2 * sigma) * q));
    const double s = t_pi + (t_e - t_k);
    return Fallible::ok((s + kPi) / kTwoPi + (s - kPi) / kTwoPi);
}

// pi A = 2/rho + 2 (1 + rho^2)/rho^2 atan(rho), grouped so that neither rho^2
// nor 1/rho^2 can overflow or underflow.
double limb_value(double rho) {
    const double two_atan = 2.0 * std::atan(rho);
    if (rho < 1.0) return (2.0 + (two_atan / rho) * (1.0 + rho * rho)) / (kPi * rho);
    return (2.0 / rho + two_atan * (1.0 + 1.0 / (rho * rho))) / kPi;
}

// With K = RF(0,c,1), E = RF - (m/3) RD(0,c,1) and Pi = RF + (n/3) RJ(0,c,1,p)
// (DLMF 19.25.1; c = 1 - m, p = 1 - n) the three terms of the Witt-Mao form
// collapse to
//   pi A = (2q/sigma) RF(0,c,1) + 8u/(3 rho sigma q) [ p (1+rho^2) RJ(0,c,1,p) - RD(0,c,1) ],
// sigma = u + rho, delta = u - rho, q = sqrt(delta^2 + 4): the RF coefficients
// sum exactly to 2q/sigma, so only the bracket, O(rho/u) for u >> rho, cancels.
// Near the limb (c -> 0) RF ~ log(16/c)/2 and RD ~ 3 log(16/c)/2 cancel
// instead; with q^2 = 4 + delta^2, 4u/rho = 4 + 4 delta/rho and
// RF(0,c,1) - RD(0,c,1)/3 = (c/3) RD(0,1,c) (DLMF 19.21.7 with x = 0) the
// same sum is, free of that cancellation,
//   pi A = 2/(sigma q) [ (4c/3) RD(0,1,c) + delta^2 RF(0,c,1) - 4 delta/(3 rho) RD(0,c,1) ]
//          + 8u (1+rho^2) p/(3 rho sigma q) RJ(0,c,1,p),
// used for u < 2 rho. The complements come from delta without cancellation:
//   p = delta^2/sigma^2,  c = delta^2 (4 + sigma^2)/(sigma^2 (4 + delta^2)).
// Quotients are grouped so that neither rho^2 nor 1/rho^2 is formed.
// The integrals come from lanes::complete_integrals (Bulirsch's cel), which
// forms RF, RD and RJ of these arguments as sums of positive terms.
double carlson_form(double u, double rho) {
    const double e = (u - rho) / (u + rho);
    if (!(e * e >= kOnLimb)) return limb_value(rho);
    return lanes::carlson(u, rho);
}

Fallible disk_magnification(double u, double rho);

// The Witt-Mao form is odd under (u, rho) -> (-u, -rho): a negative source
// radius (re or rstar negative) with l >= 0 gives the negated magnification.
// On the limb it keeps the form's failure (m = 1).
Fallible mirrored(double u, double rho) {
    if (u == rho) return witt_mao_as_written(u, rho);
    const Fallible a = disk_magnification(-u, -rho);
    return a.failed() ? a : Fallible::ok(-a.value);
}

Fallible disk_magnification(double u, double rho) {
    if (!(u >= 0.0 && u <= kMax && rho >= 0.0 && rho <= kMax) || (u == 0.0 && rho == 0.0)) {
        if (u <= 0.0 && u >= -kMax && rho < 0.0 && rho >= -kMax) return mirrored(u, rho);
        return witt_mao_as_written(u, rho);
    }
    // A point lens magnifies every point of the source by at least 1, so the
    // mean is at least 1; the max only removes rounding below it.
    if (u == rho) return Fallible::ok(std::fmax(limb_value(rho), 1.0));
    if (u >= kMultipoleRatio * rho) return Fallible::ok(lanes::multipole(u, rho));
    return Fallible::ok(carlson_form(u, rho));
}

}  // namespace

namespace disk_batch {

unsigned long disk_run_sse2(const double* l, unsigned long n, double rho, double* out) {
    return lanes::disk_run<lanes::Lanes2, 2>(l, n, rho, out);
}

}  // namespace disk_batch

Fallible witt_mao_kernel(double u, double rho) { return disk_magnification(u, rho); }

Fallible witt_mao_carlson_kernel(double u, double rho) { return disk_magnification(u, rho); }

namespace {

// The widest batched disk that this CPU runs (SSE2 is part of x86-64).
using DiskRun = unsigned long (*)(const double*, unsigned long, double, double*);

DiskRun pick_disk_run() {
    return lanes::widest_supported<DiskRun>(disk_batch::disk_run_sse2, disk_batch::disk_run_avx2,
                                            disk_batch::disk_run_avx512);
}

// Chunk of separations done one at a time where a batch stops; the batch
// resumes after it.
constexpr std::size_t kScalarChunk = 8;

}  // namespace

Outcome<std::vector<double>> witt_mao_magnification(std::vector<double> l, double re, double rstar) {
    static const DiskRun disk_run = pick_disk_run();
    const double rho = rstar / re;
    const std::size_t n = l.size();
    std::vector<double> result(n);
    const bool batched = rho > 0.0 && rho <= kMax;
    std::size_t i = 0;
    while (i < n) {
        if (batched) i += disk_run(l.data() + i, n - i, rho, result.data() + i);
        const std::size_t end = i + kScalarChunk < n ? i + kScalarChunk : n;
        for (; i < end; ++i) {
            const Fallible a = disk_magnification(l[i] * rho, rho);
            if (a.failed()) return PendingRuntimeError{a.failure};
            result[i] = a.value;
        }
    }
    return result;
}

}  // namespace magnifex
