// The entry frame around every call from CPython into the module (the init
// function and each function's call): boundary trap, interpreter-lock guard,
// the catch that turns panics into PanicException, and the mapping of the
// outcome to "new reference" or "NULL with an exception set".
#pragma once

#include <Python.h>

#include <utility>

#include "binding/owned.hpp"
#include "binding/py_result.hpp"

namespace magnifex::binding {

using FrameBody = PyResult<Owned> (*)(void* context);

PyObject* run_entry_frame(FrameBody body, void* context);

// Runs `body()` (returning PyResult<Owned>) inside an entry frame.
template <class Body>
PyObject* entry_frame(Body&& body) {
    return run_entry_frame([](void* context) { return (*static_cast<std::remove_reference_t<Body>*>(context))(); },
                           static_cast<void*>(&body));
}

}  // namespace magnifex::binding
