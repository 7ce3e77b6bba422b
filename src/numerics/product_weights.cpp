#include "numerics/product_weights.hpp"

#include <cstddef>

namespace magnifex {

// The rules in use have at most 32 nodes.
constexpr std::size_t kMaxNodes = 32;

void product_weights(std::span<const RuleNode> rule, double a, bool logarithmic, std::span<double> out) {
    const std::size_t n = rule.size() < kMaxNodes ? rule.size() : kMaxNodes;
    double moment[kMaxNodes];
    double m = 1.0 / (a + 1.0);
    double dm = -m / (a + 1.0);
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0) {
            const double kk = double(k);
            const double factor = (a - kk + 1.0) / (a + kk + 1.0);
            const double factor_slope = (2.0 * kk) / ((a + kk + 1.0) * (a + kk + 1.0));
            dm = dm * factor + m * factor_slope;
            m = m * factor;
        }
        moment[k] = logarithmic ? dm : m;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const double y = rule[i].node - rule[i].complement;  // 2v - 1
        double p_previous = 1.0, p = y;
        double sum = moment[0];
        for (std::size_t k = 1; k < n; ++k) {
            sum = sum + (2.0 * double(k) + 1.0) * p * moment[k];
            const double kk = double(k);
            const double p_next = ((2.0 * kk + 1.0) * y * p - kk * p_previous) / (kk + 1.0);
            p_previous = p;
            p = p_next;
        }
        out[i] = rule[i].weight * sum;
    }
}

}  // namespace magnifex
