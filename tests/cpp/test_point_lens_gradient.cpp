// Partial derivatives of the thin ring and the uniform disk
// (models/ring_gradient_lanes.hpp, models/disk_gradient_lanes.hpp) against the
// mpmath oracle (tests/data/point_lens_gradient_golden.tsv from
// tools/gen_point_lens_gradient_golden.py), per region; their values against
// the existing kernels; two lanes against one; the ring's symmetry; the
// disk's centre; no NaN at extreme lengths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "models/heyrovsky.hpp"
#include "models/point_lens_runs.hpp"
#include "models/witt_mao.hpp"

#include "elliptic/lanes_sse2.hpp"

#include "models/disk_gradient_lanes.hpp"
#include "models/ring_gradient_lanes.hpp"

namespace magnifex {
namespace {

using lanes::Lanes2;

// Relative error allowed for values and partials (and for the partials
// within 1e-2 relative of the ring or limb, where they diverge).
constexpr double kBar = 1e-13;
constexpr double kNearBar = 1e-12;
constexpr double kNearBand = 1e-2;
// The disk's Carlson-form dA/drho = 8/(pi rho sigma q) [(2u/rho)(I_s - pJ) - K]
// (u < 3 rho) cancels in its bracket near its zero inside the disk and,
// outside the limb, by up to 8u^2/rho^2 and by the lens's distance from the
// source in Einstein radii (the means' difference is of order A - 1): where the
// size of its terms, 8 (1 + u/rho)/(rho sigma q), exceeds |dA/drho| by more
// than kBar/kCancelBar, the error is allowed relative to that size instead.
constexpr double kCancelBar = 1e-15;
// The disk's value from its multipole expansion in [3 rho, 4 rho) against
// the disk kernel's Carlson form there.
constexpr double kBandValueBar = 8.0 * std::numeric_limits<double>::epsilon();

struct Row {
    std::string kernel, region;
    double u, r, value, d_du, d_dr;
};

std::vector<Row> load() {
    std::ifstream in(MAGNIFEX_TEST_DATA_DIR "/point_lens_gradient_golden.tsv");
    EXPECT_TRUE(in) << "missing point_lens_gradient_golden.tsv";
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Row row;
        std::string u, r, value, du, dr;
        std::getline(fields, row.kernel, '\t');
        std::getline(fields, row.region, '\t');
        std::getline(fields, u, '\t');
        std::getline(fields, r, '\t');
        std::getline(fields, value, '\t');
        std::getline(fields, du, '\t');
        std::getline(fields, dr, '\t');
        row.u = std::stod(u);
        row.r = std::stod(r);
        row.value = std::stod(value);
        row.d_du = std::stod(du);
        row.d_dr = std::stod(dr);
        rows.push_back(row);
    }
    return rows;
}

struct Triple {
    double a, du, dr;
};

Triple scalar(const Row& row) {
    if (row.kernel == "ring") {
        const auto g = lanes::ring_gradient<double>(row.u, row.r);
        return {g.a, g.da_du, g.da_dr};
    }
    const auto g = lanes::disk_gradient<double, true>(row.u, row.r);
    return {g.a, g.da_du, g.da_drho};
}

// |got - exact|/|exact|, |got| where exact is 0, inf where got is NaN.
double relative_error(double got, double exact) {
    if (std::isnan(got)) return std::numeric_limits<double>::infinity();
    if (exact == 0.0) return std::fabs(got);
    return std::fabs(got - exact) / std::fabs(exact);
}

std::string region_of(const Row& row) {
    const bool close = row.region == "near" && std::fabs(row.u - row.r) < kNearBand * row.r;
    return row.kernel + " " + (close ? std::string("near<1e-2") : row.region);
}

struct Worst {
    double a = 0.0, du = 0.0, dr = 0.0, excused_rel = 0.0, excused_size = 0.0;
    int count = 0, excused = 0;
};

// Checks one row's outputs against the oracle and records the errors.
void check_row(const Row& row, const Triple& g, Worst& w, const char* what) {
    const std::string region = region_of(row);
    const double bar = region.find("near<") != std::string::npos ? kNearBar : kBar;
    ++w.count;
    const double ea = relative_error(g.a, row.value);
    const double edu = relative_error(g.du, row.d_du);
    const double edr = relative_error(g.dr, row.d_dr);
    w.a = std::fmax(w.a, ea);
    w.du = std::fmax(w.du, edu);
    EXPECT_LE(ea, kBar) << what << " " << region << " u=" << row.u << " r=" << row.r << " a=" << g.a;
    EXPECT_LE(edu, bar) << what << " " << region << " u=" << row.u << " r=" << row.r << " d/du=" << g.du;
    if (row.kernel == "disk" && row.u > 0.0 && row.u < lanes::kGradientMultipoleRatio * row.r) {
        const double sigma = row.u + row.r, delta = row.u - row.r;
        const double size = 8.0 * (1.0 + row.u / row.r) / (row.r * sigma * std::sqrt(4.0 + delta * delta));
        if (kCancelBar * size > bar * std::fabs(row.d_dr)) {
            const double err_size = std::fabs(g.dr - row.d_dr) / size;
            ++w.excused;
            w.excused_rel = std::fmax(w.excused_rel, edr);
            w.excused_size = std::fmax(w.excused_size, err_size);
            EXPECT_LE(err_size, kCancelBar) << what << " " << region << " u=" << row.u << " rho=" << row.r;
            return;
        }
    }
    w.dr = std::fmax(w.dr, edr);
    EXPECT_LE(edr, bar) << what << " " << region << " u=" << row.u << " r=" << row.r << " d/dr=" << g.dr;
}

void print(const std::map<std::string, Worst>& worst) {
    for (const auto& [region, w] : worst) {
        std::printf("%-16s %4d rows, worst rel. error: value %.1e  d/du %.1e  d/dr %.1e", region.c_str(), w.count, w.a,
                    w.du, w.dr);
        if (w.excused > 0) {
            std::printf("; %d cancelling rows: d/dr %.1e rel., %.1e of its terms", w.excused, w.excused_rel,
                        w.excused_size);
        }
        std::printf("\n");
    }
}

TEST(PointLensGradient, MatchesOracleByRegion) {
    const std::vector<Row> rows = load();
    ASSERT_GE(rows.size(), 600u);
    std::map<std::string, Worst> worst;
    for (const Row& row : rows) check_row(row, scalar(row), worst[region_of(row)], "scalar");
    print(worst);
}

// The value is the existing kernels': ring_average bit for bit; the disk
// kernel's bit for bit below 3 rho and from 4 rho, within a few ulps between.
TEST(PointLensGradient, ValuesAreTheKernels) {
    const std::vector<Row> rows = load();
    double worst_band = 0.0;
    for (const Row& row : rows) {
        const Triple g = scalar(row);
        if (row.kernel == "ring") {
            const double a = lanes::ring_average(row.u, row.r, 1.0);
            EXPECT_EQ(std::memcmp(&a, &g.a, sizeof a), 0) << "u=" << row.u << " r=" << row.r;
            continue;
        }
        const Fallible a = witt_mao_kernel(row.u, row.r);
        ASSERT_FALSE(a.failed());
        if (row.u >= 3.0 * row.r && row.u < 4.0 * row.r) {
            worst_band = std::fmax(worst_band, std::fabs(g.a - a.value) / a.value);
            EXPECT_LE(std::fabs(g.a - a.value), kBandValueBar * a.value)
                << "u=" << row.u << " rho=" << row.r;
        } else {
            EXPECT_EQ(std::memcmp(&a.value, &g.a, sizeof g.a), 0) << "u=" << row.u << " rho=" << row.r;
        }
    }
    std::printf("disk value in [3 rho, 4 rho) against the Carlson kernel: worst %.1e\n", worst_band);
}

// Two lanes with kFreezeLanes give each one-lane result bit for bit; without
// it (each lane takes as many Gauss steps as the slower one) they meet the
// oracle's bars. Rows are paired across regions (near with far ...).
TEST(PointLensGradient, TwoLanesAreOneLane) {
    const std::vector<Row> rows = load();
    const std::size_t n = rows.size();
    std::map<std::string, Worst> unfrozen;
    int differing = 0, compared = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Row* pair[2] = {&rows[i], &rows[(i * 7 + 3) % n]};
        if (pair[0]->kernel != pair[1]->kernel) continue;
        const Lanes2 u{pair[0]->u, pair[1]->u}, r{pair[0]->r, pair[1]->r};
        Lanes2 frozen[3], loose[3];
        if (pair[0]->kernel == "ring") {
            // The ring always freezes its lanes: one evaluation is both.
            const auto f = lanes::ring_gradient<Lanes2>(u, r);
            frozen[0] = loose[0] = f.a, frozen[1] = loose[1] = f.da_du, frozen[2] = loose[2] = f.da_dr;
        } else {
            const auto f = lanes::disk_gradient<Lanes2, true>(u, r);
            const auto l = lanes::disk_gradient<Lanes2, false>(u, r);
            frozen[0] = f.a, frozen[1] = f.da_du, frozen[2] = f.da_drho;
            loose[0] = l.a, loose[1] = l.da_du, loose[2] = l.da_drho;
        }
        for (int lane = 0; lane < 2; ++lane) {
            const Triple one = scalar(*pair[lane]);
            const double expect[3] = {one.a, one.du, one.dr};
            for (int k = 0; k < 3; ++k) {
                const double got = frozen[k][lane];
                ++compared;
                if (std::memcmp(&got, &expect[k], sizeof got) != 0) {
                    ++differing;
                    ADD_FAILURE() << pair[lane]->kernel << " lane " << lane << " output " << k
                                  << " u=" << pair[lane]->u << " r=" << pair[lane]->r << " " << got << " vs "
                                  << expect[k];
                }
            }
            check_row(*pair[lane], {loose[0][lane], loose[1][lane], loose[2][lane]},
                      unfrozen[region_of(*pair[lane])], "unfrozen");
        }
    }
    EXPECT_EQ(differing, 0);
    std::printf("two lanes, kFreezeLanes: %d of %d outputs differ from one lane; without it:\n", differing, compared);
    print(unfrozen);
}

// dA/dr (u, r) is dA/du (r, u), and the value symmetric, by the same
// operations (bit for bit).
TEST(PointLensGradient, RingSymmetry) {
    const double lengths[] = {1e-8, 3e-5, 0.01, 0.3, 0.999, 1.0, 1.7, 40.0, 1e4};
    for (const double u : lengths) {
        for (const double r : lengths) {
            if (u == r) continue;
            const auto g = lanes::ring_gradient<double>(u, r);
            const auto h = lanes::ring_gradient<double>(r, u);
            EXPECT_EQ(g.a, h.a) << u << " " << r;
            EXPECT_EQ(g.da_dr, h.da_du) << u << " " << r;
            EXPECT_EQ(g.da_du, h.da_dr) << u << " " << r;
        }
    }
}

// At the disk's centre dA/du is 0 exactly (not -0) and dA/drho the
// derivative of sqrt(1 + 4/rho^2); just off it, dA/du is linear in u.
TEST(PointLensGradient, DiskCentre) {
    for (const double rho : {1e-8, 1e-3, 0.5, 1.0, 30.0, 1e4}) {
        const auto g = lanes::disk_gradient<double, true>(0.0, rho);
        EXPECT_EQ(g.da_du, 0.0) << rho;
        EXPECT_FALSE(std::signbit(g.da_du)) << rho;
        const double root = std::sqrt(1.0 + 4.0 / (rho * rho));
        EXPECT_NEAR(g.da_drho / (-4.0 / (rho * rho * rho * root)), 1.0, 1e-15) << rho;
        const auto h1 = lanes::disk_gradient<double, true>(1e-9 * rho, rho);
        const auto h2 = lanes::disk_gradient<double, true>(2e-9 * rho, rho);
        EXPECT_NEAR(h2.da_du / h1.da_du, 2.0, 1e-8) << rho;
    }
}

// Lengths far outside the oracle's range: the value finite, no partial NaN
// (a partial may overflow to inf or underflow to 0). The disk's value is the
// disk kernel's, which is NaN inside a disk whose |u - rho| squared overflows
// (rho above about 1e154): its value is checked up to rho = 1e150 only.
TEST(PointLensGradient, ExtremeLengthsNeverNaN) {
    constexpr double kDiskValueUpTo = 1e150;
    const double lengths[] = {1e-300, 1e-200, 1e-150, 1e-20, 1.0, 1e20, 1e150, 1e200, 1e300, 1.7e308};
    for (const double u : lengths) {
        for (const double r : lengths) {
            if (u == r) continue;
            const auto g = lanes::ring_gradient<double>(u, r);
            EXPECT_TRUE(std::isfinite(g.a)) << u << " " << r;
            EXPECT_FALSE(std::isnan(g.da_du) || std::isnan(g.da_dr)) << u << " " << r;
            const auto d = lanes::disk_gradient<double, true>(u, r);
            if (r <= kDiskValueUpTo) {
                EXPECT_TRUE(std::isfinite(d.a)) << u << " " << r;
            }
            EXPECT_FALSE(std::isnan(d.da_du) || std::isnan(d.da_drho)) << u << " " << r;
        }
    }
    for (const double u : {0.0, 5e-301, 3e-300, 1.0, 1e300}) {
        const auto d = lanes::disk_gradient<double, true>(u, 1e-300);
        EXPECT_TRUE(std::isfinite(d.a)) << u;
        EXPECT_FALSE(std::isnan(d.da_du) || std::isnan(d.da_drho)) << u;
    }
}

// The limb-darkened sources' ring kernel (quotients as products with
// reciprocals, sqrt(p) taken as |q|) against the same oracle and bars.
TEST(PointLensGradient, SourcePassRingMatchesOracle) {
    std::map<std::string, Worst> worst;
    for (const Row& row : load()) {
        if (row.kernel != "ring") continue;
        const auto g = lanes::ring_gradient_delta<double, true>(row.u, row.r, row.u - row.r);
        check_row(row, {g.a, g.da_du, g.da_dr}, worst[region_of(row)], "reciprocals");
        const double a = ring_kernel_delta(row.u, row.r, row.u - row.r);
        EXPECT_EQ(std::memcmp(&a, &g.a, sizeof a), 0) << "u=" << row.u << " r=" << row.r;
    }
    print(worst);
}

void gradient_one(double u, double r, double delta, double* a, double* a_u, double* a_r) {
    const auto g = lanes::ring_gradient_delta<double, true>(u, r, delta);
    *a = g.a, *a_u = g.da_du, *a_r = g.da_dr;
}

// Every instruction set's runs give the one-ring kernel bit for bit: rings
// over [0, 3u], rings whose distance from the lens is a few ulps or far
// below (down to q^2 = ((u - r)/(u + r))^2 subnormal or 0, where sqrt(q^2)
// is no longer |q|), and run lengths that leave partial vectors.
TEST(PointLensGradient, SourcePassRunsAreOneRing) {
    using Value = decltype(&point_lens_runs::ring_run_sse2);
    using Gradient = decltype(&point_lens_runs::ring_gradient_run_sse2);
    const struct {
        const char* name;
        Value value;
        Gradient gradient;
        bool supported;
    } isas[] = {
        {"sse2", point_lens_runs::ring_run_sse2, point_lens_runs::ring_gradient_run_sse2, true},
        {"avx2", point_lens_runs::ring_run_avx2, point_lens_runs::ring_gradient_run_avx2,
         static_cast<bool>(__builtin_cpu_supports("avx2"))},
        {"avx512", point_lens_runs::ring_run_avx512, point_lens_runs::ring_gradient_run_avx512,
         static_cast<bool>(__builtin_cpu_supports("avx512f"))},
    };
    const double tiny[] = {1e-150, 3e-154, 1e-155, 1e-160, 1e-170, 1e-300};
    int compared = 0;
    for (const double u : {1e-6, 0.03, 0.7, 1.0, 2.5, 400.0}) {
        std::vector<double> r, delta;
        for (int i = 0; i < 37; ++i) {
            r.push_back(u * 3.0 * (i + 0.5) / 37.0);
            delta.push_back(u - r.back());
        }
        for (const double d : tiny) {
            r.push_back(u);
            delta.push_back(d * u);
            r.push_back(u);
            delta.push_back(-d * u);
        }
        r.push_back(std::nextafter(u, 0.0));
        delta.push_back(u - r.back());
        for (const auto& isa : isas) {
            if (!isa.supported) continue;
            for (const std::size_t n : {r.size(), std::size_t{13}, std::size_t{5}}) {
                const std::size_t start = r.size() - n;
                std::vector<double> a(n), a_u(n), a_r(n), b(n);
                isa.value(u, r.data() + start, delta.data() + start, n, b.data(), ring_kernel_delta);
                isa.gradient(u, r.data() + start, delta.data() + start, n, a.data(), a_u.data(), a_r.data(),
                             gradient_one);
                for (std::size_t i = 0; i < n; ++i) {
                    double one[3];
                    gradient_one(u, r[start + i], delta[start + i], one, one + 1, one + 2);
                    const double got[4] = {b[i], a[i], a_u[i], a_r[i]};
                    const double expect[4] = {one[0], one[0], one[1], one[2]};
                    for (int k = 0; k < 4; ++k) {
                        ++compared;
                        EXPECT_EQ(std::memcmp(&got[k], &expect[k], sizeof got[k]), 0)
                            << isa.name << " output " << k << " u=" << u << " r=" << r[start + i]
                            << " delta=" << delta[start + i] << ": " << got[k] << " vs " << expect[k];
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 1000);
}

}  // namespace
}  // namespace magnifex
