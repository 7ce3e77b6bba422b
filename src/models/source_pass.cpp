#include "models/source_pass.hpp"

#include <cmath>
#include <complex>

#include "models/heyrovsky.hpp"
#include "models/point_lens_batch.hpp"
#include "numerics/product_weights.hpp"
#include "numerics/source_rules_table.hpp"
#include "numerics/tanh_sinh_table.hpp"

namespace magnifex {

namespace {

using Complex = std::complex<double>;

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;
// The branch points of the point-lens kernel lie 2 Einstein radii from the
// lens, across the line of the ring (A_ring has sqrt(4 + (u - r)^2)).
constexpr double kBranchDistance = 2.0;

constexpr std::span<const RuleNode> kGaussRule = GAUSS_LEGENDRE_12;
constexpr std::span<const RuleNode> kLogRule = LOG_GAUSS_12;
constexpr std::span<const RuleNode> kLimbRule = GAUSS_LEGENDRE_12;

constexpr std::size_t kMaxPieces = 64;
constexpr std::size_t kMaxSingular = 12;

// The singular points of the integrand in the theta plane for a lens at l
// (source radii) and branch points E = 2/rho away (see source_mesh.hpp): the
// images t, -t, pi - t, pi + t of asin(l) and asin(l + iE), one of each
// conjugate pair (the ellipse test is symmetric in Im). `skip_lens` leaves
// out theta_l itself (an end of the part being cut).
std::size_t singular_points(double l, double rho, bool skip_lens, bool limb, Complex* out) {
    std::size_t n = 0;
    auto add_images = [&](Complex t, bool skip_t) {
        if (!skip_t) out[n++] = t;
        out[n++] = -t;
        out[n++] = kPi - t;
        out[n++] = kPi + t;
    };
    if (l > 0.0) {
        // asin(l) for l > 1 is pi/2 - i acosh(l): complex, next to the limb.
        const Complex t = l <= 1.0 ? Complex(std::asin(l), 0.0) : std::asin(Complex(l, 0.0));
        add_images(t, skip_lens && l < 1.0);
    }
    add_images(std::asin(Complex(l, kBranchDistance / rho)), false);
    if (limb) out[n++] = Complex(kHalfPi, 0.0);
    return n;
}

// sin(a/2) and cos(a/2).
inline void sincos_half(double a, double& s, double& c) {
    s = std::sin(0.5 * a);
    c = std::cos(0.5 * a);
}

}  // namespace

SourcePass::SourcePass(std::span<const Basis> bases, bool singular_at_limb, bool gradient)
    : bases_(bases.begin(), bases.end()), singular_at_limb_(singular_at_limb), gradient_(gradient) {
    limb_weights_.resize(bases_.size());
    if (!singular_at_limb_) return;
    for (std::size_t b = 0; b < bases_.size(); ++b) {
        const Basis& basis = bases_[b];
        if (basis.analytic_at_limb()) continue;
        LimbWeights& w = limb_weights_[b];
        w.plain.resize(kLimbRule.size());
        product_weights(kLimbRule, basis.exponent() + 1.0, false, w.plain);
        if (basis.kind() == Basis::Kind::PowerLog) {
            w.log.resize(kLimbRule.size());
            product_weights(kLimbRule, basis.exponent() + 1.0, true, w.log);
        }
    }
}

double SourcePass::distance_from_limb(double x, double mu) const {
    // u - rho x = rho (l - x): with l < 1, (mu^2 - mu_l^2)/(l + x); otherwise
    // (u - rho) + rho (1 - x), 1 - x = mu^2/(1 + x).
    if (l_ < 1.0) return rho_ * (((mu - mu_l_) * (mu + mu_l_)) / (l_ + x));
    return (u_ - rho_) + rho_ * ((mu * mu) / (1.0 + x));
}

void SourcePass::add_theta_piece(const Piece& piece, Side side) {
    const double h = piece.hi - piece.lo;
    const std::span<const RuleNode> rule = piece.rule == PieceRule::Gauss ? kGaussRule : kLogRule;
    for (const RuleNode& node : rule) {
        // The node at t from lo (and its complement), with the rule's singular
        // end where the piece's is.
        const bool at_end = piece.rule == PieceRule::LogAtEnd;
        const double t = piece.lo + h * (at_end ? node.complement : node.node);
        double x, mu, delta;
        if (side == Side::Inner) {
            // t = theta_l - theta, the offset to the lens: theta = theta_l - t,
            // pi/2 - theta = (pi/2 - theta_l) + t, and u - rho sin(theta) =
            // 2 rho cos(theta_l - t/2) sin(t/2); all from sin and cos of t/2
            // by the addition formulas (every sum of positive terms but x's,
            // which cancels only near the centre, where x is small and its
            // absolute error is what counts).
            double s2, c2;
            sincos_half(t, s2, c2);
            const double sin_t = 2.0 * (s2 * c2), cos_t = 1.0 - 2.0 * (s2 * s2);
            x = sin_l_ * cos_t - cos_l_ * sin_t;
            mu = cos_l_ * cos_t + sin_l_ * sin_t;
            delta = (2.0 * rho_) * ((cos_l_ * c2 + sin_l_ * s2) * s2);
        } else {
            // t = pi/2 - theta, the angle from the limb; outside the lens,
            // u - rho cos(t) = -2 rho sin((t + (pi/2 - theta_l))/2) sin(d/2),
            // d = (pi/2 - theta_l) - t its offset to the lens.
            double s2, c2;
            sincos_half(t, s2, c2);
            mu = 2.0 * (s2 * c2);
            x = 1.0 - 2.0 * (s2 * s2);
            if (side == Side::Outer) {
                const double d = (outer_ - piece.hi) + h * (at_end ? node.node : node.complement);
                double sd, cd;
                sincos_half(d, sd, cd);
                // sin((t + outer)/2) = sin(outer - d/2) = cos_l cos(d/2) - sin_l sin(d/2),
                // since sin(outer) = cos(theta_l) = mu_l and cos(outer) = l.
                delta = -(2.0 * rho_) * ((cos_l_ * cd - sin_l_ * sd) * sd);
            } else {
                delta = distance_from_limb(x, mu);
            }
        }
        const double measure = ((kTwoPi * node.weight) * h) * (x * mu);
        Node n{x, mu, delta, measure, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -1};
        if (gradient_ && side != Side::Uncut) {
            // The nodes move with the lens affinely in x: x = s l inside it,
            // x = l + s (1 - l) outside, at fixed s, so that
            //   inside:  dx/du = x/u,               d(x dx)/du = 2 x dx/u;
            //   outside: dx/du = (1 - x)/(rho - u), d(x dx)/du = (1 - 2x)/(x (rho - u)) x dx,
            // with (1 - x) = mu^2/(1 + x); in rho every motion is -(u/rho) times
            // the one in u outside, -x/rho (x dx: -2/rho) inside.
            if (side == Side::Inner) {
                n.x_u = x / u_;
                n.mu_u = -(x * x) / (u_ * mu);
                n.measure_u = (2.0 * measure) / u_;
                n.x_rho = -x / rho_;
                n.mu_rho = (x * x) / (rho_ * mu);
                n.measure_rho = -(2.0 * measure) / rho_;
            } else {
                const double gap = rho_ - u_;
                const double follow = -u_ / rho_;
                n.x_u = (mu * mu) / ((1.0 + x) * gap);
                n.mu_u = -(x * mu) / ((1.0 + x) * gap);
                n.measure_u = measure * ((1.0 - 2.0 * x) / (x * gap));
                n.x_rho = follow * n.x_u;
                n.mu_rho = follow * n.mu_u;
                n.measure_rho = follow * n.measure_u;
            }
        }
        nodes_.push_back(n);
    }
}

void SourcePass::add_limb_piece(double scale, double k_u, double k_rho) {
    limb_pieces_.push_back(LimbPiece{scale, k_u, k_rho, nodes_.size()});
    int index = 0;
    for (const RuleNode& node : kLimbRule) {
        const double mu = scale * node.node;
        const double x = std::sqrt((1.0 - mu) * (1.0 + mu));
        const double measure = ((kTwoPi * node.weight) * scale) * mu;
        Node n{x, mu, distance_from_limb(x, mu), measure, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, index++};
        if (gradient_) {
            n.mu_u = mu * k_u;
            n.x_u = -(mu * n.mu_u) / x;
            n.measure_u = measure * (2.0 * k_u);
            n.mu_rho = mu * k_rho;
            n.x_rho = -(mu * n.mu_rho) / x;
            n.measure_rho = measure * (2.0 * k_rho);
        }
        nodes_.push_back(n);
    }
}

// The lens exactly on the limb (u == rho): the ring's logarithm and the
// bases' powers of mu meet at theta = pi/2, where the rules above do not
// apply; the double-exponential rule on [0, pi/2] takes both (Takahasi &
// Mori 1974): the trapezoidal rule in t with the finest step of the
// project's table, h = 1/64, t up to 4, each node's distance to the limb
// formed from t directly (1 - tanh z = 2/(1 + e^(2z))). Fixed nodes: the
// derivatives are those of the integrand.
void SourcePass::add_fixed_nodes(double /*u*/, double /*rho*/) {
    constexpr double kQuarterPi = 0.7853981633974483;
    constexpr double kStep = 1.0 / 64.0;
    constexpr int kSteps = 256;  // t = 4: the last node is within 1e-37 of the limb
    auto add = [&](double y, double y_complement, double weight) {
        // theta = (pi/4)(1 + y), pi/2 - theta = (pi/4)(1 - y)
        const double x = std::sin(kQuarterPi * (1.0 + y));
        const double mu = std::sin(kQuarterPi * y_complement);
        nodes_.push_back(Node{x, mu, distance_from_limb(x, mu), ((kTwoPi * weight) * kQuarterPi) * (x * mu), 0.0, 0.0,
                              0.0, 0.0, 0.0, 0.0, -1});
    };
    for (int j = 0; j <= kSteps; ++j) {
        const double t = double(j) * kStep;
        const double z = kHalfPi * std::sinh(t);
        const double cosh_z = std::cosh(z);
        const double weight = (kStep * kHalfPi) * std::cosh(t) / (cosh_z * cosh_z);
        if (j == 0) {
            add(0.0, 1.0, weight);
            continue;
        }
        const double complement = 2.0 / (1.0 + std::exp(2.0 * z));  // 1 - tanh z
        add(1.0 - complement, complement, weight);
        add(complement - 1.0, 2.0 - complement, weight);
    }
}

void SourcePass::place_nodes(double u, double rho) {
    nodes_.clear();
    limb_pieces_.clear();
    const double l = u / rho;
    u_ = u;
    rho_ = rho;
    l_ = l;
    theta_l_ = 0.0;
    outer_ = kHalfPi;
    mu_l_ = 1.0;
    sin_l_ = 0.0;
    cos_l_ = 1.0;
    Complex singular[kMaxSingular];
    Piece pieces[kMaxPieces];

    if (l == 1.0) {
        add_fixed_nodes(u, rho);
        return;
    }
    // Both parts that touch the limb are laid out in the angle from the limb,
    // pi/2 - theta, where mu = sin(pi/2 - theta) keeps its digits; there the
    // limb piece, mu in [0, mu_a], starts, and the centre (and its image) is
    // where mu stops being a variable.
    const Complex limb_map[2] = {Complex(kHalfPi, 0.0), Complex(-kHalfPi, 0.0)};
    const PieceRule limb_rule = singular_at_limb_ ? PieceRule::Limb : PieceRule::Gauss;
    auto from_limb = [](Complex* points, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) points[i] = kHalfPi - points[i];
    };
    auto add_limb_side = [&](std::size_t count, Side side) {
        for (std::size_t i = 0; i < count; ++i) {
            const Piece& p = pieces[i];
            if (p.rule != PieceRule::Limb) {
                add_theta_piece(p, side);
                continue;
            }
            // The limb piece, mu = s mu_a: its end x_a = cos(hi) moves as the
            // outer nodes do, so d ln mu_a/du = -x_a/((1 + x_a)(rho - u)) and
            // d ln mu_a/drho = -(u/rho) times that (no motion when uncut).
            const double x_a = std::cos(p.hi);
            const double k_u = side == Side::Outer ? -x_a / ((1.0 + x_a) * (rho - u)) : 0.0;
            add_limb_piece(std::sin(p.hi), k_u, -(u / rho) * k_u);
        }
    };
    if (l > 0.0 && l < 1.0) {
        // 1 - l from rho - u, exact for u next to rho.
        const double mu_l = std::sqrt(((rho - u) / rho) * (1.0 + l));
        theta_l_ = std::atan2(l, mu_l);
        outer_ = std::atan2(mu_l, l);  // pi/2 - theta_l
        mu_l_ = mu_l;
        sin_l_ = l;
        cos_l_ = mu_l;

        // Inner part, in the offset t = theta_l - theta from the lens; the
        // limb (singular for some bases, and where the nodes' motion has its
        // pole) lies beyond its lens end.
        std::size_t n = singular_points(l, rho, true, true, singular);
        for (std::size_t i = 0; i < n; ++i) singular[i] = theta_l_ - singular[i];
        std::size_t count = partition(0.0, theta_l_, std::span(singular, n), PieceRule::LogAtStart,
                                      PieceRule::Gauss, {}, pieces);
        for (std::size_t i = 0; i < count; ++i) add_theta_piece(pieces[i], Side::Inner);
        // Outer part, in the angle from the limb: [0, pi/2 - theta_l].
        n = singular_points(l, rho, true, false, singular);
        from_limb(singular, n);
        count = partition(0.0, outer_, std::span(singular, n), limb_rule, PieceRule::LogAtEnd, limb_map, pieces);
        add_limb_side(count, Side::Outer);
        return;
    }
    // The lens at the centre or outside the source: one part, fixed nodes, in
    // the angle from the limb.
    const std::size_t n = singular_points(l, rho, false, false, singular);
    from_limb(singular, n);
    const std::size_t count =
        partition(0.0, kHalfPi, std::span(singular, n), limb_rule, PieceRule::Gauss, limb_map, pieces);
    add_limb_side(count, Side::Uncut);
}

void SourcePass::evaluate_kernel(double u, double rho) {
    const std::size_t n = nodes_.size();
    radius_.resize(n);
    delta_.resize(n);
    a_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        radius_[i] = nodes_[i].x * rho;
        delta_[i] = nodes_[i].delta;
    }
    if (gradient_) {
        a_u_.resize(n);
        a_r_.resize(n);
        ring_gradient_batch(u, radius_.data(), delta_.data(), n, a_.data(), a_u_.data(), a_r_.data());
    } else {
        ring_batch(u, radius_.data(), delta_.data(), n, a_.data());
    }
}

void SourcePass::accumulate(double /*u*/, double rho, std::span<BasisIntegral> out) const {
    for (BasisIntegral& r : out) r = BasisIntegral{};
    const std::size_t n = nodes_.size();
    for (std::size_t b = 0; b < bases_.size(); ++b) {
        const Basis& basis = bases_[b];
        const LimbWeights& lw = limb_weights_[b];
        const bool product = !lw.plain.empty();
        double excess = 0.0, d_u = 0.0, d_rho = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const Node& node = nodes_[i];
            if (product && node.limb >= 0) continue;  // the limb pieces, below
            const double excess_a = a_[i] - 1.0;
            const double g = node.measure * excess_a;
            if (!std::isfinite(g)) continue;
            const double value = basis.value(node.mu);
            excess = excess + value * g;
            if (!gradient_) continue;
            const double r_u = rho * node.x_u;
            const double r_rho = node.x + rho * node.x_rho;
            const double g_u = node.measure_u * excess_a + node.measure * (a_u_[i] + a_r_[i] * r_u);
            const double g_rho = node.measure_rho * excess_a + node.measure * (a_r_[i] * r_rho);
            if (!std::isfinite(g_u) || !std::isfinite(g_rho)) continue;
            const double slope = basis.slope(node.mu);
            d_u = d_u + ((slope * node.mu_u) * g + value * g_u);
            d_rho = d_rho + ((slope * node.mu_rho) * g + value * g_rho);
        }
        if (product) {
            // b mu = mu^(gamma+1) [ln mu]: the weight of the product rule,
            // with mu = mu_a v on the piece.
            const double gamma = basis.exponent();
            const bool logarithmic = basis.kind() == Basis::Kind::PowerLog;
            for (const LimbPiece& piece : limb_pieces_) {
                const double scale = std::pow(piece.scale, gamma + 2.0);
                const double log_scale = std::log(piece.scale);
                double sum = 0.0, sum_u = 0.0, sum_rho = 0.0;
                for (std::size_t j = 0; j < kLimbRule.size(); ++j) {
                    const std::size_t i = piece.first + j;
                    const Node& node = nodes_[i];
                    const double h = kTwoPi * (a_[i] - 1.0);
                    if (!std::isfinite(h)) continue;
                    const double w = logarithmic ? log_scale * lw.plain[j] + lw.log[j] : lw.plain[j];
                    sum = sum + w * h;
                    if (!gradient_) continue;
                    const double h_u = kTwoPi * (a_u_[i] + a_r_[i] * (rho * node.x_u));
                    const double h_rho = kTwoPi * (a_r_[i] * (node.x + rho * node.x_rho));
                    if (!std::isfinite(h_u) || !std::isfinite(h_rho)) continue;
                    // d/du of b mu dmu-measure: (gamma + 2) k_u in the family, plus
                    // k_u mu^(gamma+1) for the logarithm's own slope.
                    const double extra = logarithmic ? lw.plain[j] * h : 0.0;
                    sum_u = sum_u + (((gamma + 2.0) * piece.k_u) * (w * h) + piece.k_u * extra + w * h_u);
                    sum_rho = sum_rho + (((gamma + 2.0) * piece.k_rho) * (w * h) + piece.k_rho * extra + w * h_rho);
                }
                excess = excess + scale * sum;
                d_u = d_u + scale * sum_u;
                d_rho = d_rho + scale * sum_rho;
            }
        }
        out[b] = BasisIntegral{excess, d_u, d_rho};
    }
}

void SourcePass::integrate(double u, double rho, std::span<BasisIntegral> out) {
    place_nodes(u, rho);
    evaluate_kernel(u, rho);
    accumulate(u, rho, out);
}

}  // namespace magnifex
