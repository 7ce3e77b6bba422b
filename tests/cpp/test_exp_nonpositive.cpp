// exp_nonpositive against the long-double library exponential on [-746, 0]:
// a uniform grid, the reduction's edges (half-integers of ln 2), the
// subnormal range and the ends; its two-lane form bit for bit its one-lane
// form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "numerics/exp_nonpositive.hpp"
#include "ulps.hpp"

namespace magnifex {
namespace {

std::vector<double> arguments() {
    std::vector<double> y;
    for (int i = 0; i <= 200000; ++i) y.push_back(-746.0 * i / 200000.0);
    for (int k = 0; k <= 1076; ++k) {
        const double edge = -(k + 0.5) * 0.6931471805599453;
        y.push_back(edge);
        y.push_back(std::nextafter(edge, 0.0));
        y.push_back(std::nextafter(edge, -1.0));
    }
    for (int e = 1; e <= 60; ++e) y.push_back(-std::ldexp(1.0, -e));
    for (double v : {0.0, -0.0, -1e-300, -708.0, -709.78, -744.0, -745.1, -745.2, -800.0}) y.push_back(v);
    return y;
}

TEST(ExpNonpositive, WithinOneAndAHalfUlpsOfTheLongDoubleExponential) {
    const auto worst = test_support::worst_ulps(
        arguments(), [](double y) { return exp_nonpositive(y); }, [](long double y) { return expl(y); });
    std::printf("exp_nonpositive: worst %.2f ulp at %.17g\n", worst.ulps, worst.at);
    EXPECT_LE(worst.ulps, 1.5);
}

TEST(ExpNonpositive, EndsAndSpecialValues) {
    EXPECT_EQ(exp_nonpositive(0.0), 1.0);
    EXPECT_EQ(exp_nonpositive(-0.0), 1.0);
    EXPECT_EQ(exp_nonpositive(-std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(exp_nonpositive(-746.0), 0.0);
    EXPECT_EQ(exp_nonpositive(-745.0), std::exp(-745.0));  // the least subnormal
    EXPECT_TRUE(std::isnan(exp_nonpositive(std::numeric_limits<double>::quiet_NaN())));
}

TEST(ExpNonpositive, LanesAreTheOneLaneFormBitForBit) {
    typedef double Pair __attribute__((vector_size(16)));
    const std::vector<double> y = arguments();
    for (std::size_t i = 0; i + 1 < y.size(); i += 2) {
        const Pair v = exp_nonpositive(Pair{y[i], y[i + 1]});
        const double one[2] = {exp_nonpositive(y[i]), exp_nonpositive(y[i + 1])};
        ASSERT_EQ(std::memcmp(&v, one, sizeof one), 0) << y[i] << " " << y[i + 1];
    }
}

}  // namespace
}  // namespace magnifex
