// Piecewise-linear interpolation of a sampled table (x[i], y[i]) at one point,
// with a choice of what a query outside [x[0], x[n-1]] returns.
#pragma once

#include <cstddef>
#include <span>
#include <variant>

namespace magnifex {

// Outside the sampled range: continue the first / last segment's line.
struct Extrapolate {};
// Outside the sampled range: y[0] below, y[n-1] above.
struct EndValue {};
// Outside the sampled range: a fixed value on both sides.
struct FixedValue {
    double value;
};

// Tagged by alternative index: Extrapolate 0, EndValue 1, FixedValue 2.
using OutOfRangeMode = std::variant<Extrapolate, EndValue, FixedValue>;

// The rule of every tabulated brightness profile: zero outside its radii.
inline constexpr OutOfRangeMode FIXED_VALUE_ZERO = FixedValue{0.0};

// Value at q of the polyline through the first n = min(x.size(), y.size())
// samples. n == 1 gives y[0] and n == 0 gives 0.0, whatever the mode. The
// segment is found by a forward scan from x[1] (q equal to an interior sample
// takes the segment on its left), its line is evaluated as m*q + c, and the
// strict range tests x[0] > q and q > x[n-1] hand outside queries to the mode.
// A NaN query gives NaN. The table is not checked; a zero-width segment gives
// an infinite or NaN slope.
double interpolate(std::span<const double> x, std::span<const double> y, double q,
                   OutOfRangeMode mode);

// True when x[0] <= x[1] <= ... <= x[n-1] (no NaN) for n = min(x.size(), y.size()).
bool is_ascending(std::span<const double> x, std::span<const double> y);

// interpolate() for a table that is_ascending(): the same segment, found by
// binary search, so a query costs O(log n); the same value bit for bit.
double interpolate_ascending(std::span<const double> x, std::span<const double> y, double q,
                             OutOfRangeMode mode);

// The line of segment k, [x[k], x[k+1]], as interpolate() forms it:
// slope (y[k+1] - y[k]) / (x[k+1] - x[k]) and intercept y[k] - x[k] * slope.
struct SegmentLine {
    double slope;
    double intercept;
};
SegmentLine segment_line(std::span<const double> x, std::span<const double> y, std::size_t k);

}  // namespace magnifex
