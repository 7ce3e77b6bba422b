// The point-source magnification of a point lens at separation u (Einstein
// radii), A0(u) = (u^2 + 2)/(u sqrt(u^2 + 4)) (Paczynski 1986, ApJ 304, 1),
// and its slope dA0/du = -8/(u^2 (u^2 + 4)^(3/2)); for u > 1 in powers of
// 1/u, so that u^2 cannot overflow.
#pragma once

#include <cmath>

namespace magnifex {

inline double point_source(double u) {
    if (u > 1.0) {
        const double t = 1.0 / u;
        const double t2 = t * t;
        return (1.0 + 2.0 * t2) / std::sqrt(1.0 + 4.0 * t2);
    }
    return (u * u + 2.0) / (u * std::sqrt(u * u + 4.0));
}

inline double point_source_slope(double u) {
    if (u > 1.0) {
        const double t = 1.0 / u;
        const double s = 1.0 + 4.0 * (t * t);
        return -8.0 * ((t * t) * (t * t)) * t / (s * std::sqrt(s));
    }
    const double s = u * u + 4.0;
    return -8.0 / ((u * u) * (s * std::sqrt(s)));
}

}  // namespace magnifex
