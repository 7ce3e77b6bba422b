// The thin-ring kernel at the nodes of a source integral, Einstein units:
// A_ring(u, r_i) (and its partial derivatives in u and r) for rings r[0..n)
// at one lens distance u, with delta[i] = u - r[i] given by the caller, who
// knows it better than the two lengths do. A ring through the lens (delta
// = 0) gives NaN, which the integrals count as 0. Over SIMD lanes of the
// widest instruction set the CPU has, each lane bit for bit the one-lane
// kernel (heyrovsky_lanes.hpp, ring_gradient_lanes.hpp).
#pragma once

#include <cstddef>

namespace magnifex {

void ring_batch(double u, const double* r, const double* delta, std::size_t n, double* a);

// The uniform disk of radius rho at lens distance u (0 <= u, u != rho,
// 0 < rho, all finite) and its partials in u and rho, closed forms
// (disk_gradient_lanes.hpp).
void disk_gradient_point(double u, double rho, double* a, double* a_u, double* a_rho);
void ring_gradient_batch(double u, const double* r, const double* delta, std::size_t n, double* a, double* a_u,
                         double* a_r);

}  // namespace magnifex
