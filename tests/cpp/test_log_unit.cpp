// log_unit against the long-double library logarithm on (0, 1]: a uniform
// grid, powers of two and their neighbours (the significand's switch at
// sqrt(1/2)), the least normal; its two-lane form bit for bit its one-lane
// form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "numerics/log_unit.hpp"
#include "ulps.hpp"

namespace magnifex {
namespace {

std::vector<double> arguments() {
    std::vector<double> x;
    for (int i = 1; i <= 200000; ++i) x.push_back(i / 200000.0);
    for (int e = 0; e <= 1021; ++e) {
        const double p = std::ldexp(1.0, -e);
        for (double f : {1.0, 0.7071067811865476, 0.7071067811865475, 0.7071067811865477, 0.75, 0.9999999999999999}) {
            x.push_back(p * f);
        }
    }
    x.push_back(std::numeric_limits<double>::min());
    return x;
}

TEST(LogUnit, WithinTwoAndAHalfUlpsOfTheLongDoubleLogarithm) {
    double worst = 0.0, worst_at = 0.0;
    for (const double v : arguments()) {
        const long double exact = logl(static_cast<long double>(v));
        const double got = log_unit(v);
        const double error = test_support::ulps(got, exact);
        if (error > worst) {
            worst = error;
            worst_at = v;
        }
    }
    std::printf("log_unit: worst %.2f ulp at %.17g\n", worst, worst_at);
    EXPECT_LE(worst, 2.5);
    EXPECT_EQ(log_unit(1.0), 0.0);
}

TEST(LogUnit, LanesAreTheOneLaneFormBitForBit) {
    typedef double Pair __attribute__((vector_size(16)));
    const std::vector<double> x = arguments();
    for (std::size_t i = 0; i + 1 < x.size(); i += 2) {
        const Pair v = log_unit(Pair{x[i], x[i + 1]});
        const double one[2] = {log_unit(x[i]), log_unit(x[i + 1])};
        ASSERT_EQ(std::memcmp(&v, one, sizeof one), 0) << x[i];
    }
}

}  // namespace
}  // namespace magnifex
