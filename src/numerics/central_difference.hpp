// Two-point central difference F'(x) ~ (F(x + s) - F(x - s)) / (2 s) with the
// step s = (|x| + 1) eps^(1/3), which balances the O(s^2) truncation error
// against the O(eps/s) rounding error of the difference (Press et al.,
// Numerical Recipes, 3rd ed., section 5.7).
#pragma once

#include <cmath>

namespace magnifex {

// CBRT_EPS, the cube root of the double machine epsilon 2^-52
// (6.0554544523933395e-06). Computed with cbrt on the first read, once per
// process and thread-safely; later reads return the stored value.
double cbrt_eps();

// Estimate of f'(x): two calls of f, at x + s first and then at x - s. No
// domain check; a NaN from f gives a NaN derivative.
template <class F>
double central_difference(F&& f, double x) {
    const double s = (std::fabs(x) + 1.0) * cbrt_eps();
    const double forward = f(x + s);
    const double backward = f(x - s);
    return (forward - backward) / (s + s);
}

}  // namespace magnifex
