// Case tables for the elliptic integrals: every failure message and the order
// of the argument checks, closed forms and reference values, symmetries of the
// Carlson integrals, K and E at negative parameter against mpmath, and the
// Legendre relation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"

namespace magnifex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kPiOver2 = 1.5707963267948966;

using Call = Fallible (*)();

double value_of(const Fallible& r) {
    EXPECT_FALSE(r.failed()) << r.failure;
    return r.value;
}

double relative_error(double got, double want) {
    return got == want ? 0.0 : std::fabs(got - want) / std::fabs(want);
}

// Failure messages, including which check wins when several apply.
struct FailureCase {
    const char* name;
    Call call;
    const char* message;
};

constexpr const char* kRfArgs =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
constexpr const char* kRfConverge = "elliprf: Failed to converge.";
constexpr const char* kRcY = "elliprc: y must be non-zero.";
constexpr const char* kRdXy = "elliprd: x and y must be non-negative, and at most one can be zero.";
constexpr const char* kRdZ = "elliprd: z must be positive";
constexpr const char* kRjArgs =
    "elliprj: x, y, and z must be non-negative, and at most one can be zero.";
constexpr const char* kRjP = "elliprj: p must be non-zero";
constexpr const char* kRjConverge = "elliprj: Fail to converge";
constexpr const char* kPiM = "ellippi: m must be less than 1.";

const FailureCase kFailureCases[] = {
    {"Rf_TwoZerosXY", [] { return elliprf(0, 0, 1); }, kRfArgs},
    {"Rf_TwoZerosYZ", [] { return elliprf(1, 0, 0); }, kRfArgs},
    {"Rf_AllZero", [] { return elliprf(0, 0, 0); }, kRfArgs},
    {"Rf_NegativeX", [] { return elliprf(-1, 1, 1); }, kRfArgs},
    {"Rf_NegativeBesideNaN", [] { return elliprf(kNaN, -1, 1); }, kRfArgs},
    {"Rf_NaNOnDuplication", [] { return elliprf(kNaN, 1, 2); }, kRfConverge},
    {"Rf_SpreadTooWide", [] { return elliprf(1e-300, 1, 1e300); }, kRfConverge},
    {"Rf_InfiniteOnDuplication", [] { return elliprf(kInf, 1, 2); }, kRfConverge},
    {"Rc_ZeroY", [] { return elliprc(1, 0); }, kRcY},
    {"Rc_NegativeZeroY", [] { return elliprc(1, -0.0); }, kRcY},
    {"Rc_NegativeXBeforeZeroY", [] { return elliprc(-1, 0); }, "elliprc: x must be non-negative."},
    {"Rd_ZeroZ", [] { return elliprd(1, 1, 0); }, kRdZ},
    {"Rd_NegativeZ", [] { return elliprd(1, 1, -1); }, kRdZ},
    {"Rd_ZeroXY", [] { return elliprd(0, 0, 1); }, kRdXy},
    {"Rd_NegativeXBeforeNegativeZ", [] { return elliprd(-1, 1, -1); }, kRdXy},
    {"Rj_ZeroP", [] { return elliprj(1, 2, 3, 0); }, kRjP},
    {"Rj_XyzBeforeP", [] { return elliprj(0, 0, 1, 0); }, kRjArgs},
    {"Rj_TwoZeros", [] { return elliprj(0, 0, 1, 1); }, kRjArgs},
    {"Rj_NegativeX", [] { return elliprj(-1, 1, 1, 1); }, kRjArgs},
    {"Rj_NaNP", [] { return elliprj(1, 2, 3, kNaN); }, kRjConverge},
    {"K_AboveOne", [] { return ellipk(1.0000001); }, "ellipk: m must be less than 1."},
    {"E_Two", [] { return ellipe(2); }, "ellipe: m must be less than 1."},
    {"Pi_MBeforeN", [] { return ellippi(2, 1); }, kPiM},
    {"Pi_MOne", [] { return ellippi(0.5, 1); }, kPiM},
    {"Pi_NAboveOne", [] { return ellippi(1.5, 0.5); }, "ellippi: n must be less than 1."},
    {"Pi_NOne", [] { return ellippi(1, 0.5); }, kRjP},
    {"Pi_NMinusInfinity", [] { return ellippi(-kInf, 0.5); }, kRjP},
    {"Pi_NaNMPositiveN", [] { return ellippi(0.5, kNaN); }, kRjConverge},
    {"Pi_NaNMNegativeN", [] { return ellippi(-0.5, kNaN); }, kRjConverge},
};

class EllipticFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(EllipticFailures, ReturnsExactMessage) {
    const Fallible r = GetParam().call();
    ASSERT_TRUE(r.failed()) << "returned " << r.value;
    EXPECT_EQ(std::string(r.failure), std::string(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(Messages, EllipticFailures, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Reference values and closed forms. Tolerance 0 demands the exact value (NaN
// matching NaN); 13-digit published references get 1e-12; values precomputed
// with mpmath (mp.dps = 40) get a few ulps.
struct ValueCase {
    const char* name;
    Call call;
    double expected, tolerance;  // relative
};

constexpr double kExact = 0.0;
constexpr double kRef13 = 1e-12;
constexpr double kFewUlps = 4 * kEps;

const ValueCase kValueCases[] = {
    // RF: one-zero AGM form, duplication, closed forms, non-finite inputs.
    {"Rf_120", [] { return elliprf(1, 2, 0); }, 1.311028777146, kRef13},
    {"Rf_Half10", [] { return elliprf(0.5, 1, 0); }, 1.854074677301, kRef13},
    {"Rf_234", [] { return elliprf(2, 3, 4); }, 0.5840828416772, kRef13},
    {"Rf_123", [] { return elliprf(1, 2, 3); }, 0.7269459354689, kRef13},
    {"Rf_111", [] { return elliprf(1, 1, 1); }, 1.0, kExact},
    {"Rf_011", [] { return elliprf(0, 1, 1); }, kPiOver2, kExact},
    {"Rf_110", [] { return elliprf(1, 1, 0); }, kPiOver2, kExact},
    {"Rf_WideSpread", [] { return elliprf(1e-200, 1, 1e200); }, 2.3164480366052446251e-98,
     8 * kEps},
    {"Rf_InfiniteOnAgm", [] { return elliprf(0, 1, kInf); }, 0.0, kExact},
    {"Rf_NaNOnAgm", [] { return elliprf(0, kNaN, 1); }, kNaN, kExact},
    // RC: each closed-form branch and the principal value.
    {"Rc_ZeroX", [] { return elliprc(0, 0.25); }, 3.141592653589793, kExact},
    {"Rc_Log2", [] { return elliprc(2.25, 2); }, 0.6931471805599453, kFewUlps},
    {"Rc_PrincipalValue", [] { return elliprc(0.25, -2); }, 0.23104906018664843647, kFewUlps},
    {"Rc_PrincipalValueZero", [] { return elliprc(0, -2); }, 0.0, kExact},
    {"Rc_PrincipalValueTinyPrefactor",
     [] { return elliprc(4.5216929042753855e-173, -9.6757658062753403e+192); },
     6.949686013467356e-280, kFewUlps},
    // RD: one-zero form, duplication, closed forms (the second through x <-> y).
    {"Rd_021", [] { return elliprd(0, 2, 1); }, 1.797210352103, kRef13},
    {"Rd_234", [] { return elliprd(2, 3, 4); }, 0.1651052729426, kRef13},
    {"Rd_111", [] { return elliprd(1, 1, 1); }, 1.0, kExact},
    {"Rd_011", [] { return elliprd(0, 1, 1); }, 2.356194490192345, kFewUlps},
    {"Rd_101", [] { return elliprd(1, 0, 1); }, 2.356194490192345, kFewUlps},
    {"Rd_203Duplication", [] { return elliprd(2, 0, 3); }, 0.52585344510508912505, kFewUlps},
    {"Rd_023Agm", [] { return elliprd(0, 2, 3); }, 0.52585344510508912505, kFewUlps},
    {"Rd_NearZeroX", [] { return elliprd(1e-10, 1, 2); }, 1.0679273831640041785, kFewUlps},
    {"Rd_ZeroXHugeZ", [] { return elliprd(0, 2.0343773053138994e-05, 9.3545944884563218e+159); },
     6.2986649377663271e-238, kFewUlps},
    // RJ: duplication, principal value, closed forms.
    {"Rj_0123", [] { return elliprj(0, 1, 2, 3); }, 0.7768862377858, kRef13},
    {"Rj_2345", [] { return elliprj(2, 3, 4, 5); }, 0.1429757966716, kRef13},
    {"Rj_PrincipalValue", [] { return elliprj(2, 3, 4, -0.5); }, 0.2472381970305, kRef13},
    {"Rj_PrincipalValueZeroX", [] { return elliprj(0, 1, 2, -1); }, -1.6339788078942580614,
     8 * kEps},
    {"Rj_PrincipalValueEqualXY", [] { return elliprj(1, 1, 2, -1); }, -0.3294083493893376694,
     8 * kEps},
    {"Rj_1111", [] { return elliprj(1, 1, 1, 1); }, 1.0, kExact},
    {"Rj_AllEqualXyz", [] { return elliprj(2, 2, 2, 1); }, 0.5228004174989865025, kFewUlps},
    {"Rj_TwoRcForm", [] { return elliprj(1, 2, 2, 5); }, 0.23182380450040305811, kFewUlps},
    {"Rj_PEqualsYZ", [] { return elliprj(1, 2, 2, 2); }, 0.42809724509617246442, kFewUlps},
    {"Rj_RatioBelowThreshold", [] { return elliprj(1, 2, 2, 2.1); }, 0.41520955196476603273,
     kFewUlps},
    // K and E: the polynomial forms, the special parameters, NaN.
    {"K_Zero", [] { return ellipk(0); }, kPiOver2, kExact},
    {"K_One", [] { return ellipk(1); }, kInf, kExact},
    {"K_Half", [] { return ellipk(0.5); }, 1.854074677301, kRef13},
    {"K_PointNine", [] { return ellipk(0.9); }, 2.578092113348, kRef13},
    {"K_BelowEps", [] { return ellipk(1 - 0x1p-53); }, 19.75469464595844, kExact},
    {"K_NaN", [] { return ellipk(kNaN); }, kNaN, kExact},
    {"K_MinusInfinity", [] { return ellipk(-kInf); }, 0.0, kExact},
    {"E_Zero", [] { return ellipe(0); }, kPiOver2, kExact},
    {"E_One", [] { return ellipe(1); }, 1.0, kExact},
    {"E_Half", [] { return ellipe(0.5); }, 1.350643881048, kRef13},
    {"E_PointNine", [] { return ellipe(0.9); }, 1.104774732704, kRef13},
    {"E_NaN", [] { return ellipe(kNaN); }, kNaN, kExact},
    {"E_MinusInfinity", [] { return ellipe(-kInf); }, kInf, kExact},
    // Pi: both characteristic branches and n = 0.
    {"Pi_ZeroZero", [] { return ellippi(0, 0); }, kPiOver2, kExact},
    {"Pi_Half0", [] { return ellippi(0.5, 0); }, 2.221441469079, kRef13},
    {"Pi_Minus1_0", [] { return ellippi(-1, 0); }, 1.110720734540, kRef13},
    {"Pi_PointThreeHalf", [] { return ellippi(0.3, 0.5); }, 2.250376821944, kRef13},
    {"Pi_MinusHalfHalf", [] { return ellippi(-0.5, 0.5); }, 1.487846992669, kRef13},
    {"Pi_NearSingular", [] { return ellippi(0.9, 0.99); }, 20.326005496444310023, 8 * kEps},
    {"Pi_LargeNegativeN", [] { return ellippi(-10, 0.3); }, 0.49291902413468676951, 8 * kEps},
    {"Pi_NegativeM", [] { return ellippi(0.5, -1); }, 1.80047398868574630897, 8 * kEps},
    {"Pi_NegativeNAndM", [] { return ellippi(-2, -3); }, 0.683058966383599933251, 8 * kEps},
    {"Pi_ZeroNaN", [] { return ellippi(0, kNaN); }, kNaN, kExact},
};

class EllipticValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(EllipticValues, MatchesReference) {
    const ValueCase& c = GetParam();
    const double v = value_of(c.call());
    if (std::isnan(c.expected)) {
        EXPECT_TRUE(std::isnan(v)) << "got " << v;
    } else if (c.tolerance == kExact) {
        EXPECT_EQ(v, c.expected);
    } else {
        EXPECT_LE(relative_error(v, c.expected), c.tolerance) << "got " << v;
    }
}

INSTANTIATE_TEST_SUITE_P(References, EllipticValues, ::testing::ValuesIn(kValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Pi(0, m) is K(m), value for value.
TEST(EllipticIdentities, PiAtZeroCharacteristicIsK) {
    for (const double m : {0.1, 0.5, 0.9, 0.999}) {
        EXPECT_EQ(value_of(ellippi(0, m)), value_of(ellipk(m))) << "m = " << m;
    }
}

// RF and RJ are symmetric in x, y, z: the largest relative spread over the six
// orderings stays within 4 eps.
TEST(CarlsonSymmetry, RfAndRjInvariantUnderPermutationsOfXyz) {
    const double triples[][3] = {{0.5, 1.0, 2.0}, {1e-8, 1.0, 3.0},   {0.0, 0.3, 7.0},
                                 {1e-3, 1e3, 1e6}, {2.0, 2.0, 9.0},   {0.7, 0.71, 0.72},
                                 {1e-12, 0.5, 0.5}, {0.0, 2.0, 2.0}};
    double worst = 0.0;
    for (const auto& t : triples) {
        for (const double p : {kNaN, 0.25, 1.5, 40.0, -0.6, -3.0}) {  // NaN: RF
            const auto f = [p](const double* a) {
                return value_of(std::isnan(p) ? elliprf(a[0], a[1], a[2])
                                              : elliprj(a[0], a[1], a[2], p));
            };
            double a[] = {t[0], t[1], t[2]};
            std::sort(a, a + 3);
            const double base = f(a);
            do {
                const double spread = relative_error(f(a), base);
                EXPECT_LE(spread, 4 * kEps) << a[0] << ", " << a[1] << ", " << a[2] << "; p " << p;
                worst = std::max(worst, spread);
            } while (std::next_permutation(a, a + 3));
        }
    }
    std::printf("[ info ] worst permutation spread: %.2f ulp\n", worst / kEps);
}

// K(m) and E(m) for m < 0 (imaginary-modulus transformation), against mpmath
// 1.3.0 ellipk/ellipe at 40 digits, evaluated at the exact double m.
TEST(EllipticNegativeParameter, KAndEMatchMpmath) {
    const double cases[][3] = {
        {-1e-12, 1.57079632679450392015, 1.57079632679528931831},
        {-1e-6, 1.57079593409603581359, 1.57079671949390468691},
        {-0.001, 1.57040384845315062217, 1.57118895227618037329},
        {-0.1, 1.53359281971345687954, 1.6093590249375295958},
        {-0.5, 1.41573720842595619889, 1.75177127569481786203},
        {-1, 1.31102877714605990523, 1.91009889451385600895},
        {-2.5, 1.12088100360300672423, 2.3069156143590687645},
        {-10, 0.790871890238738475199, 3.63913803841776816353},
        {-1000, 0.153029334988498785767, 31.70720405371125972},
        {-1e6, 0.00829404781659061993292, 1000.00439702434854808},
        {-1e12, 0.0000152018049190806142717, 1000000.00000785090246},
        {-1e20, 0.0000000024412145291060347459, 10000000000.0000000012},
        {-1e100, 1.16515549010822173901e-48, 1.00000000000000000795e+50},
        {-1e300, 3.46774058310226734144e-148, 1.00000000000000002625e+150},
    };
    double worst = 0.0;
    for (const auto& [m, k, e] : cases) {
        const double err_k = relative_error(value_of(ellipk(m)), k);
        const double err_e = relative_error(value_of(ellipe(m)), e);
        EXPECT_LE(err_k, 2e-15) << "K(" << m << ")";
        EXPECT_LE(err_e, 2e-15) << "E(" << m << ")";
        worst = std::max({worst, err_k, err_e});
    }
    std::printf("[ info ] m < 0 worst relative error of K and E: %.2f ulp\n", worst / kEps);
}

// Legendre's relation E K' + E' K - K K' = pi/2 (DLMF 19.7.1), primes at 1 - m.
// Dyadic m keeps 1 - m exact (K' is steep near 1); the terms grow like
// ln(1/m), so the tolerance scales with the largest.
TEST(EllipticLegendre, RelationHolds) {
    for (const double m : {0x1p-30, 0x1p-10, 0.125, 0.25, 0.5, 0.75, 0.875, 1 - 0x1p-10,
                           1 - 0x1p-30}) {
        const double km = value_of(ellipk(m)), kc = value_of(ellipk(1.0 - m));
        const double em = value_of(ellipe(m)), ec = value_of(ellipe(1.0 - m));
        const double largest = std::max({em * kc, ec * km, km * kc});
        EXPECT_NEAR(em * kc + ec * km - km * kc, kPiOver2, 8 * kEps * largest) << "m = " << m;
    }
}

}  // namespace
}  // namespace magnifex
