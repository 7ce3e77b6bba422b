// Magnification of a uniformly bright disk by a point-mass lens
// (H. J. Witt & S. Mao 1994, ApJ 430, 505, eq. 9).
#pragma once

#include <vector>

#include "elliptic/fallible.hpp"
#include "models/outcome.hpp"

namespace magnifex {

// One separation: u = lens-source separation and rho = source radius, both in
// Einstein radii. Accurate to a few ulps for every u >= 0 and rho >= 0 (not
// both 0): a Carlson form of the Witt-Mao magnification (integrals by
// Bulirsch's cel), the closed limb form at u = rho and the multipole expansion
// about the point source for u >= 4 rho. Other inputs (negative or non-finite) take the Witt-Mao form
// as written, with its NaN results and elliptic failures.
Fallible witt_mao_kernel(double u, double rho);

// The same function; the name of the kernel that the limb-darkened disk route
// differences (radii x rho down to 0, where it is the point-source value).
Fallible witt_mao_carlson_kernel(double u, double rho);

// One magnification per separation l (in source radii); re and rstar in one
// common unit.
Outcome<std::vector<double>> witt_mao_magnification(std::vector<double> l, double re, double rstar);

}  // namespace magnifex
