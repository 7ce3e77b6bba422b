// The nodes of one piece of a source integral (models/source_pass.cpp) in
// the angle theta, x = sin(theta): their x, mu = cos(theta), distance to the
// lens u - rho x, measure and ring radius, formed from offsets to the
// piece's ends by the addition formulas. Written once over the number type (a
// double, or a GCC vector of doubles whose lanes are nodes, each bit for bit
// the one-node value) and compiled once per instruction set
// (models/isa/theta_runs.cpp); internal linkage throughout, so that nothing
// compiled for a wider ISA is shared with the baseline units.
#pragma once

#include "models/source_mesh.hpp"
#include "numerics/sincos_small.hpp"

namespace magnifex {

enum class NodeForm { Inner, InnerAtCentre, OuterAtLens, OuterNearLens, OuterNearLimb, Uncut };

// The separation's constants the nodes are formed from.
struct NodeFrame {
    // l = sin(theta_l) and mu_l = cos(theta_l) of a lens inside the source.
    double mu_l, l, u, rho, outer, sin_half_outer, cos_half_outer;
    // c > 0: the piece is in s, where the angle from the limb is c s^2
    // (models/source_pass.hpp); 0: the piece is in the angle.
    double root = 0.0;
};

// A rule's nodes, their complements 1 - t and weights as columns, from the
// node at hand on.
struct RuleColumns {
    const double* node;
    const double* complement;
    const double* weight;
};

namespace {

// (also the measure of the source pass's other nodes, models/source_pass.cpp)
constexpr double kTwoPi = 6.283185307179586;

template <class V>
[[gnu::always_inline]] inline V load(const double* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
[[gnu::always_inline]] inline void put(double* out, const V& v) {
    __builtin_memcpy(out, &v, sizeof v);
}

// x = sin(theta), mu = cos(theta), u - rho x, the measure 2 pi x mu dtheta
// (with the rule's weight) and rho x of the nodes of `rule` (the first
// lanes of it) on `piece`.
template <class V>
[[gnu::always_inline]] inline void theta_block(const NodeFrame& f, NodeForm form, const Piece& piece, const RuleColumns& rule, bool at_end,
                 double* x_out, double* mu_out, double* delta_out, double* measure_out, double* radius_out) {
    const double h = piece.hi - piece.lo;
    // The node's offset from lo and from hi, with the rule's singular end
    // where the piece's is.
    const V node = load<V>(rule.node), complement = load<V>(rule.complement);
    V from_lo = h * (at_end ? complement : node);
    V from_hi = h * (at_end ? node : complement);
    // The piece's lo in the angle and its hi's offset to the lens, pi/2 -
    // theta_l minus it; in s, the measure's factor h dt/ds (a piece in the
    // angle takes h).
    V slope{};
    double lo = piece.lo, hi_to_lens = f.outer - piece.hi;
    if (f.root > 0.0) {
        // A piece [a, b] in s: the angle c s^2 is c (s - a)(s + a) from its
        // lo and c (b - s)(b + s) from its hi (products of the node's offset
        // in s, which keeps its digits, and a sum); dt = 2 c s ds. Its hi is
        // (o - c) + c (1 - b)(1 + b) from the lens at o, exact to rounding
        // when the part in s ends at the lens (c = o) and the lens is near
        // the centre (o - c b^2 would lose the offset's last digits).
        const double a = piece.lo, b = piece.hi;
        const V s = at_end ? b - from_hi : a + from_lo;
        from_lo = f.root * (from_lo * (s + a));
        from_hi = f.root * (from_hi * (b + s));
        slope = (2.0 * f.root) * (h * s);
        lo = f.root * (a * a);
        hi_to_lens = (f.outer - f.root) + f.root * ((1.0 - b) * (1.0 + b));
    }
    V x{}, mu{}, delta{};
    switch (form) {
        case NodeForm::Inner:
        case NodeForm::InnerAtCentre: {
            // t = theta_l - theta, the offset to the lens: theta = theta_l - t,
            // pi/2 - theta = (pi/2 - theta_l) + t, and u - rho sin(theta) =
            // 2 rho cos(theta_l - t/2) sin(t/2); all from sin and cos of t/2
            // by the addition formulas, every sum of positive terms but x =
            // l cos t - mu_l sin t, which cancels near the centre to an error
            // of an ulp of l. The gradient needs x to its own last digits
            // there (the nodes move as x/u, and the parts on either side of a
            // lens near the centre each change by O(1) where their sum changes
            // by O(l)): on the piece at the centre (hi = theta_l), x comes from
            // theta itself, the node's offset from hi.
            V s2, c2;
            sincos_small<V>((lo + from_lo) * 0.5, s2, c2);
            const V sin_t = 2.0 * (s2 * c2), cos_t = 1.0 - 2.0 * (s2 * s2);
            if (form == NodeForm::Inner) {
                x = f.l * cos_t - f.mu_l * sin_t;
            } else {
                V sc, cc;
                sincos_small<V>(from_hi * 0.5, sc, cc);
                x = 2.0 * (sc * cc);
            }
            mu = f.mu_l * cos_t + f.l * sin_t;
            delta = (2.0 * f.rho) * ((f.mu_l * c2 + f.l * s2) * s2);
            break;
        }
        case NodeForm::OuterAtLens: {
            // The outer part's piece at the lens, in t = pi/2 - theta, the
            // angle from the limb: mu = sin t from t/2; from d/2, d = o - t
            // the offset to the lens (o = pi/2 - theta_l; sin(o) = mu_l,
            // cos(o) = l), x = sin(theta_l + d) = l cos d + mu_l sin d, a sum
            // of positive terms that keeps x's relative digits with the lens
            // near the centre, and u - rho cos(t) = -2 rho sin((t + o)/2)
            // sin(d/2) = -2 rho cos(theta_l + d/2) sin(d/2).
            V s2, c2, sd, cd;
            sincos_small<V>((lo + from_lo) * 0.5, s2, c2);
            sincos_small<V>((hi_to_lens + from_hi) * 0.5, sd, cd);
            mu = 2.0 * (s2 * c2);
            x = f.l < 0.5 ? f.l * (1.0 - 2.0 * (sd * sd)) + f.mu_l * (2.0 * (sd * cd)) : 1.0 - 2.0 * (s2 * s2);
            delta = -(2.0 * f.rho) * ((f.mu_l * cd - f.l * sd) * sd);
            break;
        }
        case NodeForm::OuterNearLens: {
            // A regular piece of the outer part in its half next to the lens:
            // from the offset d to the lens, the mirror of the inner part
            // (theta = theta_l + d); mu's difference loses at most a bit,
            // t >= d there.
            V sd, cd;
            sincos_small<V>((hi_to_lens + from_hi) * 0.5, sd, cd);
            const V sin_d = 2.0 * (sd * cd), cos_d = 1.0 - 2.0 * (sd * sd);
            x = f.l * cos_d + f.mu_l * sin_d;
            mu = f.mu_l * cos_d - f.l * sin_d;
            delta = -(2.0 * f.rho) * ((f.mu_l * cd - f.l * sd) * sd);
            break;
        }
        case NodeForm::OuterNearLimb:
        case NodeForm::Uncut: {
            // t = pi/2 - theta from the limb: mu = sin t and x = cos t from
            // t/2. In the outer part's half next to the limb, u - rho cos(t)
            // = -2 rho sin((o + t)/2) sin((o - t)/2), whose difference loses
            // at most a few bits (o - t is not small beside o: the piece
            // keeps clear of the lens); where the lens does not cut the
            // source, from mu: with l < 1 (the centre), (mu^2 - mu_l^2)/(l + x);
            // otherwise (u - rho) + rho (1 - x), 1 - x = mu^2/(1 + x).
            V s2, c2;
            sincos_small<V>((lo + from_lo) * 0.5, s2, c2);
            mu = 2.0 * (s2 * c2);
            x = 1.0 - 2.0 * (s2 * s2);
            if (form == NodeForm::OuterNearLimb) {
                const double so = f.sin_half_outer, co = f.cos_half_outer;
                delta = -(2.0 * f.rho) * ((so * c2 + co * s2) * (so * c2 - co * s2));
            } else if (f.l < 1.0) {
                delta = f.rho * (((mu - f.mu_l) * (mu + f.mu_l)) / (f.l + x));
            } else {
                delta = (f.u - f.rho) + f.rho * ((mu * mu) / (1.0 + x));
            }
            break;
        }
    }
    put(x_out, x);
    put(mu_out, mu);
    put(delta_out, delta);
    if (f.root > 0.0) {
        put(measure_out, ((kTwoPi * load<V>(rule.weight)) * slope) * (x * mu));
    } else {
        put(measure_out, ((kTwoPi * load<V>(rule.weight)) * h) * (x * mu));
    }
    put(radius_out, x * f.rho);
}

}  // namespace
}  // namespace magnifex
