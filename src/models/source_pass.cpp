#include "models/source_pass.hpp"

#include <array>
#include <cmath>
#include <complex>
#include <utility>

#include "models/heyrovsky.hpp"
#include "models/point_lens_batch.hpp"
#include "models/theta_runs.hpp"
#include "elliptic/lanes_dispatch.hpp"
#include "elliptic/lanes_sse2.hpp"
#include "numerics/product_weights.hpp"
#include "numerics/sincos_small.hpp"
#include "numerics/source_rules_table.hpp"
#include "numerics/tanh_sinh_table.hpp"

namespace magnifex {

namespace {

using Complex = std::complex<double>;

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
// The branch points of the point-lens kernel lie 2 Einstein radii from the
// lens, across the line of the ring (A_ring has sqrt(4 + (u - r)^2)).
constexpr double kBranchDistance = 2.0;

#ifndef MAGNIFEX_TUNE_RULES
constexpr std::span<const RuleNode> kGaussRule = GAUSS_LEGENDRE_12;
constexpr std::span<const RuleNode> kLogRule = LOG_GAUSS_12;
constexpr std::span<const RuleNode> kLimbRule = GAUSS_LEGENDRE_16;
#else
constexpr std::span<const RuleNode> kGaussRule = MAGNIFEX_TUNE_GAUSS_RULE;
constexpr std::span<const RuleNode> kLogRule = MAGNIFEX_TUNE_LOG_RULE;
constexpr std::span<const RuleNode> kLimbRule = MAGNIFEX_TUNE_LIMB_RULE;
#endif

// The rules of 16 nodes for a part taken whole, where every singular point
// lies outside the ellipse of parameter kLongEllipse (Gauss-Legendre, error
// bound 2.6^-32 = 5e-14 of the part's scale) or kLongLogEllipse (the log
// rule, which converges like r^-n: 3^-16 = 2e-8, where the rule of 12 on its
// pieces has 5.8^-12 = 7e-10). The bounds' constants are small: against the
// mpmath oracle (tests/python/test_law_oracle.py) and the pieces of 12, the
// values agree to 1e-15 and the derivatives to 5e-12.
constexpr std::span<const RuleNode> kLongRule = GAUSS_LEGENDRE_16;
constexpr std::span<const RuleNode> kLongLogRule = LOG_GAUSS_16;
constexpr double kLongEllipse = 2.6;
constexpr double kLongLogEllipse = 3.0;
// The log rule of 16 at the limb of a law log-singular there (add_log_part).
constexpr double kLimbLogEllipse = 4.0;
// For the parts in s (add_root_part), Gauss-Legendre of 14 where its bound
// is that of the rule of 12 on its own ellipse, 3.3^-28 = 3e-15 (4^-24 =
// 4e-15), and of 16 on 3.0.
constexpr std::span<const RuleNode> kMidRule = GAUSS_LEGENDRE_14;
constexpr double kMidEllipse = 3.3;
constexpr double kRootLongEllipse = 3.0;
// The rules of 16 and 24 nodes, in turn where a shorter one does not reach:
// for a part taken whole, the piece beside a limb piece, and a whole source
// the lens does not cut. The rule of 24 on the ellipse where its bound is the
// rule of 16's: Gauss-Legendre converges like r^-2n (2.6^-32 = 1.90^-48; in
// s, 3.0^-32 = 2.09^-48), the log rule and the product rule of the limb like
// r^-n (at the lens 3.0^-16 = 2.09^-24; for mu ln mu at the limb 4.0^-16 =
// 2.52^-24; with product weights 5.8^-16 = 3.23^-24). With it a part is one
// piece where it took two, and a source the lens does not cut is one piece
// from l = 1.02 on (1.05 in s, 1.08 for mu ln mu, 1.17 with product weights),
// not two or three in the angle. (A rule of 20 between them saved no vector
// of 8 nodes where it applied, and was measured no faster.)
struct LongRule {
    std::span<const RuleNode> gauss, log;
    // Gauss-Legendre in the angle (or mu), in s; the log rule at the lens,
    // at the limb (mu ln mu); the product rule at the limb.
    double gauss_ellipse, root_ellipse, log_ellipse, limb_log_ellipse, product_ellipse;
};
// The limb piece in v of 12 nodes: the product rule converges like r^-n,
// and 10.4^-12 = 5.8^-16.
constexpr double kShortLimbEllipse = 10.4;
constexpr LongRule kLongRules[] = {
    {kLongRule, kLongLogRule, kLongEllipse, kRootLongEllipse, kLongLogEllipse, kLimbLogEllipse, kEndEllipse},
    {GAUSS_LEGENDRE_24, LOG_GAUSS_24, 1.90, 2.09, 2.09, 2.52, 3.23},
};

// A pole at the limb makes the derivatives' parts on either side of the lens
// grow as 1/mu_l and cancel; the end pieces take the stricter ellipse while
// mu_l is below this. Measured on a sweep of l (mu_l = 4e-5 ... 1, rho =
// 1e-4 ... 1000, three coefficient pairs) against ellipse 14 throughout:
// where mu_l >= 0.1 the derivatives are within 4 units of the floor
// 1e-14 A/rho (or 4e-12 relative), as with the ellipse 8; the ellipse 5.8
// still did as well down to mu_l = 0.01, and below that twice as badly.
constexpr double kPoleReach = 0.1;

// The rules' nodes, complements and weights as columns (RuleColumns), built
// once: the node-forming lanes load them as they stand.
RuleColumns columns(std::span<const RuleNode> rule) {
    struct Columns {
        const RuleNode* source;
        std::vector<double> node, complement, weight;
    };
    static const std::vector<Columns> table = [] {
        std::vector<std::span<const RuleNode>> rules = {kGaussRule, kLogRule, kMidRule};
        for (const LongRule& r : kLongRules) {
            rules.push_back(r.gauss);
            rules.push_back(r.log);
        }
        std::vector<Columns> out(rules.size());
        for (std::size_t r = 0; r < rules.size(); ++r) {
            out[r].source = rules[r].data();
            for (const RuleNode& n : rules[r]) {
                out[r].node.push_back(n.node);
                out[r].complement.push_back(n.complement);
                out[r].weight.push_back(n.weight);
            }
        }
        return out;
    }();
    for (const Columns& c : table) {
        if (c.source == rule.data()) return RuleColumns{c.node.data(), c.complement.data(), c.weight.data()};
    }
    return RuleColumns{nullptr, nullptr, nullptr};  // not reached: every rule of a piece is in the table
}

// The limb rules' nodes t as nodes in v = mu^2, as columns formed once:
// sqrt(t) (mu on a piece [0, 1] in v), sqrt(1 - t) (x there) and
// 1 - x = t/(1 + x), with the weights.
struct VColumns {
    const RuleNode* source;
    std::vector<double> root, x, one_less_x, weight;
};
const VColumns& v_columns(std::span<const RuleNode> rule) {
    static const std::vector<VColumns> table = [] {
        std::vector<VColumns> out;
        for (const std::span<const RuleNode> r : {kLimbRule, kLongRules[1].gauss, kGaussRule}) {
            VColumns c{r.data(), {}, {}, {}, {}};
            for (const RuleNode& n : r) {
                const double x = std::sqrt(n.complement);
                c.root.push_back(std::sqrt(n.node));
                c.x.push_back(x);
                c.one_less_x.push_back(n.node / (1.0 + x));
                c.weight.push_back(n.weight);
            }
            out.push_back(std::move(c));
        }
        return out;
    }();
    for (const VColumns& c : table) {
        if (c.source == rule.data()) return c;
    }
    return table.front();  // not reached: every limb rule is in the table
}

constexpr std::size_t kMaxPieces = 64;
constexpr std::size_t kMaxSingular = 12;

// The singular points of the integrand in the theta plane for a lens at l
// (source radii) and branch points E = 2/rho away (see source_mesh.hpp):
// asin(l) and asin(l + iE), computed once per separation.
struct SingularSeeds {
    Complex lens, branch;
    bool has_lens;
};

// asin(x + iy) for x >= 0, y > 0 (DLMF 4.23.34): with r = |z + 1|,
// s = |z - 1| and a = (r + s)/2, Re = asin(x/a), Im = ln(a + sqrt(a^2 - 1)),
// a - 1 formed from the differences r - |x + 1| and s - |x - 1| (each
// y^2 over a sum), so that it keeps its digits for small y.
Complex asin_upper(double x, double y) {
    // |x +- 1 + iy|: x^2 + y^2 without hypot's guards, which only l or
    // 2/rho beyond 1e150 need
    const bool moderate = x < 1e150 && y < 1e150;
    auto modulus = [moderate](double a, double b) { return moderate ? std::sqrt(a * a + b * b) : std::hypot(a, b); };
    const double r = modulus(x + 1.0, y), s = modulus(x - 1.0, y);
    const double a = 0.5 * (r + s);
    const double a_less_1 =
        0.5 * (y * (y / (r + (x + 1.0))) + y * (y / (s + std::fabs(x - 1.0)))) + std::fmax(x - 1.0, 0.0);
    return Complex(std::asin(std::fmin(x / a, 1.0)), std::log1p(a_less_1 + std::sqrt(a_less_1) * std::sqrt(a + 1.0)));
}

// theta_l: asin(l) for 0 < l < 1, as the caller has it.
SingularSeeds singular_seeds(double l, double rho, double theta_l) {
    SingularSeeds seeds{};
    seeds.has_lens = l > 0.0;
    if (seeds.has_lens) {
        // asin(l) for l > 1 is pi/2 -+ i acosh(l): complex, next to the limb.
        seeds.lens = l < 1.0 ? Complex(theta_l, 0.0) : Complex(kHalfPi, std::acosh(l));
    }
    seeds.branch = asin_upper(l, kBranchDistance / rho);
    return seeds;
}

// Their images t, -t, pi - t, one of each conjugate pair (the ellipse test is
// symmetric in Im). The image pi + t (0 <= Re t <= pi/2) lies on the line
// of pi - t (up to the sign of Im), further from every part within [0, pi/2]
// and from the parts' offsets to the lens: it never binds, nor do the
// images further on. `skip_lens` leaves out theta_l itself (an end of the
// part being cut); `limb` adds the limb, pi/2; `limb_images` its images
// -pi/2 and 3 pi/2, where mu = cos(theta) is 0 again (branch points of
// sqrt(mu)).
std::size_t singular_points(const SingularSeeds& seeds, double l, bool skip_lens, bool limb, bool limb_images,
                            Complex* out) {
    std::size_t n = 0;
    auto add_images = [&](Complex t, bool skip_t) {
        if (!skip_t) out[n++] = t;
        out[n++] = -t;
        // pi - t; of a lens beyond the limb (Re t = pi/2), the conjugate of t.
        if (t.real() != kHalfPi || t.imag() == 0.0) out[n++] = kPi - t;
    };
    if (seeds.has_lens) add_images(seeds.lens, skip_lens && l < 1.0);
    add_images(seeds.branch, false);
    if (limb) out[n++] = Complex(kHalfPi, 0.0);
    if (limb_images) {
        out[n++] = Complex(-kHalfPi, 0.0);
        out[n++] = Complex(kPi + kHalfPi, 0.0);
    }
    return n;
}

// sin(a/2) and cos(a/2) for 0 <= a <= pi/2.
inline void sincos_half(double a, double& s, double& c) { sincos_small(0.5 * a, s, c); }

// The principal square root of x + iy, y >= 0: sqrt((r + x)/2) + i y/sqrt(2 (r
// + x)) for x >= 0 and y/sqrt(2 (r - x)) + i sqrt((r - x)/2) otherwise (r =
// |x + iy|, formed as sqrt(x^2 + y^2): where that overflows the root is
// infinite, to every ellipse test as far away as the point itself).
Complex root_upper(double x, double y) {
    const double twice = std::sqrt(2.0 * (std::sqrt(x * x + y * y) + std::fabs(x)));
    const double big = 0.5 * twice, small = twice > 0.0 ? y / twice : 0.0;
    return x >= 0.0 ? Complex(big, small) : Complex(small, big);
}

// The principal square roots (root_upper) of the points p_i/c for the
// ellipse tests (the points are O(1) angles: no overflow to guard against);
// the sign of Im is dropped (the tests are symmetric in it). Of the two roots, the one with Re >= 0 is the
// nearer to every piece of [0, b]: |w - q| <= |w + q| for q >= 0, so the
// tests take it alone.
std::size_t roots_for_tests(std::span<const Complex> points, double c, Complex* out) {
    const double over_c = 1.0 / c;
    std::size_t n = 0;
    for (const Complex& p : points) {
        const double x = p.real() * over_c, y = std::fabs(p.imag() * over_c);
        if (y == 0.0) {
            // (a lens inside the source and its images are real)
            const double root = std::sqrt(std::fabs(x));
            out[n++] = x >= 0.0 ? Complex(root, 0.0) : Complex(0.0, root);
            continue;
        }
        out[n++] = root_upper(x, y);
    }
    return n;
}

// For a source the lens does not cut (l > 1), the half_sum of the largest
// ellipse of mu in [0, 1] (or, `in_root`, of s in [0, 1] with mu = s^2) that
// holds no singular point. The ring's magnification is even in its radius,
// so the integrand is a function of x^2 = 1 - mu^2 and analytic in mu up to
// the centre, mu = 1; its singular points there are cos(t) of the seeds and
// of their images (cos(-t) = cos t, cos(pi - t) = -cos t), each with its
// conjugate: cos(asin z) = sqrt(1 - z^2), which is i sqrt(l^2 - 1) for the
// lens and sqrt((1 - l^2 + E^2) - 2ilE) for the branch point z = l + iE
// (E = 2/rho); in s, their square roots.
double clear_in_mu(double l, double rho, bool in_root) {
    const double e = kBranchDistance / rho;
    const Complex lens(0.0, std::sqrt((l - 1.0) * (l + 1.0)));
    // (its conjugate, the root of (1 - l^2 + E^2) + 2ilE: the tests are
    // symmetric in Im; x^2 + y^2 overflows only for rho below 1e-154)
    const Complex branch = root_upper((1.0 - l * l) + e * e, 2.0 * l * e);
    Complex points[4] = {lens, -lens, branch, -branch};
    if (in_root) {
        Complex roots[4];
        roots_for_tests(points, 1.0, roots);
        return clear_ellipse(roots, 0.0, 1.0);
    }
    return clear_ellipse(points, 0.0, 1.0);
}

// In v = mu^2 = 1 - x^2, where the ring's magnification, even in its radius,
// is a function of v: the lens and all its images are the one point 1 - l^2,
// the kernel's branch points 1 - (l +- 2i/rho)^2 (one of the conjugate pair:
// the ellipse tests are symmetric in Im).
Complex lens_in_v(double l) { return Complex((1.0 - l) * (1.0 + l), 0.0); }
Complex branch_in_v(double l, double rho) {
    const double e = kBranchDistance / rho;
    return Complex((1.0 - l * l) + e * e, 2.0 * l * e);
}

// A basis whose value at a node is 1 or a product of the node's mu, sqrt(mu)
// and ln mu: its form, for the sums of such bases in one pass (plain_sums).
enum PlainForm : unsigned { kOne, kMu, kMuSquared, kRoot, kMuRoot, kMuLogMu, kPlainForms, kNotPlain = kPlainForms };

unsigned plain_form(const Basis& basis) {
    const double gamma = basis.exponent();
    if (basis.kind() == Basis::Kind::PowerLog) return gamma == 1.0 ? kMuLogMu : kNotPlain;
    if (basis.kind() != Basis::Kind::Power) return kNotPlain;
    if (gamma == 0.0) return kOne;
    if (gamma == 1.0) return kMu;
    if (gamma == 2.0) return kMuSquared;
    if (gamma == 0.5) return kRoot;
    if (gamma == 1.5) return kMuRoot;
    return kNotPlain;
}

// sum_i b(mu_i) g_i over the nodes i < n for every plain form in kForms (a
// set of bits), into out[form], in one pass: each running sum takes the same
// additions in the same order as a pass of its own (the value formed as
// Basis::evaluate forms it), and the sums' chains of additions run side by
// side. One instance per set of forms (plain_sums_of), so that the sums stay
// in registers.
template <unsigned kForms>
void plain_sums(std::size_t n, const double* g, const double* mu, const double* root, const double* log_mu,
                double* out) {
    auto has = [](unsigned form) { return (kForms >> form) & 1u; };
    double sums[kPlainForms] = {};
    for (std::size_t i = 0; i < n; ++i) {
        const double gi = g[i];
        if constexpr (has(kOne)) sums[kOne] = sums[kOne] + gi;
        if constexpr (has(kMu)) sums[kMu] = sums[kMu] + mu[i] * gi;
        if constexpr (has(kMuSquared)) sums[kMuSquared] = sums[kMuSquared] + (mu[i] * mu[i]) * gi;
        if constexpr (has(kRoot)) sums[kRoot] = sums[kRoot] + root[i] * gi;
        if constexpr (has(kMuRoot)) sums[kMuRoot] = sums[kMuRoot] + (mu[i] * root[i]) * gi;
        if constexpr (has(kMuLogMu)) sums[kMuLogMu] = sums[kMuLogMu] + (mu[i] * log_mu[i]) * gi;
    }
    for (unsigned form = 0; form < kPlainForms; ++form) out[form] = sums[form];
}

using PlainSums = void (*)(std::size_t, const double*, const double*, const double*, const double*, double*);

template <std::size_t... kSets>
constexpr std::array<PlainSums, sizeof...(kSets)> plain_sums_table(std::index_sequence<kSets...>) {
    return {&plain_sums<unsigned(kSets)>...};
}

// plain_sums for each set of forms, by its bits.
constexpr auto plain_sums_of = plain_sums_table(std::make_index_sequence<std::size_t(1) << kPlainForms>{});

}  // namespace

std::span<const RuleNode> SourcePass::limb_rule(std::size_t rule) {
    static_assert(std::size(kLongRules) == kSourceRules && kLimbRules == kSourceRules + 1);
    return rule == kShortLimb ? kGaussRule : rule == 0 ? kLimbRule : kLongRules[rule].gauss;
}

SourcePass::SourcePass(std::span<const Basis> bases, LimbBehaviour limb, bool gradient)
    : bases_(bases.begin(), bases.end()),
      singular_at_limb_(limb == LimbBehaviour::Singular),
      gradient_(gradient),
      pole_at_limb_(limb == LimbBehaviour::Pole),
      root_at_limb_(limb == LimbBehaviour::RootPowers),
      log_at_limb_(limb == LimbBehaviour::Logarithmic) {
    limb_weights_.resize(bases_.size());
    for (const Basis& basis : bases_) {
        needs_log_ = needs_log_ || basis.needs_log();
        needs_root_ = needs_root_ || basis.needs_root();
    }
    log_skips_limb_ = root_skips_limb_ = singular_at_limb_;
    static_assert(std::tuple_size_v<decltype(plain_basis_)> == kPlainForms);
    in_plain_pass_.assign(bases_.size(), false);
    for (std::size_t b = 0; b < bases_.size() && !gradient_; ++b) {
        // (a basis with product weights at the limb skips the limb pieces'
        // nodes)
        const unsigned form = plain_form(bases_[b]);
        if (form == kNotPlain || (singular_at_limb_ && !bases_[b].polynomial_in_v())) continue;
        plain_set_ |= 1u << form;
        plain_basis_[form] = b;
        in_plain_pass_[b] = true;
    }
    if (!singular_at_limb_) return;
    for (std::size_t b = 0; b < bases_.size(); ++b) {
        const Basis& basis = bases_[b];
        if (basis.polynomial_in_v()) continue;
        const bool logarithmic = basis.kind() == Basis::Kind::PowerLog;
        for (std::size_t r = 0; r < kLimbRules; ++r) {
            const std::span<const RuleNode> rule = limb_rule(r);
            ProductWeights& w = limb_weights_[b][r];
            w.plain.resize(rule.size());
            product_weights(rule, 0.5 * basis.exponent(), false, w.plain);
            for (double& x : w.plain) x = 0.5 * x;
            if (logarithmic) {
                w.log.resize(rule.size());
                product_weights(rule, 0.5 * basis.exponent(), true, w.log);
                for (double& x : w.log) x = 0.25 * x;
            }
        }
    }
    // ln mu and sqrt(mu) are formed on the limb pieces only for a basis that
    // takes the plain rule there.
    for (const Basis& basis : bases_) {
        if (!basis.polynomial_in_v()) continue;
        log_skips_limb_ = log_skips_limb_ && !basis.needs_log();
        root_skips_limb_ = root_skips_limb_ && !basis.needs_root();
    }
}

template <class T>
T SourcePass::distance_from_limb(const T& x, const T& mu) const {
    // u - rho x = rho (l - x): with l < 1, (mu^2 - mu_l^2)/(l + x); otherwise
    // (u - rho) + rho (1 - x), 1 - x = mu^2/(1 + x).
    if (l_ < 1.0) return rho_ * (((mu - mu_l_) * (mu + mu_l_)) / (l_ + x));
    return (u_ - rho_) + rho_ * ((mu * mu) / (1.0 + x));
}

std::size_t SourcePass::claim(std::size_t m) {
    const std::size_t first = count_;
    count_ += m;
    if (count_ > x_.size()) {
        const std::size_t size = 2 * count_;
        for (std::vector<double>* v : {&x_, &mu_, &radius_, &delta_, &measure_, &x_u_, &mu_u_, &measure_u_}) {
            v->resize(size);
        }
    }
    return first;
}

void SourcePass::add_theta_piece(const Piece& piece, Side side, std::span<const RuleNode> long_rule) {
    const std::span<const RuleNode> rule =
        !long_rule.empty() ? long_rule : piece.rule == PieceRule::Gauss ? kGaussRule : kLogRule;
    const std::size_t m = rule.size();
    const std::size_t first = claim(m);
    const bool at_end = piece.rule == PieceRule::LogAtEnd;
    const Piece angles = root_scale_ > 0.0
                             ? Piece{root_scale_ * (piece.lo * piece.lo), root_scale_ * (piece.hi * piece.hi), piece.rule}
                             : piece;
    double* const x = x_.data() + first;
    double* const mu = mu_.data() + first;
    double* const measure = measure_.data() + first;
    // How the nodes are formed (theta_block): from the offset to the lens
    // inside it; outside, from both the angle to the limb and the offset to
    // the lens at the lens's piece, from the offset in the half next to the
    // lens, from the angle in the half next to the limb; from the angle where
    // the lens does not cut the source.
    NodeForm form = NodeForm::Uncut;
    if (side == Side::Inner) {
        form = angles.hi == theta_l_ ? NodeForm::InnerAtCentre : NodeForm::Inner;
    } else if (side == Side::Outer) {
        form = at_end ? NodeForm::OuterAtLens
                      : angles.lo + angles.hi >= outer_ ? NodeForm::OuterNearLens : NodeForm::OuterNearLimb;
    }
    const NodeFrame frame{mu_l_, l_, u_, rho_, outer_, sin_half_outer_, cos_half_outer_, root_scale_};
    using Run = decltype(&theta_runs::theta_run_sse2);
    static const Run run =
        lanes::widest_supported<Run>(theta_runs::theta_run_sse2, theta_runs::theta_run_avx2, theta_runs::theta_run_avx512);
    run(frame, form, piece, columns(rule), m, at_end, x, mu, delta_.data() + first, measure, radius_.data() + first);
    if (!gradient_) return;
    double* const x_u = x_u_.data() + first;
    double* const mu_u = mu_u_.data() + first;
    double* const measure_u = measure_u_.data() + first;
    // The nodes move with the lens affinely in x: x = s l inside it,
    // x = l + s (1 - l) outside, at fixed s, so that
    //   inside:  dx/du = x/u,               d(x dx)/du = 2 x dx/u;
    //   outside: dx/du = (1 - x)/(rho - u), d(x dx)/du = (1 - 2x)/(x (rho - u)) x dx,
    // with (1 - x) = mu^2/(1 + x); in rho every motion is -(u/rho) times the
    // one in u (inside: dx/drho = -x/rho). A source the lens does not cut
    // has fixed nodes.
    if (side == Side::Inner) {
        for (std::size_t k = 0; k < m; ++k) {
            x_u[k] = x[k] / u_;
            mu_u[k] = -(x[k] * x[k]) / (u_ * mu[k]);
            measure_u[k] = (2.0 * measure[k]) / u_;
        }
    } else if (side == Side::Outer) {
        const double gap = rho_ - u_;
        for (std::size_t k = 0; k < m; ++k) {
            x_u[k] = (mu[k] * mu[k]) / ((1.0 + x[k]) * gap);
            mu_u[k] = -(x[k] * mu[k]) / ((1.0 + x[k]) * gap);
            measure_u[k] = measure[k] * ((1.0 - 2.0 * x[k]) / (x[k] * gap));
        }
    } else {
        for (std::size_t k = 0; k < m; ++k) x_u[k] = mu_u[k] = measure_u[k] = 0.0;
    }
}

void SourcePass::add_limb_piece(double scale, double k_u, std::size_t rule_index) {
    // The piece in v = mu^2, v in [0, mu_a^2]: mu = mu_a sqrt(t) at the
    // rule's nodes t, and the measure 2 pi x dx = pi dv.
    const VColumns& c = v_columns(limb_rule(rule_index));
    const std::size_t m = c.root.size();
    const std::size_t first = claim(m);
    limb_pieces_.push_back(LimbPiece{scale, k_u, first, rule_index});
    // Two nodes to a vector (both rules' sizes are even): its square roots
    // and quotients by one instruction each, every lane the one-node value.
    using Pair = lanes::Lanes2;
    static_assert(kLimbRule.size() % 2 == 0 && kGaussRule.size() % 2 == 0);
    for (std::size_t k = 0; k < m; k += 2) {
        const std::size_t i = first + k;
        const Pair mu = scale * Pair{c.root[k], c.root[k + 1]};
        const Pair x = lanes::lane_sqrt((1.0 - mu) * (1.0 + mu));
        const Pair delta = distance_from_limb(x, mu);
        const Pair measure = Pair{(kPi * c.weight[k]) * scale, (kPi * c.weight[k + 1]) * scale} * scale;
        const Pair radius = x * rho_;
        __builtin_memcpy(mu_.data() + i, &mu, sizeof mu);
        __builtin_memcpy(x_.data() + i, &x, sizeof x);
        __builtin_memcpy(radius_.data() + i, &radius, sizeof radius);
        __builtin_memcpy(delta_.data() + i, &delta, sizeof delta);
        __builtin_memcpy(measure_.data() + i, &measure, sizeof measure);
        if (gradient_) {
            // mu and v_a move together: d ln mu/du = k_u at every node, and
            // the measure goes as mu_a^2
            const Pair mu_u = mu * k_u;
            const Pair x_u = -(mu * mu_u) / x;
            const Pair measure_u = measure * (2.0 * k_u);
            __builtin_memcpy(mu_u_.data() + i, &mu_u, sizeof mu_u);
            __builtin_memcpy(x_u_.data() + i, &x_u, sizeof x_u);
            __builtin_memcpy(measure_u_.data() + i, &measure_u, sizeof measure_u);
        }
    }
}

bool SourcePass::add_source_in_mu(double l, double rho) {
    // The whole source as one piece in mu (clear_in_mu), of the rules a
    // part in the angle would take, where its ellipse holds the piece: 12
    // nodes or longer (kLongRules) for analytic bases (in s for powers of
    // sqrt(mu)), the log rules for mu ln mu; for mu^alpha, in v.
    if (singular_at_limb_) {
        // For mu^alpha, the piece in v = mu^2 (add_source_in_v) with product
        // weights: there the lens lies at 1 - l^2 < 0, further from [0, 1]
        // than in mu (i sqrt(l^2 - 1)) from l = 1.18 on; the rule of 16 takes
        // the source from l = sqrt(2) on (in mu, from 1.67), that of 24 from
        // 1.18 (in mu, from 1.17).
        const Complex in_v[2] = {lens_in_v(l), branch_in_v(l, rho)};
        const double clear_v = clear_ellipse(in_v, 0.0, 1.0);
        for (std::size_t r = 0; r < kSourceRules; ++r) {
            if (clear_v < half_sum(kLongRules[r].product_ellipse)) continue;
            add_source_in_v(r);
            return true;
        }
        return false;
    }
    const double clear = clear_in_mu(l, rho, root_at_limb_);
    if (log_at_limb_) {
        for (const LongRule& r : kLongRules) {
            if (clear < half_sum(r.limb_log_ellipse)) continue;
            add_source_piece(r.log, false);
            return true;
        }
        return false;
    }
    if (clear >= half_sum(kGaussEllipse)) {
        add_source_piece(kGaussRule, root_at_limb_);
        return true;
    }
    for (const LongRule& r : kLongRules) {
        if (clear < half_sum(root_at_limb_ ? r.root_ellipse : r.gauss_ellipse)) continue;
        add_source_piece(r.gauss, root_at_limb_);
        return true;
    }
    return false;
}

void SourcePass::add_source_piece(std::span<const RuleNode> rule, bool in_root) {
    // Over the whole source, a node's x, mu and measure do not depend on the
    // separation: formed once per rule. u - rho x = (u - rho) + rho (1 - x),
    // 1 - x = mu^2/(1 + x).
    struct Columns {
        const RuleNode* source;
        bool in_root;
        std::vector<double> x, mu, one_less_x, measure;
    };
    static const std::vector<Columns> table = [] {
        std::vector<std::pair<std::span<const RuleNode>, bool>> rules = {{kGaussRule, false}, {kGaussRule, true}};
        for (const LongRule& r : kLongRules) {
            rules.push_back({r.gauss, false});
            rules.push_back({r.gauss, true});
            rules.push_back({r.log, false});
        }
        std::vector<Columns> out(rules.size());
        for (std::size_t r = 0; r < rules.size(); ++r) {
            Columns& c = out[r];
            c.source = rules[r].first.data();
            c.in_root = rules[r].second;
            for (const RuleNode& node : rules[r].first) {
                // in s, mu = s^2 and dmu = 2 s ds
                const double s = node.node;
                const double mu = c.in_root ? s * s : s;
                const double x = std::sqrt((1.0 - mu) * (1.0 + mu));
                c.x.push_back(x);
                c.mu.push_back(mu);
                c.one_less_x.push_back((mu * mu) / (1.0 + x));
                c.measure.push_back((kTwoPi * node.weight) * (c.in_root ? (2.0 * s) * mu : mu));
            }
        }
        return out;
    }();
    const Columns* c = &table[0];
    while (c->source != rule.data() || c->in_root != in_root) ++c;  // every such rule is in the table
    const std::size_t m = rule.size();
    const std::size_t first = claim(m);
    const double gap = u_ - rho_;
    for (std::size_t k = 0; k < m; ++k) {
        const std::size_t i = first + k;
        x_[i] = c->x[k];
        mu_[i] = c->mu[k];
        measure_[i] = c->measure[k];
        radius_[i] = c->x[k] * rho_;
        delta_[i] = gap + rho_ * c->one_less_x[k];
    }
    if (!gradient_) return;
    for (std::size_t k = 0; k < m; ++k) x_u_[first + k] = mu_u_[first + k] = measure_u_[first + k] = 0.0;
}

void SourcePass::add_source_in_v(std::size_t rule_index) {
    // The nodes t of the rule in v on [0, 1]: mu = sqrt(t), x = sqrt(1 - t),
    // 1 - x = t/(1 + x), and the measure 2 pi x dx = pi dv.
    const VColumns& c = v_columns(limb_rule(rule_index));
    const std::size_t m = c.x.size();
    const std::size_t first = claim(m);
    limb_pieces_.push_back(LimbPiece{1.0, 0.0, first, rule_index});
    const double gap = u_ - rho_;
    for (std::size_t k = 0; k < m; ++k) {
        const std::size_t i = first + k;
        x_[i] = c.x[k];
        mu_[i] = c.root[k];
        measure_[i] = kPi * c.weight[k];
        radius_[i] = c.x[k] * rho_;
        delta_[i] = gap + rho_ * c.one_less_x[k];
    }
    if (!gradient_) return;
    for (std::size_t k = 0; k < m; ++k) x_u_[first + k] = mu_u_[first + k] = measure_u_[first + k] = 0.0;
}

// The lens exactly on the limb (u == rho): the ring's logarithm and the
// bases' powers of mu meet at theta = pi/2, where the rules above do not
// apply; the double-exponential rule on [0, pi/2] takes both (Takahasi &
// Mori 1974): the trapezoidal rule in t with the finest step of the
// project's table, h = 1/64, t up to 4, each node's distance to the limb
// formed from t directly (1 - tanh z = 2/(1 + e^(2z))). Fixed nodes: the
// derivatives are those of the integrand.
void SourcePass::add_fixed_nodes() {
    constexpr double kQuarterPi = 0.7853981633974483;
    constexpr double kStep = 1.0 / 64.0;
    constexpr int kSteps = 256;  // t = 4: the last node is within 1e-37 of the limb
    auto add = [&](double y, double y_complement, double weight) {
        // theta = (pi/4)(1 + y), pi/2 - theta = (pi/4)(1 - y)
        const std::size_t i = claim(1);
        const double x = std::sin(kQuarterPi * (1.0 + y));
        const double mu = std::sin(kQuarterPi * y_complement);
        x_[i] = x;
        mu_[i] = mu;
        radius_[i] = x * rho_;
        delta_[i] = distance_from_limb(x, mu);
        measure_[i] = ((kTwoPi * weight) * kQuarterPi) * (x * mu);
        x_u_[i] = mu_u_[i] = measure_u_[i] = 0.0;
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
    count_ = 0;
    limb_pieces_.clear();
    const double l = u / rho;
    u_ = u;
    rho_ = rho;
    l_ = l;
    follow_ = -l;
    theta_l_ = 0.0;
    outer_ = kHalfPi;
    mu_l_ = 1.0;
    end_ellipse_ = kEndEllipse;
    sin_half_outer_ = cos_half_outer_ = 0.7071067811865476;
    Complex singular[kMaxSingular];
    Piece pieces[kMaxPieces];

    if (l == 1.0) {
        add_fixed_nodes();
        return;
    }
    // A source the lens does not cut: one piece in mu where one takes it.
    if (l > 1.0 && add_source_in_mu(l, rho)) return;
    const bool cut = l > 0.0 && l < 1.0;
    if (cut) {
        // 1 - l from rho - u, exact for u next to rho.
        const double mu_l = std::sqrt(((rho - u) / rho) * (1.0 + l));
        theta_l_ = std::atan2(l, mu_l);
        outer_ = std::atan2(mu_l, l);  // pi/2 - theta_l
        mu_l_ = mu_l;
        end_ellipse_ = pole_at_limb_ && mu_l < kPoleReach ? kPoleEndEllipse : kEndEllipse;
        sincos_half(outer_, sin_half_outer_, cos_half_outer_);
    }
    const SingularSeeds seeds = singular_seeds(l, rho, theta_l_);
    // Both parts that touch the limb are laid out in the angle from the limb,
    // pi/2 - theta, where mu = sin(pi/2 - theta) keeps its digits
    // (add_limb_part).
    auto from_limb = [](Complex* points, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) points[i] = kHalfPi - points[i];
    };
    if (cut) {
        // Inner part, in the offset t = theta_l - theta from the lens; the
        // limb (singular for some bases, and where the nodes' motion has its
        // pole) lies beyond its lens end.
        std::size_t n = singular_points(seeds, l, true, true, false, singular);
        for (std::size_t i = 0; i < n; ++i) singular[i] = theta_l_ - singular[i];
        const Piece inner{0.0, theta_l_, PieceRule::LogAtStart};
        if (!add_whole(inner, std::span(singular, n), true, Side::Inner)) {
            const std::size_t count = partition(0.0, theta_l_, std::span(singular, n), PieceRule::LogAtStart,
                                                PieceRule::Gauss, end_ellipse_, pieces);
            for (std::size_t i = 0; i < count; ++i) add_theta_piece(pieces[i], Side::Inner);
        }
        // Outer part, in the angle from the limb: [0, pi/2 - theta_l].
        // (The limb's images, where a law of powers of sqrt(mu) is singular
        // too, lie beyond the lens's on either side, -theta_l and pi -
        // theta_l, on the same line through the part: they never bind.)
        n = singular_points(seeds, l, true, false, false, singular);
        from_limb(singular, n);
        add_limb_part(outer_, std::span(singular, n), Side::Outer);
        return;
    }
    // The lens at the centre or outside the source: one part, fixed nodes, in
    // the angle from the limb.
    const std::size_t n = singular_points(seeds, l, false, false, root_at_limb_ || log_at_limb_, singular);
    from_limb(singular, n);
    add_limb_part(kHalfPi, std::span(singular, n), Side::Uncut);
}

void SourcePass::add_limb_part(double b, std::span<const Complex> singular, Side side) {
    if (root_at_limb_) {
        add_root_part(b, singular, side);
        return;
    }
    if (log_at_limb_) {
        add_log_part(b, singular, side);
        return;
    }
    if (singular_at_limb_) {
        add_singular_limb_part(b, singular, side);
        return;
    }
    const bool at_lens = side == Side::Outer;
    const PieceRule end_rule = at_lens ? PieceRule::LogAtEnd : PieceRule::Gauss;
    if (add_whole(Piece{0.0, b, end_rule}, singular, at_lens, side)) return;
    Piece pieces[kMaxPieces];
    const std::size_t count = partition(0.0, b, singular, PieceRule::Gauss, end_rule, end_ellipse_, pieces);
    for (std::size_t i = 0; i < count; ++i) add_theta_piece(pieces[i], side);
}

void SourcePass::add_root_part(double c, std::span<const Complex> singular, Side side) {
    const bool at_lens = side == Side::Outer;
    const PieceRule end_rule = at_lens ? PieceRule::LogAtEnd : PieceRule::Gauss;
    // The whole part in s, t = c s^2, its singular points at sqrt(p/c): one
    // piece (add_whole's rules for a part in s), else a partition in s. Nor
    // do the partitions here merge a short last piece into the one before:
    // its ellipse would miss the part's singular end by up to 15 %, measured
    // as 4e-14 of A. So laid out, the values and derivatives are those of the
    // product rule in mu to within 1.1e-14 and 1.2e-11 on a dense sweep of l
    // and rho.
    Complex points[kMaxSingular + 1];
    std::size_t n = roots_for_tests(singular, c, points);
    root_scale_ = c;
    const bool whole = add_whole(Piece{0.0, 1.0, end_rule}, std::span(points, n), at_lens, side);
    root_scale_ = 0.0;
    if (whole) return;
    Piece in_s[kMaxPieces];
    const std::size_t count_s =
        partition(0.0, 1.0, std::span(points, n), PieceRule::Gauss, end_rule, end_ellipse_, in_s, false);
    // Or the limb piece [0, a] in s, t = a s^2, and the rest [a, c] in the
    // angle, partitioned there clear of the limb too, where that has fewer
    // nodes (every piece of a partition has 12; two pieces at least, so
    // never fewer than a partition in s of two). The limb piece is the
    // longest whose ellipse in s clears every point (and the lens at the
    // part's end), i.e. the ellipse of [0, sqrt(a)] in the plane of sqrt(t):
    // for a part at the lens of the rule of 14, which reaches past c/2,
    // where the lens's piece of 12 can begin (the rule of 16 on the ellipse
    // 2.6 reaches further, but its derivatives were measured off by 8e-14).
    const std::span<const RuleNode> limb_rule = at_lens ? kMidRule : kGaussRule;
    Piece rest[kMaxPieces];
    std::size_t count_rest = 0;
    double a = 0.0;
    bool limb_and_rest = false;
    if (count_s * kGaussRule.size() > limb_rule.size() + kGaussRule.size()) {
        // (sqrt(p) = sqrt(c) sqrt(p/c))
        const double root_c = std::sqrt(c);
        for (std::size_t i = 0; i < n; ++i) points[i] = points[i] * root_c;
        if (at_lens) points[n++] = Complex(root_c, 0.0);
        const double reach =
            clear_length(std::span(points, n), 0.0, at_lens ? kMidEllipse : kGaussEllipse, 1.0, root_c);
        a = reach * reach;
        n = 0;
        for (const Complex& p : singular) points[n++] = p;
        points[n++] = Complex(0.0, 0.0);
        count_rest = partition(a, c, std::span(points, n), PieceRule::Gauss, end_rule, end_ellipse_, rest, false);
        limb_and_rest = count_s * kGaussRule.size() > limb_rule.size() + count_rest * kGaussRule.size();
    }
    if (!limb_and_rest) {
        root_scale_ = c;
        for (std::size_t i = 0; i < count_s; ++i) add_theta_piece(in_s[i], side);
        root_scale_ = 0.0;
        return;
    }
    root_scale_ = a;
    add_theta_piece(Piece{0.0, 1.0, PieceRule::Gauss}, side, limb_rule);
    root_scale_ = 0.0;
    for (std::size_t i = 0; i < count_rest; ++i) add_theta_piece(rest[i], side);
}

void SourcePass::add_log_part(double b, std::span<const Complex> singular, Side side) {
    // In the angle t from the limb, mu ln mu = sin t (ln t + ln(sin t / t)):
    // analytic plus analytic times ln t, which the log rule takes at the
    // limb as it takes the lens. A part cut by the lens is two pieces, one at
    // each end, split halfway between where each may end, where two fit (of
    // 12 nodes each, else one of them of 16); otherwise the piece at the limb
    // is of 16 nodes. Against the product rule in mu, the rule of 12 at the
    // limb on the ellipse kEndEllipse without room to spare was measured off
    // by 1e-13 of A, and that of 16 on kLongLogEllipse by 4e-13; that of 16 on
    // kLimbLogEllipse, and the pieces of 12 split halfway, agreed to 5e-15
    // (the derivatives to 6e-14).
    const bool at_lens = side == Side::Outer;
    const Complex ends[2] = {Complex(0.0, 0.0), Complex(b, 0.0)};
    // The longest piece from an end whose ellipse clears every point and, in
    // a part cut by the lens, the other end.
    auto reach = [&](double from, double direction, double ellipse) {
        const double length = clear_length(singular, from, ellipse, direction, b);
        if (!at_lens) return length;
        return clear_length(std::span(direction > 0.0 ? ends + 1 : ends, 1), from, ellipse, direction, length);
    };
    const double limb_16 = reach(0.0, 1.0, kLimbLogEllipse);
    if (!at_lens && limb_16 >= b) {
        add_theta_piece(Piece{0.0, b, PieceRule::LogAtStart}, side, kLongLogRule);
        return;
    }
    if (at_lens) {
        const double limb_12 = reach(0.0, 1.0, end_ellipse_), lens_12 = reach(b, -1.0, end_ellipse_);
        const double lens_16 = reach(b, -1.0, kLongLogEllipse);
        const struct {
            double at_limb, at_lens;
            std::span<const RuleNode> limb_rule, lens_rule;
        } pairs[3] = {{limb_12, lens_12, kLogRule, kLogRule},
                      {limb_16, lens_12, kLongLogRule, kLogRule},
                      {limb_12, lens_16, kLogRule, kLongLogRule}};
        for (const auto& pair : pairs) {
            if (pair.at_limb + pair.at_lens < b) continue;
            const double split = 0.5 * (pair.at_limb + (b - pair.at_lens));
            add_theta_piece(Piece{0.0, split, PieceRule::LogAtStart}, side, pair.limb_rule);
            add_theta_piece(Piece{split, b, PieceRule::LogAtEnd}, side, pair.lens_rule);
            return;
        }
    }
    Piece pieces[kMaxPieces];
    const std::size_t count = partition(0.0, b, singular, PieceRule::LogAtStart,
                                        at_lens ? PieceRule::LogAtEnd : PieceRule::Gauss, end_ellipse_, pieces);
    add_theta_piece(pieces[0], side, kLongLogRule);
    for (std::size_t i = 1; i < count; ++i) add_theta_piece(pieces[i], side);
}

void SourcePass::add_limb_end(double hi, Side side, std::size_t rule_index) {
    // The limb piece, mu = mu_a sqrt(t): its end x_a = cos(hi) moves as the
    // outer nodes do, so d ln mu_a/du = -x_a/((1 + x_a)(rho - u)) and d ln
    // mu_a/drho = -(u/rho) times that (no motion when uncut).
    const double x_a = std::cos(hi);
    const double k_u = side == Side::Outer ? -x_a / ((1.0 + x_a) * (rho_ - u_)) : 0.0;
    add_limb_piece(std::sin(hi), k_u, rule_index);
}

void SourcePass::add_singular_limb_part(double b, std::span<const Complex> singular, Side side) {
    // A limb that some basis is singular at: the limb piece [0, a], in v =
    // mu^2 with product weights, and one piece [a, b] of the rule of 12,
    // else of a longer one, where the two fit (of the log rule with the lens
    // at b, of Gauss-Legendre where the lens does not cut the source). The
    // piece [a, b] keeps its ellipse clear of the limb, at 0; the limb piece
    // keeps its own clear of the lens (in v); a lies halfway between the
    // least and the most that the two allow. In v the lens's images across
    // the centre and the limb, -mu_l and mu_l in mu, which would bound a
    // piece in mu to mu_l/2, are the lens itself: the piece reaches
    // mu_l/sqrt(2) with 16 nodes, and mu_l/2 or further with 12 on their
    // wider ellipse.
    const bool at_lens = side == Side::Outer;
    const Complex ends[2] = {Complex(0.0, 0.0), Complex(b, 0.0)};
    // The limb piece in v = mu^2 = sin^2(t): the longest [0, v_a] whose
    // ellipse clears the lens (v_l = mu_l^2 = 1 - l^2), the branch points
    // and x = 0, v = 1 (a lens at the centre, or the outer side's own
    // singularity there), as an angle.
    Complex in_v[3] = {Complex(1.0, 0.0), branch_in_v(l_, rho_), Complex(0.0, 0.0)};
    std::size_t points = 2;
    if (l_ > 0.0) in_v[points++] = at_lens ? Complex(mu_l_ * mu_l_, 0.0) : lens_in_v(l_);
    // (b is the angle of the lens from the limb, mu_l = sin b, or pi/2)
    const double v_b = at_lens ? mu_l_ * mu_l_ : 1.0;
    // The limb piece's length as an angle, for the limb rule of 16 on its
    // ellipse (0) and that of 12 on the ellipse where its bound is the same
    // (1), formed when first asked for.
    double limb_length[2] = {-1.0, -1.0};
    auto limb_reach = [&](std::size_t limb) {
        if (limb_length[limb] < 0.0) {
            const double ellipse = limb == 0 ? end_ellipse_ : kShortLimbEllipse;
            limb_length[limb] = std::asin(std::sqrt(clear_length(std::span(in_v, points), 0.0, ellipse, 1.0, v_b)));
        }
        return limb_length[limb];
    };
    // (the rule of 12, then the longer ones on their wider ellipses, as in
    // add_whole; for each, the shorter limb rule first)
    auto limb_and = [&](double ellipse, std::span<const RuleNode> rule) {
        double length = clear_length(singular, b, ellipse, -1.0, b);
        length = clear_length(std::span(ends, 1), b, ellipse, -1.0, length);
        const double least = b - length;
        for (const std::size_t limb : {std::size_t(1), std::size_t(0)}) {
            if (!(least <= limb_reach(limb))) continue;
            const double a = 0.5 * (least + limb_length[limb]);
            add_limb_end(a, side, limb == 0 ? 0 : kShortLimb);
            add_theta_piece(Piece{a, b, at_lens ? PieceRule::LogAtEnd : PieceRule::Gauss}, side, rule);
            return true;
        }
        return false;
    };
    if (limb_and(at_lens ? end_ellipse_ : kGaussEllipse, {})) return;
    for (const LongRule& r : kLongRules) {
        if (limb_and(at_lens ? r.log_ellipse : r.gauss_ellipse, at_lens ? r.log : r.gauss)) return;
    }
    // Else the limb piece of 16, halfway between where the two rules reach,
    // and the rest [a, b] partitioned clear of the limb too.
    const double a = 0.5 * (limb_reach(1) + limb_reach(0));
    add_limb_end(a, side, 0);
    Complex rest[kMaxSingular + 1];
    std::size_t n = 0;
    for (const Complex& p : singular) rest[n++] = p;
    rest[n++] = ends[0];
    Piece pieces[kMaxPieces];
    const std::size_t count = partition(a, b, std::span(rest, n), PieceRule::Gauss,
                                        at_lens ? PieceRule::LogAtEnd : PieceRule::Gauss, end_ellipse_, pieces);
    for (std::size_t i = 0; i < count; ++i) add_theta_piece(pieces[i], side);
}

bool SourcePass::add_whole(const Piece& part, std::span<const Complex> singular, bool at_lens, Side side) {
    // The rule of 12 alone where its ellipse (that of its pieces,
    // source_mesh.hpp) holds the part; else the rule of 16 where the part
    // lies in the wider ellipse of the longer rule's own accuracy; else the
    // part is partitioned. The longer log rule stays off where a basis has a
    // pole at the limb, whose derivatives cancel near it (source_mesh.hpp).
    //
    // A part in s (root_scale_ > 0, add_root_part) takes Gauss-Legendre of 14
    // between the rules of 12 and 16, and that of 16 on 3.0, not 2.6: in s,
    // on 2.6, its derivatives were measured off by 2e-11 (and those of the
    // log rule of 14 on 4.5 by 3e-11: it is not used).
    const bool in_s = root_scale_ > 0.0;
    const double ellipse = at_lens ? end_ellipse_ : kGaussEllipse;
    const double clear = clear_ellipse(singular, part.lo, part.hi);
    if (clear >= half_sum(ellipse)) {
        add_theta_piece(part, side);
        return true;
    }
    const bool long_allowed = !at_lens || end_ellipse_ == kEndEllipse;
    if (!long_allowed) return false;
    if (in_s && !at_lens && clear >= half_sum(kMidEllipse)) {
        add_theta_piece(part, side, kMidRule);
        return true;
    }
    for (const LongRule& r : kLongRules) {
        if (clear < half_sum(at_lens ? r.log_ellipse : in_s ? r.root_ellipse : r.gauss_ellipse)) continue;
        add_theta_piece(part, side, at_lens ? r.log : r.gauss);
        return true;
    }
    return false;
}

void SourcePass::evaluate_kernel() {
    const std::size_t n = count_;
    a_.resize(n);
    g_.resize(n);
    if (!gradient_) {
        ring_batch(u_, radius_.data(), delta_.data(), n, a_.data());
        for (std::size_t i = 0; i < n; ++i) {
            const double g = measure_[i] * (a_[i] - 1.0);
            g_[i] = std::isfinite(g) ? g : 0.0;
        }
        return;
    }
    a_u_.resize(n);
    a_r_.resize(n);
    g_u_.resize(n);
    g_rho_.resize(n);
    g_motion_.resize(n);
    ring_gradient_batch(u_, radius_.data(), delta_.data(), n, a_.data(), a_u_.data(), a_r_.data());
    for (std::size_t i = 0; i < n; ++i) {
        // g = m (A - 1) and its total derivatives along the motion
        //   g_u   = m_u (A - 1) + m (A_u + A_r rho x_u),
        //   g_rho = -(u/rho) m_u (A - 1) + m A_r (x - (u/rho) rho x_u);
        // and m (A - 1) mu_u, which multiplies a basis's slope.
        const double excess = a_[i] - 1.0;
        const double g = measure_[i] * excess;
        const double r_u = rho_ * x_u_[i];
        const double g_u = measure_u_[i] * excess + measure_[i] * (a_u_[i] + a_r_[i] * r_u);
        const double g_rho =
            (follow_ * measure_u_[i]) * excess + measure_[i] * (a_r_[i] * (x_[i] + follow_ * r_u));
        const bool value_ok = std::isfinite(g);
        const bool slope_ok = value_ok && std::isfinite(g_u) && std::isfinite(g_rho);
        g_[i] = value_ok ? g : 0.0;
        g_u_[i] = slope_ok ? g_u : 0.0;
        g_rho_[i] = slope_ok ? g_rho : 0.0;
        g_motion_[i] = slope_ok ? g * mu_u_[i] : 0.0;
    }
}

void SourcePass::accumulate(std::span<BasisIntegral> out) {
    const std::size_t n = count_;
    value_.resize(n);
    if (gradient_) slope_.resize(n);
    // The node ranges a basis's plain rule takes: all, or those between the
    // limb pieces for a basis with product weights there (its values are
    // neither formed nor read on the limb pieces).
    auto for_ranges = [&](bool skip_limb, auto&& body) {
        std::size_t from = 0;
        if (skip_limb) {
            for (const LimbPiece& piece : limb_pieces_) {
                if (piece.first > from) body(from, piece.first);
                from = piece.first + limb_rule(piece.rule).size();
            }
        }
        if (n > from) body(from, n);
    };
    auto for_nodes = [&](bool skip_limb, auto&& body) {
        for_ranges(skip_limb, [&](std::size_t lo, std::size_t hi) {
            for (std::size_t i = lo; i < hi; ++i) body(i);
        });
    };
    // ln mu and sqrt(mu), once for all the bases that read them, on the
    // nodes those bases take.
    if (needs_log_) {
        log_mu_.resize(n);
        for_ranges(log_skips_limb_, [&](std::size_t lo, std::size_t hi) {
            log_of_nodes(std::span<const double>(mu_.data() + lo, hi - lo), std::span<double>(log_mu_.data() + lo, hi - lo));
        });
    }
    if (needs_root_) {
        root_mu_.resize(n);
        for_ranges(root_skips_limb_, [&](std::size_t lo, std::size_t hi) {
            roots_of_nodes(std::span<const double>(mu_.data() + lo, hi - lo), std::span<double>(root_mu_.data() + lo, hi - lo));
        });
    }
    // The product rules' integrand at the limb pieces' nodes, 2 pi (A_ring -
    // 1) and its slopes, once for every basis that takes them: 0 where it is
    // not finite (h), and the slopes with h_d, its h, 0 where either slope
    // is not finite too (as the double-exponential rule counts them).
    if (singular_at_limb_ && !limb_pieces_.empty()) {
        limb_h_.resize(n);
        if (gradient_) {
            limb_h_d_.resize(n);
            limb_h_u_.resize(n);
            limb_h_rho_.resize(n);
        }
        for (const LimbPiece& piece : limb_pieces_) {
            const std::size_t end = piece.first + limb_rule(piece.rule).size();
            if (!gradient_) {
                // (finite h as h - h == 0: the same test, without a branch)
                for (std::size_t i = piece.first; i < end; ++i) {
                    const double h = kTwoPi * (a_[i] - 1.0);
                    limb_h_[i] = h - h == 0.0 ? h : 0.0;
                }
                continue;
            }
            for (std::size_t i = piece.first; i < end; ++i) {
                const double h = kTwoPi * (a_[i] - 1.0);
                const bool ok = std::isfinite(h);
                limb_h_[i] = ok ? h : 0.0;
                const double r_u = rho_ * x_u_[i];
                const double h_u = kTwoPi * (a_u_[i] + a_r_[i] * r_u);
                const double h_rho = kTwoPi * (a_r_[i] * (x_[i] + follow_ * r_u));
                const bool slopes_ok = ok && std::isfinite(h_u) && std::isfinite(h_rho);
                limb_h_d_[i] = slopes_ok ? h : 0.0;
                limb_h_u_[i] = slopes_ok ? h_u : 0.0;
                limb_h_rho_[i] = slopes_ok ? h_rho : 0.0;
            }
        }
    }
    if (plain_set_ != 0) {
        // the plain forms' bases (plain_set_), in one pass
        std::array<double, kPlainForms> sums{};
        plain_sums_of[plain_set_](n, g_.data(), mu_.data(), needs_root_ ? root_mu_.data() : nullptr,
                                 needs_log_ ? log_mu_.data() : nullptr, sums.data());
        for (unsigned form = 0; form < kPlainForms; ++form) {
            if ((plain_set_ >> form) & 1u) out[plain_basis_[form]] = BasisIntegral{sums[form], 0.0, 0.0};
        }
    }
    for (std::size_t b = 0; b < bases_.size(); ++b) {
        if (in_plain_pass_[b]) continue;  // (summed above)
        const Basis& basis = bases_[b];
        const LimbWeights& lw = limb_weights_[b];
        const bool product = !lw[0].plain.empty();
        const double gamma = basis.exponent();
        double excess = 0.0, d_u = 0.0, d_rho = 0.0;
        for_ranges(product, [&](std::size_t lo, std::size_t hi) {
            const std::size_t m = hi - lo;
            basis.evaluate(std::span<const double>(mu_.data() + lo, m),
                           std::span<const double>(log_mu_.data() + lo, needs_log_ ? m : 0),
                           std::span<const double>(root_mu_.data() + lo, needs_root_ ? m : 0),
                           std::span<double>(value_.data() + lo, m),
                           gradient_ ? std::span<double>(slope_.data() + lo, m) : std::span<double>());
        });
        if (!gradient_) {
            for_nodes(product, [&](std::size_t i) { excess = excess + value_[i] * g_[i]; });
        } else {
            for_nodes(product, [&](std::size_t i) {
                excess = excess + value_[i] * g_[i];
                d_u = d_u + (slope_[i] * g_motion_[i] + value_[i] * g_u_[i]);
                d_rho = d_rho + ((slope_[i] * g_motion_[i]) * follow_ + value_[i] * g_rho_[i]);
            });
        }
        if (product) {
            // The weight of the product rule: b mu dmu = v^(gamma/2) [ln(v)/2]
            // dv/2, v = mu_a^2 t on the piece, is mu_a^(gamma+2) times the
            // rule's sum (and ln mu_a times the plain one's).
            const bool logarithmic = basis.kind() == Basis::Kind::PowerLog;
            for (const LimbPiece& piece : limb_pieces_) {
                const double scale = std::pow(piece.scale, gamma + 2.0);
                // mu^(gamma + 1) below the least double on the whole piece (a
                // huge power): it adds nothing (its weights may not be finite).
                if (scale == 0.0) continue;
                const double log_scale = logarithmic ? std::log(piece.scale) : 0.0;
                const double k_rho = follow_ * piece.k_u;
                double sum = 0.0, sum_u = 0.0, sum_rho = 0.0;
                const ProductWeights& pw = lw[piece.rule];
                const std::size_t m = pw.plain.size();
                for (std::size_t j = 0; j < m; ++j) {
                    const std::size_t i = piece.first + j;
                    const double w = logarithmic ? log_scale * pw.plain[j] + pw.log[j] : pw.plain[j];
                    sum = sum + w * limb_h_[i];
                    if (!gradient_) continue;
                    // d/du of b mu dmu-measure: (gamma + 2) k_u in the family, plus
                    // k_u mu^(gamma+1) for the logarithm's own slope.
                    const double h = limb_h_d_[i];
                    const double extra = logarithmic ? pw.plain[j] * h : 0.0;
                    sum_u = sum_u + (((gamma + 2.0) * piece.k_u) * (w * h) + piece.k_u * extra + w * limb_h_u_[i]);
                    sum_rho = sum_rho + (((gamma + 2.0) * k_rho) * (w * h) + k_rho * extra + w * limb_h_rho_[i]);
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
    evaluate_kernel();
    accumulate(out);
}

}  // namespace magnifex
