#include "binding/pyerr.hpp"

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

#include "binding/panic_exception.hpp"
#include "binding/text.hpp"
#include "models/panic.hpp"

namespace magnifex::binding {

namespace {

struct NormalizedState {
    Owned type;
    Owned value;
    Owned traceback;
};

// Exception type given as a static CPython object, argument a message string.
class MessageConstructor final : public LazyConstructor {
public:
    MessageConstructor(PyObject* type, std::string message) : type_(type), message_(std::move(message)) {}
    LazyOutput operator()() override {
        return {Owned::borrow(type_), new_string(message_)};
    }

private:
    PyObject* type_;
    std::string message_;
};

// Exception type with no argument (raised as type()).
class BareConstructor final : public LazyConstructor {
public:
    explicit BareConstructor(PyObject* type) : type_(type) {}
    LazyOutput operator()() override { return {Owned::borrow(type_), Owned::borrow(Py_None)}; }

private:
    PyObject* type_;
};

// Raises what a lazy constructor yields. Only exception classes can be raised.
void raise_lazy(std::unique_ptr<LazyConstructor> lazy) {
    LazyOutput out = (*lazy)();
    lazy.reset();
    if (PyExceptionClass_Check(out.type.get())) {
        PyErr_SetObject(out.type.get(), out.argument.get());
    } else {
        PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
    }
}

// The current exception as a normalized triple (there must be one).
NormalizedState fetch_normalized() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type != nullptr) PyErr_NormalizeException(&type, &value, &traceback);
    NormalizedState state{Owned::steal(type), Owned::steal(value), Owned::steal(traceback)};
    if (!state.type) panic("exception missing after raising a lazy error");
    if (!state.value) panic("normalized exception value missing");
    return state;
}

}  // namespace

struct PyErr::State {
    std::unique_ptr<LazyConstructor> lazy;
    std::optional<NormalizedState> normalized;
    // Normalization in place runs once, serialized by this flag; the thread
    // doing it is recorded to catch re-entrant requests.
    std::once_flag once;
    std::atomic<bool> done{false};
    std::mutex normalizing_mutex;
    std::optional<std::thread::id> normalizing_thread;
};

PyErr::PyErr(std::unique_ptr<State> state) : state_(std::move(state)) {}

PyErr::PyErr(std::unique_ptr<LazyConstructor> lazy) : state_(std::make_unique<State>()) {
    state_->lazy = std::move(lazy);
}

PyErr PyErr::from_normalized(Owned type, Owned value, Owned traceback) {
    auto state = std::make_unique<State>();
    state->normalized = NormalizedState{std::move(type), std::move(value), std::move(traceback)};
    state->done.store(true, std::memory_order_release);
    return PyErr(std::move(state));
}

PyErr::PyErr(PyErr&&) noexcept = default;
PyErr& PyErr::operator=(PyErr&&) noexcept = default;
PyErr::~PyErr() = default;

std::optional<PyErr> take_unchecked() {
    PyObject* raw_type = nullptr;
    PyObject* raw_value = nullptr;
    PyObject* raw_traceback = nullptr;
    PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
    if (raw_type == nullptr) {
        Py_XDECREF(raw_value);
        Py_XDECREF(raw_traceback);
        return std::nullopt;
    }
    PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
    Owned type = Owned::steal(raw_type);
    Owned value = Owned::steal(raw_value);
    Owned traceback = Owned::steal(raw_traceback);
    if (!value) panic("exception value missing after normalization");
    return PyErr::from_normalized(std::move(type), std::move(value), std::move(traceback));
}

std::optional<PyErr> PyErr::take() {
    std::optional<PyErr> error = take_unchecked();
    if (error && reinterpret_cast<PyObject*>(Py_TYPE(error->value())) == panic_exception_type()) {
        std::string message = text_without_fallback(error->value()).value_or("Unwrapped panic from Python code");
        print_panic_and_unwind(std::move(*error), std::move(message));
    }
    return error;
}

PyErr PyErr::fetch() {
    if (std::optional<PyErr> pending = take()) return std::move(*pending);
    return fetch_failed_error();
}

void PyErr::restore() && {
    if (!state_) panic("PyErr state should never be invalid outside of normalization");
    State& state = *state_;
    if (state.normalized) {
        PyErr_Restore(state.normalized->type.release(), state.normalized->value.release(),
                      state.normalized->traceback.release());
    } else if (state.lazy) {
        raise_lazy(std::move(state.lazy));
    } else {
        panic("PyErr state should never be invalid outside of normalization");
    }
    state_.reset();
}

void PyErr::normalize() {
    if (!state_) panic("PyErr state should never be invalid outside of normalization");
    State& state = *state_;
    if (state.done.load(std::memory_order_acquire)) return;
    {
        std::lock_guard<std::mutex> lock(state.normalizing_mutex);
        if (state.normalizing_thread == std::this_thread::get_id()) {
            panic("Re-entrant normalization of PyErrState detected");
        }
    }
    // A thread waiting for another one to finish must not hold the lock, or
    // the normalizing thread could never take it.
    GILRelease released;
    std::call_once(state.once, [&state] {
        {
            std::lock_guard<std::mutex> lock(state.normalizing_mutex);
            state.normalizing_thread = std::this_thread::get_id();
        }
        struct ClearThread {
            State& state;
            ~ClearThread() {
                std::lock_guard<std::mutex> lock(state.normalizing_mutex);
                state.normalizing_thread.reset();
            }
        } clear{state};
        GILGuard guard(GILGuard::Mode::Acquire);
        if (!state.lazy) panic("PyErr state should never be invalid outside of normalization");
        raise_lazy(std::move(state.lazy));
        state.normalized = fetch_normalized();
        state.done.store(true, std::memory_order_release);
    });
}

PyObject* PyErr::type() {
    normalize();
    return state_->normalized->type.get();
}

PyObject* PyErr::value() {
    normalize();
    return state_->normalized->value.get();
}

PyObject* PyErr::traceback() {
    normalize();
    return state_->normalized->traceback.get();
}

Owned PyErr::cause() { return Owned::steal(PyException_GetCause(value())); }

void PyErr::set_cause(Owned cause) { PyException_SetCause(value(), cause.release()); }

std::string PyErr::debug_rendering() {
    std::string traceback_text = "None";
    if (PyObject* tb = traceback()) traceback_text = format_traceback(tb);
    return "PyErr { type: " + repr_text(type()) + ", value: " + repr_text(value()) +
           ", traceback: " + traceback_text + " }";
}

PyErr type_error(std::string message) {
    return PyErr(std::make_unique<MessageConstructor>(PyExc_TypeError, std::move(message)));
}

PyErr value_error(std::string message) {
    return PyErr(std::make_unique<MessageConstructor>(PyExc_ValueError, std::move(message)));
}

PyErr runtime_error(const char* message) {
    return PyErr(std::make_unique<MessageConstructor>(PyExc_RuntimeError, message));
}

PyErr system_error(const char* message) {
    return PyErr(std::make_unique<MessageConstructor>(PyExc_SystemError, message));
}

PyErr import_error(const char* message) {
    return PyErr(std::make_unique<MessageConstructor>(PyExc_ImportError, message));
}

PyErr memory_error() { return PyErr(std::make_unique<BareConstructor>(PyExc_MemoryError)); }

PyErr fetch_failed_error() { return system_error("attempted to fetch exception but none was set"); }

void api_call_failed(std::source_location where) {
    PyErr_Print();
    panic("Python API call failed", where);
}

}  // namespace magnifex::binding
