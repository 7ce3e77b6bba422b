// Magnification of a thin uniform ring concentric with the source
// (D. Heyrovsky 2003, ApJ 594, 464).
#pragma once

#include "models/outcome.hpp"

namespace magnifex {

// l = separation, r = ring radius, both in source radii; re and rstar in one
// common unit.
Outcome<double> heyrovsky_magnification(double l, double r, double re, double rstar);

}  // namespace magnifex
