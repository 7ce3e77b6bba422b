// Matching of a call's positional and keyword arguments (CPython's vectorcall
// convention) to a function's parameters, with TypeError messages in the
// interpreter's own style. Values are not looked at here; conversion comes after.
#pragma once

#include <Python.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "binding/py_result.hpp"
#include "binding/pyerr.hpp"

namespace magnifex::binding {

struct KeywordOnlyParameter {
    std::string_view name;
    bool required;
};

struct FunctionDescription {
    std::string_view function_name;
    std::span<const std::string_view> positional_names;
    std::span<const KeywordOnlyParameter> keyword_only;
    std::string_view class_name;  // empty: a plain function
    std::size_t positional_only_count;
    std::size_t required_positional_count;

    // "name()" or "Class.name()", the start of every message.
    std::string display_name() const;

    // Number of slots a call needs: positional then keyword-only parameters.
    std::size_t slot_count() const { return positional_names.size() + keyword_only.size(); }

    PyErr too_many_positional_arguments(std::size_t given) const;
    PyErr multiple_values_for_argument(std::string_view name) const;
    PyErr unexpected_keyword_argument(PyObject* name) const;
    PyErr positional_only_keyword_arguments(std::span<const std::string_view> names) const;
    PyErr missing_required_arguments(std::string_view kind, std::span<const std::string_view> names) const;
    PyErr missing_required_positional_arguments(std::span<PyObject* const> slots) const;
    PyErr missing_required_keyword_arguments(std::span<PyObject* const> keyword_slots) const;
};

// Fills `slots` (borrowed references; null = not given) from a fastcall
// argument array: `nargs` positional values, then one value per name of the
// `kwnames` tuple (which may be null).
MaybeError extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args,
                                      Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots);

// Prefixes a plain TypeError (not a subclass) from converting the argument of
// parameter `name` with "argument 'name': "; other errors pass unchanged.
PyErr argument_extraction_error(std::string_view name, PyErr error);

// A count in decimal.
std::string decimal(std::size_t value);

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
void push_parameter_list(std::string& text, std::span<const std::string_view> names);

}  // namespace magnifex::binding
