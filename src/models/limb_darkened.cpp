// Limb-darkened sources. With I(x) the surface brightness at radius fraction x
// and N = int_0^1 2 pi x I(x) dx its flux, the magnification is
//   A = (1/N) int_0^1 I(x) dF(x),   F(x) = pi x^2 A_disk(x),
// with A_disk(x) the magnification of the uniform disk of radius x (source
// radii) concentric with the source. It has two forms, one per route:
//   ring route:          dF/dx = 2 pi x A_ring(x)                (Heyrovsky 2003)
//   uniform-disk route:  by parts, onto the profile's derivative,
//                        A N = I(1) F(1) - int_0^1 F(x) I'(x) dx  (Witt & Mao 1994)
// with A_ring(x) the magnification of the ring of radius x; F(0) = 0. The
// routes for the built-in law and for ascending tables integrate the excess
// over the unlensed source instead, A = 1 + (1/N) int_0^1 I d[pi x^2 (A_disk - 1)]
// (resp. A_ring - 1), whose unlensed part N is exact: far from the lens the
// result is then 1 plus a small correction, not a ratio of two integrals
// that agree to their rounding, and it does not fall below 1 by more than
// an ulp. Both kernels are the Carlson forms (heyrovsky_carlson_kernel,
// witt_mao_carlson_kernel), free of the closed forms' cancellations.
//
// Where the lens lies inside the source (0 < l < 1), A_ring is log-singular
// at x = l and F' with it, so every integral is split there; the rules'
// clustering at the ends resolves the singularity. For the built-in law
// I = 1 - c (1 - sqrt(1 - x^2)), -I'(x) dx = c x dx / sqrt(1 - x^2) = c dy with
// y = sqrt(1 - x^2), so that the disk route's integral becomes the smooth
//   int_0^1 F(sqrt(1 - y^2)) dy,
// split at y = sqrt(1 - l^2); taking it in x instead leaves a 1/sqrt(1 - x)
// end point, whose tail beyond the node table costs ~1e-7. A piecewise-linear
// profile has I' constant on each piece and jumps at the ends of its support:
//   A N = sum_jumps (I(p-) - I(p+)) F(p) - sum_pieces slope int_piece F dx.
//
// Measured against direct mpmath quadrature of the point-source magnification
// (tools/gen_route_oracle.py, tests/python/test_route_oracle.py; l in {0, 0.5,
// 1 - 1e-6, 1, 1 + 1e-8, 1 + 1e-3, 2.5}, rho in {1e-4, 0.01, 0.3, 3}, tables
// with kinks, jumps, a dark centre, an annulus, 20 rows of a quadratic law):
// the ring route within 5e-14, tables 3e-14; the disk route within 5e-14
// where the disk kernel is exact, and otherwise within that kernel's own
// error (its disks whose limb passes next to the lens).
#include "models/limb_darkened.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "models/disk_radii_batch.hpp"
#include "models/far_field.hpp"
#include "models/heyrovsky.hpp"
#include "models/source_integral.hpp"
#include "models/witt_mao.hpp"
#include "numerics/central_difference.hpp"
#include "numerics/quadrature.hpp"

namespace magnifex {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;
constexpr double kTolerance = 1e-16;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kLimbDarkening = 0.6;
// Below this separation (source radii) the generic disk route differences the
// flux pi y^2 A_disk(y) rather than A_disk(y) (see disk_route_by_difference).
constexpr double kNearCentre = 1e-3;

// int_0^1 of an integrand, split at the lens position when it lies inside the
// source, at the absolute tolerance 1e-16: the route for profiles of unknown
// shape (tables that are not ascending).
template <class F>
double integrate_over_source(F&& annulus, double l) {
    CountedIntegrand counted(annulus);
    double integral;
    if (l > 0.0 && l < 1.0) {
        integral = integrate(counted, 0.0, l, kTolerance).integral +
                   integrate(counted, l, 1.0, kTolerance).integral;
    } else {
        integral = integrate(counted, 0.0, 1.0, kTolerance).integral;
    }
    return counted.result(integral);
}

// Abscissae a batched integrand takes at a time (a tanh-sinh level has up to
// 192).
constexpr std::size_t kBatchChunk = 64;

// I(x) 2 pi x (A_ring(x) - 1) for one separation l (source radii) and beta,
// with the brightness I a callable: the ring route's excess integrand. Its
// batch evaluates the ring kernel for all abscissae at once, then the rest
// per abscissa in the order of the single call.
template <class Brightness>
class RingExcess {
public:
    RingExcess(double l, double beta, Brightness brightness) : l_(l), beta_(beta), brightness_(brightness) {}
    double operator()(double x) const {
        return brightness_(x) * ((kTwoPi * x) * (heyrovsky_carlson_kernel(l_, x, beta_) - 1.0));
    }
    void batch(const double* x, double* values, std::size_t n) const {
        heyrovsky_carlson_kernel_batch(l_, x, n, beta_, values);
        for (std::size_t i = 0; i < n; ++i) {
            values[i] = brightness_(x[i]) * ((kTwoPi * x[i]) * (values[i] - 1.0));
        }
    }

private:
    double l_, beta_;
    Brightness brightness_;
};

// pi x^2 (A_disk(x) - 1) for one separation u = l rho (Einstein radii): the
// magnified flux of the disk of radius x beyond its unlensed flux.
// Its batch takes the disks of all abscissae at once (bit for bit the same
// values), then the rest per abscissa in the order of the single call.
class DiskFlux {
public:
    DiskFlux(double u, double rho) : u_(u), rho_(rho) {}
    double operator()(double x) const {
        if (x == 0.0) return 0.0;
        const Fallible a = witt_mao_carlson_kernel(u_, x * rho_);
        return a.failed() ? kNaN : (kPi * (x * x)) * (a.value - 1.0);
    }
    void batch(const double* x, double* values, std::size_t n) const {
        double radii[kBatchChunk];
        for (std::size_t start = 0; start < n; start += kBatchChunk) {
            const std::size_t m = n - start < kBatchChunk ? n - start : kBatchChunk;
            for (std::size_t i = 0; i < m; ++i) radii[i] = x[start + i] * rho_;
            disk_radii_batch::disk_radii(u_, radii, m, values + start);
            for (std::size_t i = 0; i < m; ++i) {
                const double xi = x[start + i];
                const double a = values[start + i];
                values[start + i] = xi == 0.0 ? 0.0 : std::isnan(a) ? kNaN : (kPi * (xi * xi)) * (a - 1.0);
            }
        }
    }

private:
    double u_, rho_;
};

// The uniform-disk route for a profile of unknown shape: dF/dx as the central
// difference of A_disk, the annulus integrand 2 pi x (A_disk + x/2 A_disk').
double disk_route_by_difference(double li, double rho, const Profile& profile) {
    const double u = li * rho;
    // g(y): magnification of the concentric uniform disk of radius y, even in
    // y so that the central difference at x < s sees a smooth function.
    auto disk = [&](double y) {
        const Fallible a = witt_mao_carlson_kernel(u, std::fabs(y) * rho);
        return a.failed() ? kNaN : a.value;
    };
    if (std::fabs(li) >= kNearCentre) {
        auto annulus = [&](double x) {
            return profile(x) * ((kTwoPi * x) * (disk(x) + (0.5 * x) * central_difference(disk, x)));
        };
        return integrate_over_source(annulus, li);
    }
    // Lens near the centre: g ~ 2/(y rho) for y >> l, which no step resolves
    // near y = 0, while the flux pi y^2 g(y) ~ 2 pi y/rho is regular.
    auto flux_over_pi = [&](double y) { return (y * std::fabs(y)) * disk(y); };
    auto annulus = [&](double x) { return profile(x) * (kPi * central_difference(flux_over_pi, x)); };
    return integrate_over_source(annulus, li);
}

// The disk flux as a function of y = sqrt(1 - x^2), batched like DiskFlux.
struct InY {
    double operator()(double y) const { return flux(std::sqrt((1.0 - y) * (1.0 + y))); }
    void batch(const double* y, double* values, std::size_t n) const {
        double x[kBatchChunk];
        for (std::size_t start = 0; start < n; start += kBatchChunk) {
            const std::size_t m = n - start < kBatchChunk ? n - start : kBatchChunk;
            for (std::size_t i = 0; i < m; ++i) x[i] = std::sqrt((1.0 - y[start + i]) * (1.0 + y[start + i]));
            flux.batch(x, values + start, m);
        }
    }
    const DiskFlux& flux;
};

// The built-in law by parts: I(1) F(1) + c int_0^1 F(sqrt(1 - y^2)) dy, with
// F the excess flux.
double disk_route_builtin(double li, double rho) {
    const DiskFlux flux(li * rho, rho);
    InY in_y{flux};
    CountedIntegrand counted(in_y);
    // The lens radius x = l sits at y = sqrt(1 - l^2), in (0, 1) for 0 < l < 1.
    const double lens_y = (li > 0.0 && li < 1.0) ? std::sqrt((1.0 - li) * (1.0 + li)) : kNaN;
    const double inner = counted.result(integrate_split_tanh_sinh(counted, 0.0, 1.0, lens_y));
    return builtin_profile(1.0) * flux(1.0) + kLimbDarkening * inner;
}

// Far from the lens (u >= 1.8 rho) the series of the profile's radial
// moments (far_field.hpp) gives the integral's value, to ~2e-15, without an
// integral. For the built-in law it is taken with the exact flux 0.8 pi and
// put into the routes' own normalisation, 1 + (A - 1) 0.8 pi / flux, so that
// both sides of the switch divide the same excess by the same flux.
constexpr double kBuiltinExactFlux = 2.5132741228718345;

// Appends the series' value and returns true where it may be used.
bool far_field_into(double u, double rho, const FarFieldMoments& far, std::vector<double>& result) {
    double a;
    if (!far_field_magnification(u, rho, far, &a)) return false;
    result.push_back(a);
    return true;
}

bool builtin_far_field_into(double u, double rho, double flux, std::vector<double>& result) {
    static const FarFieldMoments moments = [] {
        FarFieldMoments m = FarFieldMoments::linear_limb_darkening(kLimbDarkening, kBuiltinExactFlux);
        m.moment[0] = 1.0;  // the exact flux over itself, not its rounded quotient
        return m;
    }();
    double a;
    if (!far_field_magnification(u, rho, moments, &a)) return false;
    result.push_back(1.0 + (a - 1.0) * (kBuiltinExactFlux / flux));
    return true;
}

}  // namespace

double builtin_profile(double x) { return (1.0 - std::sqrt(1.0 - x * x)) * (-kLimbDarkening) + 1.0; }

Outcome<std::vector<double>> _integrated_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, Profile profile, double flux) {
    const double beta = re / rstar;
    const bool builtin = profile.is(&builtin_profile);
    std::vector<double> result;
    result.reserve(l.size());
    const double rho = rstar / re;
    for (const double li : l) {
        if (builtin) {
            if (builtin_far_field_into(li * rho, rho, flux, result)) continue;
            RingExcess excess(li, beta, builtin_profile);
            CountedIntegrand counted(excess);
            result.push_back(1.0 + counted.result(integrate_split_tanh_sinh(counted, 0.0, 1.0, li)) / flux);
        } else {
            auto annulus = [&](double x) {
                return profile(x) * ((kTwoPi * x) * heyrovsky_carlson_kernel(li, x, beta));
            };
            result.push_back(integrate_over_source(annulus, li) / flux);
        }
    }
    return result;
}

Outcome<std::vector<double>> _integrated_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, Profile profile, double flux) {
    // The whole array first: an elliptic failure for any separation fails the
    // call before any integral is taken.
    Outcome<std::vector<double>> uniform = witt_mao_magnification(l, re, rstar);
    if (!uniform.ok()) return uniform;

    const double rho = rstar / re;
    const bool builtin = profile.is(&builtin_profile);
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        if (builtin && builtin_far_field_into(li * rho, rho, flux, result)) continue;
        result.push_back(builtin ? 1.0 + disk_route_builtin(li, rho) / flux
                                 : disk_route_by_difference(li, rho, profile) / flux);
    }
    return result;
}

Outcome<std::vector<double>> _integrated_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, std::span<const LinearPiece> pieces, double flux,
    const FarFieldMoments& far) {
    const double beta = re / rstar;
    const double rho = rstar / re;
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        if (far_field_into(li * rho, rho, far, result)) continue;
        double integral = 0.0;
        unsigned long finite = 0;
        for (const LinearPiece& piece : pieces) {
            const auto brightness = [&piece](double x) { return piece.slope * x + piece.intercept; };
            RingExcess annulus(li, beta, brightness);
            CountedIntegrand counted(annulus);
            const double part = integrate_split(counted, piece.lo, piece.hi, li);
            if (!std::isnan(counted.result(part))) ++finite;
            integral = integral + part;
        }
        result.push_back(1.0 + (pieces.empty() || finite > 0 ? integral : kNaN) / flux);
    }
    return result;
}

Outcome<std::vector<double>> _integrated_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, std::span<const LinearPiece> pieces, double flux,
    const FarFieldMoments& far) {
    Outcome<std::vector<double>> uniform = witt_mao_magnification(l, re, rstar);
    if (!uniform.ok()) return uniform;

    // Jump terms: the coefficient of F(p) at each end of a piece, I(p-) - I(p+),
    // where adjacent pieces meet in one point (0 for a continuous profile),
    // from the pieces' end values (exact where the table is continuous).
    std::vector<std::pair<double, double>> jumps;
    jumps.reserve(2 * pieces.size());
    for (const LinearPiece& piece : pieces) {
        if (!jumps.empty() && jumps.back().first == piece.lo) {
            jumps.back().second = jumps.back().second - piece.at_lo;
        } else {
            jumps.emplace_back(piece.lo, -piece.at_lo);
        }
        jumps.emplace_back(piece.hi, piece.at_hi);
    }

    const double rho = rstar / re;
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        if (far_field_into(li * rho, rho, far, result)) continue;
        const DiskFlux disk_flux(li * rho, rho);
        double integral = 0.0;
        for (const auto& [x, coefficient] : jumps) {
            if (coefficient != 0.0) integral = integral + coefficient * disk_flux(x);
        }
        for (const LinearPiece& piece : pieces) {
            if (piece.slope == 0.0) continue;
            CountedIntegrand counted(disk_flux);
            const double part = counted.result(integrate_split(counted, piece.lo, piece.hi, li));
            integral = integral - piece.slope * part;
        }
        result.push_back(1.0 + integral / flux);
    }
    return result;
}

double piecewise_linear_flux(std::span<const LinearPiece> pieces) {
    // 2 pi int_lo^hi I x dx with I linear from I_lo to I_hi:
    //   2 pi (hi - lo)/6 [I_lo (2 lo + hi) + I_hi (lo + 2 hi)],
    // a sum of the end values (no cancellation however steep the piece).
    double flux = 0.0;
    for (const LinearPiece& p : pieces) {
        const double weighted = p.at_lo * (2.0 * p.lo + p.hi) + p.at_hi * (p.lo + 2.0 * p.hi);
        flux = flux + ((kTwoPi * (p.hi - p.lo)) / 6.0) * weighted;
    }
    return flux;
}

}  // namespace magnifex
