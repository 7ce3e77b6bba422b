// Magnification of a uniformly bright disk by a point-mass lens
// (H. J. Witt & S. Mao 1994, ApJ 430, 505, eq. 9).
#pragma once

#include <vector>

#include "elliptic/fallible.hpp"
#include "models/outcome.hpp"

namespace magnifex {

// One separation: u = lens-source separation and rho = source radius, both in
// Einstein radii.
Fallible witt_mao_kernel(double u, double rho);

// The same magnification with the terms of the Witt-Mao form regrouped through
// Carlson's integrals, so that their O(1/rho^2) parts cancel analytically:
// accurate to ~1e-14 where the form above loses (u/rho)^2 eps. Used where the
// disk magnification is differenced (limb-darkened sources).
Fallible witt_mao_carlson_kernel(double u, double rho);

// One magnification per separation l (in source radii); re and rstar in one
// common unit.
Outcome<std::vector<double>> witt_mao_magnification(std::vector<double> l, double re, double rstar);

}  // namespace magnifex
