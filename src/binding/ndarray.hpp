// The numpy arrays that the limb-darkened functions return. numpy is
// imported on their first call (the seven functions never need it) and kept;
// an array is made by numpy.empty(shape) and filled through its buffer, so the
// module needs no numpy headers and works with every numpy that exports
// float64 buffers.
#pragma once

#include <Python.h>

#include <cstddef>
#include <initializer_list>

#include "binding/owned.hpp"
#include "binding/py_result.hpp"

namespace magnifex::binding {

// A new C-contiguous float64 array of the given shape and a pointer to its
// data, valid while the array lives (the buffer is released at once: numpy
// keeps the memory of an array for its lifetime).
struct OutputArray {
    Owned array;
    double* data = nullptr;
};

PyResult<OutputArray> new_float64_array(std::initializer_list<std::size_t> shape);

// A new tuple of two new references (consumed).
PyResult<Owned> pair(Owned first, Owned second);

}  // namespace magnifex::binding
