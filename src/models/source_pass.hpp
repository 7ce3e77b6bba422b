// The magnified flux of every basis profile of a source in one pass over the
// source's radius: the point-lens kernel is evaluated once per node and feeds
// each basis (and, for a gradient, each derivative). With the lens at u and
// the source radius rho (Einstein radii), for each basis b
//   E_b = int_0^1 b(mu) 2 pi x (A_ring(u, x rho) - 1) dx,   mu = sqrt(1 - x^2),
// the excess over the unlensed flux N_b (Heyrovsky 2003: the source as rings),
// and on request dE_b/du and dE_b/drho.
//
// The radius is the angle theta, x = sin(theta): the measure 2 pi x dx =
// 2 pi sin cos dtheta and every integer power of mu = cos(theta) are analytic
// up to the limb, the ring's logarithm at the lens sits at theta_l = asin(l)
// (l = u/rho), where the source is cut in two. Each part is partitioned by
// source_mesh.hpp and integrated by its rules. A law whose bases are powers
// of sqrt(mu) takes the parts that touch the limb in s, the angle from the
// limb being c s^2 (c the part's length in the angle): mu = sin(c s^2) =
// s^2 (c - c^3 s^4/6 + ...), so every power of sqrt(mu), the measure and the
// kernel are analytic in s, and the part is partitioned in s like any other
// (its singular points mapped there). The logarithmic law's mu ln mu is
// analytic plus analytic times ln t in the angle t from the limb, which the
// log rule takes at the limb as it takes the lens. For a law with other
// bases not analytic at the limb (mu^alpha), the piece at the limb is taken
// in mu with product weights for each basis's power of mu. A source the lens
// does not cut may be taken whole in mu: the ring's magnification is even in
// its radius, so the integrand is analytic in mu up to the centre.
//
// Derivatives are taken under the integral with the parts' ends following the
// lens, affinely in x: the inner part as x = s l, the outer part as x = l +
// s (1 - l) and, at its limb piece, mu = s mu_a(u, rho), all at fixed s. Then
// the ring's logarithm stays at a fixed s and the derivative of the integrand
// is only log-singular there: the 1/(x - l) of dA_ring/du and of dA_ring/dr
// cancel in the total derivative along the node's motion. (Moving the nodes
// affinely in theta instead would make them all move like 1/mu_l with the
// lens next to the limb, and the integral of the derivative a difference of
// terms 1/mu_l times its size.) The kernel gives A_ring and its partials at each node
// (point_lens_batch.hpp).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "models/basis.hpp"
#include "models/laws.hpp"
#include "models/source_mesh.hpp"
#include "numerics/source_rules_table.hpp"

namespace magnifex {

struct BasisIntegral {
    double excess = 0.0;
    double d_u = 0.0;
    double d_rho = 0.0;
};

class SourcePass {
public:
    // `limb`, the law's: RootPowers, the parts at the limb in s (above);
    // Logarithmic, the log rule at the limb; Singular, the limb piece (or a
    // whole source) in v = mu^2 with product weights; Pole, a pole
    // whose derivatives' parts on either side of the lens each grow as
    // 1/mu_l and cancel, so the end pieces take the stricter ellipse
    // (source_mesh.hpp) while the lens is near the limb (mu_l below
    // kPoleReach, source_pass.cpp).
    SourcePass(std::span<const Basis> bases, LimbBehaviour limb, bool gradient);

    // E_b (and its derivatives) for lens distance u >= 0 and source radius
    // rho > 0, both finite, into out[b] (out.size() == bases.size()).
    // Non-finite kernel values (a node on the lens, within an ulp of l) count
    // as 0, as in the double-exponential rule.
    void integrate(double u, double rho, std::span<BasisIntegral> out);

    // Kernel evaluations of the last integrate() (for benchmarks and tests).
    std::size_t last_node_count() const { return count_; }

private:
    // The rules a piece at the limb takes (limb_rule), in v = mu^2: the limb
    // rule (0), a longer one for a whole source the lens does not cut (1),
    // and a shorter one for a limb piece (kShortLimb). A whole source takes
    // the first kSourceRules.
    static constexpr std::size_t kSourceRules = 2;
    static constexpr std::size_t kShortLimb = 2;
    static constexpr std::size_t kLimbRules = 3;
    struct LimbPiece {
        double scale;            // mu_a: the piece is v = mu^2 in [0, mu_a^2]
        double k_u;              // d ln mu_a / du
        std::size_t first;       // its first node
        std::size_t rule;        // its rule's index
    };
    // Product weights of one basis on a limb rule (empty for the bases that
    // take the rule's own weights), as the piece's sums take them: for
    // v^(gamma/2)/2 and v^(gamma/2) ln(v)/4 (the measure 2 pi x dx = pi dv
    // and mu^gamma [ln mu] = v^(gamma/2) [ln(v)/2]; 2 pi (A - 1) at the node).
    struct ProductWeights {
        std::vector<double> plain;
        std::vector<double> log;    // (power-log bases)
    };
    using LimbWeights = std::array<ProductWeights, kLimbRules>;  // by rule
    static std::span<const RuleNode> limb_rule(std::size_t rule);

    void place_nodes(double u, double rho);
    // Where a piece lies: before the lens, after it, or in a source the lens
    // does not cut (its distance to each node then comes from the limb).
    enum class Side { Inner, Outer, Uncut };
    // `long_rule`: the rule of a piece that is the whole source (else the
    // piece's own).
    void add_theta_piece(const Piece& piece, Side side, std::span<const RuleNode> long_rule = {});
    // `part` as one piece (the lens at its lo, for a LogAtStart part, or
    // hi) where a rule of 12, 14 (in s) or 16 nodes takes it whole with
    // respect to `singular`; returns whether it did.
    bool add_whole(const Piece& part, std::span<const std::complex<double>> singular, bool at_lens, Side side);
    // For a law singular at the limb, the part [0, b] (in the angle from the
    // limb): the limb piece in v = mu^2 and one piece [a, b], or the limb
    // piece and a partition of the rest.
    void add_singular_limb_part(double b, std::span<const std::complex<double>> singular, Side side);
    // The part [0, c] of angles from the limb in s, the angle c s^2, for a
    // law of powers of sqrt(mu): `singular` its singular points in the
    // angle.
    void add_root_part(double c, std::span<const std::complex<double>> singular, Side side);
    // The part [0, b] of angles from the limb (at the lens at b for an
    // outer part), laid out as the law's behaviour at the limb asks.
    void add_limb_part(double b, std::span<const std::complex<double>> singular, Side side);
    // That part for a law log-singular at the limb.
    void add_log_part(double b, std::span<const std::complex<double>> singular, Side side);
    // The limb piece (in v, of the limb rule `rule_index`) of the part's
    // angles [0, hi] from the limb.
    void add_limb_end(double hi, Side side, std::size_t rule_index);
    void add_limb_piece(double scale, double k_u, std::size_t rule_index);
    // The piece mu in [0, 1] of `rule`, a whole source the lens does not cut
    // (or s in [0, 1], mu = s^2, `in_root`).
    void add_source_piece(std::span<const RuleNode> rule, bool in_root);
    // A source the lens does not cut (l > 1) as one piece in mu (in v for a
    // law singular at the limb) where a rule takes it whole; returns whether
    // it did.
    bool add_source_in_mu(double l, double rho);
    // That piece in v = mu^2, of the limb rule `rule_index`.
    void add_source_in_v(std::size_t rule_index);
    void add_fixed_nodes();
    // Room for m more nodes; returns the index of the first.
    std::size_t claim(std::size_t m);
    // u - rho x from the node's mu (x = sqrt(1 - mu^2)), for nodes away from
    // the lens or near the limb.
    // (a double, or a vector of nodes: lanes::Lanes2)
    template <class T>
    T distance_from_limb(const T& x, const T& mu) const;
    void evaluate_kernel();
    void accumulate(std::span<BasisIntegral> out);

    std::vector<Basis> bases_;
    std::vector<LimbWeights> limb_weights_;
    bool singular_at_limb_;
    bool gradient_;
    // The nodes of the separation being integrated, as arrays: x = sin(theta)
    // and mu = cos(theta), the ring's radius rho x and u - rho x (formed from
    // the node's offset to the lens), the measure (2 pi x mu dtheta or
    // 2 pi mu dmu, with the rule's weight) and, for a gradient, the motion of
    // x, mu and the measure in u; their motion in rho is -(u/rho) times it.
    std::size_t count_ = 0;
    std::vector<double> x_, mu_, radius_, delta_, measure_, x_u_, mu_u_, measure_u_;
    std::vector<LimbPiece> limb_pieces_;
    // The kernel at the nodes (and its partials in u and r); then the
    // basis-independent parts of the integrand: measure (A_ring - 1) and,
    // for a gradient, its total derivative along the nodes' motion (all 0
    // where the kernel is not finite).
    std::vector<double> a_, a_u_, a_r_, g_, g_u_, g_rho_, g_motion_;
    // A basis's values and slopes at the nodes, and ln mu and sqrt(mu) there
    // when some basis needs them (on the limb pieces too unless every such
    // basis has product weights there).
    std::vector<double> value_, slope_, log_mu_, root_mu_;
    // At the limb pieces' nodes: 2 pi (A_ring - 1), and for a gradient
    // that again, its slope in u and in rho, each 0 where not finite
    // (accumulate).
    std::vector<double> limb_h_, limb_h_d_, limb_h_u_, limb_h_rho_;
    bool needs_log_ = false, needs_root_ = false;
    bool log_skips_limb_ = false, root_skips_limb_ = false;
    // For the value alone: the bases whose value at a node is 1 or a product
    // of mu, sqrt(mu) and ln mu and that take every node, summed in one pass
    // (accumulate): their forms as bits, and each form's basis.
    unsigned plain_set_ = 0;
    std::array<std::size_t, 6> plain_basis_{};
    std::vector<bool> in_plain_pass_;  // by basis
    // The Bernstein-ellipse parameter of the pieces at the lens and the limb.
    double end_ellipse_ = kEndEllipse;
    bool pole_at_limb_ = false;
    bool root_at_limb_ = false;
    bool log_at_limb_ = false;
    // The part being laid out in s (add_root_part): its c, 0 when in the
    // angle itself.
    double root_scale_ = 0.0;
    // The separation being integrated: lens distance, source radius, l = u/rho,
    // -(u/rho) and, for 0 < l < 1, the lens's angle, pi/2 minus it and its
    // cosine, and the sine and cosine of half of pi/2 minus it.
    double u_ = 0.0, rho_ = 1.0, l_ = 0.0, follow_ = 0.0, theta_l_ = 0.0, outer_ = 1.5707963267948966, mu_l_ = 1.0;
    double sin_half_outer_ = 0.7071067811865476, cos_half_outer_ = 0.7071067811865476;
};

}  // namespace magnifex
