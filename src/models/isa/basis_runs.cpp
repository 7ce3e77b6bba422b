// The basis runs for one instruction set: this file is compiled once per ISA
// (CMakeLists.txt), MAGNIFEX_ISA_NAME naming the functions and
// MAGNIFEX_ISA_LANES giving the width. The lane headers have internal
// linkage and use builtins only, so nothing compiled here for a wider ISA is
// shared with the baseline units.
#include "models/basis_runs.hpp"

#if MAGNIFEX_ISA_LANES == 8
#include "elliptic/lanes_avx512.hpp"
#elif MAGNIFEX_ISA_LANES == 4
#include "elliptic/lanes_avx2.hpp"
#else
#include "elliptic/lanes_sse2.hpp"
#endif

#include "numerics/exp_nonpositive.hpp"
#include "numerics/expm1_unit.hpp"
#include "numerics/log_unit.hpp"

#define MAGNIFEX_JOIN(name, isa) name##_##isa
#define MAGNIFEX_NAMED(name, isa) MAGNIFEX_JOIN(name, isa)
#define MAGNIFEX_RUN(name) MAGNIFEX_NAMED(name, MAGNIFEX_ISA_NAME)

namespace magnifex::basis_runs {

namespace {

typedef double Lanes __attribute__((vector_size(8 * MAGNIFEX_ISA_LANES)));
constexpr unsigned long kWidth = MAGNIFEX_ISA_LANES;

// f on every full vector of in[0..n), then on the rest padded with `pad`.
template <class F>
inline void for_each_vector(const double* in, double* out, unsigned long n, double pad, F f) {
    unsigned long i = 0;
    for (; i + kWidth <= n; i += kWidth) {
        Lanes v;
        __builtin_memcpy(&v, in + i, sizeof v);
        const Lanes r = f(v);
        __builtin_memcpy(out + i, &r, sizeof r);
    }
    if (i == n) return;
    Lanes v;
    for (unsigned long j = 0; j < kWidth; ++j) v[j] = i + j < n ? in[i + j] : pad;
    const Lanes r = f(v);
    for (unsigned long j = 0; i + j < n; ++j) out[i + j] = r[j];
}

}  // namespace

void MAGNIFEX_RUN(log_run)(const double* x, double* out, unsigned long n) {
    for_each_vector(x, out, n, 1.0, [](const Lanes& v) { return log_unit(v); });
}

void MAGNIFEX_RUN(sqrt_run)(const double* x, double* out, unsigned long n) {
    for_each_vector(x, out, n, 1.0, [](const Lanes& v) { return lanes::lane_sqrt(v); });
}

void MAGNIFEX_RUN(expm1_run)(const double* x, double* out, unsigned long n) {
    for_each_vector(x, out, n, 0.0, [](const Lanes& v) { return expm1_unit(v); });
}

void MAGNIFEX_RUN(power_run)(double gamma, const double* log_x, double* out, unsigned long n) {
    for_each_vector(log_x, out, n, 0.0, [gamma](const Lanes& v) { return exp_nonpositive(v * gamma); });
}

}  // namespace magnifex::basis_runs
