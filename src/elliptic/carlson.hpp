// Carlson's symmetric elliptic integrals (B. C. Carlson, "Numerical computation
// of real or complex elliptic integrals", Numer. Algorithms 10 (1995) 13-26;
// DLMF 19.16, 19.36):
//   RF(x, y, z)    = 1/2 int_0^inf dt / sqrt((t+x)(t+y)(t+z))
//   RC(x, y)       = 1/2 int_0^inf dt / (sqrt(t+x) (t+y))        (p.v. for y < 0)
//   RD(x, y, z)    = 3/2 int_0^inf dt / (sqrt((t+x)(t+y)(t+z)) (t+z))
//   RJ(x, y, z, p) = 3/2 int_0^inf dt / (sqrt((t+x)(t+y)(t+z)) (t+p)) (p.v. for p < 0)
// Each returns its value or a numeric failure with a fixed message.
#pragma once

#include "elliptic/fallible.hpp"

namespace magnifex {

Fallible elliprf(double x, double y, double z);
Fallible elliprc(double x, double y);
Fallible elliprd(double x, double y, double z);
Fallible elliprj(double x, double y, double z, double p);
// The duplication of RJ alone: no argument checks, no closed forms.
Fallible _elliprj(double x, double y, double z, double p);

}  // namespace magnifex
