#include "numerics/interpolate.hpp"

#include <algorithm>
#include <cstddef>

namespace magnifex {

namespace {

// Index k of the segment [x[k], x[k+1]] used for q, n >= 2. Counts the
// samples from x[1] on that lie below q, stopping at the first that does not;
// a q that is not above x[0] (NaN included) takes the first segment.
std::size_t segment_index(std::span<const double> x, std::size_t n, double q) {
    if (!(q > x[0])) {
        return 0;
    }
    std::size_t below = 0;
    for (std::size_t i = 1; i < n && q > x[i]; ++i) {
        ++below;
    }
    return std::min(below, n - 2);
}

// The same count for non-decreasing x: the samples below q form a prefix of
// x[1..n-1], whose length lower_bound finds.
std::size_t segment_index_ascending(std::span<const double> x, std::size_t n, double q) {
    if (!(q > x[0])) {
        return 0;
    }
    const auto first = x.begin() + 1;
    const auto below = static_cast<std::size_t>(std::lower_bound(first, x.begin() + n, q) - first);
    return std::min(below, n - 2);
}

// Value outside the range on the side whose end sample is `end_value`.
double outside(const OutOfRangeMode& mode, double line_value, double end_value) {
    if (std::holds_alternative<EndValue>(mode)) {
        return end_value;
    }
    if (const FixedValue* fixed = std::get_if<FixedValue>(&mode)) {
        return fixed->value;
    }
    return line_value;
}

// Steps 5 and 6 of the interpolation for segment k of n >= 2 samples.
double line_value(std::span<const double> x, std::span<const double> y, std::size_t n, std::size_t k,
                  double q, const OutOfRangeMode& mode) {
    // Slope-intercept form, in this order and without fused multiply-add: the
    // results (even at the samples) are defined by this rounding.
    const SegmentLine line = segment_line(x, y, k);
    const double v = line.slope * q + line.intercept;

    if (x[0] > q) {
        return outside(mode, v, y[0]);
    }
    if (q > x[n - 1]) {
        return outside(mode, v, y[n - 1]);
    }
    return v;
}

}  // namespace

SegmentLine segment_line(std::span<const double> x, std::span<const double> y, std::size_t k) {
    const double m = (y[k + 1] - y[k]) / (x[k + 1] - x[k]);
    const double c = y[k] - x[k] * m;
    return SegmentLine{m, c};
}

namespace {

// The interpolation itself, with the segment found by `find(x, n, q)`.
template <class FindSegment>
double interpolate_in(std::span<const double> x, std::span<const double> y, double q,
                      OutOfRangeMode mode, FindSegment find) {
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 1) {
        return y[0];
    }
    if (n == 0) {
        return 0.0;
    }
    return line_value(x, y, n, find(x, n, q), q, mode);
}

}  // namespace

double interpolate(std::span<const double> x, std::span<const double> y, double q,
                   OutOfRangeMode mode) {
    return interpolate_in(x, y, q, mode, segment_index);
}

bool is_ascending(std::span<const double> x, std::span<const double> y) {
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 1; i < n; ++i) {
        if (!(x[i - 1] <= x[i])) {
            return false;
        }
    }
    return n == 0 || x[0] == x[0];
}

double interpolate_ascending(std::span<const double> x, std::span<const double> y, double q,
                             OutOfRangeMode mode) {
    return interpolate_in(x, y, q, mode, segment_index_ascending);
}

}  // namespace magnifex
