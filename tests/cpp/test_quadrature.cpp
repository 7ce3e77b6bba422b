// Tanh-sinh node table and the double-exponential quadrature.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "numerics/quadrature.hpp"
#include "numerics/tanh_sinh_table.hpp"

namespace magnifex {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Rows rounded to the nearest double (mpmath at 50 digits).
struct TableRow {
    std::size_t level, index;
    double weight, abscissa;
};
const TableRow kTableRows[] = {
    {0, 0, 0.23002239451478868, 0.95136796407274693},      // t = 1
    {0, 1, 0.00026620051375271693, 0.99997747719246155},   // t = 2
    {0, 2, 1.3581784274539091e-12, 0.99999999999995703},   // t = 3
    {1, 0, 0.4829882897061506, 0.67427149224843586},       // t = 1/2
    {1, 2, 1.071560227847152e-07, 0.99999998887566488},    // t = 5/2
    {6, 0, 0.024531906707493643, 0.024539763574649161},    // t = 1/64
    {6, 95, 3.4118628280052511e-14, 0.99999999999992983},  // t = 191/64
};

TEST(QuadratureTable, LevelSizesAndListedRows) {
    const std::size_t sizes[] = {3, 3, 6, 12, 24, 48, 96};
    ASSERT_EQ(TANH_SINH_LEVELS.size(), 7u);
    for (std::size_t k = 0; k < 7; ++k) EXPECT_EQ(TANH_SINH_LEVELS[k].size(), sizes[k]) << k;
    for (const TableRow& row : kTableRows) {
        const TanhSinhNode& node = TANH_SINH_LEVELS[row.level][row.index];
        EXPECT_EQ(node.weight, row.weight) << row.level << "/" << row.index;
        EXPECT_EQ(node.abscissa, row.abscissa) << row.level << "/" << row.index;
    }
}

// Every node against the rule in extended precision (error ~1e-19): the table
// holds the nearest double, so at most 1 ulp away. Abscissae increase in t.
TEST(QuadratureTable, EveryNodeFollowsTheRule) {
    const long double half_pi = std::numbers::pi_v<long double> / 2;
    const auto ulps = [](double got, long double want) {
        return static_cast<double>(std::fabs(got - want) / (std::nextafter(got, 2.0) - got));
    };
    for (std::size_t k = 0; k < TANH_SINH_LEVELS.size(); ++k) {
        double previous = 0.0;
        for (std::size_t j = 0; j < TANH_SINH_LEVELS[k].size(); ++j) {
            const TanhSinhNode& node = TANH_SINH_LEVELS[k][j];
            const int e = -static_cast<int>(k);
            const long double t = k == 0 ? j + 1.0L : std::ldexp(2.0L * j + 1, e);
            const long double u = half_pi * std::sinh(t);
            const long double w = std::ldexp(half_pi * std::cosh(t), e) /
                                  (std::cosh(u) * std::cosh(u));
            EXPECT_LE(ulps(node.abscissa, std::tanh(u)), 1.0) << "level " << k << " node " << j;
            EXPECT_LE(ulps(node.weight, w), 1.0) << "level " << k << " node " << j;
            EXPECT_GT(node.abscissa, previous);
            EXPECT_LT(node.abscissa, 1.0);
            previous = node.abscissa;
        }
    }
}

double two_pi_x(double x) { return 2.0 * kPi * x; }
double one(double) { return 1.0; }
double zero(double) { return 0.0; }
double exponential(double x) { return std::exp(x); }
// Flux of the built-in linear limb-darkening profile (coefficient 0.6).
double limb_darkened_flux(double x) {
    return 2.0 * kPi * x * ((1.0 - std::sqrt(1.0 - x * x)) * (-0.6) + 1.0);
}

struct ExactCase {
    const char* name;
    double (*f)(double);
    double tolerance, error_estimate, integral;
    std::uint32_t evaluation_count;
};

// Bit-exact results on [0, 1], reproduced by tools/quadrature_reference.py with
// separately rounded operations. A fused multiply-add in the level sums shows
// in exp (it gives 1.7182818284589834). Non-finite values count as 0.
const ExactCase kExactCases[] = {
    {"two_pi_x", two_pi_x, 1e-16, 2.55351295663786e-14, 3.1415926535896883, 385},
    {"one", one, 1e-6, 3.9468428525424315e-14, 0.9999999999999971, 49},
    {"exp", exponential, 1e-16, 1.4876988529977098e-14, 1.7182818284589831, 385},
    {"limb_darkened_flux", limb_darkened_flux, 1e-16, 9.769962616701378e-15, 2.5132741228717936,
     385},
    {"one_zero_tolerance", one, 0.0, 8.1601392309949e-15, 0.9999999999999669, 385},
    {"one_negative_tolerance", one, -1.0, 8.1601392309949e-15, 0.9999999999999669, 385},
    {"one_nan_tolerance", one, kNaN, 8.1601392309949e-15, 0.9999999999999669, 385},
    {"zero", zero, 1e-16, 0.0, 0.0, 25},
    {"zero_zero_tolerance", zero, 0.0, 0.0, 0.0, 25},
    {"nan", [](double) { return kNaN; }, 1e-16, 0.0, 0.0, 25},
    {"plus_inf", [](double) { return kInf; }, 1e-16, 0.0, 0.0, 25},
    {"minus_inf", [](double) { return -kInf; }, 1e-16, 0.0, 0.0, 25},
};

class QuadratureExact : public ::testing::TestWithParam<ExactCase> {};

TEST_P(QuadratureExact, BitForBit) {
    const ExactCase& c = GetParam();
    const QuadratureResult r = integrate(c.f, 0.0, 1.0, c.tolerance);
    EXPECT_EQ(r.integral, c.integral);
    EXPECT_EQ(r.error_estimate, c.error_estimate);
    EXPECT_EQ(r.evaluation_count, c.evaluation_count);
}

INSTANTIATE_TEST_SUITE_P(Integrands, QuadratureExact, ::testing::ValuesIn(kExactCases),
                         [](const auto& info) { return std::string(info.param.name); });

// 1 at the centre 0.5 and 0 at every other node: level k changes the estimate
// by exactly pi / 2^(k+1), the ratio of logarithms stays outside the quadratic
// window, and the stop test T = tolerance / 2 > pi / 2^(k+1) picks the level.
// The last row never stops and runs out after level 6.
struct StopCase {
    int level;
    double tolerance;
    std::uint32_t evaluation_count;
};

class QuadratureStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(QuadratureStop, CountAndSumsOfTheStoppingLevel) {
    const StopCase& c = GetParam();
    std::uint32_t calls = 0;
    const auto spike = [&calls](double x) {
        ++calls;
        return x == 0.5 ? 1.0 : 0.0;
    };
    const QuadratureResult r = integrate(spike, 0.0, 1.0, c.tolerance);
    EXPECT_EQ(r.evaluation_count, c.evaluation_count);
    EXPECT_EQ(calls, c.evaluation_count);
    EXPECT_EQ(r.integral, std::ldexp(kPi, -(c.level + 2)));
    EXPECT_EQ(r.error_estimate, std::ldexp(kPi, -(c.level + 2)));
}

INSTANTIATE_TEST_SUITE_P(Levels, QuadratureStop,
                         ::testing::Values(StopCase{2, 0.8, 25}, StopCase{3, 0.4, 49},
                                           StopCase{4, 0.2, 97}, StopCase{5, 0.15, 193},
                                           StopCase{6, 0.08, 385}, StopCase{6, 0.04, 385}));

// 1/(1 + 4x^2) on [-1, 1] converges quadratically from level 4 to 5: the
// squared difference stops it at 1e-16, where the plain |d| (~1e-13) would not.
TEST(QuadratureStop, QuadraticConvergenceSquaresTheDifference) {
    const QuadratureResult r =
        integrate([](double x) { return 1.0 / (1.0 + 4.0 * x * x); }, -1.0, 1.0, 1e-16);
    EXPECT_EQ(r.evaluation_count, 193u);
    EXPECT_GT(r.error_estimate, 0.0);
    EXPECT_LT(r.error_estimate, 1e-24);
    EXPECT_NEAR(r.integral, std::atan(2.0), 2e-14);
}

// Points visited by integrate(f, a, b) for an integrand returning v.
std::vector<double> points_of(double a, double b, double v, QuadratureResult* r) {
    std::vector<double> points;
    const auto f = [&points, v](double x) {
        points.push_back(x);
        return v;
    };
    *r = integrate(f, a, b, 1e-6);
    return points;
}

// Centre first (as c + h*0), then per level and node g(c + h x), g(c - h x).
TEST(QuadratureOrder, PointsInTableOrder) {
    QuadratureResult r;
    const std::vector<double> points = points_of(1.0, 4.0, 0.0, &r);
    std::vector<double> expected{2.5};
    for (std::size_t k = 0; k < 3; ++k) {
        for (const TanhSinhNode& node : TANH_SINH_LEVELS[k]) {
            expected.push_back(2.5 + 1.5 * node.abscissa);
            expected.push_back(2.5 - 1.5 * node.abscissa);
        }
    }
    EXPECT_EQ(r.evaluation_count, 25u);
    EXPECT_EQ(points, expected);
}

TEST(QuadratureDegenerate, EmptyIntervalAndInfiniteEnd) {
    QuadratureResult r;
    const std::vector<double> empty = points_of(2.0, 2.0, 2.0, &r);
    EXPECT_EQ(r.integral, 0.0);
    EXPECT_EQ(r.error_estimate, 0.0);
    EXPECT_EQ(r.evaluation_count, 25u);
    EXPECT_EQ(empty, std::vector<double>(25, 2.0));
    // Infinite half-width: the centre c + h*0 is NaN, the stop test never passes.
    const std::vector<double> inf = points_of(0.0, kInf, 1.0, &r);
    ASSERT_EQ(inf.size(), 385u);
    EXPECT_TRUE(std::isnan(inf[0]) && std::isnan(inf[2]));
    EXPECT_EQ(inf[1], kInf);
    EXPECT_EQ(r.integral, kInf);
}

// Arguments that never pass the stop test run all seven levels (as do the
// unusable tolerances in the exact table).
TEST(QuadratureDegenerate, UnstoppableArgumentsRunAllLevels) {
    // Overflowing sums make the level difference NaN.
    const QuadratureResult overflow = integrate([](double) { return DBL_MAX; }, 0.0, 1.0, 1e-6);
    EXPECT_EQ(overflow.evaluation_count, 385u);
    EXPECT_FALSE(std::isfinite(overflow.integral));
    // b < a: negative threshold; mirrored points give the exact negative of the
    // forward run to the end. A level difference of exactly 0 still stops it.
    const QuadratureResult forward = integrate(two_pi_x, 0.0, 1.0, 0.0);
    const QuadratureResult reversed = integrate(two_pi_x, 1.0, 0.0, 1e-6);
    EXPECT_EQ(reversed.evaluation_count, 385u);
    EXPECT_EQ(reversed.integral, -forward.integral);
    EXPECT_EQ(reversed.error_estimate, -forward.error_estimate);
    EXPECT_LT(reversed.error_estimate, 0.0);
    EXPECT_EQ(integrate(zero, 1.0, 0.0, 1e-6).evaluation_count, 25u);
}

struct AccuracyCase {
    const char* name;
    double (*f)(double);
    double a, b, exact, abs_error;  // closed form; bound about twice the observed error
};

// End singularities lose only the tails beyond t = 3.
const AccuracyCase kAccuracyCases[] = {
    {"semicircle", [](double x) { return std::sqrt(1.0 - x * x); }, -1.0, 1.0, kPi / 2, 1e-15},
    {"log", [](double x) { return std::log(x); }, 0.0, 1.0, -1.0, 1.2e-12},
    {"inverse_sqrt", [](double x) { return 1.0 / std::sqrt(x); }, 0.0, 1.0, 2.0, 6e-7},
    // sqrt(pi)/2 erf(1), mpmath at 50 digits.
    {"gauss", [](double x) { return std::exp(-x * x); }, 0.0, 1.0,
     0.74682413281242702539946743613185300535449968681, 5e-14},
    {"exp", exponential, 0.0, 1.0, std::numbers::e - 1.0, 1.5e-13},
    {"two_pi_x", two_pi_x, 0.0, 1.0, kPi, 2.5e-13},
    {"limb_darkened_flux", limb_darkened_flux, 0.0, 1.0, 0.8 * kPi, 5e-14},
};

class QuadratureAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

TEST_P(QuadratureAccuracy, AgainstClosedForm) {
    const AccuracyCase& c = GetParam();
    const double error = std::fabs(integrate(c.f, c.a, c.b, 1e-16).integral - c.exact);
    std::printf("[ accuracy ] %-18s |error| = %.3g\n", c.name, error);
    EXPECT_LE(error, c.abs_error);
}

INSTANTIATE_TEST_SUITE_P(ClosedForms, QuadratureAccuracy, ::testing::ValuesIn(kAccuracyCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace magnifex
