// The double-exponential rule stopped at a relative tolerance, and the
// Gauss-Kronrod pairs used on short pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>

#include "numerics/gauss_kronrod.hpp"
#include "numerics/quadrature.hpp"

namespace magnifex {
namespace {

// int_0^1 log(c - x) dx for c > 1: the lens just beyond the end of a piece.
double log_beyond_end(double c) { return -(c - 1.0) * std::log(c - 1.0) + (c - 1.0) + c * std::log(c) - c; }

struct RelativeCase {
    const char* name;
    double (*f)(double);
    double exact;
    double max_relative_error;
    std::uint32_t max_evaluations;
};

const RelativeCase kRelativeCases[] = {
    {"exp", [](double x) { return std::exp(x); }, std::numbers::e - 1.0, 5e-15, 49},
    {"two_pi_x", [](double x) { return 2.0 * std::numbers::pi * x; }, std::numbers::pi, 5e-15, 49},
    // Integrable end singularities: the node table's reach (t <= 3) sets the floor.
    {"log_end", [](double x) { return std::log(x); }, -1.0, 1e-13, 49},
    {"sqrt_end", [](double x) { return std::sqrt(1.0 - x); }, 2.0 / 3.0, 5e-15, 49},
    // A log singularity 5.7e-6 beyond the end: successive level changes fall
    // at a ratio near 2 well before the estimate has converged, which a
    // squared change would take for convergence.
    {"log_just_beyond_end", [](double x) { return std::log(1.0000057 - x); }, log_beyond_end(1.0000057), 3e-13,
     193},
};

class QuadratureRelative : public ::testing::TestWithParam<RelativeCase> {};

TEST_P(QuadratureRelative, ConvergedAndEarly) {
    const RelativeCase& c = GetParam();
    const QuadratureResult r = integrate_relative(c.f, 0.0, 1.0, 1e-11);
    const double error = std::fabs(r.integral - c.exact) / std::fabs(c.exact);
    std::printf("[ relative ] %-20s rel error %.3g, %u evaluations\n", c.name, error, r.evaluation_count);
    EXPECT_LE(error, c.max_relative_error);
    EXPECT_LE(r.evaluation_count, c.max_evaluations);
}

INSTANTIATE_TEST_SUITE_P(Integrands, QuadratureRelative, ::testing::ValuesIn(kRelativeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QuadratureRelative, ZeroIntegrandStopsAtLevelTwo) {
    const QuadratureResult r = integrate_relative([](double) { return 0.0; }, 0.0, 1.0, 1e-11);
    EXPECT_EQ(r.integral, 0.0);
    EXPECT_EQ(r.evaluation_count, 25u);
}

// Monomials on [0.3, 1.7]: each sum is exact (to rounding) up to its degree
// (the rules are symmetric, so one odd degree more), and the Gauss sum is
// visibly not exact beyond it.
template <std::size_t N>
void check_exactness(const std::array<GaussKronrodNode, N>& rule, int gauss_degree, int kronrod_degree) {
    for (int k = 0; k <= kronrod_degree + 1; ++k) {
        auto f = [k](double x) { return std::pow(x, k); };
        const double exact = (std::pow(1.7, k + 1) - std::pow(0.3, k + 1)) / (k + 1);
        const GaussKronrodResult r = gauss_kronrod(f, 0.3, 1.7, rule);
        const double kronrod_error = std::fabs(r.kronrod - exact) / exact;
        const double gauss_error = std::fabs(r.gauss - exact) / exact;
        if (k <= kronrod_degree + 1) {
            EXPECT_LE(kronrod_error, 1e-14) << "degree " << k;
        }
        if (k <= gauss_degree) {
            EXPECT_LE(gauss_error, 1e-14) << "degree " << k;
        } else {
            EXPECT_GT(gauss_error, 1e-13) << "degree " << k;
        }
    }
}

TEST(GaussKronrod, ExactnessDegrees) {
    check_exactness(GAUSS_KRONROD_7, 5, 10);
    check_exactness(GAUSS_KRONROD_15, 13, 22);
}

// Rows against QUADPACK's qk15 and qk21-family tables (Piessens et al. 1983).
TEST(GaussKronrod, ListedRows) {
    EXPECT_NEAR(GAUSS_KRONROD_15[7].abscissa, 0.991455371120812639206854697526329, 1e-16);
    EXPECT_NEAR(GAUSS_KRONROD_15[7].kronrod_weight, 0.022935322010529224963732008058970, 1e-17);
    EXPECT_NEAR(GAUSS_KRONROD_15[0].kronrod_weight, 0.209482141084727828012999174891714, 1e-16);
    EXPECT_NEAR(GAUSS_KRONROD_15[6].gauss_weight, 0.129484966168869693270611432679082, 1e-16);
    EXPECT_NEAR(GAUSS_KRONROD_7[3].abscissa, 0.960491268708020283423507092629080, 1e-16);
    EXPECT_NEAR(GAUSS_KRONROD_7[2].gauss_weight, 5.0 / 9.0, 1e-16);
}

// Zero width: both sums 0.
TEST(GaussKronrod, EmptyPiece) {
    const GaussKronrodResult r = gauss_kronrod_15([](double x) { return x; }, 0.4, 0.4);
    EXPECT_EQ(r.kronrod, 0.0);
    EXPECT_EQ(r.gauss, 0.0);
}

}  // namespace
}  // namespace magnifex
