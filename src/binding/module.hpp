// The module object: created once per process by single-phase
// initialisation, refused to any interpreter but the first, and filled by
// registering each function of a table (function object, __all__, attribute).
#pragma once

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <span>

#include "binding/owned.hpp"
#include "binding/py_result.hpp"

namespace magnifex::binding {

struct ModuleDef {
    // Registers the module's contents on a newly created module.
    MaybeError (*initializer)(PyObject* module);
    PyModuleDef definition;
    // ID of the first interpreter that ran the init function; -1 = none yet.
    std::atomic<std::int64_t> interpreter{-1};
    // The module, once successfully initialised; never emptied.
    PyObject* module = nullptr;
};

// A new reference to the process's module, creating it on first use.
PyResult<Owned> make_module(ModuleDef& definition);

// Creates a builtin function object for `method` (whose record must outlive
// it) bound to `module`, and adds it with add_function.
MaybeError register_function(PyObject* module, PyMethodDef* method);

// Appends the function's __name__ to the module's __all__ (created if
// missing) and sets the module attribute of that name.
MaybeError add_function(PyObject* module, PyObject* function);

}  // namespace magnifex::binding
