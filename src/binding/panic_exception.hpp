// PanicException: the Python face of a panic (an internal invariant failure
// of native code). Derived from BaseException, so `except Exception:` does
// not catch it. Also the boundary trap that aborts the process if a panic
// escapes an entry frame past its own catch.
#pragma once

#include <Python.h>

#include <exception>
#include <string>

#include "binding/pyerr.hpp"

namespace magnifex::binding {

// The class pyo3_runtime.PanicException, created at its first use and kept
// for the process (borrowed reference).
PyObject* panic_exception_type();

// Message used when a panic's payload is not text.
inline constexpr const char* kNonTextPanicMessage = "panic from native code with a non-text payload";

// A lazy PanicException whose args are the 1-tuple (message,).
PyErr panic_exception(std::string message);

// The PanicException for a caught panic payload: the text of a Panic (owned)
// or of a thrown C string (static); the default message for anything else.
PyErr from_panic_payload(std::exception_ptr payload);

// A PanicException came back from Python into native code: print the resume
// banner and the exception with its traceback, then resume the panic with
// the same message (no new panic report).
[[noreturn]] void print_panic_and_unwind(PyErr error, std::string message);

// Armed at the start of every entry frame, disarmed at its normal end. A
// panic that leaves the frame past the frame's own catch triggers it: a
// second panic with the trap's message, then abort.
class PanicTrap {
public:
    explicit PanicTrap(const char* message) : message_(message), exceptions_at_entry_(std::uncaught_exceptions()) {}
    ~PanicTrap() {
        if (armed_ && std::uncaught_exceptions() > exceptions_at_entry_) trigger();
    }
    PanicTrap(const PanicTrap&) = delete;
    PanicTrap& operator=(const PanicTrap&) = delete;

    void disarm() { armed_ = false; }
    [[noreturn]] void trigger() const noexcept;

private:
    const char* message_;
    int exceptions_at_entry_;
    bool armed_ = true;
};

}  // namespace magnifex::binding
