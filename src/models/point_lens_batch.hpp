// The thin-ring kernel at the nodes of a source integral, Einstein units:
// A_ring(u, r_i) (and its partial derivatives in u and r) for rings r[0..n)
// at one lens distance u. A ring through the lens (r_i == u) gives a
// non-finite value, which the integrals count as 0.
#pragma once

#include <cstddef>

namespace magnifex {

void ring_batch(double u, const double* r, std::size_t n, double* a);
void ring_gradient_batch(double u, const double* r, std::size_t n, double* a, double* a_u, double* a_r);

}  // namespace magnifex
