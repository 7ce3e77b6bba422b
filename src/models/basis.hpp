// Basis profiles of the limb-darkening laws. Every standard law is linear in
// its coefficients over a few functions of mu = sqrt(1 - x^2) (x the radius in
// source radii): I(mu) = sum_b w_b b(mu), with
//   power       b = mu^gamma          (gamma >= 0: 1, sqrt(mu), mu, mu^(3/2), mu^2, mu^alpha)
//   power-log   b = mu^gamma ln mu    (gamma > 0: mu ln mu, and d(mu^alpha)/d alpha)
//   exponential b = 1/(1 - e^mu)      (~ -1/mu at the limb: infinitely bright there)
// so a source of any law is described by the magnified fluxes of its bases.
// A basis knows its value and slope, its flux N_b = 2 pi int_0^1 b mu dmu,
// its radial moments (far-field series) and how it behaves at the limb
// (mu -> 0), where b mu is what a ring of the source contributes per unit mu.
#pragma once

#include <cstddef>
#include <span>

namespace magnifex {

// ln mu_i of a source's nodes (0 <= mu_i <= 1), for Basis::evaluate.
void log_of_nodes(std::span<const double> mu, std::span<double> out);
// sqrt(mu_i) of a source's nodes (correctly rounded), for Basis::evaluate:
// formed once for every basis of a half-integer power.
void roots_of_nodes(std::span<const double> mu, std::span<double> out);

class Basis {
public:
    enum class Kind { Power, PowerLog, Exponential };

    // The constant profile, mu^0.
    Basis() : Basis(Kind::Power, 0.0) {}
    static Basis power(double gamma) { return Basis(Kind::Power, gamma); }
    static Basis power_log(double gamma) { return Basis(Kind::PowerLog, gamma); }
    static Basis exponential() { return Basis(Kind::Exponential, 0.0); }

    Kind kind() const { return kind_; }
    double exponent() const { return gamma_; }
    bool operator==(const Basis& other) const { return kind_ == other.kind_ && gamma_ == other.gamma_; }

    // b(mu_i) and, when `slope` is not empty, db/dmu at mu_i, for the n =
    // mu.size() nodes 0 < mu_i <= 1 of a source; log_mu[i] = ln mu_i is read
    // only when needs_log() (a power other than 0, 1/2, 1, 3/2, 2, or a
    // power-log: mu^gamma = e^(gamma ln mu), two nodes at a time), root_mu[i]
    // = sqrt(mu_i) only when needs_root() (mu^(1/2), mu^(3/2)).
    void evaluate(std::span<const double> mu, std::span<const double> log_mu, std::span<const double> root_mu,
                  std::span<double> value, std::span<double> slope) const;
    bool needs_log() const;
    bool needs_root() const;

    // N_b = 2 pi int_0^1 b(mu) mu dmu.
    double flux() const;

    // M_k = 2 pi int_0^1 b(mu) mu (1 - mu^2)^k dmu = int_0^1 2 pi x b x^(2k) dx,
    // k = 0 .. moments.size() - 1, and the same with |b| (a majorant).
    void moments(std::span<double> moments, std::span<double> majorants) const;

    // b is a polynomial in v = mu^2 = 1 - x^2 (an even power of mu), which a
    // rule on nodes of v near the limb integrates as it stands; otherwise b
    // = v^(gamma/2) or v^(gamma/2) ln(v)/2 there, which such a rule
    // integrates exactly only with weights of its own (an odd power too,
    // analytic in mu but going as sqrt(v)).
    bool polynomial_in_v() const;
    // b(0): 1 for mu^0, 0 for the other powers and power-logs, -inf for the
    // exponential basis.
    double limb_value() const;

private:
    Basis(Kind kind, double gamma) : kind_(kind), gamma_(gamma) {}
    Kind kind_;
    double gamma_;
};

}  // namespace magnifex
