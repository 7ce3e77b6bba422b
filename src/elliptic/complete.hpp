// Complete elliptic integrals in the parameter convention (m = k^2, DLMF 19.2.8):
//   K(m)    = int_0^{pi/2} dt / sqrt(1 - m sin^2 t)
//   E(m)    = int_0^{pi/2} sqrt(1 - m sin^2 t) dt
//   Pi(n,m) = int_0^{pi/2} dt / ((1 - n sin^2 t) sqrt(1 - m sin^2 t))
#pragma once

#include "elliptic/fallible.hpp"

namespace magnifex {

Fallible ellipk(double m);
Fallible ellipe(double m);
Fallible ellippi(double n, double m);

}  // namespace magnifex
