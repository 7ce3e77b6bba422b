// Far-field series of an extended source: the magnification of a source of
// radius rho (Einstein radii) with radial brightness I(x), seen at a lens
// distance u > rho, as the point-source magnification A0 plus its Laplacian
// powers weighted by the profile's radial moments.
//
// The mean of a smooth function f of the plane over a circle of radius r is
//   sum_k (r^2/4)^k (nabla^{2k} f)(centre) / (k!)^2    (Pizzetti's formula),
// which for f = A0 converges while r < u (A0 is singular only at the lens).
// Averaging over the rings of the source with the flux weights
// 2 pi x I(x) / N gives
//   A(u) = sum_k (rho^2/4)^k M_k nabla^{2k} A0(u) / (k!)^2,
//   M_k  = (1/N) int_0^1 2 pi x I(x) x^{2k} dx.
// The Laplacian powers are exact rational functions of u^2
// (far_field_coefficients.hpp, tools/gen_far_field_coefficients.py).
#pragma once

#include <array>
#include <span>

#include "models/far_field_coefficients.hpp"

namespace magnifex {

// The radial moments of one brightness profile, computed once per call.
struct FarFieldMoments {
    static constexpr int kCount = far_field_detail::kFarFieldTerms + 1;

    // M_k, k = 0 .. kFarFieldTerms; M_0 is the profile's exact flux over the
    // normalisation that the caller divides by (1 for an exact one).
    std::array<double, kCount> moment{};
    // (1/|N|) int_0^1 2 pi x |I(x)| x^{2k} dx >= |M_k|.
    std::array<double, kCount> majorant{};
    // Outer radius of the brightness (source radii, at most 1 for a profile
    // integrated over the source): majorant_{k+j} <= support^{2j} majorant_k.
    double support = 1.0;
    // False where the series does not describe the caller's integral (an
    // empty or unordered table, non-finite values, a zero normalisation).
    bool usable = false;

    // I = 1, normalised exactly: M_k = 1 / (k + 1).
    static FarFieldMoments uniform_disk();
    // A thin ring of radius r (source radii), unit weight: M_k = r^{2k}.
    static FarFieldMoments thin_ring(double r);
    // Thin rings of radii bl_j and weights bf_j, not normalised (the sum of
    // their magnifications): M_k = sum_j bf_j bl_j^{2k}. Usable only when every
    // radius is >= 0 and every value finite.
    static FarFieldMoments discrete_rings(std::span<const double> bl, std::span<const double> bf);
    // I(x) = 1 - coefficient (1 - sqrt(1 - x^2)), divided by `flux`.
    static FarFieldMoments linear_limb_darkening(double coefficient, double flux);
    // The piecewise-linear interpolation of (bl, bf), zero outside
    // [bl_0, bl_last], over x in [0, 1], divided by `flux`. A single row is a
    // constant profile, as the interpolation makes it. Usable only for
    // ascending bl.
    static FarFieldMoments table(std::span<const double> bl, std::span<const double> bf, double flux);
};

// Smallest source-to-lens ratio u / (rho support) at which the series is
// tried; below it far_field_magnification returns false at once.
inline constexpr double kFarFieldMinRatio = 1.8;

// The magnification at lens distance u of a source of radius rho (both in
// Einstein radii) with the given moments, written to *out, when the series
// truncated at kFarFieldTerms terms is within 2e-15 of it (relative, by the
// tail bound in far_field.cpp). Returns false, leaving *out untouched, where
// it is not: u/rho near or below the source's radius, the moments unusable,
// u or rho non-finite or outside [1e-140, 1e100] and [0, oo).
bool far_field_magnification(double u, double rho, const FarFieldMoments& moments, double* out);

// The series at one (u, rho), its terms formed as far as asked and shared by
// every profile evaluated there:
//   A = M_0 head + prefactor sum_{k>=1} M_k term(k),
//   dA/du = M_0 head_u + sum_{k>=1} M_k term_u(k),  term_u(k) = d(prefactor term(k))/du,
// and d(prefactor term(k))/drho = (2k/rho) prefactor term(k).
class FarFieldSeries {
public:
    static constexpr int kTerms = far_field_detail::kFarFieldTerms;

    // Sets up the series for u in [1e-140, 1e100] (Einstein radii), rho >= 0
    // and a brightness that ends at `support` source radii, where u >=
    // kFarFieldMinRatio rho support; returns false (and must not be used)
    // otherwise. `with_derivative` makes head_u and term_u available.
    bool start(double u, double rho, double support, bool with_derivative);

    double head() const { return head_; }
    double head_u() const { return head_u_; }
    double prefactor() const { return prefactor_; }
    // (rho/u)^2
    double q() const { return q_; }
    // The series' variables: term(k) = Q_k(x) zeta^k (reversed for large u).
    double zeta() const { return zeta_; }
    double x() const { return x_; }
    bool large() const { return large_; }
    // kRatioBound[k] times the squared support ratio: the tail after term k
    // is at most majorant_k |term(k)| g/(1 - g) with g = ratio(k).
    double ratio(int k) const { return far_field_detail::kRatioBound[k] * support_q_; }
    // (rho/u)^2 times the squared support ratio.
    double support_q() const { return support_q_; }
    // g/(1 - g) of ratio(k), formed with the terms (1 <= k <= kTerms).
    double tail_factor(int k) {
        if (k > formed_) extend(k);
        return tail_factor_[k];
    }
    // The k-th term (1 <= k <= kTerms) and its derivative.
    double term(int k) {
        if (k > formed_) extend(k);
        return term_[k];
    }
    double term_u(int k) {
        if (k > formed_) extend(k);
        return term_u_[k];
    }

private:
    void extend(int k);
    double u_ = 0.0, q_ = 0.0, zeta_ = 0.0, x_ = 0.0, support_q_ = 0.0;
    double head_ = 0.0, head_u_ = 0.0, prefactor_ = 0.0;
    double log_prefactor_u_ = 0.0, log_zeta_u_ = 0.0, x_u_ = 0.0;
    bool large_ = false, with_derivative_ = false;
    int formed_ = 0;
    int block_ = 0;  // the next block of terms to form (far_field.cpp)
    double power_ = 1.0;
    // Entries 1..formed_ are set.
    std::array<double, kTerms + 1> term_, term_u_, tail_factor_;
};

}  // namespace magnifex
