// Limb-darkened sources. With I(x) the surface brightness at radius fraction x
// and N = int_0^1 2 pi x I(x) dx its flux, the magnification is
//   A = (1/N) int_0^1 I(x) dF/dx dx,
// where dF/dx is the magnified flux of the annulus at x of a unit-brightness
// source. It has two closed forms, one per route:
//   ring route:         dF/dx = 2 pi x A_ring(x)                     (Heyrovsky 2003)
//   uniform-disk route: dF/dx = d/dx [pi x^2 A_disk(x)]
//                             = 2 pi x (A_disk(x) + x/2 A_disk'(x))  (Witt & Mao 1994)
// with A_ring(x) the magnification of the ring of radius x and A_disk(x) that of
// the uniform disk of radius x, both concentric with the source. Both come from
// Carlson forms of the closed forms that avoid their cancellations: A_ring's
// near the ring (where the lens crosses the ring at x = l), A_disk's for
// u >> rho (A_disk' is a central difference, which multiplies the rounding
// error of A_disk by ~1e5). Both integrals use the double-exponential rule.
// Where the lens lies inside the source (0 < l < 1) the integrand is
// log-singular at x = l, so [0, l] and [l, 1] are integrated apart: the rule's
// clustering at the ends resolves the singularity, one rule across it misses
// it by up to a few per cent.
#include "models/limb_darkened.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "models/heyrovsky.hpp"
#include "models/witt_mao.hpp"
#include "numerics/central_difference.hpp"
#include "numerics/quadrature.hpp"

namespace magnifex {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;
constexpr double kTolerance = 1e-16;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Below this separation (source radii) the disk route differences the flux
// pi y^2 A_disk(y) rather than A_disk(y). Above it the two agree to ~1e-8, and
// differencing A_disk has the smaller truncation error (the flux's third
// derivative carries 6 A_disk' + 6 y A_disk'').
constexpr double kNearCentre = 1e-3;

// int_0^1 of the annulus integrand, split at the lens position when it lies
// inside the source. An integrand that is undefined at every node has no
// integral: NaN, not the 0 that the quadrature's guard would leave.
template <class F>
double integrate_over_source(F&& annulus, double l) {
    unsigned finite = 0;
    auto counted = [&](double x) {
        const double value = annulus(x);
        if (std::isfinite(value)) ++finite;
        return value;
    };
    double integral;
    if (l > 0.0 && l < 1.0) {
        integral = integrate(counted, 0.0, l, kTolerance).integral +
                   integrate(counted, l, 1.0, kTolerance).integral;
    } else {
        integral = integrate(counted, 0.0, 1.0, kTolerance).integral;
    }
    return finite == 0 ? kNaN : integral;
}

}  // namespace

double builtin_profile(double x) { return (1.0 - std::sqrt(1.0 - x * x)) * (-0.6) + 1.0; }

Outcome<std::vector<double>> _integrated_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, Profile profile, double flux) {
    const double beta = re / rstar;
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        auto annulus = [&](double x) {
            return profile(x) * ((kTwoPi * x) * heyrovsky_carlson_kernel(li, x, beta));
        };
        result.push_back(integrate_over_source(annulus, li) / flux);
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
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        const double u = li * rho;
        // g(y): magnification of the concentric uniform disk of radius y
        // (source radii), even in y (A_disk = A_point(u) + O(y^2)) so that the
        // central difference at x < s sees a smooth function; taking 0 below
        // y = 0 would add a spurious slope g/(2s) there.
        auto disk = [&](double y) {
            const Fallible a = witt_mao_carlson_kernel(u, std::fabs(y) * rho);
            return a.failed() ? kNaN : a.value;
        };
        if (std::fabs(li) >= kNearCentre) {
            auto annulus = [&](double x) {
                return profile(x) * ((kTwoPi * x) * (disk(x) + (0.5 * x) * central_difference(disk, x)));
            };
            result.push_back(integrate_over_source(annulus, li) / flux);
        } else {
            // Lens near the centre: g ~ 2/(y rho) for y >> l, which no step
            // resolves near y = 0, while the flux pi y^2 g(y) ~ 2 pi y/rho is
            // regular; difference the flux (odd in y) instead.
            auto flux_over_pi = [&](double y) { return (y * std::fabs(y)) * disk(y); };
            auto annulus = [&](double x) { return profile(x) * (kPi * central_difference(flux_over_pi, x)); };
            result.push_back(integrate_over_source(annulus, li) / flux);
        }
    }
    return result;
}

}  // namespace magnifex
