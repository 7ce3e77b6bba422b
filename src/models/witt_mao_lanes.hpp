// Uniform-disk kernels written once over their number type (a double, or a
// GCC vector of doubles whose lanes are independent separations; see
// elliptic/lanes.hpp for the rules of a unit that includes this header).
#pragma once

#include "elliptic/complete_lanes.hpp"
#include "elliptic/lanes.hpp"
#include "models/witt_mao_multipole.hpp"

namespace magnifex::lanes {
namespace {

// u/rho from which the multipole expansion is used. At 4 its terms fall by
// 1/16 each (16 terms reach 1e-19), and the Carlson form below it loses at
// most a few ulps to its O(rho/u) bracket.
constexpr double kMultipoleRatio = 4.0;
// The expansion stops once the next term, bounded by (k+2)/8 (rho/u)^{2k+2}
// relative to the point-source value, is below 2^-56.
constexpr double kMultipoleStop = 1.3877787807814457e-17 * 4.0;

// The expansion's variables at (u, rho): sqrt(t), t = u^2/(u^2+4),
// s = 1 - t = 4/(u^2+4), and r = (rho/u)^2; for u <= 1 from sqrt(t) =
// u/sqrt(u^2+4) (u^2 may underflow), above from t = 1/(1 + 4/u^2) (u^2 may
// overflow: t = 1).
template <class V>
struct MultipoleVariables {
    V sqrt_t, t, s, r;
};

template <class V>
inline MultipoleVariables<V> multipole_variables(V u, V rho) {
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
    return {sqrt_t, t, s, r};
}

// Mean of the point-source magnification over the disk, for u >= 4 rho > 0:
//   A = [ (1+t)/2 + (1-t)^2 sum_k (rho/u)^{2k} g_k(t) ] / sqrt(t),
// t = u^2/(u^2+4), 1 - t = 4/(u^2+4) (tools/gen_far_field_coefficients.py). The k = 0
// term is the point-source magnification (u^2+2)/(u sqrt(u^2+4)). For u <= 1,
// sqrt(t) = u/sqrt(u^2+4) (u^2 may underflow); above, t = 1/(1 + 4/u^2)
// (u^2 may overflow: t = 1, A = 1). All lanes take the same number of terms,
// enough for the lane with the largest rho/u; with kFreezeLanes each lane
// stops at its own term instead, bitwise the one-lane result. Not below 1 (a
// mean of values >= 1).
template <class V, bool kFreezeLanes = false>
inline V multipole(V u, V rho) {
    const auto [sqrt_t, t, s, r] = multipole_variables(u, rho);
    V sum = 0.0 * r;
    V rk = 1.0 + sum;
    [[maybe_unused]] auto done = r != r;  // no lane finished yet (r is never NaN)
    for (int k = 0; k < disk_multipole::kTerms; ++k) {
        rk = rk * r;
        const double* g = disk_multipole::kDiskMultipole[k];
        V term = g[disk_multipole::kDegree[k]] + 0.0 * t;
        for (int i = disk_multipole::kDegree[k] - 1; i >= 0; --i) term = term * t + g[i];
        if constexpr (kFreezeLanes) {
            sum = select(done, sum, sum + rk * term);
            done = done || (rk * r * (k + 3.0) < kMultipoleStop);
            if (all_of(done)) break;
        } else {
            sum = sum + rk * term;
            if (all_of(rk * r * (k + 3.0) < kMultipoleStop)) break;
        }
    }
    const V a = ((1.0 + t) * 0.5 + (s * s) * sum) / sqrt_t;
    return select(a < 1.0, 1.0 + 0.0 * a, a);
}

constexpr double kPiDisk = 3.141592653589793;

// Below this (u-rho)^2/(u+rho)^2 the lens sits on the limb to within 1e-100
// relative and the limb form is exact; the complements would underflow.
constexpr double kOnLimb = 1e-200;
// (u - rho)/(u + rho) below which the near-limb grouping is used: u < 2 rho.
constexpr double kNearLimbRatio = 1.0 / 3.0;

// The Carlson form of the Witt-Mao magnification (witt_mao.cpp derives it),
// with its integrals from complete_integrals (K = cos2 + sin2, RD = 3 sin2,
// RJ = 3 sin2_p, (c/3) RD(0,1,c) = cos2):
//   u >= 2 rho:  pi A = (2q/sigma) K + 8 (u/sigma) [ p sin2_p (1/rho + rho)/q - sin2/(rho q) ]
//   u <  2 rho:  pi A = 2/(sigma q) [ 4 cos2 + delta^2 K - 4 (delta/rho) sin2 ]
//                       + 8 (u/sigma) p sin2_p (1/rho + rho)/q
// sigma = u + rho, delta = u - rho, q = sqrt(delta^2 + 4), and the complements
//   p = 1 - n = delta^2/sigma^2,  c = 1 - m = delta^2 (4 + sigma^2)/(sigma^2 (4 + delta^2))
// formed from delta. For 0 <= u < 4 rho, u != rho, p >= kOnLimb.
// kFreezeLanes as for complete_integrals. carlson_disk gives the variables and
// the value (not yet held to 1), which the disk's partials
// (disk_gradient_lanes.hpp) are formed from too; carlson holds it to 1.
template <class V>
struct CarlsonDisk {
    V delta, sigma, e, p, delta2, z, q, k, p_sin2_p, inv_rho;
    CompleteIntegrals<V> in;
    V a;
};

template <class V, bool kFreezeLanes>
inline CarlsonDisk<V> carlson_disk(V u, V rho) {
    CarlsonDisk<V> d;
    d.delta = u - rho;
    d.sigma = u + rho;
    d.e = d.delta / d.sigma;
    d.p = d.e * d.e;
    const V abs_delta = lane_abs(d.delta);
    const auto small = abs_delta <= 1.0;
    d.delta2 = d.delta * d.delta;
    d.z = 4.0 / d.delta2;
    d.q = select(small, lane_sqrt(d.delta2 + 4.0), abs_delta * lane_sqrt(1.0 + d.z));
    const V c = select(small, d.p * ((4.0 + d.sigma * d.sigma) / (4.0 + d.delta2)),
                       (1.0 + 4.0 / (d.sigma * d.sigma)) / (1.0 + d.z));

    d.in = complete_integrals<V, kFreezeLanes>(lane_sqrt(c), d.p);
    d.k = d.in.cos2 + d.in.sin2;
    d.inv_rho = 1.0 / rho;
    // p sin2_p stays O(1) on the limb, where sin2_p ~ 1/(c p)^(1/2) alone can overflow.
    d.p_sin2_p = d.p * d.in.sin2_p;
    const V pj = (d.p_sin2_p * (d.inv_rho + rho)) / d.q;
    const V u_sigma = (u / d.sigma) * 8.0;
    const V near = (2.0 / (d.sigma * d.q)) * ((4.0 * d.in.cos2 + d.delta2 * d.k) - (4.0 * (d.delta / rho)) * d.in.sin2) +
                   u_sigma * pj;
    const V far = ((d.q + d.q) / d.sigma) * d.k + u_sigma * (pj - d.in.sin2 / (rho * d.q));
    d.a = select(d.e < kNearLimbRatio, near, far) / kPiDisk;
    return d;
}

template <class V, bool kFreezeLanes = false>
inline V carlson(V u, V rho) {
    const V a = carlson_disk<V, kFreezeLanes>(u, rho).a;
    return select(a < 1.0, splat(1.0, a), a);
}

constexpr double kMax = 1.7976931348623157e308;

// Magnifications out[i] of the separations l[i] * rho (rho > 0 finite) for the
// leading chunks of W lanes that lie wholly in the multipole range or wholly
// in the Carlson range; returns how many separations it did, a multiple of W.
template <class V, unsigned W>
inline unsigned long disk_run(const double* l, unsigned long n, double rho, double* out) {
    static_assert(sizeof(V) == W * sizeof(double));
    const V rho_v = splat(rho, V{});
    unsigned long i = 0;
    for (; i + W <= n; i += W) {
        V lv;
        __builtin_memcpy(&lv, l + i, sizeof lv);
        const V u = lv * rho;
        V a;
        if (all_of((u >= kMultipoleRatio * rho) & (u <= kMax))) {
            a = multipole(u, rho_v);
        } else {
            const V e = (u - rho) / (u + rho);
            if (!all_of((u >= 0.0) & (u < kMultipoleRatio * rho) & (e * e >= kOnLimb))) break;
            a = carlson(u, rho_v);
        }
        __builtin_memcpy(out + i, &a, sizeof a);
    }
    return i;
}

}  // namespace
}  // namespace magnifex::lanes
