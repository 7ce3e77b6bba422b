// Radial moments M_k = (1/N) int_0^1 2 pi x I(x) x^{2k} dx of the brightness
// profiles, for the far-field series (far_field.hpp), in closed form:
//   uniform disk   1 / (k + 1);
//   thin ring      r^{2k};
//   ring sums      sum_j w_j r_j^{2k} (weights w_j, not normalised);
//   linear law     (pi/N) [(1 - a)/(k + 1) + a B(k + 1, 3/2)], from
//                  int_0^1 2 pi x^{2k+1} sqrt(1 - x^2) dx = pi B(k + 1, 3/2)
//                  (t = x^2; DLMF 5.12.1), B(k + 1, 3/2) = B(k, 3/2) k/(k + 3/2);
//   tables         per segment [x0, x1] with end values f0, f1,
//                  int x^n (f0 (x1 - x) + f1 (x - x0)) / h dx
//                    = h (f0 U_n + f1 T_n) / ((n + 1)(n + 2)),  n = 2k + 1,
//                  T_n = sum_j (j + 1) x0^{n-j} x1^j, U_n = sum_j (n - j + 1) x0^{n-j} x1^j
//                  (expand in the Bernstein basis of the segment), by the
//                  recurrences T_{n+1} = x0 T_n + (n + 2) x1^{n+1},
//                  U_{n+1} = x1 U_n + (n + 2) x0^{n+1}: sums of positive terms,
//                  so a narrow segment or a high power loses nothing to
//                  cancellation (x1^n - x0^n would).
// The majorants take |f0|, |f1| in place of f0, f1 (|I| lies below that line
// on the segment) and |a|, |1 - a| for the linear law.
#include <cmath>
#include <cstddef>

#include "models/far_field.hpp"

namespace magnifex {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr int kCount = FarFieldMoments::kCount;

// Adds a segment's integrals of 2 pi x^{2k+1} I(x) (and of |I|) to the moments.
void add_segment(FarFieldMoments& m, double x0, double x1, double f0, double f1) {
    const double h = x1 - x0;
    double t = 1.0, v = 1.0;          // T_0, U_0
    double p0 = 1.0, p1 = 1.0;        // x0^n, x1^n
    for (int n = 0; n <= 2 * kCount - 1; ++n) {
        if (n % 2 == 1) {
            const int k = n / 2;
            const double w = (kTwoPi * h) / (double(n + 1) * double(n + 2));
            m.moment[k] = m.moment[k] + w * (f0 * v + f1 * t);
            m.majorant[k] = m.majorant[k] + w * (std::fabs(f0) * v + std::fabs(f1) * t);
        }
        p0 = p0 * x0;
        p1 = p1 * x1;
        t = x0 * t + double(n + 2) * p1;
        v = x1 * v + double(n + 2) * p0;
    }
}

void normalise(FarFieldMoments& m, double flux) {
    const double inverse_size = 1.0 / std::fabs(flux);
    for (int k = 0; k < kCount; ++k) {
        m.moment[k] = m.moment[k] / flux;
        m.majorant[k] = m.majorant[k] * inverse_size;
    }
    m.usable = std::isfinite(flux) && flux != 0.0 && std::isfinite(m.majorant[0]);
}

}  // namespace

FarFieldMoments FarFieldMoments::uniform_disk() {
    FarFieldMoments m;
    for (int k = 0; k < kCount; ++k) {
        m.moment[k] = 1.0 / double(k + 1);
        m.majorant[k] = m.moment[k];
    }
    m.usable = true;
    return m;
}

FarFieldMoments FarFieldMoments::thin_ring(double r) {
    FarFieldMoments m;
    const double r2 = r * r;
    double power = 1.0;
    for (int k = 0; k < kCount; ++k) {
        m.moment[k] = power;
        m.majorant[k] = power;
        power = power * r2;
    }
    m.support = std::fabs(r);
    m.usable = std::isfinite(r);
    return m;
}

FarFieldMoments FarFieldMoments::discrete_rings(std::span<const double> bl, std::span<const double> bf) {
    FarFieldMoments m;
    const std::size_t n = bl.size() < bf.size() ? bl.size() : bf.size();
    double support = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        if (!(bl[j] >= 0.0) || !std::isfinite(bl[j]) || !std::isfinite(bf[j])) return m;
        const double r2 = bl[j] * bl[j];
        double power = 1.0;
        for (int k = 0; k < kCount; ++k) {
            m.moment[k] = m.moment[k] + bf[j] * power;
            m.majorant[k] = m.majorant[k] + std::fabs(bf[j]) * power;
            power = power * r2;
        }
        if (bf[j] != 0.0 && bl[j] > support) support = bl[j];
    }
    m.support = support;
    m.usable = true;
    return m;
}

FarFieldMoments FarFieldMoments::linear_limb_darkening(double coefficient, double flux) {
    FarFieldMoments m;
    double beta = 2.0 / 3.0;  // B(1, 3/2)
    for (int k = 0; k < kCount; ++k) {
        if (k > 0) beta = beta * (double(k) / (double(k) + 1.5));
        const double disk = 1.0 / double(k + 1);
        m.moment[k] = kPi * ((1.0 - coefficient) * disk + coefficient * beta);
        m.majorant[k] = kPi * (std::fabs(1.0 - coefficient) * disk + std::fabs(coefficient) * beta);
    }
    normalise(m, flux);
    m.usable = m.usable && std::isfinite(coefficient);
    return m;
}

FarFieldMoments FarFieldMoments::table(std::span<const double> bl, std::span<const double> bf, double flux) {
    FarFieldMoments m;
    const std::size_t n = bl.size() < bf.size() ? bl.size() : bf.size();
    for (std::size_t j = 0; j < n; ++j) {
        if (!std::isfinite(bl[j]) || !std::isfinite(bf[j])) return m;
        if (j > 0 && bl[j] < bl[j - 1]) return m;
    }
    if (n == 0) return m;
    if (n == 1) {
        // The interpolation gives bf_0 everywhere.
        add_segment(m, 0.0, 1.0, bf[0], bf[0]);
        normalise(m, flux);
        return m;
    }
    double support = 0.0;
    for (std::size_t j = 0; j + 1 < n; ++j) {
        const double a = bl[j], b = bl[j + 1];
        const double x0 = a > 0.0 ? a : 0.0;
        const double x1 = b < 1.0 ? b : 1.0;
        if (!(x1 > x0)) continue;
        // The segment's line at the clipped ends, in the two-point form.
        const double f0 = x0 == a ? bf[j] : (bf[j] * (b - x0) + bf[j + 1] * (x0 - a)) / (b - a);
        const double f1 = x1 == b ? bf[j + 1] : (bf[j] * (b - x1) + bf[j + 1] * (x1 - a)) / (b - a);
        add_segment(m, x0, x1, f0, f1);
        if (f0 != 0.0 || f1 != 0.0) support = x1;
    }
    normalise(m, flux);
    m.support = support;
    return m;
}

}  // namespace magnifex
