// Text of Python objects for the layer's messages: str() as UTF-8 (with a
// lossy fallback for lone surrogates), type names, the downcast message, and
// the interned attribute names the layer reads.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>

#include "binding/owned.hpp"
#include "binding/pyerr.hpp"

namespace magnifex::binding {

// A new str from UTF-8 text; the layer cannot go on without it.
Owned new_string(std::string_view text);

enum class InternedName { Name, All, Qualname };

// "__name__", "__all__", "__qualname__": created once, interned, kept (borrowed).
PyObject* interned(InternedName name);

// UTF-8 text of a str. A string with lone surrogates is encoded with
// "surrogatepass" and decoded back with U+FFFD for every invalid sequence.
std::string lossy_utf8(PyObject* str);

// str(object) as text, or nothing if str() raises (the exception is dropped).
std::optional<std::string> text_without_fallback(PyObject* object);

// str(object) as text for messages; if str() raises, the exception goes to
// PyErr_WriteUnraisable and the text is "<unprintable T object>".
std::string text_of(PyObject* object);

// repr(object), or a placeholder if repr() raises (the exception is dropped).
std::string repr_text(PyObject* object);

// The formatted lines of a traceback object.
std::string format_traceback(PyObject* traceback);

// TypeError "'<qualified type name>' object cannot be converted to '<target>'",
// composed when raised. Holds a reference to the object's type until then.
PyErr downcast_error(PyObject* object, const char* target);

}  // namespace magnifex::binding
