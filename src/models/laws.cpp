#include "models/laws.hpp"

#include <cmath>

namespace magnifex {

namespace {

using Slopes = std::array<double, kMaxCoefficients>;

struct Uniform {
    static constexpr std::string_view name = "uniform";
    static constexpr std::array<std::string_view, 0> coefficients{};
    static constexpr std::array<double, 0> defaults{};
    static constexpr bool has_defaults = true;
    static constexpr LimbBehaviour limb = LimbBehaviour::Analytic;
    static void expand(std::span<const double>, LawExpansion& out) { out.add(Basis::power(0.0), 1.0, Slopes{}); }
};

// 1 - a (1 - mu) = (1 - a) + a mu
struct Linear {
    static constexpr std::string_view name = "linear";
    static constexpr std::array<std::string_view, 1> coefficients{"a"};
    static constexpr std::array<double, 1> defaults{0.6};
    static constexpr bool has_defaults = true;
    static constexpr LimbBehaviour limb = LimbBehaviour::Analytic;
    static void expand(std::span<const double> c, LawExpansion& out) {
        out.add(Basis::power(0.0), 1.0 - c[0], Slopes{-1.0});
        out.add(Basis::power(1.0), c[0], Slopes{1.0});
    }
};

// 1 - a (1 - mu) - b (1 - mu)^2 = (1 - a - b) + (a + 2b) mu - b mu^2
struct Quadratic {
    static constexpr std::string_view name = "quadratic";
    static constexpr std::array<std::string_view, 2> coefficients{"a", "b"};
    static constexpr std::array<double, 0> defaults{};
    static constexpr bool has_defaults = false;
    static constexpr LimbBehaviour limb = LimbBehaviour::Analytic;
    static void expand(std::span<const double> c, LawExpansion& out) {
        out.add(Basis::power(0.0), (1.0 - c[0]) - c[1], Slopes{-1.0, -1.0});
        out.add(Basis::power(1.0), c[0] + 2.0 * c[1], Slopes{1.0, 2.0});
        out.add(Basis::power(2.0), -c[1], Slopes{0.0, -1.0});
    }
};

// 1 - c (1 - mu) - d (1 - sqrt(mu)) = (1 - c - d) + c mu + d sqrt(mu)
struct SquareRoot {
    static constexpr std::string_view name = "squareroot";
    static constexpr std::array<std::string_view, 2> coefficients{"c", "d"};
    static constexpr std::array<double, 0> defaults{};
    static constexpr bool has_defaults = false;
    static constexpr LimbBehaviour limb = LimbBehaviour::RootPowers;
    static void expand(std::span<const double> c, LawExpansion& out) {
        out.add(Basis::power(0.0), (1.0 - c[0]) - c[1], Slopes{-1.0, -1.0});
        out.add(Basis::power(1.0), c[0], Slopes{1.0, 0.0});
        out.add(Basis::power(0.5), c[1], Slopes{0.0, 1.0});
    }
};

// 1 - c (1 - mu) - d mu ln mu = (1 - c) + c mu - d mu ln mu
struct Logarithmic {
    static constexpr std::string_view name = "logarithmic";
    static constexpr std::array<std::string_view, 2> coefficients{"c", "d"};
    static constexpr std::array<double, 0> defaults{};
    static constexpr bool has_defaults = false;
    static constexpr LimbBehaviour limb = LimbBehaviour::Logarithmic;
    static void expand(std::span<const double> c, LawExpansion& out) {
        out.add(Basis::power(0.0), 1.0 - c[0], Slopes{-1.0, 0.0});
        out.add(Basis::power(1.0), c[0], Slopes{1.0, 0.0});
        out.add(Basis::power_log(1.0), -c[1], Slopes{0.0, -1.0});
    }
};

// 1 - c (1 - mu) - d/(1 - e^mu) = (1 - c) + c mu - d/(1 - e^mu)
struct Exponential {
    static constexpr std::string_view name = "exponential";
    static constexpr std::array<std::string_view, 2> coefficients{"c", "d"};
    static constexpr std::array<double, 0> defaults{};
    static constexpr bool has_defaults = false;
    static constexpr LimbBehaviour limb = LimbBehaviour::Pole;
    static void expand(std::span<const double> c, LawExpansion& out) {
        out.add(Basis::power(0.0), 1.0 - c[0], Slopes{-1.0, 0.0});
        out.add(Basis::power(1.0), c[0], Slopes{1.0, 0.0});
        out.add(Basis::exponential(), -c[1], Slopes{0.0, -1.0});
    }
};

// 1 - c (1 - mu^alpha) = (1 - c) + c mu^alpha; d/dalpha = c mu^alpha ln mu.
struct Power2 {
    static constexpr std::string_view name = "power2";
    static constexpr std::array<std::string_view, 2> coefficients{"c", "alpha"};
    static constexpr std::array<double, 0> defaults{};
    static constexpr bool has_defaults = false;
    static constexpr LimbBehaviour limb = LimbBehaviour::Singular;
    static LawProblem check(std::span<const double> c) {
        return c[1] > 0.0 ? LawProblem::None : LawProblem::AlphaNotPositive;
    }
    static void expand(std::span<const double> c, LawExpansion& out) {
        out.add(Basis::power(0.0), 1.0 - c[0], Slopes{-1.0, 0.0});
        out.add(Basis::power(c[1]), c[0], Slopes{1.0, 0.0});
        out.add(Basis::power_log(c[1]), 0.0, Slopes{0.0, c[0]});
    }
};

// 1 - sum_k c_k (1 - mu^(k/2)) = (1 - c1 - c2 - c3 - c4) + sum_k c_k mu^(k/2)
struct Nonlinear {
    static constexpr std::string_view name = "nonlinear";
    static constexpr std::array<std::string_view, 4> coefficients{"c1", "c2", "c3", "c4"};
    static constexpr std::array<double, 0> defaults{};
    static constexpr bool has_defaults = false;
    static constexpr LimbBehaviour limb = LimbBehaviour::RootPowers;
    static void expand(std::span<const double> c, LawExpansion& out) {
        out.add(Basis::power(0.0), (((1.0 - c[0]) - c[1]) - c[2]) - c[3], Slopes{-1.0, -1.0, -1.0, -1.0});
        out.add(Basis::power(0.5), c[0], Slopes{1.0, 0.0, 0.0, 0.0});
        out.add(Basis::power(1.0), c[1], Slopes{0.0, 1.0, 0.0, 0.0});
        out.add(Basis::power(1.5), c[2], Slopes{0.0, 0.0, 1.0, 0.0});
        out.add(Basis::power(2.0), c[3], Slopes{0.0, 0.0, 0.0, 1.0});
    }
};

// Every coefficient finite, and what the law itself asks beyond that.
template <class L>
LawProblem check(std::span<const double> c) {
    for (const double v : c) {
        if (!std::isfinite(v)) return LawProblem::NonFinite;
    }
    if constexpr (requires { L::check(c); }) return L::check(c);
    return LawProblem::None;
}

template <class L>
constexpr Law describe() {
    return Law{L::name, L::coefficients, L::defaults, L::has_defaults, L::limb, check<L>, L::expand};
}

constexpr std::array<Law, 8> kLaws{describe<Uniform>(),     describe<Linear>(),      describe<Quadratic>(),
                                   describe<SquareRoot>(),  describe<Logarithmic>(), describe<Exponential>(),
                                   describe<Power2>(),      describe<Nonlinear>()};

}  // namespace

std::span<const Law> laws() { return kLaws; }

const Law* find_law(std::string_view name) {
    for (const Law& law : kLaws) {
        if (law.name == name) return &law;
    }
    return nullptr;
}

}  // namespace magnifex
