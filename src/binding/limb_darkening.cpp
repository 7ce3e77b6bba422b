#include "binding/limb_darkening.hpp"

#include <array>
#include <cmath>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/buffer.hpp"
#include "binding/convert.hpp"
#include "binding/frame.hpp"
#include "binding/gil.hpp"
#include "binding/ndarray.hpp"
#include "binding/text.hpp"
#include "models/laws.hpp"
#include "models/light_curve.hpp"
#include "models/magnification.hpp"

namespace magnifex::binding {

namespace {

constexpr std::array<std::string_view, 5> kMagnificationParameters{"u", "rho", "law", "coefficients", "gradient"};
constexpr std::array<std::string_view, 8> kLightCurveParameters{"t",   "t0",           "u0",      "tE",
                                                                "rho", "law",          "coefficients", "gradient"};
constexpr FunctionDescription kMagnification{"magnification", kMagnificationParameters, {}, {}, 0, 2};
constexpr FunctionDescription kLightCurve{"light_curve", kLightCurveParameters, {}, {}, 0, 5};

// repr() of a float, as Python prints it.
std::string repr(double value) {
    char* text = PyOS_double_to_string(value, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (text == nullptr) return "?";
    std::string out(text);
    PyMem_Free(text);
    return out;
}

std::string repr_row(std::span<const double> row) {
    std::string out = "(";
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0) out += ", ";
        out += repr(row[i]);
    }
    return out + (row.size() == 1 ? ",)" : ")");
}

const char* type_name(PyObject* object) { return Py_TYPE(object)->tp_name; }


// ----------------------------------------------------------------------------
// Conversion

// Separations or epochs: a number (scalar result) or a 1-D sequence or array.
struct Points {
    std::vector<double> values;
    bool scalar = false;
};

PyResult<double> extract_number(PyObject* object, std::string_view name) {
    return extract_argument(object, name, static_cast<const double*>(nullptr));
}

PyResult<Points> extract_points(PyObject* object, std::string_view name) {
    const std::string prefix = "argument '" + std::string(name) + "': ";
    if (PyUnicode_Check(object) || PyBytes_Check(object)) {
        return type_error(prefix + "must be a number or a 1-D sequence of numbers, not " + type_name(object));
    }
    if (std::optional<PyResult<NumericArray>> array = read_numeric_buffer(object)) {
        if (!array->ok()) return std::move(array->error());
        NumericArray& a = array->value();
        if (a.shape.size() > 1) {
            return value_error(prefix + "must be a number or a 1-D sequence, not a " + decimal(a.shape.size()) +
                               "-D array");
        }
        return Points{std::move(a.values), a.shape.empty()};
    }
    if (PySequence_Check(object)) {
        PyResult<std::vector<double>> values = extract_float_sequence(object);
        if (!values.ok()) return argument_extraction_error(name, std::move(values.error()));
        return Points{std::move(values.value()), false};
    }
    PyResult<double> value = extract_number(object, name);
    if (!value.ok()) return std::move(value.error());
    return Points{std::vector<double>{value.value()}, true};
}


// Coefficients: one row (a number, a 1-D sequence or array) or one row per
// band (a 2-D array, or a sequence of equally long rows).
struct Coefficients {
    std::vector<double> values;  // row-major
    std::size_t rows = 1, columns = 0;
    bool banded = false;
};

// A row of a band table: a sequence (a list, a tuple, a 1-D array), not a
// number (numpy's scalars export 0-d buffers but are not sequences).
bool is_row(PyObject* item) { return !PyUnicode_Check(item) && !PyBytes_Check(item) && PySequence_Check(item); }

PyResult<Coefficients> extract_coefficients(PyObject* object) {
    constexpr std::string_view name = "coefficients";
    if (PyUnicode_Check(object) || PyBytes_Check(object)) {
        return type_error(std::string("argument 'coefficients': must be a sequence of numbers, not ") + type_name(object));
    }
    if (std::optional<PyResult<NumericArray>> array = read_numeric_buffer(object)) {
        if (!array->ok()) return std::move(array->error());
        NumericArray& a = array->value();
        if (a.shape.size() > 2) {
            return value_error("argument 'coefficients': must be one row or one row per band, not a " +
                               decimal(a.shape.size()) + "-D array");
        }
        Coefficients c;
        c.banded = a.shape.size() == 2;
        c.rows = c.banded ? a.shape[0] : 1;
        c.columns = a.shape.empty() ? 1 : a.shape.back();
        c.values = std::move(a.values);
        return c;
    }
    if (!PySequence_Check(object)) {
        // A single number is a row of one coefficient.
        PyResult<double> value = extract_number(object, name);
        if (!value.ok()) return std::move(value.error());
        return Coefficients{{value.value()}, 1, 1, false};
    }
    // Read by iteration, as the separations are (a length or an index the
    // sequence reports is not trusted): its items first.
    Owned items = Owned::steal(PySequence_List(object));
    if (!items) return argument_extraction_error(name, PyErr::fetch());
    const Py_ssize_t size = PyList_GET_SIZE(items.get());
    const bool banded = size > 0 && is_row(PyList_GET_ITEM(items.get(), 0));
    if (!banded) {
        PyResult<std::vector<double>> values = extract_float_sequence(items.get());
        if (!values.ok()) return argument_extraction_error(name, std::move(values.error()));
        Coefficients c;
        c.columns = values.value().size();
        c.values = std::move(values.value());
        return c;
    }
    Coefficients c;
    c.banded = true;
    c.rows = static_cast<std::size_t>(size);
    for (Py_ssize_t r = 0; r < size; ++r) {
        PyResult<Points> values = extract_points(PyList_GET_ITEM(items.get(), r), name);
        if (!values.ok()) return std::move(values.error());
        const std::size_t length = values.value().values.size();
        if (r == 0) c.columns = length;
        if (values.value().scalar || length != c.columns) {
            return value_error("argument 'coefficients': the rows of a band table must be equally long sequences");
        }
        c.values.insert(c.values.end(), values.value().values.begin(), values.value().values.end());
    }
    return c;
}

// ----------------------------------------------------------------------------
// Checks

PyResult<const Law*> find_named_law(PyObject* object) {
    if (!PyUnicode_Check(object)) return type_error(std::string("argument 'law': must be str, not ") + type_name(object));
    const std::string name = lossy_utf8(object);
    if (const Law* law = find_law(name)) return law;
    std::string known;
    const std::span<const Law> all = laws();
    for (std::size_t i = 0; i < all.size(); ++i) {
        known += i == 0 ? "" : i + 1 == all.size() ? " and " : ", ";
        known += all[i].name;
    }
    return value_error("argument 'law': unknown law '" + name + "'; the laws are " + known);
}

std::string coefficient_list(const Law& law) {
    std::string names;
    for (std::size_t i = 0; i < law.coefficient_names.size(); ++i) {
        names += (i == 0 ? "" : ", ") + std::string(law.coefficient_names[i]);
    }
    return names;
}

// The law's coefficients as given, or its defaults when none are.
PyResult<Coefficients> law_coefficients(const Law& law, PyObject* given) {
    const std::size_t k = law.coefficient_names.size();
    const std::string takes = "argument 'coefficients': law '" + std::string(law.name) + "' takes " +
                              (k == 0 ? std::string("no coefficients")
                                      : decimal(k) + (k == 1 ? " coefficient (" : " coefficients (") +
                                            coefficient_list(law) + ")");
    if (given == nullptr || given == Py_None) {
        if (!law.has_defaults) return value_error(takes + "; none were given");
        Coefficients c;
        c.values.assign(law.defaults.begin(), law.defaults.end());
        c.columns = k;
        return c;
    }
    PyResult<Coefficients> c = extract_coefficients(given);
    if (!c.ok()) return c;
    if (c.value().columns != k) return value_error(takes + ", not " + decimal(c.value().columns));
    return c;
}

PyErr law_failure(const Law& law, const Coefficients& c, const LawFailure& failure) {
    const std::size_t k = c.columns;
    const std::span<const double> row(c.values.data() + failure.band * k, k);
    const std::string where = c.banded ? " (band " + decimal(failure.band) + ")" : "";
    switch (failure.kind) {
        case LawFailure::Kind::NonFinite:
            return value_error("argument 'coefficients': must be finite, not " + repr_row(row) + where);
        case LawFailure::Kind::AlphaNotPositive:
            return value_error("argument 'coefficients': power2 needs alpha > 0, not " + repr(row[1]) + where);
        case LawFailure::Kind::FluxNotPositive:
            break;
    }
    return value_error("argument 'coefficients': law '" + std::string(law.name) + "' with coefficients " +
                       repr_row(row) + where + " has a total flux <= 0; the brightness must integrate to a positive flux");
}

MaybeError check_finite(double value, std::string_view name, bool positive) {
    if (std::isfinite(value) && (!positive || value >= 0.0)) return std::nullopt;
    return value_error("argument '" + std::string(name) + "': must be finite" + (positive ? " and >= 0" : "") +
                       ", not " + repr(value));
}

// ----------------------------------------------------------------------------
// The call

struct Request {
    Points points;
    const Law* law = nullptr;
    Coefficients coefficients;
    bool gradient = false;
};

// law, coefficients, gradient from their slots.
MaybeError read_law(PyObject* law_slot, PyObject* coefficients_slot, PyObject* gradient_slot, Request& request) {
    if (law_slot == nullptr) {
        request.law = find_law("linear");
    } else {
        PyResult<const Law*> law = find_named_law(law_slot);
        if (!law.ok()) return std::move(law.error());
        request.law = law.value();
    }
    PyResult<Coefficients> c = law_coefficients(*request.law, coefficients_slot);
    if (!c.ok()) return std::move(c.error());
    request.coefficients = std::move(c.value());
    if (gradient_slot != nullptr) {
        const int truth = PyObject_IsTrue(gradient_slot);
        if (truth < 0) return PyErr::fetch();
        request.gradient = truth == 1;
    }
    return std::nullopt;
}

// Runs `compute(value, jacobian)` without the interpreter lock into new
// arrays shaped for the request, and builds the result: a float or an array
// of values, and with a gradient the pair (values, Jacobian).
template <class Compute>
PyResult<Owned> compute_result(const Request& request, std::size_t width, Compute&& compute) {
    const std::size_t n = request.points.values.size();
    const std::size_t bands = request.coefficients.rows;
    const bool scalar = request.points.scalar;
    const bool banded = request.coefficients.banded;

    PyResult<OutputArray> values = scalar && !banded ? PyResult<OutputArray>(OutputArray{})
                                   : scalar          ? new_float64_array({bands})
                                   : banded          ? new_float64_array({bands, n})
                                                     : new_float64_array({n});
    if (!values.ok()) return std::move(values.error());
    PyResult<OutputArray> jacobian = !request.gradient ? PyResult<OutputArray>(OutputArray{})
                                     : scalar && !banded ? new_float64_array({width})
                                     : scalar            ? new_float64_array({bands, width})
                                     : banded            ? new_float64_array({bands, n, width})
                                                         : new_float64_array({n, width});
    if (!jacobian.ok()) return std::move(jacobian.error());

    double single = 0.0;
    double* value_data = values.value().data != nullptr ? values.value().data : &single;
    bool out_of_memory = false;
    {
        GILRelease released;
        try {
            compute(value_data, jacobian.value().data);
        } catch (const std::bad_alloc&) {
            out_of_memory = true;
        } catch (const std::length_error&) {
            out_of_memory = true;
        }
    }
    if (out_of_memory) return memory_error();
    Owned value = values.value().array ? std::move(values.value().array) : float_from_value(single);
    if (!request.gradient) return value;
    return pair(std::move(value), std::move(jacobian.value().array));
}

PyResult<LimbDarkenedSource> prepared_source(const Request& request) {
    const Coefficients& c = request.coefficients;
    LawFailure failure{};
    std::optional<LimbDarkenedSource> source =
        LimbDarkenedSource::prepare(*request.law, c.values, c.rows, request.gradient, failure);
    if (!source) return law_failure(*request.law, c, failure);
    return std::move(*source);
}

PyResult<Owned> call_magnification(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, kMagnificationParameters.size()> slots{};
    if (MaybeError error = extract_arguments_fastcall(kMagnification, args, nargs, kwnames, slots)) {
        return std::move(*error);
    }
    Request request;
    PyResult<Points> u = extract_points(slots[0], "u");
    if (!u.ok()) return std::move(u.error());
    request.points = std::move(u.value());
    PyResult<double> rho = extract_number(slots[1], "rho");
    if (!rho.ok()) return std::move(rho.error());
    if (MaybeError error = read_law(slots[2], slots[3], slots[4], request)) return std::move(*error);

    for (const double ui : request.points.values) {
        if (ui < 0.0) return value_error("argument 'u': must be >= 0, not " + repr(ui));
    }
    if (MaybeError error = check_finite(rho.value(), "rho", true)) return std::move(*error);
    PyResult<LimbDarkenedSource> source = prepared_source(request);
    if (!source.ok()) return std::move(source.error());
    const LimbDarkenedSource& s = source.value();
    return compute_result(request, s.jacobian_width(), [&](double* value, double* jacobian) {
        s.magnify(request.points.values, rho.value(), value, jacobian);
    });
}

PyResult<Owned> call_light_curve(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, kLightCurveParameters.size()> slots{};
    if (MaybeError error = extract_arguments_fastcall(kLightCurve, args, nargs, kwnames, slots)) {
        return std::move(*error);
    }
    Request request;
    PyResult<Points> t = extract_points(slots[0], "t");
    if (!t.ok()) return std::move(t.error());
    request.points = std::move(t.value());
    std::array<double, 4> scalars{};
    for (std::size_t i = 0; i < scalars.size(); ++i) {
        PyResult<double> v = extract_number(slots[1 + i], kLightCurveParameters[1 + i]);
        if (!v.ok()) return std::move(v.error());
        scalars[i] = v.value();
    }
    if (MaybeError error = read_law(slots[5], slots[6], slots[7], request)) return std::move(*error);
    const auto [t0, u0, te, rho] = scalars;
    if (MaybeError error = check_finite(t0, "t0", false)) return std::move(*error);
    if (MaybeError error = check_finite(u0, "u0", false)) return std::move(*error);
    if (!(std::isfinite(te) && te > 0.0)) return value_error("argument 'tE': must be finite and > 0, not " + repr(te));
    if (MaybeError error = check_finite(rho, "rho", true)) return std::move(*error);
    PyResult<LimbDarkenedSource> source = prepared_source(request);
    if (!source.ok()) return std::move(source.error());
    const LimbDarkenedSource& s = source.value();
    return compute_result(request, s.jacobian_width() + 2, [&](double* value, double* jacobian) {
        light_curve(s, request.points.values, t0, u0, te, rho, value, jacobian);
    });
}

}  // namespace

PyObject* magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return entry_frame([&] { return call_magnification(args, nargs, kwnames); });
}

PyObject* light_curve_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return entry_frame([&] { return call_light_curve(args, nargs, kwnames); });
}

}  // namespace magnifex::binding
