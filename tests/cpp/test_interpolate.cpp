// Piecewise-linear interpolation of a table with its three out-of-range rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numerics/interpolate.hpp"

namespace magnifex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct InterpolationCase {
    const char* name;
    std::vector<double> x, y;
    double q;
    OutOfRangeMode mode;
    double expected;  // bit for bit; NaN matches NaN
};

const std::vector<double> kX{0.0, 0.5, 1.0};
const std::vector<double> kY{1.0, 0.8, 0.4};
const std::vector<double> kLongX{0.0, 0.5, 1.0, 2.0};

// Values from y = m q + c with separately rounded operations, as reproduced by
// tools/quadrature_reference.py.
const InterpolationCase kCases[] = {
    {"fixed_inside_first", kX, kY, 0.25, FIXED_VALUE_ZERO, 0.9},
    // Fused, 0.35 would give 0.86.
    {"fixed_inside_first_unfused", kX, kY, 0.35, FIXED_VALUE_ZERO, 0.8600000000000001},
    {"fixed_inside_last", kX, kY, 0.75, FIXED_VALUE_ZERO, 0.6000000000000001},
    {"fixed_at_last_sample", kX, kY, 1.0, FIXED_VALUE_ZERO, 0.40000000000000013},  // line, not y[2]
    {"fixed_at_first_sample", kX, kY, 0.0, FIXED_VALUE_ZERO, 1.0},
    {"fixed_above", kX, kY, 1.5, FIXED_VALUE_ZERO, 0.0},
    {"fixed_below", kX, kY, -0.1, FIXED_VALUE_ZERO, 0.0},
    {"fixed_payload_below", kX, kY, -0.1, FixedValue{-7.5}, -7.5},
    {"fixed_payload_above", kX, kY, 2.0, FixedValue{3.25}, 3.25},
    // Segment 1's line would give 0.8000000000000002 at the shared sample.
    {"interior_sample_uses_left_segment", kX, kY, 0.5, FIXED_VALUE_ZERO, 0.8},
    {"extrapolate_below", kX, kY, -0.1, Extrapolate{}, 1.04},
    // -1.2 + 1.2000000000000002 cancels; fused it keeps 1.1102230246251565e-16.
    {"extrapolate_above", kX, kY, 1.5, Extrapolate{}, 0.0},
    {"end_value_below", kX, kY, -0.1, EndValue{}, 1.0},
    {"end_value_above", kX, kY, 1.5, EndValue{}, 0.4},
    {"nan_query_fixed", kX, kY, kNaN, FIXED_VALUE_ZERO, kNaN},
    {"nan_query_end_value", kX, kY, kNaN, EndValue{}, kNaN},
    {"nan_query_extrapolate", kX, kY, kNaN, Extrapolate{}, kNaN},
    // One sample: y[0] everywhere; no samples: 0; unequal lengths cut to the shorter.
    {"one_sample_far", {2.0}, {5.0}, 100.0, FIXED_VALUE_ZERO, 5.0},
    {"one_sample_nan_query", {2.0}, {5.0}, kNaN, EndValue{}, 5.0},
    {"one_sample_of_longer_x", {2.0, 3.0}, {5.0}, 2.5, FIXED_VALUE_ZERO, 5.0},
    {"x_empty", {}, {1.0, 2.0}, 0.5, FixedValue{9.0}, 0.0},
    {"y_empty", {0.0, 1.0}, {}, 0.5, Extrapolate{}, 0.0},
    {"longer_x_end_value", kLongX, kY, 1.5, EndValue{}, 0.4},
    {"longer_y", kX, {1.0, 0.8, 0.4, 99.0}, 0.75, FIXED_VALUE_ZERO, 0.6000000000000001},
    // q = x[0] = x[1] divides 0 by 0.
    {"repeated_first_sample", {0.0, 0.0, 1.0}, {1.0, 2.0, 3.0}, 0.0, FIXED_VALUE_ZERO, kNaN},
    // Not ascending: the scan stops at x[1] = 2, so segment 0 serves q = 1.5.
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

// Random ascending tables against another formulation: segment by bisection,
// y[k] + m (q - x[k]). The forms round differently, so they agree to a few
// ulps; outside the range the other modes give their exact values.
TEST(InterpolationOracle, RandomAscendingTables) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> step(0.01, 1.0), value(-2.0, 2.0);
    double worst = 0.0;
    for (int table = 0; table < 200; ++table) {
        const std::size_t n = 2 + table % 9;
        std::vector<double> x{value(rng)}, y{value(rng)};
        while (x.size() < n) {
            x.push_back(x.back() + step(rng));
            y.push_back(value(rng));
        }
        std::uniform_real_distribution<double> query(x[0] - 1.0, x[n - 1] + 1.0);
        for (int trial = 0; trial < 50; ++trial) {
            const double q = query(rng);
            std::size_t lo = 0, hi = n - 1;  // x[lo] < q <= x[hi] inside
            while (hi - lo > 1) (q > x[(lo + hi) / 2] ? lo : hi) = (lo + hi) / 2;
            const double m = (y[lo + 1] - y[lo]) / (x[lo + 1] - x[lo]);
            const double line = y[lo] + m * (q - x[lo]);
            const double extrapolated = interpolate(x, y, q, Extrapolate{});
            const double scale = std::fabs(y[lo]) + std::fabs(y[lo + 1]) +
                                 std::fabs(m) * (std::fabs(q) + std::fabs(x[lo]));
            const double error = std::fabs(extrapolated - line) / scale;
            worst = std::max(worst, error);
            EXPECT_LE(error, 4 * std::numeric_limits<double>::epsilon()) << "q = " << q;
            const bool inside = x[0] <= q && q <= x[n - 1];
            EXPECT_EQ(interpolate(x, y, q, FIXED_VALUE_ZERO), inside ? extrapolated : 0.0);
            EXPECT_EQ(interpolate(x, y, q, EndValue{}),
                      inside ? extrapolated : q < x[0] ? y[0] : y[n - 1]);
        }
    }
    std::printf("[ oracle   ] worst relative difference: %.3g eps\n",
                worst / std::numeric_limits<double>::epsilon());
}

}  // namespace
}  // namespace magnifex
