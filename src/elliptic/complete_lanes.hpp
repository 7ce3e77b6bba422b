// Three complete elliptic integrals of one modulus at once, over lanes
// (elliptic/lanes.hpp): with Delta = sqrt(cos^2 t + kc^2 sin^2 t),
//   cos2   = int_0^{pi/2} cos^2 t / Delta dt,
//   sin2   = int_0^{pi/2} sin^2 t / Delta dt,
//   sin2_p = int_0^{pi/2} sin^2 t / ((cos^2 t + p sin^2 t) Delta) dt,
// so that, with c = kc^2 (DLMF 19.25.1 and Carlson's forms of Legendre's),
//   K(1-c) = RF(0,c,1) = cos2 + sin2,   RD(0,c,1) = 3 sin2,
//   RJ(0,c,1,p) = 3 sin2_p,             (c/3) RD(0,1,c) = cos2,
// each a sum of positive terms (no cancellation as c -> 0 or p -> 0).
//
// Method: Bulirsch's general complete integral cel(kc, p, a, b) (R. Bulirsch,
// Numer. Math. 13 (1969) 305-315), a Gauss transformation that converges
// quadratically like the AGM of 1 and kc; its (a, b) recurrence is linear,
// so cos2 and sin2 share one p = 1 sequence, and sin2_p runs beside them on
// the same modulus sequence. All lanes take the same number of steps, until
// every lane meets Bulirsch's test |em - kc_n| <= kCelTolerance em (12 steps
// for kc = 1e-150, 9 for 1e-16).
// Accuracy: a few ulps for kc in [1e-150, 1] and p in [1e-200, 1] (through the
// uniform disk, tests/python/test_disk_oracle.py). K alone from the modulus
// sequence (kSum below) is within 4.4e-16 of mpmath's over the golden table's
// m in [0, 1), cos2 + sin2 within 8.7e-16 (tests/cpp/test_disk_batch.cpp).
#pragma once

#include "elliptic/lanes.hpp"

namespace magnifex::lanes {
namespace {

// Quadratic convergence: a relative gap below sqrt(eps)/10 leaves a
// truncation below eps^2/100 after the step that meets the test.
constexpr double kCelTolerance = 1e-9;
constexpr int kCelMaxSteps = 40;
constexpr double kCelHalfPi = 1.5707963267948966;

template <class V>
struct CompleteIntegrals {
    V cos2, sin2, sin2_p;
    // With kSum: K(1-c) from the modulus sequence alone, and the last step's
    // em, em + pp, 2^n and b_p + a_p em, of which K = (pi/2) twos/em and
    // sin2_p = (pi/2) p_num/(em em_pp), for a caller that folds their
    // quotients into one of its own. Unset otherwise.
    V k, em, em_pp, twos, p_num;
};

// The variables of one Gauss step that the results are formed from.
template <class V>
struct CelState {
    V a_cos, b_cos, a_sin, b_sin, p1, a_p, b_p, pp, em, twos;
};

// kc in (0, 1], p in (0, 1]. With kFreezeLanes, a lane that meets the test
// keeps the values of that step while the others go on, so that every lane
// is bitwise the one-lane result (at the cost of a select per variable and
// step). With kReciprocals, a step's five quotients are products with the
// reciprocals of p1 and pp: two divisions a step instead of five (the
// divider's throughput bounds the step), each product within 1.5 ulps of
// its quotient; a few ulps more in the results, as measured against the
// oracle (tests/python/test_law_oracle.py).
// root_p: sqrt(p), from a caller that has it already.
// kSum: K = cos2 + sin2 from the modulus sequence alone, into k: the step's
// (em, qc) is 2^n times the arithmetic-geometric mean's (a_n, b_n) of 1 and
// kc, so that K = pi/(2 a_n) = (pi/2) 2^n/em at the last step (DLMF 19.8.5),
// without the p = 1 sequence's quotients. kParts: cos2 and sin2 as well (the
// p = 1 sequence); without it they are left unset, and a step takes one
// division instead of two.
// With kSum, every sequence may start scaled by lambda = `scale` (the
// transformation is homogeneous: em, qc, p1, pp and the b's scale by lambda,
// e by lambda^2, the a's and the test not at all), kc given as lambda kc:
// a caller whose kc^2 is a quotient N/D passes sqrt(N D) and D, and no
// quotient is formed for kc. The results (k, cos2, sin2, sin2_p) are the
// integrals still, lambda folded into their quotients; the ends em, em_pp and
// p_num are lambda times theirs (K = (pi/2) lambda twos/em, sin2_p = (pi/2)
// lambda p_num/(em em_pp)).
template <class V, bool kFreezeLanes = false, bool kReciprocals = false, bool kSum = false, bool kParts = true>
inline CompleteIntegrals<V> complete_integrals_root(V kc, V root_p, [[maybe_unused]] V scale = V{}) {
    V qc = kc, e = kc, em = splat(1.0, kc);
    if constexpr (kSum) {
        em = scale;
        e = kc * scale;
    }
    [[maybe_unused]] V twos = splat(1.0, kc);  // 2^n after the n-th step
    // p = 1 for (a, b) = (1, 0) and (0, 1); p = p for (0, 1).
    V p1 = em, a_cos = twos, b_cos = 0.0 * kc, a_sin = b_cos, b_sin = em;
    V pp = root_p, a_p = b_cos, b_p;
    // With kReciprocals, 1/pp for the next step, formed once: b_p's start is
    // the first (lambda^2 times it, scaled).
    [[maybe_unused]] V rp_next;
    if constexpr (kSum) {
        pp = scale * root_p;
        rp_next = 1.0 / pp;
        b_p = (scale * scale) * rp_next;
    } else {
        b_p = 1.0 / pp;
        rp_next = b_p;
    }
    [[maybe_unused]] auto done = kc != kc;  // no lane converged yet (kc is never NaN)
    for (int step = 0; step < kCelMaxSteps; ++step) {
        [[maybe_unused]] const CelState<V> kept{a_cos, b_cos, a_sin, b_sin, p1, a_p, b_p, pp, em, twos};
        // 1/pp, or 0 (unused) when the quotients are taken.
        [[maybe_unused]] const V rp = kReciprocals ? rp_next : pp * 0.0;
        auto over_pp = [&](const V& x) { return kReciprocals ? x * rp : x / pp; };
        V f;
        if constexpr (kParts) {
            // 1/p1, or 0 (unused) when the quotients are taken.
            [[maybe_unused]] const V r1 = kReciprocals ? 1.0 / p1 : p1 * 0.0;
            auto over_p1 = [&](const V& x) { return kReciprocals ? x * r1 : x / p1; };
            f = a_cos;
            a_cos = a_cos + over_p1(b_cos);
            const V g1 = over_p1(e);
            b_cos = b_cos + f * g1;
            b_cos = b_cos + b_cos;
            f = a_sin;
            a_sin = a_sin + over_p1(b_sin);
            b_sin = b_sin + f * g1;
            b_sin = b_sin + b_sin;
            p1 = g1 + p1;
        }

        f = a_p;
        a_p = a_p + over_pp(b_p);
        const V gp = over_pp(e);
        b_p = b_p + f * gp;
        b_p = b_p + b_p;
        pp = gp + pp;

        const V em_old = em;
        em = qc + em;
        if constexpr (kSum) twos = twos + twos;
        if constexpr (kFreezeLanes) {
            if constexpr (kParts) {
                a_cos = select(done, kept.a_cos, a_cos);
                b_cos = select(done, kept.b_cos, b_cos);
                a_sin = select(done, kept.a_sin, a_sin);
                b_sin = select(done, kept.b_sin, b_sin);
                p1 = select(done, kept.p1, p1);
            }
            a_p = select(done, kept.a_p, a_p);
            b_p = select(done, kept.b_p, b_p);
            pp = select(done, kept.pp, pp);
            em = select(done, kept.em, em);
            if constexpr (kSum) twos = select(done, kept.twos, twos);
            done = done || (lane_abs(em_old - qc) <= em_old * kCelTolerance);
            if (all_of(done)) break;
        } else {
            if (all_of(lane_abs(em_old - qc) <= em_old * kCelTolerance)) break;
        }
        qc = lane_sqrt(e);
        qc = qc + qc;
        e = qc * em;
        if constexpr (kReciprocals) rp_next = 1.0 / pp;
    }
    const V p_num = b_p + a_p * em;
    const V em_pp = em + pp;
    // pi/2 times lambda (1 unscaled)
    [[maybe_unused]] const V half_pi = kSum ? kCelHalfPi * scale : splat(kCelHalfPi, em);
    const V sin2_p = kSum ? half_pi * p_num / (em * em_pp) : kCelHalfPi * p_num / (em * em_pp);
    // (pi/2) twos is exact: unscaled, K is one rounding from pi/(2 a_n).
    [[maybe_unused]] const V k = kSum ? (half_pi * twos) / em : em * 0.0;
    const V unset = em * 0.0;
    if constexpr (!kParts) return {unset, unset, sin2_p, k, em, em_pp, twos, p_num};
    const V d1 = em * (em + p1);
    if constexpr (kReciprocals) {
        const V r1 = (kSum ? half_pi : splat(kCelHalfPi, em)) / d1;
        return {(b_cos + a_cos * em) * r1, (b_sin + a_sin * em) * r1, sin2_p, k, em, em_pp, twos, p_num};
    }
    return {kCelHalfPi * (b_cos + a_cos * em) / d1, kCelHalfPi * (b_sin + a_sin * em) / d1, sin2_p, k, unset, unset, unset, unset};
}

template <class V, bool kFreezeLanes = false, bool kReciprocals = false>
inline CompleteIntegrals<V> complete_integrals(V kc, V p) {
    return complete_integrals_root<V, kFreezeLanes, kReciprocals>(kc, lane_sqrt(p));
}

}  // namespace
}  // namespace magnifex::lanes
