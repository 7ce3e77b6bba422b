// expm1_unit against the long-double library's e^x - 1 on [0, 1]: a uniform
// grid, the small arguments where e^x - 1 must keep its digits, the ends;
// its two-lane form bit for bit its one-lane form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "numerics/expm1_unit.hpp"
#include "ulps.hpp"

namespace magnifex {
namespace {

std::vector<double> arguments() {
    std::vector<double> x;
    for (int i = 0; i <= 200000; ++i) x.push_back(i / 200000.0);
    for (int e = 1; e <= 1074; ++e) x.push_back(std::ldexp(1.0, -e));
    for (double v : {1e-300, 1e-17, 1e-9, 0.5, std::nextafter(1.0, 0.0), 1.0}) x.push_back(v);
    return x;
}

TEST(Expm1Unit, WithinTwoUlpsOfTheLongDoubleExpm1) {
    const auto worst = test_support::worst_ulps(
        arguments(), [](double x) { return expm1_unit(x); }, [](long double x) { return expm1l(x); });
    std::printf("expm1_unit: worst %.2f ulp at %.17g\n", worst.ulps, worst.at);
    EXPECT_LE(worst.ulps, 2.0);
}

// e^x - 1 = x (1 + x/2 + ...) rounds to x itself once x/2 is below half an
// ulp of 1 (x <= 2^-53), down to the least subnormal.
TEST(Expm1Unit, IsExactAtZeroAndKeepsTinyArguments) {
    EXPECT_EQ(expm1_unit(0.0), 0.0);
    for (int e = 53; e <= 1074; ++e) EXPECT_EQ(expm1_unit(std::ldexp(1.0, -e)), std::ldexp(1.0, -e)) << e;
}

TEST(Expm1Unit, TwoLanesAreTheOneLaneForm) {
    typedef double Two __attribute__((vector_size(16)));
    for (const double x : arguments()) {
        const Two v = {x, 1.0 - x};
        const Two r = expm1_unit(v);
        const double one[2] = {expm1_unit(x), expm1_unit(1.0 - x)};
        EXPECT_EQ(std::memcmp(&r, one, sizeof one), 0) << x;
    }
}

}  // namespace
}  // namespace magnifex
