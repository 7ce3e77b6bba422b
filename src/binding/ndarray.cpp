#include "binding/ndarray.hpp"

#include <utility>

namespace magnifex::binding {

namespace {

// numpy.empty, found once per process and kept. Single-phase modules run in
// one interpreter only, so a process-wide reference is safe.
PyResult<PyObject*> numpy_empty() {
    static PyObject* empty = nullptr;
    if (empty != nullptr) return empty;
    Owned numpy = Owned::steal(PyImport_ImportModule("numpy"));
    if (!numpy) return PyErr::fetch();
    Owned function = Owned::steal(PyObject_GetAttrString(numpy.get(), "empty"));
    if (!function) return PyErr::fetch();
    // The import may have let another thread run this first.
    if (empty == nullptr) empty = function.release();
    return empty;
}

}  // namespace

PyResult<OutputArray> new_float64_array(std::initializer_list<std::size_t> shape) {
    PyResult<PyObject*> empty = numpy_empty();
    if (!empty.ok()) return std::move(empty.error());
    Owned dims = Owned::steal(PyTuple_New(static_cast<Py_ssize_t>(shape.size())));
    if (!dims) return PyErr::fetch();
    Py_ssize_t i = 0;
    for (const std::size_t extent : shape) {
        PyObject* n = PyLong_FromSize_t(extent);
        if (n == nullptr) return PyErr::fetch();
        PyTuple_SET_ITEM(dims.get(), i++, n);
    }
    Owned array = Owned::steal(PyObject_CallFunctionObjArgs(empty.value(), dims.get(), nullptr));
    if (!array) return PyErr::fetch();
    Py_buffer view;
    if (PyObject_GetBuffer(array.get(), &view, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
        return PyErr::fetch();
    }
    double* data = static_cast<double*>(view.buf);
    const bool float64 = view.itemsize == static_cast<Py_ssize_t>(sizeof(double));
    PyBuffer_Release(&view);
    if (!float64) return type_error("numpy.empty did not make a float64 array");
    return OutputArray{std::move(array), data};
}

PyResult<Owned> pair(Owned first, Owned second) {
    Owned tuple = Owned::steal(PyTuple_New(2));
    if (!tuple) return PyErr::fetch();
    PyTuple_SET_ITEM(tuple.get(), 0, first.release());
    PyTuple_SET_ITEM(tuple.get(), 1, second.release());
    return tuple;
}

}  // namespace magnifex::binding
