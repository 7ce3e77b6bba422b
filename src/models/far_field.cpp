// Evaluation of the far-field series (far_field.hpp). With s = u^2, w = s/2,
// q = (rho/u)^2 and Q~_k(w) = Q_k(w) / (2^k k!^2) from the generated table,
//   A0  = (s + 2) / (u sqrt(s + 4)),
//   A   = M_0 A0 + P sum_{k>=1} M_k H_k zeta^k,
// where, for w <= 2 (u <= 2),  P = 2 / (u sqrt(s + 4)),  zeta = 4q / (s + 4)^2,
//                              H_k = Q~_k(w) by Horner in w;
// and for w > 2,               P = 4 / (u sqrt(s + 4) s), zeta = q (s/(s + 4))^2,
//                              H_k = Q~_k(w) / w^{2k-1} by Horner in 1/w.
// Both forms keep every power bounded (no w^{3k} overflows for u up to 1e100),
// and each Horner variable lies in [0, 2] or [0, 1/2]. The Q_k have a few
// negative coefficients from k = 4 on; the sum of the absolute terms exceeds
// Q_k by at most ~200 at k = 16, where the term itself is below 1e-9 of A.
//
// Truncation: with c_k = u^{2k} L^k A0 / (4^k k!^2) > 0, the terms after n are
// bounded by majorant_n H_n zeta^n g / (1 - g), g = kRatioBound[n] support^2 q,
// since c_{k+1}/c_k <= kRatioBound[n] for k >= n (the generator's scan of
// every u for k up to 40) and majorant_{k+1} <= support^2 majorant_k. The sum
// stops at the first n where that bound is below 2e-15 of M_0 A0.
//
// Measured against mpmath quadrature of A0 over the source (tests/cpp/
// test_far_field.cpp, tests/data/far_field_golden.tsv): within 1.3e-15 for
// the uniform disk, the linear law and four tables, rho from 1e-4 to 3, u
// from just above the switch to 1e6.
#include "models/far_field.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "elliptic/lanes_dispatch.hpp"
#include "models/far_field_runs.hpp"

namespace magnifex {

namespace {

using far_field_detail::kFarFieldTerms;
using far_field_detail::kLaplacianCoefficients;
using far_field_detail::kRatioBound;

// Relative size of the neglected tail at which the sum stops.
constexpr double kTruncation = 2e-15;
// Below it u^2 would lose precision to underflow; above it A0 = 1 and every
// correction is below 1e-200.
constexpr double kMinSeparation = 1e-140;
constexpr double kMaxSeparation = 1e100;

// The terms are formed a block at a time, each lane of a block the Horner
// recurrence of one Q~_k: the recurrences of neighbouring k are independent,
// and lanes keep them apart where one at a time they would wait on each
// other. A lane whose polynomial is of lower degree than the block's longest
// starts with zero coefficients, which leave it exactly 0 until its own
// come: every lane does the operations of its polynomial alone, in the same
// order, whatever block it is in. The terms come eight at a time, or, for a
// source far from the lens that needs its first few only, the first eight
// in blocks of 2, 2 and 4.
typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
constexpr int kMaxPairs = 4;
constexpr int kMaxBlock = 2 * kMaxPairs;

struct Block {
    int first, size;  // its terms: first .. first + size - 1
};
constexpr Block kBlockTable[] = {{1, 8}, {1, 2}, {3, 2}, {5, 4}, {9, 8}, {17, 8}, {25, 8}, {33, 8}};
// The blocks' sequences: eight at a time from the first, or the first eight
// in three blocks.
constexpr int kWideStart = 0, kNarrowStart = 1, kAfterEight = 4;
constexpr int kBlocks = [] {
    int n = 0;
    for (const Block& b : kBlockTable) n += b.first <= kFarFieldTerms ? 1 : 0;
    return n;
}();
// The next block of b in either sequence.
constexpr int next_block(int b) { return b == kWideStart ? kAfterEight : b + 1; }
// Steps of block b's recurrence: the degree + 1 of its last term.
constexpr int block_steps(int b) { return 2 * (kBlockTable[b].first + kBlockTable[b].size - 1); }
constexpr int block_offset(int b) {
    int offset = 0;
    for (int j = 0; j < b; ++j) offset += block_steps(j) * kBlockTable[j].size;
    return offset;
}
constexpr int kPaddedSize = block_offset(kBlocks);

// The coefficients of the blocks in the order the recurrence takes them,
// lane by lane: highest power first for Q~_k(x), lowest first for the
// reversed x^{2k-1} Q~_k(1/x); zeros where a lane's polynomial has no such
// power (or the lane no term).
constexpr std::array<double, kPaddedSize> padded_coefficients(bool reversed) {
    std::array<double, kPaddedSize> out{};
    for (int b = 0; b < kBlocks; ++b) {
        const int n = block_steps(b), size = kBlockTable[b].size;
        for (int lane = 0; lane < size; ++lane) {
            const int k = kBlockTable[b].first + lane;
            if (k > kFarFieldTerms) continue;
            const int degree = 2 * k;  // coefficients of Q~_k
            for (int i = 0; i < n; ++i) {
                const int j = reversed ? i - (n - degree) : n - 1 - i;
                const bool present = j >= 0 && j < degree;
                out[block_offset(b) + i * size + lane] = present ? kLaplacianCoefficients[k * (k - 1) + j] : 0.0;
            }
        }
    }
    return out;
}
constexpr std::array<double, kPaddedSize> kDescending = padded_coefficients(false);
constexpr std::array<double, kPaddedSize> kAscending = padded_coefficients(true);

// Q~_k(x) (or, reversed, x^{2k-1} Q~_k(1/x)) for the kPairs pairs of lanes of
// a block, by Horner's rule (the seven functions' series, values only).
template <int kPairs>
void laplacian_pairs(const double* c, int n, double x, double* h, [[maybe_unused]] double* slope) {
    Pair hv[kPairs] = {};
    for (int i = 0; i < n; ++i) {
#pragma GCC unroll 8
        for (int p = 0; p < kPairs; ++p) {
            Pair ci;
            std::memcpy(&ci, c + i * (2 * kPairs) + 2 * p, sizeof ci);
            hv[p] = hv[p] * x + ci;
        }
    }
    std::memcpy(h, hv, sizeof hv);
}

// The same polynomials (and, with a slope, their derivatives in x) split by
// the parity of the power, Q(x) = x O(x^2) + E(x^2), with O and E by Horner
// in x^2 side by side: two recurrences of n/2 steps each instead of one of
// n, for the series of magnification() (FarFieldSeries), whose terms it
// forms, over the widest lanes the CPU has (far_field_runs.hpp). A block's n
// is even (twice its last term), so the split of a lane's coefficients does
// not depend on the block: every lane still does its polynomial's
// operations alone, in the same order, whatever block it is in.
void laplacian_split(const double* c, int n, int terms, double x, bool slope, double* h, double* d) {
    using Run = decltype(&far_field_runs::laplacian_run_sse2);
    static const Run run = lanes::widest_supported<Run>(far_field_runs::laplacian_run_sse2,
                                                        far_field_runs::laplacian_run_avx2,
                                                        far_field_runs::laplacian_run_avx512);
    run(c, n, terms, x, slope, h, d);
}

// Q~_k(x) (or, reversed, x^{2k-1} Q~_k(1/x)) for the terms k of block b
// into h[lane], k = first + lane, by Horner's rule or (kSplit) split by
// parity; with kSlope (split only), their derivatives in x into slope.
template <bool kSplit, bool kSlope>
void laplacian_block(int b, double x, bool reversed, double* h, double* slope) {
    static_assert(kSplit || !kSlope, "the derivatives come with the split form");
    const double* c = (reversed ? kAscending : kDescending).data() + block_offset(b);
    const int n = block_steps(b);
    if constexpr (kSplit) {
        laplacian_split(c, n, kBlockTable[b].size, x, kSlope, h, slope);
        return;
    }
    switch (kBlockTable[b].size) {
        case 2: laplacian_pairs<1>(c, n, x, h, slope); break;
        case 4: laplacian_pairs<2>(c, n, x, h, slope); break;
        default: laplacian_pairs<kMaxPairs>(c, n, x, h, slope); break;
    }
}

// The first block for a source at (rho/u)^2 support^2 = support_q: the
// narrow ones where the terms fall faster than 1e-3 a term (three or four
// of them reach the series' 2e-15).
int first_block(double support_q) { return support_q < 1e-3 ? kNarrowStart : kWideStart; }

}  // namespace

bool FarFieldSeries::start(double u, double rho, double support, bool with_derivative) {
    formed_ = 0;
    power_ = 1.0;
    block_ = 0;
    with_derivative_ = with_derivative;
    if (!(u >= kMinSeparation && u <= kMaxSeparation && rho >= 0.0)) return false;
    const double ratio = rho / u;
    const double q = ratio * ratio;
    q_ = q;
    support_q_ = (support * support) * q;
    block_ = first_block(support_q_);
    const double min_ratio_squared = kFarFieldMinRatio * kFarFieldMinRatio;
    if (!(support_q_ * min_ratio_squared <= 1.0)) return false;

    u_ = u;
    const double s = u * u;
    const double root = u * std::sqrt(s + 4.0);
    head_ = (s + 2.0) / root;
    large_ = s > 4.0;
    if (large_) {
        const double y = s / (s + 4.0);
        prefactor_ = 4.0 / (root * s);
        zeta_ = q * (y * y);
        x_ = 2.0 / s;
    } else {
        const double t = s + 4.0;
        prefactor_ = 2.0 / root;
        zeta_ = (4.0 * q) / (t * t);
        x_ = 0.5 * s;
    }
    if (with_derivative) {
        // A0 = (s + 2)/(u sqrt(s + 4)): dA0/du = -8/(u^2 (s + 4)^(3/2));
        // d ln(u sqrt(s + 4))/du = (2s + 4)/(u (s + 4)).
        const double t = s + 4.0;
        head_u_ = -8.0 / ((u * u) * (t * std::sqrt(t)));
        const double log_root_u = (2.0 * s + 4.0) / (u * t);
        const double log_t_u = (2.0 * u) / t;
        if (large_) {
            // P = 4/(root s), zeta = q s^2/t^2, x = 2/s
            log_prefactor_u_ = -log_root_u - 2.0 / u;
            log_zeta_u_ = 2.0 / u - 2.0 * log_t_u;
            x_u_ = -2.0 * x_ / u;
        } else {
            // P = 2/root, zeta = 4 q/t^2, x = s/2
            log_prefactor_u_ = -log_root_u;
            log_zeta_u_ = -2.0 / u - 2.0 * log_t_u;
            x_u_ = u;
        }
    }
    return true;
}

void FarFieldSeries::extend(int k) {
    // Whole blocks: the terms past k are formed with it and kept.
    while (formed_ < k) {
        const int b = block_;
        double h[kMaxBlock], slope[kMaxBlock];
        if (with_derivative_) {
            laplacian_block<true, true>(b, x_, large_, h, slope);
        } else {
            laplacian_block<true, false>(b, x_, large_, h, nullptr);
        }
        const int first = kBlockTable[b].first;
        const int last = std::min(kTerms, first + kBlockTable[b].size - 1);
        for (int j = first; j <= last; ++j) {
            const int lane = j - first;
            power_ = power_ * zeta_;
            term_[j] = h[lane] * power_;
            const double g = ratio(j);
            tail_factor_[j] = g / (1.0 - g);
            if (with_derivative_) {
                term_u_[j] = prefactor_ * (term_[j] * (log_prefactor_u_ + double(j) * log_zeta_u_) + slope[lane] * x_u_ * power_);
            }
        }
        formed_ = last;
        block_ = next_block(b);
    }
}

bool far_field_magnification(double u, double rho, const FarFieldMoments& moments, double* out) {
    if (!moments.usable) return false;
    FarFieldSeries series;
    if (!series.start(u, rho, moments.support, false)) return false;
    const double head = moments.moment[0] * series.head();
    if (series.q() == 0.0) {
        *out = head;
        return true;
    }
    // The tail bound is compared with this, in units of the prefactor.
    const double threshold = kTruncation * std::fabs(head) / series.prefactor();

    // The terms one after the other, here rather than by series.term(k),
    // which keeps them for other profiles.
    double sum = 0.0;
    double power = 1.0;
    double block[kMaxBlock];
    int b = first_block(series.support_q()), end = 0;
    for (int k = 1; k <= kFarFieldTerms; ++k) {
        if (k > end) {
            if (k > 1) b = next_block(b);
            laplacian_block<false, false>(b, series.x(), series.large(), block, nullptr);
            end = kBlockTable[b].first + kBlockTable[b].size - 1;
        }
        power = power * series.zeta();
        const double term = block[k - kBlockTable[b].first] * power;
        sum = sum + moments.moment[k] * term;
        const double g = series.ratio(k);
        const double tail = (moments.majorant[k] * term) * (g / (1.0 - g));
        if (tail <= threshold) {
            *out = head + series.prefactor() * sum;
            return true;
        }
    }
    return false;
}

}  // namespace magnifex
