// The widest version of each batched ring kernel that this CPU runs, and the
// one-ring kernels (baseline code) for the rings outside the lanes' domain.
#include "models/point_lens_batch.hpp"

#include <cmath>
#include <limits>

#include "elliptic/lanes_dispatch.hpp"
#include "models/disk_gradient_lanes.hpp"
#include "models/heyrovsky.hpp"
#include "models/point_lens_runs.hpp"
#include "models/point_source.hpp"

namespace magnifex {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A ring outside the lanes' domain: through the lens (delta = 0) or not a
// ring (NaN); a point (r = 0) or the lens at the centre (u = 0), where the
// ring average is the point source's value at the other length (the value
// kernel's own, bit for bit) and is even in the length that vanishes.
void ring_gradient_one(double u, double r, double delta, double* a, double* a_u, double* a_r) {
    *a = ring_kernel_delta(u, r, delta);
    if (!(delta != 0.0) || !std::isfinite(u) || !std::isfinite(r)) {
        *a_u = *a_r = kNaN;
    } else if (r == 0.0) {
        *a_u = point_source_slope(u);
        *a_r = 0.0;
    } else if (u == 0.0) {
        *a_u = 0.0;
        *a_r = point_source_slope(r);
    } else {
        *a_u = *a_r = kNaN;
    }
}

}  // namespace

void ring_batch(double u, const double* r, const double* delta, std::size_t n, double* a) {
    using Run = decltype(&point_lens_runs::ring_run_sse2);
    static const Run run = lanes::widest_supported<Run>(point_lens_runs::ring_run_sse2, point_lens_runs::ring_run_avx2,
                                                        point_lens_runs::ring_run_avx512);
    if (u > 0.0 && u < kInfinity) {
        run(u, r, delta, n, a, ring_kernel_delta);
        return;
    }
    // The lens at the centre (or not finite): the one-ring kernel.
    for (std::size_t i = 0; i < n; ++i) a[i] = ring_kernel_delta(u, r[i], delta[i]);
}

void ring_gradient_batch(double u, const double* r, const double* delta, std::size_t n, double* a, double* a_u,
                         double* a_r) {
    using Run = decltype(&point_lens_runs::ring_gradient_run_sse2);
    static const Run run = lanes::widest_supported<Run>(point_lens_runs::ring_gradient_run_sse2,
                                                        point_lens_runs::ring_gradient_run_avx2,
                                                        point_lens_runs::ring_gradient_run_avx512);
    if (u > 0.0 && u < kInfinity) {
        run(u, r, delta, n, a, a_u, a_r, ring_gradient_one);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) ring_gradient_one(u, r[i], delta[i], a + i, a_u + i, a_r + i);
}

void disk_gradient_point(double u, double rho, double* a, double* a_u, double* a_rho) {
    const lanes::DiskGradient<double> g = lanes::disk_gradient<double, true>(u, rho);
    *a = g.a;
    *a_u = g.da_du;
    *a_rho = g.da_drho;
}

}  // namespace magnifex
