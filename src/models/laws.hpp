// Limb-darkening laws in batman's names and conventions (Kreidberg 2015,
// PASP 127, 1161), mu = sqrt(1 - x^2):
//   uniform      1
//   linear       1 - a (1 - mu)                                 (a)
//   quadratic    1 - a (1 - mu) - b (1 - mu)^2                  (a, b)
//   squareroot   1 - c (1 - mu) - d (1 - sqrt(mu))              (c, d)
//   logarithmic  1 - c (1 - mu) - d mu ln mu                    (c, d)
//   exponential  1 - c (1 - mu) - d / (1 - e^mu)                (c, d)
//   power2       1 - c (1 - mu^alpha)                           (c, alpha)    (Hestroffer 1997)
//   nonlinear    1 - sum_k c_k (1 - mu^(k/2)), k = 1..4          (c1 .. c4)    (Claret 2000)
// Each law is a small type that writes itself as a sum of basis profiles
// (basis.hpp) with weights linear in its coefficients, and the slopes of
// those weights in each coefficient; power2's alpha, the one coefficient on
// which a basis depends, adds c mu^alpha ln mu as the slope in alpha.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "models/basis.hpp"

namespace magnifex {

inline constexpr std::size_t kMaxCoefficients = 4;

// One term w b(mu) of a law, with dw/dc_k.
struct LawTerm {
    Basis basis;
    double weight;
    std::array<double, kMaxCoefficients> slopes;
};

// A law at given coefficients: its terms (at most 6: nonlinear's five and
// power2's three).
struct LawExpansion {
    std::array<LawTerm, 6> terms{};
    std::size_t count = 0;
    void add(Basis basis, double weight, std::array<double, kMaxCoefficients> slopes) {
        terms[count++] = LawTerm{basis, weight, slopes};
    }
};

// What is wrong with a law's coefficients, if anything.
enum class LawProblem { None, NonFinite, AlphaNotPositive };

// How a law's bases behave at the limb, for any coefficients (the nodes of
// a call must not depend on the coefficients, so that each band of a call is
// computed as it would be alone); it sets how the source pass lays out the
// parts of the source that touch the limb (models/source_pass.hpp).
enum class LimbBehaviour {
    Analytic,    // polynomials in mu
    RootPowers,  // powers of sqrt(mu), some not integer
    Logarithmic, // polynomials in mu and mu ln mu: log-singular at the limb, as at the lens
    Singular,    // some basis none of these (mu^alpha)
    Pole,        // the exponential basis, -1/mu at the limb
};

struct Law {
    std::string_view name;
    std::span<const std::string_view> coefficient_names;
    // The coefficients when the caller gives none; `has_defaults` false: the
    // caller must give them.
    std::span<const double> defaults;
    bool has_defaults;
    LimbBehaviour limb;
    LawProblem (*check)(std::span<const double> coefficients);
    void (*expand)(std::span<const double> coefficients, LawExpansion& out);
};

// The laws in the order above.
std::span<const Law> laws();
// The law of that name, or null.
const Law* find_law(std::string_view name);

}  // namespace magnifex
