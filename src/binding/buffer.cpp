#include "binding/buffer.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <cstring>
#include <new>
#include <string_view>

namespace magnifex::binding {

namespace {

// The type that implements the buffer export of `type`: the last one along
// the tp_base chain whose bf_getbuffer is the same function (subclasses
// inherit the slot by copying it).
PyTypeObject* buffer_exporter(PyTypeObject* type) {
    const getbufferproc export_function = type->tp_as_buffer->bf_getbuffer;
    PyTypeObject* exporter = type;
    for (PyTypeObject* base = type->tp_base; base != nullptr; base = base->tp_base) {
        if (base->tp_as_buffer == nullptr || base->tp_as_buffer->bf_getbuffer != export_function) break;
        exporter = base;
    }
    return exporter;
}

template <class Slot>
Slot sequence_slot(const PyTypeObject* type, Slot PySequenceMethods::*slot) {
    return type->tp_as_sequence == nullptr ? nullptr : type->tp_as_sequence->*slot;
}

binaryfunc subscript_slot(const PyTypeObject* type) {
    return type->tp_as_mapping == nullptr ? nullptr : type->tp_as_mapping->mp_subscript;
}

// True when iterating an instance of `type` runs the exporter's own code:
// the slots that PyObject_GetIter, PySeqIter and PySequence_Size use.
bool iterates_like_its_exporter(PyTypeObject* type) {
    if (type->tp_as_buffer == nullptr || type->tp_as_buffer->bf_getbuffer == nullptr) return false;
    PyTypeObject* exporter = buffer_exporter(type);
    if (exporter == type) return true;
    return type->tp_iter == exporter->tp_iter &&
           sequence_slot(type, &PySequenceMethods::sq_item) == sequence_slot(exporter, &PySequenceMethods::sq_item) &&
           sequence_slot(type, &PySequenceMethods::sq_length) ==
               sequence_slot(exporter, &PySequenceMethods::sq_length) &&
           subscript_slot(type) == subscript_slot(exporter);
}

// "d" and "@d" are native; "=d" is native order with the standard 8 bytes;
// "<d" or ">d" only when that order is the machine's.
bool is_native_float64(const char* format) {
    if (format == nullptr) return false;  // exporters may omit it: unsigned bytes
    const std::string_view text(format);
    constexpr char native_order = std::endian::native == std::endian::little ? '<' : '>';
    return text == "d" || text == "@d" || text == "=d" || (text.size() == 2 && text[0] == native_order && text[1] == 'd');
}

// A Py_buffer released on every path.
class BufferView {
public:
    BufferView() = default;
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    ~BufferView() {
        if (held_) PyBuffer_Release(&view_);
    }
    // Read-only access with strides and format: no exporter refuses it for
    // being read-only or strided, so those cases are decided here, without
    // an exception.
    bool acquire(PyObject* object) {
        held_ = PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) == 0;
        return held_;
    }
    const Py_buffer& view() const { return view_; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

bool is_contiguous_float64_vector(const Py_buffer& view) {
    return view.ndim == 1 && view.itemsize == static_cast<Py_ssize_t>(sizeof(double)) &&
           is_native_float64(view.format) && view.shape != nullptr &&
           view.len == view.shape[0] * view.itemsize && PyBuffer_IsContiguous(&view, 'C') == 1;
}

// The element reader of a numeric format ("d", "@f", "=q", "<i", ">d", "e",
// "?", ...) in either byte order, or null for any other format.
using ReadElement = double (*)(const char*);

template <class T>
double read_as_double(const char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return static_cast<double>(value);
}

// The same for an element stored in the other byte order.
template <class T>
double read_swapped_as_double(const char* p) {
    char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = p[sizeof(T) - 1 - i];
    return read_as_double<T>(bytes);
}

// IEEE 754 binary16 (numpy's float16): sign, 5 exponent bits, 10 fraction bits.
double half_to_double(std::uint16_t bits) {
    const int exponent = (bits >> 10) & 0x1f;
    const int fraction = bits & 0x3ff;
    double magnitude;
    if (exponent == 0) {
        magnitude = std::ldexp(static_cast<double>(fraction), -24);
    } else if (exponent == 0x1f) {
        magnitude = fraction == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    } else {
        magnitude = std::ldexp(static_cast<double>(fraction + 0x400), exponent - 25);
    }
    return (bits & 0x8000) != 0 ? -magnitude : magnitude;
}

double read_half(const char* p) {
    std::uint16_t bits;
    std::memcpy(&bits, p, sizeof bits);
    return half_to_double(bits);
}

double read_swapped_half(const char* p) {
    const char bytes[2] = {p[1], p[0]};
    return read_half(bytes);
}

double read_bool(const char* p) { return *p != 0 ? 1.0 : 0.0; }

ReadElement numeric_reader(const char* format, Py_ssize_t itemsize) {
    if (format == nullptr) return nullptr;
    std::string_view text(format);
    constexpr char native_order = std::endian::native == std::endian::little ? '<' : '>';
    constexpr char other_order = std::endian::native == std::endian::little ? '>' : '<';
    bool swapped = false;
    if (text.size() == 2 && (text[0] == '@' || text[0] == '=' || text[0] == native_order)) {
        text.remove_prefix(1);
    } else if (text.size() == 2 && (text[0] == other_order || text[0] == '!')) {
        text.remove_prefix(1);
        swapped = true;
    }
    if (text.size() != 1) return nullptr;
    auto sized = [itemsize, swapped]<class T>(T*) -> ReadElement {
        if (itemsize != static_cast<Py_ssize_t>(sizeof(T))) return nullptr;
        return swapped ? read_swapped_as_double<T> : read_as_double<T>;
    };
    switch (text[0]) {
        case 'e': return itemsize == 2 ? (swapped ? read_swapped_half : read_half) : nullptr;
        case '?': return itemsize == 1 ? read_bool : nullptr;
        case 'd': return sized(static_cast<double*>(nullptr));
        case 'f': return sized(static_cast<float*>(nullptr));
        case 'b': return sized(static_cast<signed char*>(nullptr));
        case 'B': return sized(static_cast<unsigned char*>(nullptr));
        case 'h': return sized(static_cast<short*>(nullptr));
        case 'H': return sized(static_cast<unsigned short*>(nullptr));
        case 'i': return sized(static_cast<int*>(nullptr));
        case 'I': return sized(static_cast<unsigned int*>(nullptr));
        case 'l': return sized(static_cast<long*>(nullptr));
        case 'L': return sized(static_cast<unsigned long*>(nullptr));
        case 'q': return sized(static_cast<long long*>(nullptr));
        case 'Q': return sized(static_cast<unsigned long long*>(nullptr));
        default: return nullptr;
    }
}

// Acquires the buffer of `object` where reading it gives what iterating it
// would; false otherwise, with no error set: a failed export is not an error
// of the argument, since iteration, which the caller falls back to, does not
// ask for a buffer.
bool acquire_readable(PyObject* object, BufferView& buffer) {
    if (!iterates_like_its_exporter(Py_TYPE(object))) return false;
    if (buffer.acquire(object)) return true;
    (void)PyErr::take();
    return false;
}

}  // namespace

std::optional<PyResult<NumericArray>> read_numeric_buffer(PyObject* object) {
    BufferView buffer;
    if (!acquire_readable(object, buffer)) return std::nullopt;
    const Py_buffer& view = buffer.view();
    const ReadElement read = numeric_reader(view.format, view.itemsize);
    if (read == nullptr || view.ndim < 0 || (view.ndim > 0 && (view.shape == nullptr || view.strides == nullptr))) {
        return std::nullopt;
    }
    try {
        NumericArray array;
        std::size_t count = 1;
        for (int d = 0; d < view.ndim; ++d) {
            array.shape.push_back(static_cast<std::size_t>(view.shape[d]));
            count *= static_cast<std::size_t>(view.shape[d]);
        }
        array.values.resize(count);
        if (count != 0 && is_native_float64(view.format) && view.itemsize == static_cast<Py_ssize_t>(sizeof(double)) &&
            PyBuffer_IsContiguous(&view, 'C') == 1) {
            std::memcpy(array.values.data(), view.buf, count * sizeof(double));
            return PyResult<NumericArray>(std::move(array));
        }
        // Walk the elements in C order, the offset kept from the strides as
        // the index advances.
        std::vector<Py_ssize_t> index(static_cast<std::size_t>(view.ndim), 0);
        Py_ssize_t offset = 0;
        for (std::size_t i = 0; i < count; ++i) {
            array.values[i] = read(static_cast<const char*>(view.buf) + offset);
            for (int d = view.ndim - 1; d >= 0; --d) {
                const auto dim = static_cast<std::size_t>(d);
                if (++index[dim] < view.shape[d]) {
                    offset += view.strides[d];
                    break;
                }
                offset -= (view.shape[d] - 1) * view.strides[d];
                index[dim] = 0;
            }
        }
        return PyResult<NumericArray>(std::move(array));
    } catch (const std::bad_alloc&) {
        return PyResult<NumericArray>(memory_error());
    } catch (const std::length_error&) {
        return PyResult<NumericArray>(memory_error());
    }
}

std::optional<PyResult<std::vector<double>>> read_float64_buffer(PyObject* object) {
    BufferView buffer;
    if (!acquire_readable(object, buffer)) return std::nullopt;
    const Py_buffer& view = buffer.view();
    if (!is_contiguous_float64_vector(view)) return std::nullopt;

    const auto count = static_cast<std::size_t>(view.shape[0]);
    try {
        std::vector<double> values(count);
        if (count != 0) std::memcpy(values.data(), view.buf, count * sizeof(double));
        return PyResult<std::vector<double>>(std::move(values));
    } catch (const std::bad_alloc&) {
        return PyResult<std::vector<double>>(memory_error());
    } catch (const std::length_error&) {
        return PyResult<std::vector<double>>(memory_error());
    }
}

}  // namespace magnifex::binding
