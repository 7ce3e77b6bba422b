// The lane type of the AVX2 kernels (4 doubles a vector) and its square root,
// for kernels written over lanes (elliptic/lanes.hpp). Include it only in a
// translation unit compiled for AVX2 (after `#pragma GCC target("avx2")`), and
// before the kernels that instantiate it.
#pragma once

#include <immintrin.h>

namespace magnifex::lanes {
namespace {
typedef double Lanes __attribute__((vector_size(4 * sizeof(double))));
inline Lanes lane_sqrt(Lanes x) { return _mm256_sqrt_pd(x); }
// Whether every lane of a comparison's mask is set, from the lanes' sign bits
// at once rather than a loop over the lanes.
using LaneMask = decltype(Lanes{} < Lanes{});
inline bool all_of(LaneMask m) { return _mm256_movemask_pd((__m256d)m) == 0xF; }
}  // namespace
}  // namespace magnifex::lanes
