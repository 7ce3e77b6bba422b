// The nodes of one piece of a source integral over SIMD lanes, compiled once
// per instruction set from one source (models/isa/theta_runs.cpp, built by
// CMake with the baseline flags, -mavx2 or -mavx512f and named by its ISA);
// every node bit for bit the one-node value (models/theta_nodes.hpp).
#pragma once

#include "models/theta_nodes.hpp"

namespace magnifex::theta_runs {

// x, mu, u - rho x, the measure and rho x of the m nodes of `rule` on `piece`.
#define MAGNIFEX_DECLARE_THETA_RUN(isa)                                                                     \
    void theta_run_##isa(const NodeFrame& frame, NodeForm form, const Piece& piece, const RuleColumns& rule, \
                         unsigned long m, bool at_end, double* x, double* mu, double* delta, double* measure, \
                         double* radius);
MAGNIFEX_DECLARE_THETA_RUN(sse2)
MAGNIFEX_DECLARE_THETA_RUN(avx2)
MAGNIFEX_DECLARE_THETA_RUN(avx512)
#undef MAGNIFEX_DECLARE_THETA_RUN

}  // namespace magnifex::theta_runs
