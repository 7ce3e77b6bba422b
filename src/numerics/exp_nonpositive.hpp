// e^y for y <= 0 (and y = -inf), for a double or a vector of doubles (GCC's
// vector extension, lane by lane the same operations), for the powers
// mu^gamma = e^(gamma ln mu) of a source's many nodes without a library call
// per node and power.
//
// Cody & Waite's reduction (Cody & Waite 1980, Software Manual for the
// Elementary Functions, ch. 6): k = nearest integer to y/ln 2, r = y - k ln 2
// with ln 2 in two parts (the first with 32 significant bits, so k ln2_hi is
// exact for |k| < 2^21), |r| <= ln(2)/2; e^r by its Taylor polynomial to r^13
// (DLMF 4.2.19; the next term is below 5e-18 of the sum there), its last
// two steps by Horner's rule (below); then 2^k as two normal powers of two,
// so that a subnormal result is rounded once. Within 1.5 ulps of e^y (1.14
// measured; tests/cpp/test_exp_nonpositive.cpp).
#pragma once

#include <array>
#include <cstdint>

#include "numerics/split_horner.hpp"

namespace magnifex {
namespace {

namespace exp_detail {

constexpr double inverse_factorial(int n) {
    double f = 1.0;
    for (int k = 2; k <= n; ++k) f *= k;
    return 1.0 / f;
}

inline constexpr std::array<double, 14> kTaylor{
    inverse_factorial(0),  inverse_factorial(1),  inverse_factorial(2),  inverse_factorial(3), inverse_factorial(4),
    inverse_factorial(5),  inverse_factorial(6),  inverse_factorial(7),  inverse_factorial(8), inverse_factorial(9),
    inverse_factorial(10), inverse_factorial(11), inverse_factorial(12), inverse_factorial(13)};

constexpr double kInverseLn2 = 1.4426950408889634;
constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 0x3fe62e42fee00000
constexpr double kLn2Lo = 1.90821492927058770002e-10;  // 0x3dea39ef35793c76
constexpr double kRound = 6755399441055744.0;          // 1.5 * 2^52: adding it rounds to an integer
// Below this e^y rounds to 0 (e^-745.14 is half the least subnormal).
constexpr double kFloor = -746.0;

// 2^j for integer-valued -1022 <= j <= 0 held in a double (or its lanes):
// the low bits of 1.5 2^52 + j hold j, moved into the exponent field (no
// integer conversion instruction needed on any width).
constexpr std::uint64_t kRoundBits = 0x4338000000000000ULL;  // 1.5 * 2^52

template <class T>
T power_of_two(const T& j) {
    const T shifted = j + kRound;
    if constexpr (sizeof(T) == sizeof(double)) {
        return __builtin_bit_cast(double, (__builtin_bit_cast(std::uint64_t, shifted) - kRoundBits + 1023) << 52);
    } else {
        typedef std::uint64_t Integers __attribute__((vector_size(sizeof(T))));
        Integers bits;
        __builtin_memcpy(&bits, &shifted, sizeof bits);
        bits = (bits - kRoundBits + 1023) << 52;
        T out;
        __builtin_memcpy(&out, &bits, sizeof out);
        return out;
    }
}

}  // namespace exp_detail

template <class T>
[[gnu::always_inline]] inline T exp_nonpositive(const T& y_in) {
    using namespace exp_detail;
    const T y = y_in < kFloor ? T{} + kFloor : y_in;
    const T k = (y * kInverseLn2 + kRound) - kRound;
    const T r = (y - k * kLn2Hi) - k * kLn2Lo;
    // The Taylor polynomial as (t r + 1) r + 1, its last two steps by
    // Horner's rule, t = sum_{k>=2} r^(k-2)/k! by its even and odd powers
    // (split_horner.hpp): recurrences of 8 steps, not 13 (t's own rounding
    // enters scaled by r^2 <= 0.12).
    T p = split_horner<2>(r, kTaylor);
    p = p * r + kTaylor[1];
    p = p * r + kTaylor[0];
    // k = k1 + k2, both in [-539, 0]: p 2^k1 is exact, the second product
    // rounds once.
    T k1 = k * 0.5;
    k1 = (k1 + kRound) - kRound;
    const T k2 = k - k1;
    return (p * power_of_two(k1)) * power_of_two(k2);
}

}  // namespace
}  // namespace magnifex
