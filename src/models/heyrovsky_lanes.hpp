// The ring average of heyrovsky.cpp written once over its number type (a
// double, or a GCC vector of doubles whose lanes are independent ring radii;
// see elliptic/lanes.hpp for the rules of a unit that includes this header).
// The derivation and the accuracy are in heyrovsky.cpp.
#pragma once

#include "elliptic/complete_lanes.hpp"
#include "elliptic/lanes.hpp"

namespace magnifex::lanes {
namespace {

constexpr double kRingTwoPi = 6.283185307179586;
constexpr double kRingPi = 3.141592653589793;
// From this l + r on, the lengths are rescaled so that l + r cannot overflow.
constexpr double kRingLargeLength = 1e300;
constexpr double kRingSmallestNormal = 2.2250738585072014e-308;

// Ring average for 0 < l, r < inf, l != r, 0 < beta < inf. With q = (l-r)/(l+r),
// D = (l-r)/beta, S = (l+r)/beta = D/q:
//   2 pi A = 4/(S sqrt(4 + D^2)) [ (2 + D^2) RF + D^2 (n/3) RJ ],
// RF = RF(0, 1-m, 1), RJ = RJ(0, 1-m, 1, 1-n); for |D| >= 1, with t = 1/D^2,
//   2 pi A = 4 |q|/sqrt(1 + 4 t) [ (1 + 2 t) RF + (n/3) RJ ],
//   1 - m = (4 q^2 t + 1)/(4 t + 1).
// 1 - n = q^2 > 0 for l != r, so both complements stay positive and the Gauss
// transformation cannot fail on them. Not below 1.
// The form depends on l - r only through `delta`, which a caller that knows
// the distance between the lens and the ring better than the two lengths do
// (a ring a few ulps from the lens) passes itself.
// The ring average and the parts of its form that the partial derivatives
// (ring_gradient_lanes.hpp) take up again.
template <class V>
struct RingForm {
    using Mask = decltype(V{} < V{});
    V a;                    // the ring average
    V s, big_d, dd, t, n;   // S, D, D^2, 1/D^2 (|D| >= 1, else 0), 4 l r/(l + r)^2
    Mask near;              // |D| < 1
    V root_near, root_far;  // sqrt(4 + D^2), sqrt(1 + 4t) (kReciprocals: each the lane's own of the two)
    CompleteIntegrals<V> in;
};

// kReciprocals: the Gauss steps' quotients by reciprocals (complete_lanes.hpp),
// for the limb-darkened sources' pass; the seven functions keep quotients.
// There RF = K comes from the modulus sequence alone (complete_lanes.hpp's
// kSum), and the p = 1 sequence runs only for the partial derivatives
// (kParts), which need its cos2 and sin2; the ring average is the same with
// or without them, bit for bit.
template <class V, bool kReciprocals = false, bool kParts = true>
[[gnu::always_inline]] inline RingForm<V> ring_form(V l, V r, V delta, V beta) {
    // With kReciprocals, by 1/beta (1 for the limb-darkened pass: exact, and
    // a constant where the caller's beta is one); 4/beta below, exactly.
    [[maybe_unused]] V inv_beta = kReciprocals ? 1.0 / beta : beta * 0.0;
    // A depends on l/beta and r/beta only (l + r is finite or +inf here).
    const auto large = l + r >= kRingLargeLength;
    l = select(large, l * 0.25, l);
    r = select(large, r * 0.25, r);
    delta = select(large, delta * 0.25, delta);
    beta = select(large, beta * 0.25, beta);
    if constexpr (kReciprocals) inv_beta = select(large, inv_beta * 4.0, inv_beta);

    RingForm<V> f;
    const V sigma = l + r;
    // With kReciprocals, the quotients by sigma as products with 1/sigma.
    [[maybe_unused]] const V inv_sigma = kReciprocals ? 1.0 / sigma : sigma * 0.0;
    auto over_sigma = [&](const V& x) { return kReciprocals ? x * inv_sigma : x / sigma; };
    const V q = over_sigma(delta);
    const V p = q * q;                                     // 1 - n
    f.n = (over_sigma(l) * over_sigma(r)) * 4.0;           // n = 4 l r/(l + r)^2
    auto over_beta = [&](const V& x) { return kReciprocals ? x * inv_beta : x / beta; };
    f.big_d = over_beta(delta);
    f.dd = f.big_d * f.big_d;
    f.near = lane_abs(f.big_d) < 1.0;
    // (1/D^2 only where a lane needs it: a quotient fewer where none does)
    f.t = all_of(f.near) ? splat(0.0, f.dd) : select(f.near, splat(0.0, f.dd), 1.0 / f.dd);
    // (one quotient of the selected numerator and denominator: each lane's
    // value is its branch's quotient, bit for bit)
    const V c_num = select(f.near, 4.0 * p + f.dd, 4.0 * (p * f.t) + 1.0);
    const V c_den = select(f.near, 4.0 + f.dd, 4.0 * f.t + 1.0);

    // RF(0, c, 1) and (1/3) RJ(0, c, 1, p) from one Gauss transformation,
    // every term positive; each lane stops at its own step, so that a batch
    // gives the scalar kernel's values bit for bit.
    if constexpr (kReciprocals) {
        // sqrt(p) is |q| bit for bit unless q^2 is subnormal: in binary
        // floating point the rounded square root of a rounded square is the
        // number's magnitude (S. Boldo, "Stupid is as stupid does: taking the
        // square root of the square of a floating-point number", Electron.
        // Notes Theor. Comput. Sci. 317 (2015) 27-32). One square root fewer
        // on the divider, which bounds this kernel.
        const V root_p = all_of(p >= kRingSmallestNormal) ? lane_abs(q) : lane_sqrt(p);
        // kc = sqrt(c_num/c_den) as c_den kc = sqrt(c_num c_den), the
        // sequences scaled by c_den (complete_lanes.hpp): no quotient for c.
        f.in = complete_integrals_root<V, true, true, true, kParts>(lane_sqrt(c_num * c_den), root_p, c_den);
    } else {
        f.in = complete_integrals<V, true, false>(lane_sqrt(c_num / c_den), p);
    }

    // |D| < 1: 2/(S sqrt(4 + D^2)) times bracket/pi; neither factor exceeds
    // A, so nothing overflows before A itself does (a ring at 1e-308 source
    // radii).
    f.s = over_beta(sigma);
    if constexpr (kReciprocals) {
        // each lane takes one of the two roots: one square root of the one it takes
        f.root_near = lane_sqrt(select(f.near, 4.0 + f.dd, 1.0 + 4.0 * f.t));
        f.root_far = f.root_near;
    } else {
        f.root_near = lane_sqrt(4.0 + f.dd);
        f.root_far = lane_sqrt(1.0 + 4.0 * f.t);
    }
    V a;
    if constexpr (kReciprocals) {
        // One quotient for A: with K = (pi/2) twos/em and (n/3) RJ = n (pi/2)
        // p_num/(em em_pp) (complete_lanes.hpp), the brackets are (pi/2) X/(em
        // em_pp), and the factors 2/(S root)/pi and 4|q|/root/(2 pi) leave
        //   A = X_near/(S root em em_pp),  X_near = (2 + D^2) twos em_pp + D^2 n p_num,
        //   A = |q| X_far/(root em em_pp), X_far  = (1 + 2t) twos em_pp + n p_num,
        // the constants exact; the sequences scaled by c_den (above) scale X by
        // c_den and em em_pp by c_den^2, hence one factor c_den more. 1/S as
        // 1/sigma times beta (exact for beta = 1, the pass's): S root em em_pp
        // could overflow where S nears the largest double.
        const CompleteIntegrals<V>& in = f.in;
        const V k_part = in.twos * in.em_pp;
        const V j_part = f.n * in.p_num;
        const V x_near = ((2.0 + f.dd) * k_part + f.dd * j_part) * (inv_sigma * beta);
        const V x_far = lane_abs(q) * ((1.0 + 2.0 * f.t) * k_part + j_part);
        a = (c_den * select(f.near, x_near, x_far)) / (f.root_near * (in.em * in.em_pp));
    } else {
        const V rf = f.in.cos2 + f.in.sin2;
        const V n_third_rj = f.n * f.in.sin2_p;  // (n/3) RJ(0, c, 1, p)
        const V bracket_near = (2.0 + f.dd) * rf + f.dd * n_third_rj;
        const V bracket_far = (1.0 + 2.0 * f.t) * rf + n_third_rj;
        const V a_near = (2.0 / (f.s * f.root_near)) * (bracket_near / kRingPi);
        const V a_far = (((4.0 * lane_abs(q)) / f.root_far) * bracket_far) / kRingTwoPi;
        a = select(f.near, a_near, a_far);
    }
    // A point lens never makes a source fainter: far away (A - 1 ~ 2/u^4
    // below eps) rounding must not take A below 1.
    f.a = select(a < 1.0, splat(1.0, a), a);
    return f;
}

template <class V, bool kReciprocals = false>
inline V ring_average_delta(V l, V r, V delta, V beta) {
    return ring_form<V, kReciprocals, !kReciprocals>(l, r, delta, beta).a;
}

template <class V>
inline V ring_average(V l, V r, V beta) {
    return ring_average_delta(l, r, l - r, beta);
}

constexpr double kRingInfinity = __builtin_inf();

// Ring averages out[i] of the rings x[i] (i < n) at one separation l and
// beta, for 0 < l < inf and 0 < beta < inf, W rings a vector. Lanes outside
// the ring average's domain (x not in (0, inf), x == l, NaN) are computed by
// scalar(l, x[i], beta), the scalar kernel, so that their values are its own;
// a vector's unused lanes (the last, partial one) repeat a valid ring.
template <class V, unsigned W>
inline void ring_run(double l, const double* x, unsigned long n, double beta, double* out,
                     double (*scalar)(double, double, double)) {
    static_assert(sizeof(V) == W * sizeof(double));
    const V l_v = splat(l, V{});
    const V beta_v = splat(beta, V{});
    for (unsigned long i = 0; i < n; i += W) {
        const unsigned long m = n - i < W ? n - i : W;
        bool valid[W];
        double fill = 0.0;
        bool any = false;
        for (unsigned long j = 0; j < m; ++j) {
            const double r = x[i + j];
            valid[j] = r > 0.0 && r < kRingInfinity && r != l;
            if (valid[j] && !any) {
                fill = r;
                any = true;
            }
        }
        if (!any) {
            for (unsigned long j = 0; j < m; ++j) out[i + j] = scalar(l, x[i + j], beta);
            continue;
        }
        V r_v;
        for (unsigned long j = 0; j < W; ++j) r_v[j] = j < m && valid[j] ? x[i + j] : fill;
        const V a = ring_average(l_v, r_v, beta_v);
        for (unsigned long j = 0; j < m; ++j) out[i + j] = valid[j] ? a[j] : scalar(l, x[i + j], beta);
    }
}

}  // namespace
}  // namespace magnifex::lanes
