// Magnification of a thin uniform ring concentric with the source
// (D. Heyrovsky 2003, ApJ 594, 464).
#pragma once

#include <cstddef>

#include "models/outcome.hpp"

namespace magnifex {

// l = separation, r = ring radius, both in source radii; re and rstar in one
// common unit. For l, r >= 0 finite and re/rstar > 0 finite the result is the
// ring average to a few ulps everywhere: +inf on the ring (l = r), the
// point-source value when l or r is 0, never below 1. Other inputs (negative,
// opposite signs, non-finite, NaN) take the closed form in the Legendre
// integrals K and Pi and fail, or give NaN, exactly as that form does.
Outcome<double> heyrovsky_magnification(double l, double r, double re, double rstar);

// The same ring magnification, a plain double for use as an integrand:
// accurate to a few ulps up to the ring itself. beta = re/rstar (only beta^2
// matters). NaN where l r < 0 (no ring average of that form) and on the
// ring (l = r).
double heyrovsky_carlson_kernel(double l, double r, double beta);

// The kernel for the rings x[0..n) at one separation l and beta:
// out[i] = heyrovsky_carlson_kernel(l, x[i], beta) bit for bit, several
// rings at a time (SIMD, the widest the CPU offers).
void heyrovsky_carlson_kernel_batch(double l, const double* x, std::size_t n, double beta, double* out);

// The ring average in Einstein units (beta = 1) with the lens-ring distance
// delta = u - r given (for rings a few ulps from the lens, where u - r
// formed from the two lengths would lose its digits); a ring through the
// lens (delta = 0) gives NaN, other inputs outside 0 < u, r < inf the
// kernel's own value. Batched in point_lens_batch.hpp.
double ring_kernel_delta(double u, double r, double delta);

}  // namespace magnifex
