// The batched uniform disk for CPUs with AVX512F: 8 doubles a vector. Chosen at run
// time (witt_mao.cpp); only builtins and intrinsics here, see witt_mao_lanes.hpp.
#include "models/witt_mao_batch.hpp"

#if defined(__x86_64__)
#pragma GCC target("avx512f")
#include "elliptic/lanes_avx512.hpp"

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
