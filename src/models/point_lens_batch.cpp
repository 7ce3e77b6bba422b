#include "models/point_lens_batch.hpp"

#include <cmath>

#include "models/heyrovsky.hpp"

namespace magnifex {

void ring_batch(double u, const double* r, std::size_t n, double* a) {
    // The ring average in lengths over the Einstein radius: beta = 1.
    heyrovsky_carlson_kernel_batch(u, r, n, 1.0, a);
}

void ring_gradient_batch(double u, const double* r, std::size_t n, double* a, double* a_u, double* a_r) {
    // Placeholder: central differences, until the closed-form partials land.
    for (std::size_t i = 0; i < n; ++i) {
        const double ri = r[i];
        a[i] = heyrovsky_carlson_kernel(u, ri, 1.0);
        const double h = 1e-5 * std::fmin(std::fabs(u - ri), std::fmin(u > 0 ? u : 1.0, ri > 0 ? ri : 1.0));
        a_u[i] = u > 0.0 ? (heyrovsky_carlson_kernel(u + h, ri, 1.0) - heyrovsky_carlson_kernel(u - h, ri, 1.0)) / (2.0 * h) : 0.0;
        a_r[i] = (heyrovsky_carlson_kernel(u, ri + h, 1.0) - heyrovsky_carlson_kernel(u, ri - h, 1.0)) / (2.0 * h);
    }
}

}  // namespace magnifex
