#include "binding/module.hpp"

#include <string>
#include <utility>

#include "binding/text.hpp"
#include "models/panic.hpp"

namespace magnifex::binding {

namespace {

// The CPython module API version the module is built against (PYTHON_API_VERSION).
constexpr int kModuleApiVersion = 1013;

constexpr const char* kSubinterpreterRefusal =
    "magnifex modules built this way do not yet support sub-interpreters; "
    "see the issue report on sub-interpreter support in the magnifex tracker";

// The module's __all__ list; created (empty) and set if the attribute is missing.
PyResult<Owned> module_all(PyObject* module) {
    Owned all = Owned::steal(PyObject_GetAttr(module, interned(InternedName::All)));
    if (all) {
        if (PyList_Check(all.get())) return all;
        return downcast_error(all.get(), "PyList");
    }
    PyErr error = PyErr::fetch();
    if (!PyErr_GivenExceptionMatches(error.type(), PyExc_AttributeError)) return error;
    Owned list = Owned::steal(PyList_New(0));
    if (!list) api_call_failed();
    if (PyObject_SetAttr(module, interned(InternedName::All), list.get()) == -1) return PyErr::fetch();
    return list;
}

}  // namespace

PyResult<Owned> make_module(ModuleDef& definition) {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return PyErr::fetch();

    std::int64_t expected = -1;
    if (!definition.interpreter.compare_exchange_strong(expected, id) && expected != id) {
        return import_error(kSubinterpreterRefusal);
    }

    // A second initialisation in this interpreter (after the module was
    // removed from sys.modules) gets the very same module.
    if (definition.module != nullptr) return Owned::borrow(definition.module);

    Owned module = Owned::steal(PyModule_Create2(&definition.definition, kModuleApiVersion));
    if (!module) return PyErr::fetch();
    if (MaybeError error = definition.initializer(module.get())) return std::move(*error);

    if (definition.module == nullptr) definition.module = module.release();
    return Owned::borrow(definition.module);
}

MaybeError register_function(PyObject* module, PyMethodDef* method) {
    Owned module_name = Owned::steal(PyModule_GetNameObject(module));
    if (!module_name) return PyErr::fetch();
    Owned function = Owned::steal(PyCMethod_New(method, module, module_name.get(), nullptr));
    if (!function) return PyErr::fetch();
    module_name.reset();
    return add_function(module, function.get());
}

MaybeError add_function(PyObject* module, PyObject* function) {
    Owned name = Owned::steal(PyObject_GetAttr(function, interned(InternedName::Name)));
    if (!name) return PyErr::fetch();
    if (!PyUnicode_Check(name.get())) return downcast_error(name.get(), "PyString");

    PyResult<Owned> all = module_all(module);
    if (!all.ok()) return std::move(all.error());
    if (PyList_Append(all.value().get(), name.get()) == -1) {
        panic("could not append __name__ to __all__: " + PyErr::fetch().debug_rendering());
    }

    if (PyObject_SetAttr(module, name.get(), function) == -1) return PyErr::fetch();
    return std::nullopt;
}

}  // namespace magnifex::binding
