// The nodes of one piece of a source integral for one instruction set: this
// file is compiled once per ISA (CMakeLists.txt), MAGNIFEX_ISA_NAME naming
// the function and MAGNIFEX_ISA_LANES giving the width of its widest
// vectors; the nodes left over take the narrower ones, down to one node.
#include "models/theta_runs.hpp"

#define MAGNIFEX_JOIN(name, isa) name##_##isa
#define MAGNIFEX_NAMED(name, isa) MAGNIFEX_JOIN(name, isa)
#define MAGNIFEX_RUN(name) MAGNIFEX_NAMED(name, MAGNIFEX_ISA_NAME)

namespace magnifex::theta_runs {

namespace {

template <unsigned long kLanes>
struct Width {
    typedef double Type __attribute__((vector_size(kLanes * sizeof(double))));
};

// The nodes from k on, kLanes at a time while they last, then narrower.
template <unsigned long kLanes>
void nodes_from(unsigned long k, const NodeFrame& frame, NodeForm form, const Piece& piece, const RuleColumns& rule,
                unsigned long m, bool at_end, double* x, double* mu, double* delta, double* measure, double* radius) {
    for (; k + kLanes <= m; k += kLanes) {
        const RuleColumns at{rule.node + k, rule.complement + k, rule.weight + k};
        if constexpr (kLanes == 1) {
            theta_block<double>(frame, form, piece, at, at_end, x + k, mu + k, delta + k, measure + k, radius + k);
        } else {
            theta_block<typename Width<kLanes>::Type>(frame, form, piece, at, at_end, x + k, mu + k, delta + k,
                                                      measure + k, radius + k);
        }
    }
    if constexpr (kLanes > 1) nodes_from<kLanes / 2>(k, frame, form, piece, rule, m, at_end, x, mu, delta, measure, radius);
}

}  // namespace

void MAGNIFEX_RUN(theta_run)(const NodeFrame& frame, NodeForm form, const Piece& piece, const RuleColumns& rule,
                             unsigned long m, bool at_end, double* x, double* mu, double* delta, double* measure,
                             double* radius) {
    nodes_from<MAGNIFEX_ISA_LANES>(0, frame, form, piece, rule, m, at_end, x, mu, delta, measure, radius);
}

}  // namespace magnifex::theta_runs
