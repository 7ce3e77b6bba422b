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

// For a double or a vector of doubles (GCC's vector extension): the same
// operations, lane by lane, in the same order. Internal linkage: the units
// compiled for a wider instruction set (models/isa/) include it too.
namespace {

template <class T>
[[gnu::always_inline]] inline void sincos_small(const T& x, T& s, T& c) {
    using sincos_detail::kCos;
    using sincos_detail::kSin;
    const T x2 = x * x;
    T ps = x2 * kSin[8] + kSin[7];
    ps = ps * x2 + kSin[6];
    ps = ps * x2 + kSin[5];
    ps = ps * x2 + kSin[4];
    ps = ps * x2 + kSin[3];
    ps = ps * x2 + kSin[2];
    ps = ps * x2 + kSin[1];
    ps = ps * x2 + kSin[0];
    T pc = x2 * kCos[9] + kCos[8];
    pc = pc * x2 + kCos[7];
    pc = pc * x2 + kCos[6];
    pc = pc * x2 + kCos[5];
    pc = pc * x2 + kCos[4];
    pc = pc * x2 + kCos[3];
    pc = pc * x2 + kCos[2];
    pc = pc * x2 + kCos[1];
    pc = pc * x2 + kCos[0];
    s = x * ps;
    c = pc;
}

}  // namespace

}  // namespace magnifex
