// Owned: a strong reference to a Python object, released exactly once
// (through register_decref) when the owner goes away. Move-only.
#pragma once

#include <Python.h>

#include <utility>

#include "binding/gil.hpp"

namespace magnifex::binding {

class Owned {
public:
    Owned() = default;
    // Takes over a new reference (may be null).
    static Owned steal(PyObject* object) { return Owned(object); }
    // Adds a reference to a borrowed object.
    static Owned borrow(PyObject* object) {
        Py_XINCREF(object);
        return Owned(object);
    }

    Owned(Owned&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Gives the reference to the caller.
    PyObject* release() { return std::exchange(object_, nullptr); }
    void reset() { register_decref(std::exchange(object_, nullptr)); }

private:
    explicit Owned(PyObject* object) : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace magnifex::binding
