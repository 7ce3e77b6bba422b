// Sources described by a brightness table: radii bl (source radii) and
// brightness values bf. The integrated forms interpolate the table linearly
// (zero outside its radii) and divide by its flux; the discrete form treats
// each row as a thin ring of weight bf_j.
#include "models/flux_map.hpp"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "models/far_field.hpp"
#include "models/heyrovsky.hpp"
#include "models/limb_darkened.hpp"
#include "models/panic.hpp"
#include "numerics/interpolate.hpp"
#include "numerics/quadrature.hpp"

namespace magnifex {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// The table's two columns must pair up; anything else is a caller's invariant
// broken, reported as a panic before any work.
void assert_same_length(const std::vector<double>& bl, const std::vector<double>& bf) {
    if (bl.size() != bf.size()) {
        panic(std::string("assertion `left ") + "==" + " right` failed" + "\n  left: " +
              std::to_string(bl.size()) + "\n right: " + std::to_string(bf.size()));
    }
}

// The table as a profile. An ascending table (non-decreasing radii) is linear
// between its radii: it is also cut into the pieces where it is linear and
// non-zero inside [0, 1], which the routes integrate one by one, and its flux
// is their exact sum. Any other table keeps the forward scan of interpolate()
// and one rule over the source.
class TabulatedProfile {
public:
    TabulatedProfile(const std::vector<double>& radii, const std::vector<double>& brightness)
        : radii_(radii), brightness_(brightness), ascending_(is_ascending(radii_, brightness_)) {
        if (ascending_) cut_into_pieces();
    }

    double operator()(double x) const {
        return ascending_ ? interpolate_ascending(radii_, brightness_, x, FIXED_VALUE_ZERO)
                          : interpolate(radii_, brightness_, x, FIXED_VALUE_ZERO);
    }

    bool ascending() const { return ascending_; }
    std::span<const LinearPiece> pieces() const { return pieces_; }

    // N = int_0^1 2 pi x I(x) dx.
    double flux() const {
        if (ascending_) return piecewise_linear_flux(pieces_);
        auto f = [this](double x) { return (*this)(x) * (kTwoPi * x); };
        return integrate(f, 0.0, 1.0, 1e-16).integral;
    }

private:
    // Segment k serves (bl_k, bl_k+1] (segment 0 also bl_0 itself); a
    // zero-width segment serves no point. A single row is constant everywhere.
    void cut_into_pieces() {
        const std::size_t n = radii_.size();
        if (n == 1) {
            pieces_.push_back(LinearPiece{0.0, 1.0, 0.0, brightness_[0], brightness_[0], brightness_[0]});
            return;
        }
        for (std::size_t k = 0; k + 1 < n; ++k) {
            if (!(radii_[k] < radii_[k + 1])) continue;
            const double lo = std::max(radii_[k], 0.0);
            const double hi = std::min(radii_[k + 1], 1.0);
            if (!(lo < hi)) continue;
            const SegmentLine line = segment_line(radii_, brightness_, k);
            // The line's values at the piece's ends: the table's own where the
            // end is a radius of it, the two-point form where [0, 1] clips it.
            const double a = radii_[k], b = radii_[k + 1];
            auto at = [&](double x) {
                if (x == a) return brightness_[k];
                if (x == b) return brightness_[k + 1];
                return (brightness_[k] * (b - x) + brightness_[k + 1] * (x - a)) / (b - a);
            };
            pieces_.push_back(LinearPiece{lo, hi, line.slope, line.intercept, at(lo), at(hi)});
        }
    }

    std::span<const double> radii_;
    std::span<const double> brightness_;
    bool ascending_;
    std::vector<LinearPiece> pieces_;
};

// Radial moments of an ascending table over its exact flux, for the routes'
// far-field series. M_0 is that flux over itself, 1 exactly; its rounded
// quotient would leave every result far away an ulp below 1.
FarFieldMoments far_field_moments(std::span<const double> bl, std::span<const double> bf, double flux) {
    FarFieldMoments far = FarFieldMoments::table(bl, bf, flux);
    far.moment[0] = 1.0;
    return far;
}

}  // namespace

Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf) {
    assert_same_length(bl, bf);
    const TabulatedProfile profile(bl, bf);
    if (profile.ascending()) {
        const double flux = profile.flux();
        return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile.pieces(), flux,
                                              far_field_moments(bl, bf, flux));
    }
    return _integrated_witt_mao_magnification(std::move(l), re, rstar, Profile(profile), profile.flux());
}

Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf) {
    assert_same_length(bl, bf);
    const TabulatedProfile profile(bl, bf);
    if (profile.ascending()) {
        const double flux = profile.flux();
        return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile.pieces(), flux,
                                              far_field_moments(bl, bf, flux));
    }
    return _integrated_heyrovsky_magnification(std::move(l), re, rstar, Profile(profile), profile.flux());
}

Outcome<std::vector<double>> discrete_flux_map_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf) {
    assert_same_length(bl, bf);
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        double sum = 0.0;
        for (std::size_t j = 0; j < bl.size(); ++j) {
            const Outcome<double> ring = heyrovsky_magnification(li, bl[j], re, rstar);
            if (!ring.ok()) return PendingRuntimeError{ring.error_message()};
            sum = sum + ring.value() * bf[j];
        }
        result.push_back(sum);
    }
    return result;
}

}  // namespace magnifex
