// The 7-point Gauss-Legendre rule and its 15-point Kronrod extension on a
// finite interval [a, b] (Kronrod 1965; QUADPACK's QK15, Piessens et al.
// 1983): 15 evaluations, the Kronrod sum exact for polynomials of degree 22,
// the Gauss sum (on 7 of the same nodes) for degree 13. For short pieces on
// which the integrand is analytic, so that both sums are close to the
// integral; the difference of the two measures the Gauss sum's error and
// bounds, with much to spare, the Kronrod sum's.
#pragma once

#include <cstddef>

#include "numerics/gauss_kronrod_table.hpp"

namespace magnifex {

struct GaussKronrodResult {
    double kronrod;  // the 15-point estimate of the integral
    double gauss;    // the 7-point estimate on the shared nodes
};

// No guard on the values: a non-finite integrand value makes both sums
// non-finite, and the caller falls back to another rule.
template <class F>
GaussKronrodResult gauss_kronrod_15(F&& f, double a, double b) {
    const double h = (b - a) * 0.5;
    const double c = (a + b) * 0.5;
    const double centre = f(c);
    double kronrod = GAUSS_KRONROD_15[0].kronrod_weight * centre;
    double gauss = GAUSS_KRONROD_15[0].gauss_weight * centre;
    for (std::size_t i = 1; i < GAUSS_KRONROD_15.size(); ++i) {
        const GaussKronrodNode& node = GAUSS_KRONROD_15[i];
        const double pair = f(c + h * node.abscissa) + f(c - h * node.abscissa);
        kronrod = kronrod + node.kronrod_weight * pair;
        gauss = gauss + node.gauss_weight * pair;
    }
    return GaussKronrodResult{kronrod * h, gauss * h};
}

}  // namespace magnifex
