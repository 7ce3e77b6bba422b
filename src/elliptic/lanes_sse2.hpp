// The lane type of the baseline kernels (2 doubles a vector: SSE2 on x86-64,
// GCC's generic vectors elsewhere) and its square root, for kernels written
// over lanes (elliptic/lanes.hpp). Include it before the kernels that
// instantiate it.
#pragma once

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace magnifex::lanes {
namespace {
typedef double Lanes2 __attribute__((vector_size(2 * sizeof(double))));
#if defined(__x86_64__)
inline Lanes2 lane_sqrt(Lanes2 x) { return _mm_sqrt_pd(x); }
// Whether both lanes of a comparison's mask are set, from their sign bits.
using LaneMask2 = decltype(Lanes2{} < Lanes2{});
inline bool all_of(LaneMask2 m) { return _mm_movemask_pd((__m128d)m) == 0x3; }
#else
inline Lanes2 lane_sqrt(Lanes2 x) { return Lanes2{__builtin_sqrt(x[0]), __builtin_sqrt(x[1])}; }
#endif
}  // namespace
}  // namespace magnifex::lanes
