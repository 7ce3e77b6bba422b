// A point-lens light curve of a limb-darkened source: at each epoch t the
// lens-source separation in Einstein radii (Paczynski 1986)
//   u(t) = sqrt(tau^2 + u0^2),  tau = (t - t0)/tE,
// and the magnification of LimbDarkenedSource::magnify at u(t). The Jacobian
// columns are d/dt0, d/du0, d/dtE, d/drho, d/dc_1 .. d/dc_k, from dA/du by
//   du/dt0 = -tau/(tE u),  du/du0 = u0/u,  du/dtE = -tau^2/(tE u),
// where 0 times an infinite slope (the lens on a limb of non-zero
// brightness at the closest approach, du/dt0 = 0) is 0: A is flat in t there.
#pragma once

#include <span>

#include "models/magnification.hpp"

namespace magnifex {

// value[band * t.size() + i] and, for a source prepared with a gradient,
// jacobian[(band * t.size() + i) * (jacobian_width() + 2) + j]. t0, u0 finite,
// tE finite and > 0, rho finite and >= 0; a NaN epoch gives NaN.
void light_curve(const LimbDarkenedSource& source, std::span<const double> t, double t0, double u0, double te,
                 double rho, double* value, double* jacobian);

}  // namespace magnifex
