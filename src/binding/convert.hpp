// Conversion between Python objects and the models' values: 64-bit floats,
// arrays of them, and the list / float results.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string_view>
#include <vector>

#include "binding/owned.hpp"
#include "binding/py_result.hpp"

namespace magnifex::binding {

// The most elements reserved up front from a sequence's __len__, which is
// only a hint (a caller's __len__ may claim anything); beyond it the array
// grows as items arrive.
inline constexpr std::size_t kMaxReservedElements = 4096;

// float itself is read directly; everything else goes through PyFloat_AsDouble
// (__float__, __index__), where -1.0 is an error only if one is pending.
PyResult<double> extract_float(PyObject* object);

// Any object passing PySequence_Check, iterated; each item a float as above.
// A float64 vector is read from its buffer instead (binding/buffer.hpp), and
// an exact list or tuple by index; both yield what iteration would yield.
PyResult<std::vector<double>> extract_sequence(PyObject* object);

// A float-sequence parameter: a str is refused before the sequence rules.
PyResult<std::vector<double>> extract_float_sequence(PyObject* object);

// New list of new floats, allocated at its final length.
Owned list_from_values(const std::vector<double>& values);
// New float.
Owned float_from_value(double value);

// Converts a parameter's argument by the parameter's kind; a failure goes
// through argument_extraction_error with the parameter's name.
PyResult<double> extract_argument(PyObject* object, std::string_view name, const double*);
PyResult<std::vector<double>> extract_argument(PyObject* object, std::string_view name, const std::vector<double>*);

}  // namespace magnifex::binding
