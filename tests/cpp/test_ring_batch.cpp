// Batched ring and disk kernels against the scalar kernels on every
// instruction set that this CPU runs, and the quadrature's batched path against its
// one-call-per-abscissa path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "models/disk_radii_batch.hpp"
#include "models/heyrovsky.hpp"
#include "models/heyrovsky_batch.hpp"
#include "models/source_integral.hpp"
#include "numerics/gauss_kronrod.hpp"
#include "numerics/quadrature.hpp"

namespace magnifex {
namespace {

// The lanes of a batch do the scalar kernel's operations and each stops at
// its own Gauss step: the values are the same doubles (or both NaN).
constexpr double kLaneTolerance = 0.0;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using RingRun = void (*)(double, const double*, unsigned long, double, double*);

struct Isa {
    const char* name;
    RingRun run;
    bool supported;
};

std::vector<Isa> isas() {
    __builtin_cpu_init();
    return {{"sse2", ring_batch::ring_run_sse2, true},
            {"avx2", ring_batch::ring_run_avx2, static_cast<bool>(__builtin_cpu_supports("avx2"))},
            {"avx512", ring_batch::ring_run_avx512, static_cast<bool>(__builtin_cpu_supports("avx512f"))},
            {"dispatch", heyrovsky_carlson_kernel_batch, true}};
}

// Rings spread over [0, 3 l] and down to 1e-12 |l - r|/l from the lens, with
// the rings off the ring average's domain mixed in.
std::vector<double> random_rings(std::mt19937_64& rng, std::size_t n, double l) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> x(n);
    for (auto& r : x) {
        const double v = unit(rng);
        if (v < 0.5) {
            r = 3.0 * l * unit(rng);
        } else if (v < 0.8) {
            r = l * (1.0 + (unit(rng) < 0.5 ? -1.0 : 1.0) * std::pow(10.0, -12.0 * unit(rng)));
        } else if (v < 0.9) {
            r = l * std::pow(10.0, 300.0 * (unit(rng) - 0.5));
        } else {
            const double odd[] = {0.0, -0.0, l, -l, kInf, -kInf, kNaN, 1e308, 5e-324};
            r = odd[static_cast<std::size_t>(unit(rng) * 9.0) % 9];
        }
    }
    return x;
}

// Equal as values: the same double, both NaN, or within kLaneTolerance.
void expect_lane_equal(double batch, double scalar, const char* isa, double l, double r, double beta, double* worst) {
    if (std::isnan(scalar) || std::isinf(scalar)) {
        EXPECT_TRUE(std::isnan(scalar) ? std::isnan(batch) : batch == scalar)
            << isa << " l=" << l << " r=" << r << " beta=" << beta << " " << batch << " vs " << scalar;
        return;
    }
    const double err = std::fabs(batch - scalar) / std::fabs(scalar);
    *worst = std::fmax(*worst, err);
    EXPECT_LE(err, kLaneTolerance) << isa << " l=" << l << " r=" << r << " beta=" << beta;
}

class RingBatch : public ::testing::TestWithParam<double> {};

TEST_P(RingBatch, EveryInstructionSetMatchesScalarKernel) {
    const double beta = GetParam();
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Isa& isa : isas()) {
        if (!isa.supported) continue;
        double worst = 0.0;
        std::size_t differing = 0, compared = 0;
        for (int round = 0; round < 40; ++round) {
            // Separations from 1e-3 to 1e3, a few very large or tiny ones.
            double l = std::pow(10.0, 6.0 * unit(rng) - 3.0);
            if (round % 10 == 9) l = round % 20 == 9 ? 1e305 : 1e-305;
            const std::vector<double> x = random_rings(rng, 1 + round * 5, l);
            std::vector<double> out(x.size(), -1.0);
            // The per-instruction-set runs take beta > 0; the entry takes |beta|.
            const bool entry = isa.run == heyrovsky_carlson_kernel_batch;
            isa.run(l, x.data(), x.size(), entry ? beta : std::fabs(beta), out.data());
            for (std::size_t i = 0; i < x.size(); ++i) {
                const double s = heyrovsky_carlson_kernel(l, x[i], beta);
                expect_lane_equal(out[i], s, isa.name, l, x[i], beta, &worst);
                ++compared;
                if (!(std::isnan(out[i]) && std::isnan(s)) && std::memcmp(&out[i], &s, sizeof s) != 0) ++differing;
            }
        }
        EXPECT_EQ(differing, 0u) << isa.name << " beta=" << beta << ", worst " << worst << " of " << compared;
    }
}

INSTANTIATE_TEST_SUITE_P(Betas, RingBatch, ::testing::Values(1e-3, 0.1, 1.0, 10.0, 1e4, -2.0));

// Separations or betas outside the ring average's domain: every value is the
// scalar kernel's own.
TEST(RingBatch, OffDomainSeparationsAreTheScalarKernels) {
    const double rings[] = {0.0, 0.3, 0.5, 1.0, 2.0, -0.5, kInf, kNaN, 0.7, 0.9, 1.1};
    const std::size_t n = sizeof rings / sizeof rings[0];
    const double cases[][2] = {{0.0, 1.0}, {-0.5, 1.0}, {kInf, 1.0}, {kNaN, 1.0}, {0.5, 0.0},
                               {0.5, kInf}, {0.5, kNaN}, {0.5, -1.0}, {0.5, 1e-300}};
    for (const auto& [l, beta] : cases) {
        double out[n];
        heyrovsky_carlson_kernel_batch(l, rings, n, beta, out);
        for (std::size_t i = 0; i < n; ++i) {
            const double s = heyrovsky_carlson_kernel(l, rings[i], beta);
            EXPECT_TRUE((std::isnan(s) && std::isnan(out[i])) || std::fabs(out[i] - s) <= kLaneTolerance * std::fabs(s) ||
                        out[i] == s)
                << "l=" << l << " beta=" << beta << " r=" << rings[i] << " " << out[i] << " vs " << s;
        }
    }
}

// Disks of many radii at one separation: multipole, Carlson, limb and
// failure lanes mixed, every value bitwise the scalar kernel's (or both NaN).
TEST(DiskRadiiBatch, EveryInstructionSetMatchesScalarKernel) {
    using Run = void (*)(double, const double*, unsigned long, double*);
    __builtin_cpu_init();
    const struct {
        const char* name;
        Run run;
        bool supported;
    } runs[] = {{"sse2", disk_radii_batch::disk_radii_run_sse2, true},
                {"avx2", disk_radii_batch::disk_radii_run_avx2, static_cast<bool>(__builtin_cpu_supports("avx2"))},
                {"avx512", disk_radii_batch::disk_radii_run_avx512,
                 static_cast<bool>(__builtin_cpu_supports("avx512f"))},
                {"dispatch", disk_radii_batch::disk_radii, true}};
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const auto& isa : runs) {
        if (!isa.supported) continue;
        std::size_t differing = 0;
        for (int round = 0; round < 60; ++round) {
            const double u = round % 15 == 14 ? 0.0 : std::pow(10.0, 8.0 * unit(rng) - 4.0);
            std::vector<double> rho(1 + round * 3);
            const double odd[] = {0.0, u, -u, kInf, kNaN, 1e308, 5e-324};
            for (auto& r : rho) {
                const double v = unit(rng);
                r = v < 0.4   ? u * std::pow(10.0, 4.0 * unit(rng) - 2.0)
                    : v < 0.7 ? u * (1.0 + (unit(rng) - 0.5) * std::pow(10.0, -12.0 * unit(rng)))
                    : v < 0.8 ? u * 0.25
                              : odd[round % 7];
            }
            std::vector<double> out(rho.size(), -1.0);
            isa.run(u, rho.data(), rho.size(), out.data());
            for (std::size_t i = 0; i < rho.size(); ++i) {
                const double s = disk_radii_batch::disk_or_nan(u, rho[i]);
                if (!(std::isnan(s) && std::isnan(out[i])) && std::memcmp(&s, &out[i], sizeof s) != 0) {
                    ++differing;
                    ADD_FAILURE() << isa.name << " u=" << u << " rho=" << rho[i] << " " << out[i] << " vs " << s;
                }
            }
        }
        EXPECT_EQ(differing, 0u) << isa.name;
    }
    // Separations outside [0, max]: the scalar kernel's values.
    const double rho[] = {0.1, 1.0, 2.0};
    for (const double u : {-1.0, kInf, kNaN}) {
        double out[3];
        disk_radii_batch::disk_radii(u, rho, 3, out);
        for (int i = 0; i < 3; ++i) {
            const double s = disk_radii_batch::disk_or_nan(u, rho[i]);
            EXPECT_TRUE((std::isnan(s) && std::isnan(out[i])) || s == out[i]) << u << " " << rho[i];
        }
    }
}

// An integrand with a batch: each value the scalar one, NaN and inf at some
// abscissae, so the guard and the finite count are exercised.
struct Batched {
    double operator()(double y) const {
        if (y < 0.05) return kNaN;
        if (y > 0.999) return kInf;
        return std::exp(y) / std::sqrt(y);
    }
    void batch(const double* y, double* out, std::size_t n) const {
        ++*calls;
        for (std::size_t i = 0; i < n; ++i) out[i] = (*this)(y[i]);
    }
    int* calls;
};

struct Scalar {
    double operator()(double y) const { return Batched{nullptr}(y); }
};

static_assert(BatchIntegrand<Batched>);
static_assert(BatchIntegrand<Batched&>);
static_assert(!BatchIntegrand<Scalar>);

TEST(QuadratureBatch, SameSumsAndCountsAsOneCallPerAbscissa) {
    const double intervals[][2] = {{0.0, 1.0}, {0.2, 0.7}, {-1.0, 2.0}, {0.5, 0.5}};
    for (const auto& [a, b] : intervals) {
        int calls = 0;
        Batched batched{&calls};
        Scalar scalar;
        for (const double tol : {1e-16, 1e-6}) {
            const QuadratureResult rb = integrate(batched, a, b, tol);
            const QuadratureResult rs = integrate(scalar, a, b, tol);
            EXPECT_EQ(std::memcmp(&rb.integral, &rs.integral, sizeof(double)), 0) << a << " " << b << " " << tol;
            EXPECT_EQ(std::memcmp(&rb.error_estimate, &rs.error_estimate, sizeof(double)), 0);
            EXPECT_EQ(rb.evaluation_count, rs.evaluation_count);
        }
        const QuadratureResult qb = integrate_relative(batched, a, b, 1e-11);
        const QuadratureResult qs = integrate_relative(scalar, a, b, 1e-11);
        EXPECT_EQ(std::memcmp(&qb.integral, &qs.integral, sizeof(double)), 0);
        EXPECT_EQ(qb.evaluation_count, qs.evaluation_count);
        for (const bool fifteen : {false, true}) {
            const GaussKronrodResult gb = fifteen ? gauss_kronrod_15(batched, a, b) : gauss_kronrod_7(batched, a, b);
            const GaussKronrodResult gs = fifteen ? gauss_kronrod_15(scalar, a, b) : gauss_kronrod_7(scalar, a, b);
            EXPECT_EQ(std::memcmp(&gb, &gs, sizeof gb), 0) << a << " " << b << " " << fifteen;
        }
        EXPECT_GT(calls, 0);
    }
    // The counted wrapper forwards the batch and counts the same finite values.
    for (const auto& [a, b] : intervals) {
        int calls = 0;
        Batched batched{&calls};
        Scalar scalar;
        CountedIntegrand cb(batched);
        CountedIntegrand cs(scalar);
        static_assert(BatchIntegrand<decltype(cb)>);
        static_assert(!BatchIntegrand<decltype(cs)>);
        const double ib = integrate_split(cb, a, b, 0.5 * (a + b));
        const double is = integrate_split(cs, a, b, 0.5 * (a + b));
        EXPECT_EQ(std::memcmp(&ib, &is, sizeof ib), 0) << a << " " << b;
        const double nb = cb.result(1.0), ns = cs.result(1.0);
        EXPECT_EQ(std::isnan(nb), std::isnan(ns));
    }
    // No finite value at all: both wrappers report NaN.
    struct AllNaN {
        double operator()(double) const { return kNaN; }
        void batch(const double*, double* out, std::size_t n) const {
            for (std::size_t i = 0; i < n; ++i) out[i] = kNaN;
        }
    } all_nan;
    CountedIntegrand counted(all_nan);
    EXPECT_EQ(integrate_relative(counted, 0.0, 1.0, 1e-11).integral, 0.0);
    EXPECT_TRUE(std::isnan(counted.result(0.0)));
}

}  // namespace
}  // namespace magnifex
