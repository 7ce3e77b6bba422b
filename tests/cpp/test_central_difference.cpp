// Central-difference derivative and its step constant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "numerics/central_difference.hpp"

namespace magnifex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kCbrtEps = 6.0554544523933395e-06;

TEST(CentralDifferenceStep, CbrtEpsIsTheCubeRootOfMachineEpsilon) {
    EXPECT_EQ(cbrt_eps(), kCbrtEps);
    // Independently: the cube of the nearest double lies within 3 half-ulps of 2^-52.
    const long double cube = static_cast<long double>(kCbrtEps) * kCbrtEps * kCbrtEps;
    EXPECT_NEAR(static_cast<double>(cube / std::ldexp(1.0L, -52)), 1.0, 4e-16);
}

// f is called exactly twice, at x + s and then at x - s, s = (|x| + 1) CBRT_EPS.
TEST(CentralDifferenceStep, CalledAtXPlusStepThenXMinusStep) {
    const double steps[][2] = {{0.0, kCbrtEps}, {1.0, 2 * kCbrtEps}, {-3.0, 4 * kCbrtEps}};
    for (const auto& [x, s] : steps) {
        std::vector<double> points;
        central_difference([&points](double t) { points.push_back(t); return t; }, x);
        EXPECT_EQ(points, (std::vector<double>{x + s, x - s})) << "x = " << x;
    }
}

struct ExactCase {
    const char* name;
    double (*f)(double);
    double x, expected;  // bit for bit; NaN matches NaN
};

const ExactCase kExactCases[] = {
    {"square_at_one", [](double t) { return t * t; }, 1.0, 1.9999999999966884},  // 1 +- s rounds
    {"square_at_zero", [](double t) { return t * t; }, 0.0, 0.0},
    {"constant", [](double) { return 3.7; }, 1.0, 0.0},
    {"nan_everywhere", [](double) { return kNaN; }, 0.5, kNaN},
    {"nan_above", [](double t) { return t > 0.5 ? kNaN : t; }, 0.5, kNaN},
    {"nan_below", [](double t) { return t < 0.5 ? kNaN : t; }, 0.5, kNaN},
};

class CentralDifferenceExact : public ::testing::TestWithParam<ExactCase> {};

TEST_P(CentralDifferenceExact, BitForBit) {
    const ExactCase& c = GetParam();
    const double d = central_difference(c.f, c.x);
    if (std::isnan(c.expected)) {
        EXPECT_TRUE(std::isnan(d)) << d;
    } else {
        EXPECT_EQ(d, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Functions, CentralDifferenceExact, ::testing::ValuesIn(kExactCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Against closed-form derivatives. Truncation s^2 |f'''| / 6 and rounding
// ~eps |f| / s are both at most (|x| + 1)^2 eps^(2/3) times the size of f and
// its derivatives, the unit of error here.
TEST(CentralDifferenceAccuracy, SmoothFunctions) {
    double worst = 0.0;
    for (double x : {-3.0, -0.7, 0.0, 0.3, 1.0, 2.5, 10.0}) {
        const double unit = (std::fabs(x) + 1.0) * (std::fabs(x) + 1.0) * kCbrtEps * kCbrtEps;
        const double ds = central_difference([](double t) { return std::sin(t); }, x);
        const double de = central_difference([](double t) { return std::exp(t); }, x);
        const double sin_error = std::fabs(ds - std::cos(x)) / unit;
        const double exp_error = std::fabs(de - std::exp(x)) / std::exp(x) / unit;
        worst = std::max({worst, sin_error, exp_error});
        EXPECT_LE(sin_error, 2.0) << "sin at " << x;
        EXPECT_LE(exp_error, 2.0) << "exp at " << x;
    }
    std::printf("[ accuracy ] worst central-difference error: %.3g (|x| + 1)^2 eps^(2/3)\n", worst);
}

}  // namespace
}  // namespace magnifex
