// The thin ring's magnification and its two partial derivatives, written
// once over the number type (a double, or a GCC vector of doubles whose lanes
// are independent (u, r) pairs; see elliptic/lanes.hpp for the rules of a
// unit that includes this header). Lengths in Einstein radii.
//
// Ring average of the point-source magnification A0(d) = (d^2+2)/(d sqrt(d^2+4))
// (D. Heyrovsky 2003, ApJ 594, 464), lens at distance u from the centre of a
// ring of radius r:
//   A(u, r) = (1/2pi) int_0^2pi A0(sqrt(u^2 + r^2 - 2 u r cos phi)) dphi
//           = 2/(pi sigma q) [2 K(m) + delta^2 Pi(n, m)],
// sigma = u + r, delta = u - r, q = sqrt(4 + delta^2), n = 4ur/sigma^2,
// m = 4n/q^2; the value is computed exactly as ring_average (heyrovsky_lanes.hpp).
//
// Partials. With c = 1 - m, p = 1 - n and the integrals of
// elliptic/complete_lanes.hpp (Delta = sqrt(cos^2 t + c sin^2 t)),
//   I_c = int_0^{pi/2} cos^2 t/Delta dt,  I_s = int_0^{pi/2} sin^2 t/Delta dt,
//   K(m) = I_c + I_s,  E(m) = I_c + c I_s,
// the derivatives of K, E and Pi (DLMF 19.4(i)) taken through sigma,
// delta, c and p collapse: every Pi(n, m) term cancels, and
//   dA/du = 8/(pi sigma^2 q^3) [ (r delta - 2) (I_s - I_c) - 4u g_u I_c/delta ],
//   dA/dr = 8/(pi sigma^2 q^3) [ (-u delta - 2) (I_s - I_c) + 4r g_r I_c/delta ],
//   g_u = (4 + u^2 + 3r^2)/(sigma^2 + 4) = 1 - 2 r delta/(sigma^2 + 4),
//   g_r = (4 + r^2 + 3u^2)/(sigma^2 + 4) = 1 + 2 u delta/(sigma^2 + 4),
// (dA/dr(u, r) = dA/du(r, u)); g_u >= 3/4 and g_r >= 3/4 hold without
// cancellation. Nothing of A's own size is subtracted, so far from the
// Einstein ring (A - 1 ~ 2/u^4) the partials keep their relative accuracy.
// The one difference that cancels is
//   I_s - I_c = m Z(m),  Z = int_0^{pi/2} sin^2 t cos^2 t/Delta^3 dt
//             = (pi/16) 2F1(3/2, 3/2; 3; m)   (DLMF 15.2.1),
// small when m is (far from the ring, u/r or r/u large, or |delta| >> 2).
// It is formed as the difference of the two integrals for m >= 1/8 (the
// difference keeps all but a factor 8/m <= 64 of their accuracy) and from
// the series in m, with m = 4n/q^2 formed from u and r, below. Near the ring
// the 1/delta terms dominate and I_c -> 1 (the log-divergent I_s enters only
// through its bounded coefficient), so the partials diverge like 1/delta
// with full relative accuracy. Lengths are rescaled by 1/sigma where
// sigma >= 1, so that no square overflows before the result underflows.
//
// The integrals come from one Gauss transformation (Bulirsch's cel,
// R. Bulirsch 1969, Numer. Math. 13, 305; elliptic/complete_lanes.hpp) of
// Carlson's forms (B. C. Carlson 1995, Numer. Algorithms 10, 13) of the
// ring's value: one complete_integrals call, then about 50 flops and five
// divisions for both partials, and the 17-term series where m < 1/8.
// Measured (an x86-64 core, -O2): ring_average 70 ns a call, this 78 ns;
// over two SSE2 lanes 49 and 57 ns a pair's element; over four AVX2 lanes
// 22 and 25 ns.
//
// Accuracy against mpmath (tests/data/point_lens_gradient_golden.tsv from
// tools/gen_point_lens_gradient_golden.py: central differences of the
// Legendre form by mpmath's ellipk and ellippi at a precision chosen per
// point, checked at two precisions and against quadrature of A0' on a
// subset), worst relative error:
//   value: 8.6e-16, bit for bit ring_average(u, r, 1.0);
//   partials: 1.3e-15 within 1e-2 of the ring (|u-r|/r down to 1e-14, both
//   sides, r from 1e-8 to 1e4), 3.1e-15 at generic points, 1.2e-15 far
//   (u/r or r/u from 16 to 1e6), 5.5e-16 at the extremes (u, r from 1e-8 to
//   1e4); a scan to u, r = 1e8 stays below 2e-15.
#pragma once

#include "elliptic/complete_lanes.hpp"
#include "elliptic/lanes.hpp"
#include "models/heyrovsky_lanes.hpp"

namespace magnifex::lanes {
namespace {

template <class V>
struct RingGradient {
    V a, da_du, da_dr;
};

// 8/pi, the factor of both partials.
constexpr double kEightOverPi = 2.5464790894703255;
// I_s - I_c from the series in m below this m, as the difference above.
constexpr double kSinMinusCosSeriesBelow = 0.125;
// Degree of the series: with w_k < 0.5/k (relative to w_0), the remainder
// after this term is below 2^-56 of Z for m < 1/8.
constexpr int kSinMinusCosDegree = 17;

struct SinMinusCosSeries {
    double w[kSinMinusCosDegree + 1];
};

// Z(m) = sum_k w_k m^k: w_0 = pi/16 (int sin^2 cos^2), and the ratio of
// the 2F1(3/2, 3/2; 3; m) coefficients, w_k/w_{k-1} = (2k+1)^2/(4k(k+2)).
constexpr SinMinusCosSeries make_sin_minus_cos_series() {
    SinMinusCosSeries s{};
    s.w[0] = 0.19634954084936207;  // pi/16
    for (int k = 1; k <= kSinMinusCosDegree; ++k) {
        s.w[k] = s.w[k - 1] * (static_cast<double>((2 * k + 1) * (2 * k + 1)) / static_cast<double>(4 * k * (k + 2)));
    }
    return s;
}

constexpr SinMinusCosSeries kSinMinusCos = make_sin_minus_cos_series();

// True where any lane of the mask is.
inline bool gradient_any_of(bool m) { return m; }
template <class M>
inline bool gradient_any_of(M m) {
    return !all_of(m == 0);
}

// I_s - I_c = int (sin^2 t - cos^2 t)/Delta dt for the cel outputs cos2 =
// I_c and sin2 = I_s of c = 1 - m, m in [0, 1): the difference where m >=
// 1/8, else m Z(m) from the series (exactly 0 at m = 0). Each lane's value
// depends on that lane alone.
template <class V>
inline V sin_minus_cos(V cos2, V sin2, V m) {
    const auto direct = m >= kSinMinusCosSeriesBelow;
    const V difference = sin2 - cos2;
    if (all_of(direct)) return difference;
    V z = splat(kSinMinusCos.w[kSinMinusCosDegree], m);
    for (int k = kSinMinusCosDegree - 1; k >= 0; --k) z = z * m + kSinMinusCos.w[k];
    return select(direct, difference, m * z);
}

// The ring's value and partials for 0 < u, r < inf, delta = u - r != 0 (given
// by a caller that knows it better than u - r formed from the two). The value
// is ring_average_delta's, from the same form (heyrovsky_lanes.hpp); each lane
// stops at its own Gauss step (complete_integrals), so that a batch gives the
// one-lane values bit for bit.
template <class V, bool kReciprocals = false>
inline RingGradient<V> ring_gradient_delta(V u, V r, V delta) {
    const RingForm<V> form = ring_form<V, kReciprocals>(u, r, delta, splat(1.0, u));
    const V a = form.a;
    const V big_d = form.big_d, dd = form.dd, t = form.t, n = form.n, s = form.s;
    const auto near = form.near;
    const V root_near = form.root_near, root_far = form.root_far;
    const CompleteIntegrals<V>& in = form.in;

    // The partials, in Einstein radii: qe = sqrt(4 + delta^2), and m = 4n/qe^2
    // formed without 1 - c.
    const V qe = select(near, root_near, lane_abs(big_d) * root_far);
    // (one quotient of the selected numerator and denominator, each lane's
    // branch's quotient bit for bit)
    const V m = select(near, 4.0 * n, 4.0 * (n * t)) / select(near, 4.0 + dd, 4.0 * t + 1.0);
    const V diff = sin_minus_cos(in.cos2, in.sin2, m);

    // sigma >= 1: lengths in the brackets divided by sigma (1/sigma^2 taken
    // in); below, the brackets in lengths and 1/sigma^2 applied last, so that
    // an overflow is that of the partial itself.
    const auto wide = s >= 1.0;
    const V inv_s = 1.0 / s;
    const V one = splat(1.0, s);
    const V scale = select(wide, inv_s, one);
    const V post = select(wide, one, inv_s);
    const V two = select(wide, (2.0 * inv_s) * inv_s, splat(2.0, s));
    const V kappa = 1.0 / (1.0 + (4.0 * inv_s) * inv_s);  // sigma^2/(sigma^2 + 4)
    const V u_s = u * scale;
    const V r_s2 = r * scale;
    const V d_s = big_d * scale;
    // 4 I_c/(delta sigma) (sigma >= 1) or 4 I_c/delta.
    const V ic_delta = (4.0 * in.cos2) / (big_d * select(wide, s, one));
    const V factor = ((kEightOverPi / (qe * qe * qe)) * post) * post;

    const V g_u = 1.0 - 2.0 * (((r * inv_s) * (big_d * inv_s)) * kappa);
    const V g_r = 1.0 + 2.0 * (((u * inv_s) * (big_d * inv_s)) * kappa);
    const V inner_u = (r_s2 * d_s - two) * diff - (u_s * g_u) * ic_delta;
    const V inner_r = (-(u_s * d_s) - two) * diff + (r_s2 * g_r) * ic_delta;
    return {a, inner_u * factor, inner_r * factor};
}

template <class V>
inline RingGradient<V> ring_gradient(V u, V r) {
    return ring_gradient_delta(u, r, u - r);
}

}  // namespace
}  // namespace magnifex::lanes
