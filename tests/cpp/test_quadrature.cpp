// Tanh-sinh node table and the double-exponential quadrature.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
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

// ---------------------------------------------------------------- table

TEST(QuadratureTable, LevelSizes) {
    const std::size_t expected[] = {3, 3, 6, 12, 24, 48, 96};
    ASSERT_EQ(TANH_SINH_LEVELS.size(), 7u);
    std::size_t total = 0;
    for (std::size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(TANH_SINH_LEVELS[k].size(), expected[k]) << "level " << k;
        total += TANH_SINH_LEVELS[k].size();
    }
    EXPECT_EQ(total, 192u);
}

struct TableRow {
    std::size_t level;
    std::size_t index;
    double weight;
    double abscissa;
};

// Rows of the rule rounded to the nearest double (mpmath at 50 digits).
const TableRow kTableRows[] = {
    {0, 0, 0.23002239451478868, 0.95136796407274693},       // t = 1
    {0, 1, 0.00026620051375271693, 0.99997747719246155},    // t = 2
    {0, 2, 1.3581784274539091e-12, 0.99999999999995703},    // t = 3
    {1, 0, 0.4829882897061506, 0.67427149224843586},        // t = 1/2
    {1, 2, 1.071560227847152e-07, 0.99999998887566488},     // t = 5/2
    {6, 0, 0.024531906707493643, 0.024539763574649161},     // t = 1/64
    {6, 95, 3.4118628280052511e-14, 0.99999999999992983},   // t = 191/64
};

class QuadratureTableRow : public ::testing::TestWithParam<TableRow> {};

TEST_P(QuadratureTableRow, ExactValue) {
    const TableRow& row = GetParam();
    const TanhSinhNode& node = TANH_SINH_LEVELS[row.level][row.index];
    EXPECT_EQ(node.weight, row.weight);
    EXPECT_EQ(node.abscissa, row.abscissa);
}

INSTANTIATE_TEST_SUITE_P(ListedRows, QuadratureTableRow, ::testing::ValuesIn(kTableRows),
                         [](const auto& info) {
                             return "level" + std::to_string(info.param.level) + "_node" +
                                    std::to_string(info.param.index);
                         });

// t of node j on level k, as the generator defines it.
double node_parameter(std::size_t k, std::size_t j) {
    if (k == 0) {
        return static_cast<double>(j + 1);
    }
    return std::ldexp(static_cast<double>(2 * j + 1), -static_cast<int>(k));
}

// Every node against the rule evaluated independently in extended precision:
// the table must hold the nearest double, so it may differ from this oracle by
// at most one unit in the last place (the oracle itself errs by ~1e-19).
TEST(QuadratureTable, EveryNodeFollowsTheRule) {
    const long double half_pi = std::numbers::pi_v<long double> / 2;
    double worst_weight_ulps = 0.0;
    double worst_abscissa_ulps = 0.0;
    for (std::size_t k = 0; k < TANH_SINH_LEVELS.size(); ++k) {
        const long double h = std::ldexp(1.0L, -static_cast<int>(k));
        double previous_abscissa = 0.0;
        for (std::size_t j = 0; j < TANH_SINH_LEVELS[k].size(); ++j) {
            const TanhSinhNode& node = TANH_SINH_LEVELS[k][j];
            const long double t = node_parameter(k, j);
            const long double u = half_pi * std::sinh(t);
            const long double abscissa = std::tanh(u);
            const long double weight = h * half_pi * std::cosh(t) / (std::cosh(u) * std::cosh(u));

            const double abscissa_ulps = static_cast<double>(
                std::fabs(node.abscissa - abscissa) /
                (std::nextafter(node.abscissa, 2.0) - node.abscissa));
            const double weight_ulps = static_cast<double>(
                std::fabs(node.weight - weight) / (std::nextafter(node.weight, 2.0) - node.weight));
            EXPECT_LE(abscissa_ulps, 1.0) << "level " << k << " node " << j;
            EXPECT_LE(weight_ulps, 1.0) << "level " << k << " node " << j;
            worst_abscissa_ulps = std::max(worst_abscissa_ulps, abscissa_ulps);
            worst_weight_ulps = std::max(worst_weight_ulps, weight_ulps);

            EXPECT_GT(node.abscissa, previous_abscissa) << "t must increase within a level";
            EXPECT_LT(node.abscissa, 1.0);
            previous_abscissa = node.abscissa;
        }
    }
    std::printf("[ table    ] worst distance from extended-precision rule: weight %.3f ulp, "
                "abscissa %.3f ulp\n",
                worst_weight_ulps, worst_abscissa_ulps);
}

// ---------------------------------------------------------------- exact results

struct ExactCase {
    const char* name;
    double (*f)(double);
    double a;
    double b;
    double tolerance;
    double error_estimate;
    double integral;
    std::uint32_t evaluation_count;
};

double two_pi_x(double x) { return 2.0 * kPi * x; }
double one(double) { return 1.0; }
double zero(double) { return 0.0; }
double nan_everywhere(double) { return kNaN; }
double plus_inf_everywhere(double) { return kInf; }
double minus_inf_everywhere(double) { return -kInf; }
// Flux of the built-in linear limb-darkening profile (coefficient 0.6).
double limb_darkened_flux(double x) {
    const double profile = (1.0 - std::sqrt(1.0 - x * x)) * (-0.6) + 1.0;
    return 2.0 * kPi * x * profile;
}

double exponential(double x) { return std::exp(x); }

// Bit-exact results, reproduced by tools/quadrature_reference.py (plain
// Python floats, no fused operations). exp on [0, 1] is the case where a fused
// multiply-add in the level sums shows (it would give 1.7182818284589834).
const ExactCase kExactCases[] = {
    {"two_pi_x", two_pi_x, 0.0, 1.0, 1e-16, 2.55351295663786e-14, 3.1415926535896883, 385},
    {"one", one, 0.0, 1.0, 1e-6, 3.9468428525424315e-14, 0.9999999999999971, 49},
    {"exp", exponential, 0.0, 1.0, 1e-16, 1.4876988529977098e-14, 1.7182818284589831, 385},
    {"zero", zero, 0.0, 1.0, 1e-16, 0.0, 0.0, 25},
    {"nan", nan_everywhere, 0.0, 1.0, 1e-16, 0.0, 0.0, 25},
    {"plus_inf", plus_inf_everywhere, 0.0, 1.0, 1e-16, 0.0, 0.0, 25},
    {"minus_inf", minus_inf_everywhere, 0.0, 1.0, 1e-16, 0.0, 0.0, 25},
    {"zero_zero_tolerance", zero, 0.0, 1.0, 0.0, 0.0, 0.0, 25},
};

class QuadratureExact : public ::testing::TestWithParam<ExactCase> {};

TEST_P(QuadratureExact, BitForBit) {
    const ExactCase& c = GetParam();
    const QuadratureResult r = integrate(c.f, c.a, c.b, c.tolerance);
    EXPECT_EQ(r.integral, c.integral);
    EXPECT_EQ(r.error_estimate, c.error_estimate);
    EXPECT_EQ(r.evaluation_count, c.evaluation_count);
}

INSTANTIATE_TEST_SUITE_P(Integrands, QuadratureExact, ::testing::ValuesIn(kExactCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QuadratureExact, LimbDarkenedFluxIsTheBuiltinConstant) {
    const QuadratureResult r = integrate(limb_darkened_flux, 0.0, 1.0, 1e-16);
    EXPECT_EQ(r.integral, 2.5132741228717936);
    // The true value, 0.8 pi, is 2.5132741228718345.
    EXPECT_NEAR(r.integral, 0.8 * kPi, 5e-14);
}

// ---------------------------------------------------------------- stopping levels

// An integrand that is 1 at the centre 0.5 of [0, 1] and 0 at every other node
// makes level k change the estimate by exactly pi / 2^(k+1): each halving of
// the step halves the centre's weight. The ratios of successive logarithms
// stay outside the quadratic window, so the error estimate is |d|, and the
// tolerance picks the level that stops.
double centre_spike(double x) { return x == 0.5 ? 1.0 : 0.0; }

struct StopCase {
    int level;
    double tolerance;
    std::uint32_t evaluation_count;
};

// Threshold T = tolerance / 2 here; level k stops when T > pi / 2^(k+1).
const StopCase kStopCases[] = {
    {2, 0.8, 25},   // T = 0.4   > pi/8   = 0.393
    {3, 0.4, 49},   // T = 0.2   > pi/16  = 0.196
    {4, 0.2, 97},   // T = 0.1   > pi/32  = 0.098
    {5, 0.15, 193}, // T = 0.075 > pi/64  = 0.049
    {6, 0.08, 385}, // T = 0.04  > pi/128 = 0.0245
};

class QuadratureStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(QuadratureStop, CountAndSumsOfTheStoppingLevel) {
    const StopCase& c = GetParam();
    std::uint32_t calls = 0;
    const QuadratureResult r = integrate(
        [&calls](double x) {
            ++calls;
            return centre_spike(x);
        },
        0.0, 1.0, c.tolerance);
    const double s = std::ldexp(kPi, -(c.level + 1));  // S after level k
    EXPECT_EQ(r.evaluation_count, c.evaluation_count);
    EXPECT_EQ(calls, c.evaluation_count);
    EXPECT_EQ(r.integral, s * 0.5);
    EXPECT_EQ(r.error_estimate, s * 0.5);
}

INSTANTIATE_TEST_SUITE_P(Levels, QuadratureStop, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return "level" + std::to_string(info.param.level); });

// Without a stop the routine runs to the last level, pi / 2^7 being above any
// threshold below 0.049.
TEST(QuadratureStop, RunsOutAfterTheLastLevel) {
    const QuadratureResult r = integrate(centre_spike, 0.0, 1.0, 0.04);
    EXPECT_EQ(r.evaluation_count, 385u);
    EXPECT_EQ(r.integral, std::ldexp(kPi, -8));
}

// 1/(1 + 4x^2) on [-1, 1] converges quadratically from level 4 to 5, so the
// error estimate is the squared difference and the routine stops at level 5
// even with tolerance 1e-16; the plain |d| (~1e-13) would not stop it.
TEST(QuadratureStop, QuadraticConvergenceSquaresTheDifference) {
    const QuadratureResult r =
        integrate([](double x) { return 1.0 / (1.0 + 4.0 * x * x); }, -1.0, 1.0, 1e-16);
    EXPECT_EQ(r.evaluation_count, 193u);
    EXPECT_GT(r.error_estimate, 0.0);
    EXPECT_LT(r.error_estimate, 1e-24);
    EXPECT_NEAR(r.integral, std::atan(2.0), 2e-14);
}

// ---------------------------------------------------------------- evaluation order

// Centre first (as c + h*0), then for each level and node g(c + h x), g(c - h x).
TEST(QuadratureOrder, PointsInTableOrder) {
    const double a = 1.0;
    const double b = 4.0;
    std::vector<double> points;
    const QuadratureResult r = integrate(
        [&points](double x) {
            points.push_back(x);
            return 0.0;
        },
        a, b, 1e-16);
    const double h = (b - a) * 0.5;
    const double c = (a + b) * 0.5;
    std::vector<double> expected{c};
    for (std::size_t k = 0; k < 3; ++k) {
        for (const TanhSinhNode& node : TANH_SINH_LEVELS[k]) {
            expected.push_back(c + h * node.abscissa);
            expected.push_back(c - h * node.abscissa);
        }
    }
    // 7, 13, 25 evaluations after levels 0, 1, 2; the zero integrand stops there.
    ASSERT_EQ(points.size(), 25u);
    EXPECT_EQ(r.evaluation_count, 25u);
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i], expected[i]) << "evaluation " << i;
    }
}

// ---------------------------------------------------------------- degenerate arguments

double square(double x) { return x * x; }

// b < a: the threshold is negative and never passes, all 385 evaluations are
// made at the mirrored points, and the result is the exact negative of the
// forward integral run to the end.
TEST(QuadratureDegenerate, ReversedIntervalNegatesTheFullRun) {
    for (auto f : {one, square, two_pi_x}) {
        const QuadratureResult forward = integrate(f, 0.0, 1.0, 0.0);
        const QuadratureResult reversed = integrate(f, 1.0, 0.0, 1e-6);
        EXPECT_EQ(reversed.evaluation_count, 385u);
        EXPECT_EQ(reversed.integral, -forward.integral);
        EXPECT_EQ(reversed.error_estimate, -forward.error_estimate);
        EXPECT_LE(reversed.error_estimate, 0.0);
    }
    // A level difference of exactly 0 still stops it.
    EXPECT_EQ(integrate(zero, 1.0, 0.0, 1e-6).evaluation_count, 25u);
}

TEST(QuadratureDegenerate, EmptyIntervalEvaluatesOnlyAtTheEnd) {
    std::vector<double> points;
    const QuadratureResult r = integrate(
        [&points](double x) {
            points.push_back(x);
            return x;
        },
        2.0, 2.0, 1e-6);
    EXPECT_EQ(r.integral, 0.0);
    EXPECT_EQ(r.error_estimate, 0.0);
    EXPECT_EQ(r.evaluation_count, 25u);
    ASSERT_EQ(points.size(), 25u);
    for (double p : points) {
        EXPECT_EQ(p, 2.0);
    }
}

// Tolerances that never pass the test: only the table running out stops.
TEST(QuadratureDegenerate, UnusableTolerancesRunAllLevels) {
    for (double tolerance : {0.0, -1.0, kNaN}) {
        const QuadratureResult r = integrate(one, 0.0, 1.0, tolerance);
        EXPECT_EQ(r.evaluation_count, 385u) << "tolerance " << tolerance;
        EXPECT_EQ(r.integral, 0.99999999999996692) << "tolerance " << tolerance;
    }
}

// An infinite end makes the half-width infinite: the centre c + h*0 is NaN
// and the integrand's answer there is what gets summed.
TEST(QuadratureDegenerate, InfiniteEnd) {
    std::vector<double> points;
    const QuadratureResult r = integrate(
        [&points](double x) {
            points.push_back(x);
            return 1.0;
        },
        0.0, kInf, 1e-6);
    ASSERT_FALSE(points.empty());
    EXPECT_TRUE(std::isnan(points[0]));
    EXPECT_EQ(points[1], kInf);
    EXPECT_TRUE(std::isnan(points[2]));
    EXPECT_EQ(r.evaluation_count, 385u);
    EXPECT_EQ(r.integral, kInf);
}

// Overflowing sums make the level difference NaN, which never stops the loop.
TEST(QuadratureDegenerate, OverflowRunsToTheEnd) {
    const QuadratureResult r = integrate([](double) { return DBL_MAX; }, 0.0, 1.0, 1e-6);
    EXPECT_EQ(r.evaluation_count, 385u);
    EXPECT_FALSE(std::isfinite(r.integral));
}

// ---------------------------------------------------------------- accuracy

struct AccuracyCase {
    const char* name;
    double (*f)(double);
    double a;
    double b;
    double exact;       // closed form
    double abs_error;   // bound, about twice the error observed
};

// Integrable end singularities: non-finite values at the nodes would count as
// 0, but the nodes stay off the ends; the tails beyond t = 3 are what is lost.
const AccuracyCase kAccuracyCases[] = {
    {"semicircle", [](double x) { return std::sqrt(1.0 - x * x); }, -1.0, 1.0, kPi / 2, 1e-15},
    {"log", [](double x) { return std::log(x); }, 0.0, 1.0, -1.0, 1.2e-12},
    {"inverse_sqrt", [](double x) { return 1.0 / std::sqrt(x); }, 0.0, 1.0, 2.0, 6e-7},
    // sqrt(pi)/2 erf(1), mpmath at 50 digits.
    {"gauss", [](double x) { return std::exp(-x * x); }, 0.0, 1.0,
     0.74682413281242702539946743613185300535449968681, 5e-14},
    {"exp", [](double x) { return std::exp(x); }, 0.0, 1.0, std::numbers::e - 1.0, 1.5e-13},
    {"two_pi_x", two_pi_x, 0.0, 1.0, kPi, 2.5e-13},
};

class QuadratureAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

TEST_P(QuadratureAccuracy, AgainstClosedForm) {
    const AccuracyCase& c = GetParam();
    const QuadratureResult r = integrate(c.f, c.a, c.b, 1e-16);
    const double error = std::fabs(r.integral - c.exact);
    std::printf("[ accuracy ] %-13s |error| = %.3g (estimate %.3g, %u evaluations)\n", c.name,
                error, r.error_estimate, r.evaluation_count);
    EXPECT_LE(error, c.abs_error);
}

INSTANTIATE_TEST_SUITE_P(ClosedForms, QuadratureAccuracy, ::testing::ValuesIn(kAccuracyCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace magnifex
