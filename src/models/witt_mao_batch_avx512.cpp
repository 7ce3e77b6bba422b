// The batched uniform disk for CPUs with AVX512F: 8 doubles a vector. Chosen at run
// time (witt_mao.cpp); only builtins and intrinsics here, see witt_mao_lanes.hpp.
#include "models/witt_mao_batch.hpp"

#if defined(__x86_64__)
#pragma GCC target("avx512f")
#include <immintrin.h>

namespace magnifex::lanes {
namespace {
typedef double Lanes __attribute__((vector_size(8 * sizeof(double))));
// The masked builtin with x as its pass-through: _mm512_sqrt_pd passes an
// undefined vector, which GCC 12 reports as uninitialised.
inline Lanes lane_sqrt(Lanes x) { return __builtin_ia32_sqrtpd512_mask(x, x, static_cast<__mmask8>(-1), _MM_FROUND_CUR_DIRECTION); }
}  // namespace
}  // namespace magnifex::lanes

#include "models/witt_mao_lanes.hpp"

namespace magnifex::disk_batch {

unsigned long disk_run_avx512(const double* l, unsigned long n, double rho, double* out) {
    return lanes::disk_run<lanes::Lanes, 8>(l, n, rho, out);
}

}  // namespace magnifex::disk_batch

#else
// Not x86-64: never chosen; does nothing, so the scalar kernel does all.
namespace magnifex::disk_batch {

unsigned long disk_run_avx512(const double*, unsigned long, double, double*) { return 0; }

}  // namespace magnifex::disk_batch
#endif
