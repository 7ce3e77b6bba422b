// The batched ring average for CPUs with AVX2: 4 doubles a vector. Chosen at
// run time (heyrovsky.cpp); only builtins and intrinsics here, see
// heyrovsky_lanes.hpp.
#include "models/heyrovsky_batch.hpp"

#include "models/heyrovsky.hpp"

#if defined(__x86_64__)
#pragma GCC target("avx2")
#include "elliptic/lanes_avx2.hpp"

#include "models/heyrovsky_lanes.hpp"

namespace magnifex::ring_batch {

void ring_run_avx2(double l, const double* x, unsigned long n, double beta, double* out) {
    lanes::ring_run<lanes::Lanes, 4>(l, x, n, beta, out, heyrovsky_carlson_kernel);
}


}  // namespace magnifex::ring_batch

#else
// Not x86-64: never chosen; the scalar kernel does all.
namespace magnifex::ring_batch {

void ring_run_avx2(double l, const double* x, unsigned long n, double beta, double* out) {
    for (unsigned long i = 0; i < n; ++i) out[i] = heyrovsky_carlson_kernel(l, x[i], beta);
}


}  // namespace magnifex::ring_batch
#endif
