// Magnification of a limb-darkened source of any law, for several bands at
// once, with its derivatives: the model behind the module's `magnification`
// and `light_curve`. Lengths in Einstein radii.
//
// A band's brightness I = sum_b w_b b(mu) over the law's basis profiles
// (laws.hpp) magnifies the source by
//   A = 1 + (sum_b w_b E_b) / (sum_b w_b N_b),
// E_b the excess magnified flux of basis b (source_pass.hpp) and N_b its
// flux; every band of a call shares the kernel evaluations, and each band's
// arithmetic is that of a call with that band alone (the same bases in the
// same order, the same stopping decisions), so that its results are the same
// bits. Well outside the source (u >= 1.8 rho) the far-field series of the
// band's radial moments replaces the integral where its tail bound allows.
#pragma once

#include <cstddef>
#include <span>
#include <optional>
#include <vector>

#include "models/basis.hpp"
#include "models/far_field.hpp"
#include "models/laws.hpp"

namespace magnifex {

class SourcePass;
struct BasisIntegral;

// Why a law's coefficients were refused, and for which band (row).
struct LawFailure {
    enum class Kind { NonFinite, AlphaNotPositive, FluxNotPositive } kind;
    std::size_t band;
};

class LimbDarkenedSource {
public:
    // `coefficients` holds `bands` rows of law.coefficient_names.size()
    // values each. The gradient's bases (power2's mu^alpha ln mu) are kept
    // only when `gradient` is set.
    // Nothing, with `failure` set, when a band's coefficients are refused.
    static std::optional<LimbDarkenedSource> prepare(const Law& law, std::span<const double> coefficients,
                                                     std::size_t bands, bool gradient, LawFailure& failure);

    std::size_t bands() const { return bands_.size(); }
    std::size_t coefficient_count() const { return coefficient_count_; }
    // Columns of a row of the Jacobian: d/du, d/drho, d/dc_1 .. d/dc_k.
    std::size_t jacobian_width() const { return 2 + coefficient_count_; }
    bool gradient() const { return gradient_; }

    // For each band and separation: value[band * u.size() + i] and, when the
    // source was prepared with a gradient, jacobian[(band * u.size() + i) *
    // jacobian_width() + j]. rho finite and >= 0; u >= 0 or NaN (NaN gives
    // NaN in every output).
    void magnify(std::span<const double> u, double rho, double* value, double* jacobian) const;

private:
    struct Term {
        std::size_t basis;
        double weight;
        std::array<double, kMaxCoefficients> slopes;
    };
    struct Band {
        std::vector<Term> terms;
        double flux = 0.0;                                // N = sum w N_b
        std::array<double, kMaxCoefficients> flux_slopes{};  // dN/dc_j
        // Far-field moments over N (moment[0] = 1) and their majorants, and
        // the slopes of moment[k] in c_j (over N, the flux's share included).
        std::array<double, FarFieldSeries::kTerms + 1> moment{}, majorant{};
        std::vector<std::array<double, FarFieldSeries::kTerms + 1>> moment_slopes;
        // The brightness at the limb, I(mu = 0) (+-inf for the exponential
        // law): where it is not 0, dA/du and dA/drho are infinite with the
        // lens on the limb.
        double limb_brightness = 0.0;
        // Every term of non-zero weight is the constant profile.
        bool uniform = false;
    };

    // What the far-field series gave: nothing, the value alone, or both the
    // value and the Jacobian row.
    enum class Series { None, ValueOnly, Both };
    // One band's value and Jacobian row (far_field_values: every band's
    // values, without a Jacobian).
    Series far_field(const Band& band, FarFieldSeries& series, double rho, double* value, double* jacobian) const;
    bool far_field_values(FarFieldSeries& series, std::vector<Series>& series_of, double* value, std::size_t i,
                          std::size_t n) const;
    // Every band's value (and Jacobian row) of point i of n at (u, rho); `pass`
    // is set up at the first point that takes it.
    void magnify_point(double u, double rho, FarFieldSeries& series, std::optional<SourcePass>& pass,
                       std::vector<BasisIntegral>& integrals, std::vector<Series>& series_of, double* value,
                       double* jacobian, std::size_t i, std::size_t n) const;

    std::vector<Basis> bases_;
    std::vector<double> basis_flux_;
    std::vector<Band> bands_;
    std::size_t coefficient_count_ = 0;
    LimbBehaviour limb_ = LimbBehaviour::Analytic;
    bool gradient_ = false;
    // Some band is uniform; every band is, and the constant profile is the
    // only basis: a uniform disk.
    bool any_uniform_ = false;
    bool disk_only_ = false;
};

}  // namespace magnifex
