// The far-field series' Laplacian polynomials, a block of terms at a time
// over SIMD lanes, compiled once per instruction set from one source
// (models/isa/far_field_runs.cpp, built by CMake with the baseline flags,
// -mavx2 or -mavx512f and named by its ISA); every lane bit for bit the
// one-lane recurrence, whatever the width.
#pragma once

namespace magnifex::far_field_runs {

// For the `lanes` terms of a block (2, 4 or 8), Q(x) = x O(x^2) + E(x^2) by
// Horner's rule in x^2 on the odd and even powers side by side, `steps`
// coefficients a lane (even), row by row in c (highest power first, a row
// one coefficient a lane); into h[lane], and with `slope`, Q'(x) into
// d[lane].
#define MAGNIFEX_DECLARE_LAPLACIAN_RUN(isa)                                                                  \
    void laplacian_run_##isa(const double* c, int steps, int lanes, double x, bool slope, double* h, double* d);
MAGNIFEX_DECLARE_LAPLACIAN_RUN(sse2)
MAGNIFEX_DECLARE_LAPLACIAN_RUN(avx2)
MAGNIFEX_DECLARE_LAPLACIAN_RUN(avx512)
#undef MAGNIFEX_DECLARE_LAPLACIAN_RUN

}  // namespace magnifex::far_field_runs
