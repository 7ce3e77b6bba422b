// A polynomial's tail sum_{k >= from} c[k] y^(k - from) by its even and odd
// powers, E(y^2) + y O(y^2), each by Horner's rule in y^2: two independent
// recurrences of half the length, for a double or a vector of doubles
// (lane by lane the same operations). For the short runs of a source's nodes,
// where one recurrence's latency, not the arithmetic, sets the time.
#pragma once

#include <array>
#include <cstddef>

namespace magnifex {
namespace {

template <std::size_t From, class T, std::size_t N>
[[gnu::always_inline]] inline T split_horner(const T& y, const std::array<double, N>& c) {
    static_assert(N >= From + 4, "two terms in each half at least");
    constexpr std::size_t kLast = N - 1;
    // the highest even and odd offsets from `From`
    constexpr std::size_t kEven = (kLast - From) % 2 == 0 ? kLast : kLast - 1;
    constexpr std::size_t kOdd = (kLast - From) % 2 == 1 ? kLast : kLast - 1;
    const T y2 = y * y;
    T even = y2 * c[kEven] + c[kEven - 2];
    T odd = y2 * c[kOdd] + c[kOdd - 2];
    for (std::size_t k = kEven - 2; k >= From + 2; k -= 2) even = even * y2 + c[k - 2];
    for (std::size_t k = kOdd - 2; k >= From + 3; k -= 2) odd = odd * y2 + c[k - 2];
    return even + y * odd;
}

}  // namespace
}  // namespace magnifex
