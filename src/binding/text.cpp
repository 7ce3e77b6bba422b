#include "binding/text.hpp"

#include <array>
#include <utility>

namespace magnifex::binding {

namespace {

// Drops whatever exception a failed call left pending.
void drop_pending() { (void)PyErr::take(); }

// A str-valued attribute of a type as strict UTF-8 text, or nothing.
std::optional<std::string> type_attribute_text(PyObject* type, InternedName name) {
    Owned attribute = Owned::steal(PyObject_GetAttr(type, interned(name)));
    if (!attribute) {
        drop_pending();
        return std::nullopt;
    }
    if (!PyUnicode_Check(attribute.get())) return std::nullopt;
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(attribute.get(), &size);
    if (data == nullptr) {
        drop_pending();
        return std::nullopt;
    }
    return std::string(data, static_cast<std::size_t>(size));
}

class DowncastConstructor final : public LazyConstructor {
public:
    DowncastConstructor(Owned from_type, const char* target) : from_type_(std::move(from_type)), target_(target) {}
    LazyOutput operator()() override {
        std::string name = type_attribute_text(from_type_.get(), InternedName::Qualname)
                               .value_or("<failed to extract type name>");
        std::string message = "'" + name + "' object cannot be converted to '" + target_ + "'";
        return {Owned::borrow(PyExc_TypeError), new_string(message)};
    }

private:
    Owned from_type_;
    const char* target_;
};

}  // namespace

Owned new_string(std::string_view text) {
    PyObject* str = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (str == nullptr) api_call_failed();
    return Owned::steal(str);
}

PyObject* interned(InternedName name) {
    static constexpr std::array<std::string_view, 3> kTexts{"__name__", "__all__", "__qualname__"};
    static std::array<PyObject*, 3> cells{};
    const auto index = static_cast<std::size_t>(name);
    if (cells[index] == nullptr) {
        PyObject* str = new_string(kTexts[index]).release();
        PyUnicode_InternInPlace(&str);
        // Filled under the interpreter lock; if another value got there
        // first, it wins and this one is released.
        if (cells[index] == nullptr) {
            cells[index] = str;
        } else {
            Py_DECREF(str);
        }
    }
    return cells[index];
}

std::string lossy_utf8(PyObject* str) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(str, &size)) {
        return std::string(data, static_cast<std::size_t>(size));
    }
    drop_pending();
    Owned bytes = Owned::steal(PyUnicode_AsEncodedString(str, "utf-8", "surrogatepass"));
    if (!bytes) api_call_failed();
    Owned decoded = Owned::steal(
        PyUnicode_DecodeUTF8(PyBytes_AS_STRING(bytes.get()), PyBytes_GET_SIZE(bytes.get()), "replace"));
    if (!decoded) api_call_failed();
    const char* data = PyUnicode_AsUTF8AndSize(decoded.get(), &size);
    if (data == nullptr) api_call_failed();
    return std::string(data, static_cast<std::size_t>(size));
}

std::optional<std::string> text_without_fallback(PyObject* object) {
    Owned str = Owned::steal(PyObject_Str(object));
    if (!str) {
        drop_pending();
        return std::nullopt;
    }
    return lossy_utf8(str.get());
}

std::string text_of(PyObject* object) {
    Owned str = Owned::steal(PyObject_Str(object));
    if (str) return lossy_utf8(str.get());
    PyErr::fetch().restore();
    PyErr_WriteUnraisable(object);
    std::optional<std::string> name =
        type_attribute_text(reinterpret_cast<PyObject*>(Py_TYPE(object)), InternedName::Name);
    return name ? "<unprintable " + *name + " object>" : "<unprintable object>";
}

std::string repr_text(PyObject* object) {
    Owned repr = Owned::steal(PyObject_Repr(object));
    if (!repr) {
        drop_pending();
        return "<repr failed>";
    }
    return lossy_utf8(repr.get());
}

std::string format_traceback(PyObject* traceback) {
    Owned module = Owned::steal(PyImport_ImportModule("traceback"));
    Owned lines = module ? Owned::steal(PyObject_CallMethod(module.get(), "format_tb", "O", traceback)) : Owned();
    Owned empty = lines ? new_string("") : Owned();
    Owned joined = lines ? Owned::steal(PyUnicode_Join(empty.get(), lines.get())) : Owned();
    if (!joined) {
        drop_pending();
        return "<traceback unavailable>";
    }
    return lossy_utf8(joined.get());
}

PyErr downcast_error(PyObject* object, const char* target) {
    Owned type = Owned::borrow(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    return PyErr(std::make_unique<DowncastConstructor>(std::move(type), target));
}

}  // namespace magnifex::binding
