#include "binding/convert.hpp"

#include <algorithm>
#include <new>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/buffer.hpp"
#include "binding/text.hpp"

namespace magnifex::binding {

PyResult<double> extract_float(PyObject* object) {
    if (Py_TYPE(object) == &PyFloat_Type) return PyFloat_AS_DOUBLE(object);
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0) {
        if (std::optional<PyErr> error = PyErr::take()) return std::move(*error);
    }
    return value;
}

namespace {

// An exact list or tuple, walked by index the way its own iterator walks it:
// the length is read again before every item, so an item's __float__ that
// changes a list is seen exactly as iteration would see it. An exact float
// item runs no Python code and is read without taking a reference.
template <Py_ssize_t (*Size)(PyObject*), PyObject* (*Item)(PyObject*, Py_ssize_t)>
PyResult<std::vector<double>> extract_by_index(PyObject* object) {
    std::vector<double> values;
    values.reserve(std::min(static_cast<std::size_t>(Size(object)), kMaxReservedElements));
    for (Py_ssize_t index = 0; index < Size(object); ++index) {
        PyObject* item = Item(object, index);
        if (Py_TYPE(item) == &PyFloat_Type) {
            values.push_back(PyFloat_AS_DOUBLE(item));
            continue;
        }
        Owned held = Owned::borrow(item);  // its __float__ may take it out of the list
        PyResult<double> value = extract_float(held.get());
        if (!value.ok()) return std::move(value.error());
        values.push_back(value.value());
    }
    return values;
}

Py_ssize_t list_size(PyObject* list) { return PyList_GET_SIZE(list); }
PyObject* list_item(PyObject* list, Py_ssize_t index) { return PyList_GET_ITEM(list, index); }
Py_ssize_t tuple_size(PyObject* tuple) { return PyTuple_GET_SIZE(tuple); }
PyObject* tuple_item(PyObject* tuple, Py_ssize_t index) { return PyTuple_GET_ITEM(tuple, index); }

PyResult<std::vector<double>> extract_by_iteration(PyObject* object) {
    Py_ssize_t hint = PySequence_Size(object);
    if (hint == -1) {
        (void)PyErr::take();
        hint = 0;
    }

    std::vector<double> values;
    values.reserve(std::min(static_cast<std::size_t>(hint), kMaxReservedElements));

    Owned iterator = Owned::steal(PyObject_GetIter(object));
    if (!iterator) return PyErr::fetch();
    while (true) {
        Owned item = Owned::steal(PyIter_Next(iterator.get()));
        if (!item) {
            if (std::optional<PyErr> error = PyErr::take()) return std::move(*error);
            break;
        }
        PyResult<double> value = extract_float(item.get());
        if (!value.ok()) return std::move(value.error());
        values.push_back(value.value());
    }
    return values;
}

}  // namespace

PyResult<std::vector<double>> extract_sequence(PyObject* object) {
    if (PySequence_Check(object) == 0) return downcast_error(object, "Sequence");
    // A float64 vector is copied from its buffer: the same values as iteration.
    if (std::optional<PyResult<std::vector<double>>> values = read_float64_buffer(object)) return std::move(*values);

    try {
        if (PyList_CheckExact(object)) return extract_by_index<list_size, list_item>(object);
        if (PyTuple_CheckExact(object)) return extract_by_index<tuple_size, tuple_item>(object);
        return extract_by_iteration(object);
    } catch (const std::bad_alloc&) {
        return memory_error();
    } catch (const std::length_error&) {
        return memory_error();
    }
}

PyResult<std::vector<double>> extract_float_sequence(PyObject* object) {
    if (PyUnicode_Check(object)) return type_error("Can't extract `str` to `Vec`");
    return extract_sequence(object);
}

Owned list_from_values(const std::vector<double>& values) {
    Owned list = Owned::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) api_call_failed();
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), float_from_value(values[i]).release());
    }
    return list;
}

Owned float_from_value(double value) {
    PyObject* number = PyFloat_FromDouble(value);
    if (number == nullptr) api_call_failed();
    return Owned::steal(number);
}

PyResult<double> extract_argument(PyObject* object, std::string_view name, const double*) {
    PyResult<double> value = extract_float(object);
    if (!value.ok()) return argument_extraction_error(name, std::move(value.error()));
    return value;
}

PyResult<std::vector<double>> extract_argument(PyObject* object, std::string_view name, const std::vector<double>*) {
    PyResult<std::vector<double>> values = extract_float_sequence(object);
    if (!values.ok()) return argument_extraction_error(name, std::move(values.error()));
    return values;
}

}  // namespace magnifex::binding
