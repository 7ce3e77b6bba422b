#include "binding/frame.hpp"

#include <cxxabi.h>

#include <exception>
#include <new>
#include <variant>

#include "binding/gil.hpp"
#include "binding/panic_exception.hpp"

namespace magnifex::binding {

namespace {

// The body's result or error; a panic or another C++ exception becomes an
// error here. Nothing is raised in Python yet.
std::variant<Owned, PyErr> run_catching_panics(FrameBody body, void* context) {
    try {
        PyResult<Owned> result = body(context);
        if (result.ok()) return std::move(result.value());
        return std::move(result.error());
    } catch (const abi::__forced_unwind&) {
        throw;  // thread cancellation must go on unwinding
    } catch (const std::bad_alloc&) {
        return memory_error();
    } catch (...) {
        return from_panic_payload(std::current_exception());
    }
}

}  // namespace

PyObject* run_entry_frame(FrameBody body, void* context) {
    PanicTrap trap("uncaught panic at ffi boundary");
    try {
        PyObject* result = nullptr;
        {
            GILGuard guard(GILGuard::Mode::Assumed);
            std::variant<Owned, PyErr> outcome = run_catching_panics(body, context);
            // Restoring runs outside the panic catch: a panic here (for
            // instance while creating the PanicException class) is one the
            // frame cannot report, and the trap ends the process.
            if (auto* object = std::get_if<Owned>(&outcome)) {
                result = object->release();
            } else {
                std::move(*std::get_if<PyErr>(&outcome)).restore();
            }
        }
        trap.disarm();
        return result;
    } catch (...) {
        trap.trigger();
    }
}

}  // namespace magnifex::binding
