// Limb-darkened sources: the magnification integrated over the source radius
// with a brightness profile as weight.
#pragma once

#include <span>
#include <vector>

#include "models/far_field.hpp"
#include "models/outcome.hpp"
#include "models/profile.hpp"

namespace magnifex {

// Linear limb darkening with coefficient 0.6: I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)).
double builtin_profile(double x);

// The flux integral of builtin_profile as the double-exponential quadrature of
// 2 pi x I(x) on [0, 1] with tolerance 1e-16 gives it (exactly 0.8 pi would be
// 2.5132741228718345).
inline constexpr double BUILTIN_PROFILE_FLUX = 2.5132741228717936;

// Routes for any profile. The built-in law (a Profile of builtin_profile) is
// integrated piece by piece to ~1e-14, or replaced by its far-field series
// well outside the source; any other callable by one rule over the source
// (split only at the lens), which misses its kinks.
Outcome<std::vector<double>> _integrated_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, Profile profile, double flux);
Outcome<std::vector<double>> _integrated_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, Profile profile, double flux);

// Routes for a profile that is linear on each of `pieces` (in increasing
// order, inside [0, 1]) and 0 between and outside them: every piece is
// integrated on its own, so kinks and jumps cost nothing. `far` holds the
// profile's radial moments divided by `flux`: where its series is within its
// bound (the lens well outside the source) it replaces the integral.
Outcome<std::vector<double>> _integrated_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, std::span<const LinearPiece> pieces, double flux,
    const FarFieldMoments& far);
Outcome<std::vector<double>> _integrated_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, std::span<const LinearPiece> pieces, double flux,
    const FarFieldMoments& far);

// int_0^1 2 pi x I(x) dx of such a profile, exactly (piece by piece).
double piecewise_linear_flux(std::span<const LinearPiece> pieces);

}  // namespace magnifex
