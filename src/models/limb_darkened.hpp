// Limb-darkened sources: the magnification integrated over the source radius
// with a brightness profile as weight.
#pragma once

#include <vector>

#include "models/outcome.hpp"
#include "models/profile.hpp"

namespace magnifex {

// Linear limb darkening with coefficient 0.6: I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)).
double builtin_profile(double x);

// The flux integral of builtin_profile as the double-exponential quadrature of
// 2 pi x I(x) on [0, 1] with tolerance 1e-16 gives it (exactly 0.8 pi would be
// 2.5132741228718345).
inline constexpr double BUILTIN_PROFILE_FLUX = 2.5132741228717936;

Outcome<std::vector<double>> _integrated_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, Profile profile, double flux);
Outcome<std::vector<double>> _integrated_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, Profile profile, double flux);

}  // namespace magnifex
