// Binary-search interpolation of ascending tables: the same segment, and so
// the same value bit for bit, as the forward scan of interpolate().
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "numerics/interpolate.hpp"

namespace magnifex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

struct AscendingCase {
    const char* name;
    std::vector<double> x, y;
    bool ascending;
};

const AscendingCase kAscendingCases[] = {
    {"empty", {}, {}, true},
    {"one_row", {0.5}, {1.0}, true},
    {"strict", {0.0, 0.5, 1.0}, {1.0, 0.8, 0.4}, true},
    {"repeated_radius", {0.0, 0.5, 0.5, 1.0}, {1.0, 0.8, 0.2, 0.4}, true},
    {"descending", {1.0, 0.5, 0.0}, {1.0, 0.8, 0.4}, false},
    {"one_step_back", {0.0, 2.0, 1.0, 3.0}, {0.0, 4.0, 0.0, 0.0}, false},
    {"nan_radius", {0.0, kNaN, 1.0}, {1.0, 0.8, 0.4}, false},
    {"nan_first_of_one", {kNaN}, {1.0}, false},
    // Only the first min(nx, ny) rows count.
    {"unsorted_tail_beyond_y", {0.0, 1.0, 0.5}, {1.0, 2.0}, true},
};

class Ascending : public ::testing::TestWithParam<AscendingCase> {};

TEST_P(Ascending, Detected) {
    const AscendingCase& c = GetParam();
    EXPECT_EQ(is_ascending(c.x, c.y), c.ascending);
}

INSTANTIATE_TEST_SUITE_P(Tables, Ascending, ::testing::ValuesIn(kAscendingCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Random non-decreasing tables (with repeated radii), queries at and between
// the samples, outside, and NaN, in every out-of-range mode.
TEST(InterpolationAscending, SameValueAsTheScan) {
    std::mt19937_64 rng(20261208);
    std::uniform_real_distribution<double> step(0.0, 1.0), value(-2.0, 2.0);
    const OutOfRangeMode modes[] = {Extrapolate{}, EndValue{}, FIXED_VALUE_ZERO};
    for (int table = 0; table < 300; ++table) {
        const std::size_t n = 1 + table % 40;
        std::vector<double> x{value(rng)}, y{value(rng)};
        while (x.size() < n) {
            const double s = step(rng);
            x.push_back(x.back() + (s < 0.15 ? 0.0 : s));  // some zero-width segments
            y.push_back(value(rng));
        }
        ASSERT_TRUE(is_ascending(x, y));
        std::vector<double> queries{kNaN, x[0] - 1.0, x[n - 1] + 1.0};
        for (double xi : x) queries.push_back(xi);
        std::uniform_real_distribution<double> query(x[0] - 0.5, x[n - 1] + 0.5);
        for (int k = 0; k < 40; ++k) queries.push_back(query(rng));
        for (const double q : queries) {
            for (const OutOfRangeMode& mode : modes) {
                const double scan = interpolate(x, y, q, mode);
                const double search = interpolate_ascending(x, y, q, mode);
                EXPECT_TRUE(same_bits(scan, search)) << "n " << n << " q " << q << ": " << scan << " vs " << search;
            }
        }
    }
}

// The segment's line is the one interpolate() evaluates.
TEST(InterpolationAscending, SegmentLine) {
    const std::vector<double> x{0.0, 0.5, 1.0}, y{1.0, 0.8, 0.4};
    const SegmentLine line = segment_line(x, y, 1);
    EXPECT_EQ(line.slope, -0.8);
    EXPECT_EQ(line.intercept, 1.2000000000000002);
    EXPECT_EQ(line.slope * 0.75 + line.intercept, interpolate(x, y, 0.75, FIXED_VALUE_ZERO));
}

}  // namespace
}  // namespace magnifex
