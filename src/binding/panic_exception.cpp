#include "binding/panic_exception.hpp"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "binding/text.hpp"
#include "models/panic.hpp"

namespace magnifex::binding {

namespace {

constexpr const char* kPanicExceptionName = "pyo3_runtime.PanicException";
constexpr const char* kPanicExceptionDoc =
    "\n"
    "The exception raised when native code called from Python panics.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

// TYPE_OBJECT: filled once under the interpreter lock, never cleared.
PyObject* TYPE_OBJECT = nullptr;

class PanicConstructor final : public LazyConstructor {
public:
    explicit PanicConstructor(std::string message) : message_(std::move(message)) {}
    LazyOutput operator()() override {
        Owned text = new_string(message_);
        Owned args = Owned::steal(PyTuple_New(1));
        if (!args) api_call_failed();
        PyTuple_SET_ITEM(args.get(), 0, text.release());
        return {Owned::borrow(panic_exception_type()), std::move(args)};
    }

private:
    std::string message_;
};

}  // namespace

PyObject* panic_exception_type() {
    if (TYPE_OBJECT != nullptr) return TYPE_OBJECT;
    PyObject* created = PyErr_NewExceptionWithDoc(kPanicExceptionName, kPanicExceptionDoc, PyExc_BaseException, nullptr);
    if (created == nullptr) {
        // Rendered from the raw fetch: take() would compare against the class
        // that failed to come into being.
        std::optional<PyErr> error = take_unchecked();
        std::string rendering = error ? error->debug_rendering() : "no exception set";
        panic("Failed to initialize new exception type.: " + rendering);
    }
    if (TYPE_OBJECT == nullptr) {
        TYPE_OBJECT = created;
    } else {
        Py_DECREF(created);
    }
    return TYPE_OBJECT;
}

PyErr panic_exception(std::string message) {
    return PyErr(std::make_unique<PanicConstructor>(std::move(message)));
}

PyErr from_panic_payload(std::exception_ptr payload) {
    std::string message;
    try {
        std::rethrow_exception(payload);
    } catch (const Panic& panic_payload) {
        message = panic_payload.message;
    } catch (const char* text) {
        message = text;
    } catch (...) {
        message = kNonTextPanicMessage;
    }
    return panic_exception(std::move(message));
}

void print_panic_and_unwind(PyErr error, std::string message) {
    std::fputs("--- magnifex is resuming a panic after fetching a PanicException from Python. ---\n", stderr);
    std::fputs("Python stack trace below:\n", stderr);
    std::fflush(stderr);
    std::move(error).restore();
    PyErr_PrintEx(0);
    resume_unwind(std::move(message));
}

void PanicTrap::trigger() const noexcept {
    try {
        panic(message_);
    } catch (...) {
    }
    std::abort();
}

}  // namespace magnifex::binding
