// Lane primitives for kernels written once over their number type: a double,
// or a GCC vector of doubles whose lanes are independent arguments. Branches
// become masks (select); within a lane the operations are those of the
// scalar case, in the same order.
//
// A translation unit that instantiates a kernel for a vector type first
// declares lane_sqrt for that type in magnifex::lanes (an instruction-set
// builtin), then includes the kernels. Everything here has internal linkage
// and uses only builtins, so a unit compiled for AVX2 or AVX-512 shares no
// out-of-line code with the baseline units.
#pragma once

namespace magnifex::lanes {
namespace {

inline double lane_sqrt(double x) { return __builtin_sqrt(x); }
inline double lane_abs(double x) { return __builtin_fabs(x); }
inline double select(bool m, double a, double b) { return m ? a : b; }
inline bool all_of(bool m) { return m; }

template <class V>
inline V lane_abs(V x) {
    return x < 0.0 ? -x : x;
}

template <class M, class V>
inline V select(M m, V a, V b) {
    return m ? a : b;
}

template <class M>
inline bool all_of(M m) {
    for (unsigned i = 0; i < sizeof(M) / sizeof(m[0]); ++i) {
        if (!m[i]) return false;
    }
    return true;
}

// A vector (or double) with every lane x, shaped like `like`.
template <class V>
inline V splat(double x, V like) {
    return 0.0 * like + x;
}

}  // namespace
}  // namespace magnifex::lanes
