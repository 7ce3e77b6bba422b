#include "models/source_mesh.hpp"

#include <cmath>
#include <limits>

#include "elliptic/lanes_sse2.hpp"
#include "elliptic/lanes.hpp"

namespace magnifex {

namespace {

using Complex = std::complex<double>;

// A last piece shorter than this fraction of the one before joins it.
constexpr double kMergeFraction = 0.15;

// Longest t with every point on or outside the ellipse of parameter r
// (s = half_sum(r)) of [p, p + t] (direction +1) or [p - t, p] (direction -1),
// at most cap: for one point z, t = 2 (s |z - p| - along)/(s^2 - 1), along =
// direction Re(z - p) (|z - p|: the points are O(1) angles, no overflow to
// guard against).
double clear_length_s(std::span<const Complex> points, double p, double s, double direction, double cap) {
    // The least numerator over one quotient: the least of the quotients,
    // bit for bit (a quotient by a positive divisor rounds monotonically),
    // for one division instead of one a point.
    // Two points to a vector (one square root instruction for both), each
    // lane the one-point value, taken in order.
    using Pair = lanes::Lanes2;
    // (a point's numerator, or a pair's: re and im a double or a Pair)
    auto numerator = [&](const auto& re, const auto& im) {
        return 2.0 * (s * lanes::lane_sqrt(re * re + im * im) - direction * re);
    };
    double least = __builtin_inf();
    std::size_t i = 0;
    for (; i + 2 <= points.size(); i += 2) {
        const Pair pair = numerator(Pair{points[i].real(), points[i + 1].real()} - p,
                                    Pair{points[i].imag(), points[i + 1].imag()});
        if (pair[0] < least) least = pair[0];
        if (pair[1] < least) least = pair[1];
    }
    if (i < points.size()) {
        const double last = numerator(points[i].real() - p, points[i].imag());
        if (last < least) least = last;
    }
    const double fits = least / (s * s - 1.0);
    return fits < cap ? fits : cap;
}

}  // namespace

double clear_length(std::span<const Complex> points, double p, double r, double direction, double cap) {
    return clear_length_s(points, p, half_sum(r), direction, cap);
}

double clear_ellipse(std::span<const Complex> points, double a, double b) {
    // The two distances of a point as the lanes of one vector: one square
    // root instruction a point, each lane the scalar one's value.
    using Pair = lanes::Lanes2;
    double least = std::numeric_limits<double>::infinity();
    for (const Complex z : points) {
        // (O(1) angles: no overflow to guard against)
        const double im2 = z.imag() * z.imag();
        const Pair r = Pair{z.real(), z.real()} - Pair{a, b};
        const Pair d = r * r + im2;
        const Pair root = lanes::lane_sqrt(d);
        const double sum = root[0] + root[1];
        if (sum < least) least = sum;
    }
    return least / (b - a);
}

std::size_t partition(double a, double b, std::span<const Complex> singular, PieceRule start_rule,
                      PieceRule end_rule, double end_ellipse, std::span<Piece> out, bool merge) {
    const double length = b - a;
    if (!(length > 0.0) || out.size() < 3) return 0;
    const double s_gauss = half_sum(kGaussEllipse);
    const double s_end = half_sum(end_ellipse);
    const bool special_start = start_rule != PieceRule::Gauss;
    const bool special_end = end_rule != PieceRule::Gauss;

    std::size_t count = 0;
    double q_end = b;
    if (special_end) {
        double h = clear_length_s(singular, b, s_end, -1.0, special_start ? 0.5 * length : length);
        q_end = b - h;
    }
    double p = a;
    if (special_start) {
        double h = clear_length_s(singular, a, s_end, 1.0, special_end ? 0.5 * (q_end - a) : q_end - a);
        out[count++] = Piece{a, a + h, start_rule};
        p = a + h;
    }
    // The Gauss pieces also keep clear of the special ends themselves.
    const Complex ends[2] = {Complex(a, 0.0), Complex(b, 0.0)};
    const std::size_t last = out.size() - (special_end ? 2 : 1);
    while (p < q_end) {
        double t = clear_length_s(singular, p, s_gauss, 1.0, q_end - p);
        if (special_start) t = clear_length_s(std::span<const Complex>(ends, 1), p, s_gauss, 1.0, t);
        if (special_end) t = clear_length_s(std::span<const Complex>(ends + 1, 1), p, s_gauss, 1.0, t);
        // A singular point on the piece itself (the caller keeps them out)
        // would stop the march: the rest is then one piece.
        if (!(t > 0.0)) t = q_end - p;
        double q = p + t;
        if ((merge && q_end - q < kMergeFraction * t) || count == last || !(q > p)) q = q_end;
        out[count++] = Piece{p, q, PieceRule::Gauss};
        p = q;
    }
    if (special_end) out[count++] = Piece{q_end, b, end_rule};
    return count;
}

}  // namespace magnifex
