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

namespace {

using magnifex::Fallible;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kPiOver2 = 1.5707963267948966;

enum class Routine { kRf, kRc, kRd, kRj, kK, kE, kPi };

// One call of a routine; unused arguments are ignored.
struct Call {
    Routine routine;
    double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
};

Fallible evaluate(const Call& call) {
    switch (call.routine) {
        case Routine::kRf: return magnifex::elliprf(call.a, call.b, call.c);
        case Routine::kRc: return magnifex::elliprc(call.a, call.b);
        case Routine::kRd: return magnifex::elliprd(call.a, call.b, call.c);
        case Routine::kRj: return magnifex::elliprj(call.a, call.b, call.c, call.d);
        case Routine::kK: return magnifex::ellipk(call.a);
        case Routine::kE: return magnifex::ellipe(call.a);
        case Routine::kPi: return magnifex::ellippi(call.a, call.b);
    }
    return Fallible::fail("unknown routine");
}

Call rf(double x, double y, double z) { return {Routine::kRf, x, y, z}; }
Call rc(double x, double y) { return {Routine::kRc, x, y}; }
Call rd(double x, double y, double z) { return {Routine::kRd, x, y, z}; }
Call rj(double x, double y, double z, double p) { return {Routine::kRj, x, y, z, p}; }
Call k(double m) { return {Routine::kK, m}; }
Call e(double m) { return {Routine::kE, m}; }
Call pi(double n, double m) { return {Routine::kPi, n, m}; }

double value_of(const Call& call) {
    const Fallible r = evaluate(call);
    EXPECT_FALSE(r.failed()) << r.failure;
    return r.value;
}

double relative_error(double got, double want) {
    if (got == want) return 0.0;
    return std::fabs(got - want) / std::fabs(want);
}

// ---------------------------------------------------------------------------
// (1) Failure messages, including which check wins when several apply.

struct FailureCase {
    const char* name;
    Call call;
    const char* message;
};

constexpr const char* kRfArgs =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
constexpr const char* kRfConverge = "elliprf: Failed to converge.";
constexpr const char* kRcX = "elliprc: x must be non-negative.";
constexpr const char* kRcY = "elliprc: y must be non-zero.";
constexpr const char* kRdXy = "elliprd: x and y must be non-negative, and at most one can be zero.";
constexpr const char* kRdZ = "elliprd: z must be positive";
constexpr const char* kRjArgs =
    "elliprj: x, y, and z must be non-negative, and at most one can be zero.";
constexpr const char* kRjP = "elliprj: p must be non-zero";
constexpr const char* kRjConverge = "elliprj: Fail to converge";
constexpr const char* kKm = "ellipk: m must be less than 1.";
constexpr const char* kEm = "ellipe: m must be less than 1.";
constexpr const char* kPiM = "ellippi: m must be less than 1.";
constexpr const char* kPiN = "ellippi: n must be less than 1.";

const FailureCase kFailureCases[] = {
    {"Rf_TwoZerosXY", rf(0, 0, 1), kRfArgs},
    {"Rf_TwoZerosYZ", rf(1, 0, 0), kRfArgs},
    {"Rf_AllZero", rf(0, 0, 0), kRfArgs},
    {"Rf_NegativeX", rf(-1, 1, 1), kRfArgs},
    {"Rf_NegativeBesideNaN", rf(kNaN, -1, 1), kRfArgs},
    {"Rf_NaNOnDuplication", rf(kNaN, 1, 2), kRfConverge},
    {"Rf_SpreadTooWide", rf(1e-300, 1, 1e300), kRfConverge},
    {"Rf_InfiniteOnDuplication", rf(kInf, 1, 2), kRfConverge},
    {"Rc_ZeroY", rc(1, 0), kRcY},
    {"Rc_NegativeZeroY", rc(1, -0.0), kRcY},
    {"Rc_NegativeXBeforeZeroY", rc(-1, 0), kRcX},
    {"Rd_ZeroZ", rd(1, 1, 0), kRdZ},
    {"Rd_NegativeZ", rd(1, 1, -1), kRdZ},
    {"Rd_ZeroXY", rd(0, 0, 1), kRdXy},
    {"Rd_NegativeXBeforeNegativeZ", rd(-1, 1, -1), kRdXy},
    {"Rj_ZeroP", rj(1, 2, 3, 0), kRjP},
    {"Rj_XyzBeforeP", rj(0, 0, 1, 0), kRjArgs},
    {"Rj_TwoZeros", rj(0, 0, 1, 1), kRjArgs},
    {"Rj_NegativeX", rj(-1, 1, 1, 1), kRjArgs},
    {"Rj_NaNP", rj(1, 2, 3, kNaN), kRjConverge},
    {"K_AboveOne", k(1.0000001), kKm},
    {"E_Two", e(2), kEm},
    {"Pi_MBeforeN", pi(2, 1), kPiM},
    {"Pi_MOne", pi(0.5, 1), kPiM},
    {"Pi_NAboveOne", pi(1.5, 0.5), kPiN},
    {"Pi_NOne", pi(1, 0.5), kRjP},
    {"Pi_NMinusInfinity", pi(-kInf, 0.5), kRjP},
    {"Pi_NaNMPositiveN", pi(0.5, kNaN), kRjConverge},
    {"Pi_NaNMNegativeN", pi(-0.5, kNaN), kRjConverge},
};

class EllipticFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(EllipticFailures, ReturnsExactMessage) {
    const FailureCase& c = GetParam();
    const Fallible r = evaluate(c.call);
    ASSERT_TRUE(r.failed()) << "returned " << r.value;
    EXPECT_EQ(std::string(r.failure), std::string(c.message));
}

INSTANTIATE_TEST_SUITE_P(Messages, EllipticFailures, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// (2) Reference values and closed forms. A tolerance of 0 demands the exact
// value (NaN matching NaN); the 13-digit published references get 1e-12; values
// precomputed with mpmath (mp.dps = 40) get a few ulps.

struct ValueCase {
    const char* name;
    Call call;
    double expected;
    double tolerance;  // relative
};

constexpr double kExact = 0.0;
constexpr double kRef13 = 1e-12;
constexpr double kFewUlps = 4 * kEps;

const ValueCase kValueCases[] = {
    // RF: one-zero AGM form, duplication, closed forms, non-finite inputs.
    {"Rf_120", rf(1, 2, 0), 1.311028777146, kRef13},
    {"Rf_Half10", rf(0.5, 1, 0), 1.854074677301, kRef13},
    {"Rf_234", rf(2, 3, 4), 0.5840828416772, kRef13},
    {"Rf_123", rf(1, 2, 3), 0.7269459354689, kRef13},
    {"Rf_111", rf(1, 1, 1), 1.0, kExact},
    {"Rf_011", rf(0, 1, 1), kPiOver2, kExact},
    {"Rf_110", rf(1, 1, 0), kPiOver2, kExact},
    {"Rf_WideSpread", rf(1e-200, 1, 1e200), 2.3164480366052446251e-98, 8 * kEps},
    {"Rf_InfiniteOnAgm", rf(0, 1, kInf), 0.0, kExact},
    {"Rf_NaNOnAgm", rf(0, kNaN, 1), kNaN, kExact},
    // RC: each closed-form branch and the principal value.
    {"Rc_ZeroX", rc(0, 0.25), 3.141592653589793, kExact},
    {"Rc_Log2", rc(2.25, 2), 0.6931471805599453, kFewUlps},
    {"Rc_PrincipalValue", rc(0.25, -2), 0.23104906018664843647, kFewUlps},
    {"Rc_PrincipalValueZero", rc(0, -2), 0.0, kExact},
    {"Rc_PrincipalValueTinyPrefactor", rc(4.5216929042753855e-173, -9.6757658062753403e+192),
     6.949686013467356e-280, kFewUlps},
    // RD: one-zero form, duplication, closed forms (the second through x <-> y).
    {"Rd_021", rd(0, 2, 1), 1.797210352103, kRef13},
    {"Rd_234", rd(2, 3, 4), 0.1651052729426, kRef13},
    {"Rd_111", rd(1, 1, 1), 1.0, kExact},
    {"Rd_011", rd(0, 1, 1), 2.356194490192345, kFewUlps},
    {"Rd_101", rd(1, 0, 1), 2.356194490192345, kFewUlps},
    {"Rd_203Duplication", rd(2, 0, 3), 0.52585344510508912505, kFewUlps},
    {"Rd_023Agm", rd(0, 2, 3), 0.52585344510508912505, kFewUlps},
    {"Rd_NearZeroX", rd(1e-10, 1, 2), 1.0679273831640041785, kFewUlps},
    {"Rd_ZeroXHugeZ", rd(0, 2.0343773053138994e-05, 9.3545944884563218e+159), 6.2986649377663271e-238,
     kFewUlps},
    // RJ: duplication, principal value, closed forms.
    {"Rj_0123", rj(0, 1, 2, 3), 0.7768862377858, kRef13},
    {"Rj_2345", rj(2, 3, 4, 5), 0.1429757966716, kRef13},
    {"Rj_PrincipalValue", rj(2, 3, 4, -0.5), 0.2472381970305, kRef13},
    {"Rj_PrincipalValueZeroX", rj(0, 1, 2, -1), -1.6339788078942580614, 8 * kEps},
    {"Rj_PrincipalValueEqualXY", rj(1, 1, 2, -1), -0.3294083493893376694, 8 * kEps},
    {"Rj_1111", rj(1, 1, 1, 1), 1.0, kExact},
    {"Rj_AllEqualXyz", rj(2, 2, 2, 1), 0.5228004174989865025, kFewUlps},
    {"Rj_TwoRcForm", rj(1, 2, 2, 5), 0.23182380450040305811, kFewUlps},
    {"Rj_RatioBelowThreshold", rj(1, 2, 2, 2.1), 0.41520955196476603273, kFewUlps},
    // K and E: the polynomial forms, the special parameters, NaN.
    {"K_Zero", k(0), kPiOver2, kExact},
    {"K_One", k(1), kInf, kExact},
    {"K_Half", k(0.5), 1.854074677301, kRef13},
    {"K_PointNine", k(0.9), 2.578092113348, kRef13},
    {"K_BelowEps", k(1 - 0x1p-53), 19.75469464595844, kExact},
    {"K_NaN", k(kNaN), kNaN, kExact},
    {"K_MinusInfinity", k(-kInf), 0.0, kExact},
    {"E_Zero", e(0), kPiOver2, kExact},
    {"E_One", e(1), 1.0, kExact},
    {"E_Half", e(0.5), 1.350643881048, kRef13},
    {"E_PointNine", e(0.9), 1.104774732704, kRef13},
    {"E_NaN", e(kNaN), kNaN, kExact},
    {"E_MinusInfinity", e(-kInf), kInf, kExact},
    // Pi: both characteristic branches and n = 0.
    {"Pi_ZeroZero", pi(0, 0), kPiOver2, kExact},
    {"Pi_Half0", pi(0.5, 0), 2.221441469079, kRef13},
    {"Pi_Minus1_0", pi(-1, 0), 1.110720734540, kRef13},
    {"Pi_PointThreeHalf", pi(0.3, 0.5), 2.250376821944, kRef13},
    {"Pi_MinusHalfHalf", pi(-0.5, 0.5), 1.487846992669, kRef13},
    {"Pi_NearSingular", pi(0.9, 0.99), 20.326005496444310023, 8 * kEps},
    {"Pi_LargeNegativeN", pi(-10, 0.3), 0.49291902413468676951, 8 * kEps},
    {"Pi_NegativeM", pi(0.5, -1), 1.80047398868574630897, 8 * kEps},
    {"Pi_NegativeNAndM", pi(-2, -3), 0.683058966383599933251, 8 * kEps},
    {"Pi_ZeroNaN", pi(0, kNaN), kNaN, kExact},
};

class EllipticValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(EllipticValues, MatchesReference) {
    const ValueCase& c = GetParam();
    const Fallible r = evaluate(c.call);
    ASSERT_FALSE(r.failed()) << r.failure;
    if (std::isnan(c.expected)) {
        EXPECT_TRUE(std::isnan(r.value)) << "got " << r.value;
    } else if (c.tolerance == kExact) {
        EXPECT_EQ(r.value, c.expected);
    } else {
        EXPECT_LE(relative_error(r.value, c.expected), c.tolerance)
            << "got " << r.value << ", want " << c.expected;
    }
}

INSTANTIATE_TEST_SUITE_P(References, EllipticValues, ::testing::ValuesIn(kValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Identities between routines that the closed forms must reproduce.
TEST(EllipticIdentities, ClosedFormsAgreeWithTheirDefinitions) {
    EXPECT_EQ(value_of(rj(1, 2, 2, 2)), value_of(rd(1, 2, 2)));
    EXPECT_EQ(value_of(rj(2, 2, 2, 1)), 3 * (value_of(rc(2, 1)) - 1 / std::sqrt(2.0)));
    EXPECT_LE(relative_error(value_of(rd(2, 0, 3)), value_of(rd(0, 2, 3))), 4 * kEps);
    for (const double m : {0.1, 0.5, 0.9, 0.999}) {
        EXPECT_EQ(value_of(pi(0, m)), value_of(k(m))) << "m = " << m;
    }
}

// ---------------------------------------------------------------------------
// (3) Symmetries, negative parameter, Legendre relation.

// The largest relative spread of f over the six orderings of (a, b, c).
template <typename F>
double permutation_spread(F f, double a, double b, double c) {
    double args[] = {a, b, c};
    std::sort(args, args + 3);
    const double base = f(args[0], args[1], args[2]);
    double worst = 0.0;
    do {
        worst = std::max(worst, relative_error(f(args[0], args[1], args[2]), base));
    } while (std::next_permutation(args, args + 3));
    return worst;
}

struct Triple {
    double x, y, z;
};

const Triple kTriples[] = {
    {0.5, 1.0, 2.0}, {1e-8, 1.0, 3.0}, {0.0, 0.3, 7.0},   {1e-3, 1e3, 1e6},
    {2.0, 2.0, 9.0}, {0.7, 0.71, 0.72}, {1e-12, 0.5, 0.5}, {0.0, 2.0, 2.0},
};

TEST(CarlsonSymmetry, RfAndRjInvariantUnderPermutationsOfXyz) {
    double worst_rf = 0.0, worst_rj = 0.0;
    for (const Triple& t : kTriples) {
        const double s_rf = permutation_spread(
            [](double x, double y, double z) { return value_of(rf(x, y, z)); }, t.x, t.y, t.z);
        EXPECT_LE(s_rf, 4 * kEps) << "RF at " << t.x << ", " << t.y << ", " << t.z;
        worst_rf = std::max(worst_rf, s_rf);
        for (const double p : {0.25, 1.5, 40.0, -0.6, -3.0}) {
            const double s_rj = permutation_spread(
                [p](double x, double y, double z) { return value_of(rj(x, y, z, p)); }, t.x,
                t.y, t.z);
            EXPECT_LE(s_rj, 4 * kEps)
                << "RJ at " << t.x << ", " << t.y << ", " << t.z << ", p = " << p;
            worst_rj = std::max(worst_rj, s_rj);
        }
    }
    std::printf("[ info ] permutation spread: RF %.2f ulp, RJ %.2f ulp\n", worst_rf / kEps,
                worst_rj / kEps);
}

// K(m) and E(m) for m < 0 (imaginary-modulus transformation), against mpmath
// 1.3.0 ellipk/ellipe at 40 digits, evaluated at the exact double m.
struct NegativeParameterCase {
    double m, k, e;
};

const NegativeParameterCase kNegativeParameterCases[] = {
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

TEST(EllipticNegativeParameter, KAndEMatchMpmath) {
    double worst_k = 0.0, worst_e = 0.0;
    for (const NegativeParameterCase& c : kNegativeParameterCases) {
        const double err_k = relative_error(value_of(k(c.m)), c.k);
        const double err_e = relative_error(value_of(e(c.m)), c.e);
        EXPECT_LE(err_k, 2e-15) << "K(" << c.m << ")";
        EXPECT_LE(err_e, 2e-15) << "E(" << c.m << ")";
        worst_k = std::max(worst_k, err_k);
        worst_e = std::max(worst_e, err_e);
    }
    std::printf("[ info ] m < 0 worst relative error: K %.2f ulp, E %.2f ulp\n",
                worst_k / kEps, worst_e / kEps);
}

// Legendre's relation E K' + E' K - K K' = pi/2 (DLMF 19.7.1), with primes at
// the complementary parameter 1 - m. The parameters are dyadic so that 1 - m is
// exact (K' is steep near 1); the terms grow like ln(1/m), so the tolerance
// scales with the largest of them.
TEST(EllipticLegendre, RelationHolds) {
    for (const double m : {0x1p-30, 0x1p-10, 0.125, 0.25, 0.5, 0.75, 0.875, 1 - 0x1p-10,
                           1 - 0x1p-30}) {
        const double mc = 1.0 - m;
        const double km = value_of(k(m)), kc = value_of(k(mc));
        const double em = value_of(e(m)), ec = value_of(e(mc));
        const double largest = std::max({em * kc, ec * km, km * kc});
        EXPECT_NEAR(em * kc + ec * km - km * kc, kPiOver2, 8 * kEps * largest) << "m = " << m;
    }
}

}  // namespace
