// Batched uniform-disk magnifications against the scalar kernel: every
// instruction set that this CPU runs, on random separations that mix the
// multipole, Carlson, limb and failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "elliptic/carlson.hpp"
#include "elliptic/complete_lanes.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_batch.hpp"

namespace magnifex {
namespace {

// The lanes of a batch take as many multipole terms and Gauss steps as their
// slowest lane, one separation alone may take fewer: the last bits differ.
constexpr double kLaneTolerance = 4.5e-16;
constexpr double kCarlsonLaneTolerance = 2e-15;

double scalar(double l, double rho) {
    const Fallible a = witt_mao_kernel(l * rho, rho);
    EXPECT_FALSE(a.failed()) << "l=" << l << " rho=" << rho;
    return a.value;
}

std::vector<double> random_separations(std::mt19937_64& rng, std::size_t n, double far) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> l(n);
    for (auto& x : l) {
        const double v = unit(rng);
        x = v < 0.2 ? 4.0 * unit(rng) : v < 0.25 ? 1.0 : 4.0 * std::pow(far / 4.0, unit(rng));
    }
    return l;
}

struct Isa {
    const char* name;
    const char* feature;
    unsigned long width;
    unsigned long (*run)(const double*, unsigned long, double, double*);
};

class DiskBatch : public ::testing::TestWithParam<double> {};

TEST_P(DiskBatch, ModelEntryMatchesScalarKernel) {
    const double rho = GetParam();
    std::mt19937_64 rng(7);
    for (int round = 0; round < 20; ++round) {
        const std::vector<double> l = random_separations(rng, 1 + round * 13, std::fmax(1e6 / rho, 1e3));
        const Outcome<std::vector<double>> batch = witt_mao_magnification(l, 1.0, rho);
        ASSERT_TRUE(batch.ok());
        ASSERT_EQ(batch.value().size(), l.size());
        for (std::size_t i = 0; i < l.size(); ++i) {
            const double s = scalar(l[i], rho);
            EXPECT_LE(std::fabs(batch.value()[i] - s), kCarlsonLaneTolerance * s) << "l=" << l[i] << " rho=" << rho;
        }
    }
}

TEST_P(DiskBatch, EveryInstructionSetMatchesScalarKernel) {
    const double rho = GetParam();
    const Isa isas[] = {{"sse2", "sse2", 2, disk_batch::disk_run_sse2},
                        {"avx2", "avx2", 4, disk_batch::disk_run_avx2},
                        {"avx512", "avx512f", 8, disk_batch::disk_run_avx512}};
    __builtin_cpu_init();
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Isa& isa : isas) {
        const bool supported = std::strcmp(isa.feature, "sse2") == 0   ? true
                               : std::strcmp(isa.feature, "avx2") == 0 ? __builtin_cpu_supports("avx2")
                                                                       : __builtin_cpu_supports("avx512f");
        if (!supported) continue;
        std::vector<double> l(64);
        for (auto& x : l) x = 4.0 * std::pow(std::fmax(1e6 / rho, 1e3) / 4.0, unit(rng));
        std::vector<double> out(l.size(), -1.0);
        ASSERT_EQ(isa.run(l.data(), l.size(), rho, out.data()), l.size()) << isa.name;
        for (std::size_t i = 0; i < l.size(); ++i) {
            const double s = scalar(l[i], rho);
            EXPECT_LE(std::fabs(out[i] - s), kLaneTolerance * s) << isa.name << " l=" << l[i];
        }
        // A chunk that mixes the multipole and Carlson ranges stops the run there.
        l[9] = 1.5;
        EXPECT_EQ(isa.run(l.data(), l.size(), rho, out.data()), 8u) << isa.name;
        // Carlson range, both sides of the limb.
        for (auto& x : l) x = unit(rng) < 0.5 ? 3.99 * unit(rng) : 1.0 + (unit(rng) - 0.5) * 1e-9;
        ASSERT_EQ(isa.run(l.data(), l.size(), rho, out.data()), l.size()) << isa.name;
        for (std::size_t i = 0; i < l.size(); ++i) {
            const double s = scalar(l[i], rho);
            EXPECT_LE(std::fabs(out[i] - s), kCarlsonLaneTolerance * s) << isa.name << " l=" << l[i];
        }
        // The limb itself is left to the scalar kernel.
        l[3] = 1.0;
        EXPECT_EQ(isa.run(l.data(), l.size(), rho, out.data()), 3 - 3 % isa.width) << isa.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Radii, DiskBatch, ::testing::Values(1e-300, 1e-6, 1e-3, 0.1, 1.0, 100.0, 1e20));

// Bulirsch's cel against the duplication routines: K = RF(0,c,1),
// RD(0,c,1) = 3 sin2, RJ(0,c,1,p) = 3 sin2_p and (c/3) RD(0,1,c) = cos2. For
// c < 1e-25 the routines themselves are up to 4e-15 off (mpmath), cel 6e-16.
TEST(CompleteIntegrals, AgreeWithCarlsonRoutines) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double worst = 0.0;
    for (int i = 0; i < 2000; ++i) {
        const double c = std::pow(10.0, -40.0 * unit(rng));
        const double p = i % 2 ? std::pow(10.0, -40.0 * unit(rng)) : unit(rng);
        const lanes::CompleteIntegrals<double> in = lanes::complete_integrals(std::sqrt(c), p);
        const double pairs[][2] = {{in.cos2 + in.sin2, elliprf(0.0, c, 1.0).value},
                                   {3.0 * in.sin2, elliprd(0.0, c, 1.0).value},
                                   {3.0 * in.sin2_p, elliprj(0.0, c, 1.0, p).value},
                                   {in.cos2, (c / 3.0) * elliprd(0.0, 1.0, c).value}};
        for (const auto& pair : pairs) {
            const double err = std::fabs(pair[0] - pair[1]) / pair[1];
            worst = std::fmax(worst, err);
            EXPECT_LE(err, 6e-15) << "c=" << c << " p=" << p;
        }
    }
    std::printf("cel against the Carlson routines: worst relative difference %.2e\n", worst);
}

// K from the modulus sequence alone (the limb-darkened pass's kernel: no
// p = 1 sequence) against mpmath's ellipk (tests/data/elliptic_golden.tsv,
// every row with 0 <= m < 1, kc = sqrt(1 - m)), beside cel's cos2 + sin2; and
// sin2_p, which both forms share, bit for bit the same with or without it.
TEST(CompleteIntegrals, ModulusSequenceKMatchesMpmath) {
    std::ifstream in(MAGNIFEX_TEST_DATA_DIR "/elliptic_golden.tsv");
    std::string line;
    int rows = 0;
    double worst = 0.0, worst_cel = 0.0;
    while (std::getline(in, line)) {
        std::stringstream stream(line);
        std::string routine, m_text, skip, golden_text;
        std::getline(stream, routine, '\t');
        if (routine != "ellipk") continue;
        std::getline(stream, m_text, '\t');
        for (int i = 0; i < 3; ++i) std::getline(stream, skip, '\t');
        std::getline(stream, golden_text, '\t');
        const double m = std::stod(m_text), golden = std::stod(golden_text);
        if (!(m >= 0.0 && m < 1.0)) continue;
        const double kc = std::sqrt(1.0 - m);
        for (const double p : {1e-200, 1e-6, 0.3, 1.0}) {
            // unscaled, and scaled by 3 as the ring kernel scales them
            const auto alone = lanes::complete_integrals_root<double, true, true, true, false>(kc, std::sqrt(p), 1.0);
            const auto with_parts = lanes::complete_integrals_root<double, true, true, true, true>(kc, std::sqrt(p), 1.0);
            const auto scaled = lanes::complete_integrals_root<double, true, true, true, true>(3.0 * kc, std::sqrt(p), 3.0);
            const auto cel = lanes::complete_integrals(kc, p);
            for (const auto& [got, want] : {std::pair{scaled.k, alone.k}, std::pair{scaled.cos2, cel.cos2},
                                            std::pair{scaled.sin2, cel.sin2}, std::pair{scaled.sin2_p, cel.sin2_p}}) {
                EXPECT_LE(std::fabs(got - want), 4e-15 * want) << "m=" << m << " p=" << p;
            }
            ASSERT_EQ(alone.k, with_parts.k) << "m=" << m;
            ASSERT_EQ(alone.sin2_p, with_parts.sin2_p) << "m=" << m << " p=" << p;
            // the last step's sequences, from which the ring kernel forms both
            ASSERT_EQ(scaled.k, (1.5707963267948966 * 3.0 * scaled.twos) / scaled.em) << "m=" << m;
            ASSERT_EQ(scaled.sin2_p, (1.5707963267948966 * 3.0) * scaled.p_num / (scaled.em * scaled.em_pp)) << "m=" << m;
            const double err = std::fabs(alone.k - golden) / golden;
            const double err_cel = std::fabs((with_parts.cos2 + with_parts.sin2) - golden) / golden;
            worst = std::fmax(worst, err);
            worst_cel = std::fmax(worst_cel, err_cel);
            EXPECT_LE(err, 2e-15) << "m=" << m;
        }
        ++rows;
    }
    EXPECT_GE(rows, 100);
    std::printf("K of the modulus sequence against mpmath, %d values of m: worst %.2e (cel's cos2 + sin2: %.2e)\n",
                rows, worst, worst_cel);
}

TEST(DiskBatch, FailureInsideABatchFailsTheCall) {
    std::vector<double> l(40, 20.0);
    l[37] = -1.0;
    const Outcome<std::vector<double>> a = witt_mao_magnification(l, 1.0, 0.1);
    ASSERT_FALSE(a.ok());
    EXPECT_STREQ(a.error_message(), "elliprj: Fail to converge");
}

}  // namespace
}  // namespace magnifex
