// The call frames of the limb-darkened functions, `magnification` and
// `light_curve`: lengths in Einstein radii, a law by name with its
// coefficients (one row, or one row per band), numpy arrays out, and the
// interpreter lock released while the model computes.
#pragma once

#include <Python.h>

namespace magnifex::binding {

PyObject* magnification_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* light_curve_entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace magnifex::binding
