// The error value of the lensing models: a result, or a pending RuntimeError
// that holds only the fixed message text of the elliptic routine that failed.
// The binding layer turns it into a Python exception when it raises it.
#pragma once

#include <utility>
#include <variant>

namespace magnifex {

struct PendingRuntimeError {
    const char* message;  // static text of a numeric failure
};

template <class T>
class Outcome {
public:
    Outcome(T value) : state_(std::move(value)) {}
    Outcome(PendingRuntimeError error) : state_(error) {}

    bool ok() const { return state_.index() == 0; }
    // get_if rather than get: std::get would pull in std::bad_variant_access,
    // whose type information libstdc++ exports from the module.
    T& value() { return *std::get_if<0>(&state_); }
    const T& value() const { return *std::get_if<0>(&state_); }
    const char* error_message() const { return std::get_if<1>(&state_)->message; }

private:
    std::variant<T, PendingRuntimeError> state_;
};

}  // namespace magnifex
