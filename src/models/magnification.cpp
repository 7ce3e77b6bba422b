#include "models/magnification.hpp"

#include <cmath>
#include <limits>

#include "models/point_lens_batch.hpp"
#include "models/point_source.hpp"
#include "models/source_pass.hpp"
#include "models/witt_mao.hpp"

namespace magnifex {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kMoments = FarFieldSeries::kTerms + 1;

// The far-field sum stops where its tail bound is below this much of the
// magnification (the seven functions' series stops at the same bound), and,
// for a gradient, below this much of its first correction term, which sets
// the scale of the derivatives in rho and in the coefficients (and, times
// (2k + 2)/u, bounds the tail of the derivative in u against dA0/du).
constexpr double kValueTail = 2e-15;
constexpr double kDerivativeTail = 1e-14;

// Below this, u and rho are scaled up to about 2^-330 (1e-100) before the
// integral (LimbDarkenedSource::magnify).
constexpr double kTiny = 0x1p-500;
constexpr int kTinyExponent = -330;

std::size_t find_or_add(std::vector<Basis>& bases, const Basis& basis) {
    for (std::size_t b = 0; b < bases.size(); ++b) {
        if (bases[b] == basis) return b;
    }
    bases.push_back(basis);
    return bases.size() - 1;
}

}  // namespace

std::optional<LimbDarkenedSource> LimbDarkenedSource::prepare(const Law& law, std::span<const double> coefficients,
                                                             std::size_t bands, bool gradient, LawFailure& failure) {
    LimbDarkenedSource source;
    source.coefficient_count_ = law.coefficient_names.size();
    source.limb_ = law.limb;
    source.gradient_ = gradient;
    const std::size_t k = source.coefficient_count_;
    source.bands_.resize(bands);
    for (std::size_t band = 0; band < bands; ++band) {
        const std::span<const double> row = coefficients.subspan(band * k, k);
        switch (law.check(row)) {
            case LawProblem::NonFinite:
                failure = LawFailure{LawFailure::Kind::NonFinite, band};
                return std::nullopt;
            case LawProblem::AlphaNotPositive:
                failure = LawFailure{LawFailure::Kind::AlphaNotPositive, band};
                return std::nullopt;
            case LawProblem::None:
                break;
        }
        LawExpansion expansion;
        law.expand(row, expansion);
        Band& b = source.bands_[band];
        for (std::size_t t = 0; t < expansion.count; ++t) {
            const LawTerm& term = expansion.terms[t];
            bool needed = term.weight != 0.0;
            if (gradient) {
                for (const double s : term.slopes) needed = needed || s != 0.0;
            }
            // A basis with weight 0 only adds 0; a gradient still needs it
            // when its weight has a slope.
            if (!needed) continue;
            b.terms.push_back(Term{find_or_add(source.bases_, term.basis), term.weight, term.slopes});
        }
        // A is a ratio of sums linear in the weights: scaled by a power of
        // two (exactly) to put the largest weight in [1/2, 1), huge
        // coefficients cannot overflow a weighted excess.
        double largest = 0.0;
        for (const Term& t : b.terms) largest = std::fmax(largest, std::fabs(t.weight));
        int exponent = 0;
        std::frexp(largest, &exponent);
        if (largest > 0.0 && exponent != 0) {
            for (Term& t : b.terms) {
                t.weight = std::ldexp(t.weight, -exponent);
                for (double& slope : t.slopes) slope = std::ldexp(slope, -exponent);
            }
        }
    }
    // A band whose brightness is uniform takes its value from the disk's
    // closed form, with or without a gradient (its coefficients may still
    // have slopes along other bases); a source of uniform bands and no
    // other basis needs nothing else.
    bool all_uniform = true;
    for (Band& b : source.bands_) {
        b.uniform = true;
        for (const Term& t : b.terms) b.uniform = b.uniform && (t.weight == 0.0 || source.bases_[t.basis] == Basis());
        all_uniform = all_uniform && b.uniform;
        source.any_uniform_ = source.any_uniform_ || b.uniform;
    }
    source.disk_only_ = all_uniform && source.bases_.size() == 1;
    source.basis_flux_.resize(source.bases_.size());
    std::vector<std::array<double, kMoments>> moments(source.bases_.size()), majorants(source.bases_.size());
    for (std::size_t i = 0; i < source.bases_.size(); ++i) {
        source.basis_flux_[i] = source.bases_[i].flux();
        source.bases_[i].moments(moments[i], majorants[i]);
    }
    for (std::size_t band = 0; band < bands; ++band) {
        Band& b = source.bands_[band];
        double flux = 0.0;
        for (const Term& t : b.terms) flux = flux + t.weight * source.basis_flux_[t.basis];
        if (!(flux > 0.0) || !std::isfinite(flux)) {
            failure = LawFailure{LawFailure::Kind::FluxNotPositive, band};
            return std::nullopt;
        }
        b.flux = flux;
        for (std::size_t j = 0; j < k; ++j) {
            double slope = 0.0;
            for (const Term& t : b.terms) slope = slope + t.slopes[j] * source.basis_flux_[t.basis];
            b.flux_slopes[j] = slope;
        }
        // Moments over the flux; the zeroth is the flux over itself, 1.
        for (int m = 0; m < kMoments; ++m) {
            double moment = 0.0, majorant = 0.0;
            for (const Term& t : b.terms) {
                moment = moment + t.weight * moments[t.basis][m];
                majorant = majorant + std::fabs(t.weight) * majorants[t.basis][m];
            }
            b.moment[m] = m == 0 ? 1.0 : moment / flux;
            b.majorant[m] = majorant / flux;
        }
        if (gradient) {
            b.moment_slopes.resize(k);
            for (std::size_t j = 0; j < k; ++j) {
                for (int m = 0; m < kMoments; ++m) {
                    double slope = 0.0;
                    for (const Term& t : b.terms) slope = slope + t.slopes[j] * moments[t.basis][m];
                    // d(moment/N)/dc_j
                    b.moment_slopes[j][m] = m == 0 ? 0.0 : (slope - b.moment[m] * b.flux_slopes[j]) / flux;
                }
            }
        }
        double limb = 0.0;
        for (const Term& t : b.terms) {
            const double at_limb = source.bases_[t.basis].limb_value();
            if (t.weight != 0.0 && at_limb != 0.0) limb = limb + t.weight * at_limb;
        }
        b.limb_brightness = limb;
    }
    return source;
}

LimbDarkenedSource::Series LimbDarkenedSource::far_field(const Band& band, FarFieldSeries& series, double rho,
                                                         double* value, double* jacobian) const {
    const double head = series.head();
    const double prefactor = series.prefactor();
    const std::size_t k = coefficient_count_;
    if (series.q() == 0.0) {
        *value = head;
        jacobian[0] = series.head_u();
        for (std::size_t j = 1; j < jacobian_width(); ++j) jacobian[j] = 0.0;
        return Series::Both;
    }
    const double threshold = kValueTail * std::fabs(head) / prefactor;
    double sum = 0.0, sum_u = 0.0, sum_rho = 0.0;
    std::array<double, kMaxCoefficients> sum_c{};
    double first = 0.0;
    bool value_done = false;
    for (int m = 1; m <= FarFieldSeries::kTerms; ++m) {
        const double term = series.term(m);
        if (!value_done) sum = sum + band.moment[m] * term;
        const double tail = (band.majorant[m] * term) * series.tail_factor(m);
        if (!value_done && tail <= threshold) {
            *value = head + prefactor * sum;
            value_done = true;
        }
        sum_u = sum_u + band.moment[m] * series.term_u(m);
        sum_rho = sum_rho + band.moment[m] * (2.0 * double(m) * term);
        for (std::size_t j = 0; j < k; ++j) sum_c[j] = sum_c[j] + band.moment_slopes[j][m] * term;
        if (m == 1) first = std::fabs(band.moment[1] * term);
        if (value_done && tail <= kDerivativeTail * first / (2.0 * double(m) + 2.0)) {
            jacobian[0] = series.head_u() + sum_u;
            jacobian[1] = prefactor * sum_rho / rho;
            for (std::size_t j = 0; j < k; ++j) jacobian[2 + j] = prefactor * sum_c[j];
            return Series::Both;
        }
    }
    // The value's series may have converged where its derivatives' did not:
    // it stands (as in a call without the gradient), the integral gives them.
    return value_done ? Series::ValueOnly : Series::None;
}

// The values alone of every band by the far-field series: far_field()'s
// sums and stopping rule, band by band, in one pass over the terms, which
// the bands share (the tail's factor g/(1 - g) with them). Returns whether
// some band's series did not converge.
bool LimbDarkenedSource::far_field_values(FarFieldSeries& series, std::vector<Series>& series_of, double* value,
                                          std::size_t i, std::size_t n) const {
    const double head = series.head();
    const double prefactor = series.prefactor();
    const double threshold = kValueTail * std::fabs(head) / prefactor;
    std::size_t pending = bands_.size();
    for (std::size_t band = 0; band < bands_.size(); ++band) {
        series_of[band] = Series::None;
        value[band * n + i] = 0.0;  // the band's running sum until it converges
    }
    for (int m = 1; m <= FarFieldSeries::kTerms && pending > 0; ++m) {
        const double term = series.term(m);
        const double factor = series.tail_factor(m);
        for (std::size_t band = 0; band < bands_.size(); ++band) {
            if (series_of[band] == Series::Both) continue;
            const Band& b = bands_[band];
            double& sum = value[band * n + i];
            sum = sum + b.moment[m] * term;
            const double tail = (b.majorant[m] * term) * factor;
            if (tail <= threshold) {
                sum = head + prefactor * sum;
                series_of[band] = Series::Both;
                --pending;
            }
        }
    }
    return pending > 0;
}

void LimbDarkenedSource::magnify(std::span<const double> u, double rho, double* value, double* jacobian) const {
    const std::size_t n = u.size();
    const std::size_t width = jacobian_width();
    // The pass's set-up (its product weights) waits for a point that takes
    // it: a call whose points the far-field series takes never pays for it.
    std::optional<SourcePass> pass;
    std::vector<BasisIntegral> integrals(bases_.size());
    std::vector<Series> series_of(bands_.size());
    FarFieldSeries series;
    for (std::size_t i = 0; i < n; ++i) {
        const double ui = u[i];
        auto out_value = [&](std::size_t band) -> double& { return value[band * n + i]; };
        auto out_jacobian = [&](std::size_t band) -> double* {
            return jacobian == nullptr ? nullptr : jacobian + (band * n + i) * width;
        };
        if (std::isnan(ui) || rho == 0.0 || ui == kInfinity) {
            // NaN in, NaN out; a point source; the lens infinitely far away.
            const double a = std::isnan(ui) ? kNaN : rho == 0.0 ? (ui == 0.0 ? kInfinity : point_source(ui)) : 1.0;
            const double a_u = std::isnan(ui) ? kNaN : rho == 0.0 ? point_source_slope(ui) : 0.0;
            for (std::size_t band = 0; band < bands_.size(); ++band) {
                out_value(band) = a;
                if (double* jac = out_jacobian(band)) {
                    jac[0] = a_u;
                    for (std::size_t j = 1; j < width; ++j) jac[j] = std::isnan(ui) ? kNaN : 0.0;
                }
            }
            continue;
        }
        // A lens and a source both this small (in Einstein radii) see the
        // kernel 1/d of A0 = 1/d + O(d), so A(u, rho) = s A(s u, rho s) to
        // O(rho^2) relative: computed at s u, s rho (s a power of two, exact),
        // where the nodes' radii and distances cannot underflow.
        double scale = 1.0;
        if (ui < kTiny && rho < kTiny) {
            int exponent = 0;
            std::frexp(std::fmax(ui, rho), &exponent);
            scale = std::ldexp(1.0, kTinyExponent - exponent);
        }
        const double ui_scaled = ui * scale, rho_scaled = rho * scale;
        magnify_point(ui_scaled, rho_scaled, series, pass, integrals, series_of, value, jacobian, i, n);
        if (any_uniform_ && !disk_only_) {
            const Fallible disk = witt_mao_kernel(ui_scaled, rho_scaled);
            for (std::size_t band = 0; band < bands_.size(); ++band) {
                if (bands_[band].uniform && !disk.failed()) out_value(band) = disk.value;
            }
        }
        if (scale == 1.0) continue;
        for (std::size_t band = 0; band < bands_.size(); ++band) {
            out_value(band) = out_value(band) * scale;
            if (double* jac = out_jacobian(band)) {
                jac[0] = (jac[0] * scale) * scale;
                jac[1] = (jac[1] * scale) * scale;
                for (std::size_t j = 2; j < width; ++j) jac[j] = jac[j] * scale;
            }
        }
    }
}

void LimbDarkenedSource::magnify_point(double ui, double rho, FarFieldSeries& series, std::optional<SourcePass>& pass,
                                       std::vector<BasisIntegral>& integrals, std::vector<Series>& series_of,
                                       double* value, double* jacobian, std::size_t i, std::size_t n) const {
    const std::size_t width = jacobian_width();
    const std::size_t k = coefficient_count_;
    auto out_value = [&](std::size_t band) -> double& { return value[band * n + i]; };
    auto out_jacobian = [&](std::size_t band) -> double* {
        return jacobian == nullptr ? nullptr : jacobian + (band * n + i) * width;
    };
    if (disk_only_) {
        // A uniform source: the disk's closed form (Witt & Mao 1994) and
        // its partials (disk_gradient_lanes.hpp), one kernel evaluation;
        // every band is the same disk.
        double a_u = 0.0, a_rho = 0.0, a = 0.0;
        const bool partials = gradient_ && ui != rho;
        if (partials) disk_gradient_point(ui, rho, &a, &a_u, &a_rho);
        // The partials' value is the disk kernel's, bit for bit, but for
        // 3 rho <= u < 4 rho (disk_gradient_lanes.hpp).
        const Fallible disk = partials && !(ui >= 3.0 * rho && ui < 4.0 * rho) ? Fallible::ok(a) : witt_mao_kernel(ui, rho);
        if (!disk.failed()) {
            for (std::size_t band = 0; band < bands_.size(); ++band) {
                out_value(band) = disk.value;
                if (double* jac = out_jacobian(band)) {
                    const bool limb = ui == rho && bands_[band].limb_brightness != 0.0;
                    jac[0] = limb ? -std::copysign(kInfinity, bands_[band].limb_brightness) : a_u;
                    jac[1] = limb ? std::copysign(kInfinity, bands_[band].limb_brightness) : a_rho;
                    for (std::size_t j = 2; j < width; ++j) jac[j] = 0.0;
                }
            }
            return;
        }
    }
    {
        bool any_pending = false;
        const bool series_ok = series.start(ui, rho, 1.0, gradient_);
        if (series_ok && jacobian == nullptr) {
            any_pending = far_field_values(series, series_of, value, i, n);
        } else {
            for (std::size_t band = 0; band < bands_.size(); ++band) {
                series_of[band] = series_ok ? far_field(bands_[band], series, rho, &out_value(band), out_jacobian(band))
                                            : Series::None;
                any_pending = any_pending || series_of[band] != Series::Both;
            }
        }
        if (!any_pending) return;
        if (!pass) pass.emplace(bases_, limb_, gradient_);
        pass->integrate(ui, rho, integrals);
        for (std::size_t band = 0; band < bands_.size(); ++band) {
            if (series_of[band] == Series::Both) continue;
            const Band& b = bands_[band];
            double excess = 0.0;
            for (const Term& t : b.terms) excess = excess + t.weight * integrals[t.basis].excess;
            if (series_of[band] == Series::None) out_value(band) = 1.0 + excess / b.flux;
            double* jac = out_jacobian(band);
            if (jac == nullptr) continue;
            double d_u = 0.0, d_rho = 0.0;
            for (const Term& t : b.terms) {
                d_u = d_u + t.weight * integrals[t.basis].d_u;
                d_rho = d_rho + t.weight * integrals[t.basis].d_rho;
            }
            jac[0] = d_u / b.flux;
            jac[1] = d_rho / b.flux;
            const double ratio = excess / b.flux;
            for (std::size_t j = 0; j < k; ++j) {
                double e = 0.0;
                for (const Term& t : b.terms) e = e + t.slopes[j] * integrals[t.basis].excess;
                jac[2 + j] = (e - ratio * b.flux_slopes[j]) / b.flux;
            }
            if (ui == rho && b.limb_brightness != 0.0) {
                // The lens on a limb of non-zero brightness: A has a
                // logarithmic cusp there, its slopes in u and rho are infinite.
                jac[0] = -std::copysign(kInfinity, b.limb_brightness);
                jac[1] = std::copysign(kInfinity, b.limb_brightness);
            }
        }
    }
}

}  // namespace magnifex
