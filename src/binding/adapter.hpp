// The adapter between a call frame and a model: match the arguments, convert
// them in parameter order (the first failure ends the call), call the model,
// and turn its result into a new list or float (or its error into a
// RuntimeError with the model's message).
#pragma once

#include <Python.h>

#include <array>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/convert.hpp"
#include "binding/frame.hpp"
#include "models/outcome.hpp"

namespace magnifex::binding {

inline Owned to_python(const std::vector<double>& values) { return list_from_values(values); }
inline Owned to_python(double value) { return float_from_value(value); }

template <class Values, std::size_t... I>
bool convert_in_order(const std::array<PyObject*, sizeof...(I)>& slots, const FunctionDescription& description,
                      Values& values, std::optional<PyErr>& failure, std::index_sequence<I...>) {
    auto convert_one = [&]<std::size_t Index>(std::integral_constant<std::size_t, Index>) {
        using Value = std::tuple_element_t<Index, Values>;
        auto converted = extract_argument(slots[Index], description.positional_names[Index],
                                          static_cast<const Value*>(nullptr));
        if (!converted.ok()) {
            failure = std::move(converted.error());
            return false;
        }
        std::get<Index>(values) = std::move(converted.value());
        return true;
    };
    // && short-circuits left to right: no later parameter is converted.
    return (convert_one(std::integral_constant<std::size_t, I>{}) && ...);
}

template <class Result, class... Params>
PyResult<Owned> call_model(const FunctionDescription& description, Outcome<Result> (*model)(Params...),
                           PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, sizeof...(Params)> slots{};
    if (MaybeError error = extract_arguments_fastcall(description, args, nargs, kwnames, slots)) {
        return std::move(*error);
    }
    std::tuple<std::decay_t<Params>...> values;
    std::optional<PyErr> failure;
    if (!convert_in_order(slots, description, values, failure, std::index_sequence_for<Params...>{})) {
        return std::move(*failure);
    }
    Outcome<Result> outcome = std::apply(model, std::move(values));
    if (!outcome.ok()) return runtime_error(outcome.error_message());
    return to_python(outcome.value());
}

// The call-frame entry point of one function (METH_FASTCALL | METH_KEYWORDS).
template <const FunctionDescription* Description, auto Model>
PyObject* trampoline(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return entry_frame([&] { return call_model(*Description, Model, args, nargs, kwnames); });
}

}  // namespace magnifex::binding
