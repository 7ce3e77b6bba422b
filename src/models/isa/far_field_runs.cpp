// The far-field series' Laplacian polynomials for one instruction set: this
// file is compiled once per ISA (CMakeLists.txt), MAGNIFEX_ISA_NAME naming
// the function and MAGNIFEX_ISA_LANES giving the width of its widest
// vectors; a block narrower than that takes vectors of its own width.
#include "models/far_field_runs.hpp"

#include <cstring>

#define MAGNIFEX_JOIN(name, isa) name##_##isa
#define MAGNIFEX_NAMED(name, isa) MAGNIFEX_JOIN(name, isa)
#define MAGNIFEX_RUN(name) MAGNIFEX_NAMED(name, MAGNIFEX_ISA_NAME)

namespace magnifex::far_field_runs {

namespace {

template <int kWidth>
struct Width {
    typedef double Type __attribute__((vector_size(kWidth * sizeof(double))));
};

// kVectors vectors of kWidth lanes: the block's kWidth * kVectors terms.
template <bool kSlope, int kWidth, int kVectors>
void block(const double* c, int steps, double x, double* h, double* d) {
    using V = typename Width<kWidth>::Type;
    constexpr int kLanes = kWidth * kVectors;
    const double y = x * x;
    V odd[kVectors] = {}, even[kVectors] = {}, d_odd[kVectors] = {}, d_even[kVectors] = {};
    for (int i = 0; i < steps; i += 2) {
#pragma GCC unroll 8
        for (int p = 0; p < kVectors; ++p) {
            V co, ce;
            std::memcpy(&co, c + i * kLanes + kWidth * p, sizeof co);
            std::memcpy(&ce, c + (i + 1) * kLanes + kWidth * p, sizeof ce);
            if constexpr (kSlope) {
                d_odd[p] = d_odd[p] * y + odd[p];
                d_even[p] = d_even[p] * y + even[p];
            }
            odd[p] = odd[p] * y + co;
            even[p] = even[p] * y + ce;
        }
    }
    for (int p = 0; p < kVectors; ++p) {
        const V value = odd[p] * x + even[p];
        std::memcpy(h + kWidth * p, &value, sizeof value);
        if constexpr (kSlope) {
            // Q' = O + 2x (x O' + E')
            const V slope = odd[p] + (2.0 * x) * (x * d_odd[p] + d_even[p]);
            std::memcpy(d + kWidth * p, &slope, sizeof slope);
        }
    }
}

template <bool kSlope>
void run(const double* c, int steps, int lanes, double x, double* h, double* d) {
    constexpr int kWide = MAGNIFEX_ISA_LANES;
    switch (lanes) {
        case 2: block<kSlope, 2, 1>(c, steps, x, h, d); break;
        case 4: block<kSlope, (kWide < 4 ? kWide : 4), 4 / (kWide < 4 ? kWide : 4)>(c, steps, x, h, d); break;
        default: block<kSlope, kWide, 8 / kWide>(c, steps, x, h, d); break;
    }
}

}  // namespace

void MAGNIFEX_RUN(laplacian_run)(const double* c, int steps, int lanes, double x, bool slope, double* h, double* d) {
    if (slope) {
        run<true>(c, steps, lanes, x, h, d);
    } else {
        run<false>(c, steps, lanes, x, h, d);
    }
}

}  // namespace magnifex::far_field_runs
