#include "numerics/central_difference.hpp"

#include <cmath>

namespace magnifex {

namespace {

double compute_cbrt_eps() {
    // The volatile read keeps the compiler from folding cbrt at build time, so
    // the value is the platform library's cbrt, computed on first use.
    volatile double machine_epsilon = std::ldexp(1.0, -52);
    return std::cbrt(machine_epsilon);
}

}  // namespace

double cbrt_eps() {
    // A function-local static is initialised exactly once, by the first
    // caller, while concurrent first callers wait ([stmt.dcl]/3).
    static const double CBRT_EPS = compute_cbrt_eps();
    return CBRT_EPS;
}

}  // namespace magnifex
