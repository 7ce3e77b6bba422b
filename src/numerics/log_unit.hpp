// ln x for normal 0 < x <= 1 (a source's mu at its nodes), for a double or a
// vector of doubles (GCC's vector extension, lane by lane the same
// operations).
//
// x = m 2^e with m in [sqrt(1/2), sqrt(2)) from the bits; ln m =
// 2 atanh(s) = 2 (s + s^3/3 + s^5/5 + ...), s = (m - 1)/(m + 1), |s| <= 0.1716
// (DLMF 4.6.4), to s^23 (the next term is below 1e-18 of the sum); then
// e ln 2 + ln m with ln 2 in two parts (Cody & Waite 1980, ch. 5). Within
// 2.5 ulps of ln x (2.34 measured, where e ln 2 and ln m nearly cancel;
// tests/cpp/test_log_unit.cpp). Zero and subnormal x are the caller's to
// avoid.
#pragma once

#include <array>
#include <cstdint>

#include "numerics/split_horner.hpp"

namespace magnifex {
namespace {

namespace log_detail {

constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 0x3fe62e42fee00000
constexpr double kLn2Lo = 1.90821492927058770002e-10;  // 0x3dea39ef35793c76
constexpr double kSqrtHalf = 0.7071067811865476;

constexpr double odd_reciprocal(int k) { return 2.0 / double(2 * k + 1); }

// 2/(2k + 1), k = 0 .. 11
inline constexpr std::array<double, 12> kSeries{
    odd_reciprocal(0), odd_reciprocal(1), odd_reciprocal(2), odd_reciprocal(3), odd_reciprocal(4),  odd_reciprocal(5),
    odd_reciprocal(6), odd_reciprocal(7), odd_reciprocal(8), odd_reciprocal(9), odd_reciprocal(10), odd_reciprocal(11)};

constexpr std::uint64_t kMantissa = 0x000fffffffffffffULL;
constexpr std::uint64_t kOne = 0x3ff0000000000000ULL;

// The unbiased exponent e and the significand m in [1, 2) of normal x; e
// through the double 1.5 2^52 + e, whose low bits hold it (no integer
// conversion instruction needed on any width).
constexpr std::uint64_t kRoundBits = 0x4338000000000000ULL;  // 1.5 * 2^52
constexpr double kRound = 6755399441055744.0;

template <class T>
void split(const T& x, T& e, T& m) {
    if constexpr (sizeof(T) == sizeof(double)) {
        const std::uint64_t bits = __builtin_bit_cast(std::uint64_t, x);
        e = __builtin_bit_cast(double, (bits >> 52) + (kRoundBits - 1023)) - kRound;
        m = __builtin_bit_cast(double, (bits & kMantissa) | kOne);
    } else {
        typedef std::uint64_t Integers __attribute__((vector_size(sizeof(T))));
        Integers bits;
        __builtin_memcpy(&bits, &x, sizeof bits);
        const Integers biased = (bits >> 52) + (kRoundBits - 1023);
        __builtin_memcpy(&e, &biased, sizeof e);
        e = e - kRound;
        const Integers significand = (bits & kMantissa) | kOne;
        __builtin_memcpy(&m, &significand, sizeof m);
    }
}

}  // namespace log_detail

template <class T>
[[gnu::always_inline]] inline T log_unit(const T& x) {
    using namespace log_detail;
    T e, m;
    split(x, e, m);
    // m in [sqrt(1/2), sqrt(2)): halve the larger significands (exactly)
    const auto large = m > 2.0 * kSqrtHalf;
    m = large ? m * 0.5 : m;
    e = large ? e + 1.0 : e;
    const T s = (m - 1.0) / (m + 1.0);
    const T s2 = s * s;
    // p = (t s^2 + 2/3) s^2 + 2, its last two steps by Horner's rule, t =
    // sum_{k>=2} (2/(2k+1)) s^(2k-4) by its even and odd powers of s^2
    // (split_horner.hpp): recurrences of 7 steps, not 11 (t's own rounding
    // enters scaled by s^4 < 1e-3).
    T p = split_horner<2>(s2, kSeries);
    p = p * s2 + kSeries[1];
    p = p * s2 + kSeries[0];
    return e * kLn2Hi + (e * kLn2Lo + s * p);
}

}  // namespace
}  // namespace magnifex
