// The error channel of the numerical core: a routine returns either its value
// or a numeric failure that carries one fixed, static message text beginning
// with the routine's name ("elliprf: Failed to converge."). Failures are
// passed on unchanged by every caller; nothing is thrown or allocated.
#pragma once

namespace magnifex {

struct Fallible {
    double value = 0.0;
    const char* failure = nullptr;  // static text; nullptr on success

    static constexpr Fallible ok(double v) { return Fallible{v, nullptr}; }
    static constexpr Fallible fail(const char* message) { return Fallible{0.0, message}; }
    constexpr bool failed() const { return failure != nullptr; }
};

// min/max that ignore a NaN operand: the other operand is returned, and the
// result is NaN only when every operand is NaN.
constexpr double nan_min(double a, double b) { return (b < a || a != a) ? b : a; }
constexpr double nan_max(double a, double b) { return (b > a || a != a) ? b : a; }

}  // namespace magnifex
