// The module's entry: PyInit_magnifex, the table of the seven functions and
// their adapters. Everything else of the binding layer is in binding/.
#include <Python.h>

#include <array>
#include <string_view>
#include <vector>

#include "binding/adapter.hpp"
#include "binding/frame.hpp"
#include "binding/limb_darkening.hpp"
#include "binding/module.hpp"
#include "models/flux_map.hpp"
#include "models/heyrovsky.hpp"
#include "models/limb_darkened.hpp"
#include "models/witt_mao.hpp"

namespace magnifex {

namespace {

using binding::FunctionDescription;

// The built-in linear limb-darkening profile and its flux, for the two
// limb-darkened functions without a caller's table.
Outcome<std::vector<double>> integrated_witt_mao_builtin(std::vector<double> l, double re, double rstar) {
    const auto profile = &builtin_profile;
    return _integrated_witt_mao_magnification(std::move(l), re, rstar, Profile(profile), BUILTIN_PROFILE_FLUX);
}

Outcome<std::vector<double>> integrated_heyrovsky_builtin(std::vector<double> l, double re, double rstar) {
    const auto profile = &builtin_profile;
    return _integrated_heyrovsky_magnification(std::move(l), re, rstar, Profile(profile), BUILTIN_PROFILE_FLUX);
}

constexpr std::array<std::string_view, 3> kDiskParameters{"l", "re", "rstar"};
constexpr std::array<std::string_view, 4> kRingParameters{"l", "r", "re", "rstar"};
constexpr std::array<std::string_view, 5> kTableParameters{"l", "re", "rstar", "bl", "bf"};

// Every parameter is required and may be passed by position or by keyword.
template <std::size_t N>
constexpr FunctionDescription describe(std::string_view name, const std::array<std::string_view, N>& parameters) {
    return FunctionDescription{name, parameters, {}, {}, 0, N};
}

constexpr FunctionDescription kWittMao = describe("witt_mao_magnification", kDiskParameters);
constexpr FunctionDescription kIntegratedWittMao = describe("integrated_witt_mao_magnification", kDiskParameters);
constexpr FunctionDescription kIntegratedFluxMapWittMao =
    describe("integrated_flux_map_witt_mao_magnification", kTableParameters);
constexpr FunctionDescription kHeyrovsky = describe("heyrovsky_magnification", kRingParameters);
constexpr FunctionDescription kIntegratedHeyrovsky = describe("integrated_heyrovsky_magnification", kDiskParameters);
constexpr FunctionDescription kIntegratedFluxMapHeyrovsky =
    describe("integrated_flux_map_heyrovsky_magnification", kTableParameters);
constexpr FunctionDescription kDiscreteFluxMapHeyrovsky =
    describe("discrete_flux_map_heyrovsky_magnification", kTableParameters);

constexpr const char* kMagnificationDoc =
    "magnification(u, rho, law='linear', coefficients=None, gradient=False)\n--\n\n"
    "Magnification of a limb-darkened source star by a point-mass lens.\n\n"
    "u: lens-source separation in Einstein radii, a number or a 1-D array (u >= 0; NaN gives NaN).\n"
    "rho: source radius in Einstein radii (>= 0; 0 is a point source).\n"
    "law: 'uniform', 'linear', 'quadratic', 'squareroot', 'logarithmic', 'exponential', 'power2'\n"
    "    or 'nonlinear', with batman's coefficients.\n"
    "coefficients: the law's coefficients, or a 2-D array of one row per band; None: the\n"
    "    law's defaults, (0.6,) for linear and () for uniform (the others take them given).\n"
    "gradient: also return the Jacobian J, J[..., :] = (dA/du, dA/drho, dA/dc1, ...).\n\n"
    "Returns A: a float for a number u and one row of coefficients, else a numpy array\n"
    "(n,), (B,) or (B, n); with gradient=True the pair (A, J).";

constexpr const char* kLightCurveDoc =
    "light_curve(t, t0, u0, tE, rho, law='linear', coefficients=None, gradient=False)\n--\n\n"
    "Point-lens light curve of a limb-darkened source: the magnification at u(t) =\n"
    "sqrt(((t - t0)/tE)^2 + u0^2) for every epoch t (a number or a 1-D array).\n\n"
    "t0, tE: time of closest approach and Einstein time (tE > 0), in the unit of t;\n"
    "u0: impact parameter and rho: source radius, in Einstein radii. law, coefficients\n"
    "and the shapes of the result are those of magnification(); with gradient=True the\n"
    "Jacobian's columns are (dA/dt0, dA/du0, dA/dtE, dA/drho, dA/dc1, ...).";

// A METH_FASTCALL | METH_KEYWORDS entry (CPython stores it as a PyCFunction).
using FastcallEntry = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyMethodDef fastcall_method(const char* name, FastcallEntry entry, const char* docstring) {
    return PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry)),
                       METH_FASTCALL | METH_KEYWORDS, docstring};
}

template <const FunctionDescription* Description, auto Model>
PyMethodDef method(const char* docstring) {
    return fastcall_method(Description->function_name.data(), &binding::trampoline<Description, Model>, docstring);
}

// The function table, in registration (and __all__) order. The seven's
// docstring is the text signature alone, so inspect.signature works and
// __doc__ is None; the limb-darkened functions after them carry a manual too.
// The records live for the process: the function objects point at them.
PyMethodDef METHODS[] = {
    method<&kWittMao, &witt_mao_magnification>("witt_mao_magnification(l, re, rstar)\n--\n\n"),
    method<&kIntegratedWittMao, &integrated_witt_mao_builtin>(
        "integrated_witt_mao_magnification(l, re, rstar)\n--\n\n"),
    method<&kIntegratedFluxMapWittMao, &integrated_flux_map_witt_mao_magnification>(
        "integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf)\n--\n\n"),
    method<&kHeyrovsky, &heyrovsky_magnification>("heyrovsky_magnification(l, r, re, rstar)\n--\n\n"),
    method<&kIntegratedHeyrovsky, &integrated_heyrovsky_builtin>(
        "integrated_heyrovsky_magnification(l, re, rstar)\n--\n\n"),
    method<&kIntegratedFluxMapHeyrovsky, &integrated_flux_map_heyrovsky_magnification>(
        "integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"),
    method<&kDiscreteFluxMapHeyrovsky, &discrete_flux_map_heyrovsky_magnification>(
        "discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"),
    fastcall_method("magnification", &binding::magnification_entry, kMagnificationDoc),
    fastcall_method("light_curve", &binding::light_curve_entry, kLightCurveDoc),
};

binding::MaybeError register_functions(PyObject* module) {
    for (PyMethodDef& entry : METHODS) {
        if (binding::MaybeError error = binding::register_function(module, &entry)) return error;
    }
    return std::nullopt;
}

binding::ModuleDef MODULE_DEF{
    register_functions,
    PyModuleDef{PyModuleDef_HEAD_INIT, "magnifex",
                "A Python module implemented in native code: finite-source magnification by a point-mass lens.", 0,
                nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

}  // namespace magnifex

PyMODINIT_FUNC PyInit_magnifex() {
    return magnifex::binding::entry_frame([] { return magnifex::binding::make_module(magnifex::MODULE_DEF); });
}
