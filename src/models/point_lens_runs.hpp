// Batched ring kernels over SIMD lanes, compiled once per instruction set from
// one source (models/isa/point_lens_runs.cpp; CMake builds it with -mavx2,
// -mavx512f or the baseline flags and names the functions by their ISA).
// Rings r[0..n) at lens distance u, Einstein units, with delta[i] = u - r[i]
// given; lanes outside the lane kernels' domain (r not in (0, inf), delta 0 or
// not finite) go to `scalar`, the one-ring kernel compiled for the baseline.
#pragma once

namespace magnifex::point_lens_runs {

using RingScalar = double (*)(double u, double r, double delta);
using RingGradientScalar = void (*)(double u, double r, double delta, double* a, double* a_u, double* a_r);

#define MAGNIFEX_DECLARE_RUNS(isa)                                                                          \
    void ring_run_##isa(double u, const double* r, const double* delta, unsigned long n, double* a,         \
                        RingScalar scalar);                                                                 \
    void ring_gradient_run_##isa(double u, const double* r, const double* delta, unsigned long n, double* a, \
                                 double* a_u, double* a_r, RingGradientScalar scalar);
MAGNIFEX_DECLARE_RUNS(sse2)
MAGNIFEX_DECLARE_RUNS(avx2)
MAGNIFEX_DECLARE_RUNS(avx512)
#undef MAGNIFEX_DECLARE_RUNS

}  // namespace magnifex::point_lens_runs
