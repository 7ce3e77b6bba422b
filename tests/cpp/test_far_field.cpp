// Far-field series of extended sources: accuracy against mpmath quadrature of
// the point-source magnification over the source (tests/data/
// far_field_golden.tsv, tools/gen_far_field_golden.py), the switch on both
// sides, the moments of tables against closed forms, and the edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "models/far_field.hpp"
#include "models/heyrovsky.hpp"

namespace magnifex {
namespace {

// Relative error allowed where the series accepts a point.
constexpr double kBar = 1e-13;
constexpr double kPi = 3.141592653589793;

struct Table {
    std::vector<double> bl, bf;
};

struct GoldenRow {
    std::string profile;
    double rho, u, flux, value;
};

std::vector<double> parse_list(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> out;
    double v;
    while (in >> v) out.push_back(v);
    return out;
}

void load(std::map<std::string, Table>& tables, std::vector<GoldenRow>& rows) {
    std::ifstream in(MAGNIFEX_TEST_DATA_DIR "/far_field_golden.tsv");
    ASSERT_TRUE(in) << "missing far_field_golden.tsv";
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("# table ", 0) == 0) {
            std::istringstream head(line.substr(8));
            std::string name;
            head >> name;
            const auto bl = line.find("bl="), bf = line.find(" bf=");
            tables[name] = {parse_list(line.substr(bl + 3, bf - bl - 3)), parse_list(line.substr(bf + 4))};
            continue;
        }
        if (line.empty() || line[0] == '#' || line.rfind("profile", 0) == 0) continue;
        std::istringstream fields(line);
        GoldenRow row;
        std::string rho, u, flux, value;
        std::getline(fields, row.profile, '\t');
        std::getline(fields, rho, '\t');
        std::getline(fields, u, '\t');
        std::getline(fields, flux, '\t');
        std::getline(fields, value, '\t');
        row.rho = std::stod(rho);
        row.u = std::stod(u);
        row.flux = std::stod(flux);
        row.value = std::stod(value);
        rows.push_back(row);
    }
}

FarFieldMoments moments_of(const GoldenRow& row, const std::map<std::string, Table>& tables) {
    if (row.profile == "disk") return FarFieldMoments::uniform_disk();
    if (row.profile == "ld") return FarFieldMoments::linear_limb_darkening(0.6, row.flux);
    const Table& t = tables.at(row.profile);
    return FarFieldMoments::table(t.bl, t.bf, row.flux);
}

TEST(FarField, MatchesQuadratureOracleWhereItAccepts) {
    std::map<std::string, Table> tables;
    std::vector<GoldenRow> rows;
    load(tables, rows);
    ASSERT_GE(rows.size(), 200u);
    ASSERT_EQ(tables.size(), 4u);

    struct Worst {
        double near = 0.0, far = 0.0;
        int accepted = 0, declined = 0;
        double lowest_accepted = std::numeric_limits<double>::infinity();
    };
    std::map<std::string, Worst> worst;
    for (const GoldenRow& row : rows) {
        const FarFieldMoments m = moments_of(row, tables);
        ASSERT_TRUE(m.usable) << row.profile;
        const double ratio = row.u / row.rho;
        double value = -1.0;
        Worst& w = worst[row.profile];
        if (!far_field_magnification(row.u, row.rho, m, &value)) {
            ++w.declined;
            EXPECT_EQ(value, -1.0);
            // Declining is allowed only near the source.
            EXPECT_LT(ratio * 1.0000001, 2.2 / m.support) << row.profile << " rho=" << row.rho << " u=" << row.u;
            continue;
        }
        ++w.accepted;
        w.lowest_accepted = std::fmin(w.lowest_accepted, ratio);
        const double err = std::fabs(value - row.value) / row.value;
        EXPECT_LE(err, kBar) << row.profile << " rho=" << row.rho << " u=" << row.u << " got=" << value
                             << " golden=" << row.value;
        double& slot = ratio < 5.0 ? w.near : w.far;
        slot = std::fmax(slot, err);
    }
    for (const auto& [profile, w] : worst) {
        std::printf("far field %-7s accepted %3d declined %2d, lowest u/rho accepted %.2f, "
                    "worst rel. error u/rho < 5: %.2e, beyond: %.2e\n",
                    profile.c_str(), w.accepted, w.declined, w.lowest_accepted, w.near, w.far);
        // Every profile is declined at u = 1.5 rho (inside the convergence
        // bound for a source reaching x = 1) and accepted from 2.2 rho on.
        if (profile != "drop") {
            EXPECT_GT(w.declined, 0) << profile;
        }
    }
}

// The series of a ring against the ring's closed form (an independent
// formula), ring radii inside and outside the source radius.
TEST(FarField, ThinRingAgreesWithClosedForm) {
    struct Case {
        double l, r, rstar;
    } cases[] = {{3.0, 1.0, 0.1}, {10.0, 3.0, 0.5}, {50.0, 0.2, 1.0}, {4.0, 2.0, 0.01}, {1e4, 1.0, 1e-3}};
    for (const Case& c : cases) {
        const FarFieldMoments m = FarFieldMoments::thin_ring(c.r);
        double value = 0.0;
        ASSERT_TRUE(far_field_magnification(c.l * c.rstar, c.rstar, m, &value)) << c.l << " " << c.r;
        const Outcome<double> ring = heyrovsky_magnification(c.l, c.r, 1.0, c.rstar);
        ASSERT_TRUE(ring.ok());
        EXPECT_NEAR(value / ring.value(), 1.0, 1e-11) << c.l << " " << c.r << " " << c.rstar;
    }
    double value = 0.0;
    EXPECT_FALSE(far_field_magnification(1.7, 0.5, FarFieldMoments::thin_ring(2.0), &value));
}

// A weighted sum of rings is one series: against the sum of closed forms.
TEST(FarField, DiscreteRingsAgreeWithSumOfClosedForms) {
    const std::vector<double> bl{0.0, 0.2, 0.5, 0.9, 1.3}, bf{1.0, 0.7, -0.2, 0.4, 0.1};
    const FarFieldMoments m = FarFieldMoments::discrete_rings(bl, bf);
    EXPECT_DOUBLE_EQ(m.support, 1.3);
    for (const double l : {2.5, 4.0, 30.0, 3e4}) {
        for (const double rstar : {0.01, 0.3, 2.0}) {
            double value = 0.0;
            ASSERT_TRUE(far_field_magnification(l * rstar, rstar, m, &value)) << l << " " << rstar;
            double sum = 0.0;
            for (std::size_t j = 0; j < bl.size(); ++j) {
                const Outcome<double> ring = heyrovsky_magnification(l, bl[j], 1.0, rstar);
                ASSERT_TRUE(ring.ok());
                sum = sum + ring.value() * bf[j];
            }
            EXPECT_NEAR(value / sum, 1.0, 1e-11) << l << " " << rstar;
        }
    }
    // A negative radius is an error of the ring form, which the series must
    // leave to it.
    const std::vector<double> negative{0.5, -0.5}, two{1.0, 1.0};
    EXPECT_FALSE(FarFieldMoments::discrete_rings(negative, two).usable);
}

// Table moments: closed forms, invariance under splitting, clipping to the
// source, narrow segments, and the tables that the series refuses.
TEST(FarField, TableMoments) {
    const double flux = kPi;
    const std::vector<double> flat_bl{0.0, 1.0}, flat_bf{1.0, 1.0};
    const FarFieldMoments flat = FarFieldMoments::table(flat_bl, flat_bf, flux);
    const FarFieldMoments disk = FarFieldMoments::uniform_disk();
    // The line 1 - 0.6 x, once as two rows, once as five rows on the same line
    // (also reaching outside [0, 1], where it is clipped).
    const std::vector<double> line_bl{0.0, 1.0}, line_bf{1.0, 0.4};
    const std::vector<double> split_bl{-1.0, 0.25, 0.5, 0.75, 2.0}, split_bf{1.6, 0.85, 0.7, 0.55, -0.2};
    const FarFieldMoments line = FarFieldMoments::table(line_bl, line_bf, flux);
    const FarFieldMoments split = FarFieldMoments::table(split_bl, split_bf, flux);
    // A ring of width 1e-12 at x = 0.5: M_k / M_0 = 0.25^k (1 + 2e-12 k), where
    // x1^n - x0^n would lose 1e-4 to cancellation.
    const double a = 0.5, b = 0.5 + 1e-12;
    const std::vector<double> narrow_bl{a, b}, narrow_bf{1.0, 1.0};
    const FarFieldMoments narrow = FarFieldMoments::table(narrow_bl, narrow_bf, 1.0);
    const double narrow_flux = kPi * ((b - a) * (b + a));  // b - a is exact
    for (int k = 0; k < FarFieldMoments::kCount; ++k) {
        EXPECT_NEAR(flat.moment[k], disk.moment[k], 1e-15 * disk.moment[k]) << k;
        const double exact = 1.0 / (k + 1) - 1.2 / (2 * k + 3);
        EXPECT_NEAR(line.moment[k], exact, 2e-15 * exact) << k;
        EXPECT_NEAR(split.moment[k], exact, 2e-15 * exact) << k;
        EXPECT_LE(std::fabs(line.moment[k]), line.majorant[k]);
        const double ring = std::pow(0.25, k) * (1.0 + 2e-12 * k);  // x^{2k} averaged over [a, b]
        EXPECT_NEAR(narrow.moment[k] / narrow_flux, ring, 1e-14 * ring) << k;
    }
    EXPECT_DOUBLE_EQ(narrow.support, b);
    EXPECT_DOUBLE_EQ(line.support, 1.0);

    // A sign change: the majorant bounds |M_k| and stays above it.
    const std::vector<double> signed_bl{0.0, 1.0}, signed_bf{1.0, -1.0};
    const FarFieldMoments sign = FarFieldMoments::table(signed_bl, signed_bf, 1.0);
    for (int k = 0; k < FarFieldMoments::kCount; ++k) EXPECT_LT(std::fabs(sign.moment[k]), sign.majorant[k]);

    // One row: the interpolation's constant profile.
    const std::vector<double> one_bl{0.3}, one_bf{2.0};
    const FarFieldMoments one = FarFieldMoments::table(one_bl, one_bf, 2.0 * kPi);
    EXPECT_NEAR(one.moment[3], 0.25, 1e-16);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> empty;
    const std::vector<double> down_bl{0.0, 0.6, 0.5}, three_bf{1.0, 1.0, 1.0};
    const std::vector<double> nan_bl{0.0, nan}, two_bf{1.0, 1.0};
    EXPECT_TRUE(line.usable);
    EXPECT_FALSE(FarFieldMoments::table(empty, empty, 0.0).usable);
    EXPECT_FALSE(FarFieldMoments::table(down_bl, three_bf, 1.0).usable);
    EXPECT_FALSE(FarFieldMoments::table(nan_bl, two_bf, 1.0).usable);
    EXPECT_FALSE(FarFieldMoments::table(flat_bl, flat_bf, 0.0).usable);
    EXPECT_FALSE(FarFieldMoments::linear_limb_darkening(0.6, nan).usable);
}

// The normalisation the caller divides by carries through as M_0.
TEST(FarField, KeepsTheCallersNormalisation) {
    const double stored = 2.5132741228717936;  // a quadrature of 0.8 pi
    const FarFieldMoments exact = FarFieldMoments::linear_limb_darkening(0.6, 0.8 * kPi);
    const FarFieldMoments route = FarFieldMoments::linear_limb_darkening(0.6, stored);
    double a = 0.0, b = 0.0;
    ASSERT_TRUE(far_field_magnification(2.0, 0.1, exact, &a));
    ASSERT_TRUE(far_field_magnification(2.0, 0.1, route, &b));
    EXPECT_NEAR(b / a, 0.8 * kPi / stored, 1e-16);
}

TEST(FarField, Edges) {
    const FarFieldMoments disk = FarFieldMoments::uniform_disk();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double u, rho;
    } declined[] = {{0.0, 0.0}, {-2.0, 0.1}, {nan, 0.1}, {1.0, nan}, {inf, 0.1}, {1.0, -0.1},
                    {1e-150, 1e-152}, {1e101, 1.0}, {1.0, 0.6}};
    for (const Case& c : declined) {
        double value = 7.0;
        EXPECT_FALSE(far_field_magnification(c.u, c.rho, disk, &value)) << c.u << " " << c.rho;
        EXPECT_EQ(value, 7.0);
    }
    double value = 0.0;
    // A point source is the point-source magnification itself.
    ASSERT_TRUE(far_field_magnification(0.5, 0.0, disk, &value));
    EXPECT_EQ(value, (0.25 + 2.0) / (0.5 * std::sqrt(0.25 + 4.0)));
    // Far out the magnification tends to 1 from above.
    ASSERT_TRUE(far_field_magnification(1e50, 1.0, disk, &value));
    EXPECT_EQ(value, 1.0);
    // Next to the lens A0 -> 1/u and L^k (1/u) = ((2k-1)!!)^2 / u^{2k+1}, so that
    // u A = sum_k (binom(2k, k) / 4^k)^2 (rho/u)^{2k} / (k + 1) for the disk.
    ASSERT_TRUE(far_field_magnification(1e-130, 1e-131, disk, &value));
    double expected = 0.0, c = 1.0;
    for (int k = 0; k < 30; ++k) {
        expected = expected + (c * c) * std::pow(0.01, k) / (k + 1);
        c = c * (2.0 * k + 1.0) / (2.0 * k + 2.0);
    }
    EXPECT_NEAR(value * 1e-130, expected, 1e-15);
}

}  // namespace
}  // namespace magnifex
