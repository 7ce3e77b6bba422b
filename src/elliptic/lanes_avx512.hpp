// The lane type of the AVX-512 kernels (8 doubles a vector) and its square root,
// for kernels written over lanes (elliptic/lanes.hpp). Include it only in a
// translation unit compiled for AVX-512 (after `#pragma GCC target("avx512f")`), and
// before the kernels that instantiate it.
#pragma once

#include <immintrin.h>

namespace magnifex::lanes {
namespace {
typedef double Lanes __attribute__((vector_size(8 * sizeof(double))));
// The masked builtin with x as its pass-through: _mm512_sqrt_pd passes an
// undefined vector, which GCC 12 reports as uninitialised.
inline Lanes lane_sqrt(Lanes x) { return __builtin_ia32_sqrtpd512_mask(x, x, static_cast<__mmask8>(-1), _MM_FROUND_CUR_DIRECTION); }
// Whether every lane of a comparison's mask is set, from the mask register
// of one test rather than a loop over the lanes.
using LaneMask = decltype(Lanes{} < Lanes{});
inline bool all_of(LaneMask m) { return _mm512_test_epi64_mask((__m512i)m, (__m512i)m) == 0xFF; }
}  // namespace
}  // namespace magnifex::lanes
