// Central-difference derivative and its step constant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "numerics/central_difference.hpp"

namespace magnifex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CentralDifferenceStep, CbrtEpsIsTheCubeRootOfMachineEpsilon) {
    EXPECT_EQ(cbrt_eps(), 6.0554544523933395e-06);
    // Independent of the library: the cube of the nearest double lies within
    // three half-ulps of 2^-52.
    const long double cube = static_cast<long double>(cbrt_eps()) * cbrt_eps() * cbrt_eps();
    EXPECT_NEAR(static_cast<double>(cube / std::ldexp(1.0L, -52)), 1.0, 4e-16);
}

TEST(CentralDifferenceStep, SameValueFromConcurrentFirstReads) {
    std::vector<double> seen(4, 0.0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = cbrt_eps(); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (double v : seen) {
        EXPECT_EQ(v, 6.0554544523933395e-06);
    }
}

struct StepCase {
    double x;
    double multiple;  // s = multiple * CBRT_EPS, exact for powers of two
};

class CentralDifferencePoints : public ::testing::TestWithParam<StepCase> {};

// f is called exactly twice, at x + s and then at x - s.
TEST_P(CentralDifferencePoints, CalledAtXPlusStepThenXMinusStep) {
    const StepCase& c = GetParam();
    std::vector<double> points;
    central_difference(
        [&points](double t) {
            points.push_back(t);
            return t;
        },
        c.x);
    const double s = c.multiple * 6.0554544523933395e-06;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], c.x + s);
    EXPECT_EQ(points[1], c.x - s);
}

INSTANTIATE_TEST_SUITE_P(Steps, CentralDifferencePoints,
                         ::testing::Values(StepCase{0.0, 1.0}, StepCase{1.0, 2.0},
                                           StepCase{-3.0, 4.0}),
                         [](const auto& info) {
                             return "index" + std::to_string(info.index);
                         });

struct ExactCase {
    const char* name;
    double (*f)(double);
    double x;
    double expected;  // bit for bit
};

const ExactCase kExactCases[] = {
    // The rounding of 1 +- s limits the accuracy.
    {"square_at_one", [](double t) { return t * t; }, 1.0, 1.9999999999966884},
    {"square_at_zero", [](double t) { return t * t; }, 0.0, 0.0},
    {"constant", [](double) { return 3.7; }, 1.0, 0.0},
    {"constant_at_minus_three", [](double) { return -1e300; }, -3.0, 0.0},
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

// Against closed-form derivatives. With s = (|x| + 1) e, e = eps^(1/3), the
// truncation error s^2 |f'''| / 6 and the rounding error ~ eps |f| / s are both
// at most (|x| + 1)^2 e^2 times the size of f and its derivatives, so that is
// the unit of error here (e^2 = 3.7e-11).
TEST(CentralDifferenceAccuracy, SmoothFunctions) {
    const double e2 = cbrt_eps() * cbrt_eps();
    double worst = 0.0;
    for (double x : {-3.0, -0.7, 0.0, 0.3, 1.0, 2.5, 10.0}) {
        const double unit = (std::fabs(x) + 1.0) * (std::fabs(x) + 1.0) * e2;
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
