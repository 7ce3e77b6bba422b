// Accuracy of the elliptic-integral routines against golden values computed
// with mpmath at 50 digits (tests/data/elliptic_golden.tsv, written by
// tools/gen_elliptic_golden.py, whose header describes the argument sets).
//
// Every golden row must evaluate without a numeric failure and within
//   1e-14 relative error for ordinary values,
//   1e-12 for principal values of RJ (p < 0), or 1e-14 * cond where the row's
//         condition number makes that larger (rows close to a zero of RJ),
//   eps * ln(y/z) / 2 for RD(0, y, z) where that exceeds 1e-14 (see below).
// The principal value of RC (y < 0) is held to the ordinary bar. The error
// measure extends the relative error to NaN, +-inf and 0 in the manner of
// scipy's xsf (extended_relative_error). Per routine the test prints the
// number of points and the largest error in ulps and as relative error, with
// its arguments.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"
#include "elliptic/fallible.hpp"

namespace magnifex {
namespace {

constexpr double kOrdinaryBar = 1e-14;
constexpr double kRjPrincipalValueBar = 1e-12;
constexpr double kConditionedBarPerUnit = 1e-14;
constexpr std::size_t kMinimumRows = 300;
constexpr int kReportedFailures = 20;

// ---------------------------------------------------------------- error measure

// |actual - desired|, where NaN against NaN is no error, NaN against a number
// is an infinite error, and an infinity counts as the double one step beyond
// the largest finite one, so that early overflow is not penalised without
// bound.
double extended_absolute_error(double actual, double desired) {
    if (actual == desired || (std::isnan(actual) && std::isnan(desired))) return 0.0;
    if (std::isnan(actual) || std::isnan(desired)) return std::numeric_limits<double>::infinity();
    const double max = std::numeric_limits<double>::max();
    const double beyond = std::ldexp(1.0, 971);  // spacing of the doubles at max
    if (std::isinf(actual)) {
        const double sign = std::copysign(1.0, actual);
        return std::fabs((sign * max - desired) + sign * beyond);
    }
    if (std::isinf(desired)) {
        const double sign = std::copysign(1.0, desired);
        return std::fabs((sign * max - actual) + sign * beyond);
    }
    return std::fabs(actual - desired);
}

// The absolute error divided by |desired|; a zero desired value divides by the
// smallest subnormal instead, an infinite one by the largest double, a NaN one
// by 1 (so NaN against NaN is 0 and anything else against NaN is infinite).
double extended_relative_error(double actual, double desired) {
    const double error = extended_absolute_error(actual, desired);
    double scale = std::fabs(desired);
    if (desired == 0.0) {
        scale = std::numeric_limits<double>::denorm_min();
    } else if (std::isinf(desired)) {
        scale = std::numeric_limits<double>::max();
    } else if (std::isnan(desired)) {
        scale = 1.0;
    }
    return error / scale;
}

// The error in units of the spacing of the doubles at the golden value.
double ulp_error(double actual, double desired) {
    const double error = extended_absolute_error(actual, desired);
    if (error == 0.0) return 0.0;
    if (!std::isfinite(desired)) return std::numeric_limits<double>::infinity();
    const double magnitude = std::fabs(desired);
    const double ulp = std::nextafter(magnitude, std::numeric_limits<double>::infinity()) - magnitude;
    return error / ulp;
}

TEST(EllipticErrorMeasure, SpecialValues) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double max = std::numeric_limits<double>::max();
    EXPECT_EQ(extended_relative_error(nan, nan), 0.0);
    EXPECT_EQ(extended_relative_error(inf, inf), 0.0);
    EXPECT_EQ(extended_relative_error(0.0, 0.0), 0.0);
    EXPECT_EQ(extended_relative_error(1.0, nan), inf);
    EXPECT_EQ(extended_relative_error(nan, 1.0), inf);
    EXPECT_EQ(extended_relative_error(-inf, inf), inf);
    // Overflow just above max is a small error, not an infinite one.
    EXPECT_LT(extended_relative_error(inf, max), 1e-15);
    EXPECT_GT(extended_relative_error(1.0, inf), 0.99);
    EXPECT_EQ(extended_relative_error(std::numeric_limits<double>::denorm_min(), 0.0), 1.0);
    EXPECT_EQ(extended_relative_error(1.0 + 0x1p-52, 1.0), 0x1p-52);
    EXPECT_EQ(ulp_error(1.0 + 0x1p-52, 1.0), 1.0);
    EXPECT_EQ(ulp_error(1.0 - 0x1p-53, 1.0), 0.5);
}

// ---------------------------------------------------------------- golden table

struct GoldenRow {
    int line = 0;
    std::string routine;
    std::vector<double> args;
    double golden = 0.0;
    std::string flag;
    double cond = std::numeric_limits<double>::quiet_NaN();
};

double parse_double(const std::string& text, bool* ok) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    *ok = !text.empty() && end == text.c_str() + text.size();
    return value;
}

// Reads the table once; a malformed line is reported as a row with an empty
// routine name so that every test fails on it.
const std::vector<GoldenRow>& golden_rows() {
    static const std::vector<GoldenRow> rows = [] {
        std::vector<GoldenRow> out;
        std::ifstream in(MAGNIFEX_TEST_DATA_DIR "/elliptic_golden.tsv");
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (line.empty() || line[0] == '#') continue;
            std::vector<std::string> cols;
            std::stringstream stream(line);
            std::string col;
            while (std::getline(stream, col, '\t')) cols.push_back(col);
            GoldenRow row;
            row.line = number;
            bool ok = cols.size() == 8;
            if (ok) {
                for (std::size_t i = 1; i <= 4 && ok; ++i) {
                    if (cols[i] != "-") row.args.push_back(parse_double(cols[i], &ok));
                }
                if (ok) row.golden = parse_double(cols[5], &ok);
                if (ok && cols[7] != "-") row.cond = parse_double(cols[7], &ok);
                row.flag = ok ? cols[6] : "";
                row.routine = ok ? cols[0] : "";
            }
            out.push_back(row);
        }
        return out;
    }();
    return rows;
}

std::size_t arity(const std::string& routine) {
    static const std::map<std::string, std::size_t> table = {
        {"elliprf", 3}, {"elliprc", 2}, {"elliprd", 3}, {"elliprj", 4},
        {"ellipk", 1},  {"ellipe", 1},  {"ellippi", 2}};
    const auto it = table.find(routine);
    return it == table.end() ? 0 : it->second;
}

Fallible evaluate(const std::string& routine, const std::vector<double>& a) {
    if (routine == "elliprf") return elliprf(a[0], a[1], a[2]);
    if (routine == "elliprc") return elliprc(a[0], a[1]);
    if (routine == "elliprd") return elliprd(a[0], a[1], a[2]);
    if (routine == "elliprj") return elliprj(a[0], a[1], a[2], a[3]);
    if (routine == "ellipk") return ellipk(a[0]);
    if (routine == "ellipe") return ellipe(a[0]);
    return ellippi(a[0], a[1]);  // n first, then m
}

// RD(0, y, z) comes from the arithmetic-geometric mean of sqrt(y) and sqrt(z)
// with a correction sum; its rounding error grows with the number of AGM steps,
// measured at about eps * ln(y/z) / 3 (8 eps at y/z = 1e16, 227 eps at 1e300).
// Past y/z ~ 1e90 that exceeds the ordinary bar; the module itself never
// calls RD with a zero first argument.
double rd_one_zero_bar(const GoldenRow& row) {
    const double ratio = std::fabs(std::log(row.args[1] / row.args[2]));
    return std::fmax(kOrdinaryBar, 0.5 * std::numeric_limits<double>::epsilon() * ratio);
}

double bar_for(const GoldenRow& row) {
    if (row.routine == "elliprd" && row.args[0] == 0.0) return rd_one_zero_bar(row);
    if (row.flag == "-") return kOrdinaryBar;
    double bar = row.routine == "elliprj" ? kRjPrincipalValueBar : kOrdinaryBar;
    if (std::isfinite(row.cond)) bar = std::fmax(bar, kConditionedBarPerUnit * row.cond);
    return bar;
}

std::string describe(const GoldenRow& row) {
    std::string text = row.routine + "(";
    char buf[40];
    for (std::size_t i = 0; i < row.args.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s%.17g", i ? ", " : "", row.args[i]);
        text += buf;
    }
    std::snprintf(buf, sizeof buf, ") [line %d", row.line);
    text += buf;
    if (row.flag != "-") text += ", " + row.flag;
    return text + "]";
}

// ---------------------------------------------------------------- the test

struct Worst {
    std::size_t points = 0;
    double ulps = 0.0;
    double relative = 0.0;
    std::string where = "-";

    void add(const GoldenRow& row, double ulps_seen, double relative_seen) {
        if (++points == 1 || relative_seen > relative) {
            relative = relative_seen;
            ulps = ulps_seen;
            where = describe(row);
        }
    }
};

class EllipticAccuracy : public ::testing::TestWithParam<const char*> {};

TEST_P(EllipticAccuracy, MatchesGoldenValues) {
    const std::string routine = GetParam();
    std::size_t count = 0;
    int malformed = 0;
    int failures = 0;
    std::map<std::string, Worst> worst;  // by flag
    for (const GoldenRow& row : golden_rows()) {
        if (row.routine.empty()) {
            ++malformed;
            ADD_FAILURE() << "malformed line " << row.line << " of elliptic_golden.tsv";
            continue;
        }
        if (row.routine != routine) continue;
        ++count;
        ASSERT_EQ(row.args.size(), arity(routine)) << describe(row);
        const Fallible result = evaluate(routine, row.args);
        const double relative = extended_relative_error(result.value, row.golden);
        const double ulps = ulp_error(result.value, row.golden);
        const double bar = bar_for(row);
        const bool failed = result.failed();
        if (!failed) worst[row.flag].add(row, ulps, relative);
        if (failed || !(relative <= bar)) {
            if (++failures <= kReportedFailures) {
                char buf[200];
                std::snprintf(buf, sizeof buf,
                              " = %.17g, golden %.17g: relative error %.3g (%.4g ulp), bar %.3g",
                              result.value, row.golden, relative, ulps, bar);
                ADD_FAILURE() << describe(row)
                              << (failed ? std::string(" failed: ") + result.failure
                                         : std::string(buf));
            }
        }
    }
    EXPECT_EQ(malformed, 0);
    EXPECT_GE(count, kMinimumRows) << "too few golden rows for " << routine;
    EXPECT_EQ(failures, 0) << failures << " of " << count << " rows of " << routine
                           << " failed or missed their bar";

    std::printf("[ accuracy ] %-8s %4zu points\n", routine.c_str(), count);
    for (const auto& [flag, w] : worst) {
        std::printf("[ accuracy ]   %-9s %4zu points, worst %8.3f ulp, relative %.3e at %s\n",
                    flag == "-" ? "ordinary" : flag.c_str(), w.points, w.ulps, w.relative,
                    w.where.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Golden, EllipticAccuracy,
                         ::testing::Values("elliprf", "elliprc", "elliprd", "elliprj", "ellipk",
                                           "ellipe", "ellippi"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
}  // namespace magnifex
