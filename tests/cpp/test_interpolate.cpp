// Piecewise-linear interpolation of a table with its three out-of-range rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "numerics/interpolate.hpp"

namespace magnifex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

static_assert(OutOfRangeMode{Extrapolate{}}.index() == 0);
static_assert(OutOfRangeMode{EndValue{}}.index() == 1);
static_assert(OutOfRangeMode{FixedValue{0.0}}.index() == 2);
static_assert(FIXED_VALUE_ZERO.index() == 2 && std::get<FixedValue>(FIXED_VALUE_ZERO).value == 0.0);

// Expected values are bit-exact; tools/quadrature_reference.py reproduces them
// with separately rounded operations.
struct InterpolationCase {
    const char* name;
    std::vector<double> x;
    std::vector<double> y;
    double q;
    OutOfRangeMode mode;
    double expected;  // compared bit for bit
};

const std::vector<double> kX{0.0, 0.5, 1.0};
const std::vector<double> kY{1.0, 0.8, 0.4};

const InterpolationCase kCases[] = {
    // The profile table of the documentation, zero outside.
    {"fixed_inside_first", kX, kY, 0.25, FIXED_VALUE_ZERO, 0.9},
    // Separate rounding of product and sum; fused it would be 0.86.
    {"fixed_inside_first_unfused", kX, kY, 0.35, FIXED_VALUE_ZERO, 0.8600000000000001},
    // m = -0.8, c = 1.2000000000000002, m*q + c.
    {"fixed_inside_last", kX, kY, 0.75, FIXED_VALUE_ZERO, 0.6000000000000001},
    // The last segment's line value at x[2], not y[2].
    {"fixed_at_last_sample", kX, kY, 1.0, FIXED_VALUE_ZERO, 0.40000000000000013},
    {"fixed_at_first_sample", kX, kY, 0.0, FIXED_VALUE_ZERO, 1.0},
    {"fixed_above", kX, kY, 1.5, FIXED_VALUE_ZERO, 0.0},
    {"fixed_below", kX, kY, -0.1, FIXED_VALUE_ZERO, 0.0},
    {"fixed_payload_below", kX, kY, -0.1, FixedValue{-7.5}, -7.5},
    {"fixed_payload_above", kX, kY, 2.0, FixedValue{3.25}, 3.25},
    {"fixed_far_above", kX, kY, kInf, FIXED_VALUE_ZERO, 0.0},
    // Interior sample: segment 0's line (m = -0.4, c = 1) gives exactly 0.8
    // here, segment 1's (m = -0.8, c = 1.2000000000000002) would give
    // 0.8000000000000002.
    {"interior_sample_uses_left_segment", kX, kY, 0.5, FIXED_VALUE_ZERO, 0.8},
    {"extrapolate_below", kX, kY, -0.1, Extrapolate{}, 1.04},
    // -1.2 + 1.2000000000000002 cancels to 0; a fused multiply-add keeps the
    // rounding error of the product, 1.1102230246251565e-16.
    {"extrapolate_above", kX, kY, 1.5, Extrapolate{}, 0.0},
    {"end_value_below", kX, kY, -0.1, EndValue{}, 1.0},
    {"end_value_above", kX, kY, 1.5, EndValue{}, 0.4},
    {"end_value_inside", kX, kY, 0.25, EndValue{}, 0.9},
    // One sample: y[0] everywhere, whatever the mode.
    {"one_sample_fixed_far", {2.0}, {5.0}, 100.0, FIXED_VALUE_ZERO, 5.0},
    {"one_sample_extrapolate", {2.0}, {5.0}, -100.0, Extrapolate{}, 5.0},
    {"one_sample_nan_query", {2.0}, {5.0}, kNaN, EndValue{}, 5.0},
    {"one_sample_of_longer_x", {2.0, 3.0}, {5.0}, 2.5, FIXED_VALUE_ZERO, 5.0},
    // Empty tables: 0.0, whatever the mode.
    {"both_empty", {}, {}, 0.5, FixedValue{9.0}, 0.0},
    {"x_empty", {}, {1.0, 2.0}, 0.5, EndValue{}, 0.0},
    {"y_empty", {0.0, 1.0}, {}, 0.5, Extrapolate{}, 0.0},
    // Unequal lengths: cut to the shorter. x[3] = 2 is ignored, so 1.5 is
    // above the range.
    {"longer_x", {0.0, 0.5, 1.0, 2.0}, kY, 1.5, FIXED_VALUE_ZERO, 0.0},
    {"longer_x_end_value", {0.0, 0.5, 1.0, 2.0}, kY, 1.5, EndValue{}, 0.4},
    {"longer_y", kX, {1.0, 0.8, 0.4, 99.0}, 0.75, FIXED_VALUE_ZERO, 0.6000000000000001},
    // Zero-width first segment: q = x[0] = x[1] divides 0 by 0.
    {"repeated_first_sample", {0.0, 0.0, 1.0}, {1.0, 2.0, 3.0}, 0.0, FIXED_VALUE_ZERO, kNaN},
    // Not ascending: the scan stops at x[1] = 2 (1.5 is not above it), so
    // segment 0 from (0, 0) to (2, 4) is used although x[2] = 1 < 1.5.
    {"non_ascending_scan_stops_early", {0.0, 2.0, 1.0, 3.0}, {0.0, 4.0, 0.0, 0.0}, 1.5,
     FIXED_VALUE_ZERO, 3.0},
};

class Interpolation : public ::testing::TestWithParam<InterpolationCase> {};

TEST_P(Interpolation, BitForBit) {
    const InterpolationCase& c = GetParam();
    const double v = interpolate(c.x, c.y, c.q, c.mode);
    if (std::isnan(c.expected)) {
        EXPECT_TRUE(std::isnan(v)) << v;
    } else {
        EXPECT_EQ(v, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Interpolation, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InterpolationNaN, NaNQueryIsNaNInEveryMode) {
    for (const OutOfRangeMode& mode :
         {OutOfRangeMode{Extrapolate{}}, OutOfRangeMode{EndValue{}}, FIXED_VALUE_ZERO}) {
        EXPECT_TRUE(std::isnan(interpolate(kX, kY, kNaN, mode))) << "mode " << mode.index();
    }
}

// Random ascending tables against an independent formulation: locate the
// segment by bisection and evaluate y[k] + m (q - x[k]). The forms round
// differently, so they agree to a few ulps of the values involved, and
// outside the range the modes must give their exact values.
TEST(InterpolationOracle, RandomAscendingTables) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> step(0.01, 1.0);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    double worst = 0.0;
    for (int table = 0; table < 200; ++table) {
        const std::size_t n = 2 + table % 9;
        std::vector<double> x(n), y(n);
        x[0] = value(rng);
        y[0] = value(rng);
        for (std::size_t i = 1; i < n; ++i) {
            x[i] = x[i - 1] + step(rng);
            y[i] = value(rng);
        }
        std::uniform_real_distribution<double> query(x[0] - 1.0, x[n - 1] + 1.0);
        for (int trial = 0; trial < 50; ++trial) {
            const double q = query(rng);
            std::size_t lo = 0, hi = n - 1;  // x[lo] < q <= x[hi] inside
            while (hi - lo > 1) {
                const std::size_t mid = (lo + hi) / 2;
                (q > x[mid] ? lo : hi) = mid;
            }
            const double m = (y[lo + 1] - y[lo]) / (x[lo + 1] - x[lo]);
            const double line = y[lo] + m * (q - x[lo]);

            const double fixed = interpolate(x, y, q, FIXED_VALUE_ZERO);
            const double end = interpolate(x, y, q, EndValue{});
            const double extrapolated = interpolate(x, y, q, Extrapolate{});
            const double scale = std::fabs(y[lo]) + std::fabs(y[lo + 1]) +
                                 std::fabs(m) * (std::fabs(q) + std::fabs(x[lo])) + 1e-300;
            const double error = std::fabs(extrapolated - line) / scale;
            worst = std::max(worst, error);
            EXPECT_LE(error, 4 * std::numeric_limits<double>::epsilon()) << "q = " << q;
            if (q < x[0]) {
                EXPECT_EQ(fixed, 0.0);
                EXPECT_EQ(end, y[0]);
            } else if (q > x[n - 1]) {
                EXPECT_EQ(fixed, 0.0);
                EXPECT_EQ(end, y[n - 1]);
            } else {
                EXPECT_EQ(fixed, extrapolated);
                EXPECT_EQ(end, extrapolated);
            }
        }
    }
    std::printf("[ oracle   ] worst relative difference from y[k] + m (q - x[k]): %.3g eps\n",
                worst / std::numeric_limits<double>::epsilon());
}

// Each query scans from the start: a query never depends on earlier ones.
TEST(InterpolationOracle, NoStateBetweenQueries) {
    const double first = interpolate(kX, kY, 0.75, FIXED_VALUE_ZERO);
    interpolate(kX, kY, 0.1, FIXED_VALUE_ZERO);
    interpolate(kX, kY, 5.0, Extrapolate{});
    EXPECT_EQ(interpolate(kX, kY, 0.75, FIXED_VALUE_ZERO), first);
}

}  // namespace
}  // namespace magnifex
