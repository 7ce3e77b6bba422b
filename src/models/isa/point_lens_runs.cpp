// The batched ring kernels for one instruction set: this file is compiled
// once per ISA (CMakeLists.txt), MAGNIFEX_ISA_NAME naming the functions and
// MAGNIFEX_ISA_LANES giving the width: 2 (baseline: SSE2 on x86-64, generic
// vectors elsewhere), 4 (-mavx2) or 8 (-mavx512f). Only
// the lane headers' builtins and internal-linkage code live here, so nothing
// compiled for a wider ISA is shared with, or chosen by the linker for, the
// baseline units.
#include "models/point_lens_runs.hpp"

#if MAGNIFEX_ISA_LANES == 8
#include "elliptic/lanes_avx512.hpp"
namespace magnifex::lanes { namespace { using IsaLanes = Lanes; } }
#elif MAGNIFEX_ISA_LANES == 4
#include "elliptic/lanes_avx2.hpp"
namespace magnifex::lanes { namespace { using IsaLanes = Lanes; } }
#else
#include "elliptic/lanes_sse2.hpp"
namespace magnifex::lanes { namespace { using IsaLanes = Lanes2; } }
#endif
// name_<isa>: the function's name for this build of the file.
#define MAGNIFEX_JOIN(name, isa) name##_##isa
#define MAGNIFEX_NAMED(name, isa) MAGNIFEX_JOIN(name, isa)
#define MAGNIFEX_RUN(name) MAGNIFEX_NAMED(name, MAGNIFEX_ISA_NAME)

#include "models/heyrovsky_lanes.hpp"
#include "models/ring_gradient_lanes.hpp"

namespace magnifex::point_lens_runs {

namespace {

constexpr unsigned kWidth = sizeof(lanes::IsaLanes) / sizeof(double);
constexpr double kInfinity = __builtin_inf();

// Whether rings are in the lane kernels' domain: one ring (a double), or a
// vector of them (a mask, lane by lane the one-ring test).
template <class T>
inline auto in_domain(const T& r, const T& delta) {
    return (r > 0.0) & (r < kInfinity) & (delta != 0.0) & (delta - delta == 0.0);
}

// Runs `lanes_of(r_v, delta_v, i, m, valid)` on each vector of W rings whose
// valid lanes it computes (unused lanes repeat a valid ring; valid is null
// when all W are rings in the domain) and `one(j)` on each ring outside the
// domain.
template <class Lanes, class One>
inline void for_each_vector(const double* r, const double* delta, unsigned long n, Lanes lanes_of, One one) {
    for (unsigned long i = 0; i < n; i += kWidth) {
        if (i + kWidth <= n) {
            // A full vector whose rings are all in the domain (in_domain lane
            // by lane, the usual case): loaded as it stands.
            lanes::IsaLanes r_v, d_v;
            __builtin_memcpy(&r_v, r + i, sizeof r_v);
            __builtin_memcpy(&d_v, delta + i, sizeof d_v);
            if (lanes::all_of(in_domain(r_v, d_v))) {
                lanes_of(r_v, d_v, i, kWidth, nullptr);
                continue;
            }
        }
        // A partial vector, or some ring outside the domain.
        const unsigned long m = n - i < kWidth ? n - i : kWidth;
        bool valid[kWidth];
        unsigned long fill = kWidth;
        for (unsigned long j = 0; j < m; ++j) {
            valid[j] = in_domain(r[i + j], delta[i + j]);
            if (valid[j] && fill == kWidth) fill = j;
        }
        if (fill != kWidth) {
            lanes::IsaLanes r_v = lanes::splat(0.0, lanes::IsaLanes{}), d_v = r_v;
            for (unsigned long j = 0; j < kWidth; ++j) {
                const unsigned long k = j < m && valid[j] ? j : fill;
                r_v[j] = r[i + k];
                d_v[j] = delta[i + k];
            }
            lanes_of(r_v, d_v, i, m, valid);
        }
        for (unsigned long j = 0; j < m; ++j) {
            if (fill == kWidth || !valid[j]) one(i + j);
        }
    }
}

}  // namespace

void MAGNIFEX_RUN(ring_run)(double u, const double* r, const double* delta, unsigned long n, double* a,
                            RingScalar scalar) {
    const lanes::IsaLanes u_v = lanes::splat(u, lanes::IsaLanes{});
    const lanes::IsaLanes one = lanes::splat(1.0, lanes::IsaLanes{});
    for_each_vector(
        r, delta, n,
        [&](lanes::IsaLanes r_v, lanes::IsaLanes d_v, unsigned long i, unsigned long m, const bool* valid) {
            const lanes::IsaLanes v = lanes::ring_average_delta<lanes::IsaLanes, true>(u_v, r_v, d_v, one);
            if (valid == nullptr) {
                __builtin_memcpy(a + i, &v, sizeof v);
                return;
            }
            for (unsigned long j = 0; j < m; ++j) {
                if (valid[j]) a[i + j] = v[j];
            }
        },
        [&](unsigned long k) { a[k] = scalar(u, r[k], delta[k]); });
}

void MAGNIFEX_RUN(ring_gradient_run)(double u, const double* r, const double* delta, unsigned long n, double* a,
                                     double* a_u, double* a_r, RingGradientScalar scalar) {
    const lanes::IsaLanes u_v = lanes::splat(u, lanes::IsaLanes{});
    for_each_vector(
        r, delta, n,
        [&](lanes::IsaLanes r_v, lanes::IsaLanes d_v, unsigned long i, unsigned long m, const bool* valid) {
            const lanes::RingGradient<lanes::IsaLanes> g = lanes::ring_gradient_delta<lanes::IsaLanes, true>(u_v, r_v, d_v);
            if (valid == nullptr) {
                __builtin_memcpy(a + i, &g.a, sizeof g.a);
                __builtin_memcpy(a_u + i, &g.da_du, sizeof g.da_du);
                __builtin_memcpy(a_r + i, &g.da_dr, sizeof g.da_dr);
                return;
            }
            for (unsigned long j = 0; j < m; ++j) {
                if (!valid[j]) continue;
                a[i + j] = g.a[j];
                a_u[i + j] = g.da_du[j];
                a_r[i + j] = g.da_dr[j];
            }
        },
        [&](unsigned long k) { scalar(u, r[k], delta[k], a + k, a_u + k, a_r + k); });
}

}  // namespace magnifex::point_lens_runs
