#include "numerics/product_weights.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace magnifex {

namespace {

// The rules in use have at most 32 nodes.
constexpr std::size_t kMaxNodes = 32;

// (2k + 1) P~_k(v_i) for k < n, row by row, by the three-term recurrence
// (DLMF 18.9.1) in y = 2v - 1.
void legendre_rows(std::span<const RuleNode> rule, std::size_t n, double* rows) {
    for (std::size_t i = 0; i < n; ++i) {
        const double y = rule[i].node - rule[i].complement;  // 2v - 1
        double p_previous = 1.0, p = y;
        rows[i * n] = 1.0;
        for (std::size_t k = 1; k < n; ++k) {
            rows[i * n + k] = (2.0 * double(k) + 1.0) * p;
            const double kk = double(k);
            const double p_next = ((2.0 * kk + 1.0) * y * p - kk * p_previous) / (kk + 1.0);
            p_previous = p;
            p = p_next;
        }
    }
}

// The rows of the product rules' nodes (the limb's rules of 12, 16 and 24),
// formed once: they do not depend on the power, and each is a chain of n
// quotients that a source with several powers (a band each) would otherwise
// form again for every power and rule.
struct LegendreTable {
    const RuleNode* rule;
    std::vector<double> rows;
};

constexpr std::size_t kTables = 3;

const double* cached_rows(std::span<const RuleNode> rule) {
    static const std::array<LegendreTable, kTables> tables = [] {
        std::array<LegendreTable, kTables> out;
        const std::span<const RuleNode> rules[kTables] = {GAUSS_LEGENDRE_12, GAUSS_LEGENDRE_16, GAUSS_LEGENDRE_24};
        for (std::size_t r = 0; r < kTables; ++r) {
            out[r].rule = rules[r].data();
            out[r].rows.resize(rules[r].size() * rules[r].size());
            legendre_rows(rules[r], rules[r].size(), out[r].rows.data());
        }
        return out;
    }();
    for (const LegendreTable& t : tables) {
        if (t.rule == rule.data() && t.rows.size() == rule.size() * rule.size()) return t.rows.data();
    }
    return nullptr;
}

// The weights on `rule` for v^a [ln v]; `rows` its kept Legendre rows, or
// nullptr for another rule (a test's, or a tuning build's), whose rows are
// formed here.
void form_weights(std::span<const RuleNode> rule, const double* rows, double a, bool logarithmic,
                  std::span<double> out) {
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
    std::vector<double> own;
    if (rows == nullptr) {
        own.resize(n * n);
        legendre_rows(rule, n, own.data());
        rows = own.data();
    }
    for (std::size_t i = 0; i < n; ++i) {
        const double* row = rows + i * n;
        double sum = moment[0];
        for (std::size_t k = 1; k < n; ++k) sum = sum + row[k] * moment[k];
        out[i] = rule[i].weight * sum;
    }
}

// The weights of the limb's rules formed last on this thread, by rule (each
// kept rule is whole: its nodes are its start), power and kind: a fit calls
// again and again with the same law, and the weights of a power cost n^2
// products a rule, more than a far-field point. A few dozen sets (a few
// powers, bands, and their logarithms); past that the oldest are dropped.
struct WeightSet {
    const RuleNode* rule;
    std::uint64_t a_bits;
    bool logarithmic;
    std::array<double, kMaxNodes> weights;
};

constexpr std::size_t kKeptSets = 48;

struct WeightCache {
    std::array<WeightSet, kKeptSets> sets;
    std::size_t count = 0, next = 0;

    const WeightSet* find(const RuleNode* rule, std::uint64_t a_bits, bool logarithmic) const {
        for (std::size_t i = 0; i < count; ++i) {
            const WeightSet& w = sets[i];
            if (w.rule == rule && w.a_bits == a_bits && w.logarithmic == logarithmic) return &w;
        }
        return nullptr;
    }
    WeightSet& slot() {
        WeightSet& w = sets[next];
        next = (next + 1) % kKeptSets;
        if (count < kKeptSets) ++count;
        return w;
    }
};

}  // namespace

void product_weights(std::span<const RuleNode> rule, double a, bool logarithmic, std::span<double> out) {
    // (kept for the rules whose rows are kept alone: static, whole, and
    // where they stay)
    const double* rows = cached_rows(rule);
    if (rows == nullptr) {
        form_weights(rule, nullptr, a, logarithmic, out);
        return;
    }
    thread_local WeightCache cache;
    const std::uint64_t a_bits = std::bit_cast<std::uint64_t>(a);
    if (const WeightSet* kept = cache.find(rule.data(), a_bits, logarithmic)) {
        std::copy_n(kept->weights.begin(), rule.size(), out.begin());
        return;
    }
    form_weights(rule, rows, a, logarithmic, out);
    WeightSet& w = cache.slot();
    w = WeightSet{rule.data(), a_bits, logarithmic, {}};
    std::copy_n(out.begin(), rule.size(), w.weights.begin());
}

}  // namespace magnifex
