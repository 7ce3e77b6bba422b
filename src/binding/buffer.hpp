// Reading a float sequence through the buffer protocol (PEP 3118): an object
// that exports a C-contiguous one-dimensional buffer of native 64-bit floats
// (a numpy float64 array, array.array("d"), a memoryview cast to "d") is
// copied in one pass instead of being iterated item by item.
#pragma once

#include <Python.h>

#include <cstddef>
#include <optional>
#include <vector>

#include "binding/py_result.hpp"

namespace magnifex::binding {

// The values of `object` read from its buffer, or nothing when the buffer
// path does not apply and the caller must iterate the object instead.
//
// The buffer path gives exactly what iterating the object would give, so it
// applies only where iteration is known to walk the buffer: the object's type
// must iterate, index and size itself with the same slots as the type that
// implements its buffer export (a subclass overriding __iter__, __getitem__
// or __len__, such as numpy's masked arrays, keeps the iteration). Any other
// format, byte order, item size, dimension or stride keeps the iteration
// too, and so does an export that fails: its exception is cleared, since
// iteration never asks for a buffer.
std::optional<PyResult<std::vector<double>>> read_float64_buffer(PyObject* object);

// A numeric array read through the buffer protocol, any layout: its values as
// doubles in C order and its shape.
struct NumericArray {
    std::vector<double> values;
    std::vector<std::size_t> shape;
};

// The values of an object that exports a buffer of native numbers (float64,
// float32, or a signed or unsigned integer of 1, 2, 4 or 8 bytes, strided or
// not, of any dimension), converted to double; nothing when the object has
// no such buffer, with the same rule as read_float64_buffer for subclasses
// that iterate differently from their buffer.
std::optional<PyResult<NumericArray>> read_numeric_buffer(PyObject* object);

}  // namespace magnifex::binding
