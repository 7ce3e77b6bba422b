// Magnification of a thin uniform ring concentric with the source
// (D. Heyrovsky 2003, ApJ 594, 464).
#pragma once

#include "models/outcome.hpp"

namespace magnifex {

// l = separation, r = ring radius, both in source radii; re and rstar in one
// common unit.
Outcome<double> heyrovsky_magnification(double l, double r, double re, double rstar);

// The same ring magnification written with Carlson's integrals whose
// complementary arguments 1 - m and 1 - n are formed from (l - r)^2 directly:
// accurate to a few ulps up to the ring itself, where the form above loses
// eps ((l + r)/(l - r))^2 and needs its expansion. beta = re/rstar. NaN where
// l r < 0 (no ring average of that form) and on the ring.
double heyrovsky_carlson_kernel(double l, double r, double beta);

}  // namespace magnifex
