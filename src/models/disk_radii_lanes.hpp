// Uniform disks of many radii at one separation, over lanes (see
// elliptic/lanes.hpp for the rules of a unit that includes this header): the
// limb-darkened disk route's nodes. Each lane does the operations of the
// scalar kernel (witt_mao.cpp, disk_magnification) and stops at its own
// term or Gauss step, so that the values are the scalar ones bit for bit.
#pragma once

#include "models/witt_mao_lanes.hpp"

namespace magnifex::lanes {
namespace {

// Magnifications out[i] of the disks of radii rho[i] (i < n) at separation u,
// 0 <= u <= kMax (Einstein radii), W disks a vector. The lanes of a vector
// that lie in the multipole range and those in the Carlson range are done by
// one vector each; lanes outside both (rho not in (0, kMax], rho == u, on the
// limb to 1e-100, NaN) by scalar(u, rho[i]), the scalar kernel, so that
// their values are its own. Unused lanes repeat a lane of their range.
template <class V, unsigned W>
inline void disk_radii_run(double u, const double* rho, unsigned long n, double* out,
                           double (*scalar)(double, double)) {
    static_assert(sizeof(V) == W * sizeof(double));
    const V u_v = splat(u, V{});
    for (unsigned long i = 0; i < n; i += W) {
        const unsigned long m = n - i < W ? n - i : W;
        // 0: scalar kernel, 1: multipole, 2: Carlson form.
        int range[W];
        double fill[3] = {0.0, 0.0, 0.0};
        bool any[3] = {false, false, false};
        for (unsigned long j = 0; j < m; ++j) {
            const double r = rho[i + j];
            const double e = (u - r) / (u + r);
            range[j] = !(r > 0.0 && r <= kMax && r != u) ? 0 : u >= kMultipoleRatio * r ? 1 : e * e >= kOnLimb ? 2 : 0;
            if (!any[range[j]]) {
                fill[range[j]] = r;
                any[range[j]] = true;
            }
        }
        for (unsigned long j = 0; j < m; ++j) {
            if (range[j] == 0) out[i + j] = scalar(u, rho[i + j]);
        }
        for (int k = 1; k <= 2; ++k) {
            if (!any[k]) continue;
            V r_v;
            for (unsigned long j = 0; j < W; ++j) r_v[j] = j < m && range[j] == k ? rho[i + j] : fill[k];
            const V a = k == 1 ? multipole<V, true>(u_v, r_v) : carlson<V, true>(u_v, r_v);
            for (unsigned long j = 0; j < m; ++j) {
                if (range[j] == k) out[i + j] = a[j];
            }
        }
    }
}

}  // namespace
}  // namespace magnifex::lanes
