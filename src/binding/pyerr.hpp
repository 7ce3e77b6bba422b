// PyErr: the error value of the binding layer. Native code never sets a
// Python exception while it works; it returns a PyErr, and an entry frame
// makes it the interpreter's current exception when it returns NULL.
//
// A PyErr is lazy (a one-shot constructor that yields an exception type and
// an argument, no Python object made yet) or normalized (strong references to
// type, value and traceback). Normalization happens at most once per value;
// dropping a PyErr releases its references through register_decref.
#pragma once

#include <Python.h>

#include <memory>
#include <optional>
#include <source_location>
#include <string>

#include "binding/owned.hpp"

namespace magnifex::binding {

// What a lazy constructor yields: the exception type and its argument.
struct LazyOutput {
    Owned type;
    Owned argument;
};

// A one-shot description of an exception; called with the lock held, at most once.
class LazyConstructor {
public:
    virtual ~LazyConstructor() = default;
    virtual LazyOutput operator()() = 0;
};

class PyErr {
public:
    explicit PyErr(std::unique_ptr<LazyConstructor> lazy);
    static PyErr from_normalized(Owned type, Owned value, Owned traceback);

    PyErr(PyErr&&) noexcept;
    PyErr& operator=(PyErr&&) noexcept;
    ~PyErr();

    // Fetches the current exception, if any. A PanicException (exactly that
    // class) coming back from Python resumes the panic instead of returning.
    static std::optional<PyErr> take();
    // take(), or the SystemError "attempted to fetch exception but none was
    // set" when a CPython call reported failure without an exception.
    static PyErr fetch();

    // Makes this error the interpreter's current exception; consumes it.
    void restore() &&;

    // Borrowed references; each normalizes the error in place first.
    PyObject* type();
    PyObject* value();
    PyObject* traceback();
    // __cause__ of the exception value (new reference, or empty).
    Owned cause();
    // Sets __cause__ (empty clears it) with PyException_SetCause.
    void set_cause(Owned cause);

    // "PyErr { type: ..., value: ..., traceback: ... }", for panic messages.
    std::string debug_rendering();

private:
    struct State;
    explicit PyErr(std::unique_ptr<State> state);
    void normalize();
    std::unique_ptr<State> state_;
};

// Lazy constructors. Message texts become Python strings only when raised.
PyErr type_error(std::string message);
PyErr value_error(std::string message);
PyErr runtime_error(const char* message);
PyErr system_error(const char* message);
PyErr import_error(const char* message);
PyErr memory_error();
PyErr fetch_failed_error();  // SystemError "attempted to fetch exception but none was set"

// Fetches the current exception without the PanicException check (for the
// creation of that class itself).
std::optional<PyErr> take_unchecked();

// For Python objects the layer cannot do without (message strings, results,
// interned names): print the pending Python error, then panic with "Python
// API call failed".
[[noreturn]] void api_call_failed(std::source_location where = std::source_location::current());

}  // namespace magnifex::binding
