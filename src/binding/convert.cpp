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

PyResult<std::vector<double>> extract_sequence(PyObject* object) {
    if (PySequence_Check(object) == 0) return downcast_error(object, "Sequence");
    // A float64 vector is copied from its buffer: the same values as below.
    if (std::optional<PyResult<std::vector<double>>> values = read_float64_buffer(object)) return std::move(*values);

    Py_ssize_t hint = PySequence_Size(object);
    if (hint == -1) {
        (void)PyErr::take();
        hint = 0;
    }

    try {
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
