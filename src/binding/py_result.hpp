// PyResult<T>: a value or the PyErr that prevented it. MaybeError: success
// (empty) or an error, for steps that produce nothing.
#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "binding/pyerr.hpp"

namespace magnifex::binding {

template <class T>
class PyResult {
public:
    PyResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    PyResult(PyErr error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    // Only valid in the matching state (checked by the caller through ok()).
    T& value() { return *std::get_if<0>(&state_); }
    PyErr& error() { return *std::get_if<1>(&state_); }

private:
    std::variant<T, PyErr> state_;
};

using MaybeError = std::optional<PyErr>;

}  // namespace magnifex::binding
