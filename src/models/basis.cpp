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

#include "numerics/source_rules_table.hpp"

namespace magnifex {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

double raise(double mu, double gamma) {
    if (gamma == 0.0) return 1.0;
    if (gamma == 1.0) return mu;
    if (gamma == 2.0) return mu * mu;
    if (gamma == 0.5) return std::sqrt(mu);
    if (gamma == 1.5) return mu * std::sqrt(mu);
    return std::pow(mu, gamma);
}

bool is_integer(double gamma) { return gamma >= 0.0 && gamma == std::floor(gamma); }

// 1/(1 - e^mu), formed from expm1 so that small mu keeps its digits.
double exponential_basis(double mu) { return -1.0 / std::expm1(mu); }

}  // namespace

double Basis::value(double mu) const {
    switch (kind_) {
        case Kind::Power:
            return raise(mu, gamma_);
        case Kind::PowerLog:
            return raise(mu, gamma_) * std::log(mu);
        case Kind::Exponential:
            return exponential_basis(mu);
    }
    return 0.0;
}

double Basis::slope(double mu) const {
    switch (kind_) {
        case Kind::Power:
            return gamma_ == 0.0 ? 0.0 : gamma_ * raise(mu, gamma_ - 1.0);
        case Kind::PowerLog:
            return raise(mu, gamma_ - 1.0) * (gamma_ * std::log(mu) + 1.0);
        case Kind::Exponential: {
            // d/dmu 1/(1 - e^mu) = e^mu/(e^mu - 1)^2
            const double m = std::expm1(mu);
            return (m + 1.0) / (m * m);
        }
    }
    return 0.0;
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

bool Basis::analytic_at_limb() const {
    return kind_ == Kind::Exponential || (kind_ == Kind::Power && is_integer(gamma_));
}

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
