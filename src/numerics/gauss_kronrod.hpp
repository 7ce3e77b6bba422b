// n-point Gauss-Legendre rules and their (2n+1)-point Kronrod extensions on a
// finite interval [a, b] (Kronrod 1965; QUADPACK's QK7 and QK15, Piessens et
// al. 1983): 7 or 15 evaluations, the Kronrod sum exact for polynomials of
// degree 10 or 22, the Gauss sum (on n of the same nodes) for degree 5 or
// 13. For short pieces on which the integrand is analytic, so that both sums
// are close to the integral: their difference measures the Gauss sum's error
// and bounds, with much to spare, the Kronrod sum's (which converges about
// (3n + 2)/(2n) times as fast).
#pragma once

#include <cstddef>

#include "numerics/gauss_kronrod_table.hpp"
#include "numerics/quadrature.hpp"

namespace magnifex {

struct GaussKronrodResult {
    double kronrod;  // the (2n+1)-point estimate of the integral
    double gauss;    // the n-point estimate on the shared nodes
};

// No guard on the values: a non-finite integrand value makes both sums
// non-finite, and the caller falls back to another rule. A BatchIntegrand
// gets all 2N - 1 abscissae in one call (centre, then right, left of each
// node); the sums are formed in the same order either way.
template <class F, std::size_t N>
GaussKronrodResult gauss_kronrod(F&& f, double a, double b, const std::array<GaussKronrodNode, N>& rule) {
    const double h = (b - a) * 0.5;
    const double c = (a + b) * 0.5;
    if constexpr (BatchIntegrand<F>) {
        double y[2 * N - 1];
        double values[2 * N - 1];
        y[0] = c;
        for (std::size_t i = 1; i < N; ++i) {
            y[2 * i - 1] = c + h * rule[i].abscissa;
            y[2 * i] = c - h * rule[i].abscissa;
        }
        f.batch(y, values, 2 * N - 1);
        double kronrod = rule[0].kronrod_weight * values[0];
        double gauss = rule[0].gauss_weight * values[0];
        for (std::size_t i = 1; i < N; ++i) {
            const double pair = values[2 * i - 1] + values[2 * i];
            kronrod = kronrod + rule[i].kronrod_weight * pair;
            gauss = gauss + rule[i].gauss_weight * pair;
        }
        return GaussKronrodResult{kronrod * h, gauss * h};
    }
    const double centre = f(c);
    double kronrod = rule[0].kronrod_weight * centre;
    double gauss = rule[0].gauss_weight * centre;
    for (std::size_t i = 1; i < N; ++i) {
        const GaussKronrodNode& node = rule[i];
        const double pair = f(c + h * node.abscissa) + f(c - h * node.abscissa);
        kronrod = kronrod + node.kronrod_weight * pair;
        gauss = gauss + node.gauss_weight * pair;
    }
    return GaussKronrodResult{kronrod * h, gauss * h};
}

template <class F>
GaussKronrodResult gauss_kronrod_7(F&& f, double a, double b) {
    return gauss_kronrod(f, a, b, GAUSS_KRONROD_7);
}

template <class F>
GaussKronrodResult gauss_kronrod_15(F&& f, double a, double b) {
    return gauss_kronrod(f, a, b, GAUSS_KRONROD_15);
}

}  // namespace magnifex
