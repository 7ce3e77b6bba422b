// Evaluation of the far-field series (far_field.hpp). With s = u^2, w = s/2,
// q = (rho/u)^2 and Q~_k(w) = Q_k(w) / (2^k k!^2) from the generated table,
//   A0  = (s + 2) / (u sqrt(s + 4)),
//   A   = M_0 A0 + P sum_{k>=1} M_k H_k zeta^k,
// where, for w <= 2 (u <= 2),  P = 2 / (u sqrt(s + 4)),  zeta = 4q / (s + 4)^2,
//                              H_k = Q~_k(w) by Horner in w;
// and for w > 2,               P = 4 / (u sqrt(s + 4) s), zeta = q (s/(s + 4))^2,
//                              H_k = Q~_k(w) / w^{2k-1} by Horner in 1/w.
// Both forms keep every power bounded (no w^{3k} overflows for u up to 1e100),
// and each Horner variable lies in [0, 2] or [0, 1/2]. The Q_k have a few
// negative coefficients from k = 4 on; the sum of the absolute terms exceeds
// Q_k by at most ~200 at k = 16, where the term itself is below 1e-9 of A.
//
// Truncation: with c_k = u^{2k} L^k A0 / (4^k k!^2) > 0, the terms after n are
// bounded by majorant_n H_n zeta^n g / (1 - g), g = kRatioBound[n] support^2 q,
// since c_{k+1}/c_k <= kRatioBound[n] for k >= n (the generator's scan of
// every u for k up to 40) and majorant_{k+1} <= support^2 majorant_k. The sum
// stops at the first n where that bound is below 2e-15 of M_0 A0.
//
// Measured against mpmath quadrature of A0 over the source (tests/cpp/
// test_far_field.cpp, tests/data/far_field_golden.tsv): within 1.3e-15 for
// the uniform disk, the linear law and four tables, rho from 1e-4 to 3, u
// from just above the switch to 1e6.
#include "models/far_field.hpp"

#include <cmath>

namespace magnifex {

namespace {

using far_field_detail::kFarFieldTerms;
using far_field_detail::kLaplacianCoefficients;
using far_field_detail::kRatioBound;

// Relative size of the neglected tail at which the sum stops.
constexpr double kTruncation = 2e-15;
// Below it u^2 would lose precision to underflow; above it A0 = 1 and every
// correction is below 1e-200.
constexpr double kMinSeparation = 1e-140;
constexpr double kMaxSeparation = 1e100;

// Q~_k(x) (ascending coefficients) or, reversed, x^{2k-1} Q~_k(1/x); with
// kSlope, also its derivative in x.
template <bool kSlope>
double laplacian_polynomial(int k, double x, bool reversed, double* slope) {
    const double* c = kLaplacianCoefficients.data() + k * (k - 1);
    const int n = 2 * k;
    double h = 0.0, dh = 0.0;
    if (reversed) {
        for (int j = 0; j < n; ++j) {
            if constexpr (kSlope) dh = dh * x + h;
            h = h * x + c[j];
        }
    } else {
        for (int j = n - 1; j >= 0; --j) {
            if constexpr (kSlope) dh = dh * x + h;
            h = h * x + c[j];
        }
    }
    if constexpr (kSlope) *slope = dh;
    return h;
}

}  // namespace

bool FarFieldSeries::start(double u, double rho, double support, bool with_derivative) {
    formed_ = 0;
    power_ = 1.0;
    with_derivative_ = with_derivative;
    if (!(u >= kMinSeparation && u <= kMaxSeparation && rho >= 0.0)) return false;
    const double ratio = rho / u;
    const double q = ratio * ratio;
    q_ = q;
    support_q_ = (support * support) * q;
    const double min_ratio_squared = kFarFieldMinRatio * kFarFieldMinRatio;
    if (!(support_q_ * min_ratio_squared <= 1.0)) return false;

    u_ = u;
    const double s = u * u;
    const double root = u * std::sqrt(s + 4.0);
    head_ = (s + 2.0) / root;
    large_ = s > 4.0;
    if (large_) {
        const double y = s / (s + 4.0);
        prefactor_ = 4.0 / (root * s);
        zeta_ = q * (y * y);
        x_ = 2.0 / s;
    } else {
        const double t = s + 4.0;
        prefactor_ = 2.0 / root;
        zeta_ = (4.0 * q) / (t * t);
        x_ = 0.5 * s;
    }
    if (with_derivative) {
        // A0 = (s + 2)/(u sqrt(s + 4)): dA0/du = -8/(u^2 (s + 4)^(3/2));
        // d ln(u sqrt(s + 4))/du = (2s + 4)/(u (s + 4)).
        const double t = s + 4.0;
        head_u_ = -8.0 / ((u * u) * (t * std::sqrt(t)));
        const double log_root_u = (2.0 * s + 4.0) / (u * t);
        const double log_t_u = (2.0 * u) / t;
        if (large_) {
            // P = 4/(root s), zeta = q s^2/t^2, x = 2/s
            log_prefactor_u_ = -log_root_u - 2.0 / u;
            log_zeta_u_ = 2.0 / u - 2.0 * log_t_u;
            x_u_ = -2.0 * x_ / u;
        } else {
            // P = 2/root, zeta = 4 q/t^2, x = s/2
            log_prefactor_u_ = -log_root_u;
            log_zeta_u_ = -2.0 / u - 2.0 * log_t_u;
            x_u_ = u;
        }
    }
    return true;
}

void FarFieldSeries::extend(int k) {
    for (int j = formed_ + 1; j <= k; ++j) {
        power_ = power_ * zeta_;
        if (!with_derivative_) {
            term_[j] = laplacian_polynomial<false>(j, x_, large_, nullptr) * power_;
        } else {
            double slope = 0.0;
            term_[j] = laplacian_polynomial<true>(j, x_, large_, &slope) * power_;
            term_u_[j] = prefactor_ * (term_[j] * (log_prefactor_u_ + double(j) * log_zeta_u_) + slope * x_u_ * power_);
        }
    }
    if (k > formed_) formed_ = k;
}

bool far_field_magnification(double u, double rho, const FarFieldMoments& moments, double* out) {
    if (!moments.usable) return false;
    FarFieldSeries series;
    if (!series.start(u, rho, moments.support, false)) return false;
    const double head = moments.moment[0] * series.head();
    if (series.q() == 0.0) {
        *out = head;
        return true;
    }
    // The tail bound is compared with this, in units of the prefactor.
    const double threshold = kTruncation * std::fabs(head) / series.prefactor();

    // The terms one after the other, here rather than by series.term(k),
    // which keeps them for other profiles.
    double sum = 0.0;
    double power = 1.0;
    for (int k = 1; k <= kFarFieldTerms; ++k) {
        power = power * series.zeta();
        const double term = laplacian_polynomial<false>(k, series.x(), series.large(), nullptr) * power;
        sum = sum + moments.moment[k] * term;
        const double g = series.ratio(k);
        const double tail = (moments.majorant[k] * term) * (g / (1.0 - g));
        if (tail <= threshold) {
            *out = head + series.prefactor() * sum;
            return true;
        }
    }
    return false;
}

}  // namespace magnifex
