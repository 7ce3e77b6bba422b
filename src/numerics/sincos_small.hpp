// sin x and cos x for 0 <= x <= pi/4 by their Taylor series (DLMF 4.6.1,
// 4.6.2) to x^17 and x^18, whose next terms are below 1e-19 of the sums
// there: the polynomial in x^2 by Horner's rule, within an ulp of the
// correctly rounded values (tests/cpp/test_sincos_small.cpp), without the
// branches and the argument reduction of the library's sincos, for the many
// half-angles of a source integral's nodes.
#pragma once

#include <array>

namespace magnifex {

namespace sincos_detail {

// (-1)^m / n!, exact in double for n <= 18 (a quotient of two exact doubles).
constexpr double term(int n) {
    double f = 1.0;
    for (int k = 2; k <= n; ++k) f *= k;
    return ((n / 2) % 2 == 0 ? 1.0 : -1.0) / f;
}

// sin: x (s0 + s1 x^2 + ... + s8 x^16); cos: c0 + c1 x^2 + ... + c9 x^18.
inline constexpr std::array<double, 9> kSin{term(1),  term(3),  term(5),  term(7), term(9),
                                            term(11), term(13), term(15), term(17)};
inline constexpr std::array<double, 10> kCos{term(0),  term(2),  term(4),  term(6),  term(8),
                                             term(10), term(12), term(14), term(16), term(18)};

}  // namespace sincos_detail

inline void sincos_small(double x, double& s, double& c) {
    using sincos_detail::kCos;
    using sincos_detail::kSin;
    const double x2 = x * x;
    double ps = kSin[8];
    for (int k = 7; k >= 0; --k) ps = ps * x2 + kSin[k];
    double pc = kCos[9];
    for (int k = 8; k >= 0; --k) pc = pc * x2 + kCos[k];
    s = x * ps;
    c = pc;
}

}  // namespace magnifex
