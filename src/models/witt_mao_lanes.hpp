// Uniform-disk kernels written once over their number type: a double, or a
// GCC vector of doubles whose lanes are independent separations. Branches are
// masks (select); within each lane the operations are those of the scalar
// case, in the same order.
//
// A translation unit that includes this header first defines, for every
// vector type V it uses, lane_sqrt(V) and the mask type of V's comparisons;
// the double versions are here. Only builtins are used, no library calls, so
// that a unit compiled for AVX2 or AVX-512 shares no out-of-line code with the
// baseline units.
#pragma once

#include "models/witt_mao_multipole.hpp"

namespace magnifex::disk_lanes {
// Internal linkage: each instruction set's unit keeps its own copies.
namespace {

inline double lane_sqrt(double x) { return __builtin_sqrt(x); }
inline double select(bool m, double a, double b) { return m ? a : b; }
inline bool all_of(bool m) { return m; }

template <class M, class V>
inline V select(M m, V a, V b) {
    return m ? a : b;
}

template <class M>
inline bool all_of(M m) {
    for (unsigned i = 0; i < sizeof(M) / sizeof(m[0]); ++i) {
        if (!m[i]) return false;
    }
    return true;
}

// u/rho from which the multipole expansion is used. At 4 its terms fall by
// 1/16 each (16 terms reach 1e-19), and the Carlson form below it loses at
// most a few ulps to its O(rho/u) bracket.
constexpr double kMultipoleRatio = 4.0;
// The expansion stops once the next term, bounded by (k+2)/8 (rho/u)^{2k+2}
// relative to the point-source value, is below 2^-56.
constexpr double kMultipoleStop = 1.3877787807814457e-17 * 4.0;

// Mean of the point-source magnification over the disk, for u >= 4 rho > 0:
//   A = [ (1+t)/2 + (1-t)^2 sum_k (rho/u)^{2k} g_k(t) ] / sqrt(t),
// t = u^2/(u^2+4), 1 - t = 4/(u^2+4) (tools/gen_disk_multipole.py). The k = 0
// term is the point-source magnification (u^2+2)/(u sqrt(u^2+4)). For u <= 1,
// sqrt(t) = u/sqrt(u^2+4) (u^2 may underflow); above, t = 1/(1 + 4/u^2)
// (u^2 may overflow: t = 1, A = 1). All lanes take the same number of terms,
// enough for the lane with the largest rho/u. Not below 1 (a mean of values
// >= 1).
template <class V>
inline V multipole(V u, V rho) {
    const V u2 = u * u;
    const V q = lane_sqrt(u2 + 4.0);
    const V z = 4.0 / u2;
    const V t_large = 1.0 / (1.0 + z);
    const auto small = u <= 1.0;
    const V sqrt_t_small = u / q;
    const V sqrt_t = select(small, sqrt_t_small, lane_sqrt(t_large));
    const V t = select(small, sqrt_t_small * sqrt_t_small, t_large);
    const V s = select(small, 4.0 / (q * q), z * t_large);

    const V ratio = rho / u;
    const V r = ratio * ratio;
    V sum = 0.0 * r;
    V rk = 1.0 + sum;
    for (int k = 0; k < disk_multipole::kTerms; ++k) {
        rk = rk * r;
        const double* g = disk_multipole::kDiskMultipole[k];
        V term = g[disk_multipole::kDegree[k]] + 0.0 * t;
        for (int i = disk_multipole::kDegree[k] - 1; i >= 0; --i) term = term * t + g[i];
        sum = sum + rk * term;
        if (all_of(rk * r * (k + 3.0) < kMultipoleStop)) break;
    }
    const V a = ((1.0 + t) * 0.5 + (s * s) * sum) / sqrt_t;
    return select(a < 1.0, 1.0 + 0.0 * a, a);
}

constexpr double kMax = 1.7976931348623157e308;

// Multipole magnifications out[i] of the separations l[i] * rho for the leading
// chunks of W lanes that lie wholly in the multipole range (rho > 0 finite);
// returns how many separations it did, a multiple of W.
template <class V, unsigned W>
inline unsigned long multipole_run(const double* l, unsigned long n, double rho, double* out) {
    static_assert(sizeof(V) == W * sizeof(double));
    unsigned long i = 0;
    for (; i + W <= n; i += W) {
        V lv;
        __builtin_memcpy(&lv, l + i, sizeof lv);
        const V u = lv * rho;
        if (!all_of((u >= kMultipoleRatio * rho) & (u <= kMax))) break;
        const V a = multipole(u, rho + 0.0 * u);
        __builtin_memcpy(out + i, &a, sizeof a);
    }
    return i;
}

}  // namespace
}  // namespace magnifex::disk_lanes
