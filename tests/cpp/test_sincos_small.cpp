// sincos_small against the long-double library functions over [0, pi/4], on a
// uniform grid and on powers of two down to 2^-60 (where sin x ~ x must keep
// its relative accuracy).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "numerics/sincos_small.hpp"

namespace magnifex {
namespace {

TEST(SincosSmall, WithinAnUlpOfTheLongDoubleFunctions) {
    constexpr double kQuarterPi = 0.7853981633974483;
    constexpr double kUlp = 2.220446049250313e-16;
    double worst_sin = 0.0, worst_cos = 0.0;
    for (int i = 0; i <= 100000; ++i) {
        const double x = i % 2 == 0 ? kQuarterPi * i / 100000.0 : std::ldexp(1.0, -(i % 61));
        if (x > kQuarterPi) continue;
        double s, c;
        sincos_small(x, s, c);
        const long double exact_s = sinl(x), exact_c = cosl(x);
        if (x > 0.0) worst_sin = std::fmax(worst_sin, double(fabsl((s - exact_s) / exact_s)) / kUlp);
        worst_cos = std::fmax(worst_cos, double(fabsl((c - exact_c) / exact_c)) / kUlp);
    }
    std::printf("sincos_small: worst %.2f ulp (sin), %.2f ulp (cos)\n", worst_sin, worst_cos);
    EXPECT_LE(worst_sin, 1.0);
    EXPECT_LE(worst_cos, 1.0);
}

}  // namespace
}  // namespace magnifex
