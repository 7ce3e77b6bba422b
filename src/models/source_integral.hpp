// Integrals over pieces of the source radius, for the limb-darkened routes.
//
// A piece on which the integrand is analytic (no lens position on or next to
// it) gets a Gauss-Kronrod rule, accepted when its Gauss sum agrees to
// kGaussKronrodAccept: the Gauss error is then at most that, and the Kronrod
// sum's, which converges at 11/6 (7 points) or 23/14 (15 points) times the
// rate, below 1e-15 of the piece. Pieces up to kShortPiece long try the
// 7-point rule first: a table's many short pieces cost 7 evaluations each. Any other piece (the lens at or next to an end, where
// the ring magnification is log-singular, or a rejected Kronrod sum) gets the
// double-exponential rule, stopped at the first level that changes the
// estimate by less than kRelativeTolerance of it: that change bounds the
// error of the level before, and the returned level is ~1e-14 or better
// (measured against the mpmath oracle; 1e-12 on the change would sit at the
// rounding floor of the kernels and run every level). A lens inside a piece
// splits it.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>

#include "numerics/gauss_kronrod.hpp"
#include "numerics/quadrature.hpp"

namespace magnifex {

inline constexpr double kRelativeTolerance = 1e-11;
inline constexpr double kGaussKronrodAccept = 1e-9;
inline constexpr double kShortPiece = 0.1;

// A piece is next to the lens when the lens lies within half its length.
inline constexpr double kNearLensFraction = 0.5;

// Wraps an integrand and counts its finite values, so that an integral with
// none at all (undefined everywhere: a zero source radius, a negative
// separation) is NaN rather than the 0 that the quadrature's guard leaves.
template <class F>
class CountedIntegrand {
public:
    explicit CountedIntegrand(F& f) : f_(f) {}
    double operator()(double x) {
        const double v = f_(x);
        if (std::isfinite(v)) ++finite_;
        return v;
    }
    void batch(const double* x, double* values, std::size_t n)
        requires BatchIntegrand<F>
    {
        f_.batch(x, values, n);
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isfinite(values[i])) ++finite_;
        }
    }
    double result(double integral) const {
        return finite_ == 0 ? std::numeric_limits<double>::quiet_NaN() : integral;
    }

private:
    F& f_;
    unsigned long finite_ = 0;
};

// int_lo^hi f with the lens (the singular point) at `lens`, outside (lo, hi).
template <class F>
double integrate_piece(F& f, double lo, double hi, double lens) {
    const double margin = kNearLensFraction * (hi - lo);
    const bool near_lens = lens > lo - margin && lens < hi + margin;
    if (!near_lens) {
        auto accepted = [](const GaussKronrodResult& r) {
            return std::fabs(r.kronrod - r.gauss) <= kGaussKronrodAccept * std::fabs(r.kronrod);
        };
        if (hi - lo <= kShortPiece) {
            const GaussKronrodResult r = gauss_kronrod_7(f, lo, hi);
            if (accepted(r)) return r.kronrod;
        }
        const GaussKronrodResult r = gauss_kronrod_15(f, lo, hi);
        if (accepted(r)) return r.kronrod;
    }
    return integrate_relative(f, lo, hi, kRelativeTolerance).integral;
}

// int_lo^hi f, split at the lens when it lies inside.
template <class F>
double integrate_split(F& f, double lo, double hi, double lens) {
    if (lens > lo && lens < hi) {
        return integrate_piece(f, lo, lens, lens) + integrate_piece(f, lens, hi, lens);
    }
    return integrate_piece(f, lo, hi, lens);
}

// int_lo^hi f by the double-exponential rule alone, split at the lens: for
// pieces with a singular end of their own (the limb-darkening law's).
template <class F>
double integrate_split_tanh_sinh(F& f, double lo, double hi, double lens) {
    if (lens > lo && lens < hi) {
        return integrate_relative(f, lo, lens, kRelativeTolerance).integral +
               integrate_relative(f, lens, hi, kRelativeTolerance).integral;
    }
    return integrate_relative(f, lo, hi, kRelativeTolerance).integral;
}

}  // namespace magnifex
