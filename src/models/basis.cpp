// Basis profiles (basis.hpp). The moments of the powers are Beta functions,
//   2 pi int_0^1 mu^gamma mu (1 - mu^2)^k dmu = pi B(k + 1, gamma/2 + 1)
// (t = 1 - mu^2; DLMF 5.12.1), by the recurrence B(k + 1, c) = B(k, c) k/(k + c);
// those of the power-logs are their derivatives in gamma,
//   d/dgamma ln B(k + 1, gamma/2 + 1) = -1/(gamma + 2) - sum_{j=1..k} 1/(2j + gamma + 2);
// those of the exponential basis, which has no closed form, come from the
// 32-point Gauss-Legendre rule in mu: mu/(1 - e^mu) is analytic, with its
// nearest poles at mu = +-2 pi i, so the rule is exact to rounding for every
// moment the far-field series uses.
#include "models/basis.hpp"

#include <cmath>
#include <limits>

#include "elliptic/lanes_dispatch.hpp"
#include "models/basis_runs.hpp"
#include "numerics/source_rules_table.hpp"

namespace magnifex {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool is_integer(double gamma) { return gamma >= 0.0 && gamma == std::floor(gamma); }

// 1/(1 - e^mu), formed from expm1 so that small mu keeps its digits.
double exponential_basis(double mu) { return -1.0 / std::expm1(mu); }

// The powers with a form of their own (no logarithm).
bool is_plain_power(double gamma) {
    return gamma == 0.0 || gamma == 1.0 || gamma == 2.0 || gamma == 0.5 || gamma == 1.5;
}

// e^(gamma ln mu_i) into out over the widest lanes the CPU has.
void powers(double gamma, std::span<const double> log_mu, double* out) {
    using Run = decltype(&basis_runs::power_run_sse2);
    static const Run run = lanes::widest_supported<Run>(basis_runs::power_run_sse2, basis_runs::power_run_avx2,
                                                        basis_runs::power_run_avx512);
    run(gamma, log_mu.data(), out, log_mu.size());
}

// e^mu_i - 1 (0 <= mu_i <= 1) into out over the widest lanes the CPU has.
void exponentials_less_one(std::span<const double> mu, double* out) {
    using Run = decltype(&basis_runs::expm1_run_sse2);
    static const Run run =
        lanes::widest_supported<Run>(basis_runs::expm1_run_sse2, basis_runs::expm1_run_avx2, basis_runs::expm1_run_avx512);
    run(mu.data(), out, mu.size());
}

// sqrt(mu_i) into out over the widest lanes the CPU has (correctly rounded,
// as std::sqrt).
void square_roots(std::span<const double> mu, double* out) {
    using Run = decltype(&basis_runs::sqrt_run_sse2);
    static const Run run =
        lanes::widest_supported<Run>(basis_runs::sqrt_run_sse2, basis_runs::sqrt_run_avx2, basis_runs::sqrt_run_avx512);
    run(mu.data(), out, mu.size());
}

}  // namespace

void log_of_nodes(std::span<const double> mu, std::span<double> out) {
    using Run = decltype(&basis_runs::log_run_sse2);
    static const Run run =
        lanes::widest_supported<Run>(basis_runs::log_run_sse2, basis_runs::log_run_avx2, basis_runs::log_run_avx512);
    run(mu.data(), out.data(), mu.size());
    // The lanes take normal numbers: a node within 2e-308 of the limb (or on it) from the library.
    for (std::size_t i = 0; i < mu.size(); ++i) {
        if (!(mu[i] >= std::numeric_limits<double>::min())) out[i] = std::log(mu[i]);
    }
}

void roots_of_nodes(std::span<const double> mu, std::span<double> out) { square_roots(mu, out.data()); }

bool Basis::needs_root() const { return kind_ == Kind::Power && (gamma_ == 0.5 || gamma_ == 1.5); }

bool Basis::needs_log() const {
    return kind_ == Kind::PowerLog || (kind_ == Kind::Power && !is_plain_power(gamma_));
}

void Basis::evaluate(std::span<const double> mu, std::span<const double> log_mu, std::span<const double> root_mu,
                     std::span<double> value, std::span<double> slope) const {
    const std::size_t n = mu.size();
    const bool slopes = !slope.empty();
    switch (kind_) {
        case Kind::Power:
            if (gamma_ == 0.0) {
                for (std::size_t i = 0; i < n; ++i) value[i] = 1.0;
                if (slopes) for (std::size_t i = 0; i < n; ++i) slope[i] = 0.0;
            } else if (gamma_ == 1.0) {
                for (std::size_t i = 0; i < n; ++i) value[i] = mu[i];
                if (slopes) for (std::size_t i = 0; i < n; ++i) slope[i] = 1.0;
            } else if (gamma_ == 2.0) {
                for (std::size_t i = 0; i < n; ++i) value[i] = mu[i] * mu[i];
                if (slopes) for (std::size_t i = 0; i < n; ++i) slope[i] = 2.0 * mu[i];
            } else if (gamma_ == 0.5) {
                for (std::size_t i = 0; i < n; ++i) value[i] = root_mu[i];
                if (slopes) for (std::size_t i = 0; i < n; ++i) slope[i] = 0.5 / root_mu[i];
            } else if (gamma_ == 1.5) {
                for (std::size_t i = 0; i < n; ++i) value[i] = mu[i] * root_mu[i];
                if (slopes) for (std::size_t i = 0; i < n; ++i) slope[i] = 1.5 * root_mu[i];
            } else {
                powers(gamma_, log_mu, value.data());
                if (slopes) for (std::size_t i = 0; i < n; ++i) slope[i] = gamma_ * (value[i] / mu[i]);
            }
            return;
        case Kind::PowerLog:
            // mu^gamma ln mu and its slope mu^(gamma - 1) (gamma ln mu + 1);
            // the logarithmic law's mu ln mu from mu itself
            if (gamma_ == 1.0) {
                for (std::size_t i = 0; i < n; ++i) {
                    if (slopes) slope[i] = log_mu[i] + 1.0;
                    value[i] = mu[i] * log_mu[i];
                }
                return;
            }
            powers(gamma_, log_mu, value.data());
            for (std::size_t i = 0; i < n; ++i) {
                if (slopes) slope[i] = (value[i] / mu[i]) * (gamma_ * log_mu[i] + 1.0);
                value[i] = value[i] * log_mu[i];
            }
            return;
        case Kind::Exponential:
            // 1/(1 - e^mu) and its slope e^mu/(e^mu - 1)^2, from e^mu - 1
            // (formed in value, then overwritten)
            exponentials_less_one(mu, value.data());
            for (std::size_t i = 0; i < n; ++i) {
                const double m = value[i];
                value[i] = -1.0 / m;
                if (slopes) slope[i] = (m + 1.0) / (m * m);
            }
            return;
    }
}

double Basis::flux() const {
    switch (kind_) {
        case Kind::Power:
            return kTwoPi / (gamma_ + 2.0);
        case Kind::PowerLog:
            return -kTwoPi / ((gamma_ + 2.0) * (gamma_ + 2.0));
        case Kind::Exponential: {
            double moment = 0.0, majorant = 0.0;
            moments(std::span<double>(&moment, 1), std::span<double>(&majorant, 1));
            return moment;
        }
    }
    return 0.0;
}

void Basis::moments(std::span<double> out, std::span<double> majorants) const {
    const std::size_t count = out.size();
    switch (kind_) {
        case Kind::Power:
        case Kind::PowerLog: {
            const double c = gamma_ * 0.5 + 1.0;
            double beta_k = kTwoPi / (gamma_ + 2.0);  // pi B(1, c)
            double log_slope = -1.0 / (gamma_ + 2.0);
            for (std::size_t k = 0; k < count; ++k) {
                if (k > 0) {
                    beta_k = beta_k * (double(k) / (double(k) + c));
                    log_slope = log_slope - 1.0 / (2.0 * double(k) + gamma_ + 2.0);
                }
                out[k] = kind_ == Kind::Power ? beta_k : beta_k * log_slope;
                majorants[k] = std::fabs(out[k]);  // b has one sign on (0, 1)
            }
            return;
        }
        case Kind::Exponential: {
            for (std::size_t k = 0; k < count; ++k) out[k] = 0.0;
            for (const RuleNode& node : GAUSS_LEGENDRE_32) {
                const double mu = node.node;
                const double s = node.complement * (1.0 + mu);  // 1 - mu^2
                double term = (kTwoPi * node.weight) * (mu * exponential_basis(mu));
                for (std::size_t k = 0; k < count; ++k) {
                    out[k] = out[k] + term;
                    term = term * s;
                }
            }
            for (std::size_t k = 0; k < count; ++k) majorants[k] = std::fabs(out[k]);  // b < 0 on (0, 1]
            return;
        }
    }
}

bool Basis::polynomial_in_v() const { return kind_ == Kind::Power && is_integer(0.5 * gamma_); }

double Basis::limb_value() const {
    switch (kind_) {
        case Kind::Power:
            return gamma_ == 0.0 ? 1.0 : 0.0;
        case Kind::PowerLog:
            return 0.0;
        case Kind::Exponential:
            return -kInfinity;
    }
    return 0.0;
}

}  // namespace magnifex
