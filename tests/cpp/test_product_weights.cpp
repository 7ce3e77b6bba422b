// Product-integration weights on the limb's Gauss-Legendre rules (16 nodes,
// and 24 for a whole source), and on rules whose Legendre rows are not kept
// (14): exact for v^(a + k) and v^(a + k) ln v, k below the rule's size,
// against their closed forms 1/(a + k + 1) and -1/(a + k + 1)^2; the kept
// rows give the weights that rows formed on the spot give, bit for bit; and
// the weights kept from earlier calls are those of the call's own power and
// kind.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "numerics/product_weights.hpp"
#include "numerics/source_rules_table.hpp"

namespace magnifex {
namespace {

struct Case {
    std::span<const RuleNode> rule;
    double a;  // the weight's power: gamma + 1 of a basis mu^gamma
};

class ProductWeights : public ::testing::TestWithParam<Case> {};

TEST_P(ProductWeights, ExactForEveryPowerBelowTheRuleSize) {
    const auto [rule, a] = GetParam();
    const std::size_t n = rule.size();
    std::vector<double> plain(n), log(n);
    product_weights(rule, a, false, plain);
    product_weights(rule, a, true, log);
    double worst = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        double sum = 0.0, log_sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double power = std::pow(rule[i].node, double(k));
            sum += plain[i] * power;
            log_sum += log[i] * power;
        }
        const double m = 1.0 / (a + double(k) + 1.0);
        worst = std::fmax(worst, std::fabs(sum - m) / m);
        worst = std::fmax(worst, std::fabs(log_sum + m * m) / (m * m));
    }
    // (measured: 1.8e-15 at worst, n = 24 and a = 1.5)
    EXPECT_LT(worst, 1e-14) << "n = " << n << ", a = " << a;
}

INSTANTIATE_TEST_SUITE_P(LimbRules, ProductWeights,
                         ::testing::Values(Case{GAUSS_LEGENDRE_16, 1.1}, Case{GAUSS_LEGENDRE_16, 1.6},
                                           Case{GAUSS_LEGENDRE_16, 3.3}, Case{GAUSS_LEGENDRE_24, 1.1},
                                           Case{GAUSS_LEGENDRE_24, 1.6}, Case{GAUSS_LEGENDRE_24, 3.3},
                                           Case{GAUSS_LEGENDRE_24, 1.5}, Case{GAUSS_LEGENDRE_24, 2.0},
                                           Case{GAUSS_LEGENDRE_12, 1.6}, Case{GAUSS_LEGENDRE_14, 3.3}));

// A copy of a rule is not the kept rule (its rows are formed on the spot):
// the same weights, to the bit.
TEST_P(ProductWeights, KeptRowsGiveTheWeightsOfRowsFormedOnTheSpot) {
    const auto [rule, a] = GetParam();
    const std::vector<RuleNode> copy(rule.begin(), rule.end());
    for (const bool logarithmic : {false, true}) {
        std::vector<double> kept(rule.size()), formed(rule.size());
        product_weights(rule, a, logarithmic, kept);
        product_weights(copy, a, logarithmic, formed);
        for (std::size_t i = 0; i < rule.size(); ++i) {
            EXPECT_EQ(kept[i], formed[i]) << "node " << i << ", n = " << rule.size() << ", log " << logarithmic;
        }
    }
}

// Powers, kinds and rules interleaved, more sets than the thread keeps, and
// taken again in another order: every call's weights are those formed anew
// for its own rule, power and kind (a copy of the rule is never kept).
TEST(ProductWeightsKept, EveryCallGetsItsOwnPowerKindAndRule) {
    const std::span<const RuleNode> rules[] = {GAUSS_LEGENDRE_12, GAUSS_LEGENDRE_16, GAUSS_LEGENDRE_24};
    std::vector<double> powers;
    for (int j = 0; j < 40; ++j) powers.push_back(0.05 + 0.0625 * j);
    powers.push_back(std::nextafter(powers[7], 1.0));  // a power one ulp from another
    auto check = [&](double a, std::size_t r, bool logarithmic) {
        const std::span<const RuleNode> rule = rules[r];
        const std::vector<RuleNode> copy(rule.begin(), rule.end());
        std::vector<double> kept(rule.size()), formed(rule.size());
        product_weights(rule, a, logarithmic, kept);
        product_weights(copy, a, logarithmic, formed);
        for (std::size_t i = 0; i < rule.size(); ++i) {
            ASSERT_EQ(kept[i], formed[i]) << "a = " << a << ", n = " << rule.size() << ", log " << logarithmic;
        }
    };
    for (const double a : powers)
        for (std::size_t r = 0; r < 3; ++r)
            for (const bool logarithmic : {false, true}) check(a, r, logarithmic);
    // again, the last sets first and the kinds swapped: some kept, some not
    for (std::size_t k = powers.size(); k-- > 0;)
        for (std::size_t r = 3; r-- > 0;)
            for (const bool logarithmic : {true, false}) check(powers[k], r, logarithmic);
    for (std::size_t k = 0; k < 6; ++k) check(powers[powers.size() - 1 - k % 2], k % 3, k % 2 == 0);
}

}  // namespace
}  // namespace magnifex
