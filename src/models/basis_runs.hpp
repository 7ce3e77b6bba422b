// The basis profiles' logarithms, powers and exponentials at a source's
// nodes over SIMD lanes, compiled once per instruction set from one source
// (models/isa/basis_runs.cpp; CMake builds it with -mavx2, -mavx512f or the
// baseline flags and names the functions by their ISA). Each lane is bit for
// bit the one-lane form (numerics/log_unit.hpp, numerics/exp_nonpositive.hpp,
// numerics/expm1_unit.hpp), so the width changes no result.
#pragma once

namespace magnifex::basis_runs {

#define MAGNIFEX_DECLARE_RUNS(isa)                                                      \
    /* out[i] = ln x[i], normal 0 < x[i] <= 1 */                                          \
    void log_run_##isa(const double* x, double* out, unsigned long n);                    \
    /* out[i] = e^(gamma log_x[i]), gamma log_x[i] <= 0 */                               \
    void power_run_##isa(double gamma, const double* log_x, double* out, unsigned long n); \
    /* out[i] = sqrt(x[i]), correctly rounded, x[i] >= 0 */                               \
    void sqrt_run_##isa(const double* x, double* out, unsigned long n);                   \
    /* out[i] = e^x[i] - 1, 0 <= x[i] <= 1 */                                             \
    void expm1_run_##isa(const double* x, double* out, unsigned long n);
MAGNIFEX_DECLARE_RUNS(sse2)
MAGNIFEX_DECLARE_RUNS(avx2)
MAGNIFEX_DECLARE_RUNS(avx512)
#undef MAGNIFEX_DECLARE_RUNS

}  // namespace magnifex::basis_runs
