// Distance of a double from a long-double reference value, in units in the
// last place of the reference rounded to double (the least subnormal for the
// subnormals); infinite for a non-zero result where the reference is 0.
#pragma once

#include <cmath>
#include <limits>
#include <vector>

namespace magnifex::test_support {

inline double ulps(double got, long double exact) {
    if (exact == 0.0L) return got == 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
    const double exact_d = static_cast<double>(exact);
    const double ulp = std::fmax(std::nextafter(std::fabs(exact_d), std::numeric_limits<double>::infinity()) -
                                     std::fabs(exact_d),
                                 std::numeric_limits<double>::denorm_min());
    return static_cast<double>(fabsl(static_cast<long double>(got) - exact)) / ulp;
}

// The largest ulps(f(x), exact(x)) over the arguments, and its argument.
struct Worst {
    double ulps = 0.0, at = 0.0;
};
template <class F, class Exact>
Worst worst_ulps(const std::vector<double>& arguments, F f, Exact exact) {
    Worst worst;
    for (const double x : arguments) {
        const double e = ulps(f(x), exact(static_cast<long double>(x)));
        if (e > worst.ulps) worst = Worst{e, x};
    }
    return worst;
}

}  // namespace magnifex::test_support
