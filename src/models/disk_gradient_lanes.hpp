// The uniform disk's magnification and its two partial derivatives, written
// once over the number type (a double, or a GCC vector of doubles whose lanes
// are independent (u, rho) pairs; see elliptic/lanes.hpp for the rules of a
// unit that includes this header). Lengths in Einstein radii.
//
// Mean of the point-source magnification A0 over a disk of radius rho whose
// centre lies at distance u from the lens (H. J. Witt & S. Mao 1994, ApJ 430,
// 505; witt_mao.cpp derives the Carlson form used by witt_mao_lanes.hpp):
//   A(u, rho) = 1/(pi rho^2) int_disk A0(|x - lens|) d^2x.
//
// Partials, u < 3 rho (one complete_integrals call, the integrals and
// notation of ring_gradient_lanes.hpp with r = rho: sigma = u + rho,
// delta = u - rho, q = sqrt(4 + delta^2), p = delta^2/sigma^2, the same n and
// m as the ring, J = sin2_p = (1/3) RJ(0, c, 1, p)). Differentiating the
// Carlson form through K, E, Pi (DLMF 19.4(i)), every Pi term of the
// u-derivative cancels:
//   dA/du   = -8 (I_s - I_c)/(pi rho sigma q),
//   dA/drho = 2 (A_ring(u, rho) - A)/rho
//           = 8/(pi rho sigma q) [ (2u/rho) (I_s - p J) - K ],
// the second from d(rho^2 A)/drho = 2 rho A_ring and the two Carlson forms
// (their K, I_s and J coefficients combined exactly). I_s - I_c = m Z(m)
// comes from sin_minus_cos (ring_gradient_lanes.hpp), which keeps its
// relative accuracy as m -> 0 and gives dA/du = 0 exactly at u = 0.
// dA/drho changes sign inside the disk (the ring at the limb is brighter
// than the disk's mean there, fainter when the lens is near the centre) and
// its bracket cancels when the lens is outside the limb: by about 8u^2/rho^2
// (the two means differ by O(rho^2/u^2)) and by 1/m where the source is many
// Einstein radii from the lens (both means are 1 + O(m^2)). Its error is then
// that of its terms, about 1e-16 of 8 (1 + u/rho)/(rho sigma q).
//
// Partials, u >= 3 rho: the multipole expansion of witt_mao_lanes.hpp
// (tools/gen_far_field_coefficients.py, witt_mao_multipole.hpp), with r = (rho/u)^2,
// t = u^2/(u^2 + 4), s = 1 - t:
//   A       = [ (1+t)/2 + s^2 sum_k r^k g_k(t) ]/sqrt(t),
//   dA/drho = s^2 (2 rho/u^2) sum_k k r^(k-1) g_k(t)/sqrt(t),
//   dA/du   = -s^2 [ 1/2 + sum_k r^k h_k(t) ]/(u sqrt(t)),
//   h_k     = (1 + 3t + 2k) g_k - 2t(1-t) g_k'
// (from dt/du = 2ts/u and dr/du = -2r/u); h_k's coefficients are formed
// from g_k's below, (1 + 2k - 2i) g_{k,i} + (2i + 1) g_{k,i-1} for t^i. g_k
// and h_k are positive on [0, 1] (checked on a grid of t), so every sum is of
// positive terms. From 3 rho (not 4 rho as the value kernel) the
// 16 terms still reach the derivative's accuracy, and the Carlson form of
// dA/drho, whose cancellation grows like (u/rho)^2, is left below 3 rho.
// The value is the multipole one there: bit for bit the disk kernel's from
// 4 rho on, a few ulps from its Carlson value in [3 rho, 4 rho).
//
// Cost (an x86-64 core, -O2; the disk kernel's value for comparison):
// u < 3 rho, one complete_integrals call plus about 25 flops and six
// divisions, 76 ns against the value's 74 (two SSE2 lanes 53 against 49 ns
// an element, four AVX2 lanes 24 against 22); u >= 4 rho, a second
// polynomial a term, 115 against 57 ns (AVX2 52 against 27) for u/rho in
// [4, 24]; in [3 rho, 4 rho) all 16 terms, about 530 ns against the Carlson
// value's 70.
//
// Accuracy against mpmath (tests/data/point_lens_gradient_golden.tsv,
// tools/gen_point_lens_gradient_golden.py), worst relative error: value
// 9.6e-16; dA/du 3.2e-15 (0 exactly at u = 0); dA/drho 1.4e-14 (1.1e-15
// within 1e-2 of the limb, 2.9e-15 in [3 rho, 4 rho), 5.8e-16 far out to
// u/rho = 1e6), except where its Carlson form cancels (u < 3 rho, its
// terms more than 100 times its value): there the error is below 1.4e-16 of
// the size 8 (1 + u/rho)/(rho sigma q) of its terms, which is 3.8e-13 of
// dA/drho at rho = 4.6, u = 2.8 rho and 3.3e-10 at rho = 1e4, u = 1.1 rho: the
// relative bar 1e-13 is met for rho up to about 2 Einstein radii, not for
// larger sources with the lens between about 1.5 and 3 rho (a scan: 1e-13 at
// rho = 2, 6e-13 at rho = 10, 3e-10 at rho = 100, 5e-9 at rho = 1000).
#pragma once

#include "elliptic/complete_lanes.hpp"
#include "elliptic/lanes.hpp"
#include "models/ring_gradient_lanes.hpp"
#include "models/witt_mao_lanes.hpp"
#include "models/witt_mao_multipole.hpp"

namespace magnifex::lanes {
namespace {

template <class V>
struct DiskGradient {
    V a, da_du, da_drho;
};

// u/rho from which the multipole expansion gives value and partials.
constexpr double kGradientMultipoleRatio = 3.0;
// One more coefficient than g_k: h_k has degree deg g_k + 1.
constexpr int kSlopeWidth = disk_multipole::kWidth + 1;

struct MultipoleSlopes {
    double h[disk_multipole::kTerms][kSlopeWidth];
};

// h_k(t) = (1 + 3t + 2k) g_k(t) - 2t(1-t) g_k'(t), coefficient of t^i
// (1 + 2k - 2i) g_{k,i} + (2i + 1) g_{k,i-1}, for k = 1 .. kTerms.
constexpr MultipoleSlopes make_multipole_slopes() {
    MultipoleSlopes out{};
    for (int j = 0; j < disk_multipole::kTerms; ++j) {
        const int k = j + 1;
        const double* g = disk_multipole::kDiskMultipole[j];
        for (int i = 0; i <= disk_multipole::kDegree[j] + 1; ++i) {
            const double gi = i <= disk_multipole::kDegree[j] ? g[i] : 0.0;
            const double gprev = i >= 1 ? g[i - 1] : 0.0;
            out.h[j][i] = static_cast<double>(1 + 2 * k - 2 * i) * gi + static_cast<double>(2 * i + 1) * gprev;
        }
    }
    return out;
}

constexpr MultipoleSlopes kMultipoleSlopes = make_multipole_slopes();

// Value and partials from the multipole expansion, for u >= 3 rho > 0 in the
// lanes of `active` (the others are left to the caller and do not hold the
// loop). The value's terms stop where witt_mao_lanes.hpp's multipole stops
// them (its value bit for bit); the partials' terms go on until the next
// one, bounded by (k+2)(k+3) r^{k+1} relative to dA/drho's first, is below
// 2^-56. Each lane stops at its own term.
template <class V, class M>
inline DiskGradient<V> multipole_gradient(V u, V rho, M active) {
    const auto [sqrt_t, t, s, r] = multipole_variables(u, rho);
    const V ratio = rho / u;
    V sum = 0.0 * r;
    V sum_rho = sum;
    V sum_u = sum;
    V rk = 1.0 + sum;
    auto done = active == 0;
    auto slopes_done = done;
    for (int k = 0; k < disk_multipole::kTerms; ++k) {
        const V r_before = rk;  // r^k, that of the term of dA/drho's sum
        rk = rk * r;
        const int degree = disk_multipole::kDegree[k];
        const double* g = disk_multipole::kDiskMultipole[k];
        // g_k and h_k by Horner's rule, side by side (two independent chains).
        const double* h = kMultipoleSlopes.h[k];
        V term = g[degree] + 0.0 * t;
        V slope = (h[degree + 1] + 0.0 * t) * t + h[degree];
        for (int i = degree - 1; i >= 0; --i) {
            term = term * t + g[i];
            slope = slope * t + h[i];
        }
        const V rt = rk * term;
        sum = select(done, sum, sum + rt);
        done = done || (rk * r * (k + 3.0) < kMultipoleStop);
        sum_rho = select(slopes_done, sum_rho, sum_rho + (r_before * term) * (k + 1.0));
        sum_u = select(slopes_done, sum_u, sum_u + rk * slope);
        slopes_done = slopes_done || (rk * ((k + 2.0) * (k + 3.0)) < kMultipoleStop);
        if (all_of(slopes_done)) break;
    }
    const V a_raw = ((1.0 + t) * 0.5 + (s * s) * sum) / sqrt_t;
    const V ss = s * s;
    const V da_drho = (((ss * sum_rho) / sqrt_t) * (ratio + ratio)) / u;
    const V da_du = 0.0 - ((ss * (0.5 + sum_u)) / sqrt_t) / u;
    return {select(a_raw < 1.0, 1.0 + 0.0 * a_raw, a_raw), da_du, da_drho};
}

// Value and partials from the Carlson form, 0 <= u < 3 rho, u != rho (p =
// (u-rho)^2/(u+rho)^2 >= kOnLimb). The value is witt_mao_lanes.hpp's carlson,
// by the same operations.
template <class V, bool kFreezeLanes>
inline DiskGradient<V> carlson_gradient(V u, V rho) {
    const CarlsonDisk<V> d = carlson_disk<V, kFreezeLanes>(u, rho);
    const V a_raw = d.a;
    const auto small = lane_abs(d.delta) <= 1.0;

    // m = 4n/q^2 from u and rho, for I_s - I_c.
    const V n = ((u / d.sigma) * (rho / d.sigma)) * 4.0;
    const V m = select(small, (4.0 * n) / (4.0 + d.delta2), (n * d.z) / (1.0 + d.z));
    const V diff = sin_minus_cos(d.in.cos2, d.in.sin2, m);
    const V f = kEightOverPi * d.inv_rho;
    const V sigma_q = d.sigma * d.q;
    const V da_du = (0.0 - diff * f) / sigma_q;
    const V da_drho = (f * (((u + u) * d.inv_rho) * (d.in.sin2 - d.p_sin2_p) - d.k)) / sigma_q;
    return {select(a_raw < 1.0, splat(1.0, a_raw), a_raw), da_du, da_drho};
}

// The disk's value and partials for 0 <= u < inf, 0 < rho < inf, u != rho.
// The value is the disk kernel's (witt_mao.cpp) for u < 3 rho and u >= 4 rho
// (bit for bit in one lane, and in every lane with kFreezeLanes), its
// multipole value in between. A batch mixing the two ranges evaluates both.
template <class V, bool kFreezeLanes = true>
inline DiskGradient<V> disk_gradient(V u, V rho) {
    const auto outer = u >= kGradientMultipoleRatio * rho;
    if (all_of(outer)) return multipole_gradient(u, rho, outer);
    if (!gradient_any_of(outer)) return carlson_gradient<V, kFreezeLanes>(u, rho);
    const DiskGradient<V> mg = multipole_gradient(u, rho, outer);
    const DiskGradient<V> cg = carlson_gradient<V, kFreezeLanes>(u, rho);
    return {select(outer, mg.a, cg.a), select(outer, mg.da_du, cg.da_du), select(outer, mg.da_drho, cg.da_drho)};
}

}  // namespace
}  // namespace magnifex::lanes
