// Sources described by a brightness table: radii bl (source radii) and
// brightness values bf. The integrated forms interpolate the table linearly
// (zero outside its radii) and divide by its flux; the discrete form treats
// each row as a thin ring of weight bf_j.
#include "models/flux_map.hpp"

#include <span>
#include <string>

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

class TabulatedProfile {
public:
    TabulatedProfile(const std::vector<double>& radii, const std::vector<double>& brightness)
        : radii_(radii), brightness_(brightness) {}

    double operator()(double x) const { return interpolate(radii_, brightness_, x, FIXED_VALUE_ZERO); }

    // N = int_0^1 2 pi x I(x) dx, one rule over [0, 1] (kinks are not split).
    double flux() const {
        auto f = [this](double x) { return (*this)(x) * (kTwoPi * x); };
        return integrate(f, 0.0, 1.0, 1e-16).integral;
    }

private:
    std::span<const double> radii_;
    std::span<const double> brightness_;
};

}  // namespace

Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf) {
    assert_same_length(bl, bf);
    const TabulatedProfile profile(bl, bf);
    return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile, profile.flux());
}

Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf) {
    assert_same_length(bl, bf);
    const TabulatedProfile profile(bl, bf);
    return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, profile.flux());
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
