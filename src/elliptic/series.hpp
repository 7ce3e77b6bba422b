// Polynomial evaluations shared by the elliptic routines: Horner's rule for the
// coefficient tables of K and E, and the seventh-order series that closes the
// duplication of RD and RJ.
#pragma once

#include <cstddef>

namespace magnifex::elliptic_detail {

// Horner's rule from the first (highest-degree) coefficient:
// acc = c[0], then acc = acc * x + c[i] for each following coefficient.
template <std::size_t N>
inline double horner(const double (&c)[N], double x) {
    double acc = c[0];
    for (std::size_t i = 1; i < N; ++i) acc = acc * x + c[i];
    return acc;
}

// The seventh-order Taylor series of RD and RJ (Carlson 1995, Numer.
// Algorithms 10, sec. 2; DLMF 19.36.2 and its RJ analogue): with E2..E5 the
// elementary symmetric functions of the scaled deviations,
//   T = 1 - 3E2/14 + E3/6 + 9E2^2/88 - 3E4/22 - 9E2E3/52 + 3E5/26 - E2^3/16
//         + 3E3^2/40 + 3E2E4/20 + 45E2^2E3/272 - 9(E3E4 + E2E5)/68,
// summed left to right in exactly this order, so that RD and RJ round alike.
inline double carlson_series7(double e2, double e3, double e4, double e5) {
    double t = 1.0;
    t = t - 3.0 * e2 / 14.0;
    t = t + e3 / 6.0;
    t = t + 9.0 * (e2 * e2) / 88.0;
    t = t - 3.0 * e4 / 22.0;
    t = t - 9.0 * (e2 * e3) / 52.0;
    t = t + 3.0 * e5 / 26.0;
    t = t - (e2 * e2 * e2) / 16.0;
    t = t + 3.0 * (e3 * e3) / 40.0;
    t = t + 3.0 * (e2 * e4) / 20.0;
    t = t + 45.0 * (e2 * e2 * e3) / 272.0;
    t = t - 9.0 * (e3 * e4 + e2 * e5) / 68.0;
    return t;
}

}  // namespace magnifex::elliptic_detail
